// The height brush, the cursor pick, the brush overlay, blend-map painting and the scene's terrain.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "host/renderer.h"
#include "sample_generator.h"
#include "scene/scene_system.h"
#include "terrain_fixture.h"
#include "win32/win32.h"

namespace {

using terrain_testing::Field;
using terrain_testing::TempTree;
using terrain_testing::TerrainHost;

Field Flat(int16_t h) {
  Field f;
  std::fill(f.heights.begin(), f.heights.end(), h);
  return f;
}

// A terrain over `field` with "grass.dds" and "rock.dds" under "tex/"; `layered` adds the base layer.
struct BrushTerrain {
  TerrainHost t;
  Field field;
  explicit BrushTerrain(Field f, bool layered = true)
      : t([](const TempTree& tree) {
          tree.Put("tex/grass.dds", terrain_samples::CheckerDds(8, 0xFF00FF00u, 0xFF008000u));
          tree.Put("tex/rock.dds", terrain_samples::CheckerDds(8, 0xFF808080u, 0xFF404040u));
          tree.Put("tex/sand.dds", terrain_samples::CheckerDds(8, 0xFFC0C000u, 0xFF808000u));
        }),
        field(std::move(f)) {
    const TerrainHeightMap map = field.Map();
    EXPECT_TRUE(t.terrain->UpdateAllBlocks(&map));
    t.terrain->SetName("tex/");
    if (layered) {
      EXPECT_EQ(t.terrain->AddLayer("grass.dds", nullptr, nullptr, false), 0);
    }
    const D3DVIEWPORT8 viewport{0, 0, 100, 100, 0.0f, 1.0f};
    t.Renderer().SetViewport(&viewport);
  }
  // Looks straight down at (x, z) from 500 up with the mouse in the middle of the viewport.
  void Aim(float x, float z, float y = 500.0f) {
    t.Look({x, y, z}, {x, y - 500.0f, z}, {0, 0, 1});
    t.terrain->OnSystemMessage(WM_MOUSEMOVE, 0, (50u << 16) | 50u);
  }
  void Select(const std::vector<float>& weights, float x, float z) {
    Aim(x, z);
    t.terrain->SelectUnderBrush(weights.data(), 50, 50);
  }
  int16_t Height(int x, int z) const {
    // Every block holding the point must agree.
    int16_t h = 0;
    bool first = true;
    for (int bx = std::max(0, (x - 1) / 256); bx <= std::min(7, x / 256); ++bx)
      for (int bz = std::max(0, (z - 1) / 256); bz <= std::min(7, z / 256); ++bz) {
        const int16_t here = t.terrain->Block(bx, bz)->m_aHeights[(x - bx * 256) * 257 + (z - bz * 256)];
        EXPECT_TRUE(first || here == h) << "blocks disagree at " << x << "," << z;
        h = here;
        first = false;
      }
    return h;
  }
};

// A camera world matrix that looks straight down from `eye`.
D3DXMATRIX DownFrom(const D3DXVECTOR3& eye) {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m._22 = 0.0f;
  m._23 = 1.0f;  // row 1 (up on screen) is +z
  m._32 = -1.0f;
  m._33 = 0.0f;  // row 2 (forward) is -y
  m._41 = eye.x;
  m._42 = eye.y;
  m._43 = eye.z;
  return m;
}

D3DXMATRIX UnitProjection() {
  D3DXMATRIX p;
  D3DXMatrixIdentity(&p);
  return p;
}

const host::DrawRecord* BrushDraw(const host::Renderer& r) {
  for (const auto& d : r.Draws())
    if (d.slot == 57) return &d;
  return nullptr;
}

uint8_t BlendAlpha(IDirect3DTexture8* texture, int u, int v) {
  D3DLOCKED_RECT locked{};
  if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return 0xEE;
  const uint8_t* texel = static_cast<const uint8_t*>(locked.pBits) + v * locked.Pitch + u * 2;
  const uint8_t alpha = texel[1], luminance = texel[0];
  texture->UnlockRect(0);
  EXPECT_EQ(luminance, 0);
  return alpha;
}

// A 16 x 16 mask of distinct non-zero bytes, row-major along z.
std::vector<uint8_t> CountingMask(int side) {
  std::vector<uint8_t> m(static_cast<size_t>(side * side));
  for (int i = 0; i < side * side; ++i) m[static_cast<size_t>(i)] = static_cast<uint8_t>(1 + i % 250);
  return m;
}

}  // namespace

TEST(TerrainBrush, SizeBuildsTheGridAndAHotSpotAloneKeepsIt) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 2, 2, 1);
  ASSERT_NE(m->BrushVertices(), nullptr);
  const float u[3] = {0.0f, 0.5f, 1.0f}, v[2] = {0.0f, 1.0f};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) {
      EXPECT_FLOAT_EQ(m->BrushVertices()[i * 2 + j].u, u[i]);
      EXPECT_FLOAT_EQ(m->BrushVertices()[i * 2 + j].v, v[j]);
    }
  // Quads (0, 0) and (1, 0) with H = 2: ((i+1)H+j, iH+j, (i+1)H+j+1), ((i+1)H+j+1, iH+j, iH+j+1).
  const uint16_t expect[12] = {2, 0, 3, 3, 0, 1, 4, 2, 5, 5, 2, 3};
  EXPECT_EQ(0, std::memcmp(m->BrushIndices(), expect, sizeof expect));
  const TerrainBrushVertex* grid = m->BrushVertices();
  m->SetBrushSize(3, 2, 1, 2);
  EXPECT_EQ(m->BrushVertices(), grid);
  EXPECT_EQ(m->HotX(), 1);
  EXPECT_EQ(m->HotZ(), 2);

  // A single row or column has a texture coordinate of 0, not a division by zero.
  m->SetBrushSize(1, 4, 1, 1);
  EXPECT_EQ(m->BrushVertices()[0].u, 0.0f);
  EXPECT_FLOAT_EQ(m->BrushVertices()[3].v, 1.0f);
  // Sizes beyond 16-bit indices and negative ones are refused; 0 x 0 is the empty brush.
  m->SetBrushSize(257, 256, 1, 1);
  EXPECT_EQ(m->BrushWidth(), 1);
  m->SetBrushSize(-3, 3, 1, 1);
  EXPECT_EQ(m->BrushWidth(), 1);
  m->SetBrushSize(256, 256, 1, 1);
  EXPECT_EQ(m->BrushWidth(), 256);
  m->SetBrushSize(0, 0, 1, 1);
  EXPECT_EQ(m->BrushWidth(), 0);
  m->ShowBrush();
  b.Aim(100, 100);
  b.t.Frame();
  EXPECT_EQ(m->BrushTriangles(), 0);
  EXPECT_EQ(BrushDraw(b.t.Renderer()), nullptr);
}

TEST(TerrainBrush, RaiseTruncatesWeightedSumsAndSkipsUnweightedCells) {
  BrushTerrain b(Flat(100));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  // Cell (i, j) lies on grid point (299 + i, 309 + j) round the picked (300, 310).
  const std::vector<float> weights = {0.35f, 1.0f, 0.0f, -1.0f, 0.35f, 0.5f, 0.1f, 0.2f, 0.99f};
  b.Select(weights, 300.2f, 309.8f);
  ASSERT_TRUE(m->m_bSelectionActive);
  m->RaiseUnderBrush(10);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const float w = weights[static_cast<size_t>(i * 3 + j)];
      const int expect = w > 0.0f ? static_cast<int>(std::trunc(10.0 * w + 100.0)) : 100;
      EXPECT_EQ(b.Height(299 + i, 309 + j), expect) << i << "," << j;
      EXPECT_EQ(m->GetHeightAt(i, j), w > 0.0f ? expect : 0);
    }
  EXPECT_EQ(b.Height(300, 310), 103);  // 10 x 0.35 + 100 = 103.5
  EXPECT_EQ(m->BrushVertices()[4].y, 103.0f);
  EXPECT_EQ(m->BrushVertices()[4].x, 300.0f);
  EXPECT_EQ(m->BrushVertices()[4].z, 310.0f);
  EXPECT_EQ(b.Height(298, 310), 100);

  // A second selection waits for the flush.
  b.Select(weights, 500.0f, 500.0f);
  m->RaiseUnderBrush(10);
  EXPECT_EQ(b.Height(500, 500), 100);
  EXPECT_EQ(b.Height(300, 310), 106);  // 103 + 3.5, truncated again

  m->SetUnderBrush(-7);
  EXPECT_EQ(b.Height(299, 309), -2);  // truncated toward zero: -7 x 0.35 = -2.45
  m->SetHeightAt(1, 1, 55);
  EXPECT_EQ(b.Height(300, 310), 55);
  EXPECT_EQ(m->BrushVertices()[4].y, 55.0f);
  // Outside the grid nothing is read or written.
  EXPECT_EQ(m->GetHeightAt(-1, 0), 0);
  EXPECT_EQ(m->GetHeightAt(3, 0), 0);
  EXPECT_EQ(m->GetHeightAt(0, 3), 0);
  m->SetHeightAt(3, 0, 9);
  m->SetHeightAt(0, -1, 9);
  EXPECT_EQ(b.Height(302, 309), 100);
  EXPECT_EQ(b.Height(299, 308), 100);

  m->FlushDirtyRegions();
  EXPECT_FALSE(m->m_bSelectionActive);
  EXPECT_EQ(m->GetHeightAt(1, 1), 0);
  m->RaiseUnderBrush(10);
  EXPECT_EQ(b.Height(300, 310), 55);
  for (int k = 0; k < 64; ++k) EXPECT_TRUE(m->Selection(k).empty() && m->Regions(k).empty());
}

TEST(TerrainBrush, HeightsClampToSixteenBitsAndNullWeightsSelectNothing) {
  BrushTerrain b(Flat(32000));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(1, 1, 1, 1);
  b.Aim(100.0f, 100.0f, 32500.0f);
  m->SelectUnderBrush(nullptr, 50, 50);
  EXPECT_FALSE(m->m_bSelectionActive);
  const float two = 2.0f;
  m->SelectUnderBrush(&two, 50, 50);
  ASSERT_TRUE(m->m_bSelectionActive);
  m->RaiseUnderBrush(1000);
  EXPECT_EQ(b.Height(100, 100), 32767);
  m->SetUnderBrush(-30000);
  EXPECT_EQ(b.Height(100, 100), -32768);
  m->SetUnderBrush(3);
  EXPECT_EQ(b.Height(100, 100), 6);
}

TEST(TerrainBrush, BorderPointsAreSharedByEveryBlockThatHoldsThem) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<float> all(9, 1.0f);
  b.Select(all, 512.0f, 700.0f);
  EXPECT_EQ(m->SharingTable()[4].count, 2);  // x = 512 is in blocks 1 and 2
  EXPECT_EQ(m->SharingTable()[1].count, 1);  // x = 511
  m->RaiseUnderBrush(40);
  EXPECT_EQ(m->Block(1, 2)->m_aHeights[256 * 257 + (700 - 512)], 40);
  EXPECT_EQ(m->Block(2, 2)->m_aHeights[0 * 257 + (700 - 512)], 40);
  m->FlushDirtyRegions();

  b.Select(all, 768.0f, 1024.0f);
  const TerrainSharingRecord& corner = m->SharingTable()[4];
  ASSERT_EQ(corner.count, 4);
  std::set<std::pair<int, int>> blocks;
  for (int k = 0; k < 4; ++k) blocks.insert({corner.block[k][0], corner.block[k][1]});
  EXPECT_EQ(blocks, (std::set<std::pair<int, int>>{{2, 3}, {2, 4}, {3, 3}, {3, 4}}));
  m->SetHeightAt(1, 1, -20);
  EXPECT_EQ(b.Height(768, 1024), -20);
  // Sampling after the flush sees the corner in every block round it.
  m->FlushDirtyRegions();
  for (const float dx : {-0.25f, 0.25f})
    for (const float dz : {-0.25f, 0.25f}) {
      D3DXVECTOR3 p(768.0f + dx, 0.0f, 1024.0f + dz);
      ASSERT_TRUE(m->SampleHeight(&p, nullptr));
      EXPECT_NEAR(p.y, -20.0f * 0.75f, 1e-3f) << dx << "," << dz;  // one quarter of the way to flat 0
    }
}

// The hot spot is any 32-bit pair: one that puts the brush far off the field (reckoned without
// overflow) draws, selects and changes nothing.
TEST(TerrainBrush, AHotSpotAtEitherEndOfTheIntegerRangeLeavesTheFieldAlone) {
  BrushTerrain b(Flat(5));
  CTerrainManager* m = b.t.terrain;
  m->ShowBrush();
  const std::vector<float> all(81, 1.0f);
  for (const auto& [hotX, hotZ] : std::vector<std::pair<int32_t, int32_t>>{{INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}}) {
    m->SetBrushSize(9, 9, hotX, hotZ);
    b.Aim(100.0f + static_cast<float>(hotX & 1), 100.0f);  // a new vertex each time, so the brush moves
    b.t.Frame();
    const host::DrawRecord* d = BrushDraw(b.t.Renderer());
    EXPECT_TRUE(d == nullptr || d->primitiveCount == 0);
    m->SelectUnderBrush(all.data(), 50, 50);
    m->RaiseUnderBrush(10);
    m->FlushDirtyRegions();
  }
  for (int x = 0; x <= 2048; x += 8)
    for (int z = 0; z <= 2048; z += 8) ASSERT_EQ(b.Height(x, z), 5) << x << "," << z;
}

TEST(TerrainBrush, TheFlushRefreshesTheQuadsOnBothSidesUpToTheFarEdge) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(1, 1, 1, 1);
  const std::vector<float> one = {1.0f};
  // The field's far corner: a block-local point 256, past the block's last quad.
  b.Select(one, 2047.9f, 2047.9f);
  ASSERT_TRUE(m->m_bSelectionActive);
  m->SetUnderBrush(300);
  b.field.At(2048, 2048) = 300;
  m->FlushDirtyRegions();
  b.Select(one, 1000.2f, 1200.4f);
  m->SetUnderBrush(500);
  b.field.At(1000, 1200) = 500;
  m->FlushDirtyRegions();
  // Picks straight down through and beside each raised point, against every triangle; they end
  // above the flat ground, so a quad whose tree record was left at 0 would be passed over.
  for (const auto& p : {D3DXVECTOR2(2047.9f, 2047.9f), D3DXVECTOR2(2047.2f, 2047.6f), D3DXVECTOR2(999.6f, 1199.7f),
                        D3DXVECTOR2(1000.3f, 1200.2f), D3DXVECTOR2(999.9f, 1200.5f)}) {
    const D3DXVECTOR3 from(p.x, 1000.0f, p.y), to(p.x, 50.0f, p.y);
    D3DXVECTOR3 n;
    const double want = terrain_testing::BruteForceHit(b.field, from, to);
    ASSERT_LT(want, 1.5);
    EXPECT_NEAR(m->Pick(&from, &to, &n), want, 1e-4) << p.x << "," << p.y;
  }
  EXPECT_FLOAT_EQ(m->BlockTreeLevel(3)[0].max, 500.0f);
}

TEST(TerrainBrush, AResizeOrPickModeFlushesTheSelectionFirst) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<float> all(9, 1.0f);
  b.Select(all, 300.0f, 300.0f);
  m->SetUnderBrush(80);
  m->SetBrushSize(5, 5, 3, 3);
  EXPECT_FALSE(m->m_bSelectionActive);
  EXPECT_EQ(m->BrushTriangles(), 0);
  EXPECT_EQ(m->LastBrushVertex()[0], -1);
  D3DXVECTOR3 p(300.0f, 0.0f, 300.0f);
  const D3DXVECTOR3 from(300.0f, 1000.0f, 300.0f), to(300.0f, -10.0f, 300.0f);
  EXPECT_NEAR(m->Pick(&from, &to, nullptr), (1000.0 - 80.0) / 1010.0, 1e-4);  // the tree saw the flush
  ASSERT_TRUE(m->SampleHeight(&p, nullptr));
  EXPECT_FLOAT_EQ(p.y, 80.0f);

  const std::vector<float> many(25, 1.0f);
  b.Select(many, 600.0f, 600.0f);
  m->SetUnderBrush(50);
  m->BeginPickMode();
  EXPECT_FALSE(m->m_bSelectionActive);
  EXPECT_TRUE(m->Painting());
  const D3DXVECTOR3 f2(600.0f, 1000.0f, 600.0f), t2(600.0f, -10.0f, 600.0f);
  EXPECT_NEAR(m->Pick(&f2, &t2, nullptr), (1000.0 - 50.0) / 1010.0, 1e-4);
  EXPECT_EQ(m->ResetPick(), -1);
  EXPECT_FALSE(m->Painting());
}

TEST(TerrainCursor, RoundsTheHitAndMissesAtEitherEndOfTheSegment) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  const D3DXMATRIX projection = UnitProjection();
  int32_t vx = -5, vz = -5;
  ASSERT_TRUE(m->CursorVertex(DownFrom({10.5f, 500.0f, 20.51f}), projection, 50, 50, &vx, &vz));
  EXPECT_EQ(vx, 10);
  EXPECT_EQ(vz, 21);
  ASSERT_TRUE(m->CursorVertex(DownFrom({10.49f, 500.0f, 20.0f}), projection, 50, 50, &vx, &vz));
  EXPECT_EQ(vx, 10);
  // A pixel right of the middle looks right: x + 500 x (2 x 75 / 100 - 1).
  ASSERT_TRUE(m->CursorVertex(DownFrom({10.0f, 500.0f, 20.0f}), projection, 75, 50, &vx, &vz));
  EXPECT_EQ(vx, 260);
  EXPECT_EQ(vz, 20);
  // The ground exactly 999 below (t = 1) and at the eye (t = 0) are misses.
  EXPECT_FALSE(m->CursorVertex(DownFrom({10.0f, 999.0f, 20.0f}), projection, 50, 50, &vx, &vz));
  EXPECT_FALSE(m->CursorVertex(DownFrom({10.0f, 0.0f, 20.0f}), projection, 50, 50, &vx, &vz));
}

TEST(TerrainCursor, TheOverlayFollowsTheMouseOnTheGroundsOwnSplit) {
  BrushTerrain b(terrain_testing::RandomField(400, -50, 50, 7));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(5, 4, 3, 2);
  m->ShowBrush();
  b.Aim(48.2f, 64.2f);  // across x = 48 and z = 64, where the split turns
  b.t.Frame();
  EXPECT_EQ(m->LastBrushVertex()[0], 48);
  EXPECT_EQ(m->LastBrushVertex()[1], 64);
  const host::DrawRecord* d = BrushDraw(b.t.Renderer());
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->error.empty()) << d->error;
  EXPECT_EQ(d->stride, 20u);
  EXPECT_EQ(d->vertexCount, 20u);
  EXPECT_EQ(d->primitiveCount, 24u);
  EXPECT_EQ(d->minIndex, 0u);
  EXPECT_EQ(d->indexFormat, static_cast<DWORD>(D3DFMT_INDEX16));
  EXPECT_EQ(d->state->vertexShader, 0x102u);
  EXPECT_EQ(d->state->renderState[60], 0xFFFFFFFFu);
  EXPECT_EQ(b.t.Renderer().EffectName(d->effect), "PaintBrush");
  // Every triangle is one of the two the ground splits its quad into, at the ground's heights.
  std::map<std::pair<int, int>, int> trianglesPerQuad;
  for (UINT k = 0; k < d->primitiveCount; ++k) {
    int xs[3], zs[3];
    for (int c = 0; c < 3; ++c) {
      const UINT index = d->indices[k * 3 + c];
      xs[c] = static_cast<int>(d->VertexFloat(index, 0));
      zs[c] = static_cast<int>(d->VertexFloat(index, 8));
      EXPECT_EQ(d->VertexFloat(index, 4), b.field.At(xs[c], zs[c]));
    }
    const int qx = std::min({xs[0], xs[1], xs[2]}), qz = std::min({zs[0], zs[1], zs[2]});
    EXPECT_TRUE(qx >= 46 && qx < 50 && qz >= 63 && qz < 66) << qx << "," << qz;
    // The corner a triangle leaves out names its diagonal.
    std::set<std::pair<int, int>> corners;
    for (int c = 0; c < 3; ++c) corners.insert({xs[c] - qx, zs[c] - qz});
    const bool along = ((qx % 32) < 16) == ((qz % 32) < 16);
    const bool hasBoth = along ? corners.count({0, 0}) && corners.count({1, 1}) : corners.count({1, 0}) && corners.count({0, 1});
    EXPECT_TRUE(hasBoth) << "quad " << qx << "," << qz;
    ++trianglesPerQuad[{qx, qz}];
  }
  EXPECT_EQ(trianglesPerQuad.size(), 12u);
  for (const auto& [quad, n] : trianglesPerQuad) EXPECT_EQ(n, 2);

  // While a selection is active the mouse moves nothing; hidden, nothing is drawn.
  const std::vector<float> all(20, 1.0f);
  m->SelectUnderBrush(all.data(), 50, 50);
  b.Aim(200.0f, 200.0f);
  b.t.Frame();
  EXPECT_EQ(m->LastBrushVertex()[0], 48);
  m->FlushDirtyRegions();
  b.t.Frame();
  EXPECT_EQ(m->LastBrushVertex()[0], 200);
  m->HideBrush();
  b.t.Frame();
  EXPECT_EQ(BrushDraw(b.t.Renderer()), nullptr);
}

TEST(TerrainPainting, TheMaskMustFitTheBrushAndItsLayerMustLoad) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(9, 9, 5, 5);
  const auto m17 = CountingMask(17), m16 = CountingMask(16);
  m->SetBrushMask(m17.data(), 17, 17, "rock.dds", nullptr, nullptr, false);
  EXPECT_EQ(m->PaintLayer(), -1);
  m->SetBrushMask(m16.data(), 16, 16, "missing.dds", nullptr, nullptr, false);
  EXPECT_EQ(m->PaintLayer(), -1);
  m->SetBrushMask(m16.data(), 16, 16, "rock.dds", nullptr, nullptr, false);
  EXPECT_EQ(m->PaintLayer(), 1);
  m->SetBrushMask(m16.data(), 16, 16, "missing.dds", nullptr, nullptr, false);
  EXPECT_EQ(m->PaintLayer(), 1);  // a failed layer keeps the stroke as it was
}

TEST(TerrainPainting, AStrokeLandsOnTheSameWorldTexelsAcrossPatchesAndBlocks) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(9, 9, 5, 5);
  const auto mask = CountingMask(16);
  m->SetBrushMask(mask.data(), 16, 16, "rock.dds", nullptr, nullptr, false);
  // Across a patch corner inside block 0, then across the block corner at (256, 256).
  for (const auto& [left, top] : {std::pair{28, 60}, std::pair{252, 250}}) {
    const int32_t tl[2] = {left, top}, br[2] = {left + 8, top + 8};
    m->PaintBlendLayer(tl, br);
    for (int wz = 2 * top - 4; wz < 2 * top + 20; ++wz)
      for (int wx = 2 * left - 4; wx < 2 * left + 20; ++wx) {
        const TerrainPatchLayers* p = m->PatchLayers(wx / 64, wz / 64);
        const int row = wz - 2 * top, column = wx - 2 * left;
        const bool inside = row >= 0 && row < 16 && column >= 0 && column < 16;
        if (p->count == 1) {
          EXPECT_FALSE(inside) << wx << "," << wz;
          continue;
        }
        ASSERT_EQ(p->count, 2);
        EXPECT_EQ(p->slots[1].textureLayer, 1);
        EXPECT_EQ(p->slots[1].textureCount, 2);
        const TerrainLayer* blend = m->Layer(p->slots[1].blendLayer);
        const uint8_t want = inside ? mask[static_cast<size_t>(row * 16 + column)] : 0;
        EXPECT_EQ(BlendAlpha(blend->texture, wx % 64, wz % 64), want) << wx << "," << wz;
      }
  }
  const TerrainPatchLayers* p = m->PatchLayers(8, 7);
  ASSERT_EQ(p->count, 2);
  const TerrainLayer* blend = m->Layer(p->slots[1].blendLayer);
  ASSERT_NE(blend, nullptr);
  EXPECT_EQ(m->LayerName(p->slots[1].blendLayer), "blendMap_0_8_7.dds");
  EXPECT_FLOAT_EQ(blend->offset[0], -256.0f);
  EXPECT_FLOAT_EQ(blend->offset[1], -224.0f);
  EXPECT_FLOAT_EQ(blend->scale[0], 1.0f / 32.0f);
  EXPECT_FLOAT_EQ(blend->scale[1], 1.0f / 32.0f);
  EXPECT_EQ(m->PatchLayers(3, 3)->count, 1);
  EXPECT_EQ(m->PatchLayers(0, 0)->count, 1);
}

TEST(TerrainPainting, RepaintsReuseTheTopMapAndOtherLayersStackUpToEightSlots) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<uint8_t> first = {1, 2, 4, 8, 16, 32, 64, 128, 3, 5, 6, 9, 10, 12, 17, 18};
  std::vector<uint8_t> second(16, 0x40);
  const int32_t tl[2] = {100, 100}, br[2] = {102, 102};
  m->SetBrushMask(first.data(), 4, 4, "rock.dds", nullptr, nullptr, false);
  m->PaintBlendLayer(tl, br);
  const size_t maps = m->PatchLayers(3, 3)->slots[1].blendLayer;
  m->SetBrushMask(second.data(), 4, 4, "rock.dds", nullptr, nullptr, false);
  m->PaintBlendLayer(tl, br);
  const TerrainPatchLayers* p = m->PatchLayers(3, 3);
  ASSERT_EQ(p->count, 2);
  EXPECT_EQ(static_cast<size_t>(p->slots[1].blendLayer), maps);
  // Alpha only grows: the second stroke ORs into the first.
  EXPECT_EQ(BlendAlpha(m->Layer(p->slots[1].blendLayer)->texture, 200 % 64 + 1, 200 % 64 + 2), (5 | 0x40));

  // Another layer, then the base layer again: each a new slot with the next ordinal.
  m->SetBrushMask(second.data(), 4, 4, "sand.dds", nullptr, nullptr, false);
  m->PaintBlendLayer(tl, br);
  m->SetBrushMask(second.data(), 4, 4, "grass.dds", nullptr, nullptr, false);
  m->PaintBlendLayer(tl, br);
  ASSERT_EQ(p->count, 4);
  EXPECT_EQ(m->LayerName(p->slots[2].blendLayer), "blendMap_1_3_3.dds");
  EXPECT_EQ(p->slots[3].textureLayer, 0);
  EXPECT_EQ(m->LayerName(p->slots[3].blendLayer), "blendMap_2_3_3.dds");
  // Alternating layers fill the stack; a ninth slot is never made.
  for (int k = 0; k < 10; ++k) {
    m->SetBrushMask(second.data(), 4, 4, k % 2 ? "grass.dds" : "rock.dds", nullptr, nullptr, false);
    m->PaintBlendLayer(tl, br);
  }
  EXPECT_EQ(p->count, 8);
  EXPECT_EQ(m->LayerName(p->slots[7].blendLayer), "blendMap_6_3_3.dds");

  // A failed texture adds nothing.
  b.t.Renderer().FailCall(host::RendererCall::CreateTexture, 1);
  const int32_t far[2] = {900, 900}, farEnd[2] = {902, 902};
  m->PaintBlendLayer(far, farEnd);
  EXPECT_EQ(m->PatchLayers(28, 28)->count, 1);
  m->PaintBlendLayer(far, farEnd);
  EXPECT_EQ(m->PatchLayers(28, 28)->count, 2);
}

TEST(TerrainPainting, AWidenedBrushReadsNoMaskBeyondItsEdge) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<uint8_t> mask(16, 0x11);
  m->SetBrushMask(mask.data(), 4, 4, "rock.dds", nullptr, nullptr, false);
  m->SetBrushSize(9, 9, 5, 5);
  const int32_t tl[2] = {40, 40}, br[2] = {48, 48};
  m->PaintBlendLayer(tl, br);
  IDirect3DTexture8* map = m->Layer(m->PatchLayers(1, 1)->slots[1].blendLayer)->texture;
  for (int v = 16; v < 32; ++v)
    for (int u = 16; u < 32; ++u) EXPECT_EQ(BlendAlpha(map, u, v), u < 20 && v < 20 ? 0x11 : 0) << u << "," << v;
}

TEST(TerrainPainting, NothingIsPaintedBeforeTheFirstLayer) {
  BrushTerrain b(Flat(0), false);
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<uint8_t> mask(16, 1);
  m->SetBrushMask(mask.data(), 4, 4, "rock.dds", nullptr, nullptr, false);
  const int32_t tl[2] = {40, 40}, br[2] = {42, 42};
  m->PaintBlendLayer(tl, br);
  EXPECT_EQ(m->PatchLayers(1, 1), nullptr);
  EXPECT_EQ(m->AddLayer("grass.dds", nullptr, nullptr, false), 1);
  EXPECT_EQ(m->PatchLayers(1, 1)->count, 1);
}

TEST(TerrainPainting, PaintingModeStrokesWhereTheMouseMovesAndDrawsTwoTextures) {
  BrushTerrain b(Flat(0));
  CTerrainManager* m = b.t.terrain;
  m->SetBrushSize(3, 3, 2, 2);
  const std::vector<uint8_t> mask(16, 0x80);
  m->SetBrushMask(mask.data(), 4, 4, "rock.dds", nullptr, nullptr, false);
  b.Aim(40.0f, 40.0f);
  b.t.Frame();
  EXPECT_EQ(m->PatchLayers(1, 1)->count, 1);  // not painting yet
  m->BeginPickMode();
  b.t.Frame();
  const TerrainPatchLayers* p = m->PatchLayers(1, 1);
  ASSERT_EQ(p->count, 2);
  EXPECT_EQ(m->LastPaintedVertex()[0], 40);
  IDirect3DTexture8* map = m->Layer(p->slots[1].blendLayer)->texture;
  EXPECT_EQ(BlendAlpha(map, 14, 14), 0x80);
  EXPECT_EQ(BlendAlpha(map, 13, 14), 0);
  // The painted patch draws its base pass, then a pass with the layer and its blend map.
  const host::DrawRecord* painted = nullptr;
  for (const auto& d : b.t.Renderer().Draws())
    if (d.slot == 53 && b.t.Renderer().EffectName(d.effect) == "GenericTerrain_Tex1") painted = &d;
  ASSERT_NE(painted, nullptr);
  EXPECT_EQ(painted->state->texture[0], m->Layer(1)->texture);
  EXPECT_EQ(painted->state->texture[1], map);
  // c5 holds the last texture bound: the blend map's offset and scale.
  EXPECT_FLOAT_EQ(painted->state->vertexConstants[21], -32.0f);
  EXPECT_FLOAT_EQ(painted->state->vertexConstants[22], -32.0f);
  EXPECT_FLOAT_EQ(painted->state->vertexConstants[23], 1.0f / 32.0f);
  m->ResetPick();
  b.Aim(45.0f, 40.0f);
  b.t.Frame();
  EXPECT_EQ(BlendAlpha(map, 25, 14), 0);
}

TEST(SceneTerrain, AScenesTerrainIsFoundByClassWithoutBeingKept) {
  TerrainHost t(nullptr, false);
  ComponentHandle sceneHandle{};
  ASSERT_TRUE(t.Host().CreateObject(&sceneHandle, "CSceneSystem"));
  auto* scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(t.Host().GetObject(&sceneHandle)));
  EXPECT_EQ(scene->GetTerrain(), nullptr);
  t.Create();
  EXPECT_EQ(scene->GetTerrain(), static_cast<ITerrainEdit*>(t.terrain));
  t.Host().DestroyObject(sceneHandle);
  EXPECT_NE(t.Host().GetObject(&t.handle), nullptr);
}
