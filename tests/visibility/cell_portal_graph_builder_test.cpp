// The cell-portal graph builder: its component slots, the five stages on hand-made scenes and
// the sample rooms, the model intake and the wireframe it draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "frame/component_base.h"
#include "frame/scene_model.h"
#include "host/ini_service.h"
#include "host/mesh_object.h"
#include "host/renderer.h"
#include "support/abt_build_files.h"
#include "support/module_host.h"
#include "visibility/cell_portal_graph_builder.h"
#include "visibility/portal_meshes.h"

// Every allocation of the test program passes here, so that a test can make memory run out in
// the middle of a build: on the thread that set it, allocations fail from the given count on.
namespace {
thread_local int64_t t_allocationsBeforeFailure = -1;  // negative: none fails
thread_local uint64_t t_allocations = 0;

void* Allocate(std::size_t size) {
  if (t_allocationsBeforeFailure == 0) throw std::bad_alloc();
  if (t_allocationsBeforeFailure > 0) --t_allocationsBeforeFailure;
  ++t_allocations;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

// While it lives, allocations on this thread fail after the first `skip`.
struct MemoryRunsOut {
  explicit MemoryRunsOut(uint64_t skip) { t_allocationsBeforeFailure = static_cast<int64_t>(skip); }
  ~MemoryRunsOut() { t_allocationsBeforeFailure = -1; }
  MemoryRunsOut(const MemoryRunsOut&) = delete;
  MemoryRunsOut& operator=(const MemoryRunsOut&) = delete;
};
}  // namespace

// Every form that frees with `free` is replaced, so that no block crosses to another allocator.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

using V3 = D3DXVECTOR3;

// The module with the renderer and the host's mesh class; every builder is destroyed and no
// host block is left at the end.
struct PortalBuilderHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  size_t blocksBefore = 0;

  PortalBuilderHost() {
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    host::RegisterMeshClass(module.host, renderer);
    blocksBefore = module.host.Allocator().LiveBlocks();
    g_nSelectedCell = 0;
  }
  ~PortalBuilderHost() {
    module.host.DestroyAll();
    EXPECT_EQ(module.host.Allocator().LiveBlocks(), blocksBefore);
    g_nSelectedCell = 0;
  }
  host::ReferenceHost& Host() { return module.host; }
  CCellPortalGraphBuilder* Create(ComponentHandle* out = nullptr) {
    ComponentHandle h{};
    module.host.CreateObject(&h, "CCellPortalGraphBuilder");
    if (out != nullptr) *out = h;
    return static_cast<CCellPortalGraphBuilder*>(static_cast<CComponentBase*>(module.host.GetObject(&h)));
  }
};

// Records the stage and the record's address each time it is called.
struct StageLog final : ICellPortalProgressListener {
  void OnProgress(const CellPortalProgress* record) override {
    stages.push_back(record->stage);
    records.push_back(record);
  }
  std::vector<uint32_t> stages;
  std::vector<const CellPortalProgress*> records;
};

void AddPoint(CCellPortalGraphBuilder* b, const V3& p) {
  CellPortalVertex v{};
  v.position = p;
  b->AddVertex(&v);
}

void AddTri(CCellPortalGraphBuilder* b, uint32_t i0, uint32_t i1, uint32_t i2) {
  const CellPortalTriangle t{{i0, i1, i2}, 0};
  b->AddTriangle(&t);
}

// A triangle of three new vertices.
void AddFreeTriangle(CCellPortalGraphBuilder* b, const V3& p0, const V3& p1, const V3& p2) {
  const auto base = static_cast<uint32_t>(b->Progress().vertices->size());
  AddPoint(b, p0);
  AddPoint(b, p1);
  AddPoint(b, p2);
  AddTri(b, base, base + 1, base + 2);
}

// A quad as (p0, p1, p2) and (p0, p2, p3) over four new vertices.
void AddQuad(CCellPortalGraphBuilder* b, const V3& p0, const V3& p1, const V3& p2, const V3& p3) {
  const auto base = static_cast<uint32_t>(b->Progress().vertices->size());
  for (const V3& p : {p0, p1, p2, p3}) AddPoint(b, p);
  AddTri(b, base, base + 1, base + 2);
  AddTri(b, base, base + 2, base + 3);
}

// Feeds a sample mesh to the builder and builds; false when the sample does not load.
bool BuildSample(CCellPortalGraphBuilder* b, const char* path) {
  host::IniService files(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples");
  host::MeshData mesh;
  std::string error;
  if (!host::LoadObjMesh(files, path, &mesh, &error)) {
    ADD_FAILURE() << error;
    return false;
  }
  b->Reserve(static_cast<uint32_t>(mesh.vertices.size()), static_cast<uint32_t>(mesh.indices.size() / 3));
  for (const auto& v : mesh.vertices) AddPoint(b, V3(v.position[0], v.position[1], v.position[2]));
  for (size_t t = 0; t < mesh.indices.size(); t += 3) AddTri(b, mesh.indices[t], mesh.indices[t + 1], mesh.indices[t + 2]);
  b->Build(false, false);
  return true;
}

// The leaf whose run of the index list holds triangle t, or -1.
int32_t LeafOf(const CellPortalProgress& r, uint32_t t) {
  for (size_t i = 0; i < r.nodes->size(); ++i) {
    const CellPortalNode& n = (*r.nodes)[i];
    if (n.kind != kCellPortalLeaf) continue;
    for (uint32_t k = n.first; k < n.first + n.count; ++k)
      if ((*r.triangleIndices)[k] == t) return static_cast<int32_t>(i);
  }
  return -1;
}

// The child of `ancestor` through which `node` descends from it, or -1.
int32_t BranchOf(const CellPortalProgress& r, int32_t node, int32_t ancestor) {
  while (node >= 0) {
    const int32_t parent = (*r.nodes)[static_cast<size_t>(node)].parent;
    if (parent == ancestor) return node;
    node = parent;
  }
  return -1;
}

bool Near(const V3& a, const V3& b, float tolerance = 1e-4f) {
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

// Rooms A (x 0..4) and B (x 4..8) as the sample has them, the wall between them whole or
// with the doorway (z 1.5..2.5, y 0..2); every face looks into its room.
void AddRooms(CCellPortalGraphBuilder* b, bool doorway, bool farWalls = true) {
  if (doorway) {
    AddQuad(b, V3(4, 0, 0), V3(4, 3, 0), V3(4, 3, 1.5f), V3(4, 0, 1.5f));
    AddQuad(b, V3(4, 0, 2.5f), V3(4, 3, 2.5f), V3(4, 3, 4), V3(4, 0, 4));
    AddQuad(b, V3(4, 2, 1.5f), V3(4, 3, 1.5f), V3(4, 3, 2.5f), V3(4, 2, 2.5f));
    AddQuad(b, V3(4, 0, 0), V3(4, 0, 1.5f), V3(4, 3, 1.5f), V3(4, 3, 0));
    AddQuad(b, V3(4, 0, 2.5f), V3(4, 0, 4), V3(4, 3, 4), V3(4, 3, 2.5f));
    AddQuad(b, V3(4, 2, 1.5f), V3(4, 2, 2.5f), V3(4, 3, 2.5f), V3(4, 3, 1.5f));
  } else {
    AddQuad(b, V3(4, 0, 0), V3(4, 3, 0), V3(4, 3, 4), V3(4, 0, 4));
    AddQuad(b, V3(4, 0, 0), V3(4, 0, 4), V3(4, 3, 4), V3(4, 3, 0));
  }
  AddQuad(b, V3(0, 0, 0), V3(0, 0, 4), V3(4, 0, 4), V3(4, 0, 0));
  AddQuad(b, V3(4, 0, 0), V3(4, 0, 4), V3(8, 0, 4), V3(8, 0, 0));
  AddQuad(b, V3(0, 3, 0), V3(4, 3, 0), V3(4, 3, 4), V3(0, 3, 4));
  AddQuad(b, V3(4, 3, 0), V3(8, 3, 0), V3(8, 3, 4), V3(4, 3, 4));
  AddQuad(b, V3(0, 0, 0), V3(4, 0, 0), V3(4, 3, 0), V3(0, 3, 0));
  AddQuad(b, V3(4, 0, 0), V3(8, 0, 0), V3(8, 3, 0), V3(4, 3, 0));
  if (farWalls) {
    AddQuad(b, V3(0, 0, 4), V3(0, 3, 4), V3(4, 3, 4), V3(4, 0, 4));
    AddQuad(b, V3(4, 0, 4), V3(4, 3, 4), V3(8, 3, 4), V3(8, 0, 4));
  }
  AddQuad(b, V3(0, 0, 0), V3(0, 3, 0), V3(0, 3, 4), V3(0, 0, 4));
  AddQuad(b, V3(8, 0, 0), V3(8, 0, 4), V3(8, 3, 4), V3(8, 3, 0));
}

std::vector<const host::DrawRecord*> DrawsOfType(const host::Renderer& r, DWORD type) {
  std::vector<const host::DrawRecord*> out;
  for (const auto& d : r.Draws())
    if (d.primitiveType == type) out.push_back(&d);
  return out;
}

// ---- Component ----

// A mesh file whose read comes back short is refused, not read with zeros for its end.
TEST(CellPortalGraphBuilder, AMeshFileThatReadsShortIsRefused) {
  host::IniService real(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples");
  abt_build_testing::FailingFiles files(&real);
  host::MeshData mesh;
  std::string error;
  ASSERT_TRUE(host::LoadObjMesh(files, "resource\\models\\rooms.obj", &mesh, &error)) << error;
  files.shortReadsOf = "resource\\models\\rooms.obj";
  EXPECT_FALSE(host::LoadObjMesh(files, "resource\\models\\rooms.obj", &mesh, &error));
  EXPECT_EQ(error, "cannot read OBJ file resource\\models\\rooms.obj: it does not read whole");
}

TEST(CellPortalGraphBuilder, SubscribesThreeChannelsWithTheirOrdersAndTakesTheRenderer) {
  PortalBuilderHost h;
  ComponentHandle handle{};
  ASSERT_NE(h.Create(&handle), nullptr);
  const auto expect = [&](const char* channel, int order) {
    const auto subscribers = h.Host().Subscribers(channel);
    ASSERT_EQ(subscribers.size(), 1u) << channel;
    EXPECT_TRUE(subscribers[0].first == handle);
    EXPECT_EQ(subscribers[0].second, order) << channel;
  };
  expect("execute", 2);
  expect("realize", INT_MIN);
  expect("system_messages", 3);
  EXPECT_TRUE(h.Host().Subscribers("LostDevice").empty());
}

TEST(CellPortalGraphBuilder, RadiusIsTheFarthestVertexSoFar) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddPoint(b, V3(3, 0, 0));
  EXPECT_FLOAT_EQ(b->BoundingRadius(), 3.0f);
  AddPoint(b, V3(0, 6, 8));
  EXPECT_FLOAT_EQ(b->BoundingRadius(), 10.0f);
  AddPoint(b, V3(0, 0, -5));
  EXPECT_FLOAT_EQ(b->BoundingRadius(), 10.0f);
}

TEST(CellPortalGraphBuilder, NothingIsDrawnOrSelectedWithoutCells) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  g_nSelectedCell = 5;
  h.Host().SystemMessage(256, 'N', 0);
  EXPECT_EQ(g_nSelectedCell, 5u);
  h.Host().Realize(0);
  b->Build(false, false);  // no triangles: no node
  EXPECT_TRUE(b->Progress().nodes->empty());
  h.Host().Realize(0);
  EXPECT_EQ(h.renderer.DrawCount(), 0u);
}

// ---- Stages ----

TEST(CellPortalGraphBuilder, ReportsEachStageOnceWithTheSameRecordAndRunsWithoutAListener) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddRooms(b, true);
  StageLog log;
  b->SetProgressListener(&log);
  b->Build(true, true);
  EXPECT_EQ(log.stages, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  for (const auto* r : log.records) EXPECT_EQ(r, &b->Progress());
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.statistics->innerNodes + r.statistics->leaves, r.nodes->size());
  EXPECT_EQ(r.statistics->unused2 + r.statistics->unused3 + r.statistics->unused5 + r.statistics->unused6, 0u);

  b->SetProgressListener(nullptr);
  b->Build(false, false);
  EXPECT_EQ(log.stages.size(), 5u);
  EXPECT_EQ(r.cells->size(), 2u);
}

// A hand trace: the planes in order are x = 8, the ceiling, z = 4, z = 0, the floor, the
// middle wall (facing B first) and x = 0. None cuts another, so each is taken in turn; the
// middle wall sends room A behind, where x = 0 is the last plane. Seven inner nodes and two
// leaves; the one portal is the wall's square cut down to the rooms' cross-section and its
// centre lies in the doorway, so it stays and joins two cells.
TEST(CellPortalGraphBuilder, TheSampleRoomsAreTwoCellsJoinedByOnePortal) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  ASSERT_TRUE(BuildSample(b, "resource\\models\\rooms.obj"));
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.statistics->innerNodes, 7u);
  EXPECT_EQ(r.statistics->leaves, 2u);
  EXPECT_EQ(r.statistics->coveredPieces, 0u);
  EXPECT_EQ(r.triangles->size(), 32u);  // nothing was cut
  ASSERT_EQ(r.cells->size(), 2u);
  ASSERT_EQ(r.groups->size(), 1u);
  const PortalGroup* portal = (*r.groups)[0];
  EXPECT_EQ(portal->settled, 1);
  EXPECT_EQ(portal->cells, (std::vector<uint32_t>{0, 1}));
  ASSERT_EQ(portal->pieces.size(), 1u);
  const PortalPiece* piece = portal->pieces[0];
  ASSERT_EQ(piece->points.size(), 4u);
  for (const V3& corner : {V3(4, 0, 0), V3(4, 3, 0), V3(4, 3, 4), V3(4, 0, 4)}) {
    bool found = false;
    for (const V3& p : piece->points) found |= Near(p, corner, 1e-3f);
    EXPECT_TRUE(found) << corner.x << " " << corner.y << " " << corner.z;
  }
  EXPECT_TRUE(Near(piece->centre, V3(4, 1.5f, 2), 1e-3f));
  // Room B (22 triangles with both faces of the middle wall) is flooded first.
  uint32_t first = 0, second = 0;
  for (int32_t leaf : (*r.cells)[0]->leaves) first += (*r.nodes)[static_cast<size_t>(leaf)].count;
  for (int32_t leaf : (*r.cells)[1]->leaves) second += (*r.nodes)[static_cast<size_t>(leaf)].count;
  EXPECT_EQ(first, 22u);
  EXPECT_EQ(second, 10u);
}

TEST(CellPortalGraphBuilder, AWholeWallCoversThePortalAndLeavesTwoCellsApart) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddRooms(b, false);
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.statistics->coveredPieces, 1u);
  EXPECT_TRUE(r.pieces->empty());
  EXPECT_TRUE(r.groups->empty());
  EXPECT_EQ(r.cells->size(), 2u);
}

// Without the far walls nothing clips the portal at z = 4: its square reaches out to the
// bounding radius, where no edge of either room bounds it, so it opens and the rooms flood
// into one cell.
TEST(CellPortalGraphBuilder, APortalWithAnEdgeInTheOpenJoinsItsLeavesIntoOneCell) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddRooms(b, true, false);
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.statistics->leaves, 2u);
  ASSERT_EQ(r.pieces->size(), 1u);
  EXPECT_EQ((*r.pieces)[0]->group, nullptr);
  ASSERT_EQ(r.cells->size(), 1u);
  EXPECT_EQ((*r.cells)[0]->leaves.size(), 2u);
  EXPECT_TRUE((*r.cells)[0]->groups.empty());
  h.Host().Realize(0);
  EXPECT_TRUE(DrawsOfType(h.renderer, D3DPT_LINESTRIP).empty());
}

// A quad of the wall x = 4, given by its z and y ranges, facing +x or -x.
void AddMiddleWallQuad(CCellPortalGraphBuilder* b, float z0, float z1, float y0, float y1, bool facingPlusX) {
  if (facingPlusX) AddQuad(b, V3(4, y0, z0), V3(4, y1, z0), V3(4, y1, z1), V3(4, y0, z1));
  else AddQuad(b, V3(4, y0, z0), V3(4, y0, z1), V3(4, y1, z1), V3(4, y1, z0));
}

// Room B (x 4..8) looks through two doorways (z 0.5..1.5 and 2.5..3.5) into rooms A1 (z 0..2)
// and A2 (z 2..4), which a wall at z = 2 parts. A hand trace: the planes x = 8, ceiling, z = 4,
// z = 0, floor and the middle wall are taken in turn (z = 2 would cut room B's floor); room B
// is the middle wall's front leaf; behind it z = 2 parts A1 from A2. The middle wall's portal
// reaches B whole, and z = 2 cuts it into a piece for A1 and one for A2, which share the cut
// edge: one portal of two pieces bordering three cells.
TEST(CellPortalGraphBuilder, PiecesSharingAnEdgeStayOnePortal) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  for (bool plusX : {true, false}) {
    AddMiddleWallQuad(b, 0, 0.5f, 0, 3, plusX);
    AddMiddleWallQuad(b, 1.5f, 2.5f, 0, 3, plusX);
    AddMiddleWallQuad(b, 3.5f, 4, 0, 3, plusX);
    AddMiddleWallQuad(b, 0.5f, 1.5f, 2, 3, plusX);
    AddMiddleWallQuad(b, 2.5f, 3.5f, 2, 3, plusX);
  }
  // Room B.
  AddQuad(b, V3(4, 0, 0), V3(4, 0, 4), V3(8, 0, 4), V3(8, 0, 0));
  AddQuad(b, V3(4, 3, 0), V3(8, 3, 0), V3(8, 3, 4), V3(4, 3, 4));
  AddQuad(b, V3(4, 0, 0), V3(8, 0, 0), V3(8, 3, 0), V3(4, 3, 0));
  AddQuad(b, V3(4, 0, 4), V3(4, 3, 4), V3(8, 3, 4), V3(8, 0, 4));
  AddQuad(b, V3(8, 0, 0), V3(8, 0, 4), V3(8, 3, 4), V3(8, 3, 0));
  // Rooms A1 and A2, their parting wall facing A1 first.
  AddQuad(b, V3(0, 0, 2), V3(0, 3, 2), V3(4, 3, 2), V3(4, 0, 2));
  AddQuad(b, V3(0, 0, 2), V3(4, 0, 2), V3(4, 3, 2), V3(0, 3, 2));
  AddQuad(b, V3(0, 0, 0), V3(4, 0, 0), V3(4, 3, 0), V3(0, 3, 0));
  AddQuad(b, V3(0, 0, 4), V3(0, 3, 4), V3(4, 3, 4), V3(4, 0, 4));
  for (float z0 : {0.0f, 2.0f}) {
    const float z1 = z0 + 2;
    AddQuad(b, V3(0, 0, z0), V3(0, 0, z1), V3(4, 0, z1), V3(4, 0, z0));
    AddQuad(b, V3(0, 3, z0), V3(4, 3, z0), V3(4, 3, z1), V3(0, 3, z1));
    AddQuad(b, V3(0, 0, z0), V3(0, 3, z0), V3(0, 3, z1), V3(0, 0, z1));
  }
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.statistics->leaves, 3u);
  ASSERT_EQ(r.cells->size(), 3u);
  ASSERT_EQ(r.groups->size(), 1u);
  const PortalGroup* portal = (*r.groups)[0];
  ASSERT_EQ(portal->pieces.size(), 2u);
  EXPECT_EQ(portal->cells, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_TRUE(Near(portal->pieces[0]->centre, V3(4, 1.5f, 1), 1e-3f));
  EXPECT_TRUE(Near(portal->pieces[1]->centre, V3(4, 1.5f, 3), 1e-3f));
  for (const CellRecord* cell : *r.cells) EXPECT_EQ(cell->groups.size(), 1u);
}

TEST(CellPortalGraphBuilder, TheSampleBoxIsOneCellWithoutPortals) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  ASSERT_TRUE(BuildSample(b, "RESOURCE/Models/BOX.obj"));
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.planes->size(), 6u);
  EXPECT_EQ(r.statistics->innerNodes, 6u);
  EXPECT_EQ(r.statistics->leaves, 1u);
  EXPECT_TRUE(r.pieces->empty());
  ASSERT_EQ(r.cells->size(), 1u);
  EXPECT_EQ((*r.nodes)[static_cast<size_t>((*r.cells)[0]->leaves[0])].count, 12u);
}

// C lies 0.0005 above E, so both count as coplanar, yet PlaneLess keeps them apart and takes
// C first. E holds an upward and a downward triangle.
TEST(CellPortalGraphBuilder, OppositeCoplanarTrianglesShareAnEntryAndSplitToFrontAndBack) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddFreeTriangle(b, V3(0, 0.0005f, 0), V3(0, 0.0005f, 1), V3(1, 0.0005f, 0));  // C, up
  AddFreeTriangle(b, V3(0, 0, 0), V3(0, 0, 1), V3(1, 0, 0));                    // E, up
  AddFreeTriangle(b, V3(0, 0, 0), V3(1, 0, 0), V3(0, 0, 1));                    // E, down
  struct PlanesAtStageOne final : ICellPortalProgressListener {
    void OnProgress(const CellPortalProgress* r) override {
      if (r->stage != 1) return;
      for (const PlaneEntry* e : r->planes->entries) counts.push_back(e->count);
    }
    std::vector<uint32_t> counts;
  } planes;
  b->SetProgressListener(&planes);
  b->Build(false, false);
  EXPECT_EQ(planes.counts, (std::vector<uint32_t>{1, 2}));
  const CellPortalProgress& r = b->Progress();
  ASSERT_FALSE(r.nodes->empty());
  const CellPortalNode& root = (*r.nodes)[0];
  EXPECT_NEAR(root.plane.d, -0.0005f, 1e-6f);
  EXPECT_EQ(BranchOf(r, LeafOf(r, 1), 0), root.front);
  EXPECT_EQ(BranchOf(r, LeafOf(r, 2), 0), root.back);
  EXPECT_NE(root.back, -1);
}

TEST(CellPortalGraphBuilder, NearlyEqualPlanesShareOneEntry) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  struct Count final : ICellPortalProgressListener {
    void OnProgress(const CellPortalProgress* r) override {
      if (r->stage == 1) planes = r->planes->size();
    }
    size_t planes = 0;
  } count;
  b->SetProgressListener(&count);
  AddFreeTriangle(b, V3(0, 1, 0), V3(0, 1, 1), V3(1, 1, 0));
  AddFreeTriangle(b, V3(5, 1.00005f, 0), V3(5, 1.00005f, 1), V3(6, 1.00005f, 0));  // d within 1e-4
  b->Build(false, false);
  EXPECT_EQ(count.planes, 1u);
  AddFreeTriangle(b, V3(9, 1.0003f, 0), V3(9, 1.0003f, 1), V3(10, 1.0003f, 0));  // d 3e-4 away
  b->Build(false, false);
  EXPECT_EQ(count.planes, 2u);
}

// A small triangle about c facing along the unit normal n.
void AddFacing(CCellPortalGraphBuilder* b, const V3& c, V3 n) {
  D3DXVec3Normalize(&n, &n);
  V3 u, v;
  const V3 across = std::fabs(n.x) < 0.9f ? V3(1, 0, 0) : V3(0, 1, 0);
  D3DXVec3Cross(&u, &n, &across);
  D3DXVec3Normalize(&u, &u);
  D3DXVec3Cross(&v, &n, &u);
  AddFreeTriangle(b, c, c + u, c + v);
}

TEST(CellPortalGraphBuilder, PlanesOutOfOrderKeepTheOrderOfInsertionInABackMap) {
  // Normals whose a differ within the tolerance let b decide, further apart a decides: B before
  // C, C before A, A before B. Taken A, B, C the map is C, A, B with B behind C out of order;
  // S (facing -x) comes first, splits none and puts C and B behind it. Taken again one by one,
  // B goes before C, so B, splitting nothing, divides the back side.
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  const V3 a(0, 0.8f, 0.6f), bNormal(1.5e-4f, 0, 1), c(0.8e-4f, 0.5f, 0.866f);
  AddFacing(b, V3(-5, 0, 0), a);
  AddFacing(b, V3(5, 0, 0), bNormal);
  AddFacing(b, V3(5, 10, 10), c);
  AddFacing(b, V3(0, 20, 20), V3(-1, 0, 0));
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  const CellPortalNode& root = (*r.nodes)[0];
  EXPECT_FLOAT_EQ(root.plane.a, -1.0f);
  ASSERT_GE(root.back, 0);
  const CellPortalNode& back = (*r.nodes)[static_cast<size_t>(root.back)];
  ASSERT_EQ(back.kind, kCellPortalInner);
  EXPECT_NEAR(back.plane.c, 1.0f, 1e-6f);
}

// S (facing -x) orders first; T touches its plane with one vertex 0.0005 behind it. Within the
// tolerance that vertex is on the plane, so S splits first and T stays whole in front.
TEST(CellPortalGraphBuilder, ATriangleTouchingThePlaneWithOneVertexIsNotCut) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddFreeTriangle(b, V3(0, 0, 0), V3(0, 0, 1), V3(0, 1, 0));                    // S
  AddFreeTriangle(b, V3(0.0005f, 5, 5), V3(-1, 5, 6), V3(-1, 6, 5));            // T
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.vertices->size(), 6u);
  EXPECT_EQ(r.triangles->size(), 2u);
  ASSERT_FALSE(r.nodes->empty());
  EXPECT_FLOAT_EQ((*r.nodes)[0].plane.a, -1.0f);
  EXPECT_EQ(BranchOf(r, LeafOf(r, 1), 0), (*r.nodes)[0].front);
}

// Two quads that cross at right angles, each cut by the other's plane in its own split step.
// Each quad's diagonal crosses too, so a step makes three vertices, not four: 8 + 3 + 3.
TEST(CellPortalGraphBuilder, ACutEdgeMakesOneVertexForBothItsTriangles) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddQuad(b, V3(0, -1, -1), V3(0, 1, -1), V3(0, 1, 1), V3(0, -1, 1));
  AddQuad(b, V3(-1, 0, -1), V3(1, 0, -1), V3(1, 0, 1), V3(-1, 0, 1));
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  EXPECT_EQ(r.vertices->size(), 14u);
  EXPECT_EQ(r.triangles->size(), 12u);
  // Every triangle of the leaves lies on one side of every plane above it.
  for (size_t i = 0; i < r.nodes->size(); ++i) {
    const CellPortalNode& leaf = (*r.nodes)[i];
    if (leaf.kind != kCellPortalLeaf) continue;
    for (int32_t child = static_cast<int32_t>(i), up = leaf.parent; up >= 0;
         child = up, up = (*r.nodes)[static_cast<size_t>(up)].parent) {
      const CellPortalNode& n = (*r.nodes)[static_cast<size_t>(up)];
      const float sign = n.front == child ? 1.0f : -1.0f;
      for (uint32_t k = leaf.first; k < leaf.first + leaf.count; ++k)
        for (uint32_t v : (*r.triangles)[(*r.triangleIndices)[k]].index) {
          const V3& p = (*r.vertices)[v].position;
          EXPECT_GE(sign * (n.plane.a * p.x + n.plane.b * p.y + n.plane.c * p.z + n.plane.d), -0.001f);
        }
    }
  }
  // The vertex made on the shared diagonal lies where it crosses the other plane.
  bool origin = false;
  for (size_t v = 8; v < r.vertices->size(); ++v) origin |= Near((*r.vertices)[v].position, V3(0, 0, 0));
  EXPECT_TRUE(origin);
}

TEST(CellPortalGraphBuilder, BuildLeavesOutTrianglesWithoutAreaOrWithMissingVertices) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddFreeTriangle(b, V3(0, 0, 0), V3(1, 0, 0), V3(2, 0, 0));  // a line
  AddTri(b, 0, 1, 7);                                          // vertex 7 does not exist
  AddFreeTriangle(b, V3(0, 0, 0), V3(0, 0, 1), V3(1, 0, 0));
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  ASSERT_EQ(r.planes->size(), 1u);
  EXPECT_EQ(r.planes->entries[0]->triangles, (std::vector<uint32_t>{2}));
  for (float f : {r.planes->entries[0]->plane.a, r.planes->entries[0]->plane.b, r.planes->entries[0]->plane.d})
    EXPECT_FALSE(std::isnan(f));
  EXPECT_EQ(r.triangleIndices->size(), 1u);
}

TEST(CellPortalGraphBuilder, PointInTriangleCountsEdgesAndCornersAsInside) {
  const V3 a(0, 0, 0), b(2, 0, 0), c(0, 0, 2), up(0, -1, 0);
  EXPECT_TRUE(PointInTriangle(V3(0.5f, 0, 0.5f), a, b, c, up));
  EXPECT_TRUE(PointInTriangle(V3(1, 0, 0), a, b, c, up));     // on an edge
  EXPECT_TRUE(PointInTriangle(V3(1, 0, 1), a, b, c, up));     // on the long edge
  EXPECT_TRUE(PointInTriangle(V3(2, 0, 0), a, b, c, up));     // a corner
  EXPECT_FALSE(PointInTriangle(V3(1.5f, 0, 1.5f), a, b, c, up));
  EXPECT_FALSE(PointInTriangle(V3(-0.5f, 0, 0.5f), a, b, c, up));
  EXPECT_TRUE(PointInTriangle(V3(0.5f, 0, 0.5f), a, b, c, V3(0, 1, 0)));  // either facing
}

TEST(CellPortalGraphBuilder, PlaneLessOrdersByComponentsAndEqualsOppositeFacings) {
  const D3DXPLANE up(0, 1, 0, -2), down(0, -1, 0, 2), x(1, 0, 0, 0);
  EXPECT_FALSE(PlaneLess(up, down));
  EXPECT_FALSE(PlaneLess(down, up));
  EXPECT_TRUE(PlaneLess(up, x));
  EXPECT_FALSE(PlaneLess(x, up));
  EXPECT_TRUE(PlaneLess(D3DXPLANE(0, 1, 0, -3), up));
  EXPECT_FALSE(PlaneLess(D3DXPLANE(0, 1, 0, -2.00005f), up));
}

TEST(CellPortalGraphBuilder, ASecondBuildOnTheSameInputGivesTheSameGraph) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddRooms(b, true);
  b->Build(false, false);
  const CellPortalProgress& r = b->Progress();
  const size_t nodes = r.nodes->size(), cells = r.cells->size(), pieces = r.pieces->size();
  b->Build(false, false);
  EXPECT_EQ(r.nodes->size(), nodes);
  EXPECT_EQ(r.cells->size(), cells);
  EXPECT_EQ(r.pieces->size(), pieces);
  // Every leaf lists only pieces of the new build.
  for (const CellPortalLeaf& leaf : b->Leaves())
    for (const PortalPiece* p : leaf.pieces) EXPECT_NE(std::find(r.pieces->begin(), r.pieces->end(), p), r.pieces->end());
  h.Host().Realize(0);
  EXPECT_EQ(DrawsOfType(h.renderer, D3DPT_LINESTRIP).size(), 1u);
}

// FNV-1a over every table the build leaves, in order: what a listener or a tool can read of it.
// Pointers are written as the places of what they point at.
uint64_t BuildDigest(const CCellPortalGraphBuilder& b) {
  uint64_t h = 1469598103934665603ull;
  const auto bytes = [&](const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      h ^= static_cast<const uint8_t*>(p)[i];
      h *= 1099511628211ull;
    }
  };
  const auto word = [&](uint64_t v) { bytes(&v, sizeof v); };
  const auto floats = [&](const float* f, size_t n) { bytes(f, n * sizeof(float)); };
  const CellPortalProgress& r = b.Progress();
  const auto indexOf = [](const auto& list, const auto* item) -> uint64_t {
    const auto at = std::find(list.begin(), list.end(), item);
    return at == list.end() ? ~0ull : static_cast<uint64_t>(at - list.begin());
  };
  for (const CellPortalVertex& v : *r.vertices) floats(&v.position.x, 10);
  for (const CellPortalTriangle& t : *r.triangles) bytes(&t, sizeof t);
  for (const CellPortalNode& n : *r.nodes) {
    word(n.kind);
    floats(&n.plane.a, 4);
    word(static_cast<uint64_t>(static_cast<int64_t>(n.parent)) ^ (static_cast<uint64_t>(n.back) << 20) ^
         (static_cast<uint64_t>(n.front) << 40));
    word(n.first);
    word(n.count);
  }
  for (uint32_t i : *r.triangleIndices) word(i);
  for (const PlaneEntry* e : r.planes->entries) {
    floats(&e->plane.a, 4);
    for (uint32_t t : e->triangles) word(t);
    word(e->count);
    floats(&e->area, 1);
    word(e->used);
  }
  for (const PortalPiece* p : *r.pieces) {
    for (const D3DXVECTOR3& q : p->points) floats(&q.x, 3);
    floats(&p->centre.x, 3);
    word(static_cast<uint64_t>(p->node));
    for (int32_t leaf : p->leaves) word(static_cast<uint64_t>(leaf));
    word(indexOf(*r.groups, p->group));
    word(indexOf(*r.pieces, p->link));
  }
  for (const PortalGroup* g : *r.groups) {
    word(g->settled);
    for (const PortalPiece* p : g->pieces) word(indexOf(*r.pieces, p));
    for (uint32_t c : g->cells) word(c);
  }
  for (const CellRecord* c : *r.cells) {
    for (int32_t leaf : c->leaves) word(static_cast<uint64_t>(leaf));
    for (const PortalGroup* g : c->groups) word(indexOf(*r.groups, g));
  }
  for (const CellPortalLeaf& leaf : b.Leaves()) {
    for (const PortalPiece* p : leaf.pieces) word(indexOf(*r.pieces, p));
    word(leaf.visited);
    word(leaf.cell);
  }
  bytes(r.statistics, sizeof *r.statistics);
  return h;
}

TEST(CellPortalGraphBuilder, BuildsWhatThePlainBuilderBuiltForTheseMeshes) {
  // Digests of what the builder made when it scored every candidate against every triangle and
  // scanned the whole map for every plane it looked up, over meshes whose points every build
  // computes alike: rooms, a saddle sheet cut again and again, triangles at random angles, axis
  // quads that share and cross planes, and the two sample meshes; each built twice, the second
  // time over the first build's cuts as well. The rolling sheet, whose tree is deep, was added
  // later, its digests taken from the box-tree builder that gives the plain builder's tables.
  struct Case {
    portal_meshes::Mesh mesh;
    uint64_t first, second;
  };
  std::vector<Case> cases = {{portal_meshes::Building(3, 3), 0xc7d7ab03c16cd714ull, 0x22d5fed646393b70ull},
                             {portal_meshes::Saddle(20, 16), 0xb11a00a7e78aa403ull, 0x16e8ac707158eee9ull},
                             {portal_meshes::Soup(300, 1), 0xa7ad9546e272226eull, 0xa7116bb9971e22d0ull},
                             {portal_meshes::AxisSoup(400, 3), 0x3acd552b3c6067c6ull, 0xb0b65e503978bc73ull},
                             {portal_meshes::Rolling(25, 20), 0xa51aba57228db649ull, 0xa1fdcc38e9a4dae0ull}};
  PortalBuilderHost h;
  for (const Case& c : cases) {
    CCellPortalGraphBuilder* b = h.Create();
    for (const D3DXVECTOR3& p : c.mesh.points) AddPoint(b, p);
    for (const auto& t : c.mesh.triangles) AddTri(b, t[0], t[1], t[2]);
    b->Build(false, false);
    EXPECT_EQ(BuildDigest(*b), c.first) << c.mesh.name;
    b->Build(false, false);
    EXPECT_EQ(BuildDigest(*b), c.second) << c.mesh.name;
  }
  const std::pair<const char*, uint64_t> samples[] = {{"resource\\models\\rooms.obj", 0xe612f0fe86cd717bull},
                                                      {"resource\\models\\box.obj", 0x0852d5521ea235e8ull}};
  for (const auto& [path, digest] : samples) {
    CCellPortalGraphBuilder* b = h.Create();
    ASSERT_TRUE(BuildSample(b, path));
    EXPECT_EQ(BuildDigest(*b), digest) << path;
  }
}

TEST(CellPortalGraphBuilder, MemoryRunningOutAnywhereInABuildFailsItAndLeavesTheInputAsGiven) {
  const portal_meshes::Mesh mesh = portal_meshes::Building(2, 2);
  PortalBuilderHost h;
  const auto feed = [&](CCellPortalGraphBuilder* b) {
    for (const D3DXVECTOR3& p : mesh.points) AddPoint(b, p);
    for (const auto& t : mesh.triangles) AddTri(b, t[0], t[1], t[2]);
  };
  // What a build with memory enough makes, and how many allocations it takes.
  CCellPortalGraphBuilder* whole = h.Create();
  feed(whole);
  const uint64_t before = t_allocations;
  whole->Build(false, false);
  const uint64_t calls = t_allocations - before;
  ASSERT_EQ(whole->Failure(), nullptr);
  ASSERT_GT(whole->Progress().triangles->size(), mesh.triangles.size());  // it cuts
  ASSERT_FALSE(whole->Progress().pieces->empty());                       // and joins cells
  const uint64_t digest = BuildDigest(*whole);
  for (uint64_t skip = 0; skip < calls; skip += skip < 200 ? 7 : 61) {
    ComponentHandle handle{};
    CCellPortalGraphBuilder* b = h.Create(&handle);
    feed(b);
    const std::vector<CellPortalVertex> vertices = *b->Progress().vertices;
    const std::vector<CellPortalTriangle> triangles = *b->Progress().triangles;
    {
      const MemoryRunsOut failing(skip);
      b->Build(false, false);
    }
    const CellPortalProgress& r = b->Progress();
    ASSERT_NE(b->Failure(), nullptr) << skip;
    EXPECT_STREQ(b->Failure(), "the build ran out of memory");
    EXPECT_TRUE(r.nodes->empty() && r.triangleIndices->empty() && r.planes->empty() && r.pieces->empty() &&
                r.groups->empty() && r.cells->empty() && b->Leaves().empty())
        << skip;
    ASSERT_EQ(r.vertices->size(), vertices.size()) << skip;
    ASSERT_EQ(r.triangles->size(), triangles.size()) << skip;
    EXPECT_EQ(std::memcmp(r.vertices->data(), vertices.data(), vertices.size() * sizeof(CellPortalVertex)), 0) << skip;
    EXPECT_EQ(std::memcmp(r.triangles->data(), triangles.data(), triangles.size() * sizeof(CellPortalTriangle)), 0)
        << skip;
    // With memory again, the same builder makes what the whole build made.
    b->Build(false, false);
    EXPECT_EQ(b->Failure(), nullptr) << skip;
    EXPECT_EQ(BuildDigest(*b), digest) << skip;
    h.Host().DestroyObject(handle);
  }
}

// ---- Drawing ----

TEST(CellPortalGraphBuilder, DrawsEachPortalOutlineAndTheSelectedCellInWhiteWireframe) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddRooms(b, true);
  b->Build(false, false);
  h.Host().Realize(0);
  const auto strips = DrawsOfType(h.renderer, D3DPT_LINESTRIP);
  const auto lists = DrawsOfType(h.renderer, D3DPT_TRIANGLELIST);
  ASSERT_EQ(strips.size(), 1u);
  ASSERT_EQ(lists.size(), 1u);
  const host::DrawRecord& strip = *strips[0];
  EXPECT_EQ(strip.slot, 56);
  EXPECT_EQ(strip.fvf, static_cast<DWORD>(D3DFVF_XYZ));
  EXPECT_EQ(strip.stride, 12u);
  EXPECT_EQ(strip.primitiveCount, 4u);  // four corners and the first again
  EXPECT_EQ(strip.effect, -1);
  EXPECT_FLOAT_EQ(strip.VertexFloat(0, 0), strip.VertexFloat(4, 0));
  EXPECT_FLOAT_EQ(strip.VertexFloat(0, 4), strip.VertexFloat(4, 4));
  EXPECT_FLOAT_EQ(strip.VertexFloat(0, 8), strip.VertexFloat(4, 8));
  EXPECT_EQ(lists[0]->primitiveCount, 22u);
  for (const host::DrawRecord* d : {strips[0], lists[0]}) {
    const host::RenderSnapshot& s = *d->state;
    EXPECT_EQ(s.RenderState(D3DRS_FILLMODE), static_cast<DWORD>(D3DFILL_WIREFRAME));
    EXPECT_EQ(s.RenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(s.RenderState(D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(s.RenderState(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(s.RenderState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(s.RenderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
    EXPECT_EQ(s.StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(s.StageState(0, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_TFACTOR));
    EXPECT_EQ(s.StageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) EXPECT_EQ(s.world.m[i][j], i == j ? 1.0f : 0.0f);
  }
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_FILLMODE), static_cast<DWORD>(D3DFILL_SOLID));
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_ALPHATESTENABLE), 1u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_LIGHTING), 0u);
}

TEST(CellPortalGraphBuilder, KeyNStepsTheCellAndASelectionPastTheLastDrawsNone) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* rooms = h.Create();
  AddRooms(rooms, true);
  rooms->Build(false, false);
  h.Host().SystemMessage(256, 'n', 0);
  EXPECT_EQ(g_nSelectedCell, 1u);
  h.Host().SystemMessage(257, 'N', 0);  // a key going up is not a press
  h.Host().SystemMessage(256, 'M', 0);
  EXPECT_EQ(g_nSelectedCell, 1u);
  h.Host().Realize(0);
  auto lists = DrawsOfType(h.renderer, D3DPT_TRIANGLELIST);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0]->primitiveCount, 10u);
  h.Host().SystemMessage(256, 'N', 0);
  EXPECT_EQ(g_nSelectedCell, 0u);

  // A one-cell builder shown while the shared selection is 1 draws its outlines only.
  g_nSelectedCell = 1;
  CCellPortalGraphBuilder* box = h.Create();
  AddQuad(box, V3(-1, -1, -1), V3(-1, -1, 1), V3(1, -1, 1), V3(1, -1, -1));
  box->Build(false, false);
  h.renderer.ClearRecords();
  box->Realize(0);
  EXPECT_TRUE(DrawsOfType(h.renderer, D3DPT_TRIANGLELIST).empty());
  // A one-triangle cell is drawn.
  g_nSelectedCell = 0;
  CCellPortalGraphBuilder* single = h.Create();
  AddFreeTriangle(single, V3(0, 0, 0), V3(0, 0, 1), V3(1, 0, 0));
  single->Build(false, false);
  h.renderer.ClearRecords();
  single->Realize(0);
  lists = DrawsOfType(h.renderer, D3DPT_TRIANGLELIST);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0]->primitiveCount, 1u);
}

// One plane of 1,000 triangles: a single cell far beyond what a fixed buffer of 2,048 points
// would hold.
TEST(CellPortalGraphBuilder, ACellOfAThousandTrianglesIsDrawnWhole) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  for (int i = 0; i < 1000; ++i) {
    const float x = static_cast<float>(i % 40), z = static_cast<float>(i / 40);
    AddFreeTriangle(b, V3(x, 0, z), V3(x, 0, z + 1), V3(x + 1, 0, z));
  }
  b->Build(false, false);
  ASSERT_EQ(b->Progress().cells->size(), 1u);
  b->Realize(0);
  const auto lists = DrawsOfType(h.renderer, D3DPT_TRIANGLELIST);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0]->primitiveCount, 1000u);
  ASSERT_EQ(lists[0]->vertexCount, 3000u);
  EXPECT_FLOAT_EQ(lists[0]->VertexFloat(2999, 0), 40.0f);  // the last triangle's third corner
  EXPECT_FLOAT_EQ(lists[0]->VertexFloat(2999, 8), 24.0f);
}

// ---- Model intake ----

host::MeshData TwoTriangleMesh(float x) {
  host::MeshData m;
  for (const V3& p : {V3(x, 0, 0), V3(x, 0, 1), V3(x + 1, 0, 0), V3(x + 1, 0, 1)}) {
    host::MeshVertex v{};
    v.position[0] = p.x;
    v.position[1] = p.y;
    v.position[2] = p.z;
    v.normal[1] = 1;
    m.vertices.push_back(v);
  }
  m.indices = {0, 1, 2, 2, 1, 3};
  return m;
}

host::MeshObject* MakeMesh(PortalBuilderHost& h, const host::MeshData& data, ComponentHandle* handle) {
  h.Host().CreateObject(handle, "mesh");
  host::MeshObject* mesh = host::MeshObject::Of(h.Host(), *handle);
  std::string error;
  EXPECT_TRUE(mesh != nullptr && mesh->SetMesh(data, &error)) << error;
  return mesh;
}

TEST(CellPortalGraphBuilder, AddModelAppendsTheMeshAfterWhatTheTablesHold) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  AddPoint(b, V3(9, 9, 9));
  ComponentHandle first{}, second{};
  MakeMesh(h, TwoTriangleMesh(0), &first);
  MakeMesh(h, TwoTriangleMesh(5), &second);
  b->AddModel(first);
  b->AddModel(second);
  const CellPortalProgress& r = b->Progress();
  ASSERT_EQ(r.vertices->size(), 9u);
  ASSERT_EQ(r.triangles->size(), 4u);
  const uint32_t expected[4][3] = {{1, 2, 3}, {3, 2, 4}, {5, 6, 7}, {7, 6, 8}};
  for (int t = 0; t < 4; ++t)
    for (int k = 0; k < 3; ++k) EXPECT_EQ((*r.triangles)[static_cast<size_t>(t)].index[k], expected[t][k]);
  EXPECT_EQ((*r.triangles)[0].flags, 0u);
  EXPECT_TRUE(Near((*r.vertices)[8].position, V3(6, 0, 1)));
  EXPECT_TRUE(Near((*r.vertices)[5].normal, V3(0, 0, 0)));  // only positions are taken
  EXPECT_FLOAT_EQ(b->BoundingRadius(), std::sqrt(243.0f));
}

TEST(CellPortalGraphBuilder, AddModelTakesNothingWhenTheBufferDoesNotLockOrTheModelIsMissing) {
  PortalBuilderHost h;
  CCellPortalGraphBuilder* b = h.Create();
  ComponentHandle handle{};
  host::MeshObject* mesh = MakeMesh(h, TwoTriangleMesh(0), &handle);
  h.renderer.FailCall(host::RendererCall::LockVertexBuffer);
  b->AddModel(handle);
  EXPECT_TRUE(b->Progress().triangles->empty());
  EXPECT_TRUE(b->Progress().vertices->empty());
  mesh->SetNoMesh(true);
  b->AddModel(handle);
  mesh->SetNoMesh(false);
  mesh->SetNoModel(true);
  b->AddModel(handle);
  b->AddModel(ComponentHandle{});
  EXPECT_TRUE(b->Progress().vertices->empty());
  mesh->SetNoModel(false);
  b->AddModel(handle);
  EXPECT_EQ(b->Progress().triangles->size(), 2u);
}

// A mesh that names a vertex beyond its count.
struct BadIndexMesh final : host::HostObject, ISceneModelOwner, ISceneModel, ISceneMesh {
  explicit BadIndexMesh(IRenderer& r) : renderer(r) {
    buffer = renderer.CreateVertexBuffer(D3DFVF_XYZ, 3 * 12, 0, D3DPOOL_MANAGED);
    auto* p = static_cast<float*>(renderer.LockVertexBuffer(buffer, 0, 0, 0));
    const float v[9] = {0, 0, 0, 0, 0, 1, 1, 0, 0};
    std::copy(v, v + 9, p);
    renderer.UnlockVertexBuffer(buffer);
  }
  ~BadIndexMesh() override { renderer.ReleaseVertexBuffer(buffer); }
  void* InterfacePointer() override { return static_cast<ISceneModelOwner*>(this); }
  ISceneModel* GetModel() override { return this; }
  ISceneMesh* GetMesh() override { return this; }
  const SceneMeshDescription* GetDescription() override { return &description; }
  int GetVertexBuffer() override { return buffer; }
  uint32_t GetVertexStride() override { return 12; }
  const uint16_t* GetIndices() override { return indices; }
  uint32_t GetVertexCount() override { return 3; }

  IRenderer& renderer;
  int buffer = -1;
  SceneMeshDescription description{D3DFVF_XYZ, 3, 2};
  uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
};

TEST(CellPortalGraphBuilder, AddModelSkipsATriangleNamingAVertexBeyondTheMesh) {
  PortalBuilderHost h;
  h.Host().RegisterHostClass("bad mesh", [&h] { return std::make_unique<BadIndexMesh>(h.renderer); });
  CCellPortalGraphBuilder* b = h.Create();
  ComponentHandle handle{};
  h.Host().CreateObject(&handle, "bad mesh");
  b->AddModel(handle);
  EXPECT_EQ(b->Progress().vertices->size(), 3u);
  ASSERT_EQ(b->Progress().triangles->size(), 1u);
}

}  // namespace
