// footlight play replays the sample movie, lists it and refuses a cut copy with one line, as
// processes. (The sample movie is footlight record's output of the sample script: record_command_test.)
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

using namespace Playback;

void PutMovie(scene_testing::SceneHost& s, const std::string& name, const MovieData& movie) {
  std::ostringstream out(std::ios::binary);
  movie.Write(out);
  s.WriteFile(name, out.str());
}

TEST(PlayCommand, AFarEventIsReachedThroughOneLineForTheIdleFramesOnceNothingWalks) {
  scene_testing::SceneHost s;
  MovieData movie;
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneStateString>(std::string("early"), uint8_t{0}, 0u));
  movie.sceneEvents.emplace_back(2000000000, MakeSceneEvent<kSceneEndOfMovie>());
  PutMovie(s, "far.mov", movie);
  const auto run = RunFootlight("play far.mov --resource '" + s.root + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  // At 16 ms a frame the end is frame 125,000,000; the frames between have nothing due.
  EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                "movie far.mov: scene 0, state \"early\", 2 scene events, 0 tracks",
                                "frame 1: movie time 16",
                                "  scene        0  StateString \"early\" 0 0",
                                "frames 2-124999999: nothing due, movie time 1999999984",
                                // EndOfMovie stops the player, which puts its time back to 0.
                                "frame 125000000: movie time 0",
                                "  scene 2000000000  EndOfMovie",
                                "ended after 125000000 frames",
                                "live host blocks: 0"}));

  // A walk across the sample stage toward x = 30 while the next event lies 40 s ahead: 2 units a
  // second is 0.032 a frame from x = -8, and the last step that stays on the stage, whose floor
  // ends at x = 10, reaches 9.984; only then are the frames idle.
  playback_testing::SampleRoot stage;
  MovieData walk;
  walk.sceneEvents.emplace_back(0, MakeSceneEvent<kScenePendingStateName>(std::string()));
  walk.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(1u));
  walk.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(1u));
  walk.sceneEvents.emplace_back(40000, MakeSceneEvent<kSceneStateString>(std::string("late"), uint8_t{0}, 0u));
  walk.sceneEvents.emplace_back(40100, MakeSceneEvent<kSceneEndOfMovie>());
  MovieData::TrackPtr walker(new MovieData::Track);
  walker->emplace_back(0, MakeObjectEvent<kObjectLoadFromIni>(3u, uint8_t{0}));
  walker->emplace_back(0, MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(-8.0f, 0.0f, 0.0f), 0.0f, 0u));
  walker->emplace_back(100, MakeObjectEvent<kObjectMoveTo>(30.0f, 0.0f, 1.571f, 2.0f, 6.283f, 3u, 0u));
  walk.tracks[1] = walker;
  PutMovie(stage, "walk.mov", walk);
  const auto walked = RunFootlight("play walk.mov --resource '" + stage.root + "'");
  EXPECT_EQ(walked.status, 0) << walked.out;
  EXPECT_TRUE(Has(walked.out, "frame 2500: movie time 40000\n"
                              "  scene    40000  StateString \"late\" 0 0\n"
                              "  object 1 at (9.984,0.000,0.000) yaw 1.571 title \"\"\n"))
      << walked.out;
}

TEST(PlayCommand, EventsOfAnObjectGoneInTheirFrameASecondCreationAndLoadsThatFailAreShown) {
  scene_testing::SceneHost s;  // neither the scene nor the object's file is there
  MovieData movie;
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(1u));
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(7u));
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(8u));
  movie.sceneEvents.emplace_back(20, MakeSceneEvent<kSceneObjectCreated>(8u));
  movie.sceneEvents.emplace_back(40, MakeSceneEvent<kSceneEndOfMovie>());
  MovieData::TrackPtr twice(new MovieData::Track);
  twice->emplace_back(0, MakeObjectEvent<kObjectSetTag>(4u));
  movie.tracks[8] = twice;
  MovieData::TrackPtr track(new MovieData::Track);
  track->emplace_back(0, MakeObjectEvent<kObjectLoadFromIni>(10005u, uint8_t{1}));
  track->emplace_back(0, MakeObjectEvent<kObjectSetTag>(3u));
  track->emplace_back(0, MakeObjectEvent<kObjectShutdown>());
  movie.tracks[7] = track;
  PutMovie(s, "gone.mov", movie);
  const auto run = RunFootlight("play gone.mov --resource '" + s.root + "'");
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Has(run.out, "frame 1: movie time 16\n"
                           "  scene        0  LoadScene 1\n"
                           "  scene        0  ObjectCreated 7\n"
                           "  scene        0  ObjectCreated 8\n"
                           "  object 7     0  LoadFromIni 10005 1\n"
                           "  object 7     0  SetTag 3\n"
                           "  object 7     0  Shutdown\n"
                           "  object 7 removed\n"
                           "  object 8     0  SetTag 4\n"
                           "  scene 1 did not load: cannot open "))
      << run.out;
  // The second creation of 8 makes a second object; the first is still in the scene.
  EXPECT_TRUE(Has(run.out, "frame 2: movie time 32\n"
                           "  scene       20  ObjectCreated 8\n"
                           "  object 8 created again; the first stays\n"
                           "  object 8     0  SetTag 4\n"
                           "  object 8 at "))
      << run.out;
  EXPECT_TRUE(Has(run.out, "  host: [Renderable] no object file resource\\ini\\objects\\10005.ini\n")) << run.out;
}

}  // namespace
