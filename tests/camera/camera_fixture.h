// A camera made by its class name in a standard host rooted at a temporary folder, with an
// object to follow whose position the test sets and a scene stand-in for the eye adjuster.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/base_camera.h"
#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "support/temp_tree.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace camera_testing {

// Stands where a scene object will be: its position and yaw are the test's.
class FollowedObject : public CSceneBaseObj {
 public:
  void GetPosition(D3DXVECTOR3* p, float* y) override {
    *p = position;
    *y = yaw;
  }
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  float yaw = 0.0f;
};

// The eye adjuster: every segment asked, and a hit at `hitPoint` while `hits` is set.
class Adjuster : public ISceneSystem {
 public:
  ITerrainEdit* GetTerrain() override { return nullptr; }
  bool IntersectSegment(const D3DXVECTOR3* start, const D3DXVECTOR3* end, D3DXVECTOR3* hit) override {
    segments.emplace_back(*start, *end);
    if (!hits) return false;
    *hit = hitPoint;
    return true;
  }
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> segments;
  bool hits = false;
  D3DXVECTOR3 hitPoint{0.0f, 0.0f, 0.0f};
};

template <class T>
T* As(void* object) {
  return static_cast<T*>(static_cast<CComponentBase*>(object));
}

inline void ExpectNear(const D3DXVECTOR3& got, const D3DXVECTOR3& want, float tolerance = 1e-4f) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

struct CameraRig {
  testing_support::TempTree tree;
  std::unique_ptr<host::StandardHost> standard;
  CBaseCamera* camera = nullptr;
  ComponentHandle cameraHandle{};

  // prepare runs on the fresh host before the camera is made (services, screen, window).
  template <class Prepare>
  explicit CameraRig(Prepare prepare) {
    Start();
    prepare(*this);
    MakeCamera();
  }
  CameraRig() {
    Start();
    MakeCamera();
  }
  ~CameraRig() {
    standard->host.DestroyAll();
    EXPECT_EQ(standard->host.Allocator().LiveBlocks(), 0u);
    g_cameraShots = CameraShotState{};
    win32::ResetState();
  }

  host::ReferenceHost& Host() { return standard->host; }
  host::Renderer& Renderer() { return standard->renderer; }
  HWND Window() { return standard->host.GetWindowHandle(); }

  FollowedObject* Follow(const D3DXVECTOR3& position, float yaw, ComponentHandle* handle) {
    Host().CreateObject(handle, "FollowedObject");
    auto* object = As<FollowedObject>(Host().GetObject(handle));
    object->position = position;
    object->yaw = yaw;
    return object;
  }
  // The camera orbits (without placing itself behind) an object standing at `position`.
  FollowedObject* Orbit(const D3DXVECTOR3& position, float height, ComponentHandle* handle) {
    FollowedObject* object = Follow(position, 0.0f, handle);
    camera->EnterOrbit(handle, height, 1, 0);
    return object;
  }
  Adjuster* MakeAdjuster() {
    ComponentHandle h{};
    Host().CreateObject(&h, "Adjuster");
    auto* adjuster = As<Adjuster>(Host().GetObject(&h));
    camera->SetEyeAdjuster(adjuster);
    return adjuster;
  }
  void Message(uint32_t message, uint32_t wParam, uint32_t lParam) { Host().SystemMessage(message, wParam, lParam); }
  void Frame(uint32_t ms) { Host().Execute(ms); }
  // What the renderer was last handed by SetLookAt.
  D3DXVECTOR3 ViewEye() {
    D3DVECTOR e{}, a{}, u{};
    Renderer().GetLookAt(&e, &a, &u);
    return D3DXVECTOR3(e.x, e.y, e.z);
  }
  D3DXVECTOR3 ViewAt() {
    D3DVECTOR e{}, a{}, u{};
    Renderer().GetLookAt(&e, &a, &u);
    return D3DXVECTOR3(a.x, a.y, a.z);
  }
  D3DXMATRIX Transform(DWORD type) {
    D3DXMATRIX m;
    Renderer().GetTransform(type, &m);
    return m;
  }

 private:
  void Start() {
    win32::ResetState();
    g_cameraShots = CameraShotState{};
    standard = std::make_unique<host::StandardHost>(tree.Root());
    standard->host.RegisterComponentClass<FollowedObject>("FollowedObject");
    standard->host.RegisterComponentClass<Adjuster>("Adjuster");
    standard->host.LoadModule(&DMAInterface);
  }
  void MakeCamera() {
    standard->host.CreateObject(&cameraHandle, "CBaseCamera");
    camera = As<CBaseCamera>(standard->host.GetObject(&cameraHandle));
  }
};

inline uint32_t Words(int low, int high) {
  return (static_cast<uint32_t>(high) << 16) | (static_cast<uint32_t>(low) & 0xFFFFu);
}

}  // namespace camera_testing
