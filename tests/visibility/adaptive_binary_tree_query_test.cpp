// The collision tree's queries: the nearest ray hit against a brute-force search, the clipped
// triangles near a sphere, the sphere contact, the bounds and the stream reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <array>
#include <random>

#include "support/abt_fixture.h"

using namespace abt_testing;

namespace {

float Bits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

struct Collision {
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtCollisionTriangle> tris;
  std::vector<D3DXVECTOR3> points;
};

AbtBox TrianglesBox(const Collision& c, size_t first, size_t count) {
  AbtBox b = Box(D3DXVECTOR3(3e38f, 3e38f, 3e38f), D3DXVECTOR3(-3e38f, -3e38f, -3e38f));
  for (size_t i = first; i < first + count; ++i)
    for (uint32_t p : c.tris[i].m_Points) b.Grow(Box(c.points[p], c.points[p]));
  return b;
}

// Median splits along x down to leaves of at most `leaf` triangles; every inner node claims
// disjoint children, which must not stop the search for the nearest hit.
int32_t Build(Collision& c, size_t first, size_t count, int32_t parent, size_t leaf) {
  const int32_t index = static_cast<int32_t>(c.nodes.size());
  c.nodes.emplace_back();
  c.nodes[index].m_Box = TrianglesBox(c, first, count);
  c.nodes[index].m_nParent = parent;
  if (count <= leaf) {
    c.nodes[index].m_nFirst = static_cast<int32_t>(first);
    c.nodes[index].m_nCount = static_cast<int32_t>(count);
    return index;
  }
  auto cx = [&](const AbtCollisionTriangle& t) { return c.points[t.m_Points[0]].x; };
  std::sort(c.tris.begin() + static_cast<long>(first), c.tris.begin() + static_cast<long>(first + count),
            [&](const auto& a, const auto& b) { return cx(a) < cx(b); });
  const size_t half = count / 2;
  const int32_t a = Build(c, first, half, index, leaf);
  const int32_t b = Build(c, first + half, count - half, index, leaf);
  c.nodes[index].m_nChildA = a;
  c.nodes[index].m_nChildB = b;
  c.nodes[index].m_bDisjointChildren = 1;
  return index;
}

Collision RandomScene(std::mt19937& rng, size_t triangles) {
  std::uniform_real_distribution<float> pos(-20.0f, 20.0f), off(-3.0f, 3.0f);
  Collision c;
  for (size_t i = 0; i < triangles; ++i) {
    const D3DXVECTOR3 base(pos(rng), pos(rng), pos(rng));
    const uint32_t p = static_cast<uint32_t>(c.points.size());
    for (int k = 0; k < 3; ++k) c.points.push_back(base + D3DXVECTOR3(off(rng), off(rng), off(rng)));
    c.tris.push_back({{p, p + 1, p + 2}, 0});
  }
  Build(c, 0, triangles, -1, 3);
  return c;
}

TEST(AbtQuery, RayFindsTheNearestHitOfABruteForceSearch) {
  TreeHost h;
  std::mt19937 rng(27);
  Collision c = RandomScene(rng, 300);
  Hook::SetCollision(*h.tree, c.nodes, c.tris, c.points);
  std::uniform_real_distribution<float> pos(-30.0f, 30.0f);
  int hits = 0;
  for (int ray = 0; ray < 400; ++ray) {
    const D3DXVECTOR3 origin(pos(rng), pos(rng), pos(rng)), target(pos(rng) / 3, pos(rng) / 3, pos(rng) / 3);
    const D3DXVECTOR3 dir = target - origin;
    float best = Bits(0x7F7FC99Eu);
    for (const AbtCollisionTriangle& t : c.tris) {
      float d;
      if (D3DXIntersectTri(&c.points[t.m_Points[0]], &c.points[t.m_Points[1]], &c.points[t.m_Points[2]], &origin,
                           &dir, nullptr, nullptr, &d) &&
          d < best)
        best = d;
    }
    float t = -1.0f;
    const bool hit = h.tree->IntersectRay(&origin, &dir, &t);
    EXPECT_EQ(hit, best != Bits(0x7F7FC99Eu)) << ray;
    EXPECT_EQ(t, best) << ray;
    EXPECT_EQ(h.tree->RayDistance(&origin, &target), best) << ray;
    hits += hit ? 1 : 0;
  }
  EXPECT_GT(hits, 40);  // the scene is hit often enough for the comparison to mean something
}

TEST(AbtQuery, WithoutACollisionTreeNothingIsWritten) {
  TreeHost h;
  const D3DXVECTOR3 a(0, 0, 0), b(1, 0, 0);
  float t = 9.0f;
  EXPECT_FALSE(h.tree->IntersectRay(&a, &b, &t));
  EXPECT_EQ(t, 9.0f);
  EXPECT_EQ(h.tree->RayDistance(&a, &b), 2.0f);
  static int calls = 0;
  calls = 0;
  EXPECT_FALSE(h.tree->ClipTrianglesInSphere(nullptr, 0, &a, 10.0f, [](const float*, int32_t) { ++calls; }));
  EXPECT_EQ(calls, 0);
  D3DXVECTOR3 mx(7, 7, 7), mn(7, 7, 7), dir(7, 7, 7);
  float depth = 7.0f;
  EXPECT_FALSE(h.tree->CollideSphere(&a, 5.0f, &mx, &dir, &depth, false));
  h.tree->GetCollisionBounds(&mx, &mn);
  EXPECT_EQ(mx, D3DXVECTOR3(7, 7, 7));
  EXPECT_EQ(mn, D3DXVECTOR3(7, 7, 7));
}

// One big triangle in the plane z = 0 around the origin, and a second at z = 1.
Collision Floors(bool withCeiling) {
  Collision c;
  c.points = {{-100, -100, 0}, {100, -100, 0}, {0, 100, 0}, {-100, -100, 1}, {0, 100, 1}, {100, -100, 1}};
  c.tris.push_back({{0, 1, 2}, 0});
  if (withCeiling) c.tris.push_back({{3, 4, 5}, 0});
  Build(c, 0, c.tris.size(), -1, 2);
  return c;
}

TEST(AbtQuery, MissesAndBounds) {
  TreeHost h;
  Collision c = Floors(false);
  Hook::SetCollision(*h.tree, c.nodes, c.tris, c.points);
  const D3DXVECTOR3 a(0, 0, 5), up(0, 0, 6);
  float t = 0.0f;
  EXPECT_FALSE(h.tree->IntersectRay(&a, &up, &t));
  EXPECT_EQ(t, Bits(0x7F7FC99Eu));
  EXPECT_EQ(h.tree->RayDistance(&a, &up), Bits(0x7F7FC99Eu));
  const D3DXVECTOR3 below(0, 0, -5);
  EXPECT_EQ(h.tree->RayDistance(&a, &below), 0.5f);
  D3DXVECTOR3 mx, mn;
  h.tree->GetCollisionBounds(&mx, &mn);
  EXPECT_EQ(mx, D3DXVECTOR3(100, 100, 0));
  EXPECT_EQ(mn, D3DXVECTOR3(-100, -100, 0));
}

std::vector<std::vector<D3DXVECTOR3>> g_Polygons;
void Collect(const float* v, int32_t count) {
  std::vector<D3DXVECTOR3> p;
  for (int32_t i = 0; i < count; ++i) p.emplace_back(v[3 * i], v[3 * i + 1], v[3 * i + 2]);
  g_Polygons.push_back(p);
}

// The planes of a regular polygon of n sides around the origin, inradius 1: keep the inside.
std::vector<std::array<float, 4>> RegularPlanes(int n) {
  std::vector<std::array<float, 4>> planes;
  for (int k = 0; k < n; ++k) {
    const double a = 2.0 * M_PI * k / n;
    planes.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0.0f, -1.0f});
  }
  return planes;
}

TEST(AbtQuery, ClippedTrianglesWithNoneFiveAndSevenPlanes) {
  TreeHost h;
  Collision c = Floors(false);
  Hook::SetCollision(*h.tree, c.nodes, c.tris, c.points);
  const D3DXVECTOR3 centre(0, 0, 0);
  g_Polygons.clear();
  h.tree->ClipTrianglesInSphere(nullptr, 0, &centre, 1.0f, Collect);
  ASSERT_EQ(g_Polygons.size(), 1u);
  EXPECT_EQ(g_Polygons[0], (std::vector<D3DXVECTOR3>{{-100, -100, 0}, {100, -100, 0}, {0, 100, 0}}));
  for (int n : {5, 7}) {
    g_Polygons.clear();
    const auto planes = RegularPlanes(n);
    h.tree->ClipTrianglesInSphere(reinterpret_cast<const float(*)[4]>(planes.data()), n, &centre, 1.0f, Collect);
    ASSERT_EQ(g_Polygons.size(), 1u) << n;
    ASSERT_EQ(g_Polygons[0].size(), static_cast<size_t>(n)) << n;
    // The corners of the regular polygon lie 1 / cos(pi / n) from its centre.
    for (const D3DXVECTOR3& p : g_Polygons[0])
      EXPECT_NEAR(std::hypot(p.x, p.y), 1.0 / std::cos(M_PI / n), 1e-4) << n;
  }
  // A sphere away from the triangle's box calls nothing.
  g_Polygons.clear();
  const D3DXVECTOR3 far(0, 0, 50);
  h.tree->ClipTrianglesInSphere(nullptr, 0, &far, 1.0f, Collect);
  EXPECT_TRUE(g_Polygons.empty());
}

TEST(AbtQuery, SphereContacts) {
  TreeHost h;
  Collision one = Floors(false);
  Hook::SetCollision(*h.tree, one.nodes, one.tris, one.points);
  const D3DXVECTOR3 centre(0, 0, 0.5f);
  D3DXVECTOR3 point(9, 9, 9), dir(9, 9, 9);
  float depth = 9.0f;
  EXPECT_TRUE(h.tree->CollideSphere(&centre, 1.0f, &point, &dir, &depth, true));
  EXPECT_EQ(point, D3DXVECTOR3(9, 9, 9));  // first hit only: nothing written
  ASSERT_TRUE(h.tree->CollideSphere(&centre, 1.0f, &point, &dir, &depth, false));
  EXPECT_NEAR(point.z, 0.0f, 1e-6);
  EXPECT_NEAR(dir.z, 1.0f, 1e-6);
  EXPECT_NEAR(depth, 0.5f, 1e-6);
  const D3DXVECTOR3 far(0, 0, 5);
  EXPECT_FALSE(h.tree->CollideSphere(&far, 1.0f, &point, &dir, &depth, false));
}

TEST(AbtQuery, OpposedContactsCancel) {
  TreeHost h2;
  const D3DXVECTOR3 centre(0, 0, 0.5f);
  D3DXVECTOR3 point, dir;
  float depth = 9.0f;
  Collision two = Floors(true);
  Hook::SetCollision(*h2.tree, two.nodes, two.tris, two.points);
  ASSERT_TRUE(h2.tree->CollideSphere(&centre, 1.0f, &point, &dir, &depth, false));
  EXPECT_NEAR(point.z, 0.5f, 1e-6);  // the mean of the two contacts
  EXPECT_EQ(depth, 0.0f);            // equal and opposite pushes cancel
}

// Floors at z = 0 and z = 0.2 under a sphere of radius 1 at height 0.5: both push up, by 0.5
// and 0.7. The depth is the length of the depth-weighted sum of the pushes, (0, 0, 1.2), over
// the square root of the two contacts: 1.2 / sqrt(2).
TEST(AbtQuery, ContactsPushingOneWayAddTheirDepthsOverTheRootOfTheirCount) {
  TreeHost h;
  Collision c;
  c.points = {{-100, -100, 0}, {100, -100, 0}, {0, 100, 0}, {-100, -100, 0.2f}, {100, -100, 0.2f}, {0, 100, 0.2f}};
  c.tris = {{{0, 1, 2}, 0}, {{3, 4, 5}, 0}};
  Build(c, 0, c.tris.size(), -1, 2);
  Hook::SetCollision(*h.tree, c.nodes, c.tris, c.points);
  const D3DXVECTOR3 centre(0, 0, 0.5f);
  D3DXVECTOR3 point, dir;
  float depth = 0.0f;
  ASSERT_TRUE(h.tree->CollideSphere(&centre, 1.0f, &point, &dir, &depth, false));
  EXPECT_NEAR(point.x, 0.0f, 1e-6);
  EXPECT_NEAR(point.y, 0.0f, 1e-6);
  EXPECT_NEAR(point.z, 0.1f, 1e-6);  // the mean of (0, 0, 0) and (0, 0, 0.2)
  EXPECT_NEAR(dir.z, 1.0f, 1e-6);
  EXPECT_NEAR(depth, 1.2 / std::sqrt(2.0), 1e-6);
}

TEST(AbtQuery, StreamReaderStopsAtTheImageEnd) {
  const uint8_t image[5] = {1, 2, 3, 4, 5};
  AbtStreamCursor c{image, image + 5};
  uint8_t out[4] = {};
  EXPECT_FALSE(ReadStreamBytes(out, 1, nullptr));
  ASSERT_TRUE(ReadStreamBytes(out, 4, &c));
  EXPECT_EQ(out[3], 4);
  EXPECT_FALSE(ReadStreamBytes(out, 2, &c));
  EXPECT_EQ(c.m_pPos, image + 4);
  EXPECT_TRUE(ReadStreamBytes(out, 1, &c));
  EXPECT_EQ(out[0], 5);
}

}  // namespace
