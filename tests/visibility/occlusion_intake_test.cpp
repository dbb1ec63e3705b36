// Occluder intake: back faces, the near clip and its welding, the view clip, screen areas,
// edges and depth planes, the 16-bit limits and the assertion protocol.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "support/occlusion_fixture.h"

using occlusion_testing::AxisCamera;
using occlusion_testing::Ndc;
using occlusion_testing::OcclusionHost;
using occlusion_testing::OracleOccluder;
using occlusion_testing::Polygon;
using occlusion_testing::Wall;
using Hook = OcclusionSystemTestHook;

namespace {

struct Intake : OcclusionHost {
  Intake() { Setup(AxisCamera()); }
};

// A regular polygon of `corners` points around screen point (cx, cy) at depth z, turned a
// little so that no edge is horizontal.
OracleOccluder Ring(float cx, float cy, float radius, int corners, float z) {
  std::vector<D3DXVECTOR3> points;
  for (int i = 0; i < corners; ++i) {
    const float a = 0.013f + 6.2831853f * static_cast<float>(i) / static_cast<float>(corners);
    points.push_back(Ndc(cx + radius * std::cos(a), cy + radius * std::sin(a), z));
  }
  return Polygon(AxisCamera(), points);
}

}  // namespace

TEST(OcclusionIntake, PolygonsSeenEdgeOnFromBehindOrMalformedAreIgnored) {
  Intake h;
  // The eye (the origin) lies exactly in the plane x = 0.
  const D3DXVECTOR3 side[3] = {{0, -1, 5}, {0, 1, 5}, {0, 0, 9}};
  const uint32_t idx[4] = {0, 1, 2, 0};
  h.sys->AddOccluder(idx, 3, side, D3DXPLANE(1, 0, 0, 0));
  // Seen from behind.
  OracleOccluder back = Wall(-0.5f, -0.5f, 0.5f, 0.5f, 10.0f);
  back.normal = -back.normal;
  back.d = -back.d;
  h.Add(back);
  // Two points, a point at infinity, a plane that is not finite.
  const OracleOccluder wall = Wall(-0.5f, -0.5f, 0.5f, 0.5f, 10.0f);
  const D3DXPLANE plane(wall.normal.x, wall.normal.y, wall.normal.z, wall.d);
  h.sys->AddOccluder(idx, 2, wall.points.data(), plane);
  D3DXVECTOR3 bad[3] = {wall.points[0], wall.points[1], D3DXVECTOR3(INFINITY, 0, 10)};
  h.sys->AddOccluder(idx, 3, bad, plane);
  h.sys->AddOccluder(idx, 3, wall.points.data(), D3DXPLANE(wall.normal.x, NAN, wall.normal.z, wall.d));
  // Wholly behind the near plane (z = 1).
  h.Add(Wall(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f));
  EXPECT_TRUE(Hook::Surfaces(*h.sys).empty());
  EXPECT_TRUE(Hook::Edges(*h.sys).empty());
  h.Add(wall);
  EXPECT_EQ(Hook::Surfaces(*h.sys).size(), 1u);
}

TEST(OcclusionIntake, AWallBecomesItsSideEdgesATwiceAreaAndItsDepthPlane) {
  Intake h;
  h.Add(Wall(-0.5f, -0.25f, 0.5f, 0.75f, 10.0f));
  ASSERT_EQ(Hook::Surfaces(*h.sys).size(), 1u);
  // Twice the screen area: 2 x (1 x 1).
  EXPECT_NEAR(Hook::Surfaces(*h.sys)[0].m_flArea, 2.0f, 1e-4f);
  // Top and bottom are horizontal and dropped; the sides run down the screen from y = -0.25.
  const auto& edges = Hook::Edges(*h.sys);
  ASSERT_EQ(edges.size(), 2u);
  for (const OcclusionEdge& e : edges) {
    EXPECT_NEAR(e.m_vecPosition.y, -0.25f, 1e-5f);
    EXPECT_NEAR(e.m_vecPositionEnd.y, 0.75f, 1e-5f);
    EXPECT_NEAR(std::fabs(e.m_vecPosition.x), 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(e.m_flDxDy, 0.0f);
    EXPECT_NEAR(e.m_flInvHeight, 1.0f, 1e-4f);
    EXPECT_EQ(e.SurfaceID(), 0);
  }
  EXPECT_EQ(Hook::EdgeIndices(*h.sys), (std::vector<uint16_t>{0, 1}));
}

TEST(OcclusionIntake, TheDepthPlaneGivesTheProjectedDepthOfEveryPointOfATiltedOccluder) {
  Intake h;
  const OracleOccluder tilted =
      Polygon(AxisCamera(), {D3DXVECTOR3(-3, -2, 8), D3DXVECTOR3(3, -2, 14), D3DXVECTOR3(0.5f, 3, 18)});
  h.Add(tilted);
  ASSERT_EQ(Hook::Surfaces(*h.sys).size(), 1u);
  const OcclusionSurface& s = Hook::Surfaces(*h.sys)[0];
  EXPECT_GT(s.m_flArea, 0.0f);  // wound clockwise on screen
  for (float u : {0.1f, 0.3f, 0.6f})
    for (float v : {0.1f, 0.3f}) {
      const D3DXVECTOR3 p = AxisCamera().Project(tilted.points[0] + (tilted.points[1] - tilted.points[0]) * u +
                                                 (tilted.points[2] - tilted.points[0]) * v);
      EXPECT_NEAR(s.DepthAt(p.x, p.y), p.z, 1e-5f);
    }
}

TEST(OcclusionIntake, OccludersOutsideTheViewKeepASurfaceWithoutEdges) {
  Intake h;
  h.Add(Wall(1.2f, -0.5f, 1.8f, 0.5f, 10.0f));
  h.Add(Wall(-0.5f, -1.9f, 0.5f, -1.1f, 10.0f));
  ASSERT_EQ(Hook::Surfaces(*h.sys).size(), 2u);
  EXPECT_EQ(Hook::Surfaces(*h.sys)[0].m_flArea, 0.0f);
  EXPECT_EQ(Hook::Surfaces(*h.sys)[1].m_flArea, 0.0f);
  EXPECT_TRUE(Hook::Edges(*h.sys).empty());
}

TEST(OcclusionIntake, CutPointsOnTheNearPlaneAreSharedByNeighbours) {
  OcclusionHost h;
  const occlusion_testing::OcclusionCamera cam = occlusion_testing::SceneCamera();
  h.Setup(cam);
  // Two tiles 0.3 below the eye meeting along a line from view depth 0.5, behind the near
  // plane at depth 1, to depth 5.3. Each tile cuts that line on its own, walking it the
  // other way.
  const D3DXVECTOR3 a = cam.At(0.5f, 0.13f, -0.3f), b = cam.At(5.3f, 0.61f, -0.3f);
  const OracleOccluder left = Polygon(cam, {cam.At(0.5f, -2, -0.3f), a, b, cam.At(5.3f, -2, -0.3f)});
  const OracleOccluder right = Polygon(cam, {a, cam.At(0.5f, 2, -0.3f), cam.At(5.3f, 2, -0.3f), b});
  h.Add(left);
  const D3DXVECTOR3 expected = cam.Project(cam.At(1.0f, 0.13f + 0.48f * 0.5f / 4.8f, -0.3f));
  const auto& verts = Hook::NearPlaneVerts(*h.sys);
  int shared = -1;
  for (size_t i = 0; i < verts.size(); ++i)
    if (std::fabs(verts[i].x - expected.x) < 1e-4f && std::fabs(verts[i].y - expected.y) < 1e-4f &&
        std::fabs(verts[i].z) < 1e-5f)
      shared = static_cast<int>(i);
  ASSERT_GE(shared, 0);
  const D3DXVECTOR3 cut = verts[static_cast<size_t>(shared)];
  const size_t before = Hook::Edges(*h.sys).size(), kept = verts.size();
  h.Add(right);
  // Only the second tile's other cut point is new.
  EXPECT_EQ(verts.size(), kept + 1);
  // Its end points on the shared line are the first tile's, bit for bit.
  int matched = 0;
  const auto& edges = Hook::Edges(*h.sys);
  for (size_t i = before; i < edges.size(); ++i)
    for (const D3DXVECTOR3& p : {edges[i].m_vecPosition, edges[i].m_vecPositionEnd})
      if (std::fabs(p.x - expected.x) < 0.01f && std::fabs(p.z) <= 0.001f) {
        EXPECT_EQ(std::memcmp(&p, &cut, sizeof p), 0);
        ++matched;
      }
  // The shared edge ends there; the edge along the near plane lies level on the screen when
  // both its cut points round alike, and is then dropped.
  EXPECT_GE(matched, 1);
}

// Two triangles share an edge that runs off the screen's right side: each walks it the other
// way, and both must cut it at x = 1 to the same bits, or the sweep meets two copies of one
// edge a rounding apart.
TEST(OcclusionIntake, AnEdgeTwoOccludersShareIsCutAtTheScreenBorderAlikeInBoth) {
  Intake h;
  int compared = 0;
  for (int k = 0; k < 64; ++k) {
    const float t = static_cast<float>(k);
    const D3DXVECTOR3 a = Ndc(0.3f + 0.01f * t, -0.2f - 0.013f * t, 10.0f + 0.1f * t);
    const D3DXVECTOR3 b = Ndc(1.7f - 0.007f * t, 0.4f + 0.011f * t, 14.0f - 0.05f * t);
    h.Setup(AxisCamera());
    h.Add(Polygon(AxisCamera(), {a, b, Ndc(0.2f, 0.9f, 12.0f)}));
    h.Add(Polygon(AxisCamera(), {b, a, Ndc(0.9f, -0.9f, 11.0f)}));
    // Where the shared edge meets x = 1 on screen.
    const D3DXVECTOR3 pa = AxisCamera().Project(a), pb = AxisCamera().Project(b);
    const float y = pa.y + (pb.y - pa.y) * (1.0f - pa.x) / (pb.x - pa.x);
    std::vector<D3DXVECTOR3> cuts[2];
    for (const OcclusionEdge& e : Hook::Edges(*h.sys))
      for (const D3DXVECTOR3& p : {e.m_vecPosition, e.m_vecPositionEnd})
        if (p.x == 1.0f && std::fabs(p.y - y) < 1e-4f) cuts[e.SurfaceID()].push_back(p);
    ASSERT_FALSE(cuts[0].empty() || cuts[1].empty()) << k;
    for (const D3DXVECTOR3& p : cuts[0])
      for (const D3DXVECTOR3& q : cuts[1]) {
        EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0) << k << ": " << p.y << " against " << q.y;
        ++compared;
      }
  }
  EXPECT_GE(compared, 64);
}

TEST(OcclusionIntake, AnOutlineOfTwoHundredPointsIsClippedWithoutOverrun) {
  Intake h;
  // Centred off the screen's corner, so all four sides of the view cut it.
  h.Add(Ring(0.3f, -0.2f, 1.25f, 200, 10.0f));
  ASSERT_EQ(Hook::Surfaces(*h.sys).size(), 1u);
  // Twice the area of the ring inside the view, counted on a grid.
  int inside = 0;
  const int n = 400;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const float x = -1.0f + (i + 0.5f) * 2.0f / n, y = -1.0f + (j + 0.5f) * 2.0f / n;
      if ((x - 0.3f) * (x - 0.3f) + (y + 0.2f) * (y + 0.2f) < 1.25f * 1.25f) ++inside;
    }
  EXPECT_NEAR(Hook::Surfaces(*h.sys)[0].m_flArea, 2.0f * 4.0f * inside / (n * n), 0.02f);
  const auto& edges = Hook::Edges(*h.sys);
  EXPECT_GT(edges.size(), 50u);
  for (const OcclusionEdge& e : edges) {
    EXPECT_GE(e.m_vecPosition.x, -1.0f);
    EXPECT_LE(e.m_vecPosition.x, 1.0f);
    EXPECT_GE(e.m_vecPosition.y, -1.0f);
    EXPECT_LE(e.m_vecPositionEnd.y, 1.0f);
  }
  EXPECT_NO_THROW(h.sys->RasterizeOccluders());
}

TEST(OcclusionIntake, ANearPlaneAtOrBehindTheEyeAssertsAtLine119) {
  OcclusionHost h;
  const auto& cam = AxisCamera();
  const char* thrown = nullptr;
  try {
    h.sys->SetupView(cam.eye, occlusion_testing::kFieldOfView, cam.view, cam.projection, D3DXPLANE(0, 0, 1, 0));
  } catch (const char* text) {
    thrown = text;
  }
  ASSERT_NE(thrown, nullptr);
  EXPECT_STREQ(thrown, "assert");
  const auto& log = h.module.host.Registry().LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Assert failed in OcclusionSystem line 119, expression string m_flNearPlaneDist > 0.0f");
  // In front of the eye it is accepted: size factor 1 / tan^2(fov / 2).
  h.Setup(cam);
  const float t = std::tan(occlusion_testing::kFieldOfView / 2);
  EXPECT_NEAR(Hook::SizeFactor(*h.sys), 1.0f / (t * t), 1e-4f);
  EXPECT_NEAR(Hook::NearDistance(*h.sys), 1.0f, 1e-6f);
}

TEST(OcclusionIntake, SurfacesPast32767AreIgnored) {
  Intake h;
  const OracleOccluder tiny = Wall(-0.01f, -0.01f, 0.01f, 0.01f, 10.0f);
  for (int i = 0; i < 32769; ++i) h.Add(tiny);
  EXPECT_EQ(Hook::Surfaces(*h.sys).size(), 32768u);
  EXPECT_EQ(Hook::Edges(*h.sys).size(), 2u * 32768u);
}

TEST(OcclusionIntake, AnOccluderThatWouldPassTheSixteenBitEdgeLimitIsIgnored) {
  Intake h;
  // 218 rings of 300 edges: 65,400 edges; the next ring would make 65,700.
  for (int i = 0; i < 219; ++i) h.Add(Ring(-0.9f + 0.12f * (i % 15), -0.9f + 0.12f * (i / 15), 0.05f, 300, 10.0f + i));
  const auto& surfaces = Hook::Surfaces(*h.sys);
  ASSERT_EQ(surfaces.size(), 219u);
  EXPECT_EQ(Hook::Edges(*h.sys).size(), 65400u);
  EXPECT_GT(surfaces[217].m_flArea, 0.0f);
  EXPECT_EQ(surfaces[218].m_flArea, 0.0f);
  // A triangle still fits.
  h.Add(Polygon(AxisCamera(), {Ndc(0.9f, 0.9f, 5), Ndc(0.95f, 0.97f, 5), Ndc(0.99f, 0.91f, 5)}));
  EXPECT_EQ(Hook::Edges(*h.sys).size(), 65403u);
  EXPECT_EQ(Hook::EdgeIndices(*h.sys).back(), 65402u);
  EXPECT_NO_THROW(h.sys->RasterizeOccluders());
  EXPECT_EQ(h.RegistryLines("Assert failed"), 0);
}
