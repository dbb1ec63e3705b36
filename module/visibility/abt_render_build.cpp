// The off-line render-geometry build: every build record becomes one batch, or one per piece
// when the geometry split divides it, each drawn as one strip or one indexed list from a vertex
// buffer of at most 65,535 vertices.
#include <cstring>

#include "visibility/abt_build_input.h"
#include "visibility/abt_chunk_file.h"
#include "visibility/abt_split_geometry.h"
#include "visibility/abt_strip_check.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/stripifier.h"

namespace {

constexpr uint32_t kBatchTriangleLimit = 800;
constexpr uint32_t kBufferVertexLimit = 65535;

struct OutputBuffer {
  uint32_t m_nCode = 0;
  uint32_t m_nStride = 0;
  uint32_t m_nCount = 0;
  std::vector<uint8_t> m_Vertices;
};

struct RenderBuild {
  std::vector<OutputBuffer> m_Buffers;
  std::vector<AbtLeafBatch> m_Batches;
  std::vector<uint16_t> m_Indices;
  AbtBuildStats* m_pStats = nullptr;

  // The record's own buffer when the vertices fit, else the first buffer of the same format
  // code with room (another code of the same stride lays its bytes out otherwise), else a new
  // one. -1 when no buffer can hold that many.
  int ChooseBuffer(uint32_t own, uint32_t count) {
    if (count > kBufferVertexLimit) return -1;
    if (m_Buffers[own].m_nCount + count <= kBufferVertexLimit) return static_cast<int>(own);
    for (size_t j = 0; j < m_Buffers.size(); ++j)
      if (m_Buffers[j].m_nCode == m_Buffers[own].m_nCode && m_Buffers[j].m_nCount + count <= kBufferVertexLimit)
        return static_cast<int>(j);
    OutputBuffer added;
    added.m_nCode = m_Buffers[own].m_nCode;
    added.m_nStride = m_Buffers[own].m_nStride;
    m_Buffers.push_back(std::move(added));
    return static_cast<int>(m_Buffers.size() - 1);
  }

  // One batch over `triangles` (relative to the buffer's running count). A batch of nothing
  // drawable (every triangle degenerate, or a box that is a point) is not made: its primitive
  // count would wrap and the loader refuses a box without extent.
  void AddBatch(const AbtBox& box, const std::vector<uint16_t>& triangles, int buffer, uint32_t vertexCount,
                uint32_t material) {
    if (!(box.m_vecMax.x > box.m_vecMin.x || box.m_vecMax.y > box.m_vecMin.y || box.m_vecMax.z > box.m_vecMin.z))
      return;
    const auto indexCount = static_cast<uint32_t>(triangles.size());
    StripOutput* groups = nullptr;
    uint16_t groupCount = 0;
    Stripifier::SetOutputListsOnly(false);
    Stripifier::BuildPrimitives(triangles.data(), indexCount, &groups, &groupCount, false);
    AbtLeafBatch b;
    std::vector<uint16_t> drawn;
    if (groupCount == 1 && groups[0].type == StripOutput::kStrip &&
        AbtStripDrawsExactly(triangles, groups[0].indices, groups[0].count)) {
      drawn.assign(groups[0].indices, groups[0].indices + groups[0].count);
      b.m_nPrimitiveKind = kAbtTriangleStrip;
    } else {
      delete[] groups;
      groups = nullptr;
      Stripifier::SetOutputListsOnly(true);
      uint32_t crowded = 0;  // the strip attempt on the same triangles said it already
      Stripifier::BuildPrimitives(triangles.data(), indexCount, &groups, &groupCount, false, &crowded);
      for (uint16_t g = 0; g < groupCount; ++g) drawn.insert(drawn.end(), groups[g].indices, groups[g].indices + groups[g].count);
      b.m_nPrimitiveKind = kAbtTriangleList;
    }
    delete[] groups;
    if (drawn.size() < 3) return;
    b.m_nPrimitiveCount = b.m_nPrimitiveKind == kAbtTriangleStrip ? static_cast<uint32_t>(drawn.size() - 2)
                                                                  : static_cast<uint32_t>(drawn.size() / 3);
    b.m_Box = box;
    b.m_vecCentre = (box.m_vecMax + box.m_vecMin) * 0.5f;
    b.m_nVertexFormat = AbtLayoutOf(m_Buffers[buffer].m_nCode).m_nFormat;
    b.m_nVertexBuffer = static_cast<uint32_t>(buffer);
    b.m_nStartIndex = static_cast<uint32_t>(m_Indices.size());
    b.m_nVertexCount = vertexCount;
    b.m_nMinVertexIndex = m_Buffers[buffer].m_nCount;
    b.m_nMaterial = material;
    m_Indices.insert(m_Indices.end(), drawn.begin(), drawn.end());
    m_Batches.push_back(b);
    ++(b.m_nPrimitiveKind == kAbtTriangleStrip ? m_pStats->m_nStrips : m_pStats->m_nLists);
  }

  void AppendVertices(int buffer, const uint8_t* vertices, uint32_t count) {
    OutputBuffer& out = m_Buffers[buffer];
    out.m_Vertices.insert(out.m_Vertices.end(), vertices, vertices + static_cast<size_t>(count) * out.m_nStride);
    out.m_nCount += count;
  }

  // Null when the record went in; otherwise why it could not.
  const char* AddRecord(const AbtBuildInput& in, const AbtBuildRecord& r) {
    const AbtInputBuffer& source = in.m_Buffers[r.m_nVertexBuffer];
    const uint32_t stride = source.m_Layout.m_nStride;
    AbtBox box = AbtEmptyBox();
    std::vector<uint16_t> triangles(3ull * r.m_nTriangleCount);
    for (uint32_t t = 0; t < r.m_nTriangleCount; ++t) {
      for (int k = 0; k < 3; ++k) {
        triangles[3 * t + k] = in.Corner(r.m_nFirstTriangle + t, k);
        float p[3];
        std::memcpy(p, in.Vertex(r, triangles[3 * t + k]), 12);
        AbtGrowBox(box, p);
      }
    }
    const uint8_t* first = in.Vertex(r, 0);
    const char* const tooMany = "a record holds more vertices than one vertex buffer takes (65,535)";
    if (r.m_nTriangleCount <= kBatchTriangleLimit) {
      const int buffer = ChooseBuffer(r.m_nVertexBuffer, r.m_nVertexCount);
      if (buffer < 0) return tooMany;
      AddBatch(box, triangles, buffer, r.m_nVertexCount, r.m_nMaterial);
      AppendVertices(buffer, first, r.m_nVertexCount);
      return nullptr;
    }
    std::vector<uint8_t> vertices(first, first + static_cast<size_t>(r.m_nVertexCount) * stride);
    uint32_t vertexCount = r.m_nVertexCount;
    std::vector<AbtGeometryPiece> pieces;
    if (!CAdaptiveBinaryTree::SplitGeometry(box.m_vecMax, box.m_vecMin, r.m_nTriangleCount, std::move(triangles),
                                            &vertices, source.m_nCode, &vertexCount, &pieces))
      return "the vertices made where a record is cut into batches would pass 65,535";
    const int buffer = ChooseBuffer(r.m_nVertexBuffer, vertexCount);
    if (buffer < 0) return tooMany;
    for (const AbtGeometryPiece& piece : pieces)
      AddBatch(piece.m_Box, piece.m_Triangles, buffer, vertexCount, r.m_nMaterial);
    AppendVertices(buffer, vertices.data(), vertexCount);
    return nullptr;
  }
};

// One u32 per vertex of every buffer in order, into each format's diffuse colour.
bool ApplyColours(AbtBuildInput* in, const std::vector<uint8_t>& colours) {
  uint64_t total = 0;
  for (const AbtInputBuffer& b : in->m_Buffers) total += b.VertexCount();
  if (colours.size() / 4 < total) return false;
  const uint8_t* c = colours.data();
  for (AbtInputBuffer& b : in->m_Buffers) {
    for (uint32_t v = 0; v < b.VertexCount(); ++v, c += 4)
      std::memcpy(b.m_pData + static_cast<size_t>(v) * b.m_Layout.m_nStride + b.m_Layout.m_nDiffuse, c, 4);
  }
  return true;
}

}  // namespace

bool CAdaptiveBinaryTree::BuildRenderGeometry(const char* input, const char* colours, const char* output) {
  m_BuildStats = AbtBuildStats{};
  std::vector<uint8_t> colourBytes;
  const HostFileRead colourRead = colours != nullptr && colours[0] != '\0'
                                      ? ReadWholeHostFile(colours, kAbtColourFileMaxBytes, &colourBytes)
                                      : HostFileRead::NotOpened;
  const bool colourOpened = colourRead != HostFileRead::NotOpened;
  if (colourOpened && colourRead != HostFileRead::Read) return m_BuildStats.Fail("the colour file does not read");
  AbtBuildInput in;
  if (!ReadBuildInput(input, &in, &m_BuildStats.m_szFailure)) return false;
  if (colourOpened && !ApplyColours(&in, colourBytes))
    return m_BuildStats.Fail("the colour file holds fewer colours than the input has vertices");
  colourBytes = std::vector<uint8_t>();

  RenderBuild build;
  build.m_pStats = &m_BuildStats;
  for (const AbtInputBuffer& b : in.m_Buffers) {
    OutputBuffer out;
    out.m_nCode = b.m_nCode;
    out.m_nStride = b.m_Layout.m_nStride;
    build.m_Buffers.push_back(std::move(out));
  }
  for (const AbtBuildRecord& r : in.m_Records)
    if (const char* why = build.AddRecord(in, r)) return m_BuildStats.Fail(why);

  std::vector<uint8_t> header(in.Header(), in.Header() + kAbtBuildHeaderSize);
  const auto bufferCount = static_cast<uint32_t>(build.m_Buffers.size());
  for (int i = 0; i < 4; ++i) header[kAbtHeaderBufferCountOffset + i] = static_cast<uint8_t>(bufferCount >> (8 * i));
  ByteWriter batches, buffers, indices;
  for (const AbtLeafBatch& b : build.m_Batches) b.Write(batches);
  for (const OutputBuffer& b : build.m_Buffers) {
    buffers.WriteU32(b.m_nCode);
    buffers.WriteU32(b.m_nCount);
    buffers.WriteBytes(b.m_Vertices.data(), b.m_Vertices.size());
  }
  for (uint16_t i : build.m_Indices) indices.WriteU16(i);

  AbtChunkFile file(output);
  if (!file.IsOpen()) return m_BuildStats.Fail(kAbtOutputDoesNotOpen);
  file.Chunk(0x1000, header);
  file.Chunk(0x2000, in.m_pBlockA, in.m_nBlockASize);
  file.Chunk(0x3000, in.m_pNameOffsets, 4 * in.m_nNameCount);
  file.Chunk(0x4000, in.m_pMaterials, 56 * in.m_nMaterialCount);
  file.Chunk(0x5000, batches.Bytes());
  file.Chunk(0x6000, buffers.Bytes());
  file.Chunk(0x7000, indices.Bytes());
  if (!file.Close()) return m_BuildStats.Fail(kAbtOutputNotWritten);
  m_BuildStats.m_nBatches = static_cast<uint32_t>(build.m_Batches.size());
  m_BuildStats.m_nBuffers = bufferCount;
  return true;
}
