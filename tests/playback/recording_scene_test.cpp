// The recording scene system's overrides: loads, unloads, state strings and pending names as
// scene events, the state a recording opens with, and the light switches it notices.
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "playback_fixture.h"

namespace {
using namespace Playback;

template <uint32_t Code>
const typename SceneEventOf<Code>::Fields& Fields(const SceneEventPtr& event) {
  EXPECT_EQ(event->type, Code) << SceneEventName(event->type);
  return static_cast<const SceneEventOf<Code>&>(*event).fields;
}

struct RecordingHost : scene_testing::SceneHost {
  Playback::SceneSystem* scene = nullptr;
  RecordingHost() {
    SetPlaybackClockForTests(0);
    scene = static_cast<Playback::SceneSystem*>(MakeScene(nullptr, "SceneSystem"));
  }
  MovieRecorder* Start() { return static_cast<MovieRecorder*>(scene->StartRecording()); }
  SceneBaseObj* MakeObject(uint32_t a, uint32_t b) {
    const uint32_t key[2] = {a, b};
    return dynamic_cast<SceneBaseObj*>(scene->CreateSceneObject(key));
  }
  CLight* AddLight(const char* name, bool on) {
    CLight* light = nullptr;
    scene->GetLightingSystem()->CreateLight(name, &light);
    if (light != nullptr) light->SetActive(on, 0);
    return light;
  }
};

// The scene events after the three a recording opens with.
std::vector<SceneEventPtr> Recorded(MovieRecorder* recorder) {
  const auto& list = recorder->Movie()->sceneEvents;
  std::vector<SceneEventPtr> events;
  for (auto it = std::next(list.begin(), 3); it != list.end(); ++it) events.push_back(it->second);
  return events;
}

TEST(RecordingScene, AFailedLoadRecordsNothingAndForgetsTheSceneId) {
  RecordingHost s;
  s.scene->recordedSceneId = 9;
  MovieRecorder* recorder = s.Start();
  EXPECT_EQ(s.scene->LoadScene(42), 0);  // no such scene
  EXPECT_EQ(s.scene->recordedSceneId, 0u);
  EXPECT_TRUE(Recorded(recorder).empty());
}

TEST(RecordingScene, StateStringsAndPendingNamesAreRecordedAndTheOffsetRunsOnIntoTheNextRecording) {
  RecordingHost s;
  MovieRecorder* recorder = s.Start();
  s.scene->SetPendingStateName("RESOURCE\\ini\\Brivanta\\scene");
  s.scene->SetPendingStateName("RESOURCE\\ini\\Brivanta\\scene");  // unchanged, recorded again
  s.scene->SetStateString(nullptr, 0, 0);
  s.scene->Execute(30);
  s.scene->SetStateString("dance", 7, 100);
  EXPECT_EQ(s.scene->GetStateString(), std::string("dance"));
  const auto events = Recorded(recorder);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(std::get<0>(Fields<kScenePendingStateName>(events[0])), "RESOURCE\\ini\\Brivanta\\scene");
  EXPECT_EQ(std::get<0>(Fields<kScenePendingStateName>(events[1])), "RESOURCE\\ini\\Brivanta\\scene");
  EXPECT_EQ(Fields<kSceneStateString>(events[2]), std::make_tuple(std::string(), uint8_t{0}, 0u));
  EXPECT_EQ(Fields<kSceneStateString>(events[3]), std::make_tuple(std::string("dance"), uint8_t{1}, 100u));
  EXPECT_EQ(recorder->Movie()->sceneEvents.back().first, 30);

  // 250 ms later a new recording opens with the state 350 ms into it.
  s.scene->Execute(250);
  MovieRecorder* later = s.Start();
  const auto& opening = later->Movie()->sceneEvents;
  ASSERT_EQ(opening.size(), 3u);
  EXPECT_EQ(std::get<0>(Fields<kScenePendingStateName>(opening.front().second)), "RESOURCE\\ini\\Brivanta\\scene");
  EXPECT_EQ(Fields<kSceneStateString>(opening.back().second), std::make_tuple(std::string("dance"), uint8_t{1}, 350u));
}

TEST(RecordingScene, LightSwitchesAreRecordedAtTheNextExecuteOnlyAgainstAKnownState) {
  RecordingHost s;
  ASSERT_NE(s.scene->GetLightingSystem(), nullptr);
  CLight* spot = s.AddLight("Spot", false);
  ASSERT_NE(spot, nullptr);
  s.scene->Execute(10);  // nobody records: the map stays empty
  EXPECT_TRUE(s.scene->lightStates.empty());

  MovieRecorder* recorder = s.Start();
  s.scene->Execute(10);  // first sight of the light: no event
  EXPECT_TRUE(Recorded(recorder).empty());
  spot->SetActive(true, 0);
  EXPECT_TRUE(Recorded(recorder).empty());
  s.scene->Execute(10);
  auto events = Recorded(recorder);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Fields<kSceneLightActive>(events[0]), std::make_tuple(std::string("Spot"), uint8_t{1}));

  // A light added while recording enters the map silently; a nameless one counts as "".
  CLight* wash = s.AddLight("wash", true);
  CLight* nameless = s.AddLight(nullptr, true);
  s.scene->Execute(10);
  EXPECT_EQ(Recorded(recorder).size(), 1u);
  EXPECT_EQ(s.scene->lightStates.count("wash"), 1u);
  ASSERT_NE(nameless, nullptr);
  EXPECT_EQ(s.scene->lightStates.count(""), 1u);

  // Switched while nobody records: reported at the first Execute of the next recording.
  s.scene->StopRecording(recorder);
  wash->SetActive(false, 0);
  s.scene->Execute(10);
  MovieRecorder* next = s.Start();
  s.scene->Execute(10);
  events = Recorded(next);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Fields<kSceneLightActive>(events[0]), std::make_tuple(std::string("wash"), uint8_t{0}));
}

TEST(RecordingScene, AnUnloadDetachesEveryObjectEmptiesTheMapsAndKeepsBothScenesTracks) {
  RecordingHost s;
  SceneBaseObj* kept = s.MakeObject(1, 1);
  ASSERT_NE(kept, nullptr);
  kept->SetTag(0);
  kept->SetUserFlag(1);  // survives the unload
  MovieRecorder* recorder = s.Start();
  Player* player = s.scene->StartPlaying();
  kept->SetScale(2.0f);
  ASSERT_EQ(recorder->Movie()->tracks.at(0)->size(), 1u);

  // A movie whose object the player recreates, so that its map has an entry.
  MovieDataPtr movie(new MovieData);
  movie->sceneEvents.emplace_back(0, MakeSceneEvent<kSceneObjectCreated>(0u));
  movie->tracks[0].reset(new MovieData::Track);
  player->Load(movie);
  player->Play();
  s.scene->Execute(1);
  auto* moviePlayer = static_cast<MoviePlayer*>(player);
  ASSERT_EQ(moviePlayer->ReplayedObjects().size(), 1u);
  const size_t trackBefore = recorder->Movie()->tracks.at(0)->size();

  s.scene->UnloadSceneThunk();
  EXPECT_TRUE(s.scene->objectIds.empty());
  EXPECT_TRUE(moviePlayer->ReplayedObjects().empty());
  EXPECT_EQ(kept->ListenerCount(), 0u);
  EXPECT_EQ(recorder->Movie()->sceneEvents.back().second->type, kSceneUnloadScene);
  kept->SetScale(3.0f);
  EXPECT_EQ(recorder->Movie()->tracks.at(0)->size(), trackBefore);

  // The next scene's object gets a new id: the first scene's track stays.
  SceneBaseObj* next = s.MakeObject(2, 2);
  ASSERT_NE(next, nullptr);
  const uint32_t id = s.scene->FindObjectId(next);
  EXPECT_GT(id, 1u);
  next->SetScale(4.0f);
  const auto& tracks = recorder->Movie()->tracks;
  EXPECT_EQ(tracks.at(0)->size(), trackBefore);
  EXPECT_EQ(tracks.at(id)->size(), 1u);
}

TEST(RecordingScene, APlainObjectGetsAnIdAndAnEmptyTrackButNoListener) {
  scene_testing::SceneHost s;
  s.host.RegisterComponentClass<CSceneBaseObj>("SceneBaseObj");
  auto* scene = static_cast<Playback::SceneSystem*>(s.MakeScene(nullptr, "SceneSystem"));
  auto* recorder = static_cast<MovieRecorder*>(scene->StartRecording());
  const uint32_t key[2] = {5, 6};
  CSceneBaseObj* plain = scene->CreateSceneObject(key);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(dynamic_cast<SceneBaseObj*>(plain), nullptr);
  EXPECT_EQ(scene->FindObjectId(plain), 0u);
  ASSERT_EQ(recorder->Movie()->tracks.count(0), 1u);
  plain->SetScale(2.0f);
  EXPECT_TRUE(recorder->Movie()->tracks.at(0)->empty());
}

}  // namespace
