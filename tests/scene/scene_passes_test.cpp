// The scene's frame update, its three render passes and the draw hooks, read back from the
// renderer's ordered call log and state, the geometry service and the scripted scene objects.
#include <cmath>

#include <new>

#include "camera/base_camera.h"
#include "frame/host_blocks.h"
#include "host/generic_object.h"
#include "host/lighting_objects.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "scene/scene_passes.h"
#include "scene/tex_coord_modifiers.h"
#include "scene_fixture.h"
#include "win32/win32.h"

namespace {
using scene_testing::SceneHost;
using Entry = host::RendererLogEntry;

// A scene object whose answers are scripted and whose draws and shows are noted in one log.
class PassObject : public CSceneBaseObj {
 public:
  bool IsVisible() override { return visible; }
  uint8_t IsHidden() override { return hidden; }
  const D3DXMATRIX* GetHeadMatrix() override { return &head; }
  void GetHeadCenter(D3DXVECTOR3* centre, uint32_t* word) override {
    *centre = D3DXVECTOR3(head._41, head._42, head._43);
    std::memcpy(word, &radius, sizeof radius);
  }
  void GetPosition(D3DXVECTOR3* out, float* yaw) override {
    *out = position;
    *yaw = 0.0f;
  }
  uint32_t GetChildCount() override { return static_cast<uint32_t>(children.size()); }
  int32_t GetChildId(uint32_t index) override { return children.at(index); }
  uint8_t GetSceneRenderFlag() override { return flag77; }
  const D3DLIGHT8* GetUserValueC() override { return valueC; }
  ComponentHandle* GetHandle() override { return &renderable; }
  void Show(bool shown) override { log->push_back(name + (shown ? " show" : " hide")); }
  void Execute(uint32_t ms) override { log->push_back(name + " execute " + std::to_string(ms)); }
  void Realize(uint32_t) override {
    log->push_back(name + " draw");
    if (scene != nullptr && scene->GetMirrorRendering() && scene->IsInMirrorPass()) log->push_back(name + " in mirror");
  }
  void RealizeBlend(uint32_t) override { log->push_back(name + " second"); }
  uint32_t ForwardToRenderable(uint32_t) override { return 0; }

  void Place(float x, float y, float z) {
    D3DXMatrixTranslation(&head, x, y, z);
    position = D3DXVECTOR3(x, y, z);
  }

  std::string name;
  std::vector<std::string>* log = nullptr;
  CSceneSystem* scene = nullptr;
  bool visible = true;
  uint8_t hidden = 0;
  D3DXMATRIX head = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  float radius = 1.0f;
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  std::vector<int32_t> children;
  uint8_t flag77 = 0;
  D3DLIGHT8* valueC = nullptr;
  ComponentHandle renderable{};
};

// A scene system with scripted objects and a recording renderable each, a camera at `eye`
// looking down +z, and the scene treated as loaded (no records unless a test loads some).
struct PassScene : SceneHost {
  CSceneSystem* scene = nullptr;
  std::shared_ptr<host::RecordingClass> renderables;
  std::vector<std::string> log;

  PassScene() {
    host.RegisterComponentClass<PassObject>("SceneBaseObj");
    renderables = host::RegisterRecordingClass(host, "Renderable");
    scene = MakeScene();
  }
  void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& at) {
    scene->GetCamera()->SetLookAt(&eye, &at);
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2.0f, 1.0f, 1.0f, 1000.0f);
    standard.renderer.SetTransform(D3DTS_VIEW, &view);
    standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
  }
  PassObject* Make(const std::string& name, float x, float y, float z) {
    const uint32_t pair[2] = {static_cast<uint32_t>(scene->sceneObjects.size() + 1), 0};
    auto* object = static_cast<PassObject*>(scene->CreateSceneObject(pair));
    object->name = name;
    object->log = &log;
    object->scene = scene;
    object->Place(x, y, z);
    host.CreateObject(&object->renderable, "Renderable");
    return object;
  }
  // The value of the last message `id` to an object's renderable; -1 when none came.
  int LastFlag(PassObject* object, int32_t id) {
    auto* r = dynamic_cast<host::RecordingObject*>(static_cast<ISceneEffectObject*>(host.GetObject(&object->renderable)));
    if (r == nullptr) return -2;
    const auto messages = r->MessagesWithId(id);
    return messages.empty() ? -1 : messages.back().args.at(0).l;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (const ComponentHandle& h : scene->sceneObjects) {
      auto* o = Object<PassObject>(h);
      out.push_back(o != nullptr ? o->name : "dead");
    }
    return out;
  }
};

CLight* AddLight(CSceneSystem* scene, const char* name, const D3DXVECTOR3& position) {
  CLight* light = nullptr;
  scene->GetLightingSystem()->CreateLight(name, &light);
  if (light != nullptr) light->position = position;
  return light;
}

TEST(SceneFrameUpdate, WithoutASceneOnlyTheRendererTickAndPrintScreenRun) {
  PassScene s;
  host::Renderer& r = s.standard.renderer;
  const float clock = g_sceneClock;
  const uint64_t ticks = r.Ticks();
  s.scene->Execute(16);
  EXPECT_EQ(r.Ticks(), ticks + 1);
  EXPECT_EQ(r.Captures(), 0u);
  win32::SetKeyDown(VK_SNAPSHOT, true);
  s.scene->Execute(16);
  s.scene->Execute(16);
  win32::SetKeyDown(VK_SNAPSHOT, false);
  EXPECT_EQ(r.Captures(), 2u);  // every tick while the key is held
  EXPECT_EQ(g_sceneClock, clock);

  s.scene->sceneId = 0;
  s.scene->Execute(250);
  EXPECT_FLOAT_EQ(g_sceneClock, clock + 0.25f);

  // A scene system whose Init failed keeps its subscription but has no renderer.
  IRenderer* saved = g_pSceneRenderer;
  g_pSceneRenderer = nullptr;
  s.scene->sceneId = -1;
  s.scene->Execute(16);
  g_pSceneRenderer = saved;
  EXPECT_EQ(r.Ticks(), ticks + 4);  // the tick without a renderer is skipped
}

TEST(SceneFrameUpdate, FollowerLightsAreAimedAtTheirObjectInIdOrder) {
  PassScene s;
  s.scene->sceneId = 0;
  PassObject* object = s.Make("dancer", 3.0f, 0.0f, 5.0f);
  object->position.y = 1.0f;  // the target takes y from the position, x and z from the head
  CLight* at = AddLight(s.scene, "at", D3DXVECTOR3(3.0f, 1.0f, 5.0f));
  CLight* above = AddLight(s.scene, "above", D3DXVECTOR3(3.0f, 11.0f, 5.0f));
  CLight* side = AddLight(s.scene, "side", D3DXVECTOR3(-1.0f, 1.0f, 5.0f));
  ASSERT_TRUE(at != nullptr && above != nullptr && side != nullptr);
  object->children = {at->GetIndex(), above->GetIndex(), side->GetIndex(), 99};  // 99 names no light
  s.scene->Execute(16);
  EXPECT_EQ(s.log.front(), "dancer execute 16");

  // At the target: range 0, no direction, up (0, 1, 0), zero right and forward rows.
  EXPECT_EQ(at->GetRange(), 0.0f);
  const D3DXMATRIX& w0 = *at->GetWorldMatrix();
  EXPECT_FLOAT_EQ(w0._21, 0.0f);
  EXPECT_FLOAT_EQ(w0._22, 1.0f);
  EXPECT_FLOAT_EQ(w0._11 * w0._11 + w0._12 * w0._12 + w0._13 * w0._13, 0.0f);
  EXPECT_FLOAT_EQ(w0._31 * w0._31 + w0._32 * w0._32 + w0._33 * w0._33, 0.0f);
  EXPECT_FLOAT_EQ(w0._41, 3.0f);

  // Straight above: d = (0, -1, 0) takes the +Z branch: up (0, 0, 1), right = up x d = (1, 0, 0).
  EXPECT_FLOAT_EQ(above->GetRange(), 10.0f);
  const D3DXMATRIX& w1 = *above->GetWorldMatrix();
  EXPECT_FLOAT_EQ(w1._11, 1.0f);
  EXPECT_FLOAT_EQ(w1._23, 1.0f);
  EXPECT_FLOAT_EQ(w1._32, -1.0f);
  EXPECT_FLOAT_EQ(w1._42, 11.0f);
  EXPECT_FLOAT_EQ(above->GetDirection()->y, -1.0f);

  // From the side: d = (1, 0, 0), up (0, 1, 0), right = up x d = (0, 0, -1).
  EXPECT_FLOAT_EQ(side->GetRange(), 4.0f);
  const D3DXMATRIX& w2 = *side->GetWorldMatrix();
  EXPECT_FLOAT_EQ(w2._13, -1.0f);
  EXPECT_FLOAT_EQ(w2._22, 1.0f);
  EXPECT_FLOAT_EQ(w2._31, 1.0f);
}

TEST(SceneRenderPass, SidePlanesOfAViewAlongMinusXMatchHandValues) {
  // The eye at (10, 0, 0) looks at the origin: view x is world +z, view z is world -x.
  D3DXMATRIX view, projection;
  const D3DXVECTOR3 eye(10.0f, 0.0f, 0.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixIdentity(&projection);  // p = q = 1: a 90 degree view
  D3DXPLANE planes[4];
  CSceneSystem::ComputeSidePlanes(planes, &view, &projection);
  const float h = 1.0f / std::sqrt(2.0f);
  const float expected[4][4] = {{h, 0, -h, 10 * h}, {h, 0, h, 10 * h}, {h, h, 0, 10 * h}, {h, -h, 0, 10 * h}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(planes[k].a, expected[k][0], 1e-6f) << k;
    EXPECT_NEAR(planes[k].b, expected[k][1], 1e-6f) << k;
    EXPECT_NEAR(planes[k].c, expected[k][2], 1e-6f) << k;
    EXPECT_NEAR(planes[k].d, expected[k][3], 1e-5f) << k;
  }
}

TEST(SceneRenderPass, ObjectsAreCulledSortedNearestFirstAndLimited) {
  PassScene s;
  s.scene->sceneId = 0;
  s.Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1));
  PassObject* far = s.Make("far", 0, 0, 20);
  PassObject* near = s.Make("near", 0, 0, 5);
  PassObject* behind = s.Make("behind", 0, 0, -30);
  PassObject* mid = s.Make("mid", 0, 0, 8);
  far->flag77 = mid->flag77 = 1;
  ComponentHandle dead{};
  dead.words[0] = 0xDEAD;
  s.scene->sceneObjects.insert(s.scene->sceneObjects.begin() + 1, dead);
  s.scene->SetSortedObjectLimit(0);
  s.scene->Realize(0);

  // Nearest first by the eye, the dead handle last.
  EXPECT_EQ(s.Names(), (std::vector<std::string>{"near", "mid", "far", "behind", "dead"}));
  auto has = [&](const std::string& line) { return std::find(s.log.begin(), s.log.end(), line) != s.log.end(); };
  EXPECT_TRUE(has("behind hide"));  // outside the view
  EXPECT_TRUE(has("near show"));
  // With limit 0 the first visible object is drawn; drawn (1) > 0 hides the flagged ones.
  EXPECT_TRUE(has("mid hide"));
  EXPECT_TRUE(has("far hide"));
  // The far flag: 5 units (25) is near, the hidden ones never get one.
  EXPECT_EQ(s.LastFlag(near, 400009), 0);
  EXPECT_EQ(s.LastFlag(mid, 400009), -1);
  // behind is visible by script (Show is the object's business): drawn, and 30 units is far.
  EXPECT_EQ(s.LastFlag(behind, 400009), 1);
}

TEST(SceneRenderPass, ByTheFocusObjectTheKeysAndTheLitLimitFollowIt) {
  PassScene s;
  s.scene->sceneId = 0;
  s.Look(D3DXVECTOR3(0, 0, -100), D3DXVECTOR3(0, 0, 0));
  PassObject* focus = s.Make("focus", 0, 0, 0);
  PassObject* ten = s.Make("ten", 10, 0, 0);      // dist2 exactly 100: still near
  PassObject* eleven = s.Make("eleven", 0, 0, 11);
  PassObject* flagged = s.Make("flagged", 0, 3, 0);
  flagged->flag77 = 1;
  s.scene->SetFocusObject(focus);
  s.scene->SetLitObjectLimit(0);
  s.scene->Realize(0);
  EXPECT_EQ(s.Names(), (std::vector<std::string>{"focus", "flagged", "ten", "eleven"}));
  // lit <= 0 lets the first near object in; from then on only objects without flag 77.
  EXPECT_EQ(s.LastFlag(focus, 400007), 1);
  EXPECT_EQ(s.LastFlag(flagged, 400007), 0);
  EXPECT_EQ(s.LastFlag(ten, 400007), 1);
  EXPECT_EQ(s.LastFlag(eleven, 400007), 0);
  // The second pass runs farthest first.
  s.log.clear();
  s.scene->RealizeBlend(0);
  EXPECT_EQ(s.log, (std::vector<std::string>{"eleven second", "ten second", "flagged second", "focus second"}));
}

TEST(SceneRenderPass, AnObjectsOwnLightAveragesColoursAndSumsDirections) {
  PassScene s;
  s.scene->sceneId = 0;
  s.Look(D3DXVECTOR3(0, 0, -10), D3DXVECTOR3(0, 0, 0));
  PassObject* object = s.Make("lit", 0, 0, 0);
  CLight* red = AddLight(s.scene, "red", D3DXVECTOR3(0, 0, 0));
  CLight* blue = AddLight(s.scene, "blue", D3DXVECTOR3(0, 0, 0));
  red->color = D3DXVECTOR4(1.0f, 0.0f, 0.0f, 1.0f);
  red->direction = D3DXVECTOR3(0.0f, -1.0f, 0.0f);
  blue->color = D3DXVECTOR4(0.0f, 0.0f, 0.5f, 1.0f);
  blue->direction = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
  object->children = {red->GetIndex(), blue->GetIndex()};
  D3DLIGHT8 extra{};
  extra.Type = D3DLIGHT_POINT;
  extra.Range = 7.0f;
  object->valueC = &extra;
  s.scene->Realize(0);
  EXPECT_EQ(object->hasOwnLight, 1);
  EXPECT_EQ(object->ownLight.Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(object->ownLight.Diffuse.r, 0.5f);
  EXPECT_FLOAT_EQ(object->ownLight.Diffuse.b, 0.25f);
  EXPECT_FLOAT_EQ(object->ownLight.Diffuse.a, 1.0f);
  EXPECT_FLOAT_EQ(object->ownLight.Direction.x, 1.0f);
  EXPECT_FLOAT_EQ(object->ownLight.Direction.y, -1.0f);
  EXPECT_EQ(s.scene->passCounts.lightsLent, 2u);  // its own light and the value-C light
  // Both were in a hardware slot for the draw and were released after it.
  bool sawExtra = false;
  for (DWORD i = 0; i < 8; ++i)
    if (const D3DLIGHT8* l = s.standard.renderer.Light(i)) sawExtra |= l->Type == D3DLIGHT_POINT && l->Range == 7.0f;
  EXPECT_TRUE(sawExtra);
}

// ---- Records, mirrors and hooks on real host models ----

constexpr const char* kDir = "resource/ini/scene/";

// A square in the plane x = -5 facing +x, 4 high and 8 deep about z = 0.
constexpr const char* kMirrorObj = "v -5 0 -4\nv -5 4 -4\nv -5 0 4\nv -5 4 4\nf 1 2 3\nf 2 4 3\n";
constexpr const char* kBoxObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

struct RecordScene : PassScene {
  void Load(const std::string& ini) {
    WriteFile("m.obj", kMirrorObj);
    WriteFile("b.obj", kBoxObj);
    WriteFile(std::string(kDir) + "1.ini", ini);
    ASSERT_TRUE(scene->LoadScene(1));
  }
  std::vector<Entry> Calls() const { return standard.renderer.CallLog(); }
  // Index of the first entry at or after `from` that matches.
  static size_t Find(const std::vector<Entry>& calls, size_t from, Entry::Kind kind, DWORD a, DWORD b = ~0u,
                     DWORD c = ~0u) {
    for (size_t i = from; i < calls.size(); ++i)
      if (calls[i].kind == kind && calls[i].a == a && (b == ~0u || calls[i].b == b) && (c == ~0u || calls[i].c == c))
        return i;
    return calls.size();
  }
  static size_t Count(const std::vector<Entry>& calls, Entry::Kind kind, DWORD a, DWORD b = ~0u) {
    size_t n = 0;
    for (const Entry& e : calls) n += e.kind == kind && e.a == a && (b == ~0u || e.b == b) ? 1 : 0;
    return n;
  }
};

std::string Mirror(const char* name) {
  return std::string("[") + name + "]\nModelType=1\nVisible=1\nRenderStyle=mirror\nModelName=m.obj\n";
}

TEST(SceneMirrorPass, AVisibleMirrorMarksTheStencilAndDrawsTheReflectedView) {
  RecordScene s;
  s.Load(Mirror("a"));
  s.Look(D3DXVECTOR3(5, 2, -10), D3DXVECTOR3(-5, 2, 0));
  PassObject* dancer = s.Make("dancer", 0, 1, 0);
  host::Renderer& r = s.standard.renderer;
  r.SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  D3DXMATRIX view;
  r.GetTransform(D3DTS_VIEW, &view);
  r.ClearRecords();
  s.scene->Realize(0);
  EXPECT_EQ(s.scene->passCounts.mirrors, 1u);
  const auto calls = s.Calls();
  using K = Entry::Kind;
  const size_t stencil = s.Find(calls, 0, K::State, D3DRS_STENCILENABLE, 1);
  const size_t func = s.Find(calls, stencil, K::State, D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
  const size_t noColour = s.Find(calls, func, K::State, D3DRS_COLORWRITEENABLE, 0);
  const size_t maskDraw = s.Find(calls, noColour, K::Draw, 55);
  const size_t colour = s.Find(calls, maskDraw, K::State, D3DRS_COLORWRITEENABLE, 15);
  const size_t reflected = s.Find(calls, colour, K::Transform, D3DTS_VIEW);
  const size_t clip = s.Find(calls, reflected, K::ClipPlane, 0);
  const size_t equal = s.Find(calls, clip, K::State, D3DRS_STENCILFUNC, D3DCMP_EQUAL);
  const size_t restore = s.Find(calls, equal, K::State, D3DRS_CULLMODE, D3DCULL_CCW);
  ASSERT_LT(restore, calls.size());
  EXPECT_EQ(s.Count(calls, K::Clear, 4), 0u);  // one mirror: no stencil clear
  // The reflected view is the mirror's reflection (x -> -10 - x) times the view.
  D3DXMATRIX reflection, expected;
  const D3DXPLANE plane(1, 0, 0, 5);
  D3DXMatrixReflect(&reflection, &plane);
  D3DXMatrixMultiply(&expected, &reflection, &view);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR((&calls[reflected].matrix._11)[i], (&expected._11)[i], 1e-5f) << i;
  EXPECT_FLOAT_EQ(calls[clip].values[0], 1.0f);
  EXPECT_FLOAT_EQ(calls[clip].values[3], 5.0f);
  // Inside the reflection the objects know they are mirrored; afterwards nothing is left on.
  EXPECT_NE(std::find(s.log.begin(), s.log.end(), "dancer in mirror"), s.log.end());
  EXPECT_EQ(s.scene->GetMirrorRendering(), 0);
  EXPECT_EQ(s.scene->IsInMirrorPass(), 0);
  EXPECT_EQ(r.GetRenderState(D3DRS_ALPHATESTENABLE), 1u);
  EXPECT_EQ(r.GetRenderState(D3DRS_STENCILENABLE), 0u);
  EXPECT_EQ(r.GetRenderState(D3DRS_CLIPPLANEENABLE), 0u);
  D3DXMATRIX after;
  r.GetTransform(D3DTS_VIEW, &after);
  EXPECT_EQ(std::memcmp(&after, &view, sizeof view), 0);
  // The dancer is drawn in the reflection and in the main view.
  EXPECT_EQ(std::count(s.log.begin(), s.log.end(), "dancer draw"), 2);
  // The shadow is drawn by the post pass inside the reflection only.
  auto* shadow = dynamic_cast<host::ShadowObject*>(static_cast<IShadowObject*>(s.host.GetObject(&s.scene->shadowHandle)));
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->CallCount("Realize"), 1u);
  s.scene->RealizePost(0);
  EXPECT_EQ(shadow->CallCount("Realize"), 1u);
  EXPECT_EQ(dancer->name, "dancer");
}

TEST(SceneMirrorPass, OnlyMirrorsFacingTheEyeInViewAreDrawnAndFromTheSecondTheStencilIsCleared) {
  RecordScene s;
  s.Load(Mirror("a") + Mirror("b") + Mirror("c"));
  s.Look(D3DXVECTOR3(5, 2, -10), D3DXVECTOR3(-5, 2, 0));
  s.standard.renderer.ClearRecords();
  s.scene->Realize(0);
  EXPECT_EQ(s.scene->passCounts.mirrors, 3u);
  EXPECT_EQ(s.Count(s.Calls(), Entry::Kind::Clear, 4), 2u);

  // Behind the plane (x < -5) and on it: none drawn, none counted.
  for (float x : {-8.0f, -5.0f}) {
    s.Look(D3DXVECTOR3(x, 2, -10), D3DXVECTOR3(x, 2, 0));
    s.standard.renderer.ClearRecords();
    s.scene->Realize(0);
    EXPECT_EQ(s.scene->passCounts.mirrors, 0u) << x;
    EXPECT_EQ(s.Count(s.Calls(), Entry::Kind::ClipPlane, 0), 0u) << x;
  }
  // In front, looking away: outside the view.
  s.Look(D3DXVECTOR3(5, 2, 0), D3DXVECTOR3(20, 2, 0));
  s.scene->Realize(0);
  EXPECT_EQ(s.scene->passCounts.mirrors, 0u);
}

std::string Record(const char* name, const char* style, const char* extra = "") {
  return std::string("[") + name + "]\nModelType=1\nVisible=1\nRenderStyle=" + style + "\nModelName=b.obj\n" + extra;
}

TEST(SceneRecordPasses, StylesSetTheirStatesAroundTheirDrawsInTheirPasses) {
  RecordScene s;
  s.Load(Record("fade", "alphasahder") + Record("overlay", "lightmapblendoverlay") +
         Record("decal", "decalmodulate", "ClampUCoord=1\n") + Record("add", "blendadd"));
  s.Look(D3DXVECTOR3(0, 0, -10), D3DXVECTOR3(0, 0, 0));
  host::Renderer& r = s.standard.renderer;
  using K = Entry::Kind;
  r.ClearRecords();
  s.scene->Realize(0);
  auto calls = s.Calls();
  // The alpha reference falls by 3 each frame and goes back to 1 after the draw.
  size_t at = s.Find(calls, 0, K::State, D3DRS_ALPHAREF, 255);
  at = s.Find(calls, at, K::Draw, 55);
  at = s.Find(calls, at, K::State, D3DRS_ALPHAREF, 1);
  // The overlay draws with reference 224 in the opaque loop.
  at = s.Find(calls, at, K::State, D3DRS_ALPHAREF, 224);
  at = s.Find(calls, at, K::Draw, 55);
  // The modulating decal: clamp, bias, blend pair, no z-writes; then everything back.
  at = s.Find(calls, at, K::Stage, 0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  at = s.Find(calls, at, K::State, D3DRS_ZBIAS, 1);
  at = s.Find(calls, at, K::State, D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
  at = s.Find(calls, at, K::State, D3DRS_DESTBLEND, D3DBLEND_DESTCOLOR);
  at = s.Find(calls, at, K::State, D3DRS_ZWRITEENABLE, 0);
  at = s.Find(calls, at, K::Draw, 55);
  at = s.Find(calls, at, K::State, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  at = s.Find(calls, at, K::State, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  at = s.Find(calls, at, K::State, D3DRS_ZBIAS, 0);
  at = s.Find(calls, at, K::Stage, 0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  EXPECT_LT(at, calls.size());
  EXPECT_EQ(s.scene->modelRecords[0].alphaReference, 252);

  // The overlay again in the blended pass: no z-writes, z less, then back to less-or-equal.
  r.ClearRecords();
  s.scene->RealizeBlend(0);
  calls = s.Calls();
  at = s.Find(calls, 0, K::State, D3DRS_ZFUNC, D3DCMP_LESS);
  at = s.Find(calls, at, K::Draw, 55);
  EXPECT_EQ(calls[at].kind, K::Draw);
  at = s.Find(calls, at, K::State, D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  EXPECT_LT(at, calls.size());
  EXPECT_EQ(s.Count(calls, K::Draw, 55), 1u);  // only the overlay is blended

  // The additive record in the post pass: destination one, then inverse source alpha.
  r.ClearRecords();
  s.scene->RealizePost(0);
  calls = s.Calls();
  at = s.Find(calls, 0, K::State, D3DRS_DESTBLEND, D3DBLEND_ONE);
  at = s.Find(calls, at, K::Draw, 55);
  at = s.Find(calls, at, K::State, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  EXPECT_LT(at, calls.size());

  r.ClearRecords();
  s.scene->Realize(0);
  EXPECT_LT(s.Find(s.Calls(), 0, K::State, D3DRS_ALPHAREF, 252), s.Calls().size());

  // Faded in, the record stays in: the reference rests at 0 and never wraps round.
  for (int frame = 0; frame < 100; ++frame) s.scene->Realize(0);
  EXPECT_EQ(s.scene->modelRecords[0].alphaReference, 0);
  r.ClearRecords();
  s.scene->Realize(0);
  EXPECT_LT(s.Find(s.Calls(), 0, K::State, D3DRS_ALPHAREF, 0), s.Calls().size());
}

TEST(SceneRecordPasses, TheTranslucentGroundKeepsItsZWritesWhereOtherBlendedRecordsLoseThem) {
  RecordScene s;
  s.Load(Record("translucentGround", "blend") + Record("glass", "blend"));
  ASSERT_EQ(s.scene->translucentGround, 0);
  s.standard.renderer.ClearRecords();
  s.scene->RealizeBlend(0);
  const auto calls = s.Calls();
  using K = Entry::Kind;
  const size_t first = s.Find(calls, 0, K::Draw, 55);
  const size_t second = s.Find(calls, first + 1, K::Draw, 55);
  ASSERT_LT(second, calls.size());
  size_t offBeforeFirst = 0, offBeforeSecond = 0;
  for (size_t i = 0; i < second; ++i)
    if (calls[i].kind == K::State && calls[i].a == D3DRS_ZWRITEENABLE && calls[i].b == 0)
      ++(i < first ? offBeforeFirst : offBeforeSecond);
  EXPECT_EQ(offBeforeFirst, 0u);
  EXPECT_EQ(offBeforeSecond, 1u);
}

// A manager that hands out a texture and matrix for each lock and counts the unlocks.
class LockingManager : public scene_testing::RecordingManager {
 public:
  IDirect3DTexture8* LockTexture(const D3DMATRIX** matrix) override {
    ++locks;
    *matrix = &textureMatrix;
    return texture;
  }
  void UnlockTexture() override { ++unlocks; }
  D3DMATRIX textureMatrix = D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0.5f, 0.25f, 0, 1);
  IDirect3DTexture8* texture = nullptr;
  int locks = 0, unlocks = 0;
};

TEST(SceneRecordPasses, AVideoRecordDrawsTheLockedTextureThroughItsMatrixAndUnlocksOnce) {
  RecordScene s;
  s.host.RegisterComponentClass<LockingManager>("CVideoTextureManager");
  s.scene = s.MakeScene();
  s.Load(Record("screen", "videoTexture", "SceneVideoPlayerID=7\n"));
  auto* film = s.Object<LockingManager>(s.scene->filmVideoHandle);
  ASSERT_NE(film, nullptr);
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(s.standard.renderer.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
  film->texture = texture;
  s.scene->videoPlaying = 1;
  s.standard.renderer.ClearRecords();
  s.scene->Realize(0);
  // Player id 7 falls back to the film's manager with the warning.
  EXPECT_EQ(s.LogCount("[warning] err videoPlayerID value > 2 "), 1u);
  EXPECT_EQ(film->locks, 1);
  EXPECT_EQ(film->unlocks, 1);
  EXPECT_EQ(g_pLockedVideoTexture, nullptr);
  const auto calls = s.Calls();
  using K = Entry::Kind;
  const size_t matrix = s.Find(calls, 0, K::Transform, D3DTS_TEXTURE0);
  ASSERT_LT(matrix, calls.size());
  EXPECT_EQ(calls[matrix].matrix._11, 2.0f);
  EXPECT_EQ(calls[matrix].matrix._41, 0.5f);
  size_t at = s.Find(calls, matrix, K::Stage, 0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  at = s.Find(calls, at, K::BaseTexture, 0);
  ASSERT_LT(at, calls.size());
  EXPECT_EQ(calls[at].texture, 1);  // the locked texture, not the table's
  at = s.Find(calls, at, K::Draw, 55);
  at = s.Find(calls, at, K::Stage, 0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  EXPECT_LT(at, calls.size());
  texture->Release();
}

TEST(SceneRecordPasses, ActiveSpotLightsProjectOntoTheGroundWithAlphaFallingWithRange) {
  RecordScene s;
  s.Load(Record("opaqueGround", "normal"));
  ASSERT_EQ(s.scene->opaqueGround, 0);
  CLight* spot = AddLight(s.scene, "spot", D3DXVECTOR3(0, 10, 0));
  CLight* dark = AddLight(s.scene, "dark", D3DXVECTOR3(0, 10, 0));
  CLight* plain = AddLight(s.scene, "plain", D3DXVECTOR3(0, 10, 0));
  for (CLight* l : {spot, dark, plain}) l->SetType(kLightSpot);
  spot->SetActive(true, 0);
  plain->SetActive(true, 0);
  spot->spotTexture = 5;
  dark->spotTexture = 6;  // not active: nothing
  spot->colorARGB = 0x80112233u;
  // s = max(50 x 0.1, 1) = 5: alpha 255 / 5 = 51; the colour's own alpha is dropped.
  spot->range = 50.0f;
  s.scene->Realize(0);
  EXPECT_EQ(g_projectorColor, 0x33112233u);
  // A short range gives s = 1: full alpha.
  spot->range = 4.0f;
  s.scene->Realize(0);
  EXPECT_EQ(g_projectorColor, 0xFF112233u);
  // With the projector off nothing is projected.
  g_projectorColor = 0;
  s.scene->projectorEnabled = 0;
  s.scene->Realize(0);
  EXPECT_EQ(g_projectorColor, 0u);
}

TEST(SceneRecordPasses, ABumpMapGetsItsTransformEyeAndTurningLightConstants) {
  RecordScene s;
  s.Load(Record("bumpy", "bumpmap"));
  host::Renderer& r = s.standard.renderer;
  D3DXMATRIX world, view, projection;
  D3DXMatrixTranslation(&world, 1, 2, 3);
  const D3DXVECTOR3 eye(4, 5, -6), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.5f, 1.0f, 100.0f);
  r.SetTransform(256, &world);
  r.SetTransform(D3DTS_VIEW, &view);
  r.SetTransform(D3DTS_PROJECTION, &projection);
  r.SetLookAt(&eye, &at, &up);
  r.SetTransform(D3DTS_VIEW, &view);
  g_bumpMapAngle = 0.0f;
  r.ClearRecords();
  s.scene->Realize(0);
  const float* c0 = r.VertexConstant(0);
  D3DXMATRIX wvp;
  D3DXMatrixMultiply(&wvp, &world, &view);
  D3DXMatrixMultiply(&wvp, &wvp, &projection);
  // Register i holds column i of world x view x projection.
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(c0[i * 4 + j], wvp.m[j][i], 1e-4f) << i << j;
  const float* c4 = r.VertexConstant(4);
  EXPECT_FLOAT_EQ(c4[0], 4.0f);
  EXPECT_FLOAT_EQ(c4[2], -6.0f);
  EXPECT_FLOAT_EQ(c4[3], 0.5f);
  EXPECT_FLOAT_EQ(r.VertexConstant(5)[1], 7.0f);
  EXPECT_FLOAT_EQ(r.VertexConstant(5)[3], 0.3f);
  EXPECT_FLOAT_EQ(r.VertexConstant(6)[0], 1.0f);
  EXPECT_FLOAT_EQ(r.VertexConstant(6)[3], 0.0f);
  // Angle 0: the rotation is the identity.
  EXPECT_FLOAT_EQ(r.VertexConstant(7)[0], 1.0f);
  EXPECT_FLOAT_EQ(r.VertexConstant(8)[0], 0.0f);
  EXPECT_FLOAT_EQ(g_bumpMapAngle, 0.05f);
  s.scene->Realize(0);
  EXPECT_FLOAT_EQ(g_bumpMapAngle, 0.1f);
  // The rotation by 0.05 about the axis: its trace is 1 + 2 cos 0.05.
  const float trace = r.VertexConstant(7)[0] + r.VertexConstant(8)[1] + r.VertexConstant(9)[2];
  EXPECT_NEAR(trace, 1.0f + 2.0f * std::cos(0.05f), 1e-5f);
}

TEST(SceneFrameUpdate, EveryRecordsAnimationRunsVisibleOrNot) {
  RecordScene s;
  s.Load(Record("shown", "normal") + "[hidden]\nModelType=1\nVisible=0\nRenderStyle=normal\nModelName=b.obj\n");
  ASSERT_EQ(s.scene->modelRecords.size(), 2u);
  // Hand each record a scrolling animation in a host block, as scene loading makes it.
  for (SceneModelRecord& r : s.scene->modelRecords) {
    ASSERT_EQ(r.materialAnimation, nullptr);
    auto* block = HostNewArray<CTexCoordModifiers>(1);
    ASSERT_NE(block, nullptr);
    HostBlockCount(block) = 1;
    r.materialAnimation = new (block) CTexCoordModifiers();
    r.materialAnimation->kinds[0] = kModifierScroll;
    r.materialAnimation->scrollU = 1.0f;
  }
  s.scene->Execute(500);
  // The scroll follows the clock in both: U offset = clock x 1.
  for (SceneModelRecord& r : s.scene->modelRecords)
    EXPECT_FLOAT_EQ(r.materialAnimation->matrices[0]._31, g_sceneClock) << r.name;
}

// ---- Hooks ----

struct HookScene : SceneHost {
  CSceneSystem* scene = MakeScene();
  host::Renderer& r = standard.renderer;
  int textures[3] = {101, 102, 103};  // handles the renderer does not know: logged as given
  DWORD S(DWORD stage, DWORD type) { return r.GetTextureStageState(stage, type); }
  std::vector<int> TexturesSet() {
    std::vector<int> out;
    for (const Entry& e : r.CallLog())
      if (e.kind == Entry::Kind::Texture) out.push_back(static_cast<int>(e.a) * 1000 + e.texture);
    return out;
  }
};

TEST(SceneDrawHooks, TheLightmapHookUsesTheSecondMapOnlyWhenTheSubsetHasOne) {
  HookScene h;
  HostSubsetRecord subset;
  subset.textureIndex[0] = 0;
  subset.textureIndex[1] = 1;
  LightmapDrawHook(&subset, h.textures);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{101}));
  EXPECT_EQ(h.S(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE2X));
  EXPECT_EQ(h.S(0, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_DIFFUSE));
  EXPECT_EQ(h.S(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
  h.r.ClearRecords();
  subset.hasSecondMap = 1;
  LightmapDrawHook(&subset, h.textures);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{101, 1102}));
  EXPECT_EQ(h.S(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_SELECTARG2));
  EXPECT_EQ(h.S(1, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_CURRENT));
  EXPECT_EQ(h.S(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE2X));
  EXPECT_EQ(h.S(2, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
  EXPECT_EQ(h.S(1, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_DISABLE));
  // A sub-mesh without a base map binds no texture instead of reading before the table.
  h.r.ClearRecords();
  subset.textureIndex[0] = -1;
  subset.hasSecondMap = 0;
  LightmapDrawHook(&subset, nullptr);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{-1}));
}

TEST(SceneDrawHooks, TheDiffAddRefHookChainsFiveStagesAndTurnsTheReflectionWithTheView) {
  HookScene h;
  g_envMapTexture = 77;
  D3DXMATRIX view;
  const D3DXVECTOR3 eye(3, 4, 5), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  h.r.SetTransform(D3DTS_VIEW, &view);
  HostSubsetRecord subset;
  subset.textureIndex[0] = 0;
  subset.textureIndex[1] = 1;
  subset.textureIndex[2] = 2;
  DiffAddRefDrawHook(&subset, h.textures);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{101, 1000 - 1, 2077, 3102}));
  EXPECT_EQ(h.S(1, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_DIFFUSE));
  EXPECT_EQ(h.S(2, D3DTSS_RESULTARG), static_cast<DWORD>(D3DTA_TEMP));
  EXPECT_EQ(h.S(2, D3DTSS_TEXCOORDINDEX), 0x30000u);
  EXPECT_EQ(h.S(3, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_TEMP));
  EXPECT_EQ(h.S(4, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_ADD));
  EXPECT_EQ(h.r.GetRenderState(D3DRS_NORMALIZENORMALS), 1u);
  D3DXMATRIX t;
  h.r.GetTransform(D3DTS_TEXTURE2, &t);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_FLOAT_EQ(t.m[i][j], view.m[j][i]) << i << j;
  EXPECT_EQ(t._41, 0.0f);
  EXPECT_EQ(t._43, 0.0f);
  EXPECT_EQ(t._44, view._44);

  h.r.ClearRecords();
  subset.hasDetailMap = 1;
  DiffAddRefDrawHook(&subset, h.textures);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{101, 1103, 2077, 3102}));
  EXPECT_EQ(h.S(1, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_CURRENT));
  DiffAddRefDrawEndHook(&subset, h.textures);
  EXPECT_EQ(h.r.GetRenderState(D3DRS_NORMALIZENORMALS), 0u);
  EXPECT_EQ(h.S(1, D3DTSS_TEXCOORDINDEX), 1u);
  EXPECT_EQ(h.S(4, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_ADD));  // left set
  g_envMapTexture = -1;
}

TEST(SceneDrawHooks, TheReflectionHookMapsTheEnvironmentThroughTextureTransformZero) {
  HookScene h;
  g_envMapTexture = 55;
  D3DXMATRIX view;
  D3DXMatrixRotationY(&view, 0.5f);
  view._41 = 7.0f;
  h.r.SetTransform(D3DTS_VIEW, &view);
  HostSubsetRecord subset;
  ReflectionDrawHook(&subset, nullptr);
  EXPECT_EQ(h.TexturesSet(), (std::vector<int>{55}));
  EXPECT_EQ(h.S(0, D3DTSS_TEXTURETRANSFORMFLAGS), static_cast<DWORD>(D3DTTFF_COUNT3));
  D3DXMATRIX t;
  h.r.GetTransform(D3DTS_TEXTURE0, &t);
  EXPECT_FLOAT_EQ(t._13, view._31);
  EXPECT_FLOAT_EQ(t._31, view._13);
  EXPECT_EQ(t._41, 0.0f);
  ReflectionDrawEndHook(&subset, nullptr);
  EXPECT_EQ(h.S(0, D3DTSS_TEXCOORDINDEX), 0u);
  EXPECT_EQ(h.S(0, D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
  g_envMapTexture = -1;
}

TEST(SceneDrawHooks, CompareObjectsByKeyPutsDeadHandlesLast) {
  PassScene s;
  PassObject* a = s.Make("a", 0, 0, 0);
  PassObject* b = s.Make("b", 0, 0, 0);
  a->sortKey = 1.0f;
  b->sortKey = 2.0f;
  const ComponentHandle ha = s.scene->sceneObjects[0], hb = s.scene->sceneObjects[1];
  ComponentHandle dead{};
  dead.words[0] = 0xDEAD;
  EXPECT_EQ(CompareObjectsByKey(&ha, &hb), -1);
  EXPECT_EQ(CompareObjectsByKey(&hb, &ha), 1);
  EXPECT_EQ(CompareObjectsByKey(&ha, &ha), 0);
  EXPECT_EQ(CompareObjectsByKey(&dead, &ha), 1);
  EXPECT_EQ(CompareObjectsByKey(&hb, &dead), -1);
  EXPECT_EQ(CompareObjectsByKey(&dead, &dead), 0);
}

}  // namespace
