// footlight object and the characters of footlight run --scene, as processes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_footlight.h"
#include "support/temp_tree.h"

namespace {
using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

const std::string kSamples = std::string(" --resource ") + FOOTLIGHT_SOURCE_DIR + "/samples";

using footlight_testing::HasLine;

TEST(ObjectCommand, AWaitingLoadCompletesOnTheFirstFrameAndShowsTheModel) {
  const Result r = RunFootlight("object 10005 --wait" + kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  for (const char* line : {"load 10005: accepted, waiting", "frames run: 1", "model: resource\\ini\\objects\\10005.ini",
                           "  completed: on tick 1", "  height: 1.750 (object 1.750)", "  bones: 5", "  first part: body",
                           "  parameters: lhandModel=hand000 rhandModel=hand100 face=smile",
                           "head bone: 2 \"Head\" at 0.000,1.600,0.050", "after-image buffers: 320 bytes each",
                           "400000 \"lsllll\" \"resource\\ini\\objects\\10005.ini\" 0 1 0 1 -> 1",
                           "400006 \"lsp\" NULL out -> 1", "live host blocks: 0"})
    EXPECT_TRUE(HasLine(r.out, line)) << line << "\n" << r.out;
}

TEST(ObjectCommand, ABaseModelAndASecondModel) {
  const Result r = RunFootlight("object 10006 --second 3" + kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "  first part: baseModel")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "base model: yes"));
  EXPECT_TRUE(HasLine(r.out, "head bone: none"));
  // The object has its id, so the second model is made from it as well.
  EXPECT_TRUE(HasLine(r.out, "second model: resource\\ini\\objects\\10006.ini"));
}

TEST(ObjectCommand, AMissingFileOrABadOptionIsOneErrorLine) {
  const Result missing = RunFootlight("object 99" + kSamples);
  EXPECT_EQ(missing.status, 1);
  int errors = 0;
  for (const std::string& line : Lines(missing.out)) errors += line.rfind("footlight: ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(errors, 1) << missing.out;
  EXPECT_TRUE(HasLine(missing.out, "footlight: object 99 did not load: cannot open resource\\ini\\objects\\99.ini below "
                                   "the resource root \"" + std::string(FOOTLIGHT_SOURCE_DIR) + "/samples\": no such file"))
      << missing.out;
  EXPECT_TRUE(HasLine(missing.out, "live host blocks: 0"));
  for (const char* args : {"object", "object 5 --frames", "object x5", "object 5 6", "object 5 --colour red",
                           "object 5 --resource /nonexistent"}) {
    const Result bad = RunFootlight(args);
    EXPECT_EQ(bad.status, 2) << args;
    EXPECT_EQ(Lines(bad.out).size(), 1u) << args << "\n" << bad.out;
  }
  EXPECT_EQ(RunFootlight("object --help").status, 0);
}

TEST(ObjectCommand, TheSceneRunListsTheStageCharactersWithTheirModels) {
  const Result r = RunFootlight("run --scene 1 --frames 1" + kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(HasLine(r.out, "    object 3  resource\\ini\\objects\\3.ini  loaded  height 2.20  head bone 1 \"head\"  at "
                             "-6.00,0.00,-4.00"))
      << r.out;
  EXPECT_TRUE(HasLine(r.out, "    object 5  resource\\ini\\objects\\5.ini  loaded  height 1.65  head bone 2 \"head\"  at "
                             "2.00,0.00,1.00"))
      << r.out;
  EXPECT_TRUE(HasLine(r.out, "live host blocks: 0"));
}

TEST(ObjectCommand, AStageObjectKeepsThePathTheSceneFindsForIt) {
  const Result r = RunFootlight("path --scene 1 0,0,0 3,0,3" + kSamples);
  EXPECT_EQ(r.status, 0) << r.out;
  const auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().rfind("route of ", 0), 0u) << r.out;
  EXPECT_EQ(lines.end()[-2], "3.000,0.000,3.000") << r.out;
  EXPECT_EQ(lines.back(), "live host blocks: 0");
}

TEST(ObjectCommand, APathOnASceneWithoutANavigationModelSaysSo) {
  const testing_support::TempTree tree;
  tree.PutText("resource/ini/scene/2.ini", "Weather=0\n");
  const Result r = RunFootlight("path --scene 2 0,0,0 3,0,3 --resource " + tree.Root());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"footlight: scene 2 has no \"navigation\" model to search",
                                                    "live host blocks: 0"}));
}

}  // namespace
