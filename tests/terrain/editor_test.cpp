// The terrain editor against recording stand-ins for its scene, camera and walker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "camera/base_camera.h"
#include "math/angles.h"
#include "objects/scene_base_obj.h"
#include "sample_generator.h"
#include "scene/scene_system.h"
#include "terrain/terrain_editor.h"
#include "terrain_fixture.h"
#include "win32/win32.h"

namespace {

using terrain_testing::TempTree;
using terrain_testing::TerrainHost;

std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

template <class... A>
void Record(const char* format, A... args) {
  char line[160];
  std::snprintf(line, sizeof line, format, args...);
  Calls().push_back(line);
}

class RecordingScene : public CSceneSystem {
 public:
  uint8_t LoadScene(uint32_t id) override {
    Record("LoadScene %u", id);
    return 1;
  }
  void SetWeather(int32_t type) override { Record("SetWeather %d", type); }
  CBaseCamera* GetCamera() override { return noCamera ? nullptr : CSceneSystem::GetCamera(); }
  bool PickScenePoint(ScenePick* out, int32_t x, int32_t y, int32_t mode) override {
    Record("PickScenePoint %d %d %d", x, y, mode);
    if (!hit) return false;
    *out = pick;
    return true;
  }
  static inline bool noCamera = false;
  static inline bool hit = false;
  static inline ScenePick pick{};
};

class RecordingCamera : public CBaseCamera {
 public:
  void SetControllable(uint8_t on) override { Record("SetControllable %d", on); }
  void EnterOrbit(const ComponentHandle* object, float height, uint8_t resolve, uint8_t behind) override {
    orbited = object != nullptr ? *object : ComponentHandle{};
    Record("EnterOrbit %.2f %d %d", height, resolve, behind);
  }
  static inline ComponentHandle orbited{};
};

class RecordingWalker : public CSceneBaseObj {
 public:
  bool LoadFromIni(uint32_t id, uint8_t flag, uint8_t wait, float height) override {
    Record("LoadFromIni %u %d %d %.2f", id, flag, wait, height);
    return true;
  }
  void SetPositionAction(const D3DXVECTOR3* p, float yaw, int32_t action) override {
    at = *p;
    Record("SetPositionAction %.2f %.2f %.2f %.2f %d", p->x, p->y, p->z, yaw, action);
  }
  void GetPosition(D3DXVECTOR3* p, float* yaw) override {
    *p = at;
    *yaw = 1.0f;
  }
  void MoveTo(float x, float z, float yaw, float moveSpeed, float turnSpeed, int32_t action, int32_t arrival,
              float y) override {
    Record("MoveTo %.2f %.2f %.5f %.2f %.2f %d %d %.2f", x, z, yaw, moveSpeed, turnSpeed, action, arrival, y);
  }
  D3DXVECTOR3 at{0, 0, 0};
};

struct EditorHost {
  TerrainHost t;
  ComponentHandle editorHandle{};
  CTerrainEditor* editor = nullptr;

  // withTerrain: a terrain exists (its textures under tex/) before the editor is made.
  explicit EditorHost(bool withTerrain = true)
      : t([](const TempTree& tree) { tree.Put("tex/grass.dds", terrain_samples::CheckerDds(8, 0xFF00FF00u, 0xFF008000u)); },
          withTerrain) {
    Calls().clear();
    RecordingScene::noCamera = false;
    RecordingScene::hit = false;
    RecordingCamera::orbited = {};
    t.Host().RegisterComponentClass<RecordingScene>("CSceneSystem");
    t.Host().RegisterComponentClass<RecordingCamera>("CBaseCamera");
    t.Host().RegisterComponentClass<RecordingWalker>("SceneBaseObj");
    if (withTerrain) t.terrain->SetName("tex/");
  }
  void Make() {
    EXPECT_TRUE(t.Host().CreateObject(&editorHandle, "CTerrainEditor"));
    editor = static_cast<CTerrainEditor*>(static_cast<CComponentBase*>(t.Host().GetObject(&editorHandle)));
  }
  RecordingScene* Scene() {
    return static_cast<RecordingScene*>(static_cast<CComponentBase*>(t.Host().GetObject(&editor->SceneHandle())));
  }
  RecordingWalker* Walker() {
    RecordingScene* scene = Scene();
    return scene != nullptr ? static_cast<RecordingWalker*>(scene->FindSceneObjectById(g_aTerrainEditorWalkerKey))
                            : nullptr;
  }
};

}  // namespace

TEST(TerrainEditor, InitMakesTheSceneThenTheWalkerUnderAnOrbitThenTheGrass) {
  EditorHost e;
  e.Make();
  ASSERT_NE(e.Scene(), nullptr);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"LoadScene 1", "SetWeather 1", "SetControllable 1",
                                               "LoadFromIni 10005 1 0 0.00",
                                               "SetPositionAction 222.00 0.00 333.00 0.00 0",
                                               "EnterOrbit 1.50 1 0"}));
  ASSERT_NE(e.Walker(), nullptr);
  EXPECT_EQ(RecordingCamera::orbited, e.Walker()->handle);
  // The grass went on the terrain the scene found, as a file the layer loads itself.
  const TerrainPatchLayers* base = e.t.terrain->PatchLayers(10, 20);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(e.t.terrain->LayerName(base->slots[0].textureLayer), "grass.dds");
  EXPECT_EQ(e.t.Renderer().LiveTextures(), 0u);  // not through the renderer's loader
  // The scene stays for the host to destroy, terrain and all.
  const ComponentHandle scene = e.editor->SceneHandle();
  e.t.Host().DestroyObject(e.editorHandle);
  EXPECT_NE(e.t.Host().GetObject(&scene), nullptr);
}

TEST(TerrainEditor, ALeftClickWalksTheWalkerToThePickedPoint) {
  EditorHost e;
  e.Make();
  Calls().clear();
  e.t.Host().SystemMessage(WM_LBUTTONDOWN, 0, (77u << 16) | 55u);  // nothing picked
  EXPECT_EQ(Calls(), (std::vector<std::string>{"PickScenePoint 55 77 1"}));
  Calls().clear();
  e.t.Host().SystemMessage(WM_RBUTTONDOWN, 0, (77u << 16) | 55u);
  e.t.Host().SystemMessage(WM_MOUSEMOVE, 0, (77u << 16) | 55u);
  EXPECT_TRUE(Calls().empty());
  RecordingScene::hit = true;
  RecordingScene::pick = {300.0f, 12.0f, 400.0f, nullptr};
  e.t.Host().SystemMessage(WM_LBUTTONDOWN, 0, (7u << 16) | 9u);
  ASSERT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Calls()[0], "PickScenePoint 9 7 1");
  // Heading from (222, 333) to (300, 400): the angle from +z toward +x.
  char want[160];
  std::snprintf(want, sizeof want, "MoveTo 300.00 400.00 %.5f 3.00 20.00 1 0 12.00",
                static_cast<float>(std::atan2(78.0, 67.0)));
  EXPECT_EQ(Calls()[1], want);
}

TEST(TerrainEditor, NoSceneNoCameraOrNoTerrainStillInitialises) {
  {
    EditorHost e;
    e.t.Host().FailCreations("CSceneSystem", 1);
    e.Make();
    ASSERT_NE(e.editor, nullptr);
    EXPECT_EQ(e.Scene(), nullptr);
    EXPECT_TRUE(Calls().empty());
    e.t.Host().SystemMessage(WM_LBUTTONDOWN, 0, 0);
    EXPECT_TRUE(Calls().empty());
  }
  {
    EditorHost e;
    RecordingScene::noCamera = true;
    e.Make();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"LoadScene 1", "SetWeather 1", "LoadFromIni 10005 1 0 0.00",
                                                 "SetPositionAction 222.00 0.00 333.00 0.00 0"}));
    EXPECT_NE(e.t.terrain->PatchLayers(0, 0), nullptr);
  }
  {
    EditorHost e(false);
    e.Make();
    ASSERT_NE(e.Scene(), nullptr);
    EXPECT_EQ(Calls().size(), 6u);
    size_t warnings = 0;
    for (const auto& line : e.t.Host().LogLines())
      warnings += line.find("CTerrainEditor::Init: the scene has no terrain") != std::string::npos;
    EXPECT_EQ(warnings, 1u);
  }
}
