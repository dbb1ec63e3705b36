// The collision and occluder tree builds: welding, the node partition with its leaf limits,
// cuts and disjoint byte, the occluder polygons, and the loaders that take only whole files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "frame/module_globals.h"
#include "support/abt_build_files.h"
#include "support/abt_build_fixture.h"
#include "support/abt_fixture.h"
#include "visibility/abt_work_stack.h"

using namespace abt_build_testing;
using abt_testing::TreeHost;

namespace {

struct TreeFile {
  bool ok = false;
  std::vector<uint8_t> file;
  std::vector<uint16_t> tags;
  std::vector<std::vector<uint8_t>> bodies;
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtCollisionTriangle> triangles;
  std::vector<AbtOccluderPolygon> polygons;
  std::vector<uint32_t> indices;
  std::vector<D3DXVECTOR3> points;
  std::vector<D3DXPLANE> planes;
};

template <class R>
std::vector<R> Records(const std::vector<uint8_t>& body, size_t size) {
  std::vector<R> out(body.size() / size);
  ByteCursor c(body.data(), body.size());
  for (R& r : out) r.Read(c);
  return out;
}

std::vector<D3DXVECTOR3> Points(const std::vector<uint8_t>& body) {
  std::vector<D3DXVECTOR3> out(body.size() / 12);
  for (size_t i = 0; i < out.size(); ++i) std::memcpy(&out[i].x, &body[12 * i], 12);
  return out;
}

TreeFile Build(TreeHost& h, const std::vector<uint8_t>& input, bool occluder) {
  h.Write("in.bin", input);
  std::filesystem::remove(h.dir.path / "out.tree");
  TreeFile t;
  t.ok = occluder ? h.tree->BuildOccluderTree("in.bin", "out.tree") : h.tree->BuildCollisionTree("in.bin", "out.tree");
  t.file = ReadBytes(h.dir.path / "out.tree");
  for (auto& [tag, body] : Chunks(t.file)) {
    t.tags.push_back(tag);
    t.bodies.push_back(body);
  }
  if (t.bodies.size() != 6) return t;
  if (occluder) {
    t.nodes = Records<AbtIndexNode>(t.bodies[1], 60);
    t.polygons = Records<AbtOccluderPolygon>(t.bodies[2], 12);
    for (size_t i = 0; i < t.bodies[3].size(); i += 4) t.indices.push_back(U32At(&t.bodies[3][i]));
    t.points = Points(t.bodies[4]);
    for (size_t i = 0; i < t.bodies[5].size(); i += 16) {
      D3DXPLANE p;
      std::memcpy(&p, &t.bodies[5][i], 16);
      t.planes.push_back(p);
    }
  } else {
    t.nodes = Records<AbtIndexNode>(t.bodies[3], 60);
    t.triangles = Records<AbtCollisionTriangle>(t.bodies[4], 16);
    t.points = Points(t.bodies[5]);
  }
  return t;
}

std::vector<uint8_t> ScatterInput(int n) {
  InputBuilder in;
  std::vector<VertexFields> v;
  std::vector<uint16_t> t;
  Scatter(n, &v, &t);
  in.Add(v, t);
  return in.Bytes();
}

std::vector<uint8_t> SheetInput(int columns, int rows) {
  InputBuilder in;
  std::vector<VertexFields> v;
  std::vector<uint16_t> t;
  Sheet(columns, rows, 1.0f, 0, 0, 0, &v, &t);
  in.Add(v, t);
  return in.Bytes();
}

D3DXVECTOR3 Normal(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
  const D3DXVECTOR3 e1 = b - a, e2 = c - a;
  D3DXVECTOR3 n;
  D3DXVec3Cross(&n, &e1, &e2);
  return n;
}

bool Inside(const AbtBox& box, const D3DXVECTOR3& p) {
  return p.x >= box.m_vecMin.x && p.y >= box.m_vecMin.y && p.z >= box.m_vecMin.z && p.x <= box.m_vecMax.x &&
         p.y <= box.m_vecMax.y && p.z <= box.m_vecMax.z;
}

TEST(AbtTreeBuild, LeafLimitsAreTenAndThirty) {
  TreeHost h;
  for (int n : {9, 10}) {
    const TreeFile t = Build(h, ScatterInput(n), false);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.tags, (std::vector<uint16_t>{0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000}));
    EXPECT_EQ(t.bodies[0], std::vector<uint8_t>(8, 0));
    EXPECT_EQ(t.nodes.size() == 1, n == 9) << n;
    EXPECT_EQ(t.triangles.size(), static_cast<size_t>(n));
  }
  for (int n : {29, 30}) {
    const TreeFile t = Build(h, ScatterInput(n), true);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.tags, (std::vector<uint16_t>{0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000}));
    EXPECT_EQ(t.nodes.size() == 1, n == 29) << n;
    // Separate triangles of one plane: one polygon each, one plane for all.
    EXPECT_EQ(t.polygons.size(), static_cast<size_t>(n));
    EXPECT_EQ(t.planes.size(), 1u);
  }
}

TEST(AbtTreeBuild, CornersWeldOnlyWhenEqualOnEveryAxis) {
  TreeHost h;
  InputBuilder in;
  const float nudged = std::nextafter(1.0f, 2.0f);
  std::vector<VertexFields> a(3), b(3);
  a[1].position = D3DXVECTOR3(1, 0, 0);
  a[2].position = D3DXVECTOR3(0, 0, 1);
  b[0].position = D3DXVECTOR3(1, 0, 0);  // the same as a[1]
  b[1].position = D3DXVECTOR3(nudged, 0, 1);
  b[2].position = D3DXVECTOR3(0, 0, 1);  // the same as a[2]
  in.Add(a, {0, 1, 2}, 0);
  in.Add(b, {0, 1, 2}, 4, -1, 0);
  const TreeFile t = Build(h, in.Bytes(), false);
  ASSERT_TRUE(t.ok);
  ASSERT_EQ(t.points.size(), 4u);
  EXPECT_EQ(t.points[3], D3DXVECTOR3(nudged, 0, 1));
  ASSERT_EQ(t.triangles.size(), 2u);
  EXPECT_EQ(t.triangles[1].m_Points[0], 1u);
  EXPECT_EQ(t.triangles[1].m_Points[1], 3u);
  EXPECT_EQ(t.triangles[1].m_Points[2], 2u);
}

TEST(AbtTreeBuild, EveryPieceLiesInOneLeafInsideItsBoxWithItsWinding) {
  TreeHost h;
  const TreeFile t = Build(h, SheetInput(10, 10), false);
  ASSERT_TRUE(t.ok);
  ASSERT_GT(t.nodes.size(), 1u);
  // The root box is the input's scene box.
  EXPECT_EQ(t.nodes[0].m_Box.m_vecMin, D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(t.nodes[0].m_Box.m_vecMax, D3DXVECTOR3(10, 0, 10));
  std::vector<int> owner(t.triangles.size(), -1);
  float area = 0.0f;
  for (size_t i = 0; i < t.nodes.size(); ++i) {
    const AbtIndexNode& n = t.nodes[i];
    if (!n.IsLeaf()) {
      EXPECT_EQ(n.m_nCount, 0);
      for (int32_t c : {n.m_nChildA, n.m_nChildB}) {
        if (c == -1) continue;
        EXPECT_EQ(t.nodes[c].m_nParent, static_cast<int32_t>(i));
      }
      if (n.m_nChildA != -1 && n.m_nChildB != -1) {
        // Touching boxes do not overlap.
        const AbtBox& a = t.nodes[n.m_nChildA].m_Box;
        const AbtBox& b = t.nodes[n.m_nChildB].m_Box;
        bool overlap = true;
        for (int k = 0; k < 3; ++k)
          overlap = overlap && (&a.m_vecMin.x)[k] < (&b.m_vecMax.x)[k] && (&b.m_vecMin.x)[k] < (&a.m_vecMax.x)[k];
        EXPECT_EQ(n.m_bDisjointChildren, overlap ? 0 : 1) << i;
      }
      continue;
    }
    EXPECT_LT(n.m_nCount, 10);
    for (int32_t k = 0; k < n.m_nCount; ++k) {
      ASSERT_EQ(owner[n.m_nFirst + k], -1);
      owner[n.m_nFirst + k] = static_cast<int>(i);
      const AbtCollisionTriangle& tri = t.triangles[n.m_nFirst + k];
      const D3DXVECTOR3 &p0 = t.points[tri.m_Points[0]], &p1 = t.points[tri.m_Points[1]],
                        &p2 = t.points[tri.m_Points[2]];
      for (const D3DXVECTOR3* p : {&p0, &p1, &p2}) EXPECT_TRUE(Inside(n.m_Box, *p)) << i;
      const D3DXVECTOR3 normal = Normal(p0, p1, p2);
      EXPECT_GE(normal.y, 0.0f);  // the sheet's triangles all face +y
      area += normal.y * 0.5f;
    }
  }
  EXPECT_EQ(std::count(owner.begin(), owner.end(), -1), 0);
  EXPECT_NEAR(area, 100.0f, 1e-3f);
}

std::vector<AbtCollisionTriangle> Tris(std::initializer_list<std::array<uint32_t, 3>> list) {
  std::vector<AbtCollisionTriangle> out;
  for (const auto& t : list) {
    AbtCollisionTriangle c;
    std::copy(t.begin(), t.end(), c.m_Points);
    out.push_back(c);
  }
  return out;
}

TEST(AbtTreeBuild, AOneSidedSplitMakesOneStoppedChild) {
  // Twelve triangles at one point: no axis separates them; x divides with an empty side.
  std::vector<D3DXVECTOR3> points = {D3DXVECTOR3(1, 1, 1)};
  std::vector<AbtCollisionTriangle> tris(12);
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtCollisionTriangle> out;
  CAdaptiveBinaryTree::BuildNodeTree(D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(0, 0, 0), tris, &points, &nodes, &out, 10);
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].m_nChildA, 1);
  EXPECT_EQ(nodes[0].m_nChildB, -1);
  EXPECT_EQ(nodes[0].m_bDisjointChildren, 1);
  EXPECT_EQ(nodes[1].m_nCount, 12);
  EXPECT_EQ(out.size(), 12u);
}

TEST(AbtTreeBuild, TouchingChildrenAreDisjointAndCopiesEndInLeaves) {
  // Five triangles in x 0..1 and five in x 1..2: the plane at 1 separates them and the boxes
  // touch there.
  std::vector<D3DXVECTOR3> points;
  std::vector<AbtCollisionTriangle> tris;
  for (int i = 0; i < 10; ++i) {
    const float x = i < 5 ? 0.0f : 1.0f, z = 0.1f * static_cast<float>(i % 5);
    const auto base = static_cast<uint32_t>(points.size());
    points.insert(points.end(), {D3DXVECTOR3(x, 0, z), D3DXVECTOR3(x, 0, z + 0.05f), D3DXVECTOR3(x + 1, 0, z)});
    tris.push_back(Tris({{base, base + 1, base + 2}})[0]);
  }
  std::vector<AbtIndexNode> nodes;
  std::vector<AbtCollisionTriangle> out;
  CAdaptiveBinaryTree::BuildNodeTree(D3DXVECTOR3(2, 0, 0.45f), D3DXVECTOR3(0, 0, 0), tris, &points, &nodes, &out, 10);
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[1].m_Box.m_vecMax.x, 1.0f);
  EXPECT_EQ(nodes[2].m_Box.m_vecMin.x, 1.0f);
  EXPECT_EQ(nodes[0].m_bDisjointChildren, 1);
  // The right child comes off the stack first: its triangles lead the output.
  EXPECT_EQ(nodes[2].m_nFirst, 0);
  EXPECT_EQ(nodes[1].m_nFirst, 5);

  // Twelve copies of one triangle: every division cuts them all, so neither side is smaller;
  // both stop rather than divide the same way again and again.
  std::vector<D3DXVECTOR3> p = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0)};
  std::vector<AbtCollisionTriangle> copies(12, Tris({{0, 1, 2}})[0]);
  nodes.clear();
  out.clear();
  CAdaptiveBinaryTree::BuildNodeTree(D3DXVECTOR3(1, 0, 1), D3DXVECTOR3(0, 0, 0), copies, &p, &nodes, &out, 10);
  EXPECT_LE(nodes.size(), 3u);
  EXPECT_GE(out.size(), 12u);
}

float Area(const std::vector<uint32_t>& outline, const std::vector<D3DXVECTOR3>& points, const D3DXVECTOR3& n) {
  D3DXVECTOR3 sum(0, 0, 0);
  for (size_t i = 1; i + 1 < outline.size(); ++i) sum += Normal(points[outline[0]], points[outline[i]], points[outline[i + 1]]);
  return D3DXVec3Dot(&sum, &n) * 0.5f;
}

bool Convex(const std::vector<uint32_t>& outline, const std::vector<D3DXVECTOR3>& points, const D3DXVECTOR3& n) {
  for (size_t i = 0; i < outline.size(); ++i) {
    const D3DXVECTOR3 turn = Normal(points[outline[i]], points[outline[(i + 1) % outline.size()]],
                                    points[outline[(i + 2) % outline.size()]]);
    if (D3DXVec3Dot(&turn, &n) < -1e-6f) return false;
  }
  return true;
}

struct Polygons {
  std::vector<AbtOccluderPolygon> polygons;
  std::vector<uint32_t> indices;
  std::vector<uint32_t> Outline(size_t i) const {
    return std::vector<uint32_t>(indices.begin() + polygons[i].m_nFirst,
                                 indices.begin() + polygons[i].m_nFirst + polygons[i].m_nVertexCount);
  }
};

Polygons Merge(std::vector<AbtCollisionTriangle> tris, const std::vector<D3DXVECTOR3>& points) {
  Polygons p;
  AbtPlaneMap planes;
  uint32_t counter = 0;
  g_OccluderPlanes.clear();
  CAdaptiveBinaryTree::BuildOccluderPolygons(tris.data(), static_cast<uint32_t>(tris.size()), points, &planes,
                                             &counter, &p.polygons, &p.indices);
  EXPECT_EQ(counter, g_OccluderPlanes.size());
  return p;
}

TEST(AbtOccluderPolygons, AnLShapeMergesIntoConvexPolygonsCoveringItsTriangles) {
  // Three unit squares in an L at y = 0, two triangles each, facing +y.
  std::vector<D3DXVECTOR3> points;
  for (int z = 0; z <= 2; ++z)
    for (int x = 0; x <= 2; ++x) points.push_back(D3DXVECTOR3(static_cast<float>(x), 0, static_cast<float>(z)));
  auto at = [](uint32_t x, uint32_t z) { return z * 3 + x; };
  std::vector<AbtCollisionTriangle> tris;
  for (auto [x, z] : {std::pair<uint32_t, uint32_t>{0, 0}, {1, 0}, {0, 1}}) {
    tris.push_back(Tris({{at(x, z), at(x, z + 1), at(x + 1, z + 1)}})[0]);
    tris.push_back(Tris({{at(x, z), at(x + 1, z + 1), at(x + 1, z)}})[0]);
  }
  const Polygons p = Merge(tris, points);
  ASSERT_EQ(g_OccluderPlanes.size(), 1u);
  const D3DXPLANE& plane = g_OccluderPlanes[0];
  EXPECT_FLOAT_EQ(plane.b, 1.0f);  // a p = d with the normal of the corner order
  EXPECT_FLOAT_EQ(plane.d, 0.0f);
  const D3DXVECTOR3 up(0, 1, 0);
  ASSERT_GE(p.polygons.size(), 2u);  // the L is not convex
  float area = 0.0f;
  for (size_t i = 0; i < p.polygons.size(); ++i) {
    const std::vector<uint32_t> outline = p.Outline(i);
    EXPECT_TRUE(Convex(outline, points, up)) << i;
    EXPECT_EQ(std::set<uint32_t>(outline.begin(), outline.end()).size(), outline.size());
    area += Area(outline, points, up);
  }
  EXPECT_FLOAT_EQ(area, 3.0f);
  EXPECT_EQ(p.polygons[0].m_nFirst, 0u);
  EXPECT_EQ(p.polygons[0].m_nPlane, 0u);
}

TEST(AbtOccluderPolygons, PlanesApartInNormalOrOnlyTouchingAtACornerStaySeparate) {
  std::vector<D3DXVECTOR3> points = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0),
                                     D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(-1, 0, -1), D3DXVECTOR3(-1, 0, 0)};
  // Two planes through the origin (equal d) with normals y and x, sharing the edge 0-1; and a
  // triangle of the y plane that shares only the corner 0 with the first.
  const Polygons p = Merge(Tris({{0, 1, 2}, {1, 0, 3}, {0, 4, 5}}), points);
  ASSERT_EQ(g_OccluderPlanes.size(), 2u);
  EXPECT_EQ(p.polygons.size(), 3u);
  for (const AbtOccluderPolygon& poly : p.polygons) EXPECT_EQ(poly.m_nVertexCount, 3u);
  // A triangle without area makes no polygon and no plane.
  const Polygons none = Merge(Tris({{0, 0, 1}}), points);
  EXPECT_TRUE(none.polygons.empty());
  EXPECT_TRUE(g_OccluderPlanes.empty());
}

// The greedy merge one triangle at a time over the whole rest, for triangles of one plane facing
// +y at whole coordinates: the first left opens a polygon, each later one joins when it runs an
// outline edge the other way (the first such edge in outline order), its third corner is not on
// the outline and the outline stays convex.
std::vector<std::vector<uint32_t>> MergeOneByOne(std::vector<AbtCollisionTriangle> rest,
                                                 const std::vector<D3DXVECTOR3>& points) {
  auto turnsRight = [&](uint32_t a, uint32_t b, uint32_t c) {
    return Normal(points[a], points[b], points[c]).y < 0.0f;
  };
  std::vector<std::vector<uint32_t>> out;
  while (!rest.empty()) {
    std::vector<uint32_t> outline(rest[0].m_Points, rest[0].m_Points + 3);
    std::vector<AbtCollisionTriangle> left;
    for (size_t t = 1; t < rest.size(); ++t) {
      const uint32_t* p = rest[t].m_Points;
      bool joined = false;
      for (size_t i = 0, n = outline.size(); i < n; ++i) {
        int k = 0;
        while (k < 3 && !(p[k] == outline[(i + 1) % n] && p[(k + 1) % 3] == outline[i])) ++k;
        if (k == 3) continue;
        const uint32_t apex = p[(k + 2) % 3];
        if (std::find(outline.begin(), outline.end(), apex) != outline.end()) break;
        std::vector<uint32_t> grown = outline;
        grown.insert(grown.begin() + static_cast<std::ptrdiff_t>(i) + 1, apex);
        bool convex = true;
        for (size_t j = 0; j < grown.size(); ++j)
          convex = convex && !turnsRight(grown[j], grown[(j + 1) % grown.size()], grown[(j + 2) % grown.size()]);
        if (convex) outline = std::move(grown);
        joined = convex;
        break;
      }
      if (!joined) left.push_back(rest[t]);
    }
    out.push_back(outline);
    rest = std::move(left);
  }
  return out;
}

TEST(AbtOccluderPolygons, MergeAsTheGreedyWalkOverTheWholeRestDoes) {
  // Soups of triangles over a 5 x 5 grid, facing +y, with runs of copies and neighbours both
  // ways round an edge; collinear triples have no area and are left out on both sides.
  std::vector<D3DXVECTOR3> points;
  for (int z = 0; z < 5; ++z)
    for (int x = 0; x < 5; ++x) points.push_back(D3DXVECTOR3(static_cast<float>(x), 0, static_cast<float>(z)));
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<AbtCollisionTriangle> tris;
    const size_t count = 1 + random() % 120;
    while (tris.size() < count) {
      if (!tris.empty() && random() % 3 == 0) {
        tris.push_back(tris[random() % tris.size()]);  // a copy
        continue;
      }
      AbtCollisionTriangle t;
      for (uint32_t& p : t.m_Points) p = static_cast<uint32_t>(random() % points.size());
      const D3DXVECTOR3 n = Normal(points[t.m_Points[0]], points[t.m_Points[1]], points[t.m_Points[2]]);
      if (n.y == 0.0f) continue;
      if (n.y < 0.0f) std::swap(t.m_Points[1], t.m_Points[2]);
      tris.push_back(t);
    }
    const Polygons p = Merge(tris, points);
    const std::vector<std::vector<uint32_t>> expected = MergeOneByOne(tris, points);
    ASSERT_EQ(p.polygons.size(), expected.size()) << "round " << round;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(p.Outline(i), expected[i]) << "round " << round;
  }
}

TEST(AbtTreeBuild, TheOccluderTreeNamesPolygonsInItsLeaves) {
  TreeHost h;
  const TreeFile t = Build(h, SheetInput(8, 8), true);
  ASSERT_TRUE(t.ok);
  ASSERT_GT(t.nodes.size(), 1u);
  int32_t covered = 0;
  float area = 0.0f;
  for (const AbtIndexNode& n : t.nodes) {
    if (!n.IsLeaf()) continue;
    EXPECT_EQ(n.m_nFirst, covered);  // leaves name consecutive runs
    covered += n.m_nCount;
    for (int32_t i = 0; i < n.m_nCount; ++i) {
      const AbtOccluderPolygon& poly = t.polygons[n.m_nFirst + i];
      std::vector<uint32_t> outline(t.indices.begin() + poly.m_nFirst,
                                    t.indices.begin() + poly.m_nFirst + poly.m_nVertexCount);
      EXPECT_TRUE(Convex(outline, t.points, D3DXVECTOR3(0, 1, 0)));
      area += Area(outline, t.points, D3DXVECTOR3(0, 1, 0));
      EXPECT_EQ(t.planes[poly.m_nPlane].b, 1.0f);
    }
  }
  EXPECT_EQ(covered, static_cast<int32_t>(t.polygons.size()));
  EXPECT_NEAR(area, 64.0f, 1e-3f);
  EXPECT_LT(t.polygons.size(), 128u);  // triangles did merge
}

TEST(AbtTreeLoad, ATreeLoadsAndAnswersAsBruteForce) {
  TreeHost h;
  const TreeFile t = Build(h, SheetInput(10, 10), false);
  ASSERT_TRUE(t.ok);
  ASSERT_TRUE(h.tree->LoadCollisionTree("out.tree"));
  D3DXVECTOR3 mx, mn;
  h.tree->GetCollisionBounds(&mx, &mn);
  EXPECT_EQ(mx, D3DXVECTOR3(10, 0, 10));
  for (float x : {0.25f, 3.5f, 7.75f, 12.0f}) {
    const D3DXVECTOR3 a(x, 2, 4.5f), b(x, -2, 4.5f);
    const float expected = x <= 10.0f ? 0.5f : 3.4e38f;
    EXPECT_FLOAT_EQ(h.tree->RayDistance(&a, &b), expected) << x;
  }
  // A reload replaces the arrays.
  ASSERT_TRUE(Build(h, ScatterInput(3), false).ok);
  ASSERT_TRUE(h.tree->LoadCollisionTree("out.tree"));
  h.tree->GetCollisionBounds(&mx, &mn);
  EXPECT_EQ(mx, D3DXVECTOR3(2.5f, 0, 0.5f));
  const TreeFile o = Build(h, SheetInput(4, 4), true);
  ASSERT_TRUE(h.tree->LoadOccluderTree("out.tree"));
  ASSERT_TRUE(h.tree->LoadOccluderTree("out.tree"));
}

TEST(AbtTreeBuild, TheRootEnclosesEveryPointWhateverBoxTheHeaderClaims) {
  // The 10 x 10 sheet under a header box too small, one turned inside out, and one elsewhere.
  const std::vector<std::array<float, 6>> frames = {
      {1, 1, 1, 0, 0, 0}, {-10, -1, -10, 5, 0, 5}, {2, 2, 2, 100, 100, 100}};
  for (const auto& frame : frames) {
    TreeHost h;
    std::vector<uint8_t> input = SheetInput(10, 10);
    for (int k = 0; k < 6; ++k) PutFloat(input, 44 + 4 * k, frame[k]);
    for (bool occluder : {false, true}) {
      const TreeFile t = Build(h, input, occluder);
      ASSERT_TRUE(t.ok);
      for (const D3DXVECTOR3& p : t.points) EXPECT_TRUE(Inside(t.nodes[0].m_Box, p)) << frame[0] << " " << frame[3];
    }
    ASSERT_TRUE(Build(h, input, false).ok);
    ASSERT_TRUE(h.tree->LoadCollisionTree("out.tree"));
    for (float x : {0.25f, 3.5f, 7.75f}) {
      const D3DXVECTOR3 a(x, 2, 4.5f), b(x, -2, 4.5f);
      EXPECT_FLOAT_EQ(h.tree->RayDistance(&a, &b), 0.5f) << x << " under " << frame[0] << " " << frame[3];
    }
  }
}

// 512 items fit; the 513th raises _EXS with the split's line and is not taken.
template <int Line>
void ExpectStackOf512(const std::string& logged) {
  TreeHost h;
  AbtWorkStack<std::vector<int>, Line> stack;
  for (int i = 0; i < 512; ++i) stack.Push(std::vector<int>{i});
  EXPECT_EQ(h.RegistryLines("User Rised Exception"), 0);
  EXPECT_THROW(stack.Push(std::vector<int>{512}), _EXS);
  EXPECT_EQ(h.RegistryLines("User Rised Exception"), 1);
  EXPECT_EQ(h.RegistryLines(logged), 1);
  ASSERT_EQ(stack.Size(), 512u);
  EXPECT_EQ(stack.Pop(), std::vector<int>{511});
}

TEST(AbtTreeBuild, TheNodeAndSplitStacksHold512AndRaiseWithTheirLines) {
  ExpectStackOf512<kAbtNodeStackLine>("AdaptiveBinaryTree line 1425");
  ExpectStackOf512<kAbtSplitStackLine>("AdaptiveBinaryTree line 3495");
}

void PutI32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// The offset of chunk `index`'s body in a tree file.
size_t BodyAt(const std::vector<uint8_t>& file, int index) {
  size_t at = 0;
  for (int i = 0; i < index; ++i) at += 6 + U32At(&file[at + 2]);
  return at + 6;
}

TEST(AbtTreeLoad, DamagedFilesAreRefusedAndTheTreeKeepsItsArrays) {
  TreeHost h;
  const TreeFile good = Build(h, SheetInput(6, 6), false);
  ASSERT_TRUE(good.ok);
  ASSERT_GT(good.nodes.size(), 3u);
  const TreeFile other = Build(h, ScatterInput(3), false);
  h.Write("kept.tree", other.file);
  ASSERT_TRUE(h.tree->LoadCollisionTree("kept.tree"));
  auto kept = [&h] {
    D3DXVECTOR3 mx, mn;
    h.tree->GetCollisionBounds(&mx, &mn);
    return mx == D3DXVECTOR3(2.5f, 0, 0.5f);
  };
  auto refused = [&h](const std::vector<uint8_t>& bytes) {
    h.Write("bad.tree", bytes);
    return !h.tree->LoadCollisionTree("bad.tree");
  };
  for (size_t n = 0; n < good.file.size(); n += 7)
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.file.begin(), good.file.begin() + static_cast<long>(n)))) << n;
  const size_t nodes = BodyAt(good.file, 3), triangles = BodyAt(good.file, 4);
  int inner = 0;
  while (good.nodes[inner].IsLeaf()) ++inner;
  int leaf = 0;
  while (!good.nodes[leaf].IsLeaf()) ++leaf;
  struct Damage {
    size_t at;
    int32_t value;
    const char* what;
  };
  const Damage damages[] = {
      {nodes + 60 * inner + 40, static_cast<int32_t>(good.nodes.size()), "child past the nodes"},
      {nodes + 60 * inner + 40, inner, "child naming its parent"},
      {nodes + 60 * inner + 44, good.nodes[inner].m_nChildA, "both children the same"},
      {nodes + 60 * 1 + 36, 2, "parent that does not name it"},
      {nodes + 36, 0, "root with a parent"},
      {nodes + 60 * leaf + 48, static_cast<int32_t>(good.triangles.size()) + 1, "leaf past the triangles"},
      {nodes + 60 * leaf + 52, -1, "negative first"},
      {triangles + 4, static_cast<int32_t>(good.points.size()), "point past the points"},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> b = good.file;
    PutI32(b, d.at, d.value);
    EXPECT_TRUE(refused(b)) << d.what;
  }
  std::vector<uint8_t> swapped = good.file;
  swapped[BodyAt(good.file, 4) - 5] = 0x60;  // the triangles' tag where the points' should come
  EXPECT_TRUE(refused(swapped));
  std::vector<uint8_t> partial = good.file;
  PutI32(partial, nodes - 4, 59);  // a node chunk that ends inside a record
  EXPECT_TRUE(refused(partial));
  EXPECT_TRUE(kept());

  // The occluder loader: a polygon past the planes or the indices, an index past the points.
  const TreeFile occluder = Build(h, SheetInput(4, 4), true);
  ASSERT_TRUE(occluder.ok);
  const size_t polygons = BodyAt(occluder.file, 2), indices = BodyAt(occluder.file, 3);
  for (auto [at, value] : {std::pair<size_t, int32_t>{polygons, static_cast<int32_t>(occluder.planes.size())},
                           {polygons + 4, static_cast<int32_t>(occluder.indices.size()) + 1},
                           {indices, static_cast<int32_t>(occluder.points.size())}}) {
    std::vector<uint8_t> b = occluder.file;
    PutI32(b, at, value);
    h.Write("bad.occluder", b);
    EXPECT_FALSE(h.tree->LoadOccluderTree("bad.occluder")) << at;
  }
  h.Write("good.occluder", occluder.file);
  EXPECT_TRUE(h.tree->LoadOccluderTree("good.occluder"));
  EXPECT_FALSE(h.tree->LoadOccluderTree("kept.tree"));
}

TEST(AbtTreeBuild, AFailedWriteOrABadInputAnswersFalse) {
  TreeHost h;
  const std::vector<uint8_t> input = SheetInput(3, 3);
  FailingFiles failing(h.ini.get());
  IIniService* real = g_pIniService;
  g_pIniService = &failing;
  for (bool occluder : {false, true}) {
    for (int writes : {0, 3, 9}) {
      failing.writesBeforeFailure = writes;
      EXPECT_FALSE(Build(h, input, occluder).ok) << occluder << " " << writes;
    }
  }
  failing.writesBeforeFailure = -1;
  EXPECT_TRUE(Build(h, input, true).ok);
  g_pIniService = real;
  std::vector<uint8_t> wrong = input;
  wrong[1] = 0;
  EXPECT_FALSE(Build(h, wrong, false).ok);
  EXPECT_FALSE(Build(h, wrong, true).ok);
  EXPECT_FALSE(std::filesystem::exists(h.dir.path / "out.tree"));
}

}  // namespace
