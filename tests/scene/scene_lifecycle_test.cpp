// The scene system's start-up, shut-down, device events and playback defaults.
#include <boost/shared_ptr.hpp>
#include <cstdio>
#include <memory>
#include <new>

#include "camera/base_camera.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "host/generic_object.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "scene_fixture.h"

namespace {
using scene_testing::As;
using scene_testing::SceneHost;

constexpr const char* kPlaybackLine =
    "[ERROR] Playback interface of SceneSystem failed, it due to virtual funtion overload failed.";

TEST(SceneLifeCycle, WithoutTheRendererInitFailsAfterSubscribingAllFourChannels) {
  host::ReferenceHost host;
  host::RegisterGenericClasses(host);
  host.LoadModule(&DMAInterface);
  ComponentHandle h{};
  EXPECT_TRUE(host.CreateObject(&h, "CSceneSystem"));
  const std::pair<const char*, int> expected[] = {
      {"execute", 2}, {"realize", 25500}, {"LostDevice", 0}, {"system_messages", 3}};
  for (const auto& [channel, order] : expected) {
    const auto subscribers = host.Subscribers(channel);
    ASSERT_EQ(subscribers.size(), 1u) << channel;
    EXPECT_EQ(subscribers[0].first, h);
    EXPECT_EQ(subscribers[0].second, order) << channel;
  }
  EXPECT_EQ(host.LogLines().front(), "Can't create an instance of 'dx8render'.");
  EXPECT_EQ(host.LiveObjects().size(), 1u);  // nothing made after the failure
  EXPECT_EQ(As<CSceneSystem>(host.GetObject(&h))->GetLightingSystem(), nullptr);
  host.DestroyAll();
  EXPECT_EQ(host.Allocator().LiveBlocks(), 0u);
}

TEST(SceneLifeCycle, InitMakesItsObjectsInOrderAndWiresTheCamera) {
  SceneHost s;
  auto sounds = host::RegisterRecordingClass(s.host, "Sound");
  ComponentHandle existingSound{};
  s.host.CreateObject(&existingSound, "Sound");  // found, not made again
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  ASSERT_NE(scene, nullptr);

  std::vector<std::string> classes;
  for (const auto& live : s.host.LiveObjects()) classes.push_back(s.host.ClassOf(live));
  const std::vector<std::string> expected = {"Sound", "CSceneSystem", "CBaseCamera", "Shadow", "Particles",
                                             "ActiveEffect", "CVideoTextureManager", "CVideoTextureManager",
                                             "CVideoTextureManager", "CVideoTextureManager"};
  EXPECT_EQ(classes, expected);
  EXPECT_EQ(sounds->Created(), 1u);
  EXPECT_EQ(scene->soundHandle, existingSound);

  auto* camera = scene->GetCamera();
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->eyeAdjuster, scene);
  EXPECT_EQ(camera->mouseLookEye, &scene->originCameraEye);
  EXPECT_EQ(camera->mouseLookAt, &scene->originCameraTarget);

  bool shadowTold = false;
  for (const auto& m : s.host.Messages())
    if (m.id == 1999295 && m.target == scene->shadowHandle && m.signature == "lf" && m.args[0].f == 0.5)
      shadowTold = true;
  EXPECT_TRUE(shadowTold);

  const auto live = s.host.LiveObjects();
  EXPECT_EQ(scene->videoManager0, live[6]);
  EXPECT_EQ(scene->videoManager3, live[9]);
  EXPECT_EQ(scene->filmVideoHandle, scene->videoManager3);
  ASSERT_NE(scene->GetLightingSystem(), nullptr);
  EXPECT_EQ(GetCurrentSceneSystem(), scene);
  EXPECT_EQ(scene->GetCurrentSceneId(), -1);
  EXPECT_EQ(scene->GetGamma(), 1.0f);
  EXPECT_EQ(scene->GetSortedObjectLimit(), 1024);
  EXPECT_EQ(scene->GetLitObjectLimit(), 1024);
  EXPECT_EQ(scene->GetRenderEnabled(), 1);
  EXPECT_EQ(scene->GetFilmEnabled(), 1);
  EXPECT_STREQ(scene->GetStateString(), "");
}

// A camera whose Init makes the host's allocator refuse the next block: the scene's lighting
// system, which Init asks for after the camera and the host objects (made without the allocator).
class StarvingCamera : public CBaseCamera {
 public:
  bool Init() override {
    starve->FailNext(1);
    return CBaseCamera::Init();
  }
  static host::HostAllocator* starve;
};
host::HostAllocator* StarvingCamera::starve = nullptr;

TEST(SceneLifeCycle, WithoutMemoryForTheLightingSystemInitFailsAndDestroyCleansUp) {
  SceneHost s;
  StarvingCamera::starve = &s.host.Allocator();
  s.host.RegisterComponentClass<StarvingCamera>("CBaseCamera");
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->GetLightingSystem(), nullptr);
  EXPECT_EQ(s.host.LogLines().back(), "CreateObject CSceneSystem: Init failed");
  EXPECT_EQ(s.host.ClassOf(scene->videoManager0), "");  // Init stopped before the managers
  const ComponentHandle camera = scene->cameraHandle, shadow = scene->shadowHandle;
  s.host.DestroyObject(h);
  EXPECT_EQ(s.host.GetObject(&camera), nullptr);
  EXPECT_EQ(s.host.GetObject(&shadow), nullptr);
}

TEST(SceneLifeCycle, AdjustHeightsComeFromEverySectionOfTheNameConfig) {
  SceneHost s;
  s.WriteFile("Resource/ini/Brivanta/Interface/AdjustNameConfig.ini",
              "[Dancer]\r\nAdjustH=0.25\r\n[Tall]\r\nAdjustH=1.5\r\n[Flat]\r\nOther=3\r\n");
  CSceneSystem* scene = s.MakeScene();
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Dancer"), 0.25f);
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Tall"), 1.5f);
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Flat"), 0.0f);
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Nobody"), 0.0f);
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight(nullptr), 0.0f);
  EXPECT_EQ(scene->adjustHeights.size(), 3u);
}

TEST(SceneLifeCycle, OfTwoSectionsOfOneNameTheLaterOnesAdjustHeightIsKept) {
  SceneHost s;
  s.WriteFile("Resource/ini/Brivanta/Interface/AdjustNameConfig.ini",
              "[Dancer]\r\nAdjustH=0.25\r\n[Tall]\r\nAdjustH=1.5\r\n[Dancer]\r\nAdjustH=-0.75\r\n");
  CSceneSystem* scene = s.MakeScene();
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Dancer"), -0.75f);
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Tall"), 1.5f);
  EXPECT_EQ(scene->adjustHeights.size(), 2u);
}

TEST(SceneLifeCycle, WithoutTheNameConfigNoNameIsAdjusted) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_TRUE(scene->adjustHeights.empty());
  EXPECT_FLOAT_EQ(scene->GetAdjustHeight("Dancer"), 0.0f);
}

// Host objects and components that note their Destroy in one shared list.
std::vector<std::string>* g_destroyed = nullptr;

class NotingShadow : public host::HostObject {
 public:
  void Destroy() override { g_destroyed->push_back("Shadow"); }
};
class NotingCamera : public CBaseCamera {
 public:
  void Destroy() override { g_destroyed->push_back("camera"); }
};
class NotingManager : public CVideoTextureManager {
 public:
  void Destroy() override { g_destroyed->push_back("video"); }
};

TEST(SceneLifeCycle, DestroyTakesDownItsObjectsInOrderOnceAndKeepsTheSharedOnes) {
  SceneHost s;
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  s.host.RegisterHostClass("Shadow", [] { return std::make_unique<NotingShadow>(); });
  s.host.RegisterComponentClass<NotingCamera>("CBaseCamera");
  s.host.RegisterComponentClass<NotingManager>("CVideoTextureManager");
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  const ComponentHandle sound = scene->soundHandle, particles = scene->particlesHandle,
                        effect = scene->activeEffectHandle;
  const size_t rampCalls = win32::GammaRampSetCalls();

  scene->Destroy();
  scene->Destroy();
  const std::vector<std::string> expected = {"camera", "Shadow", "video", "video", "video", "video"};
  EXPECT_EQ(destroyed, expected);
  EXPECT_EQ(scene->GetLightingSystem(), nullptr);
  EXPECT_EQ(win32::GammaRampSetCalls(), rampCalls);  // gamma 1.0 is not restored
  // The host's own Destroy and the destructor's find nothing more to do.
  s.host.DestroyObject(h);
  EXPECT_EQ(destroyed, expected);
  EXPECT_NE(s.host.GetObject(&sound), nullptr);
  EXPECT_NE(s.host.GetObject(&particles), nullptr);
  EXPECT_NE(s.host.GetObject(&effect), nullptr);
  g_destroyed = nullptr;
}

TEST(SceneLifeCycle, DestroyRestoresAChangedGammaToIdentity) {
  SceneHost s;
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  scene->SetGamma(2.0f);
  EXPECT_NE(win32::GammaRamp()[128], 128 * 256);
  const size_t rampCalls = win32::GammaRampSetCalls();
  s.host.DestroyObject(h);
  EXPECT_EQ(win32::GammaRampSetCalls(), rampCalls + 1);
  const auto ramp = win32::GammaRamp();
  for (int i = 0; i < 256; ++i) ASSERT_EQ(ramp[i], i * 256) << i;
  EXPECT_EQ(win32::OpenDeviceContexts(), 0u);
}

TEST(SceneLifeCycle, TheCurrentSceneSystemIsClearedOnlyByItsOwnDestruction) {
  SceneHost s;
  ComponentHandle first{}, second{};
  s.MakeScene(&first);
  CSceneSystem* b = s.MakeScene(&second);
  EXPECT_EQ(GetCurrentSceneSystem(), b);
  s.host.DestroyObject(first);
  EXPECT_EQ(GetCurrentSceneSystem(), b);
  s.host.DestroyObject(second);
  EXPECT_EQ(GetCurrentSceneSystem(), nullptr);
}

// Destroy unloads the scene, which destroys every scene object not flagged to stay; the
// destructor then destroys the flagged ones.
TEST(SceneLifeCycle, DestroyAndTheDestructorLeaveNoSceneObject) {
  SceneHost s;
  s.host.RegisterComponentClass<scene_testing::ScriptedObject>("SceneBaseObj");
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  const uint32_t kept[2] = {1, 1}, flagged[2] = {2, 2};
  scene->CreateSceneObject(kept);
  scene->CreateSceneObject(flagged)->SetUserFlag(1);
  const ComponentHandle keptHandle = scene->sceneObjects[0], flaggedHandle = scene->sceneObjects[1];
  scene->Destroy();
  EXPECT_EQ(s.host.GetObject(&keptHandle), nullptr);
  EXPECT_NE(s.host.GetObject(&flaggedHandle), nullptr);
  s.host.DestroyObject(h);
  EXPECT_EQ(s.host.GetObject(&flaggedHandle), nullptr);
}

TEST(SceneLifeCycle, EachPlaybackSlotLogsOnceAndAnswersNothing) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  s.host.ClearLog();
  EXPECT_EQ(scene->StartRecording(), nullptr);
  scene->StopRecording(nullptr);
  EXPECT_EQ(scene->StartPlaying(), nullptr);
  scene->StopPlaying(nullptr);
  const std::string path = "movie.dat";
  boost::shared_ptr<Playback::MovieData> movie;
  EXPECT_FALSE(scene->SaveMovie(movie, &path));
  EXPECT_FALSE(scene->LoadMovie(&movie, &path));
  EXPECT_FALSE(scene->GetMovieInfo(movie, nullptr));
  EXPECT_EQ(s.LogCount(kPlaybackLine), 7u);
  EXPECT_EQ(s.host.LogLines().size(), 7u);
}

TEST(SceneLifeCycle, DeviceResetRestoresSunAndFogOnlyWithALoadedSceneAndNoWeather) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  CLight* sun = nullptr;
  scene->GetLightingSystem()->CreateLight("sun", &sun);
  ASSERT_NE(sun, nullptr);
  scene->fogMode = 3;  // as loading stores it
  scene->fogColor = 0xFF102030;
  auto& renderer = s.standard.renderer;
  auto& pending = scene->GetLightingSystem()->pendingHardwareLights;

  renderer.ClearRenderStateCalls();
  s.host.SendEvent(kEventDeviceReset);
  EXPECT_TRUE(renderer.RenderStateCalls().empty());
  EXPECT_TRUE(pending.empty());

  scene->sceneId = 4;  // a loaded scene
  scene->weatherOn = 1;
  s.host.SendEvent(kEventDeviceReset);
  EXPECT_TRUE(renderer.RenderStateCalls().empty());
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0], sun);

  scene->weatherOn = 0;
  s.host.SendEvent(kEventDeviceReset);
  EXPECT_EQ(renderer.GetRenderState(D3DRS_FOGTABLEMODE), 1u);
  EXPECT_EQ(renderer.GetRenderState(D3DRS_FOGCOLOR), 0xFF102030u);
  scene->sceneId = -1;
}

}  // namespace
