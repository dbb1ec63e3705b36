// A reference host with the module, its INI service rooted at a fresh directory, the renderer and
// the host's stand-in objects, for the scene system's tests; plus scripted stand-ins for the
// neighbours the scene calls (scene objects, video texture managers, patch models).
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "frame/dma_interface.h"
#include "frame/host_services.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "video/video_texture_manager.h"
#include "win32/win32_state.h"

namespace scene_testing {

// A resource root of its own for each test.
inline std::string FreshRoot() {
  static int counter = 0;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("footlight-scene-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

template <class T>
T* As(void* object) {
  return static_cast<T*>(static_cast<CComponentBase*>(object));
}

// A scene object whose pick answer is scripted: a hit `hitDistance` units along the ray.
class ScriptedObject : public CSceneBaseObj {
 public:
  struct Pick {
    D3DXVECTOR3 origin, direction;
    uint8_t mode;
  };
  bool HitTest(D3DXVECTOR3* hit, const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, uint8_t mode) override {
    picks.push_back(Pick{*origin, *direction, mode});
    if (hitDistance < 0.0f) return false;
    D3DXVECTOR3 unit;
    D3DXVec3Normalize(&unit, direction);
    *hit = *origin + unit * hitDistance;
    return true;
  }
  float hitDistance = -1.0f;  // negative: no hit
  std::vector<Pick> picks;
};

// A video texture manager that records what the scene asks of it.
class RecordingManager : public CVideoTextureManager {
 public:
  HRESULT SetVideoInTexture(const wchar_t* file, const wchar_t*, int useSourceFilter, const wchar_t*) override {
    calls.push_back("open " + std::to_string(useSourceFilter) + " " + std::string(file, file + std::wcslen(file)));
    return openResult;
  }
  void Play() override { calls.push_back("play"); }
  void Pause() override { calls.push_back("pause"); }
  void Stop() override { calls.push_back("stop"); }
  void SetVolume(long v) override {
    calls.push_back("volume " + std::to_string(v));
    volume = v;
  }
  long GetVolume() override { return volume; }
  double GetDuration() override { return 12.5; }
  void SetScreenRect(int x, int y, int w, int h) override {
    calls.push_back("rect " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " +
                    std::to_string(h));
  }
  void Close() override { calls.push_back("close"); }
  void ReleaseGraph() override { calls.push_back("release"); }

  HRESULT openResult = 0;
  long volume = 0;
  std::vector<std::string> calls;
};

// A "modelr" model whose every slot answers neutrally; the scripted models override what they need.
class StubHostModel : public IHostModel {
 public:
  bool Init() override { return true; }
  void Destroy() override {}
  void Execute(uint32_t) override {}
  void Realize(uint32_t) override {}
  void RealizeBlend(uint32_t) override {}
  void RealizePost(uint32_t) override {}
  int OnEvent(IEventArgs*) override { return 0; }
  void OnSystemMessage(uint32_t, uint32_t, uint32_t) override {}
  bool Slot8(uint32_t) override { return true; }
  bool Slot9(uint32_t) override { return true; }
  uint32_t Slot10(uint32_t) override { return 0; }
  float RayTest(const D3DVECTOR*, const D3DVECTOR*) override { return 2.0f; }
  const char* GetHitPartName() override { return ""; }
  HostModelGeometry* GetGeometry(int32_t) override { return nullptr; }
  IAnimation* GetAnimation() override { return nullptr; }
  IMotionController* GetMotionController(int32_t) override { return nullptr; }
  HostModelGeometry* GetFirstPart() override { return nullptr; }
};

// A patch model whose segment test answers a scripted fraction.
class ScriptedPatch final : public StubHostModel {
 public:
  float RayTest(const D3DVECTOR* from, const D3DVECTOR* to) override {
    segments.emplace_back(D3DXVECTOR3(from->x, from->y, from->z), D3DXVECTOR3(to->x, to->y, to->z));
    return t;
  }

  float t = 2.0f;
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> segments;
};

// The module in a standard host at a fresh resource root; every object is gone and no host block
// is left when the test ends.
struct SceneHost {
  std::string root = FreshRoot();
  host::StandardHost standard{root};
  host::ReferenceHost& host = standard.host;

  SceneHost() {
    win32::ResetState();
    host.LoadModule(&DMAInterface);
  }
  ~SceneHost() {
    host.DestroyAll();
    EXPECT_EQ(host.Allocator().LiveBlocks(), 0u);
    EXPECT_TRUE(host.Allocator().Errors().empty());
    std::filesystem::remove_all(root);
  }

  // Writes a file below the resource root.
  void WriteFile(const std::string& relative, const std::string& text) {
    const auto path = std::filesystem::path(root) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  CSceneSystem* MakeScene(ComponentHandle* handle = nullptr, const char* className = "CSceneSystem") {
    ComponentHandle made{};
    host.CreateObject(&made, className);
    if (handle != nullptr) *handle = made;
    return As<CSceneSystem>(host.GetObject(&made));
  }

  template <class T>
  T* Object(const ComponentHandle& handle) {
    return As<T>(host.GetObject(&handle));
  }

  size_t LogCount(const std::string& line) const {
    size_t n = 0;
    for (const auto& l : standard.host.LogLines()) n += l == line ? 1 : 0;
    return n;
  }
};

}  // namespace scene_testing
