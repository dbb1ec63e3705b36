// A recording of the sample stage, saved and loaded into a fresh scene system and played: the
// replayed objects end in the state the recorded ones had.
#include <filesystem>

#include "frame/renderable_parameters.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "playback_fixture.h"

namespace {
using namespace Playback;

// What a replay must reproduce of one object.
struct ObjectState {
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  float yaw = 0.0f;
  std::wstring title;
  int32_t tag = 0;
  float scale = 0.0f;
  std::vector<int32_t> children;
  std::vector<std::string> effects;
  std::string face;
  uint32_t hands[2] = {0, 0};
};

ObjectState StateOf(host::ReferenceHost& host, CSceneBaseObj* o) {
  ObjectState s;
  o->GetPosition(&s.position, &s.yaw);
  s.title = o->GetTitle();
  s.tag = o->GetTag();
  s.scale = o->GetScale();
  s.children = o->childIds;
  for (const auto* records : {&o->timedEffects, &o->keptEffects})
    for (const SceneEffectRecord& r : *records) s.effects.push_back(r.name);
  o->GetHandNumbers(&s.hands[0], &s.hands[1]);
  auto* renderable =
      static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(o->GetHandle())));
  const char* face = renderable != nullptr ? renderable->Parameter("face") : nullptr;
  s.face = face != nullptr ? face : "(none)";
  return s;
}

struct Stage {
  explicit Stage(const std::string& root) : standard(root) {
    SetPlaybackClockForTests(0);
    standard.host.LoadModule(&DMAInterface);
    standard.host.CreateObject(&handle, "SceneSystem");
    scene = dynamic_cast<Playback::SceneSystem*>(scene_testing::As<CSceneSystem>(standard.host.GetObject(&handle)));
  }
  ~Stage() {
    standard.host.DestroyAll();
    EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
  }
  bool SpotRightOn() {
    CLight* light = scene->GetLightingSystem()->GetLightByName("spotRight");
    return light != nullptr && light->IsActive();
  }
  host::StandardHost standard;
  ComponentHandle handle{};
  Playback::SceneSystem* scene = nullptr;
};

TEST(RoundTrip, ReplayedObjectsEndInTheRecordedStateAndTheDestroyedOneIsGone) {
  playback_testing::SampleRoot root;
  const std::string path = "resource\\movies\\round.mov";
  std::map<uint32_t, ObjectState> recorded;
  uint32_t destroyedId = 0;
  bool spotRight = true;
  {
    Stage stage(root.root);
    Playback::SceneSystem* scene = stage.scene;
    ASSERT_NE(scene, nullptr);
    ASSERT_EQ(scene->LoadScene(1), 1);
    scene->SetStateString("warmup", 0, 0);
    Recorder* recorder = scene->StartRecording();
    const uint32_t keys[3][2] = {{1, 9}, {2, 9}, {3, 9}};
    std::vector<SceneBaseObj*> objects;
    for (const auto& key : keys) {
      auto* o = dynamic_cast<SceneBaseObj*>(scene->CreateSceneObject(key));
      ASSERT_NE(o, nullptr);
      ASSERT_TRUE(o->LoadFromIni(10005, 1, 0, 0.0f));
      objects.push_back(o);
    }
    const D3DXVECTOR3 a(-2.0f, 0.0f, 0.0f), b(2.0f, 0.0f, 0.0f), c(0.0f, 0.0f, -3.0f);
    objects[0]->SetPositionAction(&a, 0.0f, 0);
    objects[1]->SetPositionAction(&b, 3.0f, 0);
    objects[2]->SetPositionAction(&c, 0.0f, 0);
    objects[0]->SetTitle(L"Mira \U0001F57A", 0, 12, 1);
    objects[1]->SetTitle(L"J\u00f6rn", 1, 20, 1);
    objects[0]->SetTag(1);
    objects[1]->SetScale(1.25f);
    objects[1]->AddChildId(7);
    objects[1]->AddChildId(9);
    objects[1]->RemoveChildId(7);
    objects[0]->SetHandNumbers(3, 14);
    ASSERT_TRUE(objects[0]->PlayEffect("sparkle", "fx_sparkle", 60000, -1));
    ASSERT_TRUE(objects[1]->PlayEffect("smoke", "fx_smoke", 500, 0));  // over before the end
    for (int frame = 0; frame < 10; ++frame) stage.standard.host.Execute(16);
    objects[0]->MoveToRecorded(-2.0f, 3.0f, 0.0f, 2.0f, 6.2831853f, 3, 0);
    objects[1]->MoveToRecorded(4.0f, 0.0f, 1.5707964f, 2.0f, 6.2831853f, 3, 0);
    auto* renderable = static_cast<host::RenderableObject*>(
        static_cast<IRenderableObject*>(stage.standard.host.GetObject(objects[0]->GetHandle())));
    ASSERT_TRUE(renderable->SetParameter("face", "-5"));
    scene->GetLightingSystem()->GetLightByName("spotRight")->SetActive(false, 0);
    scene->SetStateString("dance", 1, 40);
    destroyedId = scene->FindObjectId(objects[2]);
    for (int frame = 0; frame < 30; ++frame) stage.standard.host.Execute(16);
    scene->DestroySceneObject(keys[2]);
    // Both walks (3 and 2 units at 2 a second) are over by 1.5 s after they began.
    for (int frame = 0; frame < 70; ++frame) stage.standard.host.Execute(16);
    EXPECT_EQ(objects[0]->IsMoving(), 0);
    for (int i = 0; i < 2; ++i) recorded[scene->FindObjectId(objects[i])] = StateOf(stage.standard.host, objects[i]);
    spotRight = stage.SpotRightOn();
    MovieDataPtr movie;
    recorder->GetMovie(&movie);
    ASSERT_TRUE(scene->SaveMovie(movie, &path));
  }
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_FALSE(spotRight);
  EXPECT_EQ(recorded.begin()->second.position.z, 3.0f);
  EXPECT_EQ(recorded.begin()->second.face, "-5");

  Stage stage(root.root);
  MovieDataPtr movie;
  ASSERT_TRUE(stage.scene->LoadMovie(&movie, &path));
  auto* player = static_cast<MoviePlayer*>(stage.scene->StartPlaying());
  player->Load(movie);
  player->Play();
  // Up to the frame before the end, which would take the replayed objects away.
  const int32_t end = movie->GetLastSceneEventTime();
  while (player->GetTime() + 16 < end) stage.standard.host.Execute(16);
  MovieInfo info;
  stage.scene->GetMovieInfo(movie, &info);
  EXPECT_EQ(info.sceneId, 1u);
  EXPECT_EQ(info.state, "dance");
  EXPECT_EQ(stage.scene->GetStateString(), std::string("dance"));
  EXPECT_FALSE(stage.SpotRightOn());

  EXPECT_EQ(player->ReplayedObjects().count(destroyedId), 0u);
  for (const auto& [id, want] : recorded) {
    SCOPED_TRACE("object " + std::to_string(id));
    ASSERT_EQ(player->ReplayedObjects().count(id), 1u);
    SceneBaseObj* replayed = MoviePlayer::Resolve(player->ReplayedObjects().at(id));
    ASSERT_NE(replayed, nullptr);
    const ObjectState got = StateOf(stage.standard.host, replayed);
    EXPECT_EQ(got.position.x, want.position.x);
    EXPECT_EQ(got.position.z, want.position.z);
    EXPECT_NEAR(got.yaw, want.yaw, 1e-6f);
    EXPECT_TRUE(got.title == want.title);
    EXPECT_EQ(got.tag, want.tag);
    EXPECT_EQ(got.scale, want.scale);
    EXPECT_EQ(got.children, want.children);
    EXPECT_EQ(got.effects, want.effects);
    // Parameter values travel as numbers: a text such as "smile" comes back as "0".
    EXPECT_EQ(got.face, want.face == "-5" ? "-5" : "0");
    EXPECT_EQ(got.hands[0], want.hands[0]);
    EXPECT_EQ(got.hands[1], want.hands[1]);
  }
}

}  // namespace
