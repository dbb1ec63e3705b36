// Names and flags, fog render states, the gamma ramp, the named scene effect objects and the
// calls the scene forwards to its video texture managers.
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "frame/renderer.h"
#include "scene_fixture.h"

namespace {
using scene_testing::RecordingManager;
using scene_testing::SceneHost;

TEST(SceneAccessors, TheRootChangedFlagRisesOnlyForANewFolder) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->rootChanged, 0);
  scene->SetPendingStateName("resource\\ini\\scene2");
  EXPECT_EQ(scene->rootChanged, 1);
  EXPECT_STREQ(scene->GetPendingStateName(), "resource\\ini\\scene2");
  scene->rootChanged = 0;  // as loading clears it
  scene->SetPendingStateName("resource\\ini\\scene2");
  EXPECT_EQ(scene->rootChanged, 0);
  scene->SetPendingStateName(nullptr);
  EXPECT_EQ(scene->rootChanged, 1);
  EXPECT_STREQ(scene->GetPendingStateName(), "");
  scene->SetNameC("c");
  EXPECT_STREQ(scene->GetNameB(), "");
  EXPECT_STREQ(scene->GetNameC(), "c");
}

TEST(SceneSettings, FogModesSetTableThenVertexModeAndModesPastSixSetNothing) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  auto& r = s.standard.renderer;
  const DWORD table[7] = {0, 0, 0, 1, 2, 0, 3}, vertex[7] = {0, 1, 2, 0, 0, 3, 0};
  for (int mode = 0; mode < 7; ++mode) {
    r.ClearRenderStateCalls();
    scene->SetFogMode(mode);
    const std::vector<std::pair<DWORD, DWORD>> expected = {{D3DRS_FOGTABLEMODE, table[mode]},
                                                           {D3DRS_FOGVERTEXMODE, vertex[mode]}};
    EXPECT_EQ(r.RenderStateCalls(), expected) << mode;
  }
  r.ClearRenderStateCalls();
  scene->SetFogMode(7);
  scene->SetFogMode(-1);
  EXPECT_TRUE(r.RenderStateCalls().empty());
  EXPECT_EQ(scene->GetFogMode(), -1);
}

TEST(SceneSettings, FogParametersAreStoredAndSetColourDensityStartEnd) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  auto& r = s.standard.renderer;
  r.ClearRenderStateCalls();
  scene->SetFogParams(0xFF336699u, 0.02f, 10.0f, 250.0f);
  auto bits = [](float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
  };
  const std::vector<std::pair<DWORD, DWORD>> expected = {{D3DRS_FOGCOLOR, 0xFF336699u},
                                                         {D3DRS_FOGDENSITY, bits(0.02f)},
                                                         {D3DRS_FOGSTART, bits(10.0f)},
                                                         {D3DRS_FOGEND, bits(250.0f)}};
  EXPECT_EQ(r.RenderStateCalls(), expected);
  uint32_t colour = 0;
  float density = 0, start = 0, end = 0;
  scene->GetFogParams(&colour, &density, &start, &end);
  EXPECT_EQ(colour, 0xFF336699u);
  EXPECT_EQ(density, 0.02f);
  EXPECT_EQ(start, 10.0f);
  EXPECT_EQ(end, 250.0f);
  EXPECT_EQ(scene->SetFogEnable(1), 1);
  EXPECT_EQ(scene->GetFogEnable(), 1);
}

TEST(SceneSettings, GammaOneIsTheIdentityRampAndTwoRaisesTheMiddle) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->SetGamma(2.0f), 2.0f);
  auto ramp = win32::GammaRamp();
  // sqrt(128 / 255) x 255 = 180.66
  EXPECT_GE(ramp[128], 180 * 256);
  EXPECT_LT(ramp[128], 181 * 256);
  EXPECT_EQ(ramp[256 + 128], ramp[128]);  // green
  EXPECT_EQ(ramp[512 + 128], ramp[128]);  // blue
  EXPECT_EQ(ramp[0], 0);
  EXPECT_EQ(ramp[255], 0xFF00);
  for (int i = 1; i < 256; ++i) ASSERT_GT(ramp[i], ramp[i - 1]) << i;

  EXPECT_EQ(scene->SetGamma(1.0f), 1.0f);
  ramp = win32::GammaRamp();
  for (int i = 0; i < 768; ++i) ASSERT_EQ(ramp[i], (i % 256) * 256) << i;
  EXPECT_EQ(win32::OpenDeviceContexts(), 0u);
}

TEST(SceneSettings, AGammaThatIsNotPositiveAndFiniteLeavesRampAndValue) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  scene->SetGamma(1.5f);
  const auto ramp = win32::GammaRamp();
  const size_t calls = win32::GammaRampSetCalls();
  for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    EXPECT_EQ(scene->SetGamma(bad), 1.5f) << bad;
    EXPECT_EQ(scene->GetGamma(), 1.5f);
  }
  EXPECT_EQ(win32::GammaRampSetCalls(), calls);
  EXPECT_EQ(win32::GammaRamp(), ramp);
}

// A named scene effect object: it notes every switch.
std::vector<int>* g_switches = nullptr;

class SwitchedObject : public host::HostObject, public ISceneEffectObject {
 public:
  void Execute(uint32_t) override {}
  void Realize(uint32_t) override {}
  void SetSwitch(int32_t on) override { g_switches->push_back(on); }
  void* InterfacePointer() override { return static_cast<ISceneEffectObject*>(this); }
};

TEST(SceneSettings, ANamedObjectIsMadeOnceSwitchedOnAgainAndReleased) {
  SceneHost s;
  std::vector<int> switches;
  g_switches = &switches;
  size_t made = 0;
  for (const char* name : {"EffectRoom", "Animals"})
    s.host.RegisterHostClass(name, [&made] {
      ++made;
      return std::make_unique<SwitchedObject>();
    });
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  EXPECT_TRUE(scene->GetOrCreateNamedObject("EffectRoom"));
  EXPECT_TRUE(scene->GetOrCreateNamedObject("EffectRoom"));
  EXPECT_EQ(made, 1u);
  EXPECT_EQ(switches, (std::vector<int>{1, 1}));
  const ComponentHandle room = scene->namedObjects.at("EffectRoom");

  EXPECT_FALSE(scene->GetOrCreateNamedObject("NoSuchClass"));
  EXPECT_FALSE(scene->GetOrCreateNamedObject(nullptr));
  EXPECT_EQ(scene->namedObjects.size(), 1u);

  scene->ReleaseNamedObject("EffectRoom");
  EXPECT_EQ(switches, (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(s.host.GetObject(&room), nullptr);
  EXPECT_TRUE(scene->namedObjects.empty());
  scene->ReleaseNamedObject("EffectRoom");
  scene->ReleaseNamedObject(nullptr);
  EXPECT_EQ(switches.size(), 3u);

  // Destroy releases every one still held, a module component named as an effect among them.
  scene->GetOrCreateNamedObject("Animals");
  scene->GetOrCreateNamedObject("EffectRoom");
  scene->GetOrCreateNamedObject("CGlow");
  const ComponentHandle glow = scene->namedObjects.at("CGlow");
  ASSERT_EQ(s.host.ClassOf(glow), "CGlow");
  switches.clear();
  s.host.DestroyObject(h);
  EXPECT_EQ(switches, (std::vector<int>{0, 0}));
  EXPECT_EQ(made, 3u);
  EXPECT_EQ(s.host.GetObject(&glow), nullptr);
  g_switches = nullptr;
}

TEST(SceneVideo, TheMainManagerOpensWithASourceFilterAndShowsTheRectangle) {
  SceneHost s;
  s.host.RegisterComponentClass<RecordingManager>("CVideoTextureManager");
  CSceneSystem* scene = s.MakeScene();
  auto* main = s.Object<RecordingManager>(scene->videoManager0);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(scene->SetVideoInTexture(L"intro.wmv", L"Raw Video 1", 10, 20, 320, 240, nullptr));
  EXPECT_EQ(main->calls, (std::vector<std::string>{"open 1 intro.wmv", "rect 10 20 320 240"}));
  main->openResult = static_cast<HRESULT>(0x80004005u);
  main->calls.clear();
  EXPECT_FALSE(scene->SetVideoInTexture(L"bad.wmv", L"Raw Video 1", 0, 0, 1, 1, nullptr));
  EXPECT_EQ(main->calls, (std::vector<std::string>{"open 1 bad.wmv"}));
  scene->CloseVideo();
  EXPECT_EQ(main->calls.back(), "close");
}

TEST(SceneVideo, TheFilmHandleFallsBackToManagerThreeAndStopClearsPlayingEvenWhenGone) {
  SceneHost s;
  s.host.RegisterComponentClass<RecordingManager>("CVideoTextureManager");
  CSceneSystem* scene = s.MakeScene();
  ComponentHandle own{};
  scene->CreateVideoTextureManager(&own);
  auto* mine = s.Object<RecordingManager>(own);
  ASSERT_NE(mine, nullptr);
  scene->SetFilmVideoTexture(&own);
  EXPECT_EQ(scene->filmVideoHandle, own);
  scene->PlayFilmVideo();
  scene->PauseFilmVideo();
  scene->SetVideoPlaying(1);
  scene->StopFilmVideo();
  EXPECT_EQ(mine->calls, (std::vector<std::string>{"play", "pause", "stop", "release"}));
  EXPECT_EQ(scene->videoPlaying, 0);

  ComponentHandle empty = own;
  empty.words[4] = 0;  // the fifth word names nothing
  scene->SetFilmVideoTexture(&empty);
  EXPECT_EQ(scene->filmVideoHandle, scene->videoManager3);

  scene->SetFilmVideoTexture(&own);
  scene->DestroyObjectHandle(&own);
  EXPECT_EQ(s.host.GetObject(&own), nullptr);
  scene->SetVideoPlaying(1);
  scene->StopFilmVideo();
  EXPECT_EQ(scene->videoPlaying, 0);
}

TEST(SceneVideo, CallsOnAManagerByHandleAnswerNothingOnceItIsGone) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();  // the module's own managers: no graph
  const ComponentHandle m1 = scene->videoManager1;
  EXPECT_FALSE(scene->OpenVideoOf(&m1, L"a.wmv", L"Raw Video 1", L"Raw Audio 0"));
  EXPECT_EQ(scene->GetVideoDurationOf(&m1), 0.0);
  const D3DMATRIX* matrix = reinterpret_cast<const D3DMATRIX*>(&m1);
  // The failed open keeps its texture renderer until the next build: the lock is entered
  // with no frame yet.
  EXPECT_EQ(scene->LockVideoTextureOf(&m1, &matrix), nullptr);
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(matrix->_11, 1.0f);
  scene->UnlockVideoTextureOf(&m1);

  s.host.RegisterComponentClass<RecordingManager>("CVideoTextureManager");
  ComponentHandle own{};
  scene->CreateVideoTextureManager(&own);
  EXPECT_TRUE(scene->OpenVideoOf(&own, L"b.wmv", L"Raw Video 1", nullptr));
  EXPECT_EQ(scene->GetVideoDurationOf(&own), 12.5);
  scene->DestroyObjectHandle(&own);
  EXPECT_FALSE(scene->OpenVideoOf(&own, L"b.wmv", L"Raw Video 1", nullptr));
  EXPECT_EQ(scene->GetVideoDurationOf(&own), 0.0);
  EXPECT_EQ(scene->GetVideoPositionOf(&own), 0.0);
  scene->PlayVideoOf(&own);
  scene->UnlockVideoTextureOf(&own);
}

void Listener(int, void*) {}

TEST(SceneVideo, ListenersGoToTheMainManager) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  int context = 0;
  scene->AddVideoListener(&Listener, &context);
  auto* main = s.Object<CVideoTextureManager>(scene->videoManager0);
  ASSERT_EQ(main->Listeners().size(), 1u);
  EXPECT_EQ(main->Listeners()[0].second, &context);
  scene->RemoveVideoListener(&Listener);
  EXPECT_TRUE(main->Listeners().empty());
  const ComponentHandle m2 = scene->videoManager2;
  scene->AddVideoListenerOf(&m2, &Listener, nullptr);
  EXPECT_EQ(s.Object<CVideoTextureManager>(m2)->Listeners().size(), 1u);
  scene->RemoveVideoListenerOf(&m2, &Listener);
  EXPECT_TRUE(s.Object<CVideoTextureManager>(m2)->Listeners().empty());
}

}  // namespace
