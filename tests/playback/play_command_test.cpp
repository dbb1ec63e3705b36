// footlight play replays the sample movie, lists it and refuses a cut copy with one line, as
// processes. (The sample movie is footlight record's output of the sample script: record_command_test.)
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "playback_fixture.h"
#include "sample_movie.h"
#include "support/run_footlight.h"

namespace {
using footlight_testing::Lines;
using footlight_testing::RunFootlight;

const std::filesystem::path kSamples = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PlayCommand, TheSampleMoviePlaysToItsEndFromAnotherFolder) {
  const auto run = RunFootlight("play RESOURCE\\\\Movies\\\\demo.mov --resource '" + kSamples.string() + "'",
                                std::filesystem::temp_directory_path().string());
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Has(run.out, "movie RESOURCE\\Movies\\demo.mov: scene 1, state \"finale\", 59 scene events, 3 tracks"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "  scene        0  LoadScene 1")) << run.out;
  EXPECT_TRUE(Has(run.out, "  scene      656  LightActive \"spotLeft\" 0")) << run.out;
  EXPECT_TRUE(Has(run.out, "  object 3     0  SetTitle \"J\xc3\xb6rn \xf0\x9f\x95\xba\" 0 12")) << run.out;
  EXPECT_TRUE(Has(run.out, "  object 3 at ")) << run.out;
  // The guard leaves at 3520 ms, in frame 220.
  EXPECT_TRUE(Has(run.out, "frame 220: movie time 3520\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "  object 4 removed\n  object 2 at ")) << run.out;
  EXPECT_TRUE(Has(run.out, "  scene     4800  EndOfMovie")) << run.out;
  // 4800 ms at 16 a frame: the end comes in frame 300.
  EXPECT_TRUE(Has(run.out, "ended after 300 frames")) << run.out;
  EXPECT_TRUE(Has(run.out, "live host blocks: 0")) << run.out;
}

TEST(PlayCommand, SpeedFramesAndTheList) {
  const std::string root = "--resource '" + kSamples.string() + "'";
  const auto fast = RunFootlight("play resource/movies/demo.mov --speed 2 --elapsed 100 --frames 3 " + root);
  EXPECT_EQ(fast.status, 0) << fast.out;
  EXPECT_TRUE(Has(fast.out, "frame 3: movie time 600")) << fast.out;
  EXPECT_TRUE(Has(fast.out, "stopped after 3 frames")) << fast.out;

  const auto list = RunFootlight("play resource/movies/demo.mov --list " + root);
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_TRUE(Has(list.out, "track 4: 8 events")) << list.out;
  EXPECT_TRUE(Has(list.out, "      3520  Shutdown")) << list.out;
  EXPECT_TRUE(Has(list.out, "SetTitle \"J\xc3\xb6rn \xf0\x9f\x95\xba\" 0 12")) << list.out;
  EXPECT_FALSE(Has(list.out, "frame 1"));
}

TEST(PlayCommand, ACutMovieIsOneErrorLineWithTheReasonAndOffset) {
  scene_testing::SceneHost s;  // only for a fresh folder
  const std::string bytes = playback_testing::SampleMovieBytes();
  s.WriteFile("cut.mov", bytes.substr(0, 100));
  const auto run = RunFootlight("play cut.mov --resource '" + s.root + "'");
  EXPECT_EQ(run.status, 1);
  const auto lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "footlight: cannot read the movie cut.mov below " + s.root +
                               ": the file ends inside a string at byte 100")
      << run.out;

  const auto missing = RunFootlight("play none.mov --resource '" + s.root + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Lines(missing.out), std::vector<std::string>{"footlight: cannot open none.mov below the resource root \"" +
                                                         s.root + "\": no such file"});
  const auto outside = RunFootlight("play ..\\\\x.mov --resource '" + s.root + "'");
  EXPECT_EQ(outside.status, 1);
  EXPECT_TRUE(Has(outside.out, ": the path leads out of the resource root")) << outside.out;

  const auto still = RunFootlight("play a.mov --speed 0");  // the movie would never end
  EXPECT_EQ(still.status, 2);
  EXPECT_EQ(Lines(still.out), std::vector<std::string>{"footlight: at --speed 0.000000 and --elapsed 16 the movie "
                                                       "time stands still; give --frames N"});
}

}  // namespace
