// An output file of the off-line builds, written chunk by chunk through the host's file
// service. Every write is checked: once one fails, the rest are skipped and Close answers false.
#pragma once
#include <cstdint>
#include <vector>

#include "frame/host_interfaces.h"

// Why a build's output failed, for its failure line.
inline constexpr const char* kAbtOutputDoesNotOpen = "the output does not open";
inline constexpr const char* kAbtOutputNotWritten = "the output was not written whole";

class AbtChunkFile {
 public:
  explicit AbtChunkFile(const char* path);
  ~AbtChunkFile();
  AbtChunkFile(const AbtChunkFile&) = delete;
  AbtChunkFile& operator=(const AbtChunkFile&) = delete;

  bool IsOpen() const { return m_hFile != nullptr; }
  void Chunk(uint16_t tag, const void* body, uint32_t length);
  void Chunk(uint16_t tag, const std::vector<uint8_t>& body) {
    Chunk(tag, body.data(), static_cast<uint32_t>(body.size()));
  }
  // Closes the file; true when it opened and every write went through.
  bool Close();

 private:
  IIniService* m_pFiles = nullptr;
  HANDLE m_hFile = nullptr;
  bool m_bOk = false;
};
