#include "terrain/terrain_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "math/planes.h"
#include "terrain/terrain_manager.h"
#include "terrain/terrain_walk.h"

namespace {

constexpr float kNoHit = 2.0f;


struct Point {
  double x, y, z;
};

// Upward plane through three points: n = (p1 - p0) x (p2 - p0) turned so that n.y > 0, and d. In
// double precision: with a large height scale the products of height differences pass the
// float range, and the plane would be all NaN.
struct UpPlaneOf {
  double a, b, c, d;
  UpPlaneOf(const Point& p0, const Point& p1, const Point& p2) {
    const Point e1{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, e2{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    a = e1.y * e2.z - e1.z * e2.y;
    b = e1.z * e2.x - e1.x * e2.z;
    c = e1.x * e2.y - e1.y * e2.x;
    const double length = std::sqrt(a * a + b * b + c * c) * (b < 0.0 ? -1.0 : 1.0);
    a /= length;
    b /= length;
    c /= length;
    d = -(a * p0.x + b * p0.y + c * p0.z);
  }
};

D3DXPLANE UpPlane(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2) {
  const UpPlaneOf p({p0.x, p0.y, p0.z}, {p1.x, p1.y, p1.z}, {p2.x, p2.y, p2.z});
  return D3DXPLANE(static_cast<float>(p.a), static_cast<float>(p.b), static_cast<float>(p.c), static_cast<float>(p.d));
}

struct SegmentCell {
  int16_t x, z;
  int32_t s;
  float t0, t1;
};

}  // namespace

struct CTerrainBlock::PatchLists {
  int level;
  const TerrainIndexList* pieces[5];  // families 0-3, then the interior list
  uint32_t triangles;                 // 2 when the pieces hold none
};

CTerrainBlock::CTerrainBlock() {
  std::memset(m_aHeights, 0, sizeof m_aHeights);
  std::memset(m_aPatchEnabled, 1, sizeof m_aPatchEnabled);
  for (int k = 8; k >= 0; --k) {
    const uint32_t records = 1u << (2 * k);
    auto* level = HostNewArray<TerrainTreeRecord>(records);
    if (level != nullptr) std::memset(level, 0, records * sizeof(TerrainTreeRecord));
    m_apMinMaxTree[8 - k] = level;
  }
  // The level-8 flags belong to the grid, not to the heights: a block edited before any field
  // is loaded splits its quads as it draws them.
  if (TerrainTreeRecord* quads = TreeLevel(8))
    for (int z = 0; z < kBlockQuads; ++z)
      for (int x = 0; x < kBlockQuads; ++x) quads[z * kBlockQuads + x].flag = DiagonalFlag(x, z) ? 1 : 0;
}

CTerrainBlock::~CTerrainBlock() {
  for (auto*& level : m_apMinMaxTree) {
    HostDeleteArray(level);
    level = nullptr;
  }
}

bool CTerrainBlock::HasTree() const {
  return std::all_of(std::begin(m_apMinMaxTree), std::end(m_apMinMaxTree), [](auto* p) { return p != nullptr; });
}

void CTerrainBlock::InitTechniques(CTerrainManager* manager) {
  m_pRenderer = g_pHost != nullptr ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
  m_pManager = manager;
  if (m_pRenderer == nullptr) return;
  const char* names[4] = {"MorphingTerrain", "GenericTerrain", "TerrainWater", "BoundingBox"};
  for (int i = 0; i < 4; ++i) m_aTechniques[i] = m_pRenderer->GetEffect(names[i]);
}

bool CTerrainBlock::UpdateFromHeightMap(const int16_t* heights, const uint8_t* patchMap) {
  for (int x = 0; x < kBlockSamples; ++x)
    std::memcpy(&m_aHeights[x * kBlockSamples],
                &heights[static_cast<size_t>(m_nOriginX + x) * kFieldSamples + m_nOriginZ],
                kBlockSamples * sizeof(int16_t));
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      m_aPatchEnabled[r * 8 + c] = patchMap[((m_nOriginX >> 5) + r) * kFieldPatches + (m_nOriginZ >> 5) + c];
  BuildMinMaxTree();
  return true;
}

void CTerrainBlock::BuildMinMaxTree() { UpdateRegion(0, 0, kBlockQuads - 1, kBlockQuads - 1); }

void CTerrainBlock::UpdateRegion(int32_t x0, int32_t z0, int32_t x1, int32_t z1) {
  if (!HasTree()) return;
  x0 = std::clamp(x0, 0, kBlockQuads - 1);
  z0 = std::clamp(z0, 0, kBlockQuads - 1);
  x1 = std::clamp(x1, 0, kBlockQuads - 1);
  z1 = std::clamp(z1, 0, kBlockQuads - 1);
  if (x1 < x0 || z1 < z0) return;
  TerrainTreeRecord* quads = TreeLevel(8);
  for (int x = x0; x <= x1; ++x) {
    for (int z = z0; z <= z1; ++z) {
      const int16_t* h = &m_aHeights[x * kBlockSamples + z];
      const int16_t a = h[0], b = h[1], c = h[kBlockSamples], d = h[kBlockSamples + 1];
      TerrainTreeRecord& r = quads[z * kBlockQuads + x];
      r.min = std::min(std::min(a, b), std::min(c, d));
      r.max = std::max(std::max(a, b), std::max(c, d));
    }
  }
  // A parent's samples are the union of its children's, shared edges included.
  for (int k = 7; k >= 0; --k) {
    const int shift = 8 - k;
    const int side = 1 << k;
    const TerrainTreeRecord* child = TreeLevel(k + 1);
    TerrainTreeRecord* level = TreeLevel(k);
    for (int cz = z0 >> shift; cz <= (z1 >> shift); ++cz) {
      for (int cx = x0 >> shift; cx <= (x1 >> shift); ++cx) {
        const TerrainTreeRecord* c00 = &child[(2 * cz) * (2 * side) + 2 * cx];
        const TerrainTreeRecord* c10 = c00 + 1;
        const TerrainTreeRecord* c01 = c00 + 2 * side;
        const TerrainTreeRecord* c11 = c01 + 1;
        TerrainTreeRecord& r = level[cz * side + cx];
        r.min = std::min(std::min(c00->min, c10->min), std::min(c01->min, c11->min));
        r.max = std::max(std::max(c00->max, c10->max), std::max(c01->max, c11->max));
      }
    }
  }
}

AABB CTerrainBlock::CellBox(int x, int z, int s) const {
  const int k = 8 - s;
  const TerrainTreeRecord& r = TreeLevel(k)[(z >> s) * (1 << k) + (x >> s)];
  const float a = r.min * m_fHeightScale, b = r.max * m_fHeightScale;
  const float size = static_cast<float>(1 << s);
  return AABB(D3DXVECTOR3(static_cast<float>(m_nOriginX + x), std::min(a, b), static_cast<float>(m_nOriginZ + z)),
              D3DXVECTOR3(static_cast<float>(m_nOriginX + x) + size, std::max(a, b),
                          static_cast<float>(m_nOriginZ + z) + size));
}

// ---- queries ----

bool CTerrainBlock::GetHeightAt(float point[3], float normalOut[3]) const {
  const float u = std::fmod(point[0], 256.0f), w = std::fmod(point[2], 256.0f);
  const int x = std::clamp(static_cast<int>(u), 0, kBlockQuads - 1);
  const int z = std::clamp(static_cast<int>(w), 0, kBlockQuads - 1);
  // Corners relative to the quad keep the plane's terms small.
  auto corner = [&](int cx, int cz) {
    return Point{static_cast<double>(cx - x),
                 static_cast<double>(m_aHeights[cx * kBlockSamples + cz]) * m_fHeightScale,
                 static_cast<double>(cz - z)};
  };
  const double du = u - static_cast<float>(x), dw = w - static_cast<float>(z);
  const UpPlaneOf p = DiagonalFlag(x, z)
                          ? (du >= dw ? UpPlaneOf(corner(x, z), corner(x + 1, z), corner(x + 1, z + 1))
                                      : UpPlaneOf(corner(x, z), corner(x + 1, z + 1), corner(x, z + 1)))
                          : (du + dw < 1.0 ? UpPlaneOf(corner(x, z), corner(x + 1, z), corner(x, z + 1))
                                           : UpPlaneOf(corner(x + 1, z), corner(x + 1, z + 1), corner(x, z + 1)));
  const auto y = static_cast<float>((-p.a * du - p.c * dw - p.d) / p.b);
  // A height beyond the float range has no answer.
  if (!std::isfinite(y)) return false;
  normalOut[0] = static_cast<float>(p.a);
  normalOut[1] = static_cast<float>(p.b);
  normalOut[2] = static_cast<float>(p.c);
  point[1] = y;
  return true;
}

float CTerrainBlock::IntersectSegment(const float from[3], const float to[3], float normalOut[3]) const {
  if (!HasTree()) return kNoHit;
  const float d[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
  const float ox = static_cast<float>(m_nOriginX), oz = static_cast<float>(m_nOriginZ);
  // Only the part of the segment over the block counts: a triangle's plane reaches past it.
  float t0 = 0.0f, t1 = 1.0f;
  if (!ClipSegmentAxis(from[0], d[0], ox, ox + kBlockQuads, &t0, &t1) ||
      !ClipSegmentAxis(from[2], d[2], oz, oz + kBlockQuads, &t0, &t1))
    return kNoHit;
  SegmentCell stack[64];
  int top = 0;
  stack[top++] = {0, 0, 8, t0, t1};
  constexpr float kEps = 1e-5f;
  while (top > 0) {
    const SegmentCell e = stack[--top];
    const AABB box = CellBox(e.x, e.z, e.s);
    float y0 = e.t0, y1 = e.t1;
    if (!ClipSegmentAxis(from[1], d[1], box.m_vecMin.y, box.m_vecMax.y, &y0, &y1)) continue;
    if (e.s > 0) {
      const int h = 1 << (e.s - 1);
      SegmentCell kids[4];
      int n = 0;
      for (int i = 0; i < 4; ++i) {
        const int cx = e.x + ((i & 1) ? h : 0), cz = e.z + ((i & 2) ? h : 0);
        float a = e.t0, b = e.t1;
        if (!ClipSegmentAxis(from[0], d[0], ox + cx, ox + cx + h, &a, &b) ||
            !ClipSegmentAxis(from[2], d[2], oz + cz, oz + cz + h, &a, &b))
          continue;
        kids[n++] = {static_cast<int16_t>(cx), static_cast<int16_t>(cz), e.s - 1, a, b};
      }
      // The child the segment enters first is popped first.
      OrderLastEnteredFirst(kids, n);
      for (int i = 0; i < n; ++i) stack[top++] = kids[i];
      continue;
    }
    const int x = e.x, z = e.z;
    auto corner = [&](int cx, int cz) {
      return D3DXVECTOR3(ox + cx, m_aHeights[cx * kBlockSamples + cz] * m_fHeightScale, oz + cz);
    };
    const bool flag = DiagonalFlag(x, z);
    D3DXPLANE planes[2];
    if (flag) {
      planes[0] = UpPlane(corner(x, z), corner(x + 1, z), corner(x + 1, z + 1));
      planes[1] = UpPlane(corner(x, z), corner(x + 1, z + 1), corner(x, z + 1));
    } else {
      planes[0] = UpPlane(corner(x, z), corner(x + 1, z), corner(x, z + 1));
      planes[1] = UpPlane(corner(x + 1, z), corner(x + 1, z + 1), corner(x, z + 1));
    }
    float best = kNoHit;
    int bestPlane = -1;
    for (int i = 0; i < 2; ++i) {
      const D3DXPLANE& p = planes[i];
      const float denom = p.a * d[0] + p.b * d[1] + p.c * d[2];
      if (std::fabs(denom) < 1e-12f) continue;
      const float t = -(p.a * from[0] + p.b * from[1] + p.c * from[2] + p.d) / denom;
      if (!(t >= e.t0 - kEps && t <= e.t1 + kEps) || t < 0.0f || t > 1.0f) continue;
      // Which side of the diagonal the hit lies on decides whose triangle it is.
      const float du = from[0] + d[0] * t - (ox + x), dw = from[2] + d[2] * t - (oz + z);
      const bool own = flag ? (i == 0 ? du - dw >= -kEps : dw - du >= -kEps)
                            : (i == 0 ? du + dw <= 1.0f + kEps : du + dw >= 1.0f - kEps);
      if (own && t < best) {
        best = t;
        bestPlane = i;
      }
    }
    if (bestPlane >= 0) {
      normalOut[0] = planes[bestPlane].a;
      normalOut[1] = planes[bestPlane].b;
      normalOut[2] = planes[bestPlane].c;
      return best;
    }
  }
  return kNoHit;
}

bool CTerrainBlock::CollectRegionTriangles(const float (*planes)[4], int32_t planeCount, const float centre[3],
                                           float radius, RegionPolygonFn callback) const {
  if (callback == nullptr || !HasTree()) return true;
  const int planesUsed = std::max(planeCount, 0);
  const int capacity = 3 + planesUsed;
  std::vector<float> polygon(static_cast<size_t>(capacity) * 3);
  const D3DXVECTOR3 c(centre[0], centre[1], centre[2]);
  WalkCells(8, [&](int x, int z, int s) {
    if (!CellBox(x, z, s).IntersectsSphere(c, radius)) return false;
    if (s > 0) return true;
    auto put = [&](int slot, int cx, int cz) {
      polygon[slot * 3 + 0] = static_cast<float>(m_nOriginX + cx);
      polygon[slot * 3 + 1] = m_aHeights[cx * kBlockSamples + cz] * m_fHeightScale;
      polygon[slot * 3 + 2] = static_cast<float>(m_nOriginZ + cz);
    };
    const int tris[2][3][2] = {
        {{x, z}, {x + 1, z}, {x + 1, z + 1}}, {{x, z}, {x + 1, z + 1}, {x, z + 1}}};
    const int other[2][3][2] = {
        {{x, z}, {x + 1, z}, {x, z + 1}}, {{x + 1, z}, {x + 1, z + 1}, {x, z + 1}}};
    const auto& pick = DiagonalFlag(x, z) ? tris : other;
    for (const auto& tri : pick) {
      for (int v = 0; v < 3; ++v) put(v, tri[v][0], tri[v][1]);
      int count = 3;
      for (int p = 0; p < planesUsed && count >= 3; ++p) {
        const Plane plane(planes[p][0], planes[p][1], planes[p][2], planes[p][3]);
        if (ClipPolygonByPlane(polygon.data(), &count, capacity, 12, plane, PlaneSegmentIntersectPoint, nullptr,
                               kPlaneBack) < 0)
          count = 0;
      }
      if (count >= 3) callback(polygon.data(), count);
    }
    return false;
  });
  return true;
}

// ---- level of detail and drawing ----

void CTerrainBlock::SelectLod(uint32_t, const float eye[3], const Frustum& frustum, float* distanceTable,
                              int32_t* levelTable, int32_t*, uint8_t* visibleTable, uint8_t*) {
  m_nVisiblePatches = 0;
  if (!m_bDrawTerrain || !HasTree()) return;
  WalkCells(8, [&](int x, int z, int s) {
    const AABB box = CellBox(x, z, s);
    if (frustum.ClassifyAABB(box) == 0) return false;
    if (s >= 6) return true;
    const int r = x >> 5, c = z >> 5;
    if (m_aPatchEnabled[r * 8 + c] == 0) return false;
    const int px = (m_nOriginX >> 5) + r, pz = (m_nOriginZ >> 5) + c;
    const int index = px * kFieldPatches + pz;
    visibleTable[index] = 1;
    const float lo[3] = {box.m_vecMin.x, box.m_vecMin.y, box.m_vecMin.z};
    const float hi[3] = {box.m_vecMax.x, box.m_vecMax.y, box.m_vecMax.z};
    float d2 = 0.0f;
    for (int a = 0; a < 3; ++a) {
      const float gap = eye[a] < lo[a] ? lo[a] - eye[a] : (eye[a] > hi[a] ? eye[a] - hi[a] : 0.0f);
      d2 += gap * gap;
    }
    distanceTable[index] = d2;
    m_aVisiblePatches[m_nVisiblePatches][0] = static_cast<uint8_t>(px);
    m_aVisiblePatches[m_nVisiblePatches][1] = static_cast<uint8_t>(pz);
    ++m_nVisiblePatches;
    levelTable[index] = d2 > 62500.0f ? 5 : d2 > 40000.0f ? 4 : d2 > 22500.0f ? 3 : d2 > 10000.0f ? 2
                        : d2 > 2500.0f ? 1 : 0;
    return false;
  });
}

void CTerrainBlock::Render(uint32_t, const float*, const int32_t* levelTable, const uint8_t* visibleTable) {
  if (m_pRenderer == nullptr) return;
  if (m_bWireframe) m_pRenderer->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  if (m_bDrawTerrain) DrawPatches(levelTable, visibleTable);
  if (m_bWireframe) m_pRenderer->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
}

CTerrainBlock::PatchLists CTerrainBlock::ChooseLists(int px, int pz, const int32_t* levelTable,
                                                     const uint8_t* visibleTable) const {
  PatchLists lists{};
  const int level = std::clamp(levelTable[px * kFieldPatches + pz], 0, kPatchLevels - 1);
  lists.level = level;
  const int neighbours[4][2] = {{px - 1, pz}, {px + 1, pz}, {px, pz - 1}, {px, pz + 1}};
  uint32_t sum = 0;
  for (int f = 0; f < 4; ++f) {
    const int nx = neighbours[f][0], nz = neighbours[f][1];
    int n = level;
    if (nx >= 0 && nx < kFieldPatches && nz >= 0 && nz < kFieldPatches) {
      const int index = nx * kFieldPatches + nz;
      if (visibleTable[index] != 0 && levelTable[index] > level) n = std::min(levelTable[index], kPatchLevels - 1);
    }
    lists.pieces[f] = &m_pManager->EdgeList(f, level, n);
    sum += lists.pieces[f]->triangles;
  }
  lists.pieces[4] = &m_pManager->InteriorList(level);
  sum += lists.pieces[4]->triangles;
  lists.triangles = sum == 0 ? 2 : sum;
  return lists;
}

void CTerrainBlock::DrawPatches(const int32_t* levelTable, const uint8_t* visibleTable) {
  if (m_nVisiblePatches < 1 || m_pManager == nullptr) return;
  auto keyOf = [this](int entry) {
    const int r = m_aVisiblePatches[entry][0] - (m_nOriginX >> 5), c = m_aVisiblePatches[entry][1] - (m_nOriginZ >> 5);
    return m_aPatchLayerKey[r * 8 + c];
  };
  uint16_t key = keyOf(0);
  uint32_t vertices = 0, triangles = 0;
  int32_t first = 0;
  for (int32_t i = 0; i < m_nVisiblePatches; ++i) {
    const uint16_t k = keyOf(i);
    if (k != key) {
      DrawPatchRun(key, vertices, triangles, first, i, levelTable, visibleTable);
      key = k;
      vertices = triangles = 0;
      first = i;
    }
    const PatchLists lists = ChooseLists(m_aVisiblePatches[i][0], m_aVisiblePatches[i][1], levelTable, visibleTable);
    const uint32_t side = (1u << (5 - lists.level)) + 1;
    vertices += side * side;
    triangles += lists.triangles;
  }
  DrawPatchRun(key, vertices, triangles, first, m_nVisiblePatches, levelTable, visibleTable);
}

void CTerrainBlock::DrawPatchRun(uint16_t layerKey, uint32_t vertexCount, uint32_t triangleCount, int32_t firstEntry,
                                 int32_t endEntry, const int32_t* levelTable, const uint8_t* visibleTable) {
  CTerrainManager* m = m_pManager;
  IRenderer* r = m_pRenderer;
  if (m == nullptr || r == nullptr || m->m_nDynamicVB < 0 || m->m_nDynamicIB < 0) return;
  const uint32_t vertexBytes = vertexCount * 8, indexBytes = triangleCount * 6;
  // A run larger than a whole buffer cannot be drawn from it.
  if (vertexBytes > kTerrainVertexBufferBytes || indexBytes > kTerrainIndexBufferBytes) return;
  constexpr DWORD kAppend = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;
  constexpr DWORD kRestart = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
  void* vertexMemory;
  if (m->m_nVertexCursor + vertexBytes <= kTerrainVertexBufferBytes) {
    vertexMemory = r->LockVertexBuffer(m->m_nDynamicVB, m->m_nVertexCursor, vertexBytes, kAppend);
  } else {
    m->m_nVertexCursor = 0;
    vertexMemory = r->LockVertexBuffer(m->m_nDynamicVB, 0, vertexBytes, kRestart);
  }
  if (vertexMemory == nullptr) return;
  void* indexMemory;
  if (m->m_nIndexCursor + indexBytes <= kTerrainIndexBufferBytes) {
    indexMemory = r->LockIndexBuffer(m->m_nDynamicIB, m->m_nIndexCursor, indexBytes, kAppend);
  } else {
    m->m_nIndexCursor = 0;
    indexMemory = r->LockIndexBuffer(m->m_nDynamicIB, 0, indexBytes, kRestart);
  }
  if (indexMemory == nullptr) {
    r->UnlockVertexBuffer(m->m_nDynamicVB);
    return;
  }
  auto* v = static_cast<int16_t*>(vertexMemory);
  auto* out = static_cast<uint16_t*>(indexMemory);
  uint32_t base = 0;
  for (int32_t entry = firstEntry; entry < endEntry; ++entry) {
    const int px = m_aVisiblePatches[entry][0], pz = m_aVisiblePatches[entry][1];
    const PatchLists lists = ChooseLists(px, pz, levelTable, visibleTable);
    const int s = 1 << (5 - lists.level), step = 1 << lists.level;
    const int x0 = (px - (m_nOriginX >> 5)) * kPatchQuads, z0 = (pz - (m_nOriginZ >> 5)) * kPatchQuads;
    for (int i = 0; i <= s; ++i) {
      const int x = x0 + step * i;
      const int16_t* row = &m_aHeights[x * kBlockSamples];
      for (int j = 0; j <= s; ++j) {
        const int z = z0 + step * j;
        *v++ = static_cast<int16_t>(m_nOriginX + x);
        *v++ = row[z];
        *v++ = static_cast<int16_t>(m_nOriginZ + z);
        *v++ = 1;
      }
    }
    uint32_t written = 0;
    for (const TerrainIndexList* list : lists.pieces) {
      if (list->indices == nullptr) continue;
      const uint32_t n = list->triangles * 3;
      for (uint32_t k = 0; k < n; ++k) *out++ = static_cast<uint16_t>(list->indices[k] + base);
      written += list->triangles;
    }
    if (written == 0) {
      const uint16_t b = static_cast<uint16_t>(base);
      const uint16_t fallback[6] = {b, static_cast<uint16_t>(b + 3), static_cast<uint16_t>(b + 2), b,
                                    static_cast<uint16_t>(b + 1), static_cast<uint16_t>(b + 3)};
      std::memcpy(out, fallback, sizeof fallback);
      out += 6;
    }
    base += static_cast<uint32_t>((s + 1) * (s + 1));
  }
  r->UnlockVertexBuffer(m->m_nDynamicVB);
  r->UnlockIndexBuffer(m->m_nDynamicIB);
  const int32_t passes = m->GetPatchLayerCount(layerKey);
  for (int32_t p = 0; p < passes; ++p) {
    int effect = -1;
    m->BindPatchLayerSlot(layerKey, p, &effect);
    r->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, m->m_nDynamicVB, 8, m->m_nDynamicIB, m->m_nVertexCursor / 8,
                            vertexCount, m->m_nIndexCursor / 2, triangleCount, effect, 0);
  }
  m->m_nVertexCursor += vertexBytes;
  m->m_nIndexCursor += indexBytes;
}
