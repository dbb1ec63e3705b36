// The sweep: which surfaces are swept, the coverage edges it leaves, and the debug lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "support/occlusion_fixture.h"

using occlusion_testing::AxisCamera;
using occlusion_testing::AxisScene;
using occlusion_testing::Ndc;
using occlusion_testing::OracleOccluder;
using occlusion_testing::Polygon;
using occlusion_testing::Wall;
using Hook = OcclusionSystemTestHook;

namespace {

// Surface IDs whose edges were swept.
std::set<int> SweptSurfaces(const COcclusionSystem& sys) {
  std::set<int> ids;
  for (uint16_t i : Hook::Selected(sys)) ids.insert(Hook::Edges(sys)[i].SurfaceID());
  return ids;
}

void ExpectEdge(const OcclusionEdge& e, float x0, float y0, float x1, float y1, int left, int right) {
  EXPECT_NEAR(e.m_vecPosition.x, x0, 1e-4f);
  EXPECT_NEAR(e.m_vecPosition.y, y0, 1e-4f);
  EXPECT_NEAR(e.m_vecPositionEnd.x, x1, 1e-4f);
  EXPECT_NEAR(e.m_vecPositionEnd.y, y1, 1e-4f);
  EXPECT_NEAR(e.m_flDxDy, (x1 - x0) / (y1 - y0), 1e-4f);
  EXPECT_EQ(e.m_nLeaveSurfID, left);
  EXPECT_EQ(e.m_nEnterSurfID, right);
}

}  // namespace

TEST(OcclusionSweep, ATriangleLeavesItsTwoSlantedSidesAsBoundaries) {
  AxisScene s({Polygon(AxisCamera(), {Ndc(0, -0.5f, 10), Ndc(-0.5f, 0.5f, 10), Ndc(0.5f, 0.5f, 10)})});
  const auto& cover = Hook::Coverage(*s.sys);
  ASSERT_EQ(cover.size(), 2u);
  ExpectEdge(cover[0], 0, -0.5f, -0.5f, 0.5f, -1, 0);
  ExpectEdge(cover[1], 0, -0.5f, 0.5f, 0.5f, 0, -1);
  // The end depth is the wall's: z of a point at view depth 10.
  EXPECT_NEAR(cover[0].m_vecPositionEnd.z, AxisCamera().Project(Ndc(-0.5f, 0.5f, 10)).z, 1e-5f);
}

TEST(OcclusionSweep, CoverageRunsFromTheTopRowToTheBottomRowOnly) {
  AxisScene s({Wall(-1.5f, -1.5f, 1.5f, 1.5f, 10)});
  const auto& cover = Hook::Coverage(*s.sys);
  ASSERT_EQ(cover.size(), 2u);
  ExpectEdge(cover[0], -1, -1, -1, 1, -1, 0);
  ExpectEdge(cover[1], 1, -1, 1, 1, 0, -1);
}

TEST(OcclusionSweep, OnlyTheFrontSurfaceMakesBoundaries) {
  // A wall on the left, a nearer one overlapping it on the right.
  AxisScene s({Wall(-0.8f, -0.5f, 0.3f, 0.5f, 20), Wall(-0.1f, -0.3f, 0.7f, 0.7f, 10)});
  const auto& cover = Hook::Coverage(*s.sys);
  // Rows -0.5..-0.3: far wall alone; -0.3..0.5: far, then near; 0.5..0.7: near alone.
  std::vector<std::tuple<float, float, float, int, int>> expected = {
      {-0.8f, -0.5f, 0.5f, -1, 0}, {0.3f, -0.5f, -0.3f, 0, -1}, {-0.1f, -0.3f, 0.5f, 0, 1},
      {0.7f, -0.3f, 0.7f, 1, -1},  {-0.1f, 0.5f, 0.7f, -1, 1}};
  ASSERT_EQ(cover.size(), expected.size());
  for (const auto& [x, y0, y1, l, r] : expected) {
    const auto it = std::find_if(cover.begin(), cover.end(), [&, x = x, y0 = y0](const OcclusionEdge& e) {
      return std::fabs(e.m_vecPosition.x - x) < 1e-4f && std::fabs(e.m_vecPosition.y - y0) < 1e-4f;
    });
    ASSERT_NE(it, cover.end()) << x << ", " << y0;
    ExpectEdge(*it, x, y0, x, y1, l, r);
  }
}

TEST(OcclusionSweep, EdgesThatCrossChangeSidesAtTheCrossing) {
  // Left wall x < 2y, right wall x > 0.5y (nearer); their facing edges cross at the centre.
  const OracleOccluder left = Polygon(AxisCamera(), {Ndc(-1.5f, -0.75f, 11), Ndc(1.5f, 0.75f, 11), Ndc(1.5f, 1.5f, 11), Ndc(-1.5f, 1.5f, 11)});
  const OracleOccluder right = Polygon(AxisCamera(), {Ndc(-0.75f, -1.5f, 10), Ndc(1.5f, -1.5f, 10), Ndc(1.5f, 1.5f, 10), Ndc(0.75f, 1.5f, 10)});
  AxisScene s({left, right});
  const auto& cover = Hook::Coverage(*s.sys);
  // Above the crossing both edges bound the open wedge; below it only the right wall's edge
  // is a boundary, with the far wall on its left.
  int found = 0;
  for (const OcclusionEdge& e : cover) {
    if (std::fabs(e.m_flDxDy - 2.0f) < 1e-4f && e.m_vecPosition.y < -0.1f) {
      ExpectEdge(e, -1, -0.5f, 0, 0, 0, -1);
      ++found;
    }
    if (std::fabs(e.m_flDxDy - 0.5f) < 1e-4f && e.m_vecPosition.y < -0.1f) {
      ExpectEdge(e, 0.5f * -1, -1, 0, 0, -1, 1);
      ++found;
    }
    if (std::fabs(e.m_flDxDy - 0.5f) < 1e-4f && std::fabs(e.m_vecPosition.y) < 1e-5f) {
      ExpectEdge(e, 0, 0, 0.5f, 1, 0, 1);
      ++found;
    }
    // The far wall's edge is hidden below the crossing.
    EXPECT_FALSE(std::fabs(e.m_flDxDy - 2.0f) < 1e-4f && e.m_vecPosition.y > -1e-5f);
  }
  EXPECT_EQ(found, 3);
}

TEST(OcclusionSweep, NeighboursInOnePlaneShareNoBoundary) {
  const OracleOccluder a = Polygon(AxisCamera(), {Ndc(-0.6f, -0.5f, 10), Ndc(0.1f, -0.5f, 12), Ndc(0.2f, 0.5f, 12), Ndc(-0.6f, 0.5f, 10)});
  // The same plane: the plane through a's first three corners.
  OracleOccluder b = Polygon(AxisCamera(), {Ndc(0.1f, -0.5f, 12), Ndc(0.6f, -0.5f, 13.4285717f), Ndc(0.2f, 0.5f, 12)});
  b.normal = a.normal;
  b.d = a.d;
  AxisScene s({a, b});
  ASSERT_EQ(Hook::Surfaces(*s.sys).size(), 2u);
  for (const OcclusionEdge& e : Hook::Coverage(*s.sys)) {
    // Nothing along the shared edge from (0.1, -0.5) to (0.2, 0.5).
    const float x = 0.1f + 0.1f * (e.m_vecPosition.y + 0.5f);
    EXPECT_FALSE(std::fabs(e.m_vecPosition.x - x) < 1e-3f && std::fabs(e.m_flDxDy - 0.1f) < 1e-3f);
  }
  EXPECT_EQ(Hook::Coverage(*s.sys).size(), 2u);  // the outline's two slanted sides
}

TEST(OcclusionSweep, SevenEqualSmallOccludersSweepSix) {
  std::vector<OracleOccluder> small;
  for (int i = 0; i < 7; ++i) small.push_back(Wall(-0.9f + 0.25f * i, -0.1f, -0.76f + 0.25f * i, 0.1f, 10));
  AxisScene s(small);
  for (const OcclusionSurface& surface : Hook::Surfaces(*s.sys)) EXPECT_NEAR(surface.m_flArea, 2 * 0.14f * 0.2f, 1e-4f);
  EXPECT_EQ(SweptSurfaces(*s.sys).size(), 6u);
  EXPECT_EQ(Hook::Coverage(*s.sys).size(), 12u);
}

TEST(OcclusionSweep, PastTheSixLargestOnlyThoseOfAreaAtLeastSixHundredthsAreSwept) {
  std::vector<OracleOccluder> walls;
  // Eight of area 0.08, then one of 0.02, then one of 0.08 again: the walk stops at the small.
  for (int i = 0; i < 8; ++i) walls.push_back(Wall(-0.95f + 0.24f * i, -0.9f, -0.75f + 0.24f * i, -0.7f, 10));
  walls.push_back(Wall(0.0f, 0.0f, 0.1f, 0.1f, 10));
  walls.push_back(Wall(-0.9f, 0.5f, -0.7f, 0.7f, 10));
  AxisScene s(walls);
  const std::set<int> swept = SweptSurfaces(*s.sys);
  EXPECT_EQ(swept.size(), 9u);
  EXPECT_EQ(swept.count(8), 0u);
}

TEST(OcclusionSweep, DebugLinesDrawCoverageGreenThenHiddenBoxesBlue) {
  AxisScene s({Wall(-0.6f, -0.5f, 0.6f, 0.5f, 20)});
  const D3DXVECTOR3 lo = Ndc(-0.2f, -0.2f, 30), hi(Ndc(0.2f, 0.2f, 30).x, Ndc(0.2f, 0.2f, 30).y, 31);
  ASSERT_TRUE(s.sys->IsOccluded(lo, hi));
  D3DXMATRIX before;
  D3DXMatrixTranslation(&before, 1, 2, 3);
  s.renderer.SetTransform(D3DTS_VIEW, &before);
  s.renderer.SetTransform(D3DTS_PROJECTION, &before);
  s.renderer.SetRecording(true);
  s.module.host.Realize(0);
  const auto& draws = s.renderer.Draws();
  ASSERT_EQ(draws.size(), 2u);
  const auto& cover = Hook::Coverage(*s.sys);
  EXPECT_EQ(draws[0].primitiveType, static_cast<DWORD>(D3DPT_LINELIST));
  EXPECT_EQ(draws[0].fvf, static_cast<DWORD>(D3DFVF_XYZ));
  EXPECT_EQ(draws[0].primitiveCount, cover.size());
  EXPECT_EQ(draws[0].state->RenderState(D3DRS_TEXTUREFACTOR), 0xFF00FF00u);
  EXPECT_FLOAT_EQ(draws[0].VertexFloat(0, 0), cover[0].m_vecPosition.x);
  EXPECT_FLOAT_EQ(draws[0].VertexFloat(1, 4), cover[0].m_vecPositionEnd.y);
  EXPECT_EQ(draws[1].state->RenderState(D3DRS_TEXTUREFACTOR), 0xFF0000FFu);
  // The box's front face: its two vertical sides.
  EXPECT_EQ(draws[1].primitiveCount, 2u);
  EXPECT_NEAR(draws[1].VertexFloat(0, 0), -0.2f, 1e-4f);
  for (const auto& d : draws) {
    EXPECT_TRUE(D3DXMatrixIsIdentity(reinterpret_cast<const D3DXMATRIX*>(&d.state->view)));
    EXPECT_TRUE(D3DXMatrixIsIdentity(reinterpret_cast<const D3DXMATRIX*>(&d.state->projection)));
    EXPECT_TRUE(D3DXMatrixIsIdentity(reinterpret_cast<const D3DXMATRIX*>(&d.state->world)));
    EXPECT_EQ(d.state->RenderState(D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(d.state->RenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(d.state->RenderState(D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(d.state->RenderState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(d.state->StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(d.state->StageState(0, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_TFACTOR));
    EXPECT_EQ(d.state->StageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
  }
  // Afterwards the camera's transforms are back and alpha test and blending are on.
  D3DMATRIX view, projection;
  s.renderer.GetTransform(D3DTS_VIEW, &view);
  s.renderer.GetTransform(D3DTS_PROJECTION, &projection);
  EXPECT_TRUE(D3DXMATRIX(view) == before);
  EXPECT_TRUE(D3DXMATRIX(projection) == before);
  EXPECT_EQ(s.renderer.TransformDepth(D3DTS_VIEW), 0u);
  EXPECT_EQ(s.renderer.TransformDepth(D3DTS_PROJECTION), 0u);
  EXPECT_EQ(s.renderer.GetRenderState(D3DRS_ALPHATESTENABLE), 1u);
  EXPECT_EQ(s.renderer.GetRenderState(D3DRS_ALPHABLENDENABLE), 1u);

  // A new frame without occluders draws nothing.
  s.renderer.ClearRecords();
  s.sys->BeginFrame();
  s.sys->RasterizeOccluders();
  s.module.host.Realize(0);
  EXPECT_TRUE(s.renderer.Draws().empty());
}

TEST(OcclusionSweep, DebugLinesStopAt1024Points) {
  std::vector<OracleOccluder> rings;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      std::vector<D3DXVECTOR3> points;
      for (int k = 0; k < 8; ++k) {
        const float a = 0.2f + 0.785398f * k;
        points.push_back(Ndc(-0.9f + 0.2f * i + 0.15f * std::cos(a), -0.9f + 0.2f * j + 0.15f * std::sin(a), 10.0f + i + 10 * j));
      }
      rings.push_back(Polygon(AxisCamera(), points));
    }
  AxisScene s(rings);
  ASSERT_GT(Hook::Coverage(*s.sys).size(), 512u);
  s.renderer.SetRecording(true);
  s.module.host.Realize(0);
  ASSERT_EQ(s.renderer.Draws().size(), 1u);
  EXPECT_EQ(s.renderer.Draws()[0].primitiveCount, 512u);
}

TEST(OcclusionSweep, OccludersWhollyBehindANearerFaceAreLeftOut) {
  // A face of two triangles at depth 10 over [-0.6, 0.6] x [-0.5, 0.5].
  const OracleOccluder upper = Polygon(AxisCamera(), {Ndc(-0.6f, -0.5f, 10), Ndc(0.6f, -0.5f, 10), Ndc(0.6f, 0.5f, 10)});
  const OracleOccluder lower = Polygon(AxisCamera(), {Ndc(-0.6f, -0.5f, 10), Ndc(0.6f, 0.5f, 10), Ndc(-0.6f, 0.5f, 10)});
  std::vector<OracleOccluder> scene = {upper, lower};
  scene[1].normal = scene[0].normal;
  scene[1].d = scene[0].d;
  // 2: a diamond behind, across the face's diagonal; 3: behind but reaching past its edge;
  // 4: inside its outline but in front; 5: through its plane.
  scene.push_back(Polygon(AxisCamera(), {Ndc(0, -0.35f, 20), Ndc(0.35f, 0, 20), Ndc(0, 0.35f, 20), Ndc(-0.35f, 0, 20)}));
  scene.push_back(Wall(0.2f, -0.3f, 0.7f, 0.3f, 20));
  scene.push_back(Wall(-0.3f, -0.2f, 0.3f, 0.2f, 5));
  scene.push_back(Polygon(AxisCamera(), {Ndc(-0.4f, -0.3f, 8), Ndc(0.4f, -0.3f, 8), Ndc(0.4f, 0.3f, 14), Ndc(-0.4f, 0.3f, 14)}));
  std::vector<OcclusionEdge> a;
  {
    AxisScene s(scene);
    EXPECT_EQ(SweptSurfaces(*s.sys), (std::set<int>{0, 1, 3, 4, 5}));
    a = Hook::Coverage(*s.sys);
  }
  // What is left out was never in front: the boundaries are those of the rest alone.
  AxisScene without({upper, lower, scene[3], scene[4], scene[5]});
  const auto& b = Hook::Coverage(*without.sys);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].m_vecPosition, b[i].m_vecPosition);
    EXPECT_EQ(a[i].m_vecPositionEnd, b[i].m_vecPositionEnd);
    // Surface IDs past 1 shift by one without the left-out wall.
    EXPECT_EQ(a[i].m_nLeaveSurfID, b[i].m_nLeaveSurfID > 1 ? b[i].m_nLeaveSurfID + 1 : b[i].m_nLeaveSurfID);
  }
}
