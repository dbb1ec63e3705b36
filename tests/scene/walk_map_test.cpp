// Walk maps, height maps and the planform picture over a walk patch whose ray answers are
// scripted, written through the host's file operations.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "d3d8/d3d8.h"
#include "frame/exs.h"
#include "frame/renderer.h"
#include "host/d3d_device.h"
#include "host/generic_object.h"
#include "host/host_object.h"
#include "scene_fixture.h"
#include "support/full_device.h"

namespace {
using scene_testing::SceneHost;

// A mesh of a scripted box and nodes.
class ScriptedMesh final : public IHostMesh {
 public:
  void GetInfo(HostMeshInfo* out) override {
    *out = info;
    out->nodeCount = static_cast<uint32_t>(nodes.size());
  }
  bool GetNode(int32_t i, HostMeshNode* node) override {
    if (i < 0 || static_cast<size_t>(i) >= nodes.size()) return false;
    *node = nodes[static_cast<size_t>(i)];
    return true;
  }
  bool GetPart(int32_t, HostMeshPart*) override { return false; }
  const HostMeshData* GetData() override { return nullptr; }

  HostMeshInfo info;
  std::vector<HostMeshNode> nodes;
};

struct Ray {
  D3DVECTOR from, to;
};

// A walk patch: each vertical ray gets the fraction and part name the script gives for its x, z.
class ScriptedWalk final : public host::HostObject, public scene_testing::StubHostModel {
 public:
  // Slot 3, of the model's table and of the host object's alike.
  void Realize(uint32_t arg) override {
    if (onRealize) onRealize(arg);
  }
  float RayTest(const D3DVECTOR* from, const D3DVECTOR* to) override {
    rays.push_back(Ray{*from, *to});
    if (throwOnRay) throw std::runtime_error("ray");
    const auto answer = script ? script(from->x, from->z) : std::pair<float, const char*>{2.0f, ""};
    hitName = answer.second;
    return answer.first;
  }
  const char* GetHitPartName() override { return hitName; }
  HostModelGeometry* GetGeometry(int32_t part) override { return part == 0 && hasMesh ? &geometry : nullptr; }
  void* InterfacePointer() override { return static_cast<IHostModel*>(this); }

  std::function<std::pair<float, const char*>(float x, float z)> script;
  std::function<void(uint32_t)> onRealize;
  bool throwOnRay = false;
  bool hasMesh = true;
  const char* hitName = "";
  std::vector<Ray> rays;
  ScriptedMesh mesh;
  HostModelGeometry geometry;
};

struct MapScene : SceneHost {
  CSceneSystem* scene = nullptr;
  std::vector<ScriptedWalk*> made;
  ScriptedWalk* walk = nullptr;

  MapScene() {
    host.RegisterHostClass("scripted walk", [this] {
      auto object = std::make_unique<ScriptedWalk>();
      object->geometry.hostMesh = &object->mesh;
      made.push_back(object.get());
      return object;
    });
    scene = MakeScene();
    walk = AddRecord("walk_patch", false, 0);
    std::filesystem::create_directories(std::filesystem::path(root) / "maps");
  }

  ScriptedWalk* AddRecord(const char* name, bool visible, int32_t style) {
    SceneModelRecord r{};
    std::strcpy(r.name, name);
    r.Visible = visible;
    r.RenderStyle = style;
    host.CreateObject(&r.modelObject, "scripted walk");
    scene->modelRecords.push_back(r);
    return made.back();
  }

  std::string Read(const std::string& relative) const {
    std::ifstream in(std::filesystem::path(root) / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(std::filesystem::path(root) / relative); }
};

std::string TgaHeader(int w, int h) {
  return std::string({0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, char(w & 0xff), char(w >> 8), char(h & 0xff), char(h >> 8), 8, 8});
}

TEST(WalkMap, HeaderAndGridByteForByteWithEveryAreaCode) {
  MapScene s;
  s.walk->mesh.info.boxCentre = D3DVECTOR{0, 0, 0};
  s.walk->mesh.info.boxSize = D3DVECTOR{6, 2, 4};
  // Columns at x -2, 0, 2; rows at z -1, 1.
  s.walk->script = [](float x, float z) -> std::pair<float, const char*> {
    if (x < -1) return {0.5f, z < 0 ? "DANCINGSCENE_AREA_DJ" : "DANCINGSCENE_AREA_WALKING"};
    if (x < 1) return z < 0 ? std::pair<float, const char*>{0.1f, "DANCINGSCENE_AREA_NOT_WALKING"}
                            : std::pair<float, const char*>{1.0f, "DANCINGSCENE_AREA_DANCE"};
    return {0.0f, z < 0 ? "DANCINGSCENE_AREA_DANCE_LEADER" : "dancingscene_area_pk"};
  };
  ASSERT_TRUE(s.scene->GenerateWalkMap(3, 2, "maps\\walk.tga", nullptr));
  EXPECT_EQ(s.Read("maps/walk.tga"), TgaHeader(3, 2) + std::string("\x14\x1f\x12\x10\x0f\x1f", 6));
  ASSERT_EQ(s.walk->rays.size(), 6u);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.x, -2.0f);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.y, 127.0f);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.z, -1.0f);
  EXPECT_FLOAT_EQ(s.walk->rays[0].to.y, -128.0f);
  EXPECT_FLOAT_EQ(s.walk->rays[5].to.x, 2.0f);
  EXPECT_FLOAT_EQ(s.walk->rays[5].to.z, 1.0f);

  // The codes of the other areas, an empty name and a null name.
  int step = 0;
  const char* names[] = {"DANCINGSCENE_AREA_DANCE", "DANCINGSCENE_AREA_PK", "", nullptr};
  s.walk->script = [&](float, float) -> std::pair<float, const char*> { return {0.3f, names[step++]}; };
  ASSERT_TRUE(s.scene->GenerateWalkMap(4, 1, "maps\\walk.tga", nullptr));
  EXPECT_EQ(s.Read("maps/walk.tga"), TgaHeader(4, 1) + std::string("\x11\x13\x1f\x1f", 4));
  EXPECT_FALSE(s.Exists("maps/walk.txt"));
}

TEST(WalkMap, OneCellSamplesTheTruncatedBoxCentreAndTheHeaderTellsTheBoxAndEntry) {
  MapScene s;
  // Corners -0.8 .. 3.2 in x (truncated to 0 .. 3), 4 .. -2 in z (given upside down: size < 0).
  s.walk->mesh.info.boxCentre = D3DVECTOR{1.2f, 0.5f, 1.0f};
  s.walk->mesh.info.boxSize = D3DVECTOR{4.0f, 3.0f, -6.0f};
  HostMeshNode other, entry, later;
  other.name = "exit";
  other.matrix._41 = 99;
  entry.name = "ENTRIES";
  entry.matrix._11 = -0.6f;
  entry.matrix._13 = 0.8f;
  entry.matrix._41 = 5;
  entry.matrix._42 = 7;
  entry.matrix._43 = -3;
  later.name = "entries";
  later.matrix._41 = 50;
  s.walk->mesh.nodes = {other, entry, later};
  ASSERT_TRUE(s.scene->GenerateWalkMap(1, 1, "maps\\w.tga", "maps\\w.txt"));
  ASSERT_EQ(s.walk->rays.size(), 1u);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.x, 1.5f);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.z, 1.0f);
  EXPECT_EQ(s.Read("maps/w.tga"), TgaHeader(1, 1) + "\x0f");
  // acos(-0.6) = 2.2142975; m00 < 0 turns it to 2 pi - 2.2142975.
  EXPECT_EQ(s.Read("maps/w.txt"),
            "Left= 0.000000\r\nTop= -2.000000\r\nRight= 3.000000\r\nBottom= 4.000000\r\nLow= -1.000000\r\n"
            "High= 2.000000\r\nCenter_X= 1.500000\r\nCenter_Z= 1.000000\r\nentry = 5.000000, 0.000000, -3.000000, 4.068888");

  // Without an "entries" node the entry is all zero.
  s.walk->mesh.nodes = {other};
  ASSERT_TRUE(s.scene->GenerateWalkMap(2, 3, "maps\\w.tga", "maps\\w.txt"));
  const std::string text = s.Read("maps/w.txt");
  EXPECT_EQ(text.substr(text.find("entry")), "entry = 0.000000, 0.000000, 0.000000, 0.000000");
  EXPECT_EQ(s.Read("maps/w.tga").size(), 18u + 6u);
}

TEST(WalkMap, BadSizesAndUnopenablePathsGiveFalse) {
  MapScene s;
  s.walk->mesh.info.boxSize = D3DVECTOR{2, 2, 2};
  for (auto [w, h] : {std::pair{0, 1}, {1, 0}, {-1, 4}, {65536, 1}, {1, 65536}}) {
    EXPECT_FALSE(s.scene->GenerateWalkMap(w, h, "maps\\bad.tga", "maps\\bad.txt")) << w << "x" << h;
    EXPECT_FALSE(s.scene->GenerateHeightMap(w, h, "maps\\bad.tga", "maps\\bad.txt")) << w << "x" << h;
  }
  EXPECT_FALSE(s.scene->GenerateWalkMap(2, 2, nullptr, nullptr));
  EXPECT_TRUE(s.walk->rays.empty());
  EXPECT_FALSE(s.Exists("maps/bad.tga"));
  EXPECT_FALSE(s.Exists("maps/bad.txt"));
  // A header that cannot be made stops before the map (a plain file stands where the folder
  // would be).
  s.WriteFile("maps/blocker", "x");
  EXPECT_FALSE(s.scene->GenerateWalkMap(2, 2, "maps\\ok.tga", "maps\\blocker\\w.txt"));
  EXPECT_FALSE(s.Exists("maps/ok.tga"));
  EXPECT_FALSE(s.scene->GenerateHeightMap(2, 2, "maps\\ok.tga", "maps\\blocker\\h.txt"));
  EXPECT_FALSE(s.Exists("maps/ok.tga"));
  EXPECT_FALSE(s.scene->GenerateWalkMap(2, 2, "maps\\blocker\\w.tga", nullptr));
  EXPECT_EQ(s.LogCount("Warning : Unable to create file for height map."), 0u);
  EXPECT_FALSE(s.scene->GenerateHeightMap(2, 2, "maps\\blocker\\h.tga", nullptr));
  EXPECT_EQ(s.LogCount("Warning : Unable to create file for height map."), 1u);
  // A map that does not fit on the device is not reported as written.
  const bool written = testing_support::WithFullDevice(
      20, [&] { return s.scene->GenerateWalkMap(8, 8, "maps\\full.tga", nullptr); });
  EXPECT_FALSE(written);
}

TEST(WalkMap, WithoutAWalkPatchOrItsMeshNothingIsMade) {
  MapScene s;
  s.walk->hasMesh = false;
  EXPECT_FALSE(s.scene->GenerateWalkMap(2, 2, "maps\\a.tga", nullptr));
  EXPECT_FALSE(s.scene->GenerateHeightMap(2, 2, "maps\\a.tga", nullptr));
  std::strcpy(s.scene->modelRecords[0].name, "other");
  EXPECT_FALSE(s.scene->GenerateWalkMap(2, 2, "maps\\a.tga", nullptr));
  s.scene->RenderScenePlanform(8, 8, 50.0f, "maps\\a.bmp");
  EXPECT_FALSE(s.Exists("maps/a.tga"));
  EXPECT_FALSE(s.Exists("maps/a.bmp"));
}

TEST(HeightMap, FractionsBecomeTruncatedBytesOverTheUntruncatedBox) {
  MapScene s;
  s.walk->mesh.info.boxCentre = D3DVECTOR{0.5f, 0.0f, 0.0f};
  s.walk->mesh.info.boxSize = D3DVECTOR{3.0f, 2.0f, 4.0f};
  const float fractions[] = {0.0f, 0.5f, 0.999f, 1.0f, 2.0f, 0.25f};
  int step = 0;
  s.walk->script = [&](float, float) -> std::pair<float, const char*> { return {fractions[step++], "x"}; };
  ASSERT_TRUE(s.scene->GenerateHeightMap(3, 2, "maps\\h.tga", "maps\\h.txt"));
  EXPECT_EQ(s.Read("maps/h.tga"), TgaHeader(3, 2) + std::string("\x00\x7f\xfe\xff\xff\x3f", 6));
  EXPECT_EQ(s.Read("maps/h.txt"),
            "Left= -1.000000\r\nTop= -2.000000\r\nRight= 2.000000\r\nBottom= 2.000000\r\nLow= -1.000000\r\n"
            "High= 1.000000\r\nCenter_X= 0.500000\r\nCenter_Z= 0.000000\r\n");
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.x, -0.5f);
  EXPECT_FLOAT_EQ(s.walk->rays[0].from.z, -1.0f);
}

// Lines of the exception log (the registry's) that are `line`.
size_t GuardLogCount(MapScene& s, const std::string& line) {
  size_t n = 0;
  for (const auto& l : s.host.Registry().LogLines()) n += l == line ? 1 : 0;
  return n;
}

TEST(WalkMap, AThrowingHostCallPassesTheGuardNamesAndFreesTheGrid) {
  MapScene s;
  s.walk->mesh.info.boxSize = D3DVECTOR{2, 2, 2};
  s.walk->throwOnRay = true;
  EXPECT_THROW(s.scene->GenerateWalkMap(4, 4, "maps\\t.tga", nullptr), _EXS);
  EXPECT_THROW(s.scene->GenerateHeightMap(4, 4, "maps\\t.tga", nullptr), _EXS);
  EXPECT_EQ(GuardLogCount(s, "CSceneSystem::GenerateWalkMap"), 1u);
  EXPECT_EQ(GuardLogCount(s, "CSceneSystem::GenerateHeightMap"), 1u);
  EXPECT_FALSE(s.Exists("maps/t.tga"));
  s.walk->throwOnRay = false;
  // A drawn model that throws: the picture's guard, and the device state comes back.
  ScriptedWalk* drawn = s.AddRecord("stage", true, 1);
  drawn->onRealize = [](uint32_t) { throw std::runtime_error("draw"); };
  IDirect3DDevice8* device = s.standard.renderer.GetDevice();
  IDirect3DSurface8* before = nullptr;
  device->GetRenderTarget(&before);
  EXPECT_THROW(s.scene->RenderScenePlanform(8, 8, 50.0f, "maps\\t.bmp"), _EXS);
  EXPECT_EQ(GuardLogCount(s, "CSceneSystem::RenderScenePlanform"), 1u);
  IDirect3DSurface8* after = nullptr;
  device->GetRenderTarget(&after);
  EXPECT_EQ(after, before);
  after->Release();
  before->Release();
}

TEST(Planform, DrawsTheNormalRecordsIntoAPictureOfItsSizeAndRestoresTheDevice) {
  MapScene s;
  s.walk->mesh.info.boxCentre = D3DVECTOR{2, 0, 3};
  s.walk->mesh.info.boxSize = D3DVECTOR{10, 1, 6};
  host::Renderer& r = s.standard.renderer;
  IDirect3DDevice8* device = r.GetDevice();
  struct Seen {
    UINT targetWidth = 0, targetHeight = 0, depthWidth = 0, depthHeight = 0;
    D3DMATRIX view{}, projection{};
  };
  std::vector<Seen> seen;
  auto note = [&](uint32_t) {
    Seen v;
    D3DSURFACE_DESC desc{};
    IDirect3DSurface8* surface = nullptr;
    device->GetRenderTarget(&surface);
    surface->GetDesc(&desc);
    v.targetWidth = desc.Width;
    v.targetHeight = desc.Height;
    surface->Release();
    device->GetDepthStencilSurface(&surface);
    if (surface != nullptr) {
      surface->GetDesc(&desc);
      v.depthWidth = desc.Width;
      v.depthHeight = desc.Height;
      surface->Release();
    }
    r.GetTransform(D3DTS_VIEW, &v.view);
    r.GetTransform(D3DTS_PROJECTION, &v.projection);
    seen.push_back(v);
  };
  s.AddRecord("stage", true, 1)->onRealize = note;
  s.AddRecord("hidden", false, 1)->onRealize = note;
  s.AddRecord("glass", true, 3)->onRealize = note;

  IDirect3DSurface8 *target = nullptr, *depth = nullptr;
  device->GetRenderTarget(&target);
  device->GetDepthStencilSurface(&depth);
  const ULONG targetRefs = static_cast<host::Surface*>(target)->RefCount();
  const ULONG depthRefs = static_cast<host::Surface*>(depth)->RefCount();
  D3DMATRIX view{}, projection{};
  view._11 = 2;
  projection._22 = 3;
  r.SetTransform(D3DTS_VIEW, &view);
  r.SetTransform(D3DTS_PROJECTION, &projection);

  // Larger than the 800 x 600 back buffer: a depth surface of the picture's size serves it.
  s.scene->RenderScenePlanform(1000, 700, 40.0f, "maps\\plan.bmp");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].targetWidth, 1000u);
  EXPECT_EQ(seen[0].targetHeight, 700u);
  EXPECT_GE(seen[0].depthWidth, 1000u);
  EXPECT_GE(seen[0].depthHeight, 700u);
  // Straight down from (2, 40, 3), z up the picture; 10 x 6 units across.
  D3DXMATRIX wantView, wantProjection;
  const D3DXVECTOR3 eye(2, 40, 3), at(2, 0, 3), up(0, 0, -1);
  D3DXMatrixLookAtLH(&wantView, &eye, &at, &up);
  D3DXMatrixOrthoLH(&wantProjection, 10, 6, 0, 10000);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      EXPECT_FLOAT_EQ(seen[0].view.m[i][j], wantView.m[i][j]);
      EXPECT_FLOAT_EQ(seen[0].projection.m[i][j], wantProjection.m[i][j]);
    }

  const std::string bmp = s.Read("maps/plan.bmp");
  ASSERT_GE(bmp.size(), 26u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  int32_t w = 0, h = 0;
  std::memcpy(&w, bmp.data() + 18, 4);
  std::memcpy(&h, bmp.data() + 22, 4);
  EXPECT_EQ(w, 1000);
  EXPECT_EQ(std::abs(h), 700);

  IDirect3DSurface8 *targetAfter = nullptr, *depthAfter = nullptr;
  device->GetRenderTarget(&targetAfter);
  device->GetDepthStencilSurface(&depthAfter);
  EXPECT_EQ(targetAfter, target);
  EXPECT_EQ(depthAfter, depth);
  targetAfter->Release();
  depthAfter->Release();
  EXPECT_EQ(static_cast<host::Surface*>(target)->RefCount(), targetRefs);
  EXPECT_EQ(static_cast<host::Surface*>(depth)->RefCount(), depthRefs);
  D3DMATRIX viewAfter{}, projectionAfter{};
  r.GetTransform(D3DTS_VIEW, &viewAfter);
  r.GetTransform(D3DTS_PROJECTION, &projectionAfter);
  EXPECT_EQ(viewAfter._11, 2.0f);
  EXPECT_EQ(projectionAfter._22, 3.0f);
  target->Release();
  depth->Release();

  // A record's class object made by the host is drawn with its model, as the passes draw it.
  SceneModelRecord& withClass = s.scene->modelRecords[2];  // "hidden"
  withClass.Visible = true;
  std::strcpy(withClass.ClassName, "EffectRoom");
  s.host.CreateObject(&withClass.classObject, "EffectRoom");
  auto* effect = static_cast<host::RecordingObject*>(
      static_cast<ISceneEffectObject*>(s.host.GetObject(&withClass.classObject)));
  ASSERT_NE(effect, nullptr);
  seen.clear();
  s.scene->RenderScenePlanform(64, 32, 40.0f, "maps\\small.bmp");
  EXPECT_EQ(effect->CallCount("Realize"), 1u);
  ASSERT_EQ(seen.size(), 2u);  // "stage" and "hidden", now visible

  // A small picture keeps the device's own depth surface.
  EXPECT_EQ(seen[1].targetWidth, 64u);
  EXPECT_EQ(seen[1].depthWidth, 800u);
}

}  // namespace
