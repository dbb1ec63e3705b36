// What the tests of the scene's render members share: small texture files, and a scene made in
// a host whose resource root holds a flag list and a material file.
#pragma once
#include <cstdint>
#include <fstream>
#include <map>
#include <utility>
#include <vector>
#include <string>

#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/renderer.h"
#include "scene_fixture.h"

namespace scene_testing {

// A 2 x 2 32-bit TGA file below the host's root.
inline void WriteTexture(SceneHost& s, const std::string& relative) {
  std::string bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
  for (int i = 0; i < 4; ++i) bytes += std::string("\x40\x80\xC0\xFF", 4);
  s.WriteFile(relative, bytes);
}

constexpr const char* kFlagListFile = "Resource/ini/Brivanta/common/flagList.ini";
constexpr const char* kMaterialFile = "resource/ini/scene/material/1.ini";

// A scene system made after the flag list and the material file are written, with the material
// file open as scene loading would hand it to the flags.
struct FlagScene {
  SceneHost s;
  CSceneSystem* scene = nullptr;
  IIniFile* material = nullptr;

  FlagScene(const std::string& flagList, const std::string& materialText = "") {
    s.WriteFile(kFlagListFile, flagList);
    s.WriteFile(kMaterialFile, materialText);
    WriteTexture(s, "textures/cloth.tga");
    WriteTexture(s, "textures/detail.tga");
    scene = s.MakeScene();
    material = s.standard.ini.OpenIni("resource\\ini\\scene\\material\\1.ini", 0);
  }
  ~FlagScene() { ReleaseIniFile(material); }

  void Add(const char* type, D3DXVECTOR3 c0, D3DXVECTOR3 c1, D3DXVECTOR3 c2) {
    scene->flags.AddFlag("flag01", type, &c0.x, &c1.x, &c2.x, material);
  }
  host::Renderer& renderer() { return s.standard.renderer; }
};

}  // namespace scene_testing

namespace scene_testing {

// A material controller that records its switch.
class RecordingController final : public IHostMaterialController {
 public:
  void GetBounds(D3DVECTOR* centre, float* radius) override {
    *centre = D3DVECTOR{0, 0, 0};
    *radius = 0;
  }
  void SetHookMode(int32_t mode) override { calls.push_back(mode); }
  int GetVertexBuffer(int32_t) override { return -1; }
  uint32_t GetVertexStride(int32_t) override { return 0; }
  std::vector<int> calls;
};

// A ground model that, like a model's draw, runs its render hook and then draws; it keeps the
// renderer state each draw saw after the hook.
class ScriptedReceiver final : public StubHostModel {
 public:
  struct Seen {
    bool hookRan = false;
    int texture = -1;
    D3DMATRIX textureMatrix{};
    std::map<DWORD, DWORD> states;                   // render states
    std::map<std::pair<DWORD, DWORD>, DWORD> stages;  // (stage, type) -> value
  };

  explicit ScriptedReceiver(host::Renderer& renderer) : renderer_(renderer) { geometry.material = &controller; }

  void Realize(uint32_t) override {
    Seen seen;
    if (geometry.renderHook != nullptr && hasRecord) {
      geometry.renderHook(&geometry, &renderer_, geometry.renderHookContext);
      seen.hookRan = true;
    }
    seen.texture = renderer_.StageTextureHandle(0);
    renderer_.GetTransform(D3DTS_TEXTURE0, &seen.textureMatrix);
    for (DWORD state : {14u, 20u, 23u, 28u, 60u, 137u}) seen.states[state] = renderer_.GetRenderState(state);
    for (DWORD stage : {0u, 1u})
      for (DWORD type : {1u, 2u, 3u, 4u, 5u, 6u, 11u, 13u, 14u, 24u})
        seen.stages[{stage, type}] = renderer_.GetTextureStageState(stage, type);
    draws.push_back(seen);
  }
  HostModelGeometry* GetGeometry(int32_t part) override { return hasRecord && part == 0 ? &geometry : nullptr; }

  HostModelGeometry geometry;
  RecordingController controller;
  bool hasRecord = true;
  std::vector<Seen> draws;

 private:
  host::Renderer& renderer_;
};

}  // namespace scene_testing
