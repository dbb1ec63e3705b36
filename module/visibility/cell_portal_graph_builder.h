// Cells and portals over static geometry. Triangles are grouped by plane, a tree of splitting
// planes is built over them, a portal is cut for every inner node and pushed to the leaves it
// separates, and leaves joined through portals that no geometry bounds become one cell. A
// progress listener sees the tables after every stage; Realize shows every portal outline and
// the triangles of one selected cell as a white wireframe.
//
// The tables are plain records and standard containers so that a tool holding the progress
// record can read them in place.
#pragma once
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "visibility/triangle_box_tree.h"

class IRenderer;

// 40 bytes: position, normal, two texture coordinate pairs.
struct CellPortalVertex {
  D3DXVECTOR3 position;
  D3DXVECTOR3 normal;
  float uv0[2];
  float uv1[2];
};

// 16 bytes: three vertex indices and a word the build does not read.
struct CellPortalTriangle {
  uint32_t index[3];
  uint32_t flags;
};

struct PlaneEntry {
  D3DXPLANE plane;
  std::vector<uint32_t> triangles;
  uint32_t count = 0;
  float area = 0.0f;
  uint8_t used = 0;  // the plane already splits an ancestor node
  // Triangles the plane split when it was last scored, each with the version of its record.
  struct Witness {
    uint32_t triangle, version;
  };
  std::vector<Witness> witnesses;
  // Every map of the build holds at most one entry per plane of the first map: its place there.
  uint32_t lineage = 0;
  // How many triangles of the node the plane is known to split; never more than it does.
  uint32_t knownSplits = 0;
};

// Plane entries in PlaneLess order. Opposite facings of one plane compare equal and planes
// within the tolerance of two others need not equal either, so PlaneLess orders no tree: a
// lookup compares with every entry, and a new entry goes before the first it orders before.
class PlaneMap {
 public:
  PlaneMap() = default;
  PlaneMap(const PlaneMap&) = delete;
  PlaneMap& operator=(const PlaneMap&) = delete;
  ~PlaneMap() { Clear(); }

  // The first entry equal to `plane`, or one made (with `used`) in order when there is none.
  PlaneEntry* FindOrInsert(const D3DXPLANE& plane, uint8_t used);
  // The entry FindOrInsert makes for a plane that equals no entry of the map, found without
  // comparing with every entry.
  PlaneEntry* InsertUnequal(const D3DXPLANE& plane, uint8_t used);
  void Clear();
  size_t size() const { return entries.size(); }
  bool empty() const { return entries.empty(); }

  std::vector<PlaneEntry*> entries;  // owned

 private:
  PlaneEntry* Insert(const D3DXPLANE& plane, uint8_t used, size_t at);

  std::vector<float> m_prefixMaxA;  // the largest a of entries 0..i, kept by InsertUnequal
};

constexpr uint32_t kCellPortalInner = 0;
constexpr uint32_t kCellPortalLeaf = 1;

struct CellPortalNode {
  uint32_t kind = kCellPortalInner;
  D3DXPLANE plane{0, 0, 0, 0};
  int32_t parent = -1;
  int32_t back = -1;
  int32_t front = -1;
  uint32_t first = 0;  // into the triangle index list (leaves)
  uint32_t count = 0;
};

struct PortalGroup;

struct PortalPiece {
  std::vector<D3DXVECTOR3> points;
  D3DXVECTOR3 centre{0, 0, 0};
  int32_t node = -1;             // the inner node it was made for
  std::vector<int32_t> leaves;   // the leaves it touches
  bool placed = false;
  PortalGroup* group = nullptr;  // null: open
  PortalPiece* link = nullptr;   // the next piece of its chain of shared edges
};

struct PortalGroup {
  uint8_t settled = 0;
  std::vector<PortalPiece*> pieces;
  std::vector<uint32_t> cells;
};

struct CellRecord {
  std::vector<int32_t> leaves;  // in flood order
  std::vector<PortalGroup*> groups;
};

struct CellPortalLeaf {
  std::vector<PortalPiece*> pieces;
  uint8_t visited = 0;
  uint32_t cell = 0;
};

struct CellPortalStatistics {
  uint32_t innerNodes;
  uint32_t leaves;
  uint32_t unused2;
  uint32_t unused3;
  uint32_t coveredPieces;  // dropped because a coplanar triangle of a leaf covers them
  uint32_t unused5;
  uint32_t unused6;
};

// What the progress listener is handed.
struct CellPortalProgress {
  uint32_t stage;
  const std::vector<CellPortalVertex>* vertices;
  const std::vector<CellPortalTriangle>* triangles;
  const std::vector<CellPortalNode>* nodes;
  const std::vector<uint32_t>* triangleIndices;
  const PlaneMap* planes;
  const std::vector<PortalPiece*>* pieces;
  const std::vector<PortalGroup*>* groups;
  const std::vector<CellRecord*>* cells;
  const CellPortalStatistics* statistics;
};

class ICellPortalProgressListener {
 public:
  virtual void OnProgress(const CellPortalProgress* record) = 0;  // slot 0

 protected:
  ~ICellPortalProgressListener() = default;
};

// The cell shown by every builder; N steps it.
extern uint32_t g_nSelectedCell;

// True when p orders before q; planes within 1e-4 (either facing) are equal.
bool PlaneLess(const D3DXPLANE& p, const D3DXPLANE& q);
// True when p lies inside the triangle seen along `normal`; within 0.001 of an edge counts as inside.
bool PointInTriangle(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                     const D3DXVECTOR3& normal);

class CCellPortalGraphBuilder : public CComponentBase {
 public:
  CCellPortalGraphBuilder();
  ~CCellPortalGraphBuilder() override;  // slot 11

  bool Init() override;                                                             // slot 0
  void Destroy() override;                                                          // slot 1
  void Execute(uint32_t elapsedMs) override;                                        // slot 2
  void Realize(uint32_t arg) override;                                              // slot 3
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7

  virtual void Reserve(uint32_t vertexCount, uint32_t triangleCount);  // slot 12
  virtual void Slot13(uint32_t arg);                                   // slot 13
  virtual void AddVertex(const CellPortalVertex* vertex);              // slot 14
  virtual void AddTriangle(const CellPortalTriangle* triangle);        // slot 15
  virtual void SetProgressListener(ICellPortalProgressListener* listener);  // slot 16
  virtual void AddModel(ComponentHandle object);                       // slot 17
  virtual void Slot18();                                               // slot 18
  virtual void Slot19();                                               // slot 19
  virtual void Slot20();                                               // slot 20
  virtual void Build(bool first, bool second);                         // slot 21

  // Read access for tools in the same program.
  const CellPortalProgress& Progress() const { return m_progress; }
  // Why the last Build stopped, in one line; null after a build that went through. A stopped
  // build leaves the vertices and triangles as they were given and every other table empty.
  const char* Failure() const { return m_szFailure[0] != 0 ? m_szFailure : nullptr; }
  float BoundingRadius() const { return m_flBoundingRadius; }
  const std::vector<CellPortalLeaf>& Leaves() const { return m_leaves; }

 private:
  struct BuildTask;
  struct BuildWork;

  void DrawGraph();
  void ReportProgress();
  void Clear();
  void FreePortals();
  void FreeCells();
  // Everything the build made from the tables: portals, cells, planes, tree and point map.
  void FreeGraph();
  // Ends a build that cannot go on: the vertex and triangle tables as given (when a copy of the
  // triangles is at hand), the rest emptied.
  void Abandon(size_t givenVertices, const std::vector<CellPortalTriangle>* givenTriangles);

  // Stages
  void ResetTables();
  void CollectCoplanarTriangles();
  // False when the cuts would make more pieces than the budget allows.
  bool BuildTree();
  void BuildPortals();
  void LinkCells();

  // Stage 1
  bool TrianglePlane(const CellPortalTriangle& triangle, D3DXPLANE* out) const;
  void ComputePlaneArea(PlaneEntry* entry) const;
  // Stage 2
  int32_t BuildNode(PlaneMap* map, int32_t parent, BuildWork* work);
  // Scores the entry at `index` of the map last stamped by BuildNode.
  // `winsTies`: the candidate stands before the best in the map, so equal scores make it the best.
  void ScorePlane(PlaneEntry* candidate, uint32_t index, float bestPrimary, float bestSecondary, bool winsTies,
                  float* primary, float* secondary);
  int32_t SplitNode(PlaneMap* map, int32_t parent, PlaneEntry* chosen, BuildWork* work);
  void SplitTriangle(uint32_t triangle, const D3DXPLANE& plane, const int* sides, std::vector<uint32_t>* front,
                     std::vector<uint32_t>* back);
  // Lists the planes that split each triangle of the first map and counts them per entry.
  void CountRootSplits(PlaneMap* map);
  // True when the plane of `lineage` splits the triangle, as TriangleSides would say.
  bool LineageSplits(uint32_t lineage, uint32_t triangle) const;
  void SplitTriangleAtVertex(uint32_t triangle, const D3DXPLANE& plane, const int* sides,
                             std::vector<uint32_t>* front, std::vector<uint32_t>* back);
  uint32_t CutEdge(uint32_t a, uint32_t b, const D3DXPLANE& plane);
  int32_t MakeLeaf(PlaneMap* map, int32_t parent);
  int VertexSide(const D3DXPLANE& plane, uint32_t vertex) const;
  TriangleBoxTree::Box TriangleBox(uint32_t triangle) const;
  // TriangleSides classifies against the plane of the last BeginSides, each vertex once.
  void BeginSides(const D3DXPLANE& plane);
  int TriangleSides(uint32_t triangle, int* sides);
  // Stage 3
  void MakePlaneSquare(const D3DXPLANE& plane, std::vector<D3DXVECTOR3>* out) const;
  void PushPiece(PortalPiece* piece, int32_t node, std::vector<PortalPiece*>* made,
                 std::vector<PortalPiece*>* placed);
  bool PieceIsCovered(const PortalPiece& piece, const D3DXPLANE& plane) const;
  // Stage 4
  void ResolveGroup(PortalGroup* group);
  bool EdgeIsBounded(PortalPiece* piece, PortalGroup* group, const D3DXVECTOR3& a, const D3DXVECTOR3& b);
  bool TrimByLeafEdges(const PortalPiece& piece, std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>>* segments) const;
  void FinishGroup(PortalGroup* group);
  void FloodCell(int32_t leaf, uint32_t cellIndex);

  std::vector<CellPortalLeaf> m_leaves;
  std::vector<CellRecord*> m_cells;
  IRenderer* m_pRenderer = nullptr;
  std::vector<CellPortalVertex> m_vertices;
  std::vector<CellPortalTriangle> m_triangles;
  std::vector<CellPortalNode> m_nodes;
  PlaneMap m_planes;
  ICellPortalProgressListener* m_pListener = nullptr;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> m_pointMap;
  std::vector<uint32_t> m_triangleIndices;
  float m_flBoundingRadius = 0.0f;
  CellPortalStatistics m_statistics{};
  uint32_t m_nPrimaryCriterion = 0;
  uint32_t m_nSecondaryCriterion = 2;
  std::vector<PortalGroup*> m_groups;
  CellPortalProgress m_progress{};
  std::vector<PortalPiece*> m_pieces;

  // Vertex sides against one plane at a time: a side is valid while its stamp is the generation.
  D3DXPLANE m_sidePlane{0, 0, 0, 0};
  std::vector<uint32_t> m_sideStamp;
  std::vector<uint8_t> m_sides;
  uint32_t m_sideGeneration = 0;
  // Per triangle: the map generation that last listed it, its entry's place in that map and
  // plane normal, and how often its record was given another triangle by a cut.
  struct TriangleState {
    uint32_t stamp = 0;
    uint32_t entry = 0;
    uint32_t version = 0;
    D3DXVECTOR3 normal{0, 0, 0};
  };
  std::vector<TriangleState> m_triangleStates;
  // Per triangle, the lineages whose planes split it (never its own); per lineage its plane.
  // The lists are kept for whole triangles and tried again on the pieces of a cut one, so a
  // count taken from them never exceeds the true one. They are kept only while splits are the
  // primary criterion.
  bool m_countSplits = false;
  std::vector<std::vector<uint32_t>> m_splitters;
  std::vector<D3DXPLANE> m_lineagePlanes;
  std::vector<int32_t> m_lineageTally[2];  // per lineage, scratch of SplitNode
  uint32_t m_mapGeneration = 0;
  TriangleBoxTree m_boxes;
  char m_szFailure[160] = {};
};
