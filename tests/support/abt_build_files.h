// What the off-line build tests share: a file service that fails or shortens the reads of one
// file or fails the writes after a number of them, and a splitter of the tree files' chunks.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"
#include "support/abt_fixture.h"

namespace abt_build_testing {

class FailingFiles final : public IIniService {
 public:
  explicit FailingFiles(IIniService* real) : real_(real) {}
  std::string failReadsOf;     // a path whose reads fail
  std::string shortReadsOf;    // a path whose reads succeed with half the bytes asked for
  int writesBeforeFailure = -1;  // -1: none fail

  HANDLE OpenFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition) override {
    HANDLE h = real_->OpenFile(path, access, share, disposition);
    if (path != nullptr && failReadsOf == path) failing_ = h;
    if (path != nullptr && shortReadsOf == path) shortening_ = h;
    return h;
  }
  void CloseFile(HANDLE file) override { real_->CloseFile(file); }
  BOOL WriteFile(HANDLE file, const void* buffer, uint32_t size, uint32_t* written) override {
    if (writesBeforeFailure == 0) return FALSE;
    if (writesBeforeFailure > 0) --writesBeforeFailure;
    return real_->WriteFile(file, buffer, size, written);
  }
  BOOL ReadFile(HANDLE file, void* buffer, uint32_t size, uint32_t* read) override {
    if (file == failing_) return FALSE;
    return real_->ReadFile(file, buffer, file == shortening_ ? size / 2 : size, read);
  }
  uint32_t GetFileSize(HANDLE file, uint32_t* high) override { return real_->GetFileSize(file, high); }
  IIniFile* OpenIni(const char* path, int flags) override { return real_->OpenIni(path, flags); }
  IIniFile* CreateIni(const char* path, int flags) override { return real_->CreateIni(path, flags); }
  void Flush() override { real_->Flush(); }

 private:
  IIniService* real_;
  HANDLE failing_ = nullptr;
  HANDLE shortening_ = nullptr;
};

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The chunks of a tree file in order: tag and body. Empty when a chunk runs past the end.
inline std::vector<std::pair<uint16_t, std::vector<uint8_t>>> Chunks(const std::vector<uint8_t>& file) {
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> out;
  size_t at = 0;
  while (at + 6 <= file.size()) {
    const uint16_t tag = static_cast<uint16_t>(file[at] | (file[at + 1] << 8));
    const uint32_t length = file[at + 2] | (file[at + 3] << 8) | (file[at + 4] << 16) |
                            (static_cast<uint32_t>(file[at + 5]) << 24);
    if (length > file.size() - at - 6) return {};
    out.emplace_back(tag, std::vector<uint8_t>(file.begin() + static_cast<long>(at + 6),
                                               file.begin() + static_cast<long>(at + 6 + length)));
    at += 6 + length;
  }
  return at == file.size() ? out : decltype(out){};
}

// Strip or list indices as triangles, degenerate ones left out; a strip alternates its winding.
inline std::vector<std::array<uint16_t, 3>> DrawnTriangles(const uint16_t* idx, uint32_t count, bool strip) {
  std::vector<std::array<uint16_t, 3>> out;
  if (strip) {
    for (uint32_t i = 0; i + 2 < count; ++i) {
      std::array<uint16_t, 3> t = {idx[i], idx[i + 1], idx[i + 2]};
      if (i % 2 == 1) std::swap(t[1], t[2]);
      if (t[0] != t[1] && t[1] != t[2] && t[0] != t[2]) out.push_back(t);
    }
  } else {
    for (uint32_t i = 0; i + 2 < count; i += 3) out.push_back({idx[i], idx[i + 1], idx[i + 2]});
  }
  return out;
}

// A triangle turned so that its smallest corner comes first: the same triangle in any rotation
// compares equal, its mirror not.
template <class Corner>
std::array<Corner, 3> RotateToLeast(std::array<Corner, 3> t) {
  while (t[0] > t[1] || t[0] > t[2]) t = {t[1], t[2], t[0]};
  return t;
}
inline std::array<uint16_t, 3> Canonical(std::array<uint16_t, 3> t) { return RotateToLeast(t); }

}  // namespace abt_build_testing
