// The render-geometry file: seven chunks in a fixed order. The whole file is checked before
// anything is appended or any renderer resource is made, so a bad file changes nothing.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/module_globals.h"
#include "visibility/abt_render_node.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/abt_build_input.h"

namespace {
constexpr uint16_t kChunkHeader = 0x1000, kChunkNamePool = 0x2000, kChunkNameOffsets = 0x3000,
                   kChunkMaterials = 0x4000, kChunkBatches = 0x5000, kChunkVertexBuffers = 0x6000,
                   kChunkIndices = 0x7000;
constexpr uint32_t kBuildHeaderSize = 72;
constexpr uint32_t kTextureCountOffset = 16;
constexpr uint32_t kVertexBufferCountOffset = 40;
// "scene\" and the name fit the 260-byte path buffer with its NUL.
constexpr size_t kMaxTextureName = 253;
constexpr DWORD kUsageWriteOnly = 8, kPoolManaged = 1, kIndexFormat16 = 0x65;

struct FileVertexBuffer {
  uint32_t m_nFormat = 0;
  uint32_t m_nStride = 0;
  uint32_t m_nCount = 0;
  const uint8_t* m_pData = nullptr;
};

struct GeometryFile {
  std::vector<std::string> m_Names;
  std::vector<AbtMaterial> m_Materials;
  std::vector<AbtLeafBatch> m_Batches;
  std::vector<FileVertexBuffer> m_Buffers;
  const uint8_t* m_pIndices = nullptr;
  uint32_t m_nIndexBytes = 0;

  uint16_t Index(uint64_t i) const {
    return static_cast<uint16_t>(m_pIndices[2 * i] | (m_pIndices[2 * i + 1] << 8));
  }
};

// A batch's box must be finite, its minimum at or below its maximum, and not a single point, and
// its centre must not lie below the tree's sanity bound: the render tree takes a node of no
// extent, or a leaf whose first centre is below that bound, for a broken tree.
bool SoundBox(const AbtBox& box, const D3DXVECTOR3& centre) {
  const float v[9] = {box.m_vecMin.x, box.m_vecMin.y, box.m_vecMin.z, box.m_vecMax.x, box.m_vecMax.y,
                      box.m_vecMax.z, centre.x, centre.y, centre.z};
  for (float f : v)
    if (!std::isfinite(f)) return false;
  if (centre.x < kAbtCentreSanityBound) return false;
  const float dx = box.m_vecMax.x - box.m_vecMin.x, dy = box.m_vecMax.y - box.m_vecMin.y,
              dz = box.m_vecMax.z - box.m_vecMin.z;
  return dx >= 0.0f && dy >= 0.0f && dz >= 0.0f && (dx > 0.0f || dy > 0.0f || dz > 0.0f) && std::isfinite(dx) &&
         std::isfinite(dy) && std::isfinite(dz);
}

// A batch's draw must stay inside its file's index array and its vertex buffer.
bool BatchDrawsInside(const GeometryFile& f, const AbtLeafBatch& b) {
  if (b.m_nPrimitiveKind != kAbtTriangleList && b.m_nPrimitiveKind != kAbtTriangleStrip) return true;
  const uint64_t used = b.m_nPrimitiveKind == kAbtTriangleList ? 3ull * b.m_nPrimitiveCount
                                                              : static_cast<uint64_t>(b.m_nPrimitiveCount) + 2;
  if (static_cast<uint64_t>(b.m_nStartIndex) + used > f.m_nIndexBytes / 2) return false;
  if (static_cast<uint64_t>(b.m_nMinVertexIndex) + b.m_nVertexCount > f.m_Buffers[b.m_nVertexBuffer].m_nCount)
    return false;
  for (uint64_t i = 0; i < used; ++i)
    if (f.Index(b.m_nStartIndex + i) >= b.m_nVertexCount) return false;
  return true;
}

bool ParseGeometryFile(const uint8_t* data, size_t size, GeometryFile* f) {
  ByteCursor c(data, size);
  ByteCursor header(nullptr, 0), pool(nullptr, 0), offsets(nullptr, 0), materials(nullptr, 0),
      batches(nullptr, 0), buffers(nullptr, 0), indices(nullptr, 0);
  if (!ReadChunk(c, kChunkHeader, &header) || !ReadChunk(c, kChunkNamePool, &pool) ||
      !ReadChunk(c, kChunkNameOffsets, &offsets) || !ReadChunk(c, kChunkMaterials, &materials) ||
      !ReadChunk(c, kChunkBatches, &batches) || !ReadChunk(c, kChunkVertexBuffers, &buffers) ||
      !ReadChunk(c, kChunkIndices, &indices))
    return false;

  uint32_t textureCount = 0;
  int32_t bufferCount = 0;
  if (header.Remaining() != kBuildHeaderSize || !header.Skip(kTextureCountOffset) || !header.ReadU32(&textureCount) ||
      !header.Skip(kVertexBufferCountOffset - kTextureCountOffset - 4) || !header.ReadI32(&bufferCount) ||
      bufferCount < 0)
    return false;

  if (offsets.Remaining() != 4ull * textureCount) return false;
  const auto* poolBytes = reinterpret_cast<const char*>(pool.Here());
  const size_t poolSize = pool.Remaining();
  for (uint32_t i = 0; i < textureCount; ++i) {
    uint32_t offset = 0;
    if (!offsets.ReadU32(&offset) || offset >= poolSize) return false;
    size_t length = 0;
    while (offset + length < poolSize && poolBytes[offset + length] != '\0') ++length;
    if (offset + length == poolSize || length > kMaxTextureName) return false;
    f->m_Names.emplace_back(poolBytes + offset, length);
  }

  if (!ReadAbtRecords(materials, kAbtMaterialSize, &f->m_Materials)) return false;
  for (const AbtMaterial& m : f->m_Materials)
    for (int k = 0; k < 4; ++k)
      if (m.m_SlotUsed[k] != 0 && m.m_Texture[k] >= textureCount) return false;

  if (!ReadAbtRecords(batches, kAbtLeafBatchSize, &f->m_Batches)) return false;

  for (int32_t j = 0; j < bufferCount; ++j) {
    FileVertexBuffer vb;
    uint32_t code = 0;
    if (!buffers.ReadU32(&code) || !buffers.ReadU32(&vb.m_nCount)) return false;
    if (!AbtCodeIsKnown(code)) return false;
    const AbtVertexLayout layout = AbtLayoutOf(code);
    vb.m_nStride = layout.m_nStride;
    vb.m_nFormat = layout.m_nFormat;
    vb.m_pData = buffers.Here();
    if (!buffers.Skip(static_cast<uint64_t>(vb.m_nStride) * vb.m_nCount)) return false;
    f->m_Buffers.push_back(vb);
  }
  if (buffers.Remaining() != 0) return false;

  if (indices.Remaining() % 2 != 0) return false;
  f->m_pIndices = indices.Here();
  f->m_nIndexBytes = static_cast<uint32_t>(indices.Remaining());

  for (const AbtLeafBatch& b : f->m_Batches) {
    if (b.m_nMaterial >= f->m_Materials.size() || b.m_nVertexBuffer >= f->m_Buffers.size() ||
        f->m_Buffers[b.m_nVertexBuffer].m_nCount == 0 || !BatchDrawsInside(*f, b) || !SoundBox(b.m_Box, b.m_vecCentre))
      return false;
  }
  return true;
}

}  // namespace

bool WriteChunkHeader(IIniService* files, HANDLE file, uint16_t tag, uint32_t length) {
  uint8_t bytes[6] = {static_cast<uint8_t>(tag), static_cast<uint8_t>(tag >> 8)};
  for (int i = 0; i < 4; ++i) bytes[2 + i] = static_cast<uint8_t>(length >> (8 * i));
  uint32_t written = 0;
  return files->WriteFile(file, bytes, 6, &written) && written == 6;
}

bool ReadChunkHeader(ByteCursor& cursor, uint16_t* tag, uint32_t* length) {
  return cursor.ReadU16(tag) && cursor.ReadU32(length);
}

bool ReadChunk(ByteCursor& c, uint16_t tag, ByteCursor* body) {
  uint16_t found = 0;
  uint32_t length = 0;
  if (!ReadChunkHeader(c, &found, &length) || found != tag || length > c.Remaining()) return false;
  *body = ByteCursor(c.Here(), length);
  return c.Skip(length);
}

bool CAdaptiveBinaryTree::Load(const char* path, uint32_t blendClass) {
  if (m_pRenderer == nullptr) return false;
  std::vector<uint8_t> bytes;
  GeometryFile f;
  if (ReadWholeHostFile(path, kAbtTreeFileMaxBytes, &bytes) != HostFileRead::Read ||
      !ParseGeometryFile(bytes.data(), bytes.size(), &f))
    return false;

  // The batch container is about to move: a render tree would point into the old one.
  if (m_pRenderRoot != nullptr) {
    AbtRenderNode* root = m_pRenderRoot;
    m_pRenderRoot = nullptr;
    FreeNodeTree(root);
    AbtRenderNode::Release(root);
  }

  const size_t textureBase = m_Textures.size();
  const size_t materialBase = m_Materials.size();
  const size_t batchBase = m_LeafBatches.size();
  const size_t bufferBase = m_VertexBuffers.size();
  for (const std::string& name : f.m_Names) {
    char texturePath[260];
    std::snprintf(texturePath, sizeof texturePath, "scene\\%s", name.c_str());
    m_Textures.push_back(m_pRenderer->LoadTexture(texturePath, 0));
  }
  for (AbtMaterial m : f.m_Materials) {
    for (int k = 0; k < 4; ++k)
      if (m.m_SlotUsed[k] != 0) m.m_Texture[k] = static_cast<uint32_t>(m_Textures[textureBase + m.m_Texture[k]]);
    m_Materials.push_back(m);
  }
  m_LeafBatches.insert(m_LeafBatches.end(), f.m_Batches.begin(), f.m_Batches.end());
  for (const FileVertexBuffer& vb : f.m_Buffers) {
    if (vb.m_nCount == 0) {
      m_VertexBuffers.push_back(-1);
      continue;
    }
    const UINT bytesTotal = vb.m_nStride * vb.m_nCount;
    const int handle = m_pRenderer->CreateVertexBuffer(vb.m_nFormat, bytesTotal, kUsageWriteOnly, kPoolManaged);
    if (void* p = m_pRenderer->LockVertexBuffer(handle, 0, 0, 0); p != nullptr) {
      std::memcpy(p, vb.m_pData, bytesTotal);
      m_pRenderer->UnlockVertexBuffer(handle);
    }
    m_VertexBuffers.push_back(handle);
  }
  const int indexBuffer = m_pRenderer->CreateIndexBuffer(f.m_nIndexBytes, kUsageWriteOnly, kPoolManaged, kIndexFormat16);
  if (void* p = m_pRenderer->LockIndexBuffer(indexBuffer, 0, 0, 0); p != nullptr) {
    if (f.m_nIndexBytes > 0) std::memcpy(p, f.m_pIndices, f.m_nIndexBytes);
    m_pRenderer->UnlockIndexBuffer(indexBuffer);
  }
  m_IndexBuffers.push_back(indexBuffer);

  for (size_t i = batchBase; i < m_LeafBatches.size(); ++i) {
    AbtLeafBatch& b = m_LeafBatches[i];
    b.m_nVertexBuffer = static_cast<uint32_t>(m_VertexBuffers[bufferBase + b.m_nVertexBuffer]);
    b.m_nIndexBuffer = static_cast<uint32_t>(indexBuffer);
    b.m_nBlendClass = blendClass;
    b.m_flEyeDistance = 0.0f;
    b.m_nMaterial = static_cast<uint32_t>(b.m_nMaterial + materialBase);
  }
  m_OpaqueList.reserve(m_LeafBatches.size());
  m_BlendedList.reserve(m_LeafBatches.size());
  return true;
}
