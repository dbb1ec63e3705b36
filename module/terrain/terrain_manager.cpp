#include "terrain/terrain_manager.h"
#include "terrain/terrain_walk.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "d3dx8/d3dx8tex.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "win32/win32.h"

namespace {

constexpr float kNoHit = 2.0f;
constexpr char kPatchIndexFile[] = "TerrainPatchIndexInfo.dat";


struct TreeCell {
  int32_t bx, bz, level;
  float t0, t1;
};

}  // namespace

CTerrainManager::CTerrainManager() {
  D3DXMatrixIdentity(&m_matViewProjection);
  for (int level = 0; level < 4; ++level) {
    const uint32_t side = 8u >> level;
    auto* records = HostNewArray<TerrainBlockTreeRecord>(side * side);
    if (records != nullptr) std::memset(records, 0, side * side * sizeof(TerrainBlockTreeRecord));
    m_apBlockTree[level] = records;
  }
}

CTerrainManager::~CTerrainManager() {
  HostDeleteArray(m_pPaintMask);
  m_pPaintMask = nullptr;
  FreeBrush();
  if (m_pRenderer != nullptr && m_nStaticIB >= 0) m_pRenderer->ReleaseIndexBuffer(m_nStaticIB);
  m_nStaticIB = -1;
  ReleaseDynamicBuffers();
  FreePatchLists();
  for (auto*& level : m_apBlockTree) {
    HostDeleteArray(level);
    level = nullptr;
  }
  FreeBlocks();
  for (IDirect3DTexture8* texture : m_ownedTextures)
    if (texture != nullptr) texture->Release();
  m_ownedTextures.clear();
  if (m_pRenderer != nullptr)
    for (int handle : m_textureHandles) m_pRenderer->ReleaseTexture(handle);
  m_textureHandles.clear();
}

void CTerrainManager::FreeBlocks() {
  for (auto*& block : m_apBlocks) {
    DeleteTerrainBlocks(block);
    block = nullptr;
  }
}

CTerrainBlock* CTerrainManager::NewTerrainBlocks(uint32_t count) {
  void* memory = HostNewArrayBytes(count, static_cast<uint32_t>(sizeof(CTerrainBlock)));
  if (memory == nullptr) return nullptr;
  auto* blocks = static_cast<CTerrainBlock*>(memory);
  const uint32_t n = HostBlockCount(memory);
  for (uint32_t i = 0; i < n; ++i) new (&blocks[i]) CTerrainBlock();
  return blocks;
}

void CTerrainManager::DeleteTerrainBlocks(CTerrainBlock* blocks) {
  if (blocks == nullptr) return;
  const uint32_t n = HostBlockCount(blocks);
  for (uint32_t i = 0; i < n; ++i) blocks[i].~CTerrainBlock();
  HostDeleteArray(blocks);
}

bool CTerrainManager::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  if (m_pRenderer == nullptr) {
    g_pHost->Log("[ERROR] CTerrainManager::Init: no dx8render service.");
    return false;
  }
  CreateDynamicBuffers();
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  SubscribeChannel("LostDevice", 0);
  m_pRenderer->SetSwitchA(1);
  m_pRenderer->SetSwitchB(1);
  LoadPatchIndexInfo();
  bool complete = std::all_of(std::begin(m_apBlockTree), std::end(m_apBlockTree), [](auto* p) { return p; }) &&
                  BuildPatchLists();
  for (int bx = 0; bx < 8 && complete; ++bx) {
    for (int bz = 0; bz < 8 && complete; ++bz) {
      CTerrainBlock* block = NewTerrainBlocks(1);
      m_apBlocks[bx * 8 + bz] = block;
      if (block == nullptr || !block->HasTree()) {
        complete = false;
        break;
      }
      block->InitTechniques(this);
      block->m_nOriginX = bx * kBlockQuads;
      block->m_nOriginZ = bz * kBlockQuads;
    }
  }
  if (!complete) {
    g_pHost->Log("[ERROR] CTerrainManager::Init: out of memory.");
    FreeBlocks();
    ReleaseDynamicBuffers();
    return false;
  }
  BuildBlockTree();
  char name[32];
  for (int i = 0; i < 2; ++i) {
    std::snprintf(name, sizeof name, "GenericTerrain_Tex%d", i);
    m_aEffects[i] = m_pRenderer->GetEffect(name);
  }
  m_aEffects[2] = m_pRenderer->GetEffect("GenericTerrainLightMap");
  m_aEffects[3] = m_pRenderer->GetEffect("PaintBrush");
  return true;
}

void CTerrainManager::Destroy() {}

void CTerrainManager::CreateDynamicBuffers() {
  m_nDynamicIB = m_pRenderer->CreateIndexBuffer(kTerrainIndexBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                                D3DPOOL_DEFAULT, D3DFMT_INDEX16);
  m_nIndexCursor = 0;
  m_nDynamicVB = m_pRenderer->CreateVertexBuffer(0, kTerrainVertexBufferBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                                 D3DPOOL_DEFAULT);
  m_nVertexCursor = 0;
}

void CTerrainManager::ReleaseDynamicBuffers() {
  if (m_pRenderer != nullptr) {
    if (m_nDynamicIB >= 0) m_pRenderer->ReleaseIndexBuffer(m_nDynamicIB);
    if (m_nDynamicVB >= 0) m_pRenderer->ReleaseVertexBuffer(m_nDynamicVB);
  }
  m_nDynamicIB = -1;
  m_nDynamicVB = -1;
}

int CTerrainManager::OnEvent(IEventArgs* args) {
  if (args == nullptr || !HasBlocks()) return 0;
  const int code = args->ReadInt();
  if (code == kEventDeviceLost) {
    ReleaseDynamicBuffers();
  } else if (code == kEventDeviceReset) {
    // A reset the host sends without a loss first must not leave the old buffers behind.
    ReleaseDynamicBuffers();
    CreateDynamicBuffers();
  }
  return 0;
}

void CTerrainManager::OnSystemMessage(uint32_t message, uint32_t, uint32_t lParam) {
  if (message != WM_MOUSEMOVE) return;
  m_nMouseX = static_cast<int32_t>(lParam & 0xFFFFu);
  m_nMouseY = static_cast<int32_t>(lParam >> 16);
}

// ---- patch index tables ----

void CTerrainManager::LoadPatchIndexInfo() {
  std::memset(m_aFirstTable, 0, sizeof m_aFirstTable);
  std::memset(m_aSecondTable, 0, sizeof m_aSecondTable);
  IIniService* files = g_pIniService;
  if (files == nullptr) return;
  HANDLE file = files->OpenFile(kPatchIndexFile, kFileAccessRead, kFileShareRead, kFileOpenExisting);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
  uint32_t high = 0;
  const uint32_t size = files->GetFileSize(file, &high);
  const uint64_t total = (static_cast<uint64_t>(high) << 32) | size;
  auto readExactly = [&](void* into, uint32_t bytes) {
    uint32_t got = 0;
    return bytes == 0 || (files->ReadFile(file, into, bytes, &got) && got == bytes);
  };
  uint32_t n = 0;
  if (total < 4 || !readExactly(&n, sizeof n)) {
    g_pHost->Log("[WARNING] CTerrainManager::LoadPatchIndexInfo: %s is shorter than its count.", kPatchIndexFile);
    files->CloseFile(file);
    return;
  }
  if (n > total - 4) {
    g_pHost->Log("[WARNING] CTerrainManager::LoadPatchIndexInfo: %s names %u index bytes but holds %llu.",
                 kPatchIndexFile, n, static_cast<unsigned long long>(total - 4));
    files->CloseFile(file);
    return;
  }
  bool read = true;
  if (n > 0) {
    m_nStaticIB = m_pRenderer->CreateIndexBuffer(n, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, D3DFMT_INDEX16);
    void* memory = m_nStaticIB >= 0 ? m_pRenderer->LockIndexBuffer(m_nStaticIB, 0, 0, 0) : nullptr;
    if (memory != nullptr) {
      read = readExactly(memory, n);
      m_pRenderer->UnlockIndexBuffer(m_nStaticIB);
    } else {
      g_pHost->Log("[WARNING] CTerrainManager::LoadPatchIndexInfo: no static index buffer of %u bytes.", n);
      if (m_nStaticIB >= 0) m_pRenderer->ReleaseIndexBuffer(m_nStaticIB);
      m_nStaticIB = -1;
      // The index bytes still stand between the count and the tables.
      std::vector<uint8_t> skip(n);
      read = readExactly(skip.data(), n);
    }
  }
  // The tables are read as far as the file goes; the rest stays zero.
  uint64_t left = read ? total - 4 - n : 0;
  const uint32_t first = static_cast<uint32_t>(std::min<uint64_t>(left, sizeof m_aFirstTable));
  if (readExactly(m_aFirstTable, first)) {
    left -= first;
    readExactly(m_aSecondTable, static_cast<uint32_t>(std::min<uint64_t>(left, sizeof m_aSecondTable)));
  }
  files->CloseFile(file);
}

bool CTerrainManager::BuildPatchLists() {
  FreePatchLists();
  auto make = [](TerrainIndexList* list, int triangles) {
    list->triangles = static_cast<uint32_t>(triangles);
    if (triangles == 0) return true;
    list->indices = HostNewArray<uint16_t>(static_cast<uint32_t>(triangles * 3));
    return list->indices != nullptr;
  };
  for (int level = 0; level < kPatchLevels; ++level) {
    TerrainIndexList& list = m_aInteriorLists[level];
    if (!make(&list, InteriorListTriangles(level))) return false;
    if (list.indices != nullptr) BuildInteriorList(level, list.indices);
  }
  for (int family = 0; family < kPatchEdgeFamilies; ++family) {
    for (int level = 0; level < kPatchLevels; ++level) {
      for (int neighbour = level; neighbour < kPatchLevels; ++neighbour) {
        TerrainIndexList& list = m_aEdgeLists[family][level * kPatchLevels + neighbour];
        if (!make(&list, EdgeListTriangles(level, neighbour))) return false;
        if (list.indices != nullptr) BuildEdgeList(family, level, neighbour, list.indices);
      }
    }
  }
  return true;
}

void CTerrainManager::FreePatchLists() {
  for (auto& list : m_aInteriorLists) {
    HostDeleteArray(list.indices);
    list = {};
  }
  for (auto& family : m_aEdgeLists)
    for (auto& list : family) {
      HostDeleteArray(list.indices);
      list = {};
    }
}

// ---- the block tree, culling and drawing ----

void CTerrainManager::BuildBlockTree() {
  if (!HasBlocks()) return;
  for (int level = 3; level >= 0; --level) {
    const int span = 1 << level, side = 8 >> level;
    for (int cx = 0; cx < side; ++cx) {
      for (int cz = 0; cz < side; ++cz) {
        float lo = 1e33f, hi = -1e33f;
        for (int bx = cx * span; bx < (cx + 1) * span; ++bx) {
          for (int bz = cz * span; bz < (cz + 1) * span; ++bz) {
            const CTerrainBlock* block = Block(bx, bz);
            const TerrainTreeRecord& root = block->TreeLevel(0)[0];
            const float a = root.min * block->m_fHeightScale, b = root.max * block->m_fHeightScale;
            lo = std::min(lo, std::min(a, b));
            hi = std::max(hi, std::max(a, b));
          }
        }
        m_apBlockTree[level][cx * side + cz] = {lo, hi, 0};
      }
    }
  }
}

namespace {

AABB BlockCellBox(const TerrainBlockTreeRecord* level, int l, int bx, int bz) {
  const int side = 8 >> l;
  const TerrainBlockTreeRecord& r = level[(bx >> l) * side + (bz >> l)];
  const float size = static_cast<float>(kBlockQuads << l);
  return AABB(D3DXVECTOR3(static_cast<float>(bx * kBlockQuads), r.min, static_cast<float>(bz * kBlockQuads)),
              D3DXVECTOR3(static_cast<float>(bx * kBlockQuads) + size, r.max, static_cast<float>(bz * kBlockQuads) + size));
}

}  // namespace

void CTerrainManager::Execute(uint32_t arg) {
  if (!HasBlocks() || m_pRenderer == nullptr) return;
  D3DXMATRIX view, projection, inverse;
  m_pRenderer->GetTransform(D3DTS_VIEW, &view);
  m_pRenderer->GetTransform(D3DTS_PROJECTION, &projection);
  if (D3DXMatrixInverse(&inverse, nullptr, &view) == nullptr) D3DXMatrixIdentity(&inverse);
  const float eye[3] = {inverse._41, inverse._42, inverse._43};
  const bool brushFollows = m_bBrushShown && BrushHasGeometry() && !m_bSelectionActive;
  int32_t vx, vz;
  if ((m_bPainting || brushFollows) && CursorVertex(inverse, projection, m_nMouseX, m_nMouseY, &vx, &vz)) {
    int32_t topLeft[2], bottomRight[2];
    const bool onField = BrushRectangle(vx, vz, topLeft, bottomRight);
    if (brushFollows && (vx != m_aLastBrushVertex[0] || vz != m_aLastBrushVertex[1])) {
      if (onField) {
        UpdateBrush(topLeft, bottomRight);
      } else {
        m_nBrushTriangles = 0;
      }
      m_aLastBrushVertex[0] = vx;
      m_aLastBrushVertex[1] = vz;
    }
    if (m_bPainting && m_pPaintMask != nullptr && (vx != m_aLastPaintedVertex[0] || vz != m_aLastPaintedVertex[1])) {
      if (onField) PaintBlendLayer(topLeft, bottomRight);
      m_aLastPaintedVertex[0] = vx;
      m_aLastPaintedVertex[1] = vz;
    }
  }
  D3DXMatrixMultiply(&m_matViewProjection, &view, &projection);
  Frustum frustum;
  frustum.ExtractFromMatrix(m_matViewProjection);
  std::memset(m_aVisible, 0, sizeof m_aVisible);
  std::memset(m_aWaterVisible, 0, sizeof m_aWaterVisible);
  std::memset(m_aVisibleBlocks, 0, sizeof m_aVisibleBlocks);
  WalkCells(3, [&](int bx, int bz, int level) {
    if (frustum.ClassifyAABB(BlockCellBox(m_apBlockTree[level], level, bx, bz)) == 0) return false;
    if (level > 0) return true;
    m_aVisibleBlocks[bx * 8 + bz] = 1;
    Block(bx, bz)->SelectLod(arg, eye, frustum, m_aDistance, m_aLevel, m_aWaterLevel, m_aVisible, m_aWaterVisible);
    return false;
  });
}

void CTerrainManager::Realize(uint32_t arg) { Render(arg); }

void CTerrainManager::Render(uint32_t arg) {
  if (!HasBlocks() || m_pRenderer == nullptr || m_patchLayers.empty()) return;
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  m_pRenderer->SetTransform(D3DTS_WORLD, &identity);
  // The shader takes the matrix in columns; the kept view-projection stays as it is.
  D3DXMATRIX transposed;
  D3DXMatrixTranspose(&transposed, &m_matViewProjection);
  m_pRenderer->SetVertexShaderConstant(0, &transposed, 4);
  const float scale[4] = {0.0f, m_fHeightScale, 0.00390625f, 0.00390625f};
  m_pRenderer->SetVertexShaderConstant(4, scale, 1);
  for (int i = 0; i < 64; ++i) {
    if (m_aVisibleBlocks[i] == 0) continue;
    m_apBlocks[i]->m_bWireframe = ITerrainEdit::m_bWireframe;
    m_apBlocks[i]->Render(arg, m_aDistance, m_aLevel, m_aVisible);
  }
  DrawBrush();
}

// ---- geometric queries ----

float CTerrainManager::RayDistance(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  D3DXVECTOR3 normal;
  return Pick(a, b, &normal);
}

float CTerrainManager::Pick(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* normalOut) {
  if (!HasBlocks() || from == nullptr || to == nullptr) return kNoHit;
  D3DXVECTOR3 scratch;
  float* normal = normalOut != nullptr ? &normalOut->x : &scratch.x;
  const float f[3] = {from->x, from->y, from->z};
  const float t[3] = {to->x, to->y, to->z};
  const float d[3] = {t[0] - f[0], t[1] - f[1], t[2] - f[2]};
  TreeCell stack[32];
  int top = 0;
  stack[top++] = {0, 0, 3, 0.0f, 1.0f};
  while (top > 0) {
    const TreeCell c = stack[--top];
    const AABB box = BlockCellBox(m_apBlockTree[c.level], c.level, c.bx, c.bz);
    float t0 = c.t0, t1 = c.t1;
    if (!ClipSegmentAxis(f[0], d[0], box.m_vecMin.x, box.m_vecMax.x, &t0, &t1) ||
        !ClipSegmentAxis(f[1], d[1], box.m_vecMin.y, box.m_vecMax.y, &t0, &t1) ||
        !ClipSegmentAxis(f[2], d[2], box.m_vecMin.z, box.m_vecMax.z, &t0, &t1))
      continue;
    if (c.level == 0) {
      const float hit = Block(c.bx, c.bz)->IntersectSegment(f, t, normal);
      if (hit >= 0.0f && hit <= 1.0f) return hit;
      continue;
    }
    // Children in the order the segment enters their columns, the first on top.
    const int h = 1 << (c.level - 1);
    TreeCell kids[4];
    int n = 0;
    for (int i = 0; i < 4; ++i) {
      const int bx = c.bx + ((i & 1) ? h : 0), bz = c.bz + ((i & 2) ? h : 0);
      float a = c.t0, b = c.t1;
      const float x0 = static_cast<float>(bx * kBlockQuads), z0 = static_cast<float>(bz * kBlockQuads);
      const float size = static_cast<float>(kBlockQuads * h);
      if (!ClipSegmentAxis(f[0], d[0], x0, x0 + size, &a, &b) || !ClipSegmentAxis(f[2], d[2], z0, z0 + size, &a, &b)) continue;
      kids[n++] = {bx, bz, c.level - 1, a, b};
    }
    OrderLastEnteredFirst(kids, n);
    for (int i = 0; i < n; ++i) stack[top++] = kids[i];
  }
  return kNoHit;
}

bool CTerrainManager::ClipTrianglesInSphere(const float (*planes)[4], int32_t planeCount, const D3DXVECTOR3* centre,
                                            float radius, RegionPolygonFn callback) {
  if (!HasBlocks() || centre == nullptr) return false;
  const float c[3] = {centre->x, centre->y, centre->z};
  WalkCells(3, [&](int bx, int bz, int level) {
    if (!BlockCellBox(m_apBlockTree[level], level, bx, bz).IntersectsSphere(*centre, radius)) return false;
    if (level > 0) return true;
    Block(bx, bz)->CollectRegionTriangles(planes, planeCount, c, radius, callback);
    return false;
  });
  return false;
}

bool CTerrainManager::SampleHeight(D3DXVECTOR3* point, D3DXVECTOR3* normalOut) {
  if (!HasBlocks() || point == nullptr) return false;
  if (!std::isfinite(point->x) || !std::isfinite(point->z) || point->x < 0.0f || point->z < 0.0f) return false;
  const int bx = static_cast<int>(point->x / 256.0f), bz = static_cast<int>(point->z / 256.0f);
  if (bx > 7 || bz > 7) return false;
  float p[3] = {point->x, point->y, point->z};
  float n[3];
  if (!Block(bx, bz)->GetHeightAt(p, n)) return false;
  point->y = p[1];
  if (normalOut != nullptr) *normalOut = D3DXVECTOR3(n[0], n[1], n[2]);
  return true;
}

// ---- editing ----

void CTerrainManager::SetWireframe(bool on) {
  if (HasBlocks()) ITerrainEdit::m_bWireframe = on;
}

void CTerrainManager::SetHeightScale(float scale) {
  if (!HasBlocks()) return;
  if (!std::isfinite(scale)) {
    g_pHost->Log("[WARNING] CTerrainManager::SetHeightScale: %g is no finite scale; the scale stays %g.",
                 static_cast<double>(scale), static_cast<double>(m_fHeightScale));
    return;
  }
  m_fHeightScale = scale;
  for (CTerrainBlock* block : m_apBlocks) block->m_fHeightScale = scale;
  // Culling and picking read the block boxes: they must not go stale.
  BuildBlockTree();
}

bool CTerrainManager::UpdateAllBlocks(const TerrainHeightMap* map) {
  if (!HasBlocks() || map == nullptr || map->heights == nullptr || map->patches == nullptr) return false;
  for (CTerrainBlock* block : m_apBlocks) block->UpdateFromHeightMap(map->heights, map->patches);
  BuildBlockTree();
  return true;
}


// ---- texture layers ----

void CTerrainManager::SetName(const char* text) {
  if (HasBlocks()) m_strPrefix = text != nullptr ? text : "";
}

int32_t CTerrainManager::CreateLayer(const char* name, const float* offset2, const float* scale2, bool fromFile) {
  if (name == nullptr || m_pRenderer == nullptr) return -1;
  const float offset[2] = {offset2 != nullptr ? offset2[0] : 0.0f, offset2 != nullptr ? offset2[1] : 0.0f};
  const float scale[2] = {scale2 != nullptr ? scale2[0] : 1.0f, scale2 != nullptr ? scale2[1] : 1.0f};
  auto known = m_layerNames.find(name);
  if (known != m_layerNames.end()) {
    TerrainLayer& layer = m_layers[static_cast<size_t>(known->second)];
    std::copy(offset, offset + 2, layer.offset);
    std::copy(scale, scale + 2, layer.scale);
    return known->second;
  }
  const std::string path = m_strPrefix + name;
  IDirect3DTexture8* texture = nullptr;
  if (!fromFile) {
    const int handle = m_pRenderer->LoadTexture(path.c_str(), 0);
    texture = handle >= 0 ? m_pRenderer->GetTextureObject(handle) : nullptr;
    if (texture == nullptr) {
      if (handle >= 0) m_pRenderer->ReleaseTexture(handle);
      return -1;
    }
    m_textureHandles.push_back(handle);
  } else {
    if (FAILED(D3DXCreateTextureFromFileA(m_pRenderer->GetDevice(), path.c_str(), &texture)) || texture == nullptr)
      return -1;
    m_ownedTextures.push_back(texture);
  }
  m_nameRecords.push_back(name);
  TerrainLayer layer;
  layer.texture = texture;
  std::copy(offset, offset + 2, layer.offset);
  std::copy(scale, scale + 2, layer.scale);
  layer.nameRecord = static_cast<uint32_t>(m_nameRecords.size() - 1);
  m_layers.push_back(layer);
  const auto index = static_cast<int32_t>(m_layers.size() - 1);
  m_layerNames.emplace(name, index);
  return index;
}

int32_t CTerrainManager::AddLayer(const char* texture, const float* offset2, const float* scale2, bool fromFile) {
  if (!HasBlocks()) return -1;
  const int32_t layer = CreateLayer(texture, offset2, scale2, fromFile);
  if (layer < 0) return layer;
  if (m_patchLayers.empty()) {
    m_patchLayers.resize(kTerrainPatchCount);
    for (int px = 0; px < kFieldPatches; ++px) {
      for (int pz = 0; pz < kFieldPatches; ++pz) {
        const int record = px * kFieldPatches + pz;
        TerrainPatchLayers& p = m_patchLayers[static_cast<size_t>(record)];
        p.slots[0] = {layer, -1, 1, -1};
        for (int s = 1; s < 8; ++s) p.slots[s] = {-1, -1, 0, -1};
        p.count = 1;
        Block(px >> 3, pz >> 3)->m_aPatchLayerKey[(px & 7) * 8 + (pz & 7)] = static_cast<uint16_t>(record);
      }
    }
  } else {
    for (TerrainPatchLayers& p : m_patchLayers) p.slots[0].textureLayer = layer;
  }
  return layer;
}

int32_t CTerrainManager::GetPatchLayerCount(uint32_t record) const {
  return record < m_patchLayers.size() ? m_patchLayers[record].count : 0;
}

void CTerrainManager::BindPatchLayerSlot(uint32_t record, int32_t slot, int* effectOut) {
  if (record >= m_patchLayers.size() || slot < 0 || slot >= 8 || m_pRenderer == nullptr) return;
  const TerrainLayerSlot& s = m_patchLayers[record].slots[slot];
  const int textures = std::clamp(s.textureCount, 0, 2);
  for (int k = 0; k < textures; ++k) {
    const int32_t index = k == 0 ? s.textureLayer : s.blendLayer;
    if (index < 0 || static_cast<size_t>(index) >= m_layers.size()) continue;
    const TerrainLayer& layer = m_layers[static_cast<size_t>(index)];
    const float c5[4] = {0.1f, layer.offset[0], layer.offset[1], layer.scale[0]};
    m_pRenderer->SetVertexShaderConstant(5, c5, 1);
    m_pRenderer->SetBaseTexture(static_cast<DWORD>(k), layer.texture);
  }
  if (effectOut != nullptr) *effectOut = m_aEffects[textures == 1 ? 0 : 1];
}
