// One block of the terrain: 256 x 256 quads with its own copy of the 257 x 257 heights (edge
// samples shared with the neighbours), the enable bytes of its 8 x 8 patches of 32 x 32 quads,
// and a min/max height tree that culling, level choice and the queries walk.
//
// Grid: X is the major index, Z the minor; one quad is one world unit; a sample h stands at
// world height h x the height scale.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"
#include "math/bounds.h"
#include "visibility/adaptive_binary_tree_base.h"

class CTerrainManager;
class IRenderer;

inline constexpr int kBlockQuads = 256;
inline constexpr int kBlockSamples = 257;
inline constexpr int kFieldSamples = 2049;
inline constexpr int kFieldPatches = 64;
inline constexpr int kPatchQuads = 32;
inline constexpr int kTreeLevels = 9;

// One record of the min/max tree (6 bytes).
#pragma pack(push, 1)
struct TerrainTreeRecord {
  int16_t min;
  int16_t max;
  uint8_t flag;  // level 8 only: 1 when the quad's diagonal runs from (x, z) to (x+1, z+1)
  uint8_t pad;
};
#pragma pack(pop)
static_assert(sizeof(TerrainTreeRecord) == 6);

class CTerrainBlock {
 public:
  CTerrainBlock();
  virtual ~CTerrainBlock();
  CTerrainBlock(const CTerrainBlock&) = delete;
  CTerrainBlock& operator=(const CTerrainBlock&) = delete;

  // All nine tree arrays were allocated.
  bool HasTree() const;

  void InitTechniques(CTerrainManager* manager);
  // heights: 2049 x 2049 samples, X-major; patchMap: 64 x 64 bytes. Always true.
  bool UpdateFromHeightMap(const int16_t* heights, const uint8_t* patchMap);
  void BuildMinMaxTree();
  // Block-local quad bounds, inclusive; clamped to 0..255.
  void UpdateRegion(int32_t x0, int32_t z0, int32_t x1, int32_t z1);

  // The tree records of level k (one cell of 256 >> k quads a side), record (x, z) at z 2^k + x.
  TerrainTreeRecord* TreeLevel(int k) const { return m_apMinMaxTree[8 - k]; }
  // The quad's diagonal: 1 from (x, z) to (x+1, z+1), 0 from (x+1, z) to (x, z+1).
  static bool DiagonalFlag(int x, int z) { return ((x & 31) < 16) == ((z & 31) < 16); }

  // ---- queries ----
  // Reads point x and z, writes point y and the surface normal (pointing up); false, writing
  // neither, when the height lies beyond the float range (a huge height scale).
  bool GetHeightAt(float point[3], float normalOut[3]) const;
  // The first hit of from -> to, 0..1, with the triangle's normal; 2.0 on a miss.
  float IntersectSegment(const float from[3], const float to[3], float normalOut[3]) const;
  // Every triangle touching the sphere, clipped to a x + b y + c z + d < 0 of each plane.
  bool CollectRegionTriangles(const float (*planes)[4], int32_t planeCount, const float centre[3], float radius,
                              RegionPolygonFn callback) const;

  // ---- level of detail and drawing ----
  void SelectLod(uint32_t arg, const float eye[3], const Frustum& frustum, float* distanceTable, int32_t* levelTable,
                 int32_t* waterLevelTable, uint8_t* visibleTable, uint8_t* waterVisibleTable);
  void Render(uint32_t arg, const float* distanceTable, const int32_t* levelTable, const uint8_t* visibleTable);
  void DrawPatches(const int32_t* levelTable, const uint8_t* visibleTable);
  void DrawPatchRun(uint16_t layerKey, uint32_t vertexCount, uint32_t triangleCount, int32_t firstEntry,
                    int32_t endEntry, const int32_t* levelTable, const uint8_t* visibleTable);

  // The box of a tree cell: block-local cell origin (x, z), size exponent s.
  AABB CellBox(int x, int z, int s) const;

  CTerrainManager* m_pManager = nullptr;
  IRenderer* m_pRenderer = nullptr;
  TerrainTreeRecord* m_apMinMaxTree[kTreeLevels] = {};
  int16_t m_aHeights[kBlockSamples * kBlockSamples];
  bool m_bWireframe = false;
  bool m_bDrawTerrain = true;
  int m_aTechniques[4] = {-1, -1, -1, -1};
  int32_t m_nOriginX = 0;
  int32_t m_nOriginZ = 0;
  float m_fHeightScale = 1.0f;
  uint16_t m_aPatchLayerKey[64] = {};
  uint8_t m_aVisiblePatches[64][2] = {};
  int32_t m_nVisiblePatches = 0;
  uint8_t m_aPatchEnabled[64];

 private:
  // The level and the edge-list records a patch draws with this frame.
  struct PatchLists;
  PatchLists ChooseLists(int px, int pz, const int32_t* levelTable, const uint8_t* visibleTable) const;
};
