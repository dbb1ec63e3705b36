// The terrain component: set-up, the patch index file, culling, level choice, drawing, queries.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "host/renderer.h"
#include "sample_generator.h"
#include "terrain_fixture.h"

namespace {

using terrain_testing::Corner;
using terrain_testing::Field;
using terrain_testing::TempTree;
using terrain_testing::TerrainHost;

std::vector<uint8_t> PatchFile(uint32_t n, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                                static_cast<uint8_t>(n >> 24)};
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

std::vector<uint8_t> Counting(size_t n, uint8_t start) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i * 7);
  return v;
}

size_t LogLinesWith(host::ReferenceHost& h, const std::string& text) {
  size_t n = 0;
  for (const auto& line : h.LogLines()) n += line.find(text) != std::string::npos ? 1 : 0;
  return n;
}

std::vector<uint8_t> StaticBuffer(TerrainHost& t) {
  const int ib = t.terrain->StaticIndexBuffer();
  if (ib < 0) return {};
  auto* p = static_cast<uint8_t*>(t.Renderer().LockIndexBuffer(ib, 0, 0, 0));
  std::vector<uint8_t> out;
  // The buffer's size is not asked of the renderer: the tests know what they wrote.
  out.assign(p, p + 16);
  t.Renderer().UnlockIndexBuffer(ib);
  return out;
}

}  // namespace

TEST(TerrainPatchFile, AGoodFileFillsTheBufferAndBothTables) {
  const auto index = Counting(16, 1), first = Counting(1152, 3), second = Counting(1728, 5);
  std::vector<uint8_t> body = index;
  body.insert(body.end(), first.begin(), first.end());
  body.insert(body.end(), second.begin(), second.end());
  TerrainHost t([&](const TempTree& tree) { tree.Put("TerrainPatchIndexInfo.dat", PatchFile(16, body)); });
  ASSERT_TRUE(t.terrain->HasBlocks());
  EXPECT_EQ(StaticBuffer(t), index);
  EXPECT_EQ(0, std::memcmp(t.terrain->FirstTable(), first.data(), first.size()));
  EXPECT_EQ(0, std::memcmp(t.terrain->SecondTable(), second.data(), second.size()));
  EXPECT_EQ(LogLinesWith(t.Host(), "LoadPatchIndexInfo"), 0u);
}

TEST(TerrainPatchFile, BadFilesNeverReadPastTheirEnd) {
  const uint8_t zero[1728] = {};
  {  // missing: silent, nothing made, the lists built all the same
    TerrainHost t;
    ASSERT_TRUE(t.terrain->HasBlocks());
    EXPECT_EQ(t.terrain->StaticIndexBuffer(), -1);
    EXPECT_EQ(LogLinesWith(t.Host(), "LoadPatchIndexInfo"), 0u);
    EXPECT_EQ(t.terrain->InteriorList(0).triangles, 1800u);
  }
  {  // shorter than the count
    TerrainHost t([](const TempTree& tree) { tree.Put("TerrainPatchIndexInfo.dat", {1, 2}); });
    EXPECT_EQ(t.terrain->StaticIndexBuffer(), -1);
    EXPECT_EQ(LogLinesWith(t.Host(), "LoadPatchIndexInfo"), 1u);
    EXPECT_EQ(t.terrain->EdgeList(0, 0, 1).triangles, 46u);
  }
  {  // a count past the file's end
    TerrainHost t([](const TempTree& tree) {
      tree.Put("TerrainPatchIndexInfo.dat", PatchFile(0xFFFFFFF0u, Counting(3000, 9)));
    });
    EXPECT_EQ(t.terrain->StaticIndexBuffer(), -1);
    EXPECT_EQ(LogLinesWith(t.Host(), "LoadPatchIndexInfo"), 1u);
    EXPECT_EQ(0, std::memcmp(t.terrain->FirstTable(), zero, 1152));
    EXPECT_EQ(0, std::memcmp(t.terrain->SecondTable(), zero, 1728));
  }
  {  // n = 0: no buffer; tables cut short: the rest stays zero
    const auto body = Counting(1200, 4);
    TerrainHost t([&](const TempTree& tree) { tree.Put("TerrainPatchIndexInfo.dat", PatchFile(0, body)); });
    EXPECT_EQ(t.terrain->StaticIndexBuffer(), -1);
    EXPECT_EQ(0, std::memcmp(t.terrain->FirstTable(), body.data(), 1152));
    EXPECT_EQ(0, std::memcmp(t.terrain->SecondTable(), body.data() + 1152, 48));
    EXPECT_EQ(0, std::memcmp(t.terrain->SecondTable() + 48, zero, 1728 - 48));
    EXPECT_EQ(LogLinesWith(t.Host(), "LoadPatchIndexInfo"), 0u);
  }
  {  // an odd count is no fault
    TerrainHost t([&](const TempTree& tree) { tree.Put("TerrainPatchIndexInfo.dat", PatchFile(3, {7, 8, 9, 10})); });
    EXPECT_GE(t.terrain->StaticIndexBuffer(), 0);
    EXPECT_EQ(t.terrain->FirstTable()[0], 10);
    EXPECT_EQ(t.terrain->FirstTable()[1], 0);
  }
}

TEST(TerrainManager, InitMakesTheBuffersBlocksAndSubscriptions) {
  TerrainHost t;
  ASSERT_TRUE(t.terrain->HasBlocks());
  EXPECT_EQ(t.Renderer().SwitchA(), 1);
  EXPECT_EQ(t.Renderer().SwitchB(), 1);
  EXPECT_GE(t.terrain->m_nDynamicIB, 0);
  EXPECT_GE(t.terrain->m_nDynamicVB, 0);
  for (int bx = 0; bx < 8; ++bx)
    for (int bz = 0; bz < 8; ++bz) {
      EXPECT_EQ(t.terrain->Block(bx, bz)->m_nOriginX, 256 * bx);
      EXPECT_EQ(t.terrain->Block(bx, bz)->m_nOriginZ, 256 * bz);
    }
  bool found = false;
  for (const auto& [h, order] : t.Host().Subscribers("LostDevice")) found |= h == t.handle;
  EXPECT_TRUE(found);
  EXPECT_TRUE(D3DXMatrixIsIdentity(&t.terrain->m_matWorld));
}

// Over 20 s under the thread checker: each failure point is a whole terrain set-up. The points
// are already spread (every 13th allocation, then every 97th) so that each stage of the set-up
// still fails at least once.
TEST(TerrainManager, AFailedAllocationLeavesNoBlockAndEveryOperationIdle) {
  // How many blocks a whole set-up takes, then a failure at points throughout it.
  uint64_t calls;
  {
    TerrainHost t({}, false);
    const uint64_t before = t.Host().Allocator().AllocCalls();
    t.Create();
    calls = t.Host().Allocator().AllocCalls() - before;
  }
  for (uint64_t skip = 1; skip < calls; skip += skip < 200 ? 13 : 97) {
    TerrainHost t({}, false);
    t.Host().Allocator().FailNext(1, static_cast<uint32_t>(skip));
    t.Create();
    ASSERT_NE(t.terrain, nullptr) << skip;
    EXPECT_FALSE(t.terrain->HasBlocks()) << skip;
    for (int i = 0; i < 64; ++i) EXPECT_EQ(t.terrain->Block(i / 8, i % 8), nullptr);
    const D3DXVECTOR3 a(10, 100, 10), b(10, -100, 10);
    D3DXVECTOR3 p(10, 0, 10), n;
    EXPECT_EQ(t.terrain->Pick(&a, &b, &n), 2.0f);
    EXPECT_EQ(t.terrain->RayDistance(&a, &b), 2.0f);
    EXPECT_FALSE(t.terrain->SampleHeight(&p, &n));
    Field f;
    const TerrainHeightMap map = f.Map();
    EXPECT_FALSE(t.terrain->UpdateAllBlocks(&map));
    EXPECT_EQ(t.terrain->AddLayer("grass.dds", nullptr, nullptr, false), -1);
    t.terrain->SetHeightScale(2.0f);
    // The brush and painting stay idle too.
    t.terrain->SetBrushSize(3, 3, 2, 2);
    EXPECT_EQ(t.terrain->BrushWidth(), 0);
    EXPECT_EQ(t.terrain->BrushVertices(), nullptr);
    const float weights[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    t.terrain->SelectUnderBrush(weights, 10, 10);
    EXPECT_FALSE(t.terrain->m_bSelectionActive);
    t.terrain->BeginPickMode();
    EXPECT_FALSE(t.terrain->Painting());
    t.terrain->ShowBrush();
    const uint8_t mask[4] = {1, 2, 3, 4};
    t.terrain->SetBrushMask(mask, 2, 2, "grass.dds", nullptr, nullptr, false);
    EXPECT_EQ(t.terrain->PaintLayer(), -1);
    t.Look({100, 50, 100}, {300, 0, 300});
    t.Frame();
    EXPECT_TRUE(t.Renderer().Draws().empty());
    EXPECT_EQ(t.Renderer().LiveBuffers(), 0u) << skip;
  }
}

TEST(TerrainManager, LevelsFollowTheSquaredDistanceToThePatchBox) {
  TerrainHost t;
  Field flat;
  const TerrainHeightMap map = flat.Map();
  ASSERT_TRUE(t.terrain->UpdateAllBlocks(&map));
  t.Look({100, 2000, 100}, {100, 0, 101});
  t.terrain->Execute(0);  // a frustum over the whole field
  Frustum all;
  all.ExtractFromMatrix(t.terrain->ViewProjection());
  CTerrainBlock* block = t.terrain->Block(0, 0);
  // Patch (3, 3) spans 96..128 in x and z, at height 0; the eye stands above its middle.
  auto levelAt = [&](float y) {
    const float eye[3] = {112.0f, y, 112.0f};
    block->SelectLod(0, eye, all, t.terrain->m_aDistance, t.terrain->m_aLevel, t.terrain->m_aWaterLevel,
                     t.terrain->m_aVisible, t.terrain->m_aWaterVisible);
    return t.terrain->m_aLevel[3 * 64 + 3];
  };
  EXPECT_EQ(levelAt(0.0f), 0);
  EXPECT_EQ(t.terrain->m_aDistance[3 * 64 + 3], 0.0f);
  EXPECT_EQ(levelAt(50.0f), 0);     // 2,500 exactly
  EXPECT_EQ(levelAt(50.001f), 1);
  EXPECT_EQ(levelAt(100.0f), 1);    // 10,000
  EXPECT_EQ(levelAt(150.0f), 2);    // 22,500
  EXPECT_EQ(levelAt(200.0f), 3);    // 40,000 exactly
  EXPECT_EQ(levelAt(200.001f), 4);
  EXPECT_EQ(levelAt(250.0f), 4);    // 62,500
  EXPECT_EQ(levelAt(250.01f), 5);
  EXPECT_EQ(block->m_nVisiblePatches, 64);
}

TEST(TerrainManager, DisabledPatchesAreNeverDrawn) {
  TerrainHost t;
  Field flat;
  for (int pz = 0; pz < 64; ++pz) flat.patches[2 * 64 + pz] = 0;  // the whole patch row x 64..96
  const TerrainHeightMap map = flat.Map();
  t.terrain->UpdateAllBlocks(&map);
  t.Look({80, 120, 80}, {80, 0, 81});
  t.terrain->Execute(0);
  for (int pz = 0; pz < 64; ++pz) EXPECT_EQ(t.terrain->m_aVisible[2 * 64 + pz], 0);
  EXPECT_EQ(t.terrain->m_aVisible[1 * 64 + 2], 1);
  EXPECT_EQ(t.terrain->m_aVisible[3 * 64 + 2], 1);
}

namespace {

// A terrain over `field` with the grass layer, in a tree that holds the texture.
struct LayeredTerrain {
  TerrainHost t;
  Field field;
  explicit LayeredTerrain(Field f)
      : t([](const TempTree& tree) { tree.Put("terrain/grass.dds", terrain_samples::CheckerDds(8, 0xFF00FF00u, 0xFF008000u)); }),
        field(std::move(f)) {
    const TerrainHeightMap map = field.Map();
    EXPECT_TRUE(t.terrain->UpdateAllBlocks(&map));
    t.terrain->SetName("terrain\\");
    const float offset[2] = {0.25f, 0.5f}, scale[2] = {0.125f, 2.0f};
    EXPECT_EQ(t.terrain->AddLayer("grass.dds", offset, scale, false), 0);
  }
};

// Finds a crack: a border segment between two visible patches that only one of them draws, or
// that the two draw at different heights.
std::string FindCrack(const std::vector<std::array<Corner, 3>>& tris, const uint8_t* visible) {
  // key: axis (0: a line x = const, 1: z = const), the two ends; value: triangles on each side.
  std::map<std::tuple<int, Corner, Corner>, std::array<int, 2>> segments;
  for (const auto& t : tris)
    for (int e = 0; e < 3; ++e) {
      Corner a = t[e], b = t[(e + 1) % 3];
      const Corner& c = t[(e + 2) % 3];
      if (a.x == b.x && a.x % 32 == 0) {
        if (b.z < a.z) std::swap(a, b);
        segments[{0, a, b}][c.x > a.x ? 1 : 0]++;
      } else if (a.z == b.z && a.z % 32 == 0) {
        if (b.x < a.x) std::swap(a, b);
        segments[{1, a, b}][c.z > a.z ? 1 : 0]++;
      }
    }
  auto shown = [&](int px, int pz) { return px >= 0 && px < 64 && pz >= 0 && pz < 64 && visible[px * 64 + pz]; };
  for (const auto& [key, sides] : segments) {
    const auto& [axis, a, b] = key;
    if (sides[0] > 1 || sides[1] > 1) return "a border segment drawn twice from one side";
    if (sides[0] == 1 && sides[1] == 1) continue;
    const int line = axis == 0 ? a.x / 32 : a.z / 32, along = axis == 0 ? a.z / 32 : a.x / 32;
    const bool minus = axis == 0 ? shown(line - 1, along) : shown(along, line - 1);
    const bool plus = axis == 0 ? shown(line, along) : shown(along, line);
    if (minus && plus)
      return "crack at (" + std::to_string(a.x) + "," + std::to_string(a.z) + ")-(" + std::to_string(b.x) + "," +
             std::to_string(b.z) + ")";
  }
  return "";
}

}  // namespace

TEST(TerrainDrawing, NothingIsDrawnBeforeTheFirstLayer) {
  TerrainHost t;
  t.Look({300, 60, 300}, {600, 0, 600});
  t.Frame();
  EXPECT_TRUE(t.Renderer().Draws().empty());
  EXPECT_GT(t.terrain->Block(1, 1)->m_nVisiblePatches, 0);  // culling and levels ran all the same
}

TEST(TerrainDrawing, PatchesAreShaderDrawsWithTheirConstants) {
  LayeredTerrain l(terrain_testing::RandomField(600, 0, 200, 21));
  TerrainHost& t = l.t;
  t.terrain->SetHeightScale(0.5f);
  t.Look({300, 60, 300}, {600, 0, 600});
  t.Frame();
  const auto& draws = t.Renderer().Draws();
  ASSERT_FALSE(draws.empty());
  int visible = 0;
  for (uint8_t v : t.terrain->m_aVisible) visible += v;
  EXPECT_EQ(static_cast<int>(draws.size()), visible);  // one run a patch, one pass a run
  D3DXMATRIX view, projection, vp;
  t.Renderer().GetTransform(D3DTS_VIEW, &view);
  t.Renderer().GetTransform(D3DTS_PROJECTION, &projection);
  D3DXMatrixMultiply(&vp, &view, &projection);
  EXPECT_TRUE(std::memcmp(&vp, &t.terrain->ViewProjection(), sizeof vp) == 0);  // kept untransposed
  for (const auto& d : draws) {
    ASSERT_TRUE(d.error.empty()) << d.error;
    EXPECT_EQ(d.primitiveType, 4u);
    EXPECT_EQ(d.stride, 8u);
    EXPECT_EQ(t.Renderer().EffectName(d.effect), "GenericTerrain_Tex0");
    const float* c = d.state->vertexConstants.data();
    EXPECT_FLOAT_EQ(c[16], 0.0f);
    EXPECT_FLOAT_EQ(c[17], 0.5f);
    EXPECT_FLOAT_EQ(c[18], 0.00390625f);
    EXPECT_FLOAT_EQ(c[19], 0.00390625f);
    EXPECT_FLOAT_EQ(c[20], 0.1f);
    EXPECT_FLOAT_EQ(c[21], 0.25f);
    EXPECT_FLOAT_EQ(c[22], 0.5f);
    EXPECT_FLOAT_EQ(c[23], 0.125f);
    EXPECT_NE(d.state->texture[0], nullptr);
    // Every vertex through c0-c4 as the shader takes it lands where the view and projection put it.
    for (UINT i = 0; i < d.vertexCount; i += 37) {
      int16_t v[4];
      std::memcpy(v, d.Vertex(i), 8);
      EXPECT_EQ(v[3], 1);
      EXPECT_EQ(v[1], l.field.At(v[0], v[2]));
      const float world[4] = {static_cast<float>(v[0]), v[1] * c[17], static_cast<float>(v[2]), 1.0f};
      D3DXVECTOR4 expect;
      const D3DXVECTOR3 p(world[0], world[1], world[2]);
      D3DXVec3Transform(&expect, &p, &vp);
      const float want[4] = {expect.x, expect.y, expect.z, expect.w};
      for (int r = 0; r < 4; ++r) {
        const float got = c[4 * r] * world[0] + c[4 * r + 1] * world[1] + c[4 * r + 2] * world[2] + c[4 * r + 3];
        EXPECT_NEAR(got, want[r], 1e-2f + 1e-5f * std::fabs(want[r]));
      }
    }
  }
}

TEST(TerrainDrawing, AFinerPatchStitchesToItsCoarserNeighbour) {
  LayeredTerrain l(terrain_testing::RandomField(300, 0, 100, 5));
  TerrainHost& t = l.t;
  CTerrainBlock* block = t.terrain->Block(0, 0);
  std::memset(t.terrain->m_aVisible, 0, sizeof t.terrain->m_aVisible);
  t.terrain->m_aVisible[1 * 64 + 1] = t.terrain->m_aVisible[2 * 64 + 1] = 1;
  t.terrain->m_aLevel[1 * 64 + 1] = 1;
  t.terrain->m_aLevel[2 * 64 + 1] = 3;
  block->m_nVisiblePatches = 2;
  block->m_aVisiblePatches[0][0] = 1;
  block->m_aVisiblePatches[0][1] = 1;
  block->m_aVisiblePatches[1][0] = 2;
  block->m_aVisiblePatches[1][1] = 1;
  t.Renderer().ClearRecords();
  block->Render(0, t.terrain->m_aDistance, t.terrain->m_aLevel, t.terrain->m_aVisible);
  ASSERT_EQ(t.Renderer().Draws().size(), 2u);
  const auto& fine = t.Renderer().Draws()[0];
  const auto& coarse = t.Renderer().Draws()[1];
  // Level 1 (17 x 17) with (1,3) on the side towards row + 1; level 3 (5 x 5) with (3,3) all round.
  EXPECT_EQ(fine.vertexCount, 289u);
  EXPECT_EQ(fine.primitiveCount, 392u + 3 * 30 + 18);
  EXPECT_EQ(coarse.vertexCount, 25u);
  EXPECT_EQ(coarse.primitiveCount, 8u + 4 * 6);
  EXPECT_EQ(coarse.baseVertex, fine.baseVertex + 289);
  EXPECT_EQ(FindCrack(terrain_testing::DrawnTriangles(t.Renderer()), t.terrain->m_aVisible), "");
  // On the shared line x = 64 the fine patch uses only the coarse spacing.
  for (const auto& tri : terrain_testing::DrawnTriangles(t.Renderer())) {
    for (const auto& c : tri) {
      if (c.x == 64) {
        EXPECT_EQ(c.z % 8, 0) << c.z;
      }
    }
  }
}

TEST(TerrainDrawing, NoCracksBetweenVisiblePatchesOfAnyLevels) {
  LayeredTerrain l(terrain_testing::RandomField(1100, -200, 300, 8));
  TerrainHost& t = l.t;
  for (const auto& [eye, at] : {std::pair<D3DXVECTOR3, D3DXVECTOR3>{{250, 90, 250}, {900, 0, 800}},
                                {{520, 30, 500}, {100, 0, 530}},
                                {{700, 400, 700}, {701, 0, 702}}}) {
    t.Look(eye, at);
    t.Frame();
    std::set<int> levels;
    for (int i = 0; i < 4096; ++i)
      if (t.terrain->m_aVisible[i]) levels.insert(t.terrain->m_aLevel[i]);
    EXPECT_GE(levels.size(), 3u);
    const auto tris = terrain_testing::DrawnTriangles(t.Renderer());
    ASSERT_FALSE(tris.empty());
    EXPECT_EQ(FindCrack(tris, t.terrain->m_aVisible), "");
    for (const auto& tri : tris)
      for (const auto& c : tri) ASSERT_EQ(c.h, l.field.At(c.x, c.z));
  }
}

TEST(TerrainDrawing, ARunThatDoesNotFitStartsTheBuffersAgain) {
  LayeredTerrain l(Field{});
  TerrainHost& t = l.t;
  t.Look({300, 60, 300}, {600, 0, 600});
  t.terrain->Execute(0);
  t.terrain->m_nVertexCursor = kTerrainVertexBufferBytes - 8;
  t.terrain->m_nIndexCursor = kTerrainIndexBufferBytes - 6;
  t.Renderer().ClearRecords();
  t.terrain->Render(0);
  const auto& draws = t.Renderer().Draws();
  ASSERT_GE(draws.size(), 2u);
  EXPECT_EQ(draws[0].baseVertex, 0u);
  EXPECT_EQ(draws[0].startIndex, 0u);
  EXPECT_EQ(draws[1].baseVertex, draws[0].vertexCount);
  EXPECT_EQ(draws[1].startIndex, draws[0].primitiveCount * 3);
}

TEST(TerrainDrawing, DeviceLossDropsTheBuffersAndResetBringsThemBack) {
  LayeredTerrain l(Field{});
  TerrainHost& t = l.t;
  t.Look({300, 60, 300}, {600, 0, 600});
  const size_t buffers = t.Renderer().LiveBuffers();
  t.Host().SendEvent(kEventDeviceLost);
  EXPECT_EQ(t.terrain->m_nDynamicVB, -1);
  EXPECT_EQ(t.terrain->m_nDynamicIB, -1);
  t.Frame();
  EXPECT_TRUE(t.Renderer().Draws().empty());
  t.Host().SendEvent(kEventDeviceReset);
  EXPECT_EQ(t.Renderer().LiveBuffers(), buffers);
  t.Frame();
  EXPECT_FALSE(t.Renderer().Draws().empty());
  // A reset without a loss does not leave the old buffers behind; a real loss lets the device reset.
  t.Host().SendEvent(kEventDeviceReset);
  EXPECT_EQ(t.Renderer().LiveBuffers(), buffers);
  EXPECT_TRUE(t.standard->LoseAndResetDevice()) << t.Renderer().ResetError();
  // A failed lock draws nothing rather than stale memory.
  t.Renderer().FailCall(host::RendererCall::LockIndexBuffer, -1);
  t.Frame();
  EXPECT_TRUE(t.Renderer().Draws().empty());
}

TEST(TerrainDrawing, WireframeBracketsEachVisibleBlock) {
  LayeredTerrain l(Field{});
  TerrainHost& t = l.t;
  t.terrain->SetWireframe(true);
  t.Look({300, 60, 300}, {600, 0, 600});
  t.Frame();
  ASSERT_FALSE(t.Renderer().Draws().empty());
  for (const auto& d : t.Renderer().Draws()) EXPECT_EQ(d.state->RenderState(D3DRS_FILLMODE), 2u);
  EXPECT_EQ(t.Renderer().GetRenderState(D3DRS_FILLMODE), 3u);
}

TEST(TerrainManager, BlocksBehindTheEyeAreCulled) {
  TerrainHost t;
  Field flat;
  const TerrainHeightMap map = flat.Map();
  t.terrain->UpdateAllBlocks(&map);
  t.Look({1024, 100, 1024}, {2048, 100, 1024});
  t.terrain->Execute(0);
  for (int bz = 0; bz < 8; ++bz)
    for (int bx = 0; bx < 3; ++bx) EXPECT_EQ(t.terrain->m_aVisibleBlocks[bx * 8 + bz], 0) << bx << "," << bz;
  EXPECT_EQ(t.terrain->m_aVisibleBlocks[5 * 8 + 4], 1);
  EXPECT_EQ(t.terrain->m_aVisibleBlocks[7 * 8 + 3], 1);
}

TEST(TerrainManager, PickFindsWhatEveryTriangleTestFinds) {
  TerrainHost t;
  const Field f = terrain_testing::RandomField(600, 0, 120, 77);
  const TerrainHeightMap map = f.Map();
  t.terrain->UpdateAllBlocks(&map);
  uint32_t s = 99;
  auto next = [&](float range) {
    s = s * 1664525u + 1013904223u;
    return (s >> 8) % 100000 / 100000.0f * range;
  };
  int hits = 0;
  for (int i = 0; i < 300; ++i) {
    const D3DXVECTOR3 a(next(560) + 20, 80 + next(100), next(560) + 20);
    const D3DXVECTOR3 b(a.x + next(200) - 100, next(120) - 20, a.z + next(200) - 100);
    D3DXVECTOR3 n;
    const float t0 = t.terrain->Pick(&a, &b, &n);
    const double want = terrain_testing::BruteForceHit(f, a, b);
    ASSERT_NEAR(t0, want, 2e-4) << i;
    if (want <= 1.0) {
      ++hits;
      EXPECT_GT(n.y, 0.0f);
      EXPECT_NEAR(D3DXVec3Length(&n), 1.0f, 1e-4f);
    }
    EXPECT_EQ(t.terrain->RayDistance(&a, &b), t0);
  }
  EXPECT_GT(hits, 100);
  // Along the seam between blocks (x = 256 exactly) and across a block corner.
  for (const auto& [a, b] : {std::pair<D3DXVECTOR3, D3DXVECTOR3>{{256, 200, 10}, {256, -10, 500}},
                             {{200, 150, 200}, {320, -20, 310}}}) {
    D3DXVECTOR3 n;
    EXPECT_NEAR(t.terrain->Pick(&a, &b, &n), terrain_testing::BruteForceHit(f, a, b), 2e-4);
  }
  // Nothing over the field, and a segment that never comes down to it.
  const D3DXVECTOR3 out0(-50, 10, -50), out1(-10, -10, -30), high0(0, 500, 0), high1(2048, 500, 2048);
  EXPECT_EQ(t.terrain->Pick(&out0, &out1, nullptr), 2.0f);
  EXPECT_EQ(t.terrain->Pick(&high0, &high1, nullptr), 2.0f);
}

TEST(TerrainManager, HeightScaleAndSamplingSeeTheCurrentField) {
  TerrainHost t;
  Field f = terrain_testing::RandomField(300, 10, 90, 4);
  const TerrainHeightMap map = f.Map();
  EXPECT_FALSE(t.terrain->UpdateAllBlocks(nullptr));
  ASSERT_TRUE(t.terrain->UpdateAllBlocks(&map));
  D3DXVECTOR3 p(123.4f, -7.0f, 250.6f), n;
  ASSERT_TRUE(t.terrain->SampleHeight(&p, &n));
  EXPECT_NEAR(p.y, terrain_testing::SurfaceHeight(f, 123.4, 250.6), 1e-3);
  EXPECT_EQ(p.x, 123.4f);
  t.terrain->SetHeightScale(3.0f);
  ASSERT_TRUE(t.terrain->SampleHeight(&p, &n));
  EXPECT_NEAR(p.y, terrain_testing::SurfaceHeight(f, 123.4, 250.6, 3.0), 3e-3);
  // The block boxes follow the scale: a pick just under the old top now meets the ground.
  const D3DXVECTOR3 a(100, 200, 100), b(100, 150, 100);
  EXPECT_LT(t.terrain->Pick(&a, &b, &n), 1.0f);
  EXPECT_NEAR(t.terrain->BlockTreeLevel(3)[0].max, 270.0f, 1e-3f);
  for (D3DXVECTOR3 bad : {D3DXVECTOR3(-1, 0, 5), D3DXVECTOR3(5, 0, -0.5f), D3DXVECTOR3(2048, 0, 5),
                          D3DXVECTOR3(NAN, 0, 5), D3DXVECTOR3(5, 0, INFINITY)})
    EXPECT_FALSE(t.terrain->SampleHeight(&bad, &n));
}

// Heights times a scale beyond what a float's products can hold: the sample is still the scaled
// height, or no sample at all once that height itself passes the float range; a scale that is
// no number is refused.
TEST(TerrainManager, HugeScalesSampleTheScaledHeightOrNothing) {
  TerrainHost t;
  Field f = terrain_testing::RandomField(300, 10, 90, 4);
  const TerrainHeightMap map = f.Map();
  ASSERT_TRUE(t.terrain->UpdateAllBlocks(&map));
  D3DXVECTOR3 p(123.4f, 0.0f, 250.6f), n;
  for (float scale : {1e17f, 1e20f, 1e30f}) {
    t.terrain->SetHeightScale(scale);
    ASSERT_TRUE(t.terrain->SampleHeight(&p, &n)) << scale;
    const double expected = terrain_testing::SurfaceHeight(f, 123.4, 250.6, scale);
    EXPECT_NEAR(p.y / expected, 1.0, 1e-4) << scale;
    EXPECT_TRUE(std::isfinite(n.x) && n.y > 0.0f && std::isfinite(n.z)) << scale;
  }
  t.terrain->SetHeightScale(1e37f);  // 90 x 1e37 is beyond any float
  p.y = -7.0f;
  EXPECT_FALSE(t.terrain->SampleHeight(&p, &n));
  EXPECT_EQ(p.y, -7.0f);
  t.terrain->SetHeightScale(2.0f);
  for (float bad : {NAN, INFINITY, -INFINITY}) t.terrain->SetHeightScale(bad);
  EXPECT_EQ(t.terrain->GetHeightScale(), 2.0f);
  EXPECT_EQ(LogLinesWith(t.Host(), "[WARNING] CTerrainManager::SetHeightScale: "), 3u);
}

namespace {
int g_regionPolygons = 0;
void CountPolygon(const float*, int32_t count) { g_regionPolygons += count >= 3 ? 1 : 0; }
}  // namespace

TEST(TerrainManager, RegionQueryReachesEveryBlockUnderTheSphere) {
  TerrainHost t;
  Field flat;
  const TerrainHeightMap map = flat.Map();
  t.terrain->UpdateAllBlocks(&map);
  g_regionPolygons = 0;
  const D3DXVECTOR3 centre(256, 0, 256);  // the corner of four blocks
  EXPECT_FALSE(t.terrain->ClipTrianglesInSphere(nullptr, 0, &centre, 1.5f, CountPolygon));
  // Quads whose boxes touch the sphere: x and z within 254..258, four blocks' worth.
  EXPECT_EQ(g_regionPolygons, 2 * 4 * 4);
}

TEST(TerrainManager, KeepsTheMousePositionFromMouseMoves) {
  TerrainHost t;
  t.Host().SystemMessage(0x200, 0, (700u << 16) | 65535u);
  EXPECT_EQ(t.terrain->m_nMouseX, 65535);
  EXPECT_EQ(t.terrain->m_nMouseY, 700);
  t.Host().SystemMessage(0x201, 0, (5u << 16) | 6u);  // a click is not a move
  EXPECT_EQ(t.terrain->m_nMouseX, 65535);
  EXPECT_EQ(t.terrain->m_nMouseY, 700);
}

TEST(TerrainLayers, LayersLoadByNameAndTheBaseLayerIsReplacedEverywhere) {
  TerrainHost t([](const TempTree& tree) {
    tree.Put("tex/grass.dds", terrain_samples::CheckerDds(8, 0xFF00FF00u, 0xFF008000u));
    tree.Put("tex/rock.dds", terrain_samples::CheckerDds(8, 0xFF808080u, 0xFF404040u));
  });
  Field flat;
  const TerrainHeightMap map = flat.Map();
  t.terrain->UpdateAllBlocks(&map);
  EXPECT_EQ(t.terrain->AddLayer("grass.dds", nullptr, nullptr, false), -1);  // no prefix yet
  t.terrain->SetName("tex/");
  EXPECT_EQ(t.terrain->AddLayer(nullptr, nullptr, nullptr, false), -1);
  EXPECT_EQ(t.terrain->AddLayer("grass.dds", nullptr, nullptr, false), 0);
  EXPECT_EQ(t.terrain->GetPatchLayerCount(0), 1);
  EXPECT_EQ(t.terrain->GetPatchLayerCount(4095), 1);
  EXPECT_EQ(t.terrain->GetPatchLayerCount(4096), 0);
  EXPECT_EQ(t.terrain->Block(7, 7)->m_aPatchLayerKey[63], 4095);
  EXPECT_EQ(t.terrain->Block(2, 5)->m_aPatchLayerKey[3 * 8 + 1], (2 * 8 + 3) * 64 + 5 * 8 + 1);
  // Null offset and scale read as (0, 0) and (1, 1).
  int effect = -9;
  t.terrain->BindPatchLayerSlot(100, 0, &effect);
  EXPECT_EQ(t.Renderer().EffectName(effect), "GenericTerrain_Tex0");
  const float* c5 = t.Renderer().VertexConstant(5);
  EXPECT_FLOAT_EQ(c5[0], 0.1f);
  EXPECT_FLOAT_EQ(c5[1], 0.0f);
  EXPECT_FLOAT_EQ(c5[2], 0.0f);
  EXPECT_FLOAT_EQ(c5[3], 1.0f);
  IDirect3DTexture8* grass = t.Renderer().StageTexture(0);
  ASSERT_NE(grass, nullptr);
  // A second layer, made through D3DX, becomes the base layer of every patch.
  const float offset[2] = {3, 4}, scale[2] = {5, 6};
  EXPECT_EQ(t.terrain->AddLayer("rock.dds", offset, scale, true), 1);
  t.terrain->BindPatchLayerSlot(4000, 0, &effect);
  EXPECT_NE(t.Renderer().StageTexture(0), grass);
  EXPECT_FLOAT_EQ(t.Renderer().VertexConstant(5)[3], 5.0f);
  // A known name changes only its offset and scale and keeps its index.
  const float offset2[2] = {7, 8};
  EXPECT_EQ(t.terrain->AddLayer("grass.dds", offset2, nullptr, false), 0);
  t.terrain->BindPatchLayerSlot(0, 0, &effect);
  EXPECT_EQ(t.Renderer().StageTexture(0), grass);
  EXPECT_FLOAT_EQ(t.Renderer().VertexConstant(5)[1], 7.0f);
  EXPECT_FLOAT_EQ(t.Renderer().VertexConstant(5)[2], 8.0f);
  EXPECT_EQ(t.Renderer().TextureLoads(), 1u);
  // A null name empties the prefix again.
  t.terrain->SetName(nullptr);
  EXPECT_EQ(t.terrain->AddLayer("tex/rock.dds", nullptr, nullptr, false), 2);
}

TEST(TerrainPatchFile, AFailedLockStillReadsTheTablesAfterTheIndexBytes) {
  const auto first = Counting(1152, 3);
  std::vector<uint8_t> body = Counting(10, 1);
  body.insert(body.end(), first.begin(), first.end());
  TerrainHost t([&](const TempTree& tree) { tree.Put("TerrainPatchIndexInfo.dat", PatchFile(10, body)); }, false);
  t.Renderer().FailCall(host::RendererCall::LockIndexBuffer, 1);
  t.Create();
  ASSERT_TRUE(t.terrain->HasBlocks());
  EXPECT_EQ(t.terrain->StaticIndexBuffer(), -1);
  EXPECT_EQ(LogLinesWith(t.Host(), "no static index buffer"), 1u);
  EXPECT_EQ(0, std::memcmp(t.terrain->FirstTable(), first.data(), first.size()));
}
