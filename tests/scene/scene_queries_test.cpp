// Segment tests against the scene's patch models, mouse picking, the state string, sound and film
// volume, and the text hook.
#include <cmath>
#include <limits>

#include "frame/renderer.h"
#include "host/generic_object.h"
#include "scene_fixture.h"

namespace {
using scene_testing::RecordingManager;
using scene_testing::ScriptedObject;
using scene_testing::ScriptedPatch;
using scene_testing::SceneHost;

struct PatchScene : SceneHost {
  CSceneSystem* scene = nullptr;
  ScriptedPatch walk, camera;
  PatchScene() {
    host.RegisterComponentClass<ScriptedObject>("SceneBaseObj");
    scene = MakeScene();
  }
  ~PatchScene() {
    // The patches belong to the test; the scene must not keep them past it.
    scene->walkPatch = nullptr;
    scene->cameraPatch = nullptr;
  }
};

TEST(SceneQueries, IntersectSegmentHitsFromTheStartToTheEndInclusive) {
  PatchScene s;
  const D3DXVECTOR3 start(1.0f, 2.0f, 3.0f), end(5.0f, -2.0f, 11.0f);
  D3DXVECTOR3 hit(-7.0f, -7.0f, -7.0f);
  EXPECT_FALSE(s.scene->IntersectSegment(&start, &end, &hit));  // no camera patch yet
  s.scene->cameraPatch = &s.camera;

  s.camera.t = 0.0f;
  EXPECT_TRUE(s.scene->IntersectSegment(&start, &end, &hit));
  EXPECT_EQ(hit, start);
  s.camera.t = 1.0f;
  EXPECT_TRUE(s.scene->IntersectSegment(&start, &end, &hit));
  EXPECT_EQ(hit, end);
  s.camera.t = 0.25f;
  EXPECT_TRUE(s.scene->IntersectSegment(&start, &end, &hit));
  EXPECT_EQ(hit, D3DXVECTOR3(2.0f, 1.0f, 5.0f));
  ASSERT_FALSE(s.camera.segments.empty());
  EXPECT_EQ(s.camera.segments.back().first, start);
  EXPECT_EQ(s.camera.segments.back().second, end);

  const D3DXVECTOR3 before = hit;
  for (float t : {std::nextafter(1.0f, 2.0f), -0.001f, std::numeric_limits<float>::quiet_NaN()}) {
    s.camera.t = t;
    EXPECT_FALSE(s.scene->IntersectSegment(&start, &end, &hit)) << t;
    EXPECT_EQ(hit, before);
  }
}

TEST(SceneQueries, GroundHeightTestsTheVerticalFromPlusToMinusAHundred) {
  PatchScene s;
  D3DXVECTOR3 p(3.0f, 42.0f, -4.0f);
  EXPECT_EQ(s.scene->GetGroundHeight(&p, 0), 1);  // no walk patch
  s.scene->walkPatch = &s.walk;
  s.walk.t = 0.5f;
  EXPECT_EQ(s.scene->GetGroundHeight(&p, 0), 0);
  EXPECT_EQ(p, D3DXVECTOR3(3.0f, 0.0f, -4.0f));
  EXPECT_EQ(s.walk.segments.back().first, D3DXVECTOR3(3.0f, 100.0f, -4.0f));
  EXPECT_EQ(s.walk.segments.back().second, D3DXVECTOR3(3.0f, -100.0f, -4.0f));
  s.walk.t = 0.25f;
  s.scene->GetGroundHeight(&p, 0);
  EXPECT_FLOAT_EQ(p.y, 50.0f);
  s.walk.t = 1.0f;
  EXPECT_EQ(s.scene->GetGroundHeight(&p, 0), 0);
  EXPECT_FLOAT_EQ(p.y, -100.0f);
  p.y = 8.0f;
  for (float t : {1.5f, std::numeric_limits<float>::quiet_NaN()}) {
    s.walk.t = t;
    EXPECT_EQ(s.scene->GetGroundHeight(&p, 0), 1);
    EXPECT_EQ(p.y, 8.0f);
  }
}

// The view of the pick tests: an eye off the origin looking at it, and the ray through a screen
// point worked out from the camera's own axes and field of view.
struct PickScene : PatchScene {
  const D3DXVECTOR3 eye{0.0f, 5.0f, -10.0f};
  const float fov = 1.0f;
  D3DVIEWPORT8 viewport{};

  PickScene() {
    auto& r = standard.renderer;
    r.GetViewport(&viewport);
    const float aspect = static_cast<float>(viewport.Width) / static_cast<float>(viewport.Height);
    D3DXMATRIX projection, view;
    D3DXMatrixPerspectiveFovLH(&projection, fov, aspect, 0.1f, 3000.0f);
    const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    r.SetTransform(D3DTS_PROJECTION, &projection);
    r.SetTransform(D3DTS_VIEW, &view);
    scene->walkPatch = &walk;
  }

  // The unit-free ray direction through a screen point (forward component 1).
  D3DXVECTOR3 Ray(float x, float y) const {
    const double len = std::sqrt(5.0 * 5.0 + 10.0 * 10.0);
    const D3DXVECTOR3 forward(0.0f, static_cast<float>(-5.0 / len), static_cast<float>(10.0 / len));
    const D3DXVECTOR3 right(1.0f, 0.0f, 0.0f);  // up x forward, normalised
    const D3DXVECTOR3 upAxis(0.0f, static_cast<float>(10.0 / len), static_cast<float>(5.0 / len));
    const double half = std::tan(fov / 2.0);
    const double aspect = static_cast<double>(viewport.Width) / viewport.Height;
    const float vx = static_cast<float>((2.0 * x / viewport.Width - 1.0) * half * aspect);
    const float vy = static_cast<float>(-(2.0 * y / viewport.Height - 1.0) * half);
    return right * vx + upAxis * vy + forward;
  }
};

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(ScenePick, TheRayRunsFromTheEyeAndObjectsGetItsDirection) {
  PickScene s;
  const uint32_t pair[2] = {1, 1};
  auto* object = static_cast<ScriptedObject*>(s.scene->CreateSceneObject(pair));
  s.walk.t = 0.5f;
  const float x = static_cast<float>(s.viewport.Width) / 4.0f, y = static_cast<float>(s.viewport.Height) / 4.0f;
  ScenePick pick{};
  EXPECT_TRUE(s.scene->PickScenePoint(&pick, static_cast<int>(x), static_cast<int>(y), 1));

  ASSERT_EQ(object->picks.size(), 1u);
  const auto& call = object->picks[0];
  ExpectNear(call.origin, s.eye, 1e-4f);
  ExpectNear(call.direction * (1.0f / 99999.0f), s.Ray(x, y), 1e-4f);
  EXPECT_EQ(call.mode, 1);
  ASSERT_EQ(s.walk.segments.size(), 1u);
  ExpectNear(s.walk.segments[0].first, s.eye, 1e-4f);
  ExpectNear((s.walk.segments[0].second - s.eye) * (1.0f / 99999.0f), s.Ray(x, y), 1e-4f);
  const D3DXVECTOR3 expected = s.eye + s.Ray(x, y) * (99999.0f * 0.5f);
  ExpectNear(D3DXVECTOR3(pick.x, pick.y, pick.z), expected, 1.0f);
  EXPECT_EQ(pick.object, nullptr);  // the object was not hit
}

TEST(ScenePick, TheNearestObjectWinsAndASecondPickInTheFrameIsTheFirstOnesResult) {
  PickScene s;
  const uint32_t far[2] = {1, 1}, near[2] = {2, 2}, missing[2] = {3, 3};
  auto* a = static_cast<ScriptedObject*>(s.scene->CreateSceneObject(far));
  auto* b = static_cast<ScriptedObject*>(s.scene->CreateSceneObject(near));
  auto* c = static_cast<ScriptedObject*>(s.scene->CreateSceneObject(missing));
  a->hitDistance = 4.0f;
  b->hitDistance = 1.0f;
  s.walk.t = 0.25f;
  ScenePick first{};
  EXPECT_TRUE(s.scene->PickScenePoint(&first, 100, 100, 0));
  EXPECT_EQ(first.object, b);
  EXPECT_EQ(c->picks.size(), 1u);

  ScenePick second{};
  EXPECT_TRUE(s.scene->PickScenePoint(&second, 7, 300, 0));
  EXPECT_EQ(second.object, b);
  EXPECT_EQ(D3DXVECTOR3(second.x, second.y, second.z), D3DXVECTOR3(first.x, first.y, first.z));
  EXPECT_EQ(a->picks.size(), 1u);
  EXPECT_EQ(s.walk.segments.size(), 1u);

  // Destroying an object dirties the cache: the next pick looks again.
  s.scene->DestroySceneObject(near);
  ScenePick third{};
  s.scene->PickScenePoint(&third, 100, 100, 0);
  EXPECT_EQ(third.object, a);
  EXPECT_EQ(a->picks.size(), 2u);
}

TEST(ScenePick, TheGroundStepMissesAtTheEndOfTheRayAndTheMissIsCached) {
  PickScene s;
  const uint32_t pair[2] = {1, 1};
  auto* object = static_cast<ScriptedObject*>(s.scene->CreateSceneObject(pair));
  object->hitDistance = 2.0f;
  s.walk.t = 1.0f;
  ScenePick pick{1.0f, 1.0f, 1.0f, nullptr};
  EXPECT_FALSE(s.scene->PickScenePoint(&pick, 10, 10, 0));
  EXPECT_EQ(D3DXVECTOR3(pick.x, pick.y, pick.z), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(pick.object, object);  // the object is reported with the miss
  s.walk.t = 0.5f;
  ScenePick again{};
  EXPECT_FALSE(s.scene->PickScenePoint(&again, 10, 10, 0));
  EXPECT_EQ(again.object, object);
  s.walk.t = 0.0f;  // the start of the ray is no hit either
  s.scene->pickDirty = 1;
  EXPECT_FALSE(s.scene->PickScenePoint(&again, 10, 10, 0));
}

TEST(SceneSound, ValuesCommandsAndTheStateStringReachTheSoundObject) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  s.host.ClearMessages();
  scene->SendSoundValue(3, 0.25f);
  scene->SendSoundCommand(9);
  scene->SetStateString(nullptr, 1, 2);
  EXPECT_STREQ(scene->GetStateString(), "");
  scene->SetStateString("finale", 4, 5);
  EXPECT_STREQ(scene->GetStateString(), "finale");

  const auto& m = s.host.Messages();
  ASSERT_EQ(m.size(), 4u);
  for (const auto& msg : m) {
    EXPECT_EQ(msg.target, scene->soundHandle);
    EXPECT_TRUE(msg.error.empty()) << msg.error;
  }
  EXPECT_EQ(m[0].id, 77000);
  EXPECT_EQ(m[0].signature, "llf");
  EXPECT_EQ(m[0].args[0].l, 3);
  EXPECT_EQ(m[0].args[1].f, 0.25);
  EXPECT_EQ(m[1].id, 77024);
  EXPECT_EQ(m[1].signature, "ll");
  EXPECT_EQ(m[1].args[0].l, 9);
  EXPECT_EQ(m[2].id, 77017);
  EXPECT_EQ(m[2].signature, "lsll");
  EXPECT_FALSE(m[2].args[0].null);
  EXPECT_EQ(m[2].args[0].s, "");
  EXPECT_EQ(m[2].args[1].l, 1);
  EXPECT_EQ(m[3].args[0].s, "finale");
  EXPECT_EQ(m[3].args[2].l, 5);
}

TEST(SceneSound, TheFilmChannelSetsTheFilmVolumeTruncated) {
  SceneHost s;
  s.host.RegisterComponentClass<RecordingManager>("CVideoTextureManager");
  CSceneSystem* scene = s.MakeScene();
  auto* film = s.Object<RecordingManager>(scene->filmVideoHandle);
  ASSERT_NE(film, nullptr);
  s.host.ClearMessages();
  scene->SendSoundValue(6, 70.9f);
  EXPECT_EQ(scene->filmVolume, 70);
  EXPECT_EQ(film->calls.back(), "volume 70");
  EXPECT_EQ(scene->GetFilmVolume(), 70);
  EXPECT_TRUE(s.host.Messages().empty());  // the sound object hears nothing of it
  scene->SendSoundValue(6, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(scene->filmVolume, 0);
  scene->SendSoundValue(6, 1e20f);
  EXPECT_EQ(scene->filmVolume, std::numeric_limits<int32_t>::max());

  s.host.DestroyObject(scene->filmVideoHandle);
  scene->SendSoundValue(6, -12.7f);
  EXPECT_EQ(scene->filmVolume, -12);
  EXPECT_EQ(scene->GetFilmVolume(), 0);
}

const char* Shout(const char* text) {
  static std::string upper;
  upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.c_str();
}

TEST(SceneQueries, TheTextHookIsModuleWideAndTheSceneIdStartsUnloaded) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->GetCurrentSceneId(), -1);
  EXPECT_STREQ(GetTextCodePage("stage"), "stage");
  scene->SetTextCodePage(&Shout, 949);
  EXPECT_STREQ(GetTextCodePage("stage"), "STAGE");
  EXPECT_EQ(g_textCodePage, 949);
  scene->SetTextCodePage(nullptr, 0);
  EXPECT_STREQ(GetTextCodePage("stage"), "stage");
}

}  // namespace
