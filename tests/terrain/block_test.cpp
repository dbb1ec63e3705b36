// One block: its tree and its three queries.
#include <gtest/gtest.h>

#include <vector>

#include "support/module_host.h"
#include "terrain/terrain_manager.h"
#include "terrain_fixture.h"

namespace {

using terrain_testing::Field;

// Blocks need the host allocator; they are made as the manager makes them.
struct BlockHost {
  testing_support::ModuleHost module;
  CTerrainBlock* block = CTerrainManager::NewTerrainBlocks(1);
  ~BlockHost() {
    CTerrainManager::DeleteTerrainBlocks(block);
    EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
  }
  void Load(const Field& f, int ox = 0, int oz = 0) {
    block->m_nOriginX = ox;
    block->m_nOriginZ = oz;
    block->UpdateFromHeightMap(f.heights.data(), f.patches.data());
  }
};

std::vector<std::vector<float>> g_polygons;
void Collect(const float* v, int32_t count) { g_polygons.emplace_back(v, v + count * 3); }

double PolygonArea(const std::vector<float>& p) {
  // Area of the x-z projection (the field's polygons have no vertical faces).
  double a = 0;
  const size_t n = p.size() / 3;
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    a += p[i * 3] * p[j * 3 + 2] - p[j * 3] * p[i * 3 + 2];
  }
  return std::fabs(a) / 2;
}

}  // namespace

TEST(TerrainBlock, DiagonalFlagsTurnInEachQuadrant) {
  BlockHost h;
  ASSERT_TRUE(h.block->HasTree());
  const TerrainTreeRecord* quads = h.block->TreeLevel(8);
  EXPECT_EQ(quads[15 * 256 + 15].flag, 1);
  EXPECT_EQ(quads[15 * 256 + 16].flag, 0);  // quad (16, 15)
  EXPECT_EQ(quads[16 * 256 + 16].flag, 1);
  EXPECT_EQ(quads[50 * 256 + 3].flag, 0);   // quad (3, 50): 3 < 16 but 50 mod 32 = 18
}

TEST(TerrainBlock, EditOfOneQuadChangesOnlyTheRecordsAboveIt) {
  BlockHost h;
  Field flat;
  for (auto& v : flat.heights) v = 7;
  h.Load(flat);
  for (int k = 0; k <= 8; ++k)
    for (int i = 0; i < (1 << (2 * k)); ++i) {
      ASSERT_EQ(h.block->TreeLevel(k)[i].min, 7);
      ASSERT_EQ(h.block->TreeLevel(k)[i].max, 7);
    }
  h.block->m_aHeights[0] = 100;
  h.block->UpdateRegion(0, 0, 0, 0);
  for (int k = 0; k <= 8; ++k)
    for (int i = 0; i < (1 << (2 * k)); ++i) {
      EXPECT_EQ(h.block->TreeLevel(k)[i].max, i == 0 ? 100 : 7) << "level " << k << " record " << i;
      EXPECT_EQ(h.block->TreeLevel(k)[i].min, 7);
    }
  // Bounds past the block are clamped, not followed out of the arrays.
  h.block->m_aHeights[256 * 257 + 256] = -50;
  h.block->UpdateRegion(250, 250, 400, 900);
  EXPECT_EQ(h.block->TreeLevel(8)[255 * 256 + 255].min, -50);
  EXPECT_EQ(h.block->TreeLevel(0)[0].min, -50);
}

TEST(TerrainBlock, CopiesItsHeightsAndPatchBytesFromItsPlaceInTheField) {
  BlockHost h;
  Field f;
  for (int x = 256; x <= 512; ++x)
    for (int z = 512; z <= 768; ++z) f.At(x, z) = static_cast<int16_t>(x - 3 * z);
  for (int px = 0; px < 64; ++px)
    for (int pz = 0; pz < 64; ++pz) f.patches[px * 64 + pz] = static_cast<uint8_t>((px * 7 + pz * 3) % 5 == 0);
  h.Load(f, 256, 512);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      EXPECT_EQ(h.block->m_aPatchEnabled[r * 8 + c], ((8 + r) * 7 + (16 + c) * 3) % 5 == 0 ? 1 : 0);
  EXPECT_EQ(h.block->m_aHeights[0], 256 - 3 * 512);
  EXPECT_EQ(h.block->m_aHeights[256 * 257 + 256], 512 - 3 * 768);
  EXPECT_EQ(h.block->TreeLevel(0)[0].min, 256 - 3 * 768);
  EXPECT_EQ(h.block->TreeLevel(0)[0].max, 512 - 3 * 512);
}

TEST(TerrainBlock, HeightsLieOnTheTrianglesOfTheDiagonalRule) {
  BlockHost h;
  const Field f = terrain_testing::RandomField(256, -300, 300, 11);
  h.Load(f);
  h.block->m_fHeightScale = 0.5f;
  uint32_t s = 5;
  for (int i = 0; i < 2000; ++i) {
    s = s * 1664525u + 1013904223u;
    const float u = (s >> 8) % 25500 / 100.0f + 0.003f;
    s = s * 1664525u + 1013904223u;
    const float w = (s >> 8) % 25500 / 100.0f + 0.007f;
    float p[3] = {u, 999.0f, w}, n[3];
    ASSERT_TRUE(h.block->GetHeightAt(p, n));
    EXPECT_NEAR(p[1], terrain_testing::SurfaceHeight(f, u, w, 0.5), 2e-3) << u << "," << w;
    EXPECT_GT(n[1], 0.0f);
  }
  // A flat block: y = h x scale and a normal straight up.
  Field flat;
  for (auto& v : flat.heights) v = 40;
  h.Load(flat);
  float p[3] = {17.3f, 0, 200.9f}, n[3];
  h.block->GetHeightAt(p, n);
  EXPECT_FLOAT_EQ(p[1], 20.0f);
  EXPECT_FLOAT_EQ(n[0], 0.0f);
  EXPECT_GT(n[1], 0.0f);
  EXPECT_FLOAT_EQ(n[2], 0.0f);
}

TEST(TerrainBlock, SegmentsFindTheFirstTriangleTheyMeet) {
  BlockHost h;
  const Field f = terrain_testing::RandomField(256, 0, 60, 3);
  h.Load(f);
  // Vertical, from above to below: the hit is where it reaches the surface.
  const float from[3] = {100.25f, 200.0f, 50.75f}, to[3] = {100.25f, -200.0f, 50.75f};
  float n[3];
  const float t = h.block->IntersectSegment(from, to, n);
  EXPECT_NEAR(t, (200.0 - terrain_testing::SurfaceHeight(f, 100.25, 50.75)) / 400.0, 1e-5);
  EXPECT_GT(n[1], 0.0f);
  // Parallel to X (equal z), through the hills: the brute-force answer over every triangle.
  const D3DXVECTOR3 a(-20.0f, 45.0f, 33.3f), b(280.0f, 20.0f, 33.3f);
  const float fa[3] = {a.x, a.y, a.z}, fb[3] = {b.x, b.y, b.z};
  EXPECT_NEAR(h.block->IntersectSegment(fa, fb, n), terrain_testing::BruteForceHit(f, a, b), 1e-4);
  // Above everything, and one that stays beside the block.
  const float high0[3] = {0, 70, 0}, high1[3] = {256, 70, 256};
  EXPECT_EQ(h.block->IntersectSegment(high0, high1, n), 2.0f);
}

TEST(TerrainBlock, TrianglePlanesDoNotReachPastTheBlock) {
  BlockHost h;
  Field slope;
  for (int x = 0; x <= 256; ++x)
    for (int z = 0; z <= 256; ++z) slope.At(x, z) = static_cast<int16_t>(x);
  h.Load(slope);
  // Beside the block at x 300..400 the slope's plane would be met; the block has no ground there.
  const float from[3] = {300, 500, 10}, to[3] = {400, 0, 10};
  float n[3];
  EXPECT_EQ(h.block->IntersectSegment(from, to, n), 2.0f);
}

TEST(TerrainBlock, RegionQueryClipsTrianglesToThePlanes) {
  BlockHost h;
  Field flat;
  h.Load(flat);
  // The box 10 < x < 20, -5 < y < 5, 30 < z < 45 as six planes whose inside is a x + b y + c z + d < 0.
  const float planes[6][4] = {{-1, 0, 0, 10}, {1, 0, 0, -20}, {0, -1, 0, -5}, {0, 1, 0, -5}, {0, 0, -1, 30}, {0, 0, 1, -45}};
  g_polygons.clear();
  const float centre[3] = {15, 0, 37};
  EXPECT_TRUE(h.block->CollectRegionTriangles(planes, 6, centre, 12.0f, Collect));
  double area = 0;
  for (const auto& p : g_polygons) {
    area += PolygonArea(p);
    for (size_t i = 0; i < p.size(); i += 3) {
      EXPECT_GE(p[i], 10.0f - 1e-4f);
      EXPECT_LE(p[i], 20.0f + 1e-4f);
      EXPECT_GE(p[i + 2], 30.0f - 1e-4f);
      EXPECT_LE(p[i + 2], 45.0f + 1e-4f);
    }
  }
  EXPECT_NEAR(area, 150.0, 1e-3);
  // Unclipped triangles come in threes; a sphere beside every cell calls nothing.
  g_polygons.clear();
  const float small[3] = {100.5f, 0, 100.5f};
  h.block->CollectRegionTriangles(planes, 0, small, 0.2f, Collect);
  EXPECT_EQ(g_polygons.size(), 2u);
  for (const auto& p : g_polygons) EXPECT_EQ(p.size(), 9u);
  g_polygons.clear();
  const float away[3] = {100, 500, 100};
  h.block->CollectRegionTriangles(planes, 6, away, 10.0f, Collect);
  EXPECT_TRUE(g_polygons.empty());
}
