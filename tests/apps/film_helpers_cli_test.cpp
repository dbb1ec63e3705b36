// footlight film and footlight helpers, run as processes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_footlight.h"

namespace {

using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

const std::string kSamples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";

// Shared names of this test only.
std::string OwnNames() { return "FOOTLIGHT_IPC_PREFIX=test-cli-" + std::to_string(::getpid()) + "-"; }

TEST(FilmCli, TheSampleFilmShowsTheExchangeAndLeavesNothing) {
  const Result r = RunFootlight("film " + kSamples + "/resource/film/stage.film --where 2", "", OwnNames());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"[Film OK]OpenFileMapping", "[Film OK]MapViewOfFile", "[TV]start",
                                                   "[TV]SetVideoInTexture",
                                                   "[Film OK]SetVideoInTexture Err:-2147024894",
                                                   "left behind: nothing"}))
      << r.out;
}

TEST(FilmCli, AMissingFilmAndBadInputAreRefused) {
  Result r = RunFootlight("film /no/such/film.avi", "", OwnNames());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("[Film Fail]WM_ERR_ONLINE_VIDEO : wparam:1  lparam:2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("footlight: the film player could not open /no/such/film.avi"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("left behind: nothing"), std::string::npos) << r.out;
  r = RunFootlight("film a.avi --where x");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  EXPECT_EQ(RunFootlight("film").status, 2);
  EXPECT_EQ(RunFootlight("film a b").status, 2);
  r = RunFootlight("film --help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("film FILE [--where N] [--resource DIR]"), std::string::npos) << r.out;
}

TEST(HelpersCli, TheSampleStagePrintsGroupsPointsAndSocketsAndASaveLoadsBackEqual) {
  const std::string dir = ::testing::TempDir() + "footlight_helpers_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::copy(kSamples, dir, std::filesystem::copy_options::recursive);
  const Result r = RunFootlight("helpers --scene 1 --save 'out\\saved.ini' --resource " + dir);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("group \"entrances\": 2 points\n  \"left\" at -6.000,0.000,2.000\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" fixed\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("light sockets: "), std::string::npos) << r.out;

  // The saved file alone gives back the points that are not fixed, as they were printed.
  const Result back = RunFootlight("helpers out/SAVED.ini --resource " + dir);
  ASSERT_EQ(back.status, 0) << back.out;
  EXPECT_EQ(back.out,
            "helper groups: 1\ngroup \"entrances\": 2 points\n  \"left\" at -6.000,0.000,2.000\n"
            "  \"right\" at 6.000,0.000,2.000\nlight sockets: 0\n");
  std::filesystem::remove_all(dir);
}

TEST(HelpersCli, MissingFilesFailedSavesAndBadOptionsAreRefused) {
  Result r = RunFootlight("helpers nothing.ini --resource " + kSamples);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"footlight: the helper-point file nothing.ini does not open"});
  const std::string dir = ::testing::TempDir() + "footlight_helpers_bad_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/blocker") << "a file where a folder would be";
  std::filesystem::copy(kSamples + "/resource/ini/scene/helperPoint/1.ini", dir + "/h.ini");
  r = RunFootlight("helpers h.ini --save blocker/out.ini --resource " + dir);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("footlight: the helper points could not be saved to blocker/out.ini"), std::string::npos)
      << r.out;
  std::filesystem::remove_all(dir);
  r = RunFootlight("helpers --scene x");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
  EXPECT_EQ(RunFootlight("helpers --frobnicate").status, 2);
  r = RunFootlight("helpers -h");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("helpers [--scene N] [FILE] [--save OUT]"), std::string::npos) << r.out;
}

}  // namespace
