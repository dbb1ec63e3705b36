#include "camera/base_camera.h"

#include "frame/module_globals.h"
#include "frame/renderer.h"

void Matrix4Multiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      out->m[i][j] = 0.0f;
      for (int k = 0; k < 4; ++k) out->m[i][j] += a->m[i][k] * b->m[k][j];
    }
}

CBaseCamera::CBaseCamera() = default;
CBaseCamera::~CBaseCamera() = default;

bool CBaseCamera::Init() {
  SubscribeChannel("execute", 1);
  SubscribeChannel("realize", 1);
  SubscribeChannel("system_messages", 3);
  SubscribeChannel("LostDevice", 0);
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  return true;
}

void CBaseCamera::SetFieldOfView(float degrees) { fieldOfViewDeg = degrees; }
float CBaseCamera::GetFieldOfView() { return fieldOfViewDeg; }
ComponentHandle* CBaseCamera::GetTargetHandle() { return &followed; }

void CBaseCamera::GetViewMatrix(D3DXMATRIX* out) {
  if (renderer != nullptr && out != nullptr) renderer->GetTransform(D3DTS_VIEW, out);
}

void CBaseCamera::GetLookAt(D3DXVECTOR3* eyeOut, D3DXVECTOR3* atOut) {
  if (eyeOut != nullptr) *eyeOut = eye;
  if (atOut != nullptr) *atOut = lookAt;
}

void CBaseCamera::SetViewMatrix(const D3DXMATRIX* view) {
  if (renderer != nullptr && view != nullptr) renderer->SetTransform(D3DTS_VIEW, view);
}

void CBaseCamera::SetLookAt(const D3DXVECTOR3* eyePoint, const D3DXVECTOR3* at) {
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  if (renderer != nullptr) renderer->SetLookAt(eyePoint, at, &up);
  eye = *eyePoint;
  lookAt = *at;
}

int32_t CBaseCamera::GetMode() { return mode; }
void CBaseCamera::SetEyeAdjuster(CSceneSystem* scene) { eyeAdjuster = scene; }

void CBaseCamera::SetMouseLookPoints(const D3DXVECTOR3* eyePoint, const D3DXVECTOR3* at) {
  // Steering towards the points belongs to the mouse-look mode, which comes with the modes.
  mouseLookEye = eyePoint;
  mouseLookAt = at;
}

// The modes, input and camera actions answer neutrally until the camera's own work is built.
void CBaseCamera::EnterFreeFly() {}
void CBaseCamera::EnterFirstPerson(int32_t) {}
void CBaseCamera::EnterOrbit(const ComponentHandle*, float, uint8_t, uint8_t) {}
void CBaseCamera::EnterAutoShots(const ComponentHandle*, int32_t) {}
void CBaseCamera::EnterMouseLook() {}
void CBaseCamera::SetControllable(uint8_t) {}
void CBaseCamera::ApplyAnimatedCamera() {}
bool CBaseCamera::PlayAction(const char*, const char*) { return false; }
bool CBaseCamera::PlayActionSection(const char*, uint8_t, uint8_t) { return false; }
void CBaseCamera::StopAction() {}
void CBaseCamera::AddEventCallback(CameraEventCallback, void*) {}
void CBaseCamera::RemoveEventCallback(CameraEventCallback) {}
void CBaseCamera::SetNamedValue(uint32_t, uint32_t) {}
void CBaseCamera::RemoveNamedValue(uint32_t) {}
void CBaseCamera::SetAnimation(IAnimation*, const char*) {}
int32_t CBaseCamera::StartTransition(const D3DXVECTOR3*, const D3DXVECTOR3*, int32_t durationMs) { return durationMs; }
void CBaseCamera::SetOrbitOffsets(float, float) {}
void CBaseCamera::SetOrbitTarget(const D3DXVECTOR3*) {}
void CBaseCamera::SetYaw(float) {}
void CBaseCamera::SetPitch(float) {}
