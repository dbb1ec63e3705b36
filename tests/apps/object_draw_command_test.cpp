// footlight object --draw and its drawing options, and the name plates of footlight run --scene,
// as processes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "apps/footlight/object_draw_options.h"
#include "support/run_footlight.h"

namespace {
using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

const std::string kSamples = std::string(" --resource ") + FOOTLIGHT_SOURCE_DIR + "/samples";

size_t CountStarting(const std::string& out, const std::string& head) {
  size_t n = 0;
  for (const std::string& l : Lines(out)) n += l.rfind(head, 0) == 0 ? 1 : 0;
  return n;
}

TEST(ObjectDrawCommand, EachFrameListsTheBoxModelNamePlateAndScreenPoints) {
  const Result r = RunFootlight("object 10005 --scene 1 --draw --box --title Name --font 0 --frames 3" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  // The half width is half the face's width of the text: four letters of some 6 to 12 pixels.
  const size_t title = r.out.find("title: \"Name\" in font 0, half width ");
  ASSERT_NE(title, std::string::npos) << r.out;
  const int half = std::atoi(r.out.c_str() + title + std::string("title: \"Name\" in font 0, half width ").size());
  EXPECT_GE(half, 12);
  EXPECT_LE(half, 24);
  // Each frame gives its walk line (the object stands) and then its draws.
  for (const char* head : {"frame 1:", "frame 2:", "frame 3:"}) EXPECT_EQ(CountStarting(r.out, head), 1u) << head;
  EXPECT_EQ(CountStarting(r.out, "frame    "), 3u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "  box: 12 lines over 8 corners (wireframe) at 0.000,0.000,0.000"), 3u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "  model: 12 triangles, alpha 255 at 0.000,0.000,0.000"), 3u);
  // The origin camera looks at the object from the front: the plate stands above the middle of
  // the 800 x 600 screen, half its width to the left of the head.
  EXPECT_EQ(CountStarting(r.out, "  name plate: \"Name\" in font 0 at " + std::to_string(400 - half) + ","), 3u)
      << r.out;
  EXPECT_EQ(CountStarting(r.out, "  head on screen 400.0,"), 3u);
  EXPECT_EQ(CountStarting(r.out, "live host blocks: 0"), 1u);
}

TEST(ObjectDrawCommand, AWalkAlongARouteIsDrawnAsItGoes) {
  const Result r = RunFootlight("object 10005 --scene 1 --path 2,3 --draw --box --title Name --font 0 "
                                "--afterimage 50,8,0.8,1000,0xFFFFFF --frames 40" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(CountStarting(r.out, "route of 5 waypoints:"), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "  path: line strip of 4 lines through 5 waypoints"), 40u) << r.out;
  EXPECT_GE(CountStarting(r.out, "  after-image copy: texture factor 0x"), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "  name plate: \"Name\" in font 0 at "), 40u) << r.out;
  // The box follows the object off the origin as it walks.
  const std::vector<std::string> lines = Lines(r.out);
  std::string firstBox, lastBox;
  for (const std::string& l : lines)
    if (l.rfind("  box: ", 0) == 0) (firstBox.empty() ? firstBox : lastBox) = l;
  EXPECT_EQ(firstBox, "  box: 12 lines over 8 corners (wireframe) at 0.000,0.000,0.000");
  EXPECT_NE(lastBox, firstBox) << r.out;
  EXPECT_EQ(CountStarting(r.out, "still walking after 40 frames"), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "live host blocks: 0"), 1u);
}

TEST(ObjectDrawCommand, HighlightShineAndPickReportWhatTheyDid) {
  const Result r = RunFootlight("object 10005 --scene 1 --draw --highlight on --shine --pick 400,320 --frames 1" +
                                kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* line : {"highLight : 10005 normal -> shine", "highLight : 10005 hide normal",
                           "highLight : 10005 show shine", "highlight mode: 1"})
    EXPECT_EQ(CountStarting(r.out, line), 1u) << line << "\n" << r.out;
  EXPECT_EQ(CountStarting(r.out, "shine: texture "), 1u);
  EXPECT_EQ(CountStarting(r.out, "shine: texture -1"), 0u) << r.out;
  // Just below the head: the coarse sphere and the precise box both take the ray.
  EXPECT_EQ(CountStarting(r.out, "pick at 400,320 (coarse): 0.000,"), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "pick at 400,320 (precise): 0.000,"), 1u) << r.out;
  const Result miss = RunFootlight("object 10005 --scene 1 --pick 20,20 --frames 1" + kSamples);
  EXPECT_EQ(CountStarting(miss.out, "pick at 20,20 (coarse): nothing"), 1u) << miss.out;
  // A mesh model's vertices hold a normal before their colour.
  const Result mesh = RunFootlight("object 3 --scene 1 --draw --frames 1" + kSamples);
  size_t opaque = 0, models = 0;
  for (const std::string& l : Lines(mesh.out))
    if (l.rfind("  model: ", 0) == 0) ++models, opaque += l.find(", alpha 255 at ") != std::string::npos ? 1 : 0;
  EXPECT_GE(models, 1u) << mesh.out;
  EXPECT_EQ(opaque, models) << mesh.out;
}

TEST(ObjectDrawCommand, AnUnknownFontWordOrMalformedOptionIsOneErrorLine) {
  // A colour in decimal is refused with its hex form.
  const Result colour = RunFootlight("object 10005 --afterimage 50,8,0.8,1000,16777215" + kSamples);
  EXPECT_EQ(colour.status, 2);
  EXPECT_EQ(Lines(colour.out),
            std::vector<std::string>{"footlight: option --afterimage takes I,R,A,D,C (interval ms 1-2147483647, ring count "
                                     "1-16, start alpha, duration ms or P%, a colour RRGGBB or 0xRRGGBB in hexadecimal "
                                     "(16777215 is 0xFFFFFF)), got \"50,8,0.8,1000,16777215\""});
  const Result font = RunFootlight("object 10005 --title Name --font 9" + kSamples);
  EXPECT_EQ(font.status, 2);
  EXPECT_EQ(CountStarting(font.out, "footlight: "), 1u) << font.out;
  EXPECT_EQ(CountStarting(font.out, "footlight: option --font names no font the host has: 9"), 1u) << font.out;
  const Result scene = RunFootlight("object 10005 --scene 77 --draw" + kSamples);
  EXPECT_EQ(scene.status, 1);
  EXPECT_EQ(CountStarting(scene.out, "footlight: scene 77 did not load"), 1u) << scene.out;
}

// The run goes to the module as given: every interval the module keeps unclamped, no other.
TEST(ObjectDrawCommand, AnAfterImageIntervalIsAnyPositive32BitValue) {
  std::string event;
  ASSERT_TRUE(footlight::ParseAfterImage("2147483647,16,0.8,1000,0x0000FF", &event));
  EXPECT_EQ(event, "2147483647,16,0.8,1000,255");
  for (const char* bad : {"2147483648,16,0.8,1000,0x0000FF", "0,16,0.8,1000,0x0000FF", "50,17,0.8,1000,0x0000FF"})
    EXPECT_FALSE(footlight::ParseAfterImage(bad, &event)) << bad;
}

TEST(ObjectDrawCommand, ATitleOutsideAsciiIsDrawnAsGiven) {
  const Result r = RunFootlight("object 10005 --scene 1 --draw --title Caf\xC3\xA9\xE2\x82\xAC --frames 1" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(CountStarting(r.out, "title: \"Caf\xC3\xA9\xE2\x82\xAC\" in font 0"), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "  name plate: \"Caf\xC3\xA9\xE2\x82\xAC\" in font 0 at "), 1u) << r.out;
}

TEST(ObjectDrawCommand, TheSceneRunListsTheCharactersNamePlatesEachFrame) {
  const Result r = RunFootlight("run --scene 1 --frames 2" + kSamples);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(CountStarting(r.out, "frame 1: name plate \"Guard\" in font \"Arial\" at "), 1u) << r.out;
  EXPECT_EQ(CountStarting(r.out, "frame 2: name plate \"Guard\" in font \"Arial\" at "), 1u);
}

}  // namespace
