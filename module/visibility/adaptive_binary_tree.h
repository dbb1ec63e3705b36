// The static scene: draw batches in a render tree that is culled against the view frustum and
// the occlusion system every frame and drawn in two passes, a collision tree for ray and
// sphere queries, and an occluder tree whose visible polygons feed the occlusion system.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "frame/component_handle.h"
#include "frame/renderer.h"
#include "visibility/abt_exact_key.h"
#include "visibility/abt_records.h"
#include "visibility/abt_render_node.h"
#include "visibility/abt_split_geometry.h"
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
// A write that fails or falls short answers false.
bool WriteChunkHeader(IIniService* files, HANDLE file, uint16_t tag, uint32_t length);
bool ReadChunkHeader(ByteCursor& cursor, uint16_t* tag, uint32_t* length);
// The next chunk must carry `tag` and end inside the file: its body becomes `body` and the cursor
// moves past it.
bool ReadChunk(ByteCursor& cursor, uint16_t tag, ByteCursor* body);

// What a frame counted, for the tools: batches in each pass, draws the renderer refused, boxes
// the occlusion system was asked about and the ones it called hidden, and whether it asserted
// (the frame then went on without it).
struct AbtFrameStats {
  uint32_t m_nOpaque = 0;
  uint32_t m_nBlended = 0;
  uint32_t m_nRefused = 0;
  uint32_t m_nTested = 0;
  uint32_t m_nHidden = 0;
  bool m_bOcclusionAsserted = false;
};

struct AbtBuildInput;
// The arrays of a built index-node tree: nodes, triangles in leaf order (the occluder tree's
// leaves name polygons instead), points, and the occluder polygons with their indices.
struct AbtTreeArrays {
  std::vector<AbtIndexNode> m_Nodes;
  std::vector<AbtCollisionTriangle> m_Triangles;
  std::vector<D3DXVECTOR3> m_Points;
  std::vector<AbtOccluderPolygon> m_Polygons;
  std::vector<uint32_t> m_Indices;
};

// What the last off-line build made, for the tools.
struct AbtBuildStats {
  uint32_t m_nBatches = 0;
  uint32_t m_nStrips = 0;
  uint32_t m_nLists = 0;
  uint32_t m_nBuffers = 0;
  uint32_t m_nNodes = 0;
  uint32_t m_nLeaves = 0;
  uint32_t m_nTriangles = 0;
  uint32_t m_nPoints = 0;
  uint32_t m_nPolygons = 0;
  uint32_t m_nPlanes = 0;
  // Why the last build answered false, in one line; null after a build that went through.
  const char* m_szFailure = nullptr;

  bool Fail(const char* why) {
    m_szFailure = why;
    return false;
  }
};

// The occluder build's planes (a, b, c, d with a p.x + b p.y + c p.z = d), module-wide: each
// occluder build empties and fills it.
extern std::vector<D3DXPLANE> g_OccluderPlanes;
// (a, b, c, d) compared exactly: one index per distinct plane.
using AbtPlaneMap = std::unordered_map<std::array<float, 4>, uint32_t, AbtExactKeyHash<4>>;
// Orders build triangles by the d of their planes (the tag names the plane); within 1e-5 they
// are equal.
int CompareOccluderPlaneDistance(const void* a, const void* b);
// A vertex on the edge from a to b at t: position, normal and the first coordinate pair
// interpolated, the colour per channel, every other byte from the nearer corner.
struct AbtVertexLayout;
void AbtInterpolateVertex(uint8_t* out, const uint8_t* a, const uint8_t* b, float t, const AbtVertexLayout& layout);

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
  // The off-line builds from a build input, and the loaders of the two index-node trees. Each
  // answers false with nothing kept when a file does not open, read, parse or write.
  virtual bool BuildRenderGeometry(const char* input, const char* colours, const char* output);  // slot 23
  virtual bool BuildCollisionTree(const char* input, const char* output);                        // slot 24
  virtual bool BuildOccluderTree(const char* input, const char* output);                         // slot 25
  virtual bool LoadCollisionTree(const char* path);                                              // slot 26
  virtual bool LoadOccluderTree(const char* path);                                               // slot 27
  virtual const AbtBuildStats& LastBuildStats() const { return m_BuildStats; }                   // slot 28

  // Divides a record's triangles into pieces of fewer than 550 (u16 triples into `vertices`,
  // of the given format code). New vertices are appended and counted in vertexCount. False
  // when they would pass 65,535 vertices; _EXS (line 3495) when the work stack overflows.
  static bool SplitGeometry(const D3DXVECTOR3& boxMax, const D3DXVECTOR3& boxMin, uint32_t triangleCount,
                            std::vector<uint16_t> triangles, std::vector<uint8_t>* vertices, uint32_t formatCode,
                            uint32_t* vertexCount, std::vector<AbtGeometryPiece>* pieces);
  // Partitions the triangles below a root of the given box into nodes; leaves hold fewer than
  // leafLimit triangles, appended to output in leaf order. Cuts add points. _EXS (line 1425)
  // when the pending stack overflows.
  static void BuildNodeTree(const D3DXVECTOR3& boxMax, const D3DXVECTOR3& boxMin,
                            std::vector<AbtCollisionTriangle> triangles, std::vector<D3DXVECTOR3>* points,
                            std::vector<AbtIndexNode>* nodes, std::vector<AbtCollisionTriangle>* output,
                            uint32_t leafLimit);
  // A parsed input's corners welded and partitioned (leaf limit 10); for the occluder tree
  // (limit 30) each leaf's triangles merged into polygons, the planes in g_OccluderPlanes.
  static AbtTreeArrays BuildCollisionArrays(const AbtBuildInput& input);
  static AbtTreeArrays BuildOccluderArrays(const AbtBuildInput& input);
  // Merges one leaf's triangles into convex polygons of one plane each; the planes go to
  // g_OccluderPlanes through the map.
  static void BuildOccluderPolygons(AbtCollisionTriangle* triangles, uint32_t count,
                                    const std::vector<D3DXVECTOR3>& points, AbtPlaneMap* planeMap,
                                    uint32_t* planeCounter, std::vector<AbtOccluderPolygon>* polygons,
                                    std::vector<uint32_t>* indices);

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
  // Nodes to walk, each with the frustum planes its parent crossed (bit i: plane i).
  std::vector<std::pair<AbtRenderNode*, uint32_t>> m_RenderStack;
  std::vector<int32_t> m_IndexStack;
  AbtFrameStats m_LastFrame;
  AbtBuildStats m_BuildStats;
};
