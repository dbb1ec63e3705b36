// The terrain's height brush (selection, raising and setting, the dirty regions and the overlay)
// and its blend-map painting.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "terrain/terrain_manager.h"

namespace {

constexpr int32_t kMaxBrushCells = 65536;  // every cell must be nameable by a 16-bit index
constexpr int kBlendMapSize = 64;
constexpr int kPatchSlots = 8;

int16_t ClampHeight(double h) { return static_cast<int16_t>(std::clamp(std::trunc(h), -32768.0, 32767.0)); }

// The block's closed range of grid points [256 b, 256 b + 256] clipped to [lo, hi]; false when empty.
bool ClipToBlock(int b, int32_t lo, int32_t hi, int32_t* a, int32_t* z) {
  *a = std::max(lo, b * kBlockQuads);
  *z = std::min(hi, b * kBlockQuads + kBlockQuads);
  return *a <= *z;
}

}  // namespace

TerrainBrushVertex* CTerrainManager::NewBrushVertices(uint32_t count) { return HostNewArray<TerrainBrushVertex>(count); }

void CTerrainManager::FreeBrush() {
  HostDeleteArray(m_pBrushVertices);
  HostDeleteArray(m_pBrushIndices);
  HostDeleteArray(m_pSharing);
  m_pBrushVertices = nullptr;
  m_pBrushIndices = nullptr;
  m_pSharing = nullptr;
  m_nBrushW = m_nBrushH = 0;
  m_nBrushTriangles = 0;
}

void CTerrainManager::SetBrushSize(int32_t w, int32_t h, int32_t hotX, int32_t hotZ) {
  if (!HasBlocks()) return;
  m_nHotX = hotX;
  m_nHotZ = hotZ;
  if (w == m_nBrushW && h == m_nBrushH) return;
  if (w < 0 || h < 0 || static_cast<int64_t>(w) * h > kMaxBrushCells) return;
  // The selection names cells of the old grid.
  FlushDirtyRegions();
  FreeBrush();
  m_aLastBrushVertex[0] = m_aLastBrushVertex[1] = -1;
  const auto cells = static_cast<uint32_t>(w * h);
  const int64_t quadIndices = 6 * static_cast<int64_t>(w - 1) * (h - 1);
  const auto indexCount = static_cast<uint32_t>(std::max<int64_t>(quadIndices, 1));
  m_pBrushVertices = NewBrushVertices(cells);
  m_pBrushIndices = HostNewArray<uint16_t>(indexCount);
  m_pSharing = HostNewArray<TerrainSharingRecord>(cells);
  if (m_pBrushVertices == nullptr || m_pBrushIndices == nullptr || m_pSharing == nullptr) {
    g_pHost->Log("[ERROR] CTerrainManager::SetBrushSize: no memory for a %d x %d brush.", w, h);
    FreeBrush();
    return;
  }
  m_nBrushW = w;
  m_nBrushH = h;
  std::memset(m_pSharing, 0, cells * sizeof(TerrainSharingRecord));
  std::memset(m_pBrushVertices, 0, cells * sizeof(TerrainBrushVertex));
  const float du = w > 1 ? 1.0f / static_cast<float>(w - 1) : 0.0f;
  const float dv = h > 1 ? 1.0f / static_cast<float>(h - 1) : 0.0f;
  uint16_t* out = m_pBrushIndices;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < h; ++j) {
      TerrainBrushVertex& v = m_pBrushVertices[i * h + j];
      v.u = static_cast<float>(i) * du;
      v.v = static_cast<float>(j) * dv;
      if (i + 1 >= w || j + 1 >= h) continue;
      const auto a = static_cast<uint16_t>(i * h + j), b = static_cast<uint16_t>((i + 1) * h + j);
      const uint16_t quad[6] = {b, a, static_cast<uint16_t>(b + 1), static_cast<uint16_t>(b + 1), a,
                                static_cast<uint16_t>(a + 1)};
      out = std::copy(quad, quad + 6, out);
    }
  }
}

bool CTerrainManager::BrushRectangle(int32_t vx, int32_t vz, int32_t* topLeft, int32_t* bottomRight) const {
  // The hot spot may be anywhere in the 32-bit range, so the rectangle is reckoned in 64 bits. One
  // that meets the field lies within a brush's width of it and fits 32 bits again.
  const int64_t left = int64_t{vx} - m_nHotX + 1, top = int64_t{vz} - m_nHotZ + 1;
  const int64_t right = int64_t{vx} + (int64_t{m_nBrushW} - m_nHotX);
  const int64_t bottom = int64_t{vz} + (int64_t{m_nBrushH} - m_nHotZ);
  constexpr int64_t kField = 8 * kBlockQuads;
  if (right < 0 || bottom < 0 || left > kField || top > kField) return false;
  topLeft[0] = static_cast<int32_t>(left);
  topLeft[1] = static_cast<int32_t>(top);
  bottomRight[0] = static_cast<int32_t>(right);
  bottomRight[1] = static_cast<int32_t>(bottom);
  return true;
}

void CTerrainManager::UpdateBrush(const int32_t* topLeft, const int32_t* bottomRight) {
  m_nBrushTriangles = 0;
  if (!HasBlocks() || !BrushHasGeometry() || topLeft == nullptr || bottomRight == nullptr) return;
  const int32_t left = topLeft[0], top = topLeft[1];
  // The brush grid bounds the rectangle whatever the caller passed.
  const int32_t right = std::min(bottomRight[0], left + m_nBrushW - 1);
  const int32_t bottom = std::min(bottomRight[1], top + m_nBrushH - 1);
  const int32_t H = m_nBrushH;
  uint16_t* out = m_pBrushIndices;
  for (int bi = 0; bi < 8; ++bi) {
    int32_t x0, x1;
    if (!ClipToBlock(bi, left, right, &x0, &x1)) continue;
    for (int bj = 0; bj < 8; ++bj) {
      int32_t z0, z1;
      if (!ClipToBlock(bj, top, bottom, &z0, &z1)) continue;
      const CTerrainBlock* block = Block(bi, bj);
      for (int32_t x = x0; x <= x1; ++x) {
        for (int32_t z = z0; z <= z1; ++z) {
          const int16_t h = block->m_aHeights[(x - bi * kBlockQuads) * kBlockSamples + (z - bj * kBlockQuads)];
          TerrainBrushVertex& v = m_pBrushVertices[(x - left) * H + (z - top)];
          v.x = static_cast<float>(x);
          v.y = h * m_fHeightScale;
          v.z = static_cast<float>(z);
        }
      }
      // The overlay is split as the ground it outlines is.
      for (int32_t x = x0; x < x1; ++x) {
        for (int32_t z = z0; z < z1; ++z) {
          const auto a = static_cast<uint16_t>((x - left) * H + (z - top));
          const auto b = static_cast<uint16_t>(a + H);
          const auto a1 = static_cast<uint16_t>(a + 1), b1 = static_cast<uint16_t>(b + 1);
          if (CTerrainBlock::DiagonalFlag(x, z)) {
            const uint16_t t[6] = {b, a, b1, b1, a, a1};
            out = std::copy(t, t + 6, out);
          } else {
            const uint16_t t[6] = {b, a, a1, b1, b, a1};
            out = std::copy(t, t + 6, out);
          }
          m_nBrushTriangles += 2;
        }
      }
    }
  }
}

bool CTerrainManager::CursorVertex(const D3DXMATRIX& inverseView, const D3DXMATRIX& projection, int32_t mouseX,
                                   int32_t mouseY, int32_t* vx, int32_t* vz) {
  D3DVIEWPORT8 viewport{};
  if (m_pRenderer == nullptr || FAILED(m_pRenderer->GetViewport(&viewport)) || viewport.Width == 0 ||
      viewport.Height == 0)
    return false;
  const float px = (2.0f * static_cast<float>(mouseX) / static_cast<float>(viewport.Width) - 1.0f) / projection._11;
  const float py = -(2.0f * static_cast<float>(mouseY) / static_cast<float>(viewport.Height) - 1.0f) / projection._22;
  const D3DXVECTOR3 d(px * inverseView._11 + py * inverseView._21 + inverseView._31,
                      px * inverseView._12 + py * inverseView._22 + inverseView._32,
                      px * inverseView._13 + py * inverseView._23 + inverseView._33);
  const D3DXVECTOR3 eye(inverseView._41, inverseView._42, inverseView._43);
  const D3DXVECTOR3 end(eye.x + 999.0f * d.x, eye.y + 999.0f * d.y, eye.z + 999.0f * d.z);
  D3DXVECTOR3 normal;
  const float t = Pick(&eye, &end, &normal);
  if (!(t > 0.0f && t < 1.0f)) return false;
  auto round = [](float p) {
    const float whole = std::trunc(p);
    return static_cast<int32_t>(whole) + (p - whole > 0.5f ? 1 : 0);
  };
  *vx = round(eye.x + t * (end.x - eye.x));
  *vz = round(eye.z + t * (end.z - eye.z));
  return true;
}

void CTerrainManager::SelectUnderBrush(const float* weights, int32_t mouseX, int32_t mouseY) {
  if (!HasBlocks() || m_bSelectionActive || weights == nullptr || !BrushHasGeometry()) return;
  D3DXMATRIX view, projection, inverse;
  m_pRenderer->GetTransform(D3DTS_VIEW, &view);
  m_pRenderer->GetTransform(D3DTS_PROJECTION, &projection);
  if (D3DXMatrixInverse(&inverse, nullptr, &view) == nullptr) return;
  int32_t vx, vz;
  if (!CursorVertex(inverse, projection, mouseX, mouseY, &vx, &vz)) return;
  int32_t topLeft[2], bottomRight[2];
  if (!BrushRectangle(vx, vz, topLeft, bottomRight)) {
    // Nothing of the field under the brush: an empty selection.
    m_nBrushTriangles = 0;
    m_bSelectionActive = true;
    return;
  }
  const int32_t left = topLeft[0], top = topLeft[1];
  for (int bi = 0; bi < 8; ++bi) {
    int32_t x0, x1;
    if (!ClipToBlock(bi, left, bottomRight[0], &x0, &x1)) continue;
    for (int bj = 0; bj < 8; ++bj) {
      int32_t z0, z1;
      if (!ClipToBlock(bj, top, bottomRight[1], &z0, &z1)) continue;
      const int b = bi * 8 + bj;
      TerrainRegionRecord region{kBlockQuads, kBlockQuads, 0, 0};
      const size_t before = m_selections[b].size();
      for (int32_t x = x0; x <= x1; ++x) {
        for (int32_t z = z0; z <= z1; ++z) {
          const int32_t i = x - left, j = z - top;
          const float weight = weights[i * m_nBrushH + j];
          if (!(weight > 0.0f)) continue;
          const int32_t lx = x - bi * kBlockQuads, lz = z - bj * kBlockQuads;
          region = {std::min(region.x0, lx), std::min(region.z0, lz), std::max(region.x1, lx), std::max(region.z1, lz)};
          m_selections[b].push_back({lx, lz, i, j, weight});
          TerrainSharingRecord& share = m_pSharing[i * m_nBrushH + j];
          if (share.count < 4) {
            share.block[share.count][0] = bi;
            share.block[share.count][1] = bj;
            share.local[share.count][0] = lx;
            share.local[share.count][1] = lz;
            ++share.count;
          }
        }
      }
      if (m_selections[b].size() > before) m_regions[b].push_back(region);
    }
  }
  UpdateBrush(topLeft, bottomRight);
  m_bSelectionActive = true;
}

void CTerrainManager::RaiseUnderBrush(int16_t amount) {
  if (!HasBlocks() || !m_bSelectionActive) return;
  for (int b = 0; b < 64; ++b) {
    for (const TerrainSelectionEntry& e : m_selections[b]) {
      int16_t& h = m_apBlocks[b]->m_aHeights[e.lx * kBlockSamples + e.lz];
      h = ClampHeight(static_cast<double>(amount) * e.weight + h);
      m_pBrushVertices[e.i * m_nBrushH + e.j].y = h * m_fHeightScale;
    }
  }
}

void CTerrainManager::SetUnderBrush(int16_t value) {
  if (!HasBlocks() || !m_bSelectionActive) return;
  for (int b = 0; b < 64; ++b) {
    for (const TerrainSelectionEntry& e : m_selections[b]) {
      int16_t& h = m_apBlocks[b]->m_aHeights[e.lx * kBlockSamples + e.lz];
      h = ClampHeight(static_cast<double>(value) * e.weight);
      m_pBrushVertices[e.i * m_nBrushH + e.j].y = h * m_fHeightScale;
    }
  }
}

void CTerrainManager::FlushDirtyRegions() {
  if (!HasBlocks() || !m_bSelectionActive) return;
  for (int b = 0; b < 64; ++b) {
    // A grid point bounds the quads on both sides of it; the tree has quads 0..255 only.
    for (const TerrainRegionRecord& r : m_regions[b])
      m_apBlocks[b]->UpdateRegion(std::max(r.x0 - 1, 0), std::max(r.z0 - 1, 0), std::min(r.x1, kBlockQuads - 1),
                                  std::min(r.z1, kBlockQuads - 1));
    m_regions[b].clear();
    m_selections[b].clear();
  }
  if (m_pSharing != nullptr)
    std::memset(m_pSharing, 0, static_cast<size_t>(m_nBrushW) * m_nBrushH * sizeof(TerrainSharingRecord));
  BuildBlockTree();
  m_bSelectionActive = false;
}

int16_t CTerrainManager::GetHeightAt(int32_t i, int32_t j) {
  if (!HasBlocks() || !m_bSelectionActive || m_pSharing == nullptr) return 0;
  if (i < 0 || i >= m_nBrushW || j < 0 || j >= m_nBrushH) return 0;
  const TerrainSharingRecord& share = m_pSharing[i * m_nBrushH + j];
  if (share.count == 0) return 0;
  return Block(share.block[0][0], share.block[0][1])->m_aHeights[share.local[0][0] * kBlockSamples + share.local[0][1]];
}

void CTerrainManager::SetHeightAt(int32_t i, int32_t j, int16_t h) {
  if (!HasBlocks() || !m_bSelectionActive || m_pSharing == nullptr) return;
  if (i < 0 || i >= m_nBrushW || j < 0 || j >= m_nBrushH) return;
  m_pBrushVertices[i * m_nBrushH + j].y = h * m_fHeightScale;
  const TerrainSharingRecord& share = m_pSharing[i * m_nBrushH + j];
  for (int k = 0; k < share.count; ++k)
    Block(share.block[k][0], share.block[k][1])->m_aHeights[share.local[k][0] * kBlockSamples + share.local[k][1]] = h;
}

void CTerrainManager::ShowBrush() {
  if (HasBlocks()) m_bBrushShown = true;
}

void CTerrainManager::HideBrush() {
  if (HasBlocks()) m_bBrushShown = false;
}

void CTerrainManager::BeginPickMode() {
  if (!HasBlocks()) return;
  FlushDirtyRegions();
  m_bPainting = true;
}

int32_t CTerrainManager::ResetPick() {
  if (HasBlocks()) {
    m_bPainting = false;
    m_aLastPaintedVertex[0] = m_aLastPaintedVertex[1] = -1;
  }
  return -1;
}

void CTerrainManager::DrawBrush() {
  if (!m_bBrushShown || !BrushHasGeometry() || m_nBrushTriangles <= 0) return;
  m_pRenderer->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
  m_pRenderer->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX1);
  m_pRenderer->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(m_nBrushW * m_nBrushH),
                                      static_cast<UINT>(m_nBrushTriangles), m_pBrushIndices, D3DFMT_INDEX16,
                                      m_pBrushVertices, sizeof(TerrainBrushVertex), m_aEffects[3], 0);
}

// ---- painting ----

void CTerrainManager::SetBrushMask(const uint8_t* mask, int32_t maskW, int32_t maskH, const char* texture,
                                   const float* offset2, const float* scale2, bool fromFile) {
  if (!HasBlocks() || m_nBrushW < 1 || m_nBrushH < 1 || texture == nullptr || mask == nullptr) return;
  if (maskW != maskH || maskW != m_nTexelsPerQuad * (m_nBrushW - 1)) return;
  // A layer that cannot be made leaves the stroke as it was.
  const int32_t layer = CreateLayer(texture, offset2, scale2, fromFile);
  if (layer < 0) return;
  const auto bytes = static_cast<uint32_t>(maskW) * static_cast<uint32_t>(maskH);
  auto* copy = HostNewArray<uint8_t>(bytes);
  if (copy == nullptr) return;
  std::memcpy(copy, mask, bytes);
  HostDeleteArray(m_pPaintMask);
  m_pPaintMask = copy;
  m_nMaskW = maskW;
  m_nMaskH = maskH;
  m_nPaintLayer = layer;
}

void CTerrainManager::PaintBlendLayer(const int32_t* topLeft, const int32_t* bottomRight) {
  if (!HasBlocks() || m_patchLayers.empty() || m_pPaintMask == nullptr || m_nPaintLayer < 0 || topLeft == nullptr ||
      bottomRight == nullptr)
    return;
  for (int bi = 0; bi < 8; ++bi) {
    int32_t x0, x1;
    if (!ClipToBlock(bi, topLeft[0], bottomRight[0], &x0, &x1)) continue;
    x0 -= bi * kBlockQuads;
    x1 -= bi * kBlockQuads;
    for (int bj = 0; bj < 8; ++bj) {
      int32_t z0, z1;
      if (!ClipToBlock(bj, topLeft[1], bottomRight[1], &z0, &z1)) continue;
      z0 -= bj * kBlockQuads;
      z1 -= bj * kBlockQuads;
      for (int pr = z0 / kPatchQuads; pr <= std::min(z1 / kPatchQuads, 7); ++pr) {
        for (int pc = x0 / kPatchQuads; pc <= std::min(x1 / kPatchQuads, 7); ++pc) {
          const int px0 = std::max(x0, pc * kPatchQuads) - pc * kPatchQuads;
          const int px1 = std::min(x1, pc * kPatchQuads + kPatchQuads) - pc * kPatchQuads;
          const int pz0 = std::max(z0, pr * kPatchQuads) - pr * kPatchQuads;
          const int pz1 = std::min(z1, pr * kPatchQuads + kPatchQuads) - pr * kPatchQuads;
          if (px1 <= px0 || pz1 <= pz0) continue;
          PaintPatch(bi * 8 + pc, bj * 8 + pr, px0, pz0, px1, pz1, topLeft);
        }
      }
    }
  }
}

void CTerrainManager::PaintPatch(int gpx, int gpz, int px0, int pz0, int px1, int pz1, const int32_t* topLeft) {
  TerrainPatchLayers& record = m_patchLayers[static_cast<size_t>(gpx * kFieldPatches + gpz)];
  int32_t blend = -1;
  const int top = record.count - 1;
  // Only a painted slot has a blend map to reuse; painting the base layer stacks a new slot.
  if (top >= 0 && record.slots[top].textureLayer == m_nPaintLayer && record.slots[top].textureCount == 2) {
    blend = record.slots[top].blendLayer;
  } else {
    if (record.count >= kPatchSlots) return;
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(m_pRenderer->CreateTexture(kBlendMapSize, kBlendMapSize, 1, 0, D3DFMT_A8L8, D3DPOOL_MANAGED,
                                          &texture)) ||
        texture == nullptr)
      return;
    D3DLOCKED_RECT cleared{};
    if (FAILED(texture->LockRect(0, &cleared, nullptr, 0))) {
      texture->Release();
      return;
    }
    for (int row = 0; row < kBlendMapSize; ++row)
      std::memset(static_cast<uint8_t*>(cleared.pBits) + row * cleared.Pitch, 0, kBlendMapSize * 2);
    texture->UnlockRect(0);
    char name[64];
    std::snprintf(name, sizeof name, "blendMap_%d_%d_%d.dds", record.count - 1, gpx, gpz);
    m_nameRecords.push_back(name);
    TerrainLayer layer;
    layer.texture = texture;
    layer.offset[0] = -32.0f * static_cast<float>(gpx);
    layer.offset[1] = -32.0f * static_cast<float>(gpz);
    layer.scale[0] = layer.scale[1] = 1.0f / 32.0f;
    layer.nameRecord = static_cast<uint32_t>(m_nameRecords.size() - 1);
    blend = static_cast<int32_t>(m_layers.size());
    m_layers.push_back(layer);
    m_layerNames.emplace(name, blend);
    m_ownedTextures.push_back(texture);
    record.slots[record.count] = {m_nPaintLayer, blend, 2, -1};
    ++record.count;
  }
  const int f = m_nTexelsPerQuad;
  IDirect3DTexture8* texture = m_layers[static_cast<size_t>(blend)].texture;
  const RECT rect{f * px0, f * pz0, f * px1, f * pz1};
  D3DLOCKED_RECT locked{};
  if (texture == nullptr || FAILED(texture->LockRect(0, &locked, &rect, 0))) return;
  // Mask texels stay fixed to the world, whichever patch or block they fall in.
  const int rowBase = f * (gpz * kPatchQuads - topLeft[1]);
  const int columnBase = f * (gpx * kPatchQuads - topLeft[0]);
  for (int v = rect.top; v < rect.bottom; ++v) {
    uint8_t* texel = static_cast<uint8_t*>(locked.pBits) + (v - rect.top) * locked.Pitch;
    const int row = rowBase + v;
    for (int u = rect.left; u < rect.right; ++u, texel += 2) {
      const int column = columnBase + u;
      if (row < 0 || row >= m_nMaskH || column < 0 || column >= m_nMaskW) continue;
      texel[1] |= m_pPaintMask[row * m_nMaskW + column];
    }
  }
  texture->UnlockRect(0);
}
