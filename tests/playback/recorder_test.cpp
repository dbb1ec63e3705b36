// The recorder and the recording scene system's slots: what a recording opens with, object ids,
// listeners, the movie's times on the playback clock, saving and loading movies by module path.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "playback_fixture.h"
#include "win32/file_system.h"

namespace {
using namespace Playback;
using playback_testing::Bytes;
using playback_testing::CallLogObject;
using playback_testing::PlaybackHost;
using playback_testing::U32;

MovieRecorder* Start(PlaybackHost& s) { return static_cast<MovieRecorder*>(s.scene->StartRecording()); }

TEST(Recorder, AFreshSceneRecordsThreeEventsAndEachGetMovieEndsIt) {
  PlaybackHost s;
  Recorder* recorder = s.scene->StartRecording();
  MovieDataPtr movie;
  recorder->GetMovie(&movie);
  // PendingStateName "", LoadScene 0, StateString "" 0 0, EndOfMovie, all at time 0; no track.
  const std::string expected = U32(4) + U32(0) + U32(6) + std::string(1, '\0') + U32(0) + U32(0) + U32(0) + U32(0) +
                               U32(5) + std::string(2, '\0') + U32(0) + U32(0) + U32(4) + U32(0);
  ASSERT_EQ(expected.size(), 51u);
  EXPECT_EQ(Bytes(*movie), expected);

  s.scene->Execute(40);
  MovieDataPtr again;
  recorder->GetMovie(&again);
  EXPECT_EQ(again, movie);  // one movie, ended twice
  ASSERT_EQ(movie->sceneEvents.size(), 5u);
  EXPECT_EQ(movie->sceneEvents.back().second->type, kSceneEndOfMovie);
  EXPECT_EQ(movie->GetLastSceneEventTime(), 40);
}

TEST(Recorder, ObjectsGetIdsOnceAndTaggedOnesAreAttachedWhenARecordingBegins) {
  PlaybackHost s;
  CallLogObject* dancer = s.MakeObject(1, 1, 0);
  CallLogObject* prop = s.MakeObject(2, 2, 3);  // tag 3 is not recorded by Begin
  CallLogObject* npc = s.MakeObject(3, 3, 6);
  EXPECT_EQ(s.scene->FindObjectId(dancer), 0u);
  EXPECT_EQ(s.scene->FindObjectId(npc), 2u);
  const uint32_t again[2] = {1, 1};
  EXPECT_EQ(s.scene->CreateSceneObject(again), dancer);
  EXPECT_EQ(s.scene->objectIds.size(), 3u);
  EXPECT_EQ(s.scene->FindObjectId(nullptr), SceneSystem::kNoObjectId);

  MovieRecorder* recorder = Start(s);
  EXPECT_EQ(dancer->ListenerCount(), 1u);
  EXPECT_EQ(prop->ListenerCount(), 0u);
  EXPECT_EQ(npc->ListenerCount(), 1u);
  const MovieData& movie = *recorder->Movie();
  EXPECT_EQ(movie.tracks.size(), 2u);
  EXPECT_EQ(movie.tracks.count(1), 0u);

  // An object made while recording is attached whatever its tag.
  CallLogObject* late = s.MakeObject(4, 4, 9);
  EXPECT_EQ(late->ListenerCount(), 1u);
  EXPECT_EQ(movie.sceneEvents.back().second->type, kSceneObjectCreated);
  EXPECT_EQ(std::get<0>(static_cast<const SceneEventOf<kSceneObjectCreated>&>(*movie.sceneEvents.back().second).fields), 3u);
}

TEST(Recorder, ObjectEventsReachTheTrackAtClockTimeAndUnknownIdsAreDropped) {
  PlaybackHost s;
  CallLogObject* dancer = s.MakeObject(1, 1, 0);
  MovieRecorder* recorder = Start(s);
  s.scene->Execute(25);
  dancer->Emit<kObjectSetTag>(6u);
  recorder->AddObjectEvent(99, MakeObjectEvent<kObjectSetTag>(1u));
  const MovieData& movie = *recorder->Movie();
  ASSERT_EQ(movie.tracks.size(), 1u);
  const MovieData::Track& track = *movie.tracks.at(0);
  ASSERT_EQ(track.size(), 1u);
  EXPECT_EQ(track.front().first, 25);
  EXPECT_EQ(track.front().second->type, kObjectSetTag);
}

TEST(Recorder, BeginningAgainKeepsOneListenerPerObject) {
  PlaybackHost s;
  CallLogObject* dancer = s.MakeObject(1, 1, 1);
  MovieRecorder* recorder = Start(s);
  recorder->Begin();
  EXPECT_EQ(dancer->ListenerCount(), 1u);
  const ObjectRecorderPtr listener = recorder->AttachObject(dancer);
  dancer->EmitStateSnapshot(listener);
  dancer->EmitStateSnapshot(ObjectRecorderPtr(listener));  // the same listener is held once
  EXPECT_EQ(dancer->ListenerCount(), 2u);
  dancer->RemoveListener(listener);
  dancer->Emit<kObjectSetScale>(2.0f);
  EXPECT_EQ(recorder->Movie()->tracks.at(0)->size(), 1u);
}

TEST(Recorder, AStoppedRecorderLetsGoOfItsObjectsAndItsMovieLivesOn) {
  PlaybackHost s;
  CallLogObject* dancer = s.MakeObject(1, 1, 0);
  Recorder* recorder = s.scene->StartRecording();
  MovieRecorder* second = Start(s);
  EXPECT_EQ(dancer->ListenerCount(), 2u);
  MovieDataPtr movie;
  recorder->GetMovie(&movie);
  s.scene->StopRecording(recorder);
  s.scene->StopRecording(nullptr);  // unknown: ignored
  EXPECT_EQ(dancer->ListenerCount(), 1u);
  EXPECT_EQ(s.scene->recorders.size(), 1u);
  dancer->Emit<kObjectSetTag>(1u);
  EXPECT_EQ(movie->tracks.at(0)->size(), 0u);
  EXPECT_EQ(second->Movie()->tracks.at(0)->size(), 1u);
}

TEST(Recorder, AListenerThatOutlivesItsRecorderCallsNobody) {
  PlaybackHost s;
  CallLogObject* dancer = s.MakeObject(1, 1, 0);
  MovieRecorder* recorder = Start(s);
  const uint32_t id = s.scene->FindObjectId(dancer);
  const ObjectRecorderPtr kept = recorder->AttachObject(dancer);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->id, id);
  MovieDataPtr movie;
  recorder->GetMovie(&movie);
  kept->Send(MakeObjectEvent<kObjectSetTag>(1u));
  EXPECT_EQ(movie->tracks.at(id)->size(), 1u);
  s.scene->StopRecording(recorder);
  // The recorder is gone: under the address sanitizer a call into it would be caught.
  kept->Send(MakeObjectEvent<kObjectSetTag>(1u));
  EXPECT_EQ(movie->tracks.at(id)->size(), 1u);
}

TEST(Recorder, MovieTimesWrapWithTheClockAcrossItsSignBoundary) {
  PlaybackHost s;
  Playback::SetPlaybackClockForTests(0x7ffffff0);
  Recorder* recorder = s.scene->StartRecording();
  s.scene->Execute(0x20);
  EXPECT_EQ(SceneSystem::GetClock(), static_cast<int32_t>(0x80000010u));
  MovieDataPtr movie;
  recorder->GetMovie(&movie);
  EXPECT_EQ(movie->GetLastSceneEventTime(), 0x20);
}

TEST(SceneSlots, PlayersAndTheCurrentOne) {
  PlaybackHost s;
  Player* first = s.scene->StartPlaying();
  Player* second = s.scene->StartPlaying();
  EXPECT_EQ(s.scene->currentPlayer.get(), first);
  s.scene->StopPlaying(second);
  EXPECT_EQ(s.scene->currentPlayer.get(), first);
  s.scene->StopPlaying(first);
  EXPECT_FALSE(s.scene->currentPlayer);
  // Without a current player the scene runs at the elapsed time.
  s.scene->Execute(30);
  EXPECT_EQ(SceneSystem::GetClock(), 30);
  // Only an empty list makes the new player current.
  Player* third = s.scene->StartPlaying();
  EXPECT_EQ(s.scene->currentPlayer.get(), third);

  s.scene->StartPlaying();
  s.scene->StartRecording();
  s.scene->Destroy();
  s.scene->Destroy();
  EXPECT_TRUE(s.scene->players.empty());
  EXPECT_TRUE(s.scene->recorders.empty());
  EXPECT_EQ(s.scene->currentPlayer.get(), third);  // stays until the scene system goes
}

TEST(SceneSlots, MovieInfoTakesTheLastSceneAndStateOfAMovie) {
  PlaybackHost s;
  MovieDataPtr movie(new MovieData);
  MovieInfo info{9, "old"};
  EXPECT_TRUE(s.scene->GetMovieInfo(MovieDataPtr(), &info));
  EXPECT_EQ(info.sceneId, 0u);
  EXPECT_EQ(info.state, "");
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(3u));
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneStateString>(std::string("a"), uint8_t{0}, 0u));
  movie->sceneEvents.emplace_back(9, MakeSceneEvent<kSceneLoadScene>(4u));
  movie->sceneEvents.emplace_back(9, MakeSceneEvent<kSceneStateString>(std::string("b"), uint8_t{0}, 0u));
  EXPECT_TRUE(s.scene->GetMovieInfo(movie, &info));
  EXPECT_EQ(info.sceneId, 4u);
  EXPECT_EQ(info.state, "b");
}

TEST(SceneSlots, MoviesAreSavedAndLoadedByModulePathBelowTheResourceRoot) {
  PlaybackHost s;
  win32::SetResourceRoot(s.root);
  Recorder* recorder = s.scene->StartRecording();
  MovieDataPtr movie;
  recorder->GetMovie(&movie);
  const std::string save = "Movies\\Demo.MOV";
  ASSERT_TRUE(s.scene->SaveMovie(movie, &save));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(s.root) / "Movies" / "Demo.MOV"));

  MovieDataPtr loaded;
  const std::string load = "movies/demo.mov";
  ASSERT_TRUE(s.scene->LoadMovie(&loaded, &load));
  EXPECT_NE(loaded, movie);
  EXPECT_EQ(Bytes(*loaded), Bytes(*movie));

  const std::string escape = "..\\outside.mov";
  EXPECT_FALSE(s.scene->SaveMovie(movie, &escape));
  EXPECT_FALSE(s.scene->LoadMovie(&loaded, &escape));
  EXPECT_FALSE(s.scene->SaveMovie(movie, nullptr));  // "" names no file
  EXPECT_FALSE(s.scene->SaveMovie(MovieDataPtr(), &save));
  const std::string missing = "none.mov";
  EXPECT_FALSE(s.scene->LoadMovie(&loaded, &missing));
  EXPECT_EQ(s.LogCount("[ERR]:SceneSystem::LoadMovie none.mov: no such file below the resource root"), 1u);
  EXPECT_EQ(s.LogCount("[ERR]:SceneSystem::LoadMovie ..\\outside.mov: the path leaves the resource root"), 1u);
  win32::SetResourceRoot("");
}

TEST(SceneSlots, ASaveThatCannotWriteItsBytesFailsAndABadFileSaysWhereItBroke) {
  PlaybackHost s;
  win32::SetResourceRoot(s.root);
  MovieDataPtr movie(new MovieData);
  // The file may not grow past 4 bytes while the movie is saved: its write falls short.
  const std::string full = "full.mov";
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const rlimit small{4, before.rlim_max};
  void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = s.scene->SaveMovie(movie, &full);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(s.root) / "full.mov"), 4u);

  s.WriteFile("cut.mov", U32(2) + U32(0) + U32(0) + U32(7));
  MovieDataPtr loaded;
  const std::string cut = "cut.mov";
  EXPECT_FALSE(s.scene->LoadMovie(&loaded, &cut));
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(loaded->sceneEvents.empty());
  EXPECT_EQ(s.LogCount("[ERR]:SceneSystem::LoadMovie cut.mov: the file ends inside a 32-bit field at byte 16"), 1u);
  win32::SetResourceRoot("");
}

}  // namespace
