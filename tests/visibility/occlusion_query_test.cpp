// Box queries of the occlusion system on hand-built scenes with a camera on the z axis, where
// a point at normalized device coordinates (x, y) and view depth z is (x z / s, y z / s, z).
#include <gtest/gtest.h>

#include <cmath>

#include "support/occlusion_fixture.h"

using occlusion_testing::OcclusionCamera;
using occlusion_testing::OcclusionHost;
using occlusion_testing::OcclusionOracle;
using occlusion_testing::OracleOccluder;
using occlusion_testing::Polygon;

namespace {

using occlusion_testing::AxisCamera;
using occlusion_testing::Ndc;
using occlusion_testing::Wall;

const OcclusionCamera& kCam = AxisCamera();

// A box whose front face covers the screen rectangle at depth z, `deep` long.
std::pair<D3DXVECTOR3, D3DXVECTOR3> Box(float x0, float y0, float x1, float y1, float z, float deep = 1.0f) {
  const D3DXVECTOR3 a = Ndc(x0, y0, z), b = Ndc(x1, y1, z);
  return {D3DXVECTOR3(a.x, a.y, z), D3DXVECTOR3(b.x, b.y, z + deep)};
}

struct Scene : occlusion_testing::AxisScene {
  using AxisScene::AxisScene;
  bool Hidden(const std::pair<D3DXVECTOR3, D3DXVECTOR3>& box) { return sys->IsOccluded(box.first, box.second); }
};

}  // namespace

TEST(OcclusionQuery, ABoxJustBehindAWallIsHiddenAndJustInFrontIsNot) {
  Scene s({Wall(-0.6f, -0.5f, 0.6f, 0.5f, 20.0f)});
  EXPECT_TRUE(s.Hidden(Box(-0.2f, -0.2f, 0.2f, 0.2f, 20.5f)));
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.2f, 0.2f, 0.2f, 18.0f, 1.5f)));
  // Poking out past the wall's edge on any side.
  EXPECT_FALSE(s.Hidden(Box(0.5f, -0.2f, 0.7f, 0.2f, 25.0f)));
  EXPECT_FALSE(s.Hidden(Box(-0.2f, 0.45f, 0.2f, 0.55f, 25.0f)));
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.55f, 0.2f, -0.45f, 25.0f)));
  // Its top above the top of the coverage (the sweep runs from y = -1 up).
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.7f, 0.2f, 0.0f, 25.0f)));
  // Through the wall: the part in front shows.
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.2f, 0.2f, 0.2f, 19.0f, 3.0f)));
  EXPECT_EQ(OcclusionSystemTestHook::TestCount(*s.sys), 7);
  EXPECT_EQ(OcclusionSystemTestHook::HiddenCount(*s.sys), 1);
}

TEST(OcclusionQuery, CheapRejectsAnswerVisible) {
  Scene s({Wall(-1.5f, -1.5f, 1.5f, 1.5f, 20.0f)});
  // A corner behind the eye.
  EXPECT_FALSE(s.sys->IsOccluded(D3DXVECTOR3(-1, -1, -2), D3DXVECTOR3(1, 1, 40)));
  // Centre behind the eye plane.
  EXPECT_FALSE(s.sys->IsOccluded(D3DXVECTOR3(-1, -1, -30), D3DXVECTOR3(1, 1, -28)));
  // The eye inside the box.
  EXPECT_FALSE(s.sys->IsOccluded(D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1)));
  // Large enough to fill the view: |max - min|^2 / 4 * size factor / d^2 >= 1.
  EXPECT_FALSE(s.sys->IsOccluded(D3DXVECTOR3(-30, -30, 40), D3DXVECTOR3(30, 30, 41)));
  // None of these was counted as tested.
  EXPECT_EQ(OcclusionSystemTestHook::TestCount(*s.sys), 0);
  EXPECT_TRUE(s.sys->IsOccluded(D3DXVECTOR3(-1, -1, 40), D3DXVECTOR3(1, 1, 41)));
  EXPECT_EQ(OcclusionSystemTestHook::TestCount(*s.sys), 1);
}

TEST(OcclusionQuery, ABoxWhollyBeyondTheBottomRowIsHidden) {
  Scene s({Wall(-1.5f, -1.5f, 1.5f, 1.5f, 20.0f)});
  EXPECT_TRUE(s.Hidden(Box(-0.2f, 1.2f, 0.2f, 1.6f, 10.0f)));  // its far edge projects to y = 1.09
  // In front of the wall but reaching onto the screen.
  EXPECT_FALSE(s.Hidden(Box(-0.2f, 0.95f, 0.2f, 1.4f, 10.0f)));
}

TEST(OcclusionQuery, AFrameWithoutOccludersHidesNothing) {
  Scene s(std::vector<OracleOccluder>{});
  EXPECT_TRUE(OcclusionSystemTestHook::Coverage(*s.sys).empty());
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.2f, 0.2f, 0.2f, 50.0f)));
}

TEST(OcclusionQuery, AWallSeenFromBehindHidesNothing) {
  OracleOccluder reversed = Wall(-0.6f, -0.5f, 0.6f, 0.5f, 20.0f);
  reversed.normal = -reversed.normal;
  reversed.d = -reversed.d;
  Scene s({reversed});
  EXPECT_TRUE(OcclusionSystemTestHook::Surfaces(*s.sys).empty());
  EXPECT_FALSE(s.Hidden(Box(-0.2f, -0.2f, 0.2f, 0.2f, 50.0f)));
}

// Two walls whose facing edges meet at the screen centre: above it (smaller y) a wedge of
// open screen narrows to the point; below it they overlap. The box's front face starts right
// of the wedge and reaches the centre, so the wedge enters the box between the box's top row
// and the point where the wedge's edges end: no row of edge starts or ends sees it there.
TEST(OcclusionQuery, AGapThatNarrowsToAPointInsideTheBoxLeavesItVisible) {
  // Left wall: x < 2y; right wall: x > 0.5y; open where 2y <= x <= 0.5y (y < 0).
  const OracleOccluder left = Polygon(kCam, {Ndc(-1.5f, -0.75f, 10), Ndc(1.5f, 0.75f, 10), Ndc(1.5f, 1.5f, 10), Ndc(-1.5f, 1.5f, 10)});
  const OracleOccluder right = Polygon(kCam, {Ndc(-0.75f, -1.5f, 11), Ndc(1.5f, -1.5f, 11), Ndc(1.5f, 1.5f, 11), Ndc(0.75f, 1.5f, 11)});
  Scene s({left, right});
  const auto box = Box(-0.1f, -0.3f, 0.3f, 0.3f, 20.0f);
  OcclusionOracle oracle(kCam.viewProjection, 400);
  oracle.Build({left, right});
  ASSERT_GT(oracle.VisibleSamples(box.first, box.second), 0);
  EXPECT_FALSE(s.Hidden(box));
  // Moved right, out of the wedge's reach, the same box is hidden.
  const auto moved = Box(0.1f, -0.3f, 0.5f, 0.3f, 20.0f);
  ASSERT_EQ(oracle.VisibleSamples(moved.first, moved.second), 0);
  EXPECT_TRUE(s.Hidden(moved));
}

TEST(OcclusionQuery, ABoxBehindTheSeamOfTwoWallsIsHiddenByTheFullSweep) {
  // Two walls meeting at x = 0, at depths 10 and 12: behind the seam no single cell holds the
  // box, so the answer comes from the sweep of its edges.
  Scene s({Wall(-0.8f, -0.6f, 0.0f, 0.6f, 10.0f), Wall(0.0f, -0.6f, 0.8f, 0.6f, 12.0f)});
  EXPECT_TRUE(s.Hidden(Box(-0.3f, -0.3f, 0.3f, 0.3f, 20.0f)));
  // Between the two depths it shows in front of the farther wall.
  EXPECT_FALSE(s.Hidden(Box(-0.3f, -0.3f, 0.3f, 0.3f, 11.0f, 0.5f)));
  // The sweep's hidden box leaves its edges for the debug lines: the front face's two sides.
  s.renderer.SetRecording(true);
  s.module.host.Realize(0);
  ASSERT_EQ(s.renderer.Draws().size(), 2u);
  EXPECT_EQ(s.renderer.Draws()[1].primitiveCount, 2u);
}

// The edge table marks the edges of the faces a box turns to the eye with the frame's test
// count, which starts again every frame: a mark left by a box of the frame before must not bring
// its edges into this one.
TEST(OcclusionQuery, ABoxIsSweptWithItsOwnEdgesWhateverWasAskedTheFrameBefore) {
  Scene s({Wall(-0.8f, -0.8f, 0.8f, 0.8f, 10.0f)});
  // Up and right of the eye: three faces turn to it.
  EXPECT_TRUE(s.Hidden({D3DXVECTOR3(1, 1, 20), D3DXVECTOR3(2, 2, 22)}));
  s.Setup(kCam);
  s.Add(Wall(-0.8f, -0.8f, 0.8f, 0.8f, 10.0f));
  s.sys->RasterizeOccluders();
  // Straight ahead: only its front face turns to the eye, whose two sides are its swept edges.
  ASSERT_TRUE(s.Hidden(Box(-0.3f, -0.3f, 0.3f, 0.3f, 20.0f)));
  s.renderer.SetRecording(true);
  s.module.host.Realize(0);
  ASSERT_EQ(s.renderer.Draws().size(), 2u);
  EXPECT_EQ(s.renderer.Draws()[1].primitiveCount, 2u);
}

// Looking along +z from the origin with right-handed matrices (w = -z) puts the same wall and
// box on screen mirrored; the depth planes do not fit such a projection, so it is refused.
TEST(OcclusionQuery, ARightHandedViewIsRefusedWithOneWarningAndHidesNothing) {
  OcclusionHost h;
  const OracleOccluder wall = Wall(-0.6f, -0.5f, 0.6f, 0.5f, 20.0f);
  const auto box = Box(-0.2f, -0.2f, 0.2f, 0.2f, 30.0f);
  auto frame = [&](const D3DXMATRIX& view, const D3DXMATRIX& projection) {
    h.sys->SetupView(D3DXVECTOR3(0, 0, 0), occlusion_testing::kFieldOfView, view, projection, kCam.nearPlane);
    h.sys->BeginFrame();
    h.Add(wall);
    h.sys->RasterizeOccluders();
    return h.sys->IsOccluded(box.first, box.second);
  };
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
  D3DXMatrixLookAtRH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovRH(&projection, occlusion_testing::kFieldOfView, 1.0f, occlusion_testing::kNear, 1000.0f);
  auto warnings = [&] {
    int n = 0;
    for (const std::string& line : h.module.host.LogLines())
      n += line.find("[WARNING] COcclusionSystem::SetupView") == 0 ? 1 : 0;
    return n;
  };
  EXPECT_FALSE(frame(view, projection));
  EXPECT_FALSE(frame(view, projection));
  EXPECT_TRUE(OcclusionSystemTestHook::Surfaces(*h.sys).empty());
  EXPECT_EQ(warnings(), 1);
  // The left-handed view of the same scene hides the box.
  EXPECT_TRUE(frame(kCam.view, kCam.projection));
  EXPECT_EQ(warnings(), 1);
}

TEST(OcclusionQuery, ABoxEdgeCutAtTheLeftSideIsSweptInOrderOfItsPieces) {
  Scene s({Wall(-1.5f, -1.5f, 1.5f, 1.5f, 60.0f)});
  // Boxes low on the left whose edges run off the left side below the screen: each such edge
  // is cut at x = -1, and the box's edges must still come in order of their start.
  const std::vector<OcclusionEdge>& edges = g_OcclusionState.m_TestCoverage.m_Edges;
  int cut = 0, outOfOrder = 0;
  for (float x = -9.0f; x <= -3.0f; x += 0.5f)
    for (float y = 1.0f; y <= 4.0f; y += 0.5f)
      for (float z = 6.0f; z <= 12.0f; z += 1.0f) {
        const D3DXVECTOR3 lo(x, y, z), hi(x + 2.5f, y + 3.0f, z + 2.0f);
        s.sys->IsOccluded(lo, hi);
        bool split = false;
        for (const OcclusionEdge& e : edges) split = split || (e.m_vecPosition.x == -1.0f && e.m_vecPosition.z == 0.0f);
        if (!split) continue;
        ++cut;
        for (size_t i = 1; i < edges.size(); ++i)
          if (edges[i].m_vecPosition.y < edges[i - 1].m_vecPosition.y) ++outOfOrder;
      }
  EXPECT_GT(cut, 0);
  EXPECT_EQ(outOfOrder, 0);
}
