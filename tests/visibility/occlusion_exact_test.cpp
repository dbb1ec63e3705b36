// The occlusion culler against an exact judge: random left-handed views of occluder meshes, and
// the views on which the judge once found it wrong, with their values written out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/occlusion_exact.h"
#include "support/occlusion_fixture.h"

namespace {

using namespace occlusion_exact;

struct Tally {
  int boxes = 0, hidden = 0, falseHidden = 0, asserted = 0;
};

// One frame of the view through the culler (one system for every view, as a tree drives it
// frame after frame); every box it calls hidden goes to the judge.
void RunView(occlusion_testing::OcclusionHost& h, const Scene& s, const std::string& name, Tally* tally) {
  const View& v = s.view;
  const int logged = h.RegistryLines("Assert failed");
  bool asserted = false;
  try {
    h.sys->SetupView(v.eye, kTreeFieldOfView, v.view, v.projection, v.nearPlane);
    h.sys->BeginFrame();
    for (size_t p = 0; p < s.mesh.polygons.size(); ++p)
      h.sys->AddOccluder(s.mesh.polygons[p].data(), static_cast<int>(s.mesh.polygons[p].size()), s.mesh.points.data(),
                         s.mesh.planes[p]);
    h.sys->RasterizeOccluders();
  } catch (const char*) {
    asserted = true;
  }
  const Judge judge(v, s.mesh);
  for (size_t b = 0; b < s.boxes.size(); ++b) {
    bool hidden = false;
    try {
      hidden = h.sys->IsOccluded(s.boxes[b].lo, s.boxes[b].hi);
    } catch (const char*) {
      asserted = true;
    }
    ++tally->boxes;
    if (!hidden) continue;
    ++tally->hidden;
    int sampled = 0;
    const int seen = judge.SeenPoints(s.boxes[b], 1 << 30, &sampled);
    if (seen > 0) {
      ++tally->falseHidden;
      ADD_FAILURE() << name << ": box " << b << " called hidden, the eye sees " << seen << " of its " << sampled
                    << " points";
    }
  }
  if (asserted || h.RegistryLines("Assert failed") != logged) {
    ++tally->asserted;
    ADD_FAILURE() << name << ": asserted";
  }
}

// A view written out: the camera as the culler gets it, the occluders over shared corners, and
// the one box that matters.
struct Written {
  float eye[3], view[16], projection[16], nearPlane[4];
  std::vector<D3DXVECTOR3> points;
  std::vector<std::vector<uint32_t>> polygons;
  std::vector<D3DXPLANE> planes;
  Box box;

  Scene ToScene() const {
    return Scene{View::FromMatrices(D3DXVECTOR3(eye[0], eye[1], eye[2]), D3DXMATRIX(view), D3DXMATRIX(projection),
                                    D3DXPLANE(nearPlane[0], nearPlane[1], nearPlane[2], nearPlane[3])),
                 {points, polygons, planes},
                 {box}};
  }
};

}  // namespace

TEST(OcclusionExact, NoViewAssertsAndNoBoxTheEyeSeesIsCalledHidden) {
  occlusion_testing::OcclusionHost h;
  Tally tally;
  for (unsigned seed = 1; seed <= 420; ++seed) RunView(h, Generator(seed).Make(), "seed " + std::to_string(seed), &tally);
  EXPECT_EQ(tally.asserted, 0);
  EXPECT_EQ(tally.falseHidden, 0);
  // And it culls: about a quarter of these boxes lie wholly behind the meshes.
  EXPECT_GT(tally.hidden * 5, tally.boxes) << tally.hidden << " of " << tally.boxes;
}

// A fan's two triangles share an edge that the screen's lower border cuts. Cut once from each
// end, the two copies differed in their last bits, and the sweep met them out of order.
TEST(OcclusionExact, AnEdgeTwoTrianglesShareAcrossTheScreenBorderSweepsWithoutAsserting) {
  const Written w{{0x1.1d1f08p+3f, 0x1.75f344p-1f, 0x1.275c9cp+5f},
                  {0x1.ea0ep-5f, 0x1.2124bap-1f, -0x1.a56db2p-1f, 0, -0x1.df931cp-3f, 0x1.9e77eep-1f, 0x1.13a79p-1f, 0,
                   0x1.f0d244p-1f, 0x1.48c77cp-3f, 0x1.7201f4p-3f, 0, -0x1.21805ap+5f, -0x1.719a54p+3f, 0x1.14d88p-2f, 1},
                  {0x1.8b4256p+1f, 0, 0, 0, 0, 0x1.c4bee2p+1f, 0, 0, 0, 0, 0x1.0020c8p+0f, 1, 0, 0, -0x1.0020c8p-1f, 0},
                  {-0x1.a56db2p-1f, 0x1.13a79p-1f, 0x1.7201f4p-3f, 0x1.d64fp-3f},
                  {{-0x1.2d51fp+0f, 0x1.7f93ap+0f, 0x1.56a164p+5f},
                   {-0x1.53802ep+2f, 0x1.a1857cp+2f, 0x1.41cd14p+5f},
                   {-0x1.d00cd2p+1f, 0x1.d3afe4p+2f, 0x1.5e5fcp+5f},
                   {0x1.a27d1p+2f, 0x1.1cac0cp+1f, 0x1.2ba41p+5f},
                   {0x1.14775p+3f, 0x1.0a9fecp+0f, 0x1.275504p+5f},
                   {0x1.05948p+3f, 0x1.db132cp-1f, 0x1.2a3ffcp+5f},
                   {0x1.0c4012p+3f, 0x1.0d7d1ap+0f, 0x1.278ac2p+5f}},
                  {{0, 1, 2}, {3, 4, 5}, {3, 5, 6}},
                  {{0x1.937c48p-1f, 0x1.a2a1e8p-2f, -0x1.d74c04p-2f, -0x1.406ea2p+4f},
                   {-0x1.da4b18p-2f, -0x1.f09546p-2f, -0x1.7bcfbep-1f, -0x1.fe460cp+4f},
                   {0x1.18d676p-1f, 0x1.3b9082p-1f, 0x1.214c3ep-1f, 0x1.a1eee6p+4f}},
                  {}};
  occlusion_testing::OcclusionHost h;
  Scene s = w.ToScene();
  s.boxes.clear();
  Tally tally;
  RunView(h, s, "shared edge", &tally);
  EXPECT_EQ(tally.asserted, 0);
  EXPECT_FALSE(OcclusionSystemTestHook::Coverage(*h.sys).empty());
}

// A triangle's nearly level edge (its slope 5e6) crosses the left edge of a triangle behind it.
// The sweep held that left edge at the level edge's x, 0.025 to the left, and drew its boundary
// from there down: the farther triangle seemed to cover the box, which the eye sees almost whole.
TEST(OcclusionExact, ABoxBesideAnEdgeThatCrossesANearlyLevelOneStaysVisible) {
  const Written w{{0x1.c1482ap+3f, 0x1.03e86ap-1f, 0x1.7924f6p+4f},
                  {-0x1.32516cp-1f, 0x1.0581ecp-1f, -0x1.3c1cccp-1f, 0, 0x1.ac74b6p-2f, 0x1.b667b6p-1f, 0x1.362b9p-2f, 0,
                   0x1.5de29cp-1f, -0x1.3bdb18p-4f, -0x1.73b4cep-1f, 0, -0x1.faeb48p+2f, -0x1.726f54p+2f, 0x1.9a098ep+4f,
                   1},
                  {0x1.95f1e4p-1f, 0, 0, 0, 0, 0x1.47e0cp+0f, 0, 0, 0, 0, 0x1.00419ap+0f, 1, 0, 0, -0x1.00419ap+0f, 0},
                  {-0x1.3c1cccp-1f, 0x1.362b9p-2f, -0x1.73b4cep-1f, -0x1.8a098ep+4f},
                  {{0x1.93952p+3f, -0x1.f4313ap+0f, 0x1.8c96b2p+2f},
                   {0x1.68232ap+2f, 0x1.32e8dp+1f, 0x1.67dbfcp+3f},
                   {0x1.769b2ap+2f, -0x1.8f8b68p+3f, 0x1.ae641p+2f},
                   {-0x1.8f0ac4p+4f, 0x1.1b82a2p+4f, 0x1.0cf9c8p+4f},
                   {-0x1.7b55b8p+3f, -0x1.e04e12p+4f, -0x1.7d333cp+4f},
                   {0x1.2c70f6p+4f, 0x1.1d0964p+5f, -0x1.a12652p+4f}},
                  {{0, 1, 2}, {3, 4, 5}},
                  {{0x1.d5ff62p-2f, -0x1.01dd1p-2f, 0x1.b43acp-1f, 0x1.71ee4ap+3f},
                   {0x1.7443bap-1f, -0x1.461504p-2f, 0x1.376ad2p-1f, -0x1.b1a158p+3f}},
                  {{0x1.bbf0ep+0f, 0x1.c55cc6p+1f, -0x1.187e2p+5f}, {0x1.1cf53cp+1f, 0x1.1623e8p+2f, -0x1.1133dcp+5f}}};
  const Scene s = w.ToScene();
  int sampled = 0;
  ASSERT_GT(Judge(s.view, s.mesh).SeenPoints(w.box, 1 << 30, &sampled) * 10, sampled * 9);
  occlusion_testing::OcclusionHost h;
  Tally tally;
  RunView(h, s, "nearly level edge", &tally);
  EXPECT_EQ(tally.hidden, 0);
  EXPECT_EQ(tally.asserted, 0);
}

// One face in two pieces with a sliver of 0.004 between them, the box behind it seen through
// the sliver. Where the box's edge met the first piece's edge, rounding put the two in the
// wrong order; the comparison with the open sliver was skipped there, and every later crossing
// was looked for beyond the misplaced edge.
TEST(OcclusionExact, ABoxSeenThroughASliverBetweenTwoPiecesOfAFaceStaysVisible) {
  const Written w{{-0x1.d56b2p+4f, 0x1.d834bap+2f, -0x1.eb2064p+4f},
                  {-0x1.770f5ep-1f, 0x1.ea373cp-3f, 0x1.46461p-1f, 0, -0x1.326c6p-3f, 0x1.b69854p-1f, -0x1.f99bb8p-2f, 0,
                   -0x1.540214p-1f, -0x1.d40332p-2f, -0x1.2ef38ep-1f, 0, -0x1.462ceap+5f, -0x1.aa7664p+3f, 0x1.0b4ea8p+2f,
                   1},
                  {0x1.afa0bap+0f, 0, 0, 0, 0, 0x1.63c42cp+1f, 0, 0, 0, 0, 0x1.00068ep+0f, 1, 0, 0, -0x1.99a416p-4f, 0},
                  {0x1.46461p-1f, -0x1.f99bb8p-2f, -0x1.2ef38ep-1f, -0x1.04e842p+2f},
                  {{-0x1.fe224cp+3f, -0x1.f60538p+3f, -0x1.6ee0dp+5f},
                   {0x1.2eb75p-5f, -0x1.4215b6p+2f, -0x1.2c57a6p+5f},
                   {0x1.238e04p+2f, 0x1.91f4p+1f, -0x1.3bf882p+5f},
                   {-0x1.7ba842p+4f, -0x1.9c4a04p+3f, -0x1.c4b044p+5f},
                   {-0x1.43f014p+4f, -0x1.1ed394p+1f, -0x1.edbc5p+5f},
                   {-0x1.1bd42ep+2f, 0x1.f2dcb4p+2f, -0x1.a880aep+5f},
                   {0x1.22f7b8p+2f, 0x1.93a2cp+1f, -0x1.3c2336p+5f},
                   {-0x1.7bcdd4p+4f, -0x1.9bde54p+3f, -0x1.c4daf4p+5f}},
                  {{0, 1, 2, 3}, {4, 5, 6, 7}},
                  {{-0x1.46461p-1f, 0x1.f99bb6p-2f, 0x1.2ef39p-1f, -0x1.8b8fa6p+4f},
                   {-0x1.46461p-1f, 0x1.f99bb6p-2f, 0x1.2ef39p-1f, -0x1.8b8fa6p+4f}},
                  {{-0x1.0a676cp+2f, -0x1.686386p+3f, -0x1.aefa6p+5f}, {-0x1.9658aap+0f, -0x1.95866cp+2f, -0x1.a4ffb4p+5f}}};
  const Scene s = w.ToScene();
  ASSERT_GT(Judge(s.view, s.mesh).SeenPoints(w.box), 10);
  occlusion_testing::OcclusionHost h;
  Tally tally;
  RunView(h, s, "sliver", &tally);
  EXPECT_EQ(tally.hidden, 0);
  EXPECT_EQ(tally.asserted, 0);
}
