// The navigation mesh over meshes the host model hands out: adjacency, the triangle under a
// point, straight walks, the route search and the border slide.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/model_mesh.h"
#include "scene/nav_mesh.h"

namespace {

using Tri = std::vector<vector3>;  // three corners

// A mesh of one part per list of triangles.
struct MeshOf {
  host::ModelMesh mesh;
  NavMesh nav;
  explicit MeshOf(const std::vector<std::vector<Tri>>& parts) {
    std::vector<host::ModelMesh::PartInput> in;
    for (const auto& part : parts) {
      host::ModelMesh::PartInput p;
      for (const Tri& t : part)
        for (const vector3& v : t) p.corners.push_back(D3DVECTOR{v.x, v.y, v.z});
      in.push_back(p);
    }
    mesh.Build(in, {});
    EXPECT_TRUE(nav.BuildFromMesh(&mesh));
  }
  NavTriangle* T(size_t i) { return nav.triangles.at(i); }
};

// Unit squares along x, from x = 0 to x = squares, z from 0 to 1, at height slope * x; each
// square is cut by the diagonal from (i + 1, 0) to (i, 1), clockwise seen from above.
std::vector<Tri> Strip(int squares, float slope = 0.0f, float x0 = 0.0f) {
  std::vector<Tri> out;
  auto v = [&](float x, float z) { return vector3(x0 + x, slope * (x0 + x), z); };
  for (int i = 0; i < squares; ++i) {
    const float x = static_cast<float>(i);
    out.push_back({v(x, 0), v(x, 1), v(x + 1, 0)});
    out.push_back({v(x + 1, 0), v(x, 1), v(x + 1, 1)});
  }
  return out;
}

std::vector<vector3> Points(const NavPath& path) {
  std::vector<vector3> out;
  for (const NavWaypoint& w : path.waypoints) out.push_back(w.point);
  return out;
}

void ExpectNear(const vector3& got, const vector3& want) {
  EXPECT_NEAR(got.x, want.x, 1e-5f);
  EXPECT_NEAR(got.y, want.y, 1e-5f);
  EXPECT_NEAR(got.z, want.z, 1e-5f);
}

TEST(NavMeshBuild, AStripLinksEachDiagonalAndEachSquareSide) {
  MeshOf m({Strip(2)});
  ASSERT_EQ(m.nav.triangles.size(), 4u);
  // Lower triangles: edge 1 is the diagonal. Upper triangles: edge 0 the diagonal, edge 2 the
  // side x = i + 1.
  EXPECT_EQ(m.T(0)->neighbours[0], nullptr);
  EXPECT_EQ(m.T(0)->neighbours[1], m.T(1));
  EXPECT_EQ(m.T(0)->neighbours[2], nullptr);
  EXPECT_EQ(m.T(1)->neighbours[0], m.T(0));
  EXPECT_EQ(m.T(1)->neighbours[1], nullptr);
  EXPECT_EQ(m.T(1)->neighbours[2], m.T(2));
  EXPECT_EQ(m.T(2)->neighbours[0], m.T(1));
  EXPECT_EQ(m.T(2)->neighbours[1], m.T(3));
  EXPECT_EQ(m.T(3)->neighbours[0], m.T(2));
  EXPECT_EQ(m.T(3)->neighbours[2], nullptr);
  // Setup's own values: the centre by thirds, midpoints and their 3D distances.
  ExpectNear(m.T(0)->centre, vector3(1.0f / 3, 0, 1.0f / 3));
  ExpectNear(m.T(0)->midpoints[1], vector3(0.5f, 0, 0.5f));
  // m0 (0, .5), m1 (.5, .5), m2 (.5, 0) in x, z.
  EXPECT_NEAR(m.T(0)->midpointDistances[0], 0.5f, 1e-6f);
  EXPECT_NEAR(m.T(0)->midpointDistances[1], 0.5f, 1e-6f);
  EXPECT_NEAR(m.T(0)->midpointDistances[2], std::sqrt(0.5f), 1e-6f);
  ExpectNear(m.T(0)->planeNormal, vector3(0, 1, 0));
}

TEST(NavMeshBuild, AFanAroundOneCornerLinksItsSpokes) {
  const vector3 o(0, 0, 0), n(0, 0, 1), e(1, 0, 0), s(0, 0, -1), w(-1, 0, 0);
  MeshOf m({{{o, n, e}, {o, e, s}, {o, s, w}, {o, w, n}}});
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(m.T(i)->neighbours[0], m.T((i + 3) % 4)) << i;  // spoke to the previous corner
    EXPECT_EQ(m.T(i)->neighbours[1], nullptr) << i;           // the rim
    EXPECT_EQ(m.T(i)->neighbours[2], m.T((i + 1) % 4)) << i;
  }
}

// A mesh whose index array names a corner past its part's vertex buffer.
class BadIndexMesh final : public IHostMesh {
 public:
  void GetInfo(HostMeshInfo* info) override { info->partCount = 1; }
  bool GetNode(int32_t, HostMeshNode*) override { return false; }
  bool GetPart(int32_t, HostMeshPart* part) override {
    part->vertexBuffer = 0;
    part->triangleCount = 3;  // the third runs past the index array
    part->firstTriangle = 0;
    part->firstVertex = 1;
    return true;
  }
  const HostMeshData* GetData() override { return &data; }

  D3DVECTOR positions[4] = {{9, 9, 9}, {0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
  HostMeshVertexBuffer buffer{4, positions};
  uint16_t indices[6] = {0, 1, 2, 0, 1, 3};  // from the first vertex on: 3 is past the buffer
  HostMeshData data{1, &buffer, 6, indices};
};

TEST(NavMeshBuild, CornersOutsideTheBufferLeaveTheirTriangleOut) {
  BadIndexMesh mesh;
  NavMesh nav;
  EXPECT_TRUE(nav.BuildFromMesh(&mesh));
  ASSERT_EQ(nav.triangles.size(), 1u);
  ExpectNear(nav.triangles[0]->a, vector3(0, 0, 0));  // counted from the part's first vertex
  ExpectNear(nav.triangles[0]->c, vector3(1, 0, 0));
  // A rebuild replaces, and no mesh at all leaves none.
  EXPECT_TRUE(nav.BuildFromMesh(nullptr));
  EXPECT_TRUE(nav.triangles.empty());
  EXPECT_EQ(nav.FindTriangleBelow(vector3(0, 0, 0)), nullptr);
}

TEST(NavMeshQueries, APointOnASharedEdgeGoesToTheNearestPlaneAndTheEarlierOnATie) {
  // Two stacked copies of one square: the lower at 0, the upper at 2.
  std::vector<Tri> low = Strip(1), high = Strip(1);
  for (Tri& t : high)
    for (vector3& v : t) v.y = 2.0f;
  MeshOf m({low, high});
  // On the diagonal both triangles of a floor contain the point and their heights tie.
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(0.5f, 0.2f, 0.5f)), m.T(0));
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(0.5f, 1.8f, 0.5f)), m.T(2));
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(0.5f, 1.0f, 0.5f)), m.T(0));
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(0.8f, 1.1f, 0.8f)), m.T(3));
}

TEST(NavMeshQueries, APointOffTheMeshGoesToTheTriangleWhoseBorderIsNearest) {
  MeshOf m({Strip(2)});
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(5.0f, 0.0f, 0.5f)), m.T(3));
  EXPECT_EQ(m.nav.FindTriangleBelow(vector3(-3.0f, 0.0f, 0.2f)), m.T(0));
  // LocatePoint pulls it in toward the centre, onto the plane.
  MeshOf slope({Strip(2, 0.5f)});
  const vector3 p = slope.nav.LocatePoint(slope.T(3), vector3(5.0f, 0.0f, 0.5f));
  EXPECT_LT(p.x, 2.0f);
  EXPECT_GT(p.x, 1.6f);
  EXPECT_NEAR(p.y, 0.5f * p.x, 1e-5f);
}

TEST(NavMeshQueries, AVerticalPlaneHasHeightZero) {
  NavTriangle wall(vector3(0, 0, 0), vector3(0, 1, 0), vector3(1, 0, 0));
  wall.Setup();
  EXPECT_EQ(wall.planeNormal.y, 0.0f);
  EXPECT_EQ(wall.Height(0.3f, 0.0f), 0.0f);
  NavTriangle floor(vector3(0, 3, 0), vector3(0, 3, 1), vector3(1, 3, 0));
  floor.Setup();
  EXPECT_FLOAT_EQ(floor.Height(0.2f, 0.2f), 3.0f);
}

TEST(NavMeshQueries, AStraightWalkStopsAtTheBorderAndOnAnEdgeLine) {
  MeshOf m({Strip(2)});
  const vector3 from(0.2f, 0, 0.2f);
  const vector3 across(1.8f, 0, 0.8f), out(0.5f, 0, 2.0f), onEdge(1.0f, 0, 0.5f), inside(1.2f, 0, 0.3f);
  EXPECT_TRUE(m.nav.CanWalkStraight(m.T(0), &from, nullptr, &across));
  EXPECT_FALSE(m.nav.CanWalkStraight(m.T(0), &from, nullptr, &out));
  EXPECT_FALSE(m.nav.CanWalkStraight(m.T(0), &from, nullptr, &onEdge));
  EXPECT_TRUE(m.nav.CanWalkStraight(m.T(0), &from, nullptr, &inside));
}

TEST(NavMeshSearch, OneTriangleGivesTheTwoPointsAsGiven) {
  MeshOf m({Strip(1)});
  NavPath path;
  const vector3 a(0.1f, 5.0f, 0.2f), b(0.3f, -1.0f, 0.1f);
  ASSERT_TRUE(m.nav.FindPath(&path, m.T(0), &a, m.T(0), &b));
  const auto points = Points(path);
  ASSERT_EQ(points.size(), 2u);
  ExpectNear(points[0], a);
  ExpectNear(points[1], b);
  EXPECT_EQ(path.mesh, &m.nav);
  EXPECT_EQ(path.start.triangle, m.T(0));
  EXPECT_EQ(path.destination.triangle, m.T(0));
}

TEST(NavMeshSearch, AcrossAStripTheRoutePassesTheSharedEdgesMidpointsOnThePlane) {
  MeshOf m({Strip(2, 0.5f)});
  NavPath path;
  const vector3 a(0.2f, 0.1f, 0.2f), b(1.8f, 0.9f, 0.8f);
  ASSERT_TRUE(m.nav.FindPath(&path, m.T(0), &a, m.T(3), &b));
  const auto points = Points(path);
  ASSERT_EQ(points.size(), 5u);
  ExpectNear(points[0], a);
  ExpectNear(points[1], vector3(0.5f, 0.25f, 0.5f));  // T0 / T1 diagonal
  ExpectNear(points[2], vector3(1.0f, 0.5f, 0.5f));   // the side x = 1
  ExpectNear(points[3], vector3(1.5f, 0.75f, 0.5f));  // T2 / T3 diagonal
  ExpectNear(points[4], b);
  std::vector<NavTriangle*> cells;
  for (const NavWaypoint& w : path.waypoints) cells.push_back(w.triangle);
  EXPECT_EQ(cells, (std::vector<NavTriangle*>{m.T(0), m.T(0), m.T(1), m.T(2), m.T(3)}));

  // The search state lives in stamps: searches back, forth and again agree.
  NavPath back, again;
  ASSERT_TRUE(m.nav.FindPath(&back, m.T(3), &b, m.T(0), &a));
  EXPECT_EQ(back.waypoints.size(), 5u);
  ASSERT_TRUE(m.nav.FindPath(&again, m.T(0), &a, m.T(3), &b));
  const auto repeated = Points(again);
  ASSERT_EQ(repeated.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) ExpectNear(repeated[i], points[i]);
  EXPECT_EQ(m.nav.searchCounter, 3);
}

TEST(NavMeshSearch, TwoIslandsGiveFalseAndTheOldWaypointsStay) {
  MeshOf m({Strip(1), Strip(1, 0.0f, 5.0f)});
  NavPath path;
  const vector3 a(0.2f, 0, 0.2f), b(0.8f, 0, 0.8f), far(5.2f, 0, 0.2f);
  ASSERT_TRUE(m.nav.FindPath(&path, m.T(0), &a, m.T(1), &b));
  const auto before = Points(path);
  EXPECT_FALSE(m.nav.FindPath(&path, m.T(0), &a, m.T(2), &far));
  const auto after = Points(path);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) ExpectNear(after[i], before[i]);
  EXPECT_EQ(path.destination.triangle, m.T(1));
  // A mesh without triangles has no first triangle to search from.
  NavMesh empty;
  EXPECT_FALSE(empty.FindPath(&path, nullptr, &a, nullptr, &b));
  EXPECT_EQ(path.waypoints.size(), before.size());
}

TEST(NavMeshSearch, AnEdgeOfThreeTrianglesRoutesOnlyAlongLinksBothWays) {
  // T1 and T2 both sit on T0's diagonal; T2, built last, takes T0's link, and T1 keeps a link to
  // T0 that T0 does not return.
  const vector3 p(0, 0, 0), q(0, 0, 1), r(1, 0, 0), s(1, 0, 1), up(1, 5, 1);
  MeshOf m({{{p, q, r}, {r, q, s}, {r, q, up}}});
  EXPECT_EQ(m.T(0)->neighbours[1], m.T(2));
  EXPECT_EQ(m.T(1)->neighbours[0], m.T(0));
  EXPECT_EQ(m.T(2)->neighbours[0], m.T(0));

  NavPath path;
  const vector3 a(0.2f, 0, 0.2f), b(0.8f, 0, 0.8f), high(0.8f, 4, 0.8f);
  path.waypoints.push_back(NavWaypoint{vector3(7, 7, 7), nullptr});
  // T0 cannot be entered from T1 across a link it does not share: no route, path untouched.
  EXPECT_FALSE(m.nav.FindPath(&path, m.T(0), &a, m.T(1), &b));
  ASSERT_EQ(path.waypoints.size(), 1u);
  ExpectNear(path.waypoints.front().point, vector3(7, 7, 7));
  // The link both ways carries a route of three waypoints.
  ASSERT_TRUE(m.nav.FindPath(&path, m.T(0), &a, m.T(2), &high));
  const auto points = Points(path);
  ASSERT_EQ(points.size(), 3u);
  ExpectNear(points[1], vector3(0.5f, 0, 0.5f));
}

TEST(NavMeshSearch, TheStepCostIsIndexedByTheDifferenceOfEdgeNumbers) {
  // One lower triangle entered across edge 0 and left across edge 1 pays midpointDistances[1].
  MeshOf m({Strip(1)});
  m.nav.searchId = 42;
  NavTriangle* t = m.T(0);
  NavTriangle* u = m.T(1);
  t->stamp = 42;
  t->g = 1.0f;
  t->entryEdge = 0;
  u->stamp = 0;
  t->Expand(m.nav);
  EXPECT_EQ(u->stamp, 42);
  EXPECT_FLOAT_EQ(u->g, 1.0f + t->midpointDistances[1]);
  EXPECT_EQ(u->entryEdge, 0);  // u's parent t lies across u's edge 0
  ASSERT_EQ(m.nav.openList.size(), 1u);
  EXPECT_FLOAT_EQ(m.nav.openList[0].f, u->g + u->h);
}

TEST(NavMeshSearch, OfTwoRoutesTheOneWithTheShorterMidpointStepsIsTaken) {
  // A fan of four triangles about the origin, clockwise: S (left to top), A (top to right),
  // D (right to bottom), B (bottom to left). The search runs from D back to S, round by A or by
  // B. A is entered across its edge 2 and left across its edge 0: that step pays
  // midpointDistances[2] = |top - right| / 2 = 1.58, so by A costs 0.5 + 1.58 and by B
  // 0.71 + 0.71. Paying by the leaving edge alone, |C - right| / 2 = 0.5, would go by A.
  const vector3 c(0, 0, 0), left(-1, 0, 0), top(0, 0, 3), right(1, 0, 0), bottom(0, 0, -1);
  MeshOf m({{{c, left, top}, {c, top, right}, {c, right, bottom}, {c, bottom, left}}});
  NavTriangle* s = m.T(0);
  NavTriangle* b = m.T(3);
  NavTriangle* d = m.T(2);
  ASSERT_EQ(s->neighbours[0], b);
  ASSERT_EQ(s->neighbours[2], m.T(1));
  NavPath path;
  const vector3 from(-0.3f, 0, 0.3f), to(0.3f, 0, -0.3f);
  ASSERT_TRUE(m.nav.FindPath(&path, s, &from, d, &to));
  std::vector<NavTriangle*> cells;
  for (const NavWaypoint& w : path.waypoints) cells.push_back(w.triangle);
  EXPECT_EQ(cells, (std::vector<NavTriangle*>{s, s, b, d}));
  const auto points = Points(path);
  ExpectNear(points[2], vector3(0, 0, -0.5f));  // the middle of the edge B shares with D
}

TEST(NavMeshBuild, ATriangleWithNoAreaIsLeftOutAndBridgesNoIslands) {
  // One face on a single corner comes first: it would contain every point at its height.
  const vector3 corner(0, 0, 0);
  std::vector<Tri> first = {{corner, corner, corner}};
  MeshOf m({first, Strip(1), Strip(1, 0.0f, 5.0f)});
  ASSERT_EQ(m.nav.triangles.size(), 4u);
  const vector3 a(0.2f, 0, 0.2f), far(5.2f, 0, 0.2f);
  NavTriangle* under = m.nav.FindTriangleBelow(a);
  NavTriangle* farUnder = m.nav.FindTriangleBelow(far);
  EXPECT_EQ(under, m.T(0));
  EXPECT_EQ(farUnder, m.T(2));
  NavPath path;
  EXPECT_FALSE(m.nav.FindPath(&path, under, &a, farUnder, &far));
}

TEST(NavMeshSlide, ASlideAlongTheBorderEndsInside) {
  MeshOf m({Strip(2)});
  const vector3 from(0.5f, 0, 0.2f);
  vector3 to(1.5f, 0, 3.0f);
  NavTriangle* cell = nullptr;
  m.nav.SlideMove(&from, m.T(0), &to, &cell);
  ASSERT_NE(cell, nullptr);
  EXPECT_GE(to.z, 0.0f);
  EXPECT_LE(to.z, 1.0f);
  EXPECT_GT(to.x, from.x);  // it slid along z = 1 toward the goal's x
  for (NavEdge& e : cell->edges) EXPECT_NE(e.Classify(vector2(to.x, to.z), 1e-4f), 1);

  vector3 found(0, 0, 0);
  NavTriangle* below = nullptr;
  m.nav.FindPointBelow(&found, &below, vector3(1.8f, 3, 0.8f));
  EXPECT_EQ(below, m.T(3));
  ExpectNear(found, vector3(1.8f, 0, 0.8f));
}

}  // namespace
