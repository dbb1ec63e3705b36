// The index lists patches are drawn from.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "terrain/terrain_patch_lists.h"

namespace {

using Triangle = std::array<int, 3>;

std::vector<Triangle> Edge(int family, int level, int neighbour) {
  std::vector<uint16_t> raw(static_cast<size_t>(EdgeListTriangles(level, neighbour)) * 3);
  BuildEdgeList(family, level, neighbour, raw.data());
  std::vector<Triangle> out;
  for (size_t i = 0; i < raw.size(); i += 3) out.push_back({raw[i], raw[i + 1], raw[i + 2]});
  return out;
}

std::vector<Triangle> Interior(int level) {
  std::vector<uint16_t> raw(static_cast<size_t>(InteriorListTriangles(level)) * 3);
  if (!raw.empty()) BuildInteriorList(level, raw.data());
  std::vector<Triangle> out;
  for (size_t i = 0; i < raw.size(); i += 3) out.push_back({raw[i], raw[i + 1], raw[i + 2]});
  return out;
}

// The patch's whole list for its level and the four neighbour levels; the two fallback
// triangles when the pieces hold none.
std::vector<Triangle> Patch(int level, const std::array<int, 4>& neighbours) {
  std::vector<Triangle> all;
  for (int f = 0; f < 4; ++f)
    for (const auto& t : Edge(f, level, neighbours[f])) all.push_back(t);
  for (const auto& t : Interior(level)) all.push_back(t);
  if (all.empty()) all = {{0, 3, 2}, {0, 1, 3}};
  return all;
}

// Twice the signed area in the (row, column) plane.
double Cross(int s, const Triangle& t) {
  const int v = s + 1;
  const double r0 = t[0] / v, c0 = t[0] % v, r1 = t[1] / v, c1 = t[1] % v, r2 = t[2] / v, c2 = t[2] % v;
  return (r1 - r0) * (c2 - c0) - (c1 - c0) * (r2 - r0);
}

bool Contains(int s, const Triangle& t, double r, double c) {
  const int v = s + 1;
  const double pr[3] = {static_cast<double>(t[0] / v), static_cast<double>(t[1] / v), static_cast<double>(t[2] / v)};
  const double pc[3] = {static_cast<double>(t[0] % v), static_cast<double>(t[1] % v), static_cast<double>(t[2] % v)};
  int positive = 0, negative = 0;
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const double side = (pr[j] - pr[i]) * (c - pc[i]) - (pc[j] - pc[i]) * (r - pr[i]);
    (side > 0 ? positive : negative)++;
  }
  return positive == 3 || negative == 3;
}

// Every point of the patch lies in exactly one triangle, all turn the same way, none is flat.
void ExpectTiles(int level, const std::array<int, 4>& neighbours) {
  const int s = 1 << (5 - level);
  const auto tris = Patch(level, neighbours);
  double area = 0;
  for (const auto& t : tris) {
    const double c = Cross(s, t);
    ASSERT_LT(c, 0.0) << "level " << level << " triangle " << t[0] << "," << t[1] << "," << t[2];
    area -= c / 2;
  }
  EXPECT_DOUBLE_EQ(area, static_cast<double>(s * s)) << "level " << level;
  // Points in general position (off every line through two grid points).
  const double offsets[3][2] = {{0.2371, 0.6113}, {0.7193, 0.1447}, {0.5521, 0.9017}};
  for (int r = 0; r < s; ++r)
    for (int c = 0; c < s; ++c)
      for (const auto& o : offsets) {
        int covering = 0;
        for (const auto& t : tris) covering += Contains(s, t, r + o[0], c + o[1]) ? 1 : 0;
        ASSERT_EQ(covering, 1) << "level " << level << " neighbours " << neighbours[0] << neighbours[1]
                               << neighbours[2] << neighbours[3] << " at " << r + o[0] << "," << c + o[1];
      }
}

}  // namespace

TEST(PatchLists, SizesFollowTheLevels) {
  const int interior[6] = {1800, 392, 72, 8, 0, 0};
  for (int level = 0; level < 6; ++level) EXPECT_EQ(InteriorListTriangles(level), interior[level]);
  EXPECT_EQ(EdgeListTriangles(0, 0), 62);
  EXPECT_EQ(EdgeListTriangles(0, 1), 46);
  EXPECT_EQ(EdgeListTriangles(4, 4), 2);
  EXPECT_EQ(EdgeListTriangles(4, 5), 1);
  EXPECT_EQ(EdgeListTriangles(5, 5), 0);
  for (int level = 1; level < 6; ++level)
    for (int n = 0; n < level; ++n) EXPECT_EQ(EdgeListTriangles(level, n), 0) << level << " " << n;
  for (int level = 0; level < 6; ++level)
    for (int n = level; n < 6; ++n)
      for (int family = 0; family < 4; ++family)
        EXPECT_EQ(static_cast<int>(Edge(family, level, n).size()), (1 << (5 - level)) + (1 << (5 - n)) - 2);
}

TEST(PatchLists, EdgeRowTowardsACoarserNeighbourUsesOnlyItsSpacing) {
  // Family 0 at level 0 against level 1: 46 triangles, vertex row 0 only at even columns.
  const auto tris = Edge(0, 0, 1);
  ASSERT_EQ(tris.size(), 46u);
  std::vector<bool> used(33, false);
  for (const auto& t : tris)
    for (int i : t) {
      EXPECT_LT(i, 2 * 33);  // the border row and the row next to it
      if (i < 33) {
        EXPECT_EQ(i % 2, 0) << i;
        used[static_cast<size_t>(i)] = true;
      }
    }
  for (int i = 0; i <= 32; i += 2) EXPECT_TRUE(used[static_cast<size_t>(i)]) << i;
  // The last column of a level-1 patch against level 3 uses every fourth of its vertices.
  for (const auto& t : Edge(3, 1, 3)) {
    for (int i : t) {
      if (i % 17 == 16) {
        EXPECT_EQ((i / 17) % 4, 0) << i;
      }
    }
  }
}

TEST(PatchLists, LevelFourClosesRoundItsCentreVertex) {
  std::vector<Triangle> ring;
  for (int f = 0; f < 4; ++f)
    for (const auto& t : Edge(f, 4, 4)) ring.push_back(t);
  ASSERT_EQ(ring.size(), 8u);
  for (const auto& t : ring) EXPECT_TRUE(t[0] == 4 || t[1] == 4 || t[2] == 4);
  EXPECT_TRUE(Interior(4).empty());
  EXPECT_TRUE(Interior(5).empty());
}

// Over 20 s under the sanitizers: each level mix samples three points in every cell of the patch
// against every triangle; the finest levels' mixes are already spread thinner below.
TEST(PatchLists, EveryLevelMixTilesThePatchOnceWithOneWinding) {
  for (int level = 0; level < 6; ++level) {
    // Every side alike at each coarser level, then mixed sides.
    for (int n = level; n < 6; ++n) ExpectTiles(level, {n, n, n, n});
    // The finest levels are the slowest to sample: their mixes are spread thinner.
    const int stride = level < 2 ? 2 : 1;
    for (int a = level; a < 6; a += stride)
      for (int b = level; b < 6; b += stride) {
        ExpectTiles(level, {a, b, level, 5});
        ExpectTiles(level, {level, 5, a, b});
      }
  }
}
