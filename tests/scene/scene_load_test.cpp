// Scene loading through the scene system and the reference host: the INI set, model records and
// their model objects, creation and unloading, weather, vertex colour sets and the static
// resources the models carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "host/generic_object.h"
#include "host/model_object.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"
#include "scene_fixture.h"

namespace {

using host::RecordedMessage;
using scene_testing::SceneHost;

constexpr const char* kDir = "resource/ini/scene/";

// A triangle in the y = 0 plane (two parts when `twoParts`).
std::string Triangle(const std::string& extra = "", bool twoParts = false) {
  std::string text = extra + "v 0 0 0\nv 4 0 0\nv 0 0 4\no base\nf 1 2 3\n";
  if (twoParts) text += "o top\nf 3 2 1\n";
  return text;
}

// Names of the messages of one id sent to objects of one class, in order.
std::vector<RecordedMessage> MessagesTo(SceneHost& s, const std::string& className, int32_t id) {
  std::vector<RecordedMessage> out;
  for (const RecordedMessage& m : s.host.Messages())
    if (m.targetClass == className && m.id == id) out.push_back(m);
  return out;
}

// The classes the messages of one id went to, in order.
std::vector<std::string> TargetsOf(SceneHost& s, int32_t id) {
  std::vector<std::string> out;
  for (const RecordedMessage& m : s.host.Messages())
    if (m.id == id) out.push_back(m.targetClass);
  return out;
}

// ---- The INI set --------------------------------------------------------------------------------

TEST(SceneIniSet, GlobalKeysAreReadAsTheTablesSay) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini",
              "Ambient=255,0,16\nFogMode=pIXEL_lINEAR\nFogColor=10\nFogDensity=0.5\nFogEnable=2\n"
              "ScreenCenter=1,2\nScreenWidth=3.5\nOriginCamera=1,2,3;4,5,6\nEnvMap=env.dds\n"
              "[SceneEffect]\neffect=0\n[floor]\nVisible=2\n[second]\nVisible=-3\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(scene->GetCurrentSceneId(), 1);
  EXPECT_EQ(scene->ambientColor, 0xFFFF0010u);
  EXPECT_EQ(scene->fogMode, 6);
  // A short colour keeps the default's green and blue.
  EXPECT_EQ(scene->fogColor, 0xFF0A8080u);
  EXPECT_FLOAT_EQ(scene->fogDensity, 0.5f);
  EXPECT_FLOAT_EQ(scene->fogStart, 0.01f);
  EXPECT_EQ(scene->fogEnable, 1);
  EXPECT_FLOAT_EQ(scene->screenCenter.y, 2.0f);
  EXPECT_FLOAT_EQ(scene->screenCenter.z, 0.0f);
  EXPECT_FLOAT_EQ(scene->screenWidth, 3.5f);
  EXPECT_FLOAT_EQ(scene->originCameraEye.z, 3.0f);
  EXPECT_FLOAT_EQ(scene->originCameraTarget.x, 4.0f);
  EXPECT_STREQ(scene->envMapName, "env.dds");
  // Every section is a record, SceneEffect too, in file order.
  ASSERT_EQ(scene->modelRecords.size(), 3u);
  EXPECT_STREQ(scene->modelRecords[0].name, "SceneEffect");
  EXPECT_TRUE(scene->modelRecords[1].Visible);
  EXPECT_FALSE(scene->modelRecords[2].Visible);
  EXPECT_EQ(std::string(scene->modelRecords[1].VideoOutputPin), "Output");
  EXPECT_FLOAT_EQ(scene->modelRecords[1].PlayRate, 1.0f);
  EXPECT_EQ(scene->modelRecords[1].GrassType, -1);
  EXPECT_EQ(scene->modelRecords[1].alphaReference, 255);
}

TEST(SceneIniSet, KeywordsMatchInAnyCaseAndUnknownTextsFallBack) {
  SceneHost s;
  const std::string longName(300, 'n');
  s.WriteFile(std::string(kDir) + "2.ini",
              "FogMode=fog\n[a]\nRenderStyle=ALL\nMtlAni=1\n[b]\nRenderStyle=Mirror\n[c]\nRenderStyle=shiny\n"
              "[d]\nRenderStyle=ALPHASAHDER\n[e]\nRenderStyle=videotexture\n[" + longName +
                  "]\nVisible=1\nRenderStyle=blend\nGrassType=4\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(2));
  EXPECT_EQ(scene->fogMode, 0);
  const int expected[] = {0, 14, 1, 6, 7, 2};
  ASSERT_EQ(scene->modelRecords.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(scene->modelRecords[i].RenderStyle, expected[i]) << i;
  EXPECT_EQ(scene->FindModelRecord("D"), 3);
  // A long section name is cut to what the record holds, and found by that; its keys are read
  // under the whole name.
  EXPECT_EQ(std::strlen(scene->modelRecords[5].name), 255u);
  EXPECT_EQ(scene->FindModelRecord(longName.substr(0, 255).c_str()), 5);
  EXPECT_TRUE(scene->modelRecords[5].Visible);
  EXPECT_EQ(scene->modelRecords[5].GrassType, 4);
  // The material animation is the record's own (the unload gives it back).
  EXPECT_NE(scene->modelRecords[0].materialAnimation, nullptr);
  EXPECT_EQ(scene->modelRecords[1].materialAnimation, nullptr);
  EXPECT_EQ(scene->FindModelRecord("walk_patch"), -1);
  EXPECT_EQ(scene->GetModelPtr("walk_patch"), nullptr);
}

TEST(SceneIniSet, VisStatesAreReadEvenWhenTheSceneFileIsMissing) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "vis_state.ini",
              "[idle]\naction=a1\naction=a2\naction=a3\nRandomBase=4\n[walk]\nRandomInterval=9\n");
  CSceneSystem* scene = s.MakeScene();
  scene->weatherOn = 1;
  std::strcpy(scene->weatherConfigPath, "kept.ini");
  EXPECT_FALSE(scene->LoadScene(7));
  EXPECT_EQ(scene->GetCurrentSceneId(), -1);
  ASSERT_EQ(scene->visStates.size(), 2u);
  EXPECT_EQ(scene->visStates[0].actions, (std::vector<std::string>{"a1", "a2", "a3"}));
  EXPECT_EQ(scene->visStates[0].RandomBase, 4);
  EXPECT_TRUE(scene->visStates[1].actions.empty());
  EXPECT_EQ(scene->visStates[1].RandomInterval, 9);
  // Nothing else changed.
  EXPECT_EQ(scene->weatherOn, 1);
  EXPECT_TRUE(scene->modelRecords.empty());
  EXPECT_EQ(s.host.ObjectsCreated(), s.host.LiveObjects().size());
}

TEST(SceneIniSet, WithoutWeatherTheConfigurationPathOfThePreviousSceneStays) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "Weather=1\nWeatherConfig=my\\weather.ini\n");
  s.WriteFile(std::string(kDir) + "2.ini", "FogEnable=-1\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_STREQ(scene->weatherConfigPath, "my\\weather.ini");
  scene->UnloadSceneThunk();
  ASSERT_TRUE(scene->LoadScene(2));
  EXPECT_EQ(scene->weatherOn, 0);
  EXPECT_STREQ(scene->weatherConfigPath, "my\\weather.ini");
  EXPECT_EQ(scene->fogEnable, 0);  // only a value above 0 turns fog on
}

TEST(SceneIniSet, ANewRootRunsThePreloadPassFirstAndIsReadFrom) {
  SceneHost s;
  s.WriteFile("stages/preload.ini", "[p]\nModelName=models\\pre.obj\nTextureName=none.dds\n");
  s.WriteFile("stages/3.ini", "[floor]\nModelType=1\nModelName=models\\floor.obj\n");
  s.WriteFile(std::string(kDir) + "3.ini", "[other]\n");
  s.WriteFile("models/pre.obj", Triangle());
  s.WriteFile("models/floor.obj", Triangle());
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(3));
  EXPECT_STREQ(scene->modelRecords[0].name, "other");
  EXPECT_TRUE(scene->preloadedModels.empty());
  scene->UnloadSceneThunk();

  scene->SetPendingStateName("stages");
  ASSERT_TRUE(scene->LoadScene(3));
  EXPECT_STREQ(scene->modelRecords[0].name, "floor");
  ASSERT_EQ(scene->preloadedModels.size(), 1u);
  EXPECT_TRUE(scene->preloadedTextures.empty());  // the texture is not in the tree
  const auto& models = s.standard.objects->models->Objects();
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0]->ModelName(), "models\\pre.obj");  // made before the scene's
  EXPECT_EQ(models[1]->ModelName(), "models\\floor.obj");
  EXPECT_EQ(scene->rootChanged, 0);

  // The next root without a preload set lets the first root's set go.
  const ComponentHandle preloaded = scene->preloadedModels[0];
  scene->UnloadSceneThunk();
  scene->SetPendingStateName("resource\\ini\\scene");
  ASSERT_TRUE(scene->LoadScene(3));
  EXPECT_TRUE(scene->preloadedModels.empty());
  EXPECT_EQ(s.host.GetObject(&preloaded), nullptr);
}

// ---- Records and their model objects ------------------------------------------------------------

TEST(SceneRecords, AModelIsMadeInItsLoadingContextAndAnnounced) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini",
              "[floor]\nModelType=5\nRenderStyle=bumpmap\nModelPath=models\\\nModelName=floor.obj\n"
              "TexPath1=tex\\\nMotiveName=floor.mot\nPlayRate=0.5\nAddLayer=sails_trace:10;execute:31;broken\n"
              "ClassName=EffectRoom\n");
  s.WriteFile("models/floor.obj", Triangle());
  CSceneSystem* scene = s.MakeScene();
  s.standard.objects->geometry.ClearCalls();
  ASSERT_TRUE(scene->LoadScene(1));
  std::vector<std::string> ops;
  for (const host::ServiceCall& c : s.standard.objects->geometry.Calls()) ops.push_back(c.op);
  EXPECT_EQ(ops, (std::vector<std::string>{"Slot20", "Slot22", "Slot35", "SetTexturePaths", "Slot35",
                                           "SetTexturePaths", "Slot20", "Slot22"}));
  host::ModelObject* model = s.standard.objects->models->Last();
  ASSERT_NE(model, nullptr);
  // The context the model saw, and the service reset afterwards.
  EXPECT_EQ(model->LoadContext().texturePaths[0], "tex\\");
  EXPECT_EQ(model->LoadContext().slot20[0], 1);
  EXPECT_EQ(model->LoadContext().slot22, 1);
  EXPECT_EQ(model->LoadContext().slot35, 1);
  const host::ModelLoadContext& after = s.standard.objects->geometry.Context();
  EXPECT_EQ(after.texturePaths[0], "");
  EXPECT_EQ(after.slot20[0], 0);
  EXPECT_EQ(after.slot22, 0);
  EXPECT_EQ(after.slot35, 0);
  // 20511 before 20500; the motion in the texture folder, played at its rate, looping.
  ASSERT_GE(model->Messages().size(), 3u);
  EXPECT_EQ(model->Messages()[0].id, 20511);
  EXPECT_EQ(model->Messages()[1].id, 20500);
  EXPECT_EQ(model->ModelName(), "models\\floor.obj");
  EXPECT_EQ(model->MotionName(), "models\\floor.mot");
  EXPECT_EQ(model->MotionFolder(), "tex\\");
  EXPECT_EQ(s.standard.objects->motive.History().back(), "(null)");
  ASSERT_NE(model->Motion(), nullptr);
  EXPECT_FLOAT_EQ(model->Motion()->rate, 0.5f);
  EXPECT_EQ(model->Motion()->looping, 1);
  EXPECT_EQ(model->Motion()->plays, 1);
  // The extra channels; the entry without a colon is skipped.
  const ComponentHandle handle = scene->modelRecords[0].modelObject;
  auto subscribed = [&](const char* channel, int order) {
    for (const auto& [h, o] : s.host.Subscribers(channel))
      if (h == handle && o == order) return true;
    return false;
  };
  EXPECT_TRUE(subscribed("sails_trace", 10));
  EXPECT_TRUE(subscribed("execute", 31));
  EXPECT_EQ(s.host.ClassOf(scene->modelRecords[0].classObject), "EffectRoom");
  // The announcement, in order, pointers as "p" and the handle to "Particles".
  EXPECT_EQ(TargetsOf(s, 100000000), (std::vector<std::string>{"Sound", "Particles", "AnimalsParticles", "Animals",
                                                                "DynLightManager", "EffectAction"}));
  const auto particles = MessagesTo(s, "Particles", 100000000);
  ASSERT_EQ(particles.size(), 1u);
  EXPECT_EQ(particles[0].signature, "lil");
  EXPECT_EQ(particles[0].args[0].i, handle);
  EXPECT_EQ(MessagesTo(s, "Sound", 100000000)[0].signature, "lpl");
  EXPECT_EQ(MessagesTo(s, "Sound", 100000000)[0].args[0].p, static_cast<void*>(static_cast<IHostModel*>(model)));
  for (const RecordedMessage& m : s.host.Messages()) EXPECT_TRUE(m.error.empty()) << m.id << " " << m.error;
}

TEST(SceneRecords, AVideoRecordWithAnUnknownPlayerUsesTheFilmManagerAndWarns) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini",
              "[screen]\nModelType=1\nRenderStyle=videoTexture\nVideoFile=clip.wmv\nSceneVideoPlayerID=3\n"
              "[film]\nModelType=1\nRenderStyle=videoTexture\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(s.LogCount("[warning] err videoPlayerID value > 2 "), 1u);
  // Without a film source the player is not started.
  EXPECT_EQ(s.LogCount("[Film OK] CreateProcess"), 0u);
  scene->UnloadSceneThunk();
  scene->filmSourceName = "channel";  // slot 46 stores it once the film player's part comes
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(s.LogCount("[Film OK] CreateProcess"), 1u);
}

TEST(SceneRecords, AMirrorTakesThePlaneOfItsFirstTriangle) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "[glass]\nModelType=1\nRenderStyle=mirror\nModelName=m.obj\n");
  // The triangle lies in the plane x = 2.
  s.WriteFile("m.obj", "v 2 0 0\nv 2 1 0\nv 2 0 1\nf 1 2 3\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  const D3DXPLANE& p = scene->modelRecords[0].mirrorPlane;
  EXPECT_FLOAT_EQ(std::fabs(p.a), 1.0f);
  EXPECT_FLOAT_EQ(p.b, 0.0f);
  EXPECT_FLOAT_EQ(p.c, 0.0f);
  EXPECT_FLOAT_EQ(p.d / p.a, -2.0f);
  // The reflection maps (3, 5, 7) to (1, 5, 7).
  const D3DXMATRIX& m = scene->modelRecords[0].reflection;
  const float x = 3 * m.m[0][0] + 5 * m.m[1][0] + 7 * m.m[2][0] + m.m[3][0];
  EXPECT_NEAR(x, 1.0f, 1e-5f);
}

// Reads the colour of vertex v of sub-mesh 0 of a part.
uint32_t ColourOf(IRenderer& r, HostModelGeometry* part, uint32_t v) {
  const HostSubMesh& sub = part->mesh->subMeshes[0];
  auto* bytes = static_cast<const uint8_t*>(r.LockVertexBuffer(sub.vertexBuffer, 0, 0, 0));
  uint32_t colour = 0;
  std::memcpy(&colour, bytes + v * sub.stride + 24, 4);
  r.UnlockVertexBuffer(sub.vertexBuffer);
  return colour;
}

TEST(SceneRecords, VertexColourSetsAreReadPerPartAndAShortFileStopsEarly) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini",
              "[stage]\nModelType=1\nVisible=1\nModelPath=st\\\nModelName=stage.obj\n"
              "[night]\nModelType=2\nVisible=1\nModelPath=st\\\nModelName=stage.obj\n");
  s.WriteFile("st/stage.obj", Triangle("", true));
  auto colours = [](std::initializer_list<uint32_t> values) {
    std::string bytes;
    for (uint32_t v : values) bytes.append(reinterpret_cast<const char*>(&v), 4);
    return bytes;
  };
  // Part 0 of the type 1 model: three colours; part "top": only two (the third stays white).
  // The file names carry the model name as the record gives it.
  s.WriteFile("resource/models/st/stage.obj_2.col", colours({0x11111111, 0x22222222, 0x33333333}));
  s.WriteFile("resource/models/st/stage.obj_top_2.col", colours({0x44444444, 0x55555555}));
  s.WriteFile("resource/models/st/day/3/stage.obj_2.col", colours({0x66666666, 0x77777777, 0x88888888}));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  // Scene creation makes no object for type 2: make it as creation does for type 1.
  ASSERT_TRUE(scene->ResetSceneModel(&scene->modelRecords[1]));
  scene->UpdateScene(2, true);
  IRenderer& r = s.standard.renderer;
  auto* first = static_cast<IHostModel*>(s.host.GetObject(&scene->modelRecords[0].modelObject));
  auto* second = static_cast<IHostModel*>(s.host.GetObject(&scene->modelRecords[1].modelObject));
  EXPECT_EQ(ColourOf(r, first->GetGeometry(0), 2), 0x33333333u);
  EXPECT_EQ(ColourOf(r, first->GetGeometry(1), 1), 0x55555555u);
  EXPECT_EQ(ColourOf(r, first->GetGeometry(1), 2), 0xFFFFFFFFu);
  EXPECT_EQ(ColourOf(r, second->GetGeometry(0), 0), 0x66666666u);
  // The day folder has no file for the second part: it keeps its colours.
  EXPECT_EQ(ColourOf(r, second->GetGeometry(1), 0), 0xFFFFFFFFu);
  // Every buffer was unlocked again: the model still draws.
  const size_t before = s.standard.renderer.Draws().size();
  first->Realize(0);
  EXPECT_EQ(s.standard.renderer.Draws().size(), before + 2);
  EXPECT_EQ(s.standard.renderer.RefusedDraws(), 0u);
}

TEST(SceneRecords, AVertexWithoutRoomForItsColourKeepsItsBytes) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "[stage]\nModelType=1\nVisible=1\nModelName=stage.obj\n");
  s.WriteFile("stage.obj", Triangle());
  const uint32_t colours[3] = {1, 2, 3};
  s.WriteFile("resource/models/stage.obj_0.col", std::string(reinterpret_cast<const char*>(colours), 12));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  host::ModelObject* model = s.standard.objects->models->Last();
  // A stride of 24 has position and normal only: the colour would land in the next vertex.
  model->Part(0).buffers[0].stride = 24;
  scene->UpdateScene(0, false);
  model->Part(0).buffers[0].stride = 36;
  EXPECT_EQ(ColourOf(s.standard.renderer, model->GetGeometry(0), 0), 0xFFFFFFFFu);
  scene->UpdateScene(0, false);
  EXPECT_EQ(ColourOf(s.standard.renderer, model->GetGeometry(0), 0), 1u);
}

// ---- Class objects ---------------------------------------------------------------------------------

// A component of the module's kind under a class name a scene file gives: it counts the calls
// that reach its slots.
struct SlotCounts {
  int init = 0, destroy = 0, execute = 0, realize = 0;
};
SlotCounts g_probe;

class ProbeComponent : public CComponentBase {
 public:
  bool Init() override {
    ++g_probe.init;
    return true;
  }
  void Destroy() override { ++g_probe.destroy; }
  void Execute(uint32_t) override { ++g_probe.execute; }
  void Realize(uint32_t) override { ++g_probe.realize; }
};

TEST(SceneClassObjects, AComponentIsDrivenThroughItsComponentSlotsAndAHostEffectThroughItsOwn) {
  SceneHost s;
  g_probe = {};
  s.host.RegisterComponentClass<ProbeComponent>("Probe");
  auto effects = std::make_shared<host::RecordingClass>("effects");
  s.host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  // The first "effect" value switches the list on and names an effect too.
  s.WriteFile(std::string(kDir) + "1.ini",
              "[SceneEffect]\neffect=yes\neffect=Probe\n"
              "[floor]\nModelType=1\nVisible=1\nModelName=f.obj\nClassName=Probe\n"
              "[pad]\nModelType=1\nModelName=f.obj\nClassName=modelr\n");
  s.WriteFile("f.obj", Triangle());
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  // The scene's own model class is no class for a record.
  EXPECT_TRUE(scene->modelRecords[2].classObject.IsZero());
  EXPECT_EQ(s.LogCount("[WARNING] CSceneSystem: no class object is made of \"modelr\", a model class of the scene."), 1u);
  ASSERT_EQ(scene->namedObjects.size(), 2u);
  auto* yes = dynamic_cast<host::EffectObject*>(
      static_cast<ISceneEffectObject*>(s.host.GetObject(&scene->namedObjects.at("yes"))));
  ASSERT_NE(yes, nullptr);
  EXPECT_EQ(yes->switchedOn, 1);
  // Made and started by the host once each (the effect and the record's class object).
  EXPECT_EQ(g_probe.init, 2);

  scene->Execute(16);
  scene->Realize(0);
  EXPECT_EQ(g_probe.execute, 1);
  EXPECT_EQ(g_probe.realize, 1);
  EXPECT_EQ(g_probe.init, 2);
  EXPECT_EQ(g_probe.destroy, 0);
  // The record's class object goes with the scene; the named effects stay for the next load.
  scene->UnloadSceneThunk();
  EXPECT_EQ(g_probe.destroy, 1);
  EXPECT_EQ(scene->namedObjects.size(), 2u);
}

TEST(SceneClassObjects, ANestedSceneOrEditorTakesNothingOverAndLoadsNoSceneInsideTheLoad) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini",
              "[a]\nModelType=1\nVisible=1\nModelName=f.obj\nClassName=CSceneSystem\n"
              "[b]\nModelType=1\nVisible=1\nModelName=f.obj\nClassName=CTerrainEditor\n");
  s.WriteFile("f.obj", Triangle());
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  // The editor's own scene refused its load: no editor made an editor.
  EXPECT_EQ(s.LogCount("[WARNING] CSceneSystem::LoadScene: scene 1 is not loaded while another scene loads."), 1u);
  EXPECT_EQ(s.host.ClassOf(scene->modelRecords[1].classObject), "CTerrainEditor");
  EXPECT_EQ(GetCurrentSceneSystem(), scene);
  EXPECT_EQ(g_pLightingSystem, scene->lighting);
  EXPECT_EQ(g_pLightingScene, scene);
  scene->Execute(16);
  scene->Realize(0);
  scene->UnloadSceneThunk();
  EXPECT_EQ(GetCurrentSceneSystem(), scene);
  EXPECT_EQ(g_pLightingSystem, scene->lighting);
  // A load outside any other runs as ever.
  EXPECT_TRUE(scene->LoadScene(1));
}

// ---- Creation and unloading ----------------------------------------------------------------------

TEST(SceneCreation, WithoutWeatherLightZeroAndTheFogAreSet) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "FogMode=Vertex_Linear\nFogStart=2\nFogEnd=9\nAmbient=1,2,3\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  const D3DLIGHT8* light = s.standard.renderer.Light(0);
  ASSERT_NE(light, nullptr);
  EXPECT_TRUE(s.standard.renderer.LightEnabled(0));
  EXPECT_EQ(light->Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(light->Diffuse.r, 0.8f);
  EXPECT_FLOAT_EQ(light->Direction.z, 1.0f);
  EXPECT_EQ(s.standard.renderer.GetRenderState(D3DRS_FOGVERTEXMODE), 3u);
  float start;
  const DWORD bits = s.standard.renderer.GetRenderState(D3DRS_FOGSTART);
  std::memcpy(&start, &bits, 4);
  EXPECT_FLOAT_EQ(start, 2.0f);
  ComponentHandle shadow{};
  ASSERT_TRUE(s.host.FindObject(&shadow, "Shadow", 0));
  auto* shadowObject = dynamic_cast<host::ShadowObject*>(static_cast<IShadowObject*>(s.host.GetObject(&shadow)));
  ASSERT_NE(shadowObject, nullptr);
  ASSERT_EQ(shadowObject->directions.size(), 1u);
  EXPECT_FLOAT_EQ(shadowObject->directions[0].y, -1.0f);
}

TEST(SceneCreation, AWeatherObjectThatCannotBeMadeStillLeavesTheModels) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "Weather=yes\n[floor]\nModelType=1\n");
  s.host.FailCreations("WEATHER", 1);
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(s.LogCount("Can't create weather system for game!"), 1u);
  EXPECT_EQ(scene->weatherOn, 0);
  ASSERT_FALSE(scene->modelRecords[0].modelObject.IsZero());
  EXPECT_NE(s.host.GetObject(&scene->modelRecords[0].modelObject), nullptr);
  EXPECT_TRUE(s.standard.renderer.LightEnabled(0));  // lit as a scene without weather
}

TEST(SceneCreation, ASeaThatCannotBeMadeIsLoggedAndTheSceneStillTakesItsReflection) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "Weather=1\n[floor]\nModelType=1\n");
  s.host.FailCreations("SEA", 1);
  ComponentHandle h{};
  CSceneSystem* scene = s.MakeScene(&h);
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(s.LogCount("Can't create sea system for game!"), 1u);
  const auto subscribers = s.host.Subscribers("sea_reflection");
  ASSERT_FALSE(subscribers.empty());
  EXPECT_TRUE(std::any_of(subscribers.begin(), subscribers.end(),
                          [&](const auto& sub) { return sub.first == h && sub.second == 2; }));
  // With weather the light and fog are the weather object's.
  EXPECT_FALSE(s.standard.renderer.LightEnabled(0));
  EXPECT_NE(s.host.GetObject(&scene->weatherHandle), nullptr);
}

TEST(SceneCreation, SetWeatherReadsTheSeaOfItsSectionAndTellsWeatherThenSea) {
  SceneHost s;
  s.WriteFile("w.ini", "[2]\nSea=1\n[-1]\nSea=0\n");
  s.WriteFile(std::string(kDir) + "1.ini", "Weather=1\nWeatherConfig=w.ini\n");
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  s.host.ClearMessages();
  scene->SetWeather(2);
  EXPECT_EQ(scene->seaPresent, 1);
  EXPECT_EQ(scene->weatherType, 2);
  EXPECT_EQ(scene->fogEnable, 1);
  ASSERT_EQ(s.host.Messages().size(), 2u);
  EXPECT_EQ(s.host.Messages()[0].id, 900001);
  EXPECT_EQ(s.host.Messages()[0].targetClass, "WEATHER");
  EXPECT_EQ(s.host.Messages()[0].args[0].s, "w.ini");
  EXPECT_EQ(s.host.Messages()[1].id, 20000001);
  EXPECT_EQ(s.host.Messages()[1].targetClass, "SEA");
  scene->SetWeather(-1);
  EXPECT_EQ(scene->fogEnable, 0);
  EXPECT_EQ(s.host.Messages().back().id, 900002);
  EXPECT_TRUE(s.standard.renderer.LightEnabled(0));  // the default light is back
  // A configuration that does not open changes nothing.
  std::strcpy(scene->weatherConfigPath, "none.ini");
  s.host.ClearMessages();
  scene->SetWeather(1);
  EXPECT_EQ(scene->weatherType, -1);
  EXPECT_TRUE(s.host.Messages().empty());
}

TEST(SceneUnload, TakesTheSceneDownInOrderAndTwiceSafely) {
  SceneHost s;
  s.host.RegisterComponentClass<scene_testing::ScriptedObject>("SceneBaseObj");
  s.WriteFile(std::string(kDir) + "1.ini",
              "Weather=1\n[floor]\nModelType=1\nAttachConfig=1\nModelName=f.obj\nClassName=Game\n");
  s.WriteFile("f.obj", Triangle("#@node spots spot1 1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1\n"));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  ASSERT_EQ(scene->helperGroups.size(), 1u);
  const ComponentHandle classObject = scene->modelRecords[0].classObject;
  ASSERT_NE(s.host.GetObject(&classObject), nullptr);
  const uint32_t staying[2] = {5, 5}, going[2] = {6, 6};
  scene->CreateSceneObject(staying)->SetUserFlag(1);
  scene->CreateSceneObject(going);
  const ComponentHandle model = scene->modelRecords[0].modelObject;
  const ComponentHandle weather = scene->weatherHandle;
  s.host.ClearMessages();
  scene->UnloadSceneThunk();
  EXPECT_EQ(TargetsOf(s, 100000001), (std::vector<std::string>{"Sound", "DynLightManager", "AnimalsParticles", "Animals"}));
  std::vector<int32_t> ids;
  for (const RecordedMessage& m : s.host.Messages()) ids.push_back(m.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{77018, 100000, 100000001, 100000001, 100000001, 100000001, 10006}));
  EXPECT_EQ(s.host.GetObject(&model), nullptr);
  EXPECT_EQ(s.host.GetObject(&classObject), nullptr);
  EXPECT_EQ(s.host.GetObject(&weather), nullptr);
  EXPECT_TRUE(scene->modelRecords.empty());
  EXPECT_TRUE(scene->helperGroups.empty());
  EXPECT_EQ(scene->GetCurrentSceneId(), -1);
  ASSERT_EQ(scene->sceneObjects.size(), 1u);
  EXPECT_NE(scene->FindSceneObjectById(staying), nullptr);
  ComponentHandle particles{};
  ASSERT_TRUE(s.host.FindObject(&particles, "Particles", 0));
  auto* p = dynamic_cast<host::ParticlesObject*>(static_cast<IParticlesObject*>(s.host.GetObject(&particles)));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->clears, 1);
  for (const char* gone : {"sail", "rope", "flag", "vant", "Animals", "SEA"}) {
    ComponentHandle h{};
    EXPECT_FALSE(s.host.FindObject(&h, gone, 0)) << gone;
  }
  ComponentHandle room{};
  EXPECT_TRUE(s.host.FindObject(&room, "EffectRoom", 0));

  // Again: only the messages without a model.
  s.host.ClearMessages();
  scene->UnloadSceneThunk();
  ids.clear();
  for (const RecordedMessage& m : s.host.Messages()) ids.push_back(m.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{77018, 100000, 10006}));
  EXPECT_EQ(p->clears, 2);
}

TEST(SceneUnload, ASceneSystemWithoutLightingUnloadsWithoutIt) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  CLightingSystem* lighting = scene->lighting;
  scene->lighting = nullptr;
  scene->UnloadSceneThunk();
  EXPECT_EQ(scene->GetCurrentSceneId(), -1);
  scene->lighting = lighting;
}

TEST(SceneUnload, TheDeviceResetRequeuesTheSunAndTheFog) {
  SceneHost s;
  s.WriteFile(std::string(kDir) + "1.ini", "FogMode=Pixel_Exp\n[floor]\nModelType=1\nAttachConfig=1\nModelName=f.obj\n");
  s.WriteFile("f.obj", Triangle("#@light 2 sun 1 1 1 0 0 0 0 0 0 -1 0\n"));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  s.standard.renderer.SetRenderState(D3DRS_FOGTABLEMODE, 0);
  ASSERT_TRUE(s.standard.LoseAndResetDevice());
  EXPECT_EQ(s.standard.renderer.GetRenderState(D3DRS_FOGTABLEMODE), 1u);
  EXPECT_NE(scene->lighting->GetLightByName("sun"), nullptr);
}

// ---- Static resources ------------------------------------------------------------------------

// A scene object that records the calls of the npc hand-over.
class NpcObject : public scene_testing::ScriptedObject {
 public:
  void SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t convert) override {
    calls.push_back("SetTitle");
    title = text;
    titleOffset = offsetY;
    CSceneBaseObj::SetTitle(text, font, offsetY, convert);
  }
  bool LoadFromIni(uint32_t id, uint8_t flag, uint8_t wait, float height) override {
    calls.push_back("LoadFromIni");
    objectId = id;
    boxHeight = height;
    (void)flag;
    (void)wait;
    return true;
  }
  void SetTransform(const D3DXMATRIX* m, int32_t action) override {
    calls.push_back("SetTransform");
    position = D3DXVECTOR3(m->_41, m->_42, m->_43);
    state = action;
  }
  void SetIdleSuppressed(uint8_t) override { calls.push_back("SetIdleSuppressed"); }
  void Show(bool) override { calls.push_back("Show"); }
  void SetTag(int32_t) override { calls.push_back("SetTag"); }
  void SetUserValueA(int32_t) override { calls.push_back("SetUserValueA"); }
  void SetUserFlagA(uint8_t) override { calls.push_back("SetUserFlagA"); }
  void SetUserFlagB(uint8_t) override { calls.push_back("SetUserFlagB"); }
  void SetName(const char* name) override {
    calls.push_back("SetName");
    motive = name;
  }
  void SetUserFloat(float value) override {
    calls.push_back("SetUserFloat");
    distance = value;
  }
  void SetUserValueB(int32_t) override { calls.push_back("SetUserValueB"); }
  void SetEyeTarget(const D3DXVECTOR3*, const D3DXVECTOR3*, uint32_t) override { calls.push_back("SetEyeTarget"); }
  void SetSceneRenderFlag(uint8_t) override { calls.push_back("SetSceneRenderFlag"); }

  std::vector<std::string> calls;
  std::wstring title;
  int32_t titleOffset = 0, state = 0;
  uint32_t objectId = 0;
  float boxHeight = 0, distance = 0;
  D3DXVECTOR3 position{0, 0, 0};
  std::string motive;
};

TEST(SceneStaticResources, LightsNodesAndNpcsComeFromTheModels) {
  SceneHost s;
  s.host.RegisterComponentClass<NpcObject>("SceneBaseObj");
  s.WriteFile(std::string(kDir) + "1.ini",
              "[a]\nModelType=1\nAttachConfig=1\nModelName=a.obj\n[b]\nModelType=1\nAttachConfig=1\nModelName=b.obj\n"
              "[c]\nModelType=1\nModelName=b.obj\n");
  s.WriteFile(std::string(kDir) + "npc/1.ini",
              "[guard]\nmodel=12\nName=Ann\nfontHeight=7\ntitleBoxHeight=1.5\nBindMotive=wave\n"
              "DialogCamera=1,2,3;4,5\n[ghost]\nName=nobody\n");
  s.WriteFile("a.obj", Triangle("#@light 2 SUN 1 0.5 0 0 0 0 0 0 0 -1 0\n"
                                "#@light 1 lamp 1 0 0 5 1 2 3 0.7 0 0 1\n"
                                "#@node npcs guard 1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1\n"
                                "#@node npcs ghost 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"
                                "#@node lightSockets Socket1 1 0 0 0 0 1 0 0 0 0 1 0 7 8 9 1\n"
                                "#@node spots p1 1 0 0 0 0 1 0 0 0 0 1 0 1 1 1 1\n"
                                "#@node spots p2 1 0 0 0 0 1 0 0 0 0 1 0 2 2 2 1\n"));
  s.WriteFile("b.obj", Triangle("#@light 0 lamp 0 1 0 9 1 1 1 0 0 0 0\n"));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));

  CLight* sun = scene->lighting->GetLightByName("SUN");
  ASSERT_NE(sun, nullptr);
  EXPECT_STREQ(sun->GetName(), "SUN");
  EXPECT_EQ(sun->GetType(), 1);
  EXPECT_TRUE(sun->IsGlobalLight());
  EXPECT_TRUE(sun->IsRuntimeOnly());
  // The lamp of the second model updates the first's (found by name): green, range 9.
  CLight* lamp = scene->lighting->GetLightByName("lamp");
  ASSERT_NE(lamp, nullptr);
  EXPECT_EQ(lamp->GetType(), 7);
  EXPECT_FLOAT_EQ(lamp->GetColor()->x, 0.0f);
  EXPECT_FLOAT_EQ(lamp->GetColor()->y, 1.0f);
  EXPECT_FLOAT_EQ(lamp->GetPosition()->x, 1.0f);

  // One npc: the node without "model" makes none.
  ASSERT_EQ(scene->sceneObjects.size(), 1u);
  const uint32_t id[2] = {0x6eb884u, 0x6eb884u};  // ELF hash of "guard"
  auto* npc = dynamic_cast<NpcObject*>(scene->FindSceneObjectById(id));
  ASSERT_NE(npc, nullptr);
  EXPECT_EQ(npc->calls, (std::vector<std::string>{"SetTitle", "LoadFromIni", "SetTransform", "SetIdleSuppressed",
                                                  "Show", "SetTag", "SetUserValueA", "SetUserFlagA", "SetUserFlagB",
                                                  "SetName", "SetUserFloat", "SetUserValueB", "SetSceneRenderFlag"}));
  EXPECT_EQ(npc->title, L"Ann");
  EXPECT_EQ(npc->titleOffset, 7);
  EXPECT_EQ(npc->objectId, 12u);
  EXPECT_FLOAT_EQ(npc->boxHeight, 1.5f);
  EXPECT_FLOAT_EQ(npc->position.y, 5.0f);
  EXPECT_EQ(npc->state, -1);
  EXPECT_EQ(npc->motive, "wave");
  EXPECT_FLOAT_EQ(npc->distance, 5.0f);

  ASSERT_EQ(scene->lightSockets.size(), 1u);
  EXPECT_EQ(scene->lightSockets[0].name, "Socket1");
  EXPECT_FLOAT_EQ(scene->lightSockets[0].frame._43, 9.0f);
  ASSERT_EQ(scene->helperGroups.size(), 1u);
  EXPECT_EQ(scene->helperGroups[0].name, "spots");
  ASSERT_EQ(scene->helperGroups[0].points.size(), 2u);
  EXPECT_EQ(scene->helperGroups[0].points[1].name, "p2");
  EXPECT_EQ(scene->helperGroups[0].points[1].inUse, 1);
}

TEST(SceneStaticResources, AnotherTypeOfSunTintsAndSixNumbersSetTheDialogCamera) {
  SceneHost s;
  s.host.RegisterComponentClass<NpcObject>("SceneBaseObj");
  s.WriteFile(std::string(kDir) + "1.ini", "[a]\nModelType=1\nAttachConfig=1\nModelName=a.obj\n");
  s.WriteFile(std::string(kDir) + "npc/1.ini", "[n]\nmodel=0\nstate=2\nDialogCamera=1,2,3;4,5,6;7,8,9;1\n");
  s.WriteFile("a.obj", Triangle("#@light 1 sun 1 1 1 3 0 0 0 0.5 0 -1 0\n"
                                "#@node NPCS n 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1\n"));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  CLight* sun = scene->lighting->GetLightByName("sun");
  ASSERT_NE(sun, nullptr);
  EXPECT_EQ(sun->GetType(), 7);
  EXPECT_FALSE(sun->IsGlobalLight());
  auto* npc = dynamic_cast<NpcObject*>(s.Object<CSceneBaseObj>(scene->sceneObjects.at(0)));
  ASSERT_NE(npc, nullptr);
  EXPECT_NE(std::find(npc->calls.begin(), npc->calls.end(), "SetEyeTarget"), npc->calls.end());
  EXPECT_EQ(std::find(npc->calls.begin(), npc->calls.end(), "SetIdleSuppressed"), npc->calls.end());
}

TEST(SceneStaticResources, AFlagIsBuiltOnceWhenItsThreeCornersAreIn) {
  SceneHost s;
  s.WriteFile("Resource/ini/Brivanta/common/flagList.ini",
              "[flagCloth]\nnumVerticalSegment=1\nnumHorizonalSegment=1\n");
  s.WriteFile(std::string(kDir) + "material/1.ini", "[other]\nx=1\n");
  s.WriteFile(std::string(kDir) + "1.ini", "[a]\nModelType=1\nAttachConfig=1\nModelName=a.obj\n");
  auto node = [](const char* name, float x, float y) {
    return "#@node flagCloth " + std::string(name) + " 1 0 0 0 0 1 0 0 0 0 1 0 " + std::to_string(x) + " " +
           std::to_string(y) + " 0 1\n";
  };
  s.WriteFile("a.obj", Triangle(node("flagA_0", 1, 0) + node("flagA_2", 1, 3) + node("flagA_2", 1, 30) +
                                node("flagA", 9, 9) + node("flagA_3", 9, 9) + node("flagB_0", 1, 0) +
                                node("flagB_1", 2, 0) + node("flagA_1", 2, 0) + node("flagA_0", 10, 0)));
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->LoadScene(1));
  // flagB has two corners only; flagA's late repeat builds nothing.
  ASSERT_EQ(scene->flags.types.size(), 1u);
  const DynamicFlagType& type = scene->flags.types[0];
  EXPECT_EQ(type.name, "flagCloth");
  ASSERT_EQ(type.instances.size(), 1u);
  // A 1 x 1 grid: the origin corner, the end of the horizontal edge, then the vertical edge's end,
  // whose repeat replaced the first position.
  const DynamicFlagVertex* grid = type.instances[0].vertices;
  ASSERT_EQ(type.instances[0].vertexCount, 4u);
  EXPECT_FLOAT_EQ(grid[0].x, 1.0f);
  EXPECT_FLOAT_EQ(grid[0].y, 0.0f);
  EXPECT_FLOAT_EQ(grid[1].x, 2.0f);
  EXPECT_FLOAT_EQ(grid[2].y, 30.0f);
  // The nodes keep their names.
  auto* model = static_cast<IHostModel*>(s.host.GetObject(&scene->modelRecords[0].modelObject));
  EXPECT_STREQ(model->GetGeometry(0)->attachments->GetNode(0)->name, "flagA_0");
  scene->UnloadSceneThunk();
  EXPECT_TRUE(scene->flags.types.empty());
}

TEST(SceneStaticResources, ElfHashTakesCharactersAsSigned) {
  EXPECT_EQ(CSceneSystem::ElfHash(""), 0u);
  EXPECT_EQ(CSceneSystem::ElfHash("guard"), 0x6eb884u);
  EXPECT_EQ(CSceneSystem::ElfHash("abcdefghijklmnop"), 0xbb9a310u);
  EXPECT_EQ(CSceneSystem::ElfHash("\xe9t\xe9"), 0xfff2fd9u);
}

}  // namespace
