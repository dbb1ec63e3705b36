// footlight record as a process: the sample script makes the committed sample movie, a recording
// plays back with its walks, titles and light switches, and a bad script line or a failed save is
// one error line.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "playback_fixture.h"
#include "support/run_footlight.h"

namespace {
using footlight_testing::Lines;
using footlight_testing::RunFootlight;

const std::filesystem::path kSamples = playback_testing::kSamples;
const std::string kScript = (kSamples / "scripts" / "demo.script").string();

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using playback_testing::SampleRoot;
std::string Option(const SampleRoot& s) { return "--resource '" + s.root + "'"; }

TEST(SampleMovie, TheCommittedMovieIsWhatTheSampleScriptRecords) {
  SampleRoot s;
  const auto run = RunFootlight("record --scene 1 --frames 300 --script '" + kScript + "' " + Option(s) +
                                " resource/movies/demo.mov");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string bytes = ReadAll(std::filesystem::path(s.root) / "resource" / "movies" / "demo.mov");
  const auto committed = kSamples / "resource" / "movies" / "demo.mov";
  if (std::getenv("FOOTLIGHT_WRITE_SAMPLES") != nullptr) std::ofstream(committed, std::ios::binary) << bytes;
  EXPECT_EQ(ReadAll(committed), bytes) << committed << " differs from what the sample script records";

  EXPECT_TRUE(Has(run.out, "recorded scene 1: 300 frames of 16 ms\nscene events: 59\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "         0  LoadScene 1\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "       656  LightActive \"spotLeft\" 0\n")) << run.out;  // frame 41 ends at 656
  EXPECT_TRUE(Has(run.out, "       960  StateString \"dance\" 1 0\n")) << run.out;
  // Two scene characters came with the stage (ids 0 and 1); the script's three follow.
  EXPECT_TRUE(Has(run.out, "tracks: 3\n  track 2: 13 events\n  track 3: 12 events\n  track 4: 8 events\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "duration: 4800 ms\nwrote " + s.root + "/resource/movies/demo.mov\nlive host blocks: 0"))
      << run.out;
}

TEST(RecordCommand, ARecordingPlaysBackItsWalksTitlesParametersAndLights) {
  SampleRoot s;
  s.WriteFile("walk.script",
              "# two walkers\n"
              "0 object 10005 0 0\n"
              "0 object 10005 3 0\n"
              "0 title 2 Zoë\n"
              "2 walk 1 0 1\n"
              "3 param 2 face -5\n"
              "5 light spotRight off\n"
              "6 destroy 2\n");
  const auto record = RunFootlight("record --scene 1 --frames 40 --elapsed 50 --script '" + s.root +
                                   "/walk.script' " + Option(s) + " resource/movies/walk.mov");
  ASSERT_EQ(record.status, 0) << record.out;
  EXPECT_TRUE(Has(record.out, "       300  LightActive \"spotRight\" 0\n")) << record.out;

  const auto list = RunFootlight("play resource/movies/walk.mov --list " + Option(s));
  ASSERT_EQ(list.status, 0) << list.out;
  // The walk faces its way (north: yaw 0) at 2 units and 2 pi radians a second.
  EXPECT_TRUE(Has(list.out, "       100  MoveTo 0.000 1.000 0.000 2.000 6.283 3 0\n")) << list.out;
  EXPECT_TRUE(Has(list.out, "       150  HostParameter \"face\" 4294967291\n")) << list.out;
  EXPECT_TRUE(Has(list.out, "       300  Shutdown\n")) << list.out;

  const auto play = RunFootlight("play resource/movies/walk.mov --elapsed 50 " + Option(s));
  ASSERT_EQ(play.status, 0) << play.out;
  EXPECT_TRUE(Has(play.out, "title \"Zo\xc3\xab\"")) << play.out;
  EXPECT_TRUE(Has(play.out, "  scene      300  LightActive \"spotRight\" 0\n")) << play.out;
  // 1 unit at 2 a second from 100 ms: there by 600 ms, and still there at the end.
  const auto lines = Lines(play.out);
  bool arrived = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i] == "frame 39: movie time 1950") arrived = Has(lines[i + 1], "object 2 at (0.000,0.000,1.000)");
  EXPECT_TRUE(arrived) << play.out;
  EXPECT_TRUE(Has(play.out, "  object 3 removed\n")) << play.out;
}

// Over 20 s under the sanitizers: each bad script is a run of the program on sample stage 1,
// since the error line and the exit status are what the program prints.
TEST(RecordCommand, ABadScriptLineOrAFailedSaveIsOneErrorLine) {
  SampleRoot s;
  const auto fails = [&](const std::string& script, const std::string& message) {
    s.WriteFile("bad.script", script);
    const auto run = RunFootlight("record --scene 1 --frames 10 --script '" + s.root + "/bad.script' " + Option(s) +
                                  " resource/movies/bad.mov");
    EXPECT_EQ(run.status, 1) << script;
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "footlight: " + s.root + "/bad.script " + message) << run.out;
  };
  fails("0 dance 1\n", "line 1: unknown action \"dance\"");
  fails("\n# none yet\n0 walk 1 2 3\n", "line 3: no object 1 (objects are numbered from 1 by their object lines)");
  fails("0 object 10005 0 0\n4 destroy 1\n5 title 1 x\n", "line 3: object 1 has left the scene");
  fails("0 object 10005 0 0\n3 unload\n4 walk 1 0 0\n", "line 3: object 1 has left the scene");
  fails("10 state late\n", "line 1: frame 10 is past the last frame 9");
  fails("5 state a\n4 state b\n", "line 2: frame 4 comes before frame 5");
  fails("0 light spotLeft dim\n", "line 1: a light is switched on or off");
  fails("0 object 10005 zero 0\n", "line 1: X and Z are numbers");
  // Refused while recording: the scene says why.
  fails("0 object 424242 0 0\n", "line 1 (frame 0): object file 424242 does not load");
  fails("1 light noSuchLight on\n", "line 1 (frame 1): no light noSuchLight in the scene");

  // A movie that cannot be written is refused before the recording.
  const auto escape = RunFootlight("record --scene 1 --frames 2 " + Option(s) + " ../outside.mov");
  EXPECT_EQ(escape.status, 2) << escape.out;
  EXPECT_EQ(Lines(escape.out),
            std::vector<std::string>{"footlight: cannot write ../outside.mov below the resource root \"" + s.root +
                                     "\": the path leads out of the resource root"});
  const auto scene = RunFootlight("record --scene 77 --frames 2 " + Option(s) + " x.mov");
  EXPECT_EQ(scene.status, 1);
  EXPECT_TRUE(Has(scene.out, "footlight: scene 77 did not load: cannot open resource\\ini\\scene\\77.ini below the "
                              "resource root \"" + s.root + "\": no such file\n"))
      << scene.out;
  const auto frames = RunFootlight("record --scene 1 x.mov");
  EXPECT_EQ(frames.status, 2);
  EXPECT_EQ(Lines(frames.out),
            std::vector<std::string>{"footlight: record needs --frames N (see footlight record --help)"});
  // 3,000,000 frames of 1,000 ms would run the 32-bit movie clock past 2^31 - 1 ms.
  const auto clock = RunFootlight("record --scene 1 --frames 3000000 --elapsed 1000 " + Option(s) + " x.mov");
  EXPECT_EQ(clock.status, 2);
  EXPECT_EQ(Lines(clock.out), std::vector<std::string>{"footlight: --frames 3000000 x --elapsed 1000 is 3000000000 "
                                                       "ms, past the movie clock's 2147483647 ms"});
}

}  // namespace
