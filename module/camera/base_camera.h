// The view of the scene. The table of the camera's own operations is complete and in its binding
// order. What the scene system relies on is real: the field of view, the eye and look-at points,
// the eye adjuster and the borrowed mouse-look points. The modes, input and camera actions come
// with the camera itself; until then those operations answer neutrally.
#pragma once
#include <cstdint>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"

class CSceneSystem;
class IAnimation;
class IRenderer;

// out = a x b for row-major 4 x 4 matrices, written element by element: out must be neither a
// nor b.
void Matrix4Multiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);

// A receiver of the camera's animation events.
using CameraEventCallback = void (*)(void* context, int32_t code, const char* text);

class CBaseCamera : public CComponentBase {
 public:
  CBaseCamera();
  ~CBaseCamera() override;
  bool Init() override;

  virtual void SetFieldOfView(float degrees);                                    // slot 12
  virtual float GetFieldOfView();                                                // slot 13
  virtual ComponentHandle* GetTargetHandle();                                    // slot 14
  virtual void GetViewMatrix(D3DXMATRIX* out);                                   // slot 15
  virtual void GetLookAt(D3DXVECTOR3* eye, D3DXVECTOR3* at);                     // slot 16
  virtual void EnterFreeFly();                                                   // slot 17
  virtual void EnterFirstPerson(int32_t unused);                                 // slot 18
  virtual void EnterOrbit(const ComponentHandle* object, float height, uint8_t resolve, uint8_t placeBehind);  // slot 19
  virtual void EnterAutoShots(const ComponentHandle* object, int32_t delayMs);   // slot 20
  virtual void EnterMouseLook();                                                 // slot 21
  virtual void SetViewMatrix(const D3DXMATRIX* view);                            // slot 22
  virtual void SetLookAt(const D3DXVECTOR3* eye, const D3DXVECTOR3* at);         // slot 23
  virtual void SetControllable(uint8_t controllable);                            // slot 24
  virtual void ApplyAnimatedCamera();                                            // slot 25
  virtual bool PlayAction(const char* file, const char* action);                 // slot 26
  virtual bool PlayActionSection(const char* section, uint8_t loop, uint8_t deferred);  // slot 27
  virtual void StopAction();                                                     // slot 28
  virtual int32_t GetMode();                                                     // slot 29
  // Keeps the scene whose IntersectSegment corrects the eye of the orbit.
  virtual void SetEyeAdjuster(CSceneSystem* scene);                              // slot 30
  virtual void AddEventCallback(CameraEventCallback callback, void* context);    // slot 31
  virtual void RemoveEventCallback(CameraEventCallback callback);                // slot 32
  virtual void SetNamedValue(uint32_t key, uint32_t value);                      // slot 33
  virtual void RemoveNamedValue(uint32_t key);                                   // slot 34
  virtual void SetAnimation(IAnimation* animation, const char* cameraNode);      // slot 35
  virtual int32_t StartTransition(const D3DXVECTOR3* eye, const D3DXVECTOR3* at, int32_t durationMs);  // slot 36
  virtual void SetOrbitOffsets(float side, float rise);                          // slot 37
  virtual void SetOrbitTarget(const D3DXVECTOR3* point);                         // slot 38
  virtual void SetYaw(float yaw);                                                // slot 39
  virtual void SetPitch(float pitch);                                            // slot 40
  // Keeps both pointers, never the points: they belong to the scene system.
  virtual void SetMouseLookPoints(const D3DXVECTOR3* eye, const D3DXVECTOR3* at);  // slot 41

  float fieldOfViewDeg = 51.481f;
  CSceneSystem* eyeAdjuster = nullptr;
  IRenderer* renderer = nullptr;
  D3DXVECTOR3 eye{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 lookAt{0.0f, 0.0f, 0.0f};
  int32_t mode = 1;
  ComponentHandle followed{};
  const D3DXVECTOR3* mouseLookEye = nullptr;
  const D3DXVECTOR3* mouseLookAt = nullptr;
};
