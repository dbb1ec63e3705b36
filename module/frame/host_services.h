// Host services and host objects besides the renderer, as the module calls them: the animation
// service with its animations and controllers, the geometry loading context, and the "modelr"
// model object. They live in the host; the module never owns them.
//
// Each operation carries the slot number the host's table gives it. Only the slots the module
// calls are declared; they stand in slot order, so a slot the module comes to need is added at
// its place between its neighbours.
#pragma once
#include <cstdint>

#include "d3d8/d3d8types.h"
#include "frame/host_interfaces.h"

class IRenderer;

// Plays the tracks of one animation.
class IAnimationController {
 public:
  // Chooses the track to play by name.
  virtual void Select(const char* trackName, int32_t a, int32_t b) = 0;  // slot 1
  virtual void Start(int32_t a) = 0;                                      // slot 3
  virtual void Stop(int32_t a) = 0;                                       // slot 5
  virtual void SetLooping(int32_t on, int32_t a) = 0;                     // slot 16
  virtual void SetSpeed(float speed, int32_t a) = 0;                      // slot 18

 protected:
  ~IAnimationController() = default;
};

// One loaded animation. Released with Release, never deleted by the module.
class IAnimation {
 public:
  virtual IAnimationController* GetController(int32_t index) = 0;  // slot 1
  // The animated transform of the node bound last (row-major, row 3 the position); may be null.
  virtual const D3DMATRIX* GetBoundMatrix(int32_t index) = 0;  // slot 9
  virtual void Release() = 0;                                  // slot 25
  virtual void SetSwitchB(int32_t value) = 0;                  // slot 30
  virtual void SetSwitchA(int32_t value) = 0;                  // slot 32
  virtual void SetCounter(int32_t value) = 0;                  // slot 34
  virtual int32_t GetCounter() = 0;                            // slot 35
  virtual void SetOwner(void* owner, int32_t a) = 0;           // slot 36

 protected:
  ~IAnimation() = default;
};

// The host service "AnimationServiceImp".
class IAnimationService {
 public:
  // Loads an animation file; null when it cannot.
  virtual IAnimation* LoadAnimation(const char* name, int32_t flags) = 0;  // slot 8

 protected:
  ~IAnimationService() = default;
};

// The host service "geometry": a loading context that the next "modelr" creation reads.
class IGeometryService {
 public:
  // Texture folders for the next model; empty text and nulls reset them.
  virtual void SetTexturePaths(const char* path1, const char* path2, const char* path3) = 0;  // slot 19
  virtual void Slot20(int32_t a, int32_t b, int32_t c) = 0;                                // slot 20
  virtual void Slot22(int32_t on) = 0;                                                     // slot 22
  virtual void Slot25(int32_t on) = 0;                                                     // slot 25
  virtual void Slot26(const void* planes, int32_t count) = 0;                              // slot 26
  virtual void Slot35(int32_t on) = 0;                                                     // slot 35

 protected:
  ~IGeometryService() = default;
};

struct HostModelGeometry;

// Called by a model while it draws, after its own states are set and before its primitives.
using HostRenderHookFn = void (*)(HostModelGeometry* geometry, IRenderer* renderer, void* context);

// The material controller of a model's part: how the part sets up its texture stages.
class IHostMaterialController {
 public:
  // 1: the part sets its own material stages; 0: it leaves them to the render hook, which the
  // model's draw then runs before each subset.
  virtual void SetOwnStages(uint8_t own) = 0;  // slot 13

 protected:
  ~IHostMaterialController() = default;
};

// What slot 17 of a model hands out for one of its parts. Layout, in order:
//   renderHook          the hook the model calls while drawing (null: none)
//   renderHookContext   handed to the hook unchanged
//   materialController  the part's material controller (null: none)
struct HostModelGeometry {
  HostRenderHookFn renderHook = nullptr;
  void* renderHookContext = nullptr;
  IHostMaterialController* materialController = nullptr;
};

// The host's "modelr" model object, as IHost::GetObject hands it out. Slots 0-11 are those of a
// component (slot 3 draws the model); the model's own operations follow. Layout after the table:
//   transform  the model's world matrix (row-major, row 3 the position), written by its users
class IHostModel {
 public:
  virtual bool Init() = 0;                                                           // slot 0
  virtual void Destroy() = 0;                                                        // slot 1
  virtual void Execute(uint32_t elapsedMs) = 0;                                      // slot 2
  virtual void Realize(uint32_t arg) = 0;                                            // slot 3
  virtual void RealizeBlend(uint32_t arg) = 0;                                       // slot 4
  virtual void RealizePost(uint32_t arg) = 0;                                        // slot 5
  virtual int OnEvent(IEventArgs* args) = 0;                                         // slot 6
  virtual void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) = 0;  // slot 7
  virtual bool Slot8(uint32_t arg) = 0;                                              // slot 8
  virtual bool Slot9(uint32_t arg) = 0;                                              // slot 9
  virtual uint32_t Slot10(uint32_t arg) = 0;                                         // slot 10
  virtual ~IHostModel() = default;                                                   // slot 11
  // Fraction along the segment from -> to of the first hit; 1.0 or more: no hit.
  virtual float RayTest(const D3DVECTOR* from, const D3DVECTOR* to) = 0;  // slot 12
  // The name of the part the last RayTest hit.
  virtual const char* GetHitPartName() = 0;  // slot 14
  // The geometry record of a part (0: the model itself), or null.
  virtual HostModelGeometry* GetGeometry(int32_t part) = 0;  // slot 17
  // The model's animation, or null.
  virtual IAnimation* GetAnimation() = 0;  // slot 19
  virtual IAnimationController* GetAnimationController(int32_t index) = 0;  // slot 20

  D3DMATRIX transform{};
};

// A named scene effect object of the host, made by its class name (CSceneSystem slots 127-129).
// Slots 0-11 are those of a component; slot 12 switches the object on (1) and off (0).
class ISceneEffectObject {
 public:
  virtual void SetSwitch(int32_t on) = 0;  // slot 12

 protected:
  ~ISceneEffectObject() = default;
};
