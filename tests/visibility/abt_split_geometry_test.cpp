// The geometry split: pieces below 550 triangles, the axis rule, and the vertices made where a
// triangle is cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "support/abt_build_fixture.h"
#include "visibility/adaptive_binary_tree.h"

using namespace abt_build_testing;

namespace {

struct Geometry {
  uint32_t code = 0;
  std::vector<uint8_t> vertices;
  std::vector<uint16_t> triangles;
  uint32_t count = 0;

  explicit Geometry(uint32_t c = 0) : code(c) {}
  uint16_t Add(const VertexFields& f) {
    const std::vector<uint8_t> v = Vertex(code, f);
    vertices.insert(vertices.end(), v.begin(), v.end());
    return static_cast<uint16_t>(count++);
  }
  const uint8_t* At(uint32_t i) const { return &vertices[static_cast<size_t>(i) * Layout(code).stride]; }
  // n small triangles of width 0.01 spread along x from -9 to 9, at z 0 to 0.5, y 0.
  void Spread(int n) {
    for (int i = 0; i < n; ++i) {
      const float x = -9.0f + 18.0f * static_cast<float>(i) / static_cast<float>(n);
      VertexFields a, b, c;
      a.position = D3DXVECTOR3(x, 0, 0);
      b.position = D3DXVECTOR3(x, 0, 0.5f);
      c.position = D3DXVECTOR3(x + 0.01f, 0, 0.5f);
      triangles.insert(triangles.end(), {Add(a), Add(b), Add(c)});
    }
  }
};

struct Split {
  bool ok = false;
  std::vector<AbtGeometryPiece> pieces;
  uint32_t count = 0;
  std::vector<uint8_t> vertices;
};

Split RunSplit(const Geometry& g, const D3DXVECTOR3& mx, const D3DXVECTOR3& mn) {
  Split s;
  s.vertices = g.vertices;
  s.count = g.count;
  s.ok = CAdaptiveBinaryTree::SplitGeometry(mx, mn, static_cast<uint32_t>(g.triangles.size() / 3), g.triangles,
                                            &s.vertices, g.code, &s.count, &s.pieces);
  return s;
}

using Tri = std::array<uint16_t, 3>;
std::vector<Tri> Triangles(const std::vector<uint16_t>& flat) {
  std::vector<Tri> out;
  for (size_t i = 0; i + 2 < flat.size(); i += 3) out.push_back({flat[i], flat[i + 1], flat[i + 2]});
  return out;
}

TEST(AbtSplitGeometry, FewerThan550IsOnePieceAnd550IsDivided) {
  for (int n : {549, 550}) {
    Geometry g;
    g.Spread(n);
    const Split s = RunSplit(g, D3DXVECTOR3(9.01f, 0, 0.5f), D3DXVECTOR3(-9, 0, 0));
    ASSERT_TRUE(s.ok);
    if (n == 549) {
      ASSERT_EQ(s.pieces.size(), 1u);
      EXPECT_EQ(s.pieces[0].m_nTriangleCount, 549u);
      EXPECT_NEAR(s.pieces[0].m_vecCentre.x, 0.005f, 1e-6f);
      EXPECT_EQ(s.pieces[0].m_vecCentre.z, 0.25f);
      continue;
    }
    ASSERT_EQ(s.pieces.size(), 2u);
    // The side above the plane comes out first.
    EXPECT_GT(s.pieces[0].m_Box.m_vecMin.x, s.pieces[1].m_Box.m_vecMax.x);
    EXPECT_EQ(s.pieces[0].m_nTriangleCount + s.pieces[1].m_nTriangleCount, 550u);
    // Nothing was cut: the vertices are as they were, and the pieces hold the input's triangles.
    EXPECT_EQ(s.count, g.count);
    EXPECT_EQ(s.vertices, g.vertices);
    std::vector<Tri> all = Triangles(s.pieces[0].m_Triangles), in = Triangles(g.triangles);
    const std::vector<Tri> second = Triangles(s.pieces[1].m_Triangles);
    all.insert(all.end(), second.begin(), second.end());
    std::sort(all.begin(), all.end());
    std::sort(in.begin(), in.end());
    EXPECT_EQ(all, in);
  }
}

// A point of the x-z plane at height `height` with the height on `flat` and x, z on the other
// two axes in order.
D3DXVECTOR3 OnPlane(const D3DXVECTOR3& p, int flat, float height) {
  const float other[2] = {p.x, p.z};
  D3DXVECTOR3 out;
  for (int k = 0, next = 0; k < 3; ++k) (&out.x)[k] = k == flat ? height : other[next++];
  return out;
}

TEST(AbtSplitGeometry, ASheetFlatOnAnyAxisIsDividedAcrossTheOtherTwo) {
  // 2 x 20 x 20 triangles: the flat axis leaves one side empty (its score has no value) and is
  // never chosen, so the sheet comes back in the same pieces below the limit whichever axis it is
  // flat on, rather than as one final piece of 800.
  std::vector<size_t> pieceCounts;
  for (int flat = 0; flat < 3; ++flat) {
    Geometry g;
    std::vector<VertexFields> v;
    Sheet(20, 20, 1.0f, 0, 0, 0, &v, &g.triangles);
    for (VertexFields& f : v) {
      f.position = OnPlane(f.position, flat, 3.0f);
      g.Add(f);
    }
    const Split s = RunSplit(g, OnPlane(D3DXVECTOR3(20, 0, 20), flat, 3.0f), OnPlane(D3DXVECTOR3(0, 0, 0), flat, 3.0f));
    ASSERT_TRUE(s.ok);
    uint32_t total = 0;
    for (const AbtGeometryPiece& p : s.pieces) {
      EXPECT_LT(p.m_nTriangleCount, 550u) << "flat on axis " << flat;
      total += p.m_nTriangleCount;
      for (uint16_t i : p.m_Triangles) EXPECT_LT(i, s.count);
    }
    EXPECT_EQ(total, 800u);
    pieceCounts.push_back(s.pieces.size());
  }
  EXPECT_GE(pieceCounts[0], 2u);
  EXPECT_EQ(pieceCounts[1], pieceCounts[0]);
  EXPECT_EQ(pieceCounts[2], pieceCounts[0]);
}

TEST(AbtSplitGeometry, TheDividingAxisOfTheHighestScoreWins) {
  // 4 x 20 x 10 cells of one small triangle each: every axis divides them evenly without a cut
  // through the middle, so the score follows the length term, y (1) over z (0.5) over x (0.2).
  // One division on y leaves two pieces of 400, apart on y and each as deep as the whole on z.
  Geometry g;
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 20; ++y)
      for (int z = 0; z < 10; ++z) {
        VertexFields a, b, c;
        a.position = D3DXVECTOR3(x + 0.1f, y + 0.1f, z + 0.1f);
        b.position = D3DXVECTOR3(x + 0.1f, y + 0.4f, z + 0.4f);
        c.position = D3DXVECTOR3(x + 0.4f, y + 0.4f, z + 0.1f);
        g.triangles.insert(g.triangles.end(), {g.Add(a), g.Add(b), g.Add(c)});
      }
  const Split s = RunSplit(g, D3DXVECTOR3(3.4f, 19.4f, 9.4f), D3DXVECTOR3(0.1f, 0.1f, 0.1f));
  ASSERT_TRUE(s.ok);
  ASSERT_EQ(s.pieces.size(), 2u);
  EXPECT_EQ(s.pieces[0].m_nTriangleCount, 400u);
  EXPECT_GT(s.pieces[0].m_Box.m_vecMin.y, s.pieces[1].m_Box.m_vecMax.y);
  for (const AbtGeometryPiece& p : s.pieces) {
    EXPECT_FLOAT_EQ(p.m_Box.m_vecMin.z, 0.1f);
    EXPECT_FLOAT_EQ(p.m_Box.m_vecMax.z, 9.4f);
  }
}

TEST(AbtSplitGeometry, GeometryOneSidedOnEveryAxisComesBackAsOneFinalPiece) {
  Geometry g;
  VertexFields p;
  p.position = D3DXVECTOR3(1, 2, 3);
  const uint16_t a = g.Add(p), b = g.Add(p), c = g.Add(p);
  for (int i = 0; i < 600; ++i) g.triangles.insert(g.triangles.end(), {a, b, c});
  const Split s = RunSplit(g, D3DXVECTOR3(2, 3, 4), D3DXVECTOR3(0, 1, 2));
  ASSERT_TRUE(s.ok);
  ASSERT_EQ(s.pieces.size(), 1u);
  EXPECT_EQ(s.pieces[0].m_nTriangleCount, 600u);
  EXPECT_EQ(s.pieces[0].m_Box.m_vecMin, D3DXVECTOR3(1, 2, 3));
}

// 600 small triangles and one long one from x = -100 to `far` whose third corner lies at x = 0,
// in a box of x from -10 to 10: the long one reaches past both ends of the band and is cut once,
// through its third corner, at t = 100 / (far + 100) on its long edge.
Geometry LongTriangle(uint32_t code, float far, VertexFields* a, VertexFields* b) {
  Geometry g(code);
  g.Spread(600);
  a->position = D3DXVECTOR3(-100, 0, 0);
  b->position = D3DXVECTOR3(far, 0, 1);
  VertexFields c;
  c.position = D3DXVECTOR3(0, 0, 0.9f);
  g.triangles.insert(g.triangles.end(), {g.Add(*a), g.Add(c), g.Add(*b)});
  return g;
}

TEST(AbtSplitGeometry, ACutVertexInterpolatesItsColourPerChannel) {
  VertexFields a, b;
  a.colour = 0xFF00FF00u;  // alpha 1.0 at both ends; red 0 to 1; green 1 to 0
  b.colour = 0xFFFF0000u;
  a.normal = D3DXVECTOR3(1, 0, 0);
  b.normal = D3DXVECTOR3(0, 0, 1);
  a.u = 0.0f;
  b.u = 1.0f;
  const Geometry g = LongTriangle(0, 100.0f, &a, &b);
  const Split s = RunSplit(g, D3DXVECTOR3(10, 0, 1), D3DXVECTOR3(-10, 0, 0));
  ASSERT_TRUE(s.ok);
  ASSERT_EQ(s.count, g.count + 1);
  const Layout l(0);
  const uint8_t* n = &s.vertices[static_cast<size_t>(g.count) * l.stride];
  EXPECT_EQ(FloatAt(n), 0.0f);
  EXPECT_EQ(FloatAt(n + 8), 0.5f);
  EXPECT_EQ(U32At(n + l.diffuse), 0xFF808000u);  // 0.5 x 255 + 0.5 = 128; 1.0 gives 255
  EXPECT_EQ(FloatAt(n + l.normal), 0.5f);
  EXPECT_EQ(FloatAt(n + l.normal + 8), 0.5f);
  EXPECT_EQ(FloatAt(n + l.texture), 0.5f);
  // Both parts keep the long triangle's winding: seen from +y, A C B turns one way.
  const uint16_t newIndex = static_cast<uint16_t>(g.count);
  int parts = 0;
  for (const AbtGeometryPiece& p : s.pieces) {
    for (const Tri& t : Triangles(p.m_Triangles)) {
      if (std::find(t.begin(), t.end(), newIndex) == t.end()) continue;
      ++parts;
      D3DXVECTOR3 q[3];
      for (int k = 0; k < 3; ++k) std::memcpy(&q[k].x, &s.vertices[static_cast<size_t>(t[k]) * l.stride], 12);
      const D3DXVECTOR3 e1 = q[1] - q[0], e2 = q[2] - q[0];
      // The y of e1 x e2 has the sign it has for A C B: 0.9 x 200 - 100 x 1 > 0.
      EXPECT_GT(e1.z * e2.x - e1.x * e2.z, 0.0f);
    }
  }
  EXPECT_EQ(parts, 2);
}

TEST(AbtSplitGeometry, SkinnedCutVerticesKeepTheNearerCornersWeights) {
  for (uint32_t code : {8u, 16u}) {
    VertexFields a, b;
    a.fill = 0x11;
    b.fill = 0x22;
    a.normal = D3DXVECTOR3(1, 0, 0);
    b.normal = D3DXVECTOR3(0, 0, 1);
    a.colour = 0;
    b.colour = 0xFFFFFFFFu;
    const Geometry g = LongTriangle(code, 300.0f, &a, &b);  // t = 0.25: nearer to A
    const Split s = RunSplit(g, D3DXVECTOR3(10, 0, 1), D3DXVECTOR3(-10, 0, 0));
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.count, g.count + 1) << code;
    const Layout l(code);
    const uint8_t* n = &s.vertices[static_cast<size_t>(g.count) * l.stride];
    for (uint32_t i = 12; i < l.normal; ++i) EXPECT_EQ(n[i], 0x11) << code << " byte " << i;
    for (uint32_t i = l.texture + 8; i < l.stride; ++i) EXPECT_EQ(n[i], 0x11) << code << " byte " << i;
    EXPECT_EQ(FloatAt(n), 0.0f);
    EXPECT_EQ(FloatAt(n + 8), 0.25f);
    EXPECT_EQ(FloatAt(n + l.normal), 0.75f);
    EXPECT_EQ(FloatAt(n + l.normal + 8), 0.25f);
    EXPECT_EQ(U32At(n + l.diffuse), 0x40404040u);  // 0.25 x 255 + 0.5 = 64.25
  }
}

TEST(AbtSplitGeometry, CutsThatWouldPass65535VerticesFail) {
  VertexFields a, b;
  Geometry g = LongTriangle(0, 100.0f, &a, &b);
  while (g.count < 65535) g.Add(VertexFields{});
  const Split s = RunSplit(g, D3DXVECTOR3(10, 0, 1), D3DXVECTOR3(-10, 0, 0));
  EXPECT_FALSE(s.ok);
}

}  // namespace
