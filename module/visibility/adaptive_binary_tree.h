// The static scene: draw batches in a render tree that is culled against the view frustum and
// the occlusion system every frame and drawn in two passes, a collision tree for ray and
// sphere queries, and an occluder tree whose visible polygons feed the occlusion system.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "frame/component_handle.h"
#include "frame/renderer.h"
#include "visibility/abt_records.h"
#include "visibility/abt_render_node.h"
#include "visibility/adaptive_binary_tree_base.h"

class COcclusionSystem;
struct AdaptiveBinaryTreeTestHook;

// The read callback over a file image held in memory; the cursor knows where the image ends.
struct AbtStreamCursor {
  const uint8_t* m_pPos = nullptr;
  const uint8_t* m_pEnd = nullptr;
};
// Copies count bytes and advances; false for a null cursor or a read past the image's end.
bool ReadStreamBytes(void* destination, uint32_t count, AbtStreamCursor* cursor);

// Chunk headers of the tree files: a u16 tag and a u32 body length, little-endian, unaligned.
void WriteChunkHeader(IIniService* files, HANDLE file, uint16_t tag, uint32_t length);
bool ReadChunkHeader(ByteCursor& cursor, uint16_t* tag, uint32_t* length);

// What a frame counted, for the tools: batches in each pass, draws the renderer refused, boxes
// the occlusion system was asked about and the ones it called hidden.
struct AbtFrameStats {
  uint32_t m_nOpaque = 0;
  uint32_t m_nBlended = 0;
  uint32_t m_nRefused = 0;
  uint32_t m_nTested = 0;
  uint32_t m_nHidden = 0;
};

class CAdaptiveBinaryTree : public CAdaptiveBinaryTreeBase {
 public:
  CAdaptiveBinaryTree();
  ~CAdaptiveBinaryTree() override;  // slot 11

  bool Init() override;                                                              // slot 0
  void Destroy() override;                                                           // slot 1
  void Execute(uint32_t elapsedMs) override;                                         // slot 2
  void Realize(uint32_t arg) override;                                               // slot 3
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7
  float RayDistance(const D3DXVECTOR3* a, const D3DXVECTOR3* b) override;            // slot 12
  bool ClipTrianglesInSphere(const float (*planes)[4], int32_t planeCount, const D3DXVECTOR3* centre, float radius,
                             RegionPolygonFn callback) override;  // slot 13
  int32_t GeometrySlot14() override;                              // slot 14
  bool GeometrySlot15(uint32_t arg) override;                     // slot 15

  // Tool operations after the slots: nothing in the module calls them.
  virtual bool Load(const char* path, uint32_t blendClass);  // slot 16
  virtual void RebuildRenderTree();                          // slot 17
  virtual bool IntersectRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, float* t);  // slot 18
  virtual bool CollideSphere(const D3DXVECTOR3* centre, float radius, D3DXVECTOR3* point, D3DXVECTOR3* direction,
                             float* depth, bool firstHitOnly);                     // slot 19
  virtual void GetCollisionBounds(D3DXVECTOR3* maximum, D3DXVECTOR3* minimum);     // slot 20
  virtual const AbtFrameStats& LastFrameStats() const { return m_LastFrame; }      // slot 21
  virtual void TreeShape(uint32_t* nodes, uint32_t* leaves, uint32_t* depth) const;  // slot 22

  void DetermineVisibility();
  // Frees every node below root after unlinking it from its parent; the root stays.
  void FreeNodeTree(AbtRenderNode* root);

  static int CompareBatchDistanceAscending(const void* a, const void* b);
  static int CompareBatchDistanceDescending(const void* a, const void* b);

 private:
  friend struct AdaptiveBinaryTreeTestHook;

  void ReleaseContainers();
  void WalkOccluders(const Frustum& frustum, const D3DXVECTOR3& eye, const D3DXVECTOR3& forward,
                     const D3DXMATRIX& view, const D3DXMATRIX& projection);
  void WalkRenderTree(const Frustum& frustum, const D3DXVECTOR3& eye, bool& useOcclusion, bool& asserted);
  void DrawPasses();
  void DrawBatch(const AbtLeafBatch& batch);
  void SetMaterialTexture(const AbtLeafBatch& batch);

  IRenderer* m_pRenderer = nullptr;
  std::vector<AbtMaterial> m_Materials;
  std::vector<AbtLeafBatch> m_LeafBatches;
  std::vector<int32_t> m_IndexBuffers;
  std::vector<int32_t> m_VertexBuffers;  // -1: a buffer of no vertices keeps its place
  std::vector<int32_t> m_Textures;
  AbtRenderNode* m_pRenderRoot = nullptr;
  AbtIndexNode* m_pCollisionNodes = nullptr;
  AbtCollisionTriangle* m_pCollisionTriangles = nullptr;
  D3DXVECTOR3* m_pCollisionPoints = nullptr;
  AbtIndexNode* m_pOccluderNodes = nullptr;
  AbtOccluderPolygon* m_pOccluderPolygons = nullptr;
  uint32_t* m_pOccluderIndices = nullptr;
  D3DXVECTOR3* m_pOccluderPoints = nullptr;
  D3DXPLANE* m_pOccluderPlanes = nullptr;

  ComponentHandle m_OcclusionHandle{};
  COcclusionSystem* m_pOcclusion = nullptr;
  int m_nBoundingBoxEffect = -1;
  std::vector<AbtLeafBatch*> m_OpaqueList;
  std::vector<AbtLeafBatch*> m_BlendedList;
  bool m_bDrawBatches = true;
  bool m_bOcclusionCulling = true;

  // Reused by the walks so that a steady frame allocates nothing.
  // A node whose box lies wholly inside the frustum needs no more tests below it (its box
  // encloses its children's and its batches'): the flag rides with the node.
  std::vector<std::pair<AbtRenderNode*, bool>> m_RenderStack;
  std::vector<int32_t> m_IndexStack;
  AbtFrameStats m_LastFrame;
};
