// The build input of the tree's off-line builds (magic "60.1"): a 72-byte header, then block A
// (the name pool), two u32 arrays (the second: the texture names' offsets in block A), 56-byte
// materials, 80- and 108-byte records the builds skip, the build records, u16 triangle triples
// relative to their record's first vertex, vertex-buffer descriptors {format code, byte size} and
// the buffers' vertex data. The whole file is checked when it is read, so a build that holds an
// input may index it freely.
#pragma once
#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "visibility/abt_build_record.h"
#include "visibility/abt_vertex_format.h"

inline constexpr uint32_t kAbtBuildMagic = 0x312E3036u;  // "60.1"
inline constexpr uint32_t kAbtBuildHeaderSize = 72;
inline constexpr uint32_t kAbtHeaderBufferCountOffset = 40;
// 16-bit indices reach this many vertices of a record or a buffer.
inline constexpr uint32_t kAbtMaxRecordVertices = 65536;

struct AbtInputBuffer {
  uint32_t m_nCode = 0;
  uint32_t m_nByteSize = 0;
  AbtVertexLayout m_Layout;
  uint8_t* m_pData = nullptr;  // inside the input's bytes
  uint32_t VertexCount() const { return m_nByteSize / m_Layout.m_nStride; }
};

struct AbtBuildInput {
  std::vector<uint8_t> m_Bytes;  // the whole file; the sections below point into it
  uint32_t m_nBlockASize = 0;
  const uint8_t* m_pBlockA = nullptr;
  uint32_t m_nNameCount = 0;
  const uint8_t* m_pNameOffsets = nullptr;
  uint32_t m_nMaterialCount = 0;
  const uint8_t* m_pMaterials = nullptr;
  std::vector<AbtBuildRecord> m_Records;
  uint32_t m_nTriangleCount = 0;
  const uint8_t* m_pTriangles = nullptr;
  std::vector<AbtInputBuffer> m_Buffers;
  D3DXVECTOR3 m_vecSize{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 m_vecCentre{0.0f, 0.0f, 0.0f};

  const uint8_t* Header() const { return m_Bytes.data(); }
  // Corner k (0..2) of triangle i of the whole array, relative to its record's first vertex.
  uint16_t Corner(uint32_t triangle, int k) const {
    const uint8_t* p = m_pTriangles + 6ull * triangle + 2 * k;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  // The vertex of a record by its index relative to the record's first vertex.
  uint8_t* Vertex(const AbtBuildRecord& r, uint32_t local) const {
    const AbtInputBuffer& b = m_Buffers[r.m_nVertexBuffer];
    return b.m_pData + static_cast<uint64_t>(r.m_nFirstVertex + local) * b.m_Layout.m_nStride;
  }
};

// Takes the file's bytes and checks every section, count, range, index, code and position.
// False when anything is out of place; `input` is then left empty and *why (when given) says
// what in one line.
bool ParseBuildInput(std::vector<uint8_t> bytes, AbtBuildInput* input, const char** why = nullptr);
// Reads the file whole through the host's file service, then parses it. On false, *why (when
// given) says what was wrong in one line.
bool ReadBuildInput(const char* path, AbtBuildInput* input, const char** why = nullptr);
// The largest files the builds and loads read. A build input or tree file of the sample stage
// is below 100 KiB; a colour file holds four bytes a vertex.
inline constexpr uint64_t kAbtBuildInputMaxBytes = 128u << 20;
inline constexpr uint64_t kAbtTreeFileMaxBytes = 128u << 20;
inline constexpr uint64_t kAbtColourFileMaxBytes = 64u << 20;
inline constexpr const char* kAbtInputTooLarge = "the input holds more than the 128 MiB a build input may";

enum class HostFileRead { Read, NotOpened, TooLarge, Failed };

// A whole file of at most `limit` bytes through the host's file service, which opens only
// regular files and never waits; one above the limit is refused before a byte is read.
HostFileRead ReadWholeHostFile(const char* path, uint64_t limit, std::vector<uint8_t>* bytes);
