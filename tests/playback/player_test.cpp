// The player: movie time and speed, scene events in time order, objects recreated with their
// tracks, the end of a movie, Shutdown's removal, a second movie, objects destroyed elsewhere.
#include "playback_fixture.h"

namespace {
using namespace Playback;
using playback_testing::CallLogObject;
using playback_testing::PlaybackHost;

MovieData::TrackPtr NewTrack() { return MovieData::TrackPtr(new MovieData::Track); }

struct PlayerHost : PlaybackHost {
  MoviePlayer* player = nullptr;
  PlayerHost() { player = static_cast<MoviePlayer*>(scene->StartPlaying()); }
  void Start(const MovieDataPtr& movie) {
    player->Load(movie);
    player->Play();
    scene->calls.clear();
  }
  CallLogObject* Replayed(uint32_t id) {
    const auto& map = player->ReplayedObjects();
    const auto it = map.find(id);
    return it == map.end() ? nullptr : static_cast<CallLogObject*>(MoviePlayer::Resolve(it->second));
  }
};

TEST(Player, EventsUpToTheMovieTimeApplyOnceInListOrder) {
  PlayerHost s;
  MovieDataPtr movie(new MovieData);
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(1u));
  movie->sceneEvents.emplace_back(1000, MakeSceneEvent<kScenePendingStateName>(std::string("a")));
  movie->sceneEvents.emplace_back(-5, MakeSceneEvent<kSceneLoadScene>(2u));  // already past: applied now
  movie->sceneEvents.emplace_back(1001, MakeSceneEvent<kSceneLoadScene>(3u));
  s.Start(movie);
  s.scene->Execute(1000);
  const std::vector<std::string> first = {"LoadScene 1", "SetPendingStateName \"a\"", "LoadScene 2"};
  EXPECT_EQ(s.scene->calls, first);
  EXPECT_EQ(s.player->GetTime(), 1000);
  s.scene->Execute(1);
  ASSERT_EQ(s.scene->calls.size(), 4u);
  EXPECT_EQ(s.scene->calls.back(), "LoadScene 3");
  EXPECT_EQ(s.player->GetDuration(), 1001u);
}

TEST(Player, SpeedScalesMovieTimeAndTheScenesStep) {
  PlayerHost s;
  MovieDataPtr movie(new MovieData);
  s.Start(movie);
  s.player->SetSpeed(0.5f);
  s.scene->Execute(33);
  EXPECT_EQ(s.player->GetTime(), 16);
  EXPECT_EQ(SceneSystem::GetClock(), 16);  // the scene's own step
  s.player->SetSpeed(-2.0f);
  EXPECT_EQ(s.player->GetSpeed(), 0.0f);
  s.player->SetSpeed(std::nanf(""));
  EXPECT_EQ(s.player->GetSpeed(), 0.0f);
  s.scene->Execute(50);
  EXPECT_EQ(s.player->GetTime(), 16);
  EXPECT_EQ(SceneSystem::GetClock(), 16);
  // A paused current player stops the scene's time; a huge speed saturates instead of wrapping.
  s.player->SetSpeed(1e30f);
  s.scene->Execute(10);
  EXPECT_EQ(s.player->GetTime(), INT32_MAX);
  s.player->Pause();
  s.scene->Execute(10);
  EXPECT_EQ(s.player->GetTime(), INT32_MAX);
}

// LoadScene 1, ObjectCreated 0 and its time-0 events; a second object's track starts later.
MovieDataPtr TwoObjectMovie() {
  MovieDataPtr movie(new MovieData);
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(1u));
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(0u));
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(5u));
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(9u));  // no track: nothing made
  movie->sceneEvents.emplace_back(500, MakeSceneEvent<kSceneEndOfMovie>());
  auto first = NewTrack();
  first->emplace_back(0, MakeObjectEvent<kObjectSetTag>(1u));
  first->emplace_back(0, MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(1, 0, 2), 0.5f, 3u));
  first->emplace_back(200, MakeObjectEvent<kObjectSetScale>(2.0f));
  auto second = NewTrack();
  second->emplace_back(100, MakeObjectEvent<kObjectSetTag>(6u));
  second->emplace_back(300, MakeObjectEvent<kObjectShutdown>());
  movie->tracks[0] = first;
  movie->tracks[5] = second;
  return movie;
}

TEST(Player, ObjectsAreMadeAtTheirCreationAndTheirTracksFollowTheMovieTime) {
  PlayerHost s;
  // An object of the scene holds the generator's second pair of words.
  CallLogObject* holder = s.MakeObject(6334u, 26500u);
  s.Start(TwoObjectMovie());
  s.scene->Execute(16);
  EXPECT_EQ(s.scene->calls.front(), "LoadScene 1");
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 3u);
  CallLogObject* first = s.Replayed(0);
  CallLogObject* second = s.Replayed(5);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // The creation keys are the generator's first words (41, 18467, 6334, 26500, 19169, 15724),
  // two per ObjectCreated, drawn for the trackless one too; a key already taken is drawn again,
  // so every creation makes an object of its own.
  EXPECT_EQ(first->GetUserWords()[0], 41u);
  EXPECT_EQ(first->GetUserWords()[1], 18467u);
  EXPECT_NE(second, holder);
  EXPECT_EQ(second->GetUserWords()[0], 19169u);
  EXPECT_EQ(second->GetUserWords()[1], 15724u);
  EXPECT_TRUE(holder->calls.empty());
  EXPECT_EQ(s.player->ReplayedObjects().count(9), 0u);
  const std::vector<std::string> atZero = {"SetTag 1", "SetPositionAction 1 0 2 0.5 3"};
  EXPECT_EQ(first->calls, atZero);
  EXPECT_TRUE(second->calls.empty());

  s.scene->Execute(200);
  EXPECT_EQ(first->calls.back(), "SetScale 2");
  EXPECT_EQ(second->calls, std::vector<std::string>{"SetTag 6"});
  // Shutdown at 300 flags the object, and the same update takes it out of the scene; the
  // entry it had says its whole track was replayed.
  const ComponentHandle handle = second->handle;
  s.scene->Execute(100);
  EXPECT_EQ(s.host.GetObject(&handle), nullptr);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 2u);
  EXPECT_EQ(s.player->ReplayedObjects().count(5), 0u);
  ASSERT_EQ(s.player->RemovedObjects().size(), 1u);
  EXPECT_EQ(s.player->RemovedObjects()[0].first, 5u);
  EXPECT_TRUE(s.player->RemovedObjects()[0].second.cursor == s.player->Movie()->tracks.at(5)->end());
  s.scene->Execute(16);
  EXPECT_TRUE(s.player->RemovedObjects().empty());
}

TEST(Player, TheEndOfTheMovieStopsAndTakesEveryReplayedObjectAway) {
  PlayerHost s;
  s.Start(TwoObjectMovie());
  s.scene->Execute(100);
  const ComponentHandle first = s.Replayed(0)->handle;
  s.scene->calls.clear();
  s.scene->Execute(400);
  EXPECT_FALSE(s.player->IsPlaying());
  EXPECT_EQ(s.player->GetTime(), 0);
  EXPECT_TRUE(s.player->ReplayedObjects().empty());
  EXPECT_EQ(s.host.GetObject(&first), nullptr);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 0u);
  EXPECT_EQ(s.scene->calls, std::vector<std::string>{"SetStateString \"\" 1 0"});
  EXPECT_STREQ(s.scene->GetStateString(), "");
  // Stopped, the scene's time stands.
  const int32_t clock = SceneSystem::GetClock();
  s.scene->Execute(50);
  EXPECT_EQ(SceneSystem::GetClock(), clock);
}

TEST(Player, LoadingAnotherMovieStartsAfreshPausedAndLeavesTheReplayedObjectsInTheScene) {
  PlayerHost s;
  s.Start(TwoObjectMovie());
  s.player->SetSpeed(0.5f);
  s.scene->Execute(64);
  ASSERT_EQ(s.player->GetTime(), 32);
  const ComponentHandle first = s.Replayed(0)->handle;
  s.scene->SetPendingStateName("elsewhere");
  s.player->Load(TwoObjectMovie());
  EXPECT_EQ(s.player->GetTime(), 0);
  EXPECT_EQ(s.player->GetSpeed(), 1.0f);
  EXPECT_FALSE(s.player->IsPlaying());
  EXPECT_TRUE(s.player->ReplayedObjects().empty());
  EXPECT_NE(s.host.GetObject(&first), nullptr);
  EXPECT_EQ(s.scene->GetPendingStateName(), std::string("RESOURCE\\ini\\Brivanta\\scene"));
  s.scene->Execute(16);  // paused: nothing is replayed
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 2u);
  s.player->Play();
  s.scene->Execute(16);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 4u);
}

TEST(Player, AnObjectDestroyedElsewhereIsForgottenAndAStoppedPlayerLeavesTheRestAlone) {
  PlayerHost s;
  s.Start(TwoObjectMovie());
  s.scene->Execute(16);
  const uint32_t key[2] = {41, 18467};
  EXPECT_TRUE(s.scene->DestroySceneObject(key));
  s.scene->Execute(200);  // the first track's next event finds no object
  EXPECT_EQ(s.player->ReplayedObjects().count(0), 0u);
  EXPECT_EQ(s.player->ReplayedObjects().size(), 1u);

  // A player that goes leaves its objects in the scene.
  CallLogObject* second = s.Replayed(5);
  ASSERT_NE(second, nullptr);
  const ComponentHandle handle = second->handle;
  s.scene->StopPlaying(s.player);
  EXPECT_NE(s.host.GetObject(&handle), nullptr);
}

TEST(Player, APlainObjectOrNoneIsAnEntryWithoutObjectWhoseEventsArePassedOver) {
  PlayerHost s;
  s.host.RegisterComponentClass<CSceneBaseObj>("SceneBaseObj");
  s.Start(TwoObjectMovie());
  s.scene->Execute(400);
  EXPECT_EQ(s.scene->GetSceneObjectCount(), 2u);
  ASSERT_EQ(s.player->ReplayedObjects().size(), 2u);
  EXPECT_FALSE(s.player->ReplayedObjects().at(0).hasObject);
  EXPECT_EQ(s.player->ReplayedObjects().at(0).cursor, s.player->Movie()->tracks.at(0)->end());
}

TEST(Player, WithoutAMovieOnlyTheRemovalPassRuns) {
  PlayerHost s;
  s.player->Play();
  EXPECT_TRUE(s.player->IsPlaying());
  EXPECT_EQ(s.player->GetDuration(), 0u);
  s.player->SetSpeed(2.0f);
  s.scene->Execute(10);
  EXPECT_EQ(s.player->GetTime(), 0);
  EXPECT_EQ(SceneSystem::GetClock(), 20);  // the scene still runs at the player's pace
  s.player->Stop();
  EXPECT_FALSE(s.player->IsPlaying());
}

TEST(Player, AReplayedLightRecordOutlivesThePlayerAndItsMovie) {
  PlayerHost s;
  MovieDataPtr movie(new MovieData);
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(0u));
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_POINT;
  light.Range = 12.0f;
  auto track = NewTrack();
  track->emplace_back(0, MakeObjectEvent<kObjectSetValue352>(light));
  movie->tracks[0] = track;
  s.Start(movie);
  s.scene->Execute(1);
  CallLogObject* object = s.Replayed(0);
  ASSERT_NE(object, nullptr);
  s.scene->StopPlaying(s.player);
  track.reset();
  movie.reset();
  ASSERT_NE(object->valueC, nullptr);
  EXPECT_EQ(object->valueC->Range, 12.0f);
}

}  // namespace

namespace {
TEST(Player, MovieTimeRunsOnWhileTheClockCrossesItsSignBoundary) {
  PlayerHost s;
  Playback::SetPlaybackClockForTests(INT32_MAX - 5);
  MovieDataPtr movie(new MovieData);
  movie->sceneEvents.emplace_back(20, MakeSceneEvent<kSceneLoadScene>(4u));
  s.Start(movie);
  s.scene->Execute(16);
  EXPECT_TRUE(s.scene->calls.empty());
  s.scene->Execute(16);
  EXPECT_EQ(s.scene->calls, std::vector<std::string>{"LoadScene 4"});
  EXPECT_EQ(s.player->GetTime(), 32);  // no cost is taken off: the clock moves only after the update
  EXPECT_EQ(SceneSystem::GetClock(), INT32_MIN + 26);
}
}  // namespace
