// The height-field terrain: one 2049 x 2049 field in 8 x 8 blocks of 8 x 8 patches, culled
// through a four-level tree of block boxes, drawn with per-patch level of detail through one
// dynamic vertex and one dynamic index buffer, textured by layers.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "d3d8/d3d8.h"
#include "math/bounds.h"
#include "terrain/terrain_block.h"
#include "terrain/terrain_edit.h"
#include "terrain/terrain_patch_lists.h"
#include "visibility/adaptive_binary_tree_base.h"

class IRenderer;

// One cell of the block tree (level L covers 2^L x 2^L blocks).
struct TerrainBlockTreeRecord {
  float min;
  float max;
  uint32_t unused;
};

// One prebuilt index list: triangle count and three 16-bit indices a triangle (counted block).
struct TerrainIndexList {
  uint32_t triangles = 0;
  uint16_t* indices = nullptr;
};

// One slot of a patch's texture stack.
struct TerrainLayerSlot {
  int32_t textureLayer;
  int32_t blendLayer;  // -1 for none
  int32_t textureCount;  // 1 the layer alone, 2 with a blend map
  int32_t unused;
};

struct TerrainPatchLayers {
  TerrainLayerSlot slots[8];
  int32_t count;
};

// One vertex of the brush overlay (20 bytes, position and one texture coordinate set).
struct TerrainBrushVertex {
  float x, y, z;
  float u, v;
};
static_assert(sizeof(TerrainBrushVertex) == 20);

// The blocks that hold one brush cell's grid point: up to four on a block corner.
struct TerrainSharingRecord {
  int32_t block[4][2];
  int32_t local[4][2];
  int32_t count;
};

// A selected grid point of one block.
struct TerrainSelectionEntry {
  int32_t lx, lz;
  int32_t i, j;
  float weight;
};

// Block-local grid points a selection touched, both ends included.
struct TerrainRegionRecord {
  int32_t x0, z0, x1, z1;
};

struct TerrainLayer {
  IDirect3DTexture8* texture = nullptr;
  float offset[2] = {0.0f, 0.0f};
  float scale[2] = {1.0f, 1.0f};
  uint32_t nameRecord = 0;
};

inline constexpr UINT kTerrainIndexBufferBytes = 786420;   // 393,210 16-bit indices
inline constexpr UINT kTerrainVertexBufferBytes = 524280;  // 65,535 vertices of 8 bytes
inline constexpr int kTerrainPatchCount = kFieldPatches * kFieldPatches;

class CTerrainManager : public CAdaptiveBinaryTreeBase, public ITerrainEdit {
 public:
  CTerrainManager();
  ~CTerrainManager() override;

  bool Init() override;                                                              // slot 0
  void Destroy() override;                                                           // slot 1
  void Execute(uint32_t arg) override;                                               // slot 2
  void Realize(uint32_t arg) override;                                               // slot 3
  int OnEvent(IEventArgs* args) override;                                            // slot 6
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7
  float RayDistance(const D3DXVECTOR3* a, const D3DXVECTOR3* b) override;             // slot 12
  bool ClipTrianglesInSphere(const float (*planes)[4], int32_t planeCount, const D3DXVECTOR3* centre, float radius,
                             RegionPolygonFn callback) override;                      // slot 13
  int32_t GeometrySlot14() override { return 0; }                                    // slot 14
  bool GeometrySlot15(uint32_t) override { return false; }                           // slot 15

  // ---- ITerrainEdit ----
  void SetWireframe(bool on) override;
  void EditSlot1() override {}
  void EditSlot2() override {}
  void SetName(const char* text) override;
  int32_t AddLayer(const char* texture, const float* offset2, const float* scale2, bool fromFile) override;
  void SetHeightScale(float scale) override;
  bool UpdateAllBlocks(const TerrainHeightMap* map) override;
  bool EditSlot7(uint32_t) override { return false; }
  bool EditSlot8(uint32_t) override { return true; }
  bool EditSlot9(uint32_t) override { return false; }
  float Pick(const D3DXVECTOR3* from, const D3DXVECTOR3* to, D3DXVECTOR3* normalOut) override;
  bool SampleHeight(D3DXVECTOR3* point, D3DXVECTOR3* normalOut) override;
  int16_t GetHeightAt(int32_t i, int32_t j) override;
  void SetHeightAt(int32_t i, int32_t j, int16_t h) override;
  void SelectUnderBrush(const float* weights, int32_t mouseX, int32_t mouseY) override;
  void RaiseUnderBrush(int16_t amount) override;
  void SetUnderBrush(int16_t value) override;
  void FlushDirtyRegions() override;
  void SetBrushSize(int32_t w, int32_t h, int32_t hotX, int32_t hotZ) override;
  void ShowBrush() override;
  void HideBrush() override;
  void SetBrushMask(const uint8_t* mask, int32_t maskW, int32_t maskH, const char* texture, const float* offset2,
                    const float* scale2, bool fromFile) override;
  void BeginPickMode() override;
  int32_t ResetPick() override;
  void EditSlot24(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override {}
  void EditSlot25(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override {}
  bool EditSlot26(uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }

  // ---- the manager's own operations ----
  void Render(uint32_t arg);
  void BuildBlockTree();
  float GetHeightScale() const { return m_fHeightScale; }
  static CTerrainBlock* NewTerrainBlocks(uint32_t count);
  static void DeleteTerrainBlocks(CTerrainBlock* blocks);
  void LoadPatchIndexInfo();
  int32_t CreateLayer(const char* name, const float* offset2, const float* scale2, bool fromFile);
  int32_t GetPatchLayerCount(uint32_t record) const;
  void BindPatchLayerSlot(uint32_t record, int32_t slot, int* effectOut);
  static TerrainBrushVertex* NewBrushVertices(uint32_t count);
  // topLeft and bottomRight: the brush rectangle's grid points, both included.
  void UpdateBrush(const int32_t* topLeft, const int32_t* bottomRight);
  void PaintBlendLayer(const int32_t* topLeft, const int32_t* bottomRight);

  // Brush and paint state as the editing operations left it.
  int32_t BrushWidth() const { return m_nBrushW; }
  int32_t BrushHeight() const { return m_nBrushH; }
  int32_t HotX() const { return m_nHotX; }
  int32_t HotZ() const { return m_nHotZ; }
  const TerrainBrushVertex* BrushVertices() const { return m_pBrushVertices; }
  const uint16_t* BrushIndices() const { return m_pBrushIndices; }
  int32_t BrushTriangles() const { return m_nBrushTriangles; }
  const TerrainSharingRecord* SharingTable() const { return m_pSharing; }
  const std::vector<TerrainSelectionEntry>& Selection(int block) const { return m_selections[block]; }
  const std::vector<TerrainRegionRecord>& Regions(int block) const { return m_regions[block]; }
  bool Painting() const { return m_bPainting; }
  const int32_t* LastBrushVertex() const { return m_aLastBrushVertex; }
  const int32_t* LastPaintedVertex() const { return m_aLastPaintedVertex; }
  int32_t PaintLayer() const { return m_nPaintLayer; }
  const TerrainPatchLayers* PatchLayers(int px, int pz) const {
    return m_patchLayers.empty() ? nullptr : &m_patchLayers[static_cast<size_t>(px * kFieldPatches + pz)];
  }
  const TerrainLayer* Layer(int32_t index) const {
    return index >= 0 && static_cast<size_t>(index) < m_layers.size() ? &m_layers[static_cast<size_t>(index)] : nullptr;
  }
  // The layer's name: a texture name or a blend map's generated name.
  std::string LayerName(int32_t index) const {
    const TerrainLayer* layer = Layer(index);
    return layer != nullptr && layer->nameRecord < m_nameRecords.size() ? m_nameRecords[layer->nameRecord] : "";
  }
  // The grid point under the pixel, rounded as the brush takes it; false on a miss or an empty
  // viewport. inverseView: the camera's world matrix.
  bool CursorVertex(const D3DXMATRIX& inverseView, const D3DXMATRIX& projection, int32_t mouseX, int32_t mouseY,
                    int32_t* vx, int32_t* vz);

  bool HasBlocks() const { return m_apBlocks[0] != nullptr; }
  CTerrainBlock* Block(int bx, int bz) const { return m_apBlocks[bx * 8 + bz]; }
  TerrainBlockTreeRecord* BlockTreeLevel(int level) const { return m_apBlockTree[level]; }
  const TerrainIndexList& InteriorList(int level) const { return m_aInteriorLists[level]; }
  const TerrainIndexList& EdgeList(int family, int level, int neighbour) const {
    return m_aEdgeLists[family][level * kPatchLevels + neighbour];
  }
  const uint8_t* FirstTable() const { return m_aFirstTable; }
  const uint8_t* SecondTable() const { return m_aSecondTable; }
  int StaticIndexBuffer() const { return m_nStaticIB; }
  const D3DXMATRIX& ViewProjection() const { return m_matViewProjection; }

  // Draw resources the blocks fill (handles -1 while none exists).
  IRenderer* m_pRenderer = nullptr;
  int m_nDynamicIB = -1;
  uint32_t m_nIndexCursor = 0;
  int m_nDynamicVB = -1;
  uint32_t m_nVertexCursor = 0;

  // Per-frame tables over the 64 x 64 patches (index px 64 + pz).
  uint8_t m_aVisible[kTerrainPatchCount] = {};
  uint8_t m_aWaterVisible[kTerrainPatchCount] = {};
  uint8_t m_aVisibleBlocks[64] = {};
  float m_aDistance[kTerrainPatchCount] = {};
  int32_t m_aLevel[kTerrainPatchCount] = {};
  int32_t m_aWaterLevel[kTerrainPatchCount] = {};

  // The mouse position in client pixels.
  int32_t m_nMouseX = 0;
  int32_t m_nMouseY = 0;

 private:
  void CreateDynamicBuffers();
  void ReleaseDynamicBuffers();
  bool BuildPatchLists();
  void FreePatchLists();
  void FreeBlocks();

  std::string m_strPrefix;
  TerrainBlockTreeRecord* m_apBlockTree[4] = {};
  uint8_t m_aFirstTable[1152] = {};
  uint8_t m_aSecondTable[1728] = {};
  TerrainIndexList m_aInteriorLists[kPatchLevels];
  TerrainIndexList m_aEdgeLists[kPatchEdgeFamilies][kPatchLevels * kPatchLevels];
  int m_nStaticIB = -1;
  float m_fHeightScale = 1.0f;
  CTerrainBlock* m_apBlocks[64] = {};
  std::vector<TerrainPatchLayers> m_patchLayers;
  int m_aEffects[4] = {-1, -1, -1, -1};  // Tex0, Tex1, light map, paint brush
  D3DXMATRIX m_matViewProjection;

  void FreeBrush();
  // The brush rectangle round grid point (vx, vz); false when it misses the field.
  bool BrushRectangle(int32_t vx, int32_t vz, int32_t* topLeft, int32_t* bottomRight) const;
  bool BrushHasGeometry() const { return m_pBrushVertices != nullptr && m_nBrushW > 0 && m_nBrushH > 0; }
  void DrawBrush();
  void PaintPatch(int gpx, int gpz, int px0, int pz0, int px1, int pz1, const int32_t* topLeft);

  // Brush and paint state kept for the editing operations.
  int32_t m_nBrushW = 0, m_nBrushH = 0;
  int32_t m_nHotX = 0, m_nHotZ = 0;
  TerrainBrushVertex* m_pBrushVertices = nullptr;
  uint16_t* m_pBrushIndices = nullptr;
  int32_t m_nBrushTriangles = 0;
  TerrainSharingRecord* m_pSharing = nullptr;
  std::vector<TerrainSelectionEntry> m_selections[64];
  std::vector<TerrainRegionRecord> m_regions[64];
  uint8_t* m_pPaintMask = nullptr;
  int32_t m_nMaskW = 0, m_nMaskH = 0;
  int32_t m_nPaintLayer = -1;
  int32_t m_nTexelsPerQuad = 2;
  bool m_bBrushShown = false;
  bool m_bPainting = false;
  int32_t m_aLastBrushVertex[2] = {-1, -1};
  int32_t m_aLastPaintedVertex[2] = {-1, -1};

  // Texture layers.
  std::vector<TerrainLayer> m_layers;
  std::map<std::string, int32_t> m_layerNames;
  std::vector<std::string> m_nameRecords;
  std::vector<IDirect3DTexture8*> m_ownedTextures;
  std::vector<int> m_textureHandles;
};
