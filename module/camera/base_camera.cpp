#include "camera/base_camera.h"

#include <algorithm>
#include <cmath>

#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kDegree = 0.017453292f;
constexpr float kFreeFlyFov = 1.3089969f;
constexpr float kAutoShotFov = 0.8985130f;
constexpr int32_t kGameWheelQuery = 90809;
}  // namespace

// ---- Small vector functions ------------------------------------------------------------------

void Matrix4Multiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      out->m[i][j] = 0.0f;
      for (int k = 0; k < 4; ++k) out->m[i][j] += a->m[i][k] * b->m[k][j];
    }
}

float Vec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

D3DXVECTOR3* MakeVector3(D3DXVECTOR3* out, float x, float y, float z) {
  out->x = x;
  out->y = y;
  out->z = z;
  return out;
}

void BuildCameraMatrix(D3DXMATRIX* out, float pitch, float yaw, float roll, float tx, float ty, float tz) {
  const float sp = std::sin(pitch), cp = std::cos(pitch);
  const float sy = std::sin(yaw), cy = std::cos(yaw);
  const float sr = std::sin(roll), cr = std::cos(roll);
  *out = D3DXMATRIX(sr * sy * sp + cr * cy, sr * cp, cy * sr * sp - cr * sy, 0.0f,  //
                    cr * sy * sp - cy * sr, cr * cp, cr * cy * sp + sr * sy, 0.0f,  //
                    sy * cp, -sp, cy * cp, 0.0f,                                    //
                    tx, ty, tz, 1.0f);
}

float CameraHeading(const D3DXVECTOR3& d) {
  if (d.x > -1e-6f && d.x < 1e-6f) return d.z > 0.0f ? 0.5f * kPi : -0.5f * kPi;
  const float h = std::atan(d.z / d.x);
  return d.x <= 0.0f ? h + kPi : h;
}

// ---- The component -----------------------------------------------------------------------------

CameraShotState g_cameraShots;

CBaseCamera::CBaseCamera() {
  D3DXMatrixIdentity(&actionBase);
  D3DXMatrixIdentity(&actionView);
}

CBaseCamera::~CBaseCamera() {
  try {
    CBaseCamera::Destroy();
  } catch (...) {
  }
}

bool CBaseCamera::Init() {
  SubscribeChannel("execute", 1);
  SubscribeChannel("realize", 1);
  SubscribeChannel("system_messages", 3);
  SubscribeChannel("LostDevice", 0);
  mouseX = mouseY = 0;
  wheelTarget = wheelProgress = 0;
  dragging = 0;
  dragStartX = dragStartY = 0;
  yaw = kPi;
  pitch = 0.0f;
  eye = lookAt = shotDirection = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  shotRemaining = 0.0f;
  mode = kCameraFreeFly;
  pendingMode = 0;
  followed = ComponentHandle{};
  distance = 5.0f;
  strafe = 0.0f;
  controllable = 0;
  speed = 3.0f;
  autoShotPause = 0;
  minDistance = 1.0f;
  maxDistance = 6.0f;
  maxPitch = 1.0471976f;
  minPitch = -1.0471976f;
  keyA = keyS = keyD = keyW = keyE = keyC = 0;
  autoShotDelay = 0;
  zoomKeyHeld = 0;
  D3DXMatrixIdentity(&actionBase);
  stepCountdown = 0;
  actionSpeed = 1.0f;
  currentAction = -1;
  orbitHeight = 0.0f;
  applyCameraNode = 0;
  D3DXMatrixIdentity(&actionView);
  mouseLookActive = 0;
  dragYaw = kPi;
  dragPitch = 0.0f;
  orbitSideOffset = orbitLookAtRise = 0.0f;
  renderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  // Without the renderer the camera has nowhere to put its view: every operation that needs
  // it does nothing.
  if (renderer == nullptr) return false;
  MeasureScreen();
  return true;
}

void CBaseCamera::MeasureScreen() {
  if (renderer == nullptr) return;
  const RendererSize* size = renderer->GetBackBufferSize();
  if (size == nullptr) return;
  backBufferWidth = static_cast<int32_t>(size->width);
  backBufferHeight = static_cast<int32_t>(size->height);
  clientCentreX = centreX = backBufferWidth / 2;
  clientCentreY = centreY = backBufferHeight / 2;
  if (backBufferWidth != GetSystemMetrics(SM_CXSCREEN) || backBufferHeight != GetSystemMetrics(SM_CYSCREEN)) {
    POINT p{centreX, centreY};
    if (ClientToScreen(g_pHost->GetWindowHandle(), &p)) {
      centreX = p.x;
      centreY = p.y;
    }
  }
}

void CBaseCamera::Destroy() {
  for (CameraActionRecord& record : actions)
    if (record.animation != nullptr) record.animation->Release();
  actions.clear();
  currentAction = -1;
  ReleaseDirectAnimation();
}

void CBaseCamera::Realize(uint32_t) {
  if (pendingMode != 0) {
    controllable = 1;
    mode = pendingMode;
    pendingMode = 0;
  }
}

int CBaseCamera::OnEvent(IEventArgs* args) {
  if (args == nullptr || args->ReadInt() != kEventDeviceReset || renderer == nullptr) return 0;
  MeasureScreen();
  // A reset that reports no width or height leaves the projection as it was: its aspect would
  // be no number.
  if (backBufferWidth <= 0 || backBufferHeight <= 0) return 0;
  D3DMATRIX projection{};
  renderer->GetTransform(D3DTS_PROJECTION, &projection);
  projection.m[0][0] = projection.m[1][1] * static_cast<float>(backBufferHeight) / static_cast<float>(backBufferWidth);
  renderer->SetTransform(D3DTS_PROJECTION, &projection);
  return 0;
}

void CBaseCamera::SetProjection(float fovY) {
  if (renderer == nullptr) return;
  const float aspect = backBufferHeight > 0 ? static_cast<float>(backBufferWidth) / static_cast<float>(backBufferHeight) : 1.0f;
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, fovY, aspect, 0.1f, 3000.0f);
  renderer->SetTransform(D3DTS_PROJECTION, &projection);
}

// ---- Input ---------------------------------------------------------------------------------------

namespace {
uint8_t* KeyFlag(CBaseCamera* c, uint32_t key) {
  switch (key) {
    case 'A': return &c->keyA;
    case 'S': return &c->keyS;
    case 'D': return &c->keyD;
    case 'W': return &c->keyW;
    case 'E': return &c->keyE;
    case 'C': return &c->keyC;
    default: return nullptr;
  }
}
}  // namespace

// Releases are handled whatever the state, so that nothing stays held (a key, the capture, a
// hidden cursor) when control comes back.
void CBaseCamera::HandleLockedInput(uint32_t message, uint32_t wParam) {
  if (message == WM_KEYUP) {
    if (wParam == static_cast<uint32_t>(VK_CONTROL)) speed = 3.0f;
    if (uint8_t* flag = KeyFlag(this, wParam)) *flag = 0;
    if (wParam == static_cast<uint32_t>(VK_ADD) || wParam == static_cast<uint32_t>(VK_SUBTRACT)) zoomKeyHeld = 0;
  } else if (message == WM_RBUTTONUP) {
    ReleaseCapture();
    dragging = 0;
    mouseLookActive = 0;
    if (cursorHidden) {
      if (renderer != nullptr)
        if (IDirect3DDevice8* device = renderer->GetDevice()) device->ShowCursor(TRUE);
      cursorHidden = 0;
    }
  }
}

void CBaseCamera::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
  if (message == WM_KEYUP || message == WM_RBUTTONUP) {
    HandleLockedInput(message, wParam);
    return;
  }
  if (mode == kCameraAutoShots || controllable == 0) return;
  const int32_t lowWord = static_cast<int32_t>(lParam & 0xFFFFu);
  const int32_t highWord = static_cast<int32_t>((lParam >> 16) & 0xFFFFu);
  switch (message) {
    case WM_MOUSEMOVE:
      mouseX = lowWord;
      mouseY = highWord;
      break;
    case WM_KEYDOWN:
      if (wParam == static_cast<uint32_t>(VK_CONTROL)) speed = 9.0f;
      if (uint8_t* flag = KeyFlag(this, wParam)) *flag = 1;
      if (wParam == static_cast<uint32_t>(VK_ADD)) zoomIn = 1, zoomKeyHeld = 1;
      if (wParam == static_cast<uint32_t>(VK_SUBTRACT)) zoomIn = 0, zoomKeyHeld = 1;
      break;
    case WM_RBUTTONDOWN: {
      HWND window = g_pHost->GetWindowHandle();
      SetCapture(window);
      dragStartX = lowWord;
      dragStartY = highWord;
      dragging = 1;
      if (mode == kCameraOrbit || mode == kCameraTargetOrbit) {
        dragYaw = yaw;
        dragPitch = pitch;
      }
      if (mode == kCameraMouseLook && GetForegroundWindow() == window) {
        SetCursorPos(centreX, centreY);
        mouseX = centreX;
        mouseY = centreY;
        if (!cursorHidden && renderer != nullptr)
          if (IDirect3DDevice8* device = renderer->GetDevice()) {
            device->ShowCursor(FALSE);
            cursorHidden = 1;
          }
        mouseLookActive = 1;
      }
      if (mode == kCameraOrbit || mode == kCameraMouseLook || mode == kCameraTargetOrbit) transitionRemaining = 0;
      break;
    }
    case WM_MOUSEWHEEL: {
      ComponentHandle game{};
      if (g_pHost->FindObject(&game, "Game", 0)) {
        uint8_t taken = 0;
        g_pHost->SendMessage(game, "lp", kGameWheelQuery, static_cast<void*>(&taken));
        if (taken != 0) break;
      }
      wheelTarget = static_cast<int16_t>((wParam >> 16) & 0xFFFFu);
      zoomIn = wheelTarget > 0 ? 1 : 0;
      wheelProgress = 0;
      if (mode == kCameraOrbit || mode == kCameraTargetOrbit) transitionRemaining = 0;
      break;
    }
    default:
      break;
  }
}

// ---- Camera operations -------------------------------------------------------------------------

void CBaseCamera::SetFieldOfView(float degrees) { fieldOfViewDeg = degrees; }
float CBaseCamera::GetFieldOfView() { return fieldOfViewDeg; }
ComponentHandle* CBaseCamera::GetTargetHandle() { return &followed; }

void CBaseCamera::GetViewMatrix(D3DXMATRIX* out) {
  if (renderer != nullptr && out != nullptr) renderer->GetTransform(D3DTS_VIEW, out);
}

void CBaseCamera::SetViewMatrix(const D3DXMATRIX* view) {
  if (renderer != nullptr && view != nullptr) renderer->SetTransform(D3DTS_VIEW, view);
}

void CBaseCamera::GetLookAt(D3DXVECTOR3* eyeOut, D3DXVECTOR3* atOut) {
  if (eyeOut != nullptr) *eyeOut = eye;
  if (atOut != nullptr) *atOut = lookAt;
}

void CBaseCamera::SetLookAt(const D3DXVECTOR3* eyePoint, const D3DXVECTOR3* at) {
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  if (renderer != nullptr) renderer->SetLookAt(eyePoint, at, &up);
  eye = *eyePoint;
  lookAt = *at;
}

void CBaseCamera::Enter(int32_t newMode) {
  mode = newMode;
  controllable = 1;
  strafe = 0.0f;
}

void CBaseCamera::EnterFreeFly() {
  Enter(kCameraFreeFly);
  // The forward move is of the current tick only: a distance left from the orbit would throw
  // the eye on the first move.
  distance = 0.0f;
  SetProjection(kFreeFlyFov);
}

void CBaseCamera::EnterFirstPerson(int32_t) { Enter(kCameraFirstPerson); }

bool CBaseCamera::FollowedPosition(D3DXVECTOR3* position, float* objectYaw) {
  auto* object = static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(g_pHost->GetObject(&followed)));
  if (object == nullptr) return false;
  D3DXVECTOR3 p = *position;
  float y = *objectYaw;
  object->GetPosition(&p, &y);
  *position = p;
  *objectYaw = y;
  return true;
}

void CBaseCamera::EnterOrbit(const ComponentHandle* object, float height, uint8_t resolve, uint8_t placeBehind) {
  Enter(kCameraOrbit);
  SetProjection(fieldOfViewDeg * kDegree);
  if (object != nullptr) followed = *object;
  orbitHeight = height;
  float objectYaw = yaw;
  if (resolve && FollowedPosition(&lookAt, &objectYaw) && placeBehind) {
    yaw = -objectYaw - kHalfPi;
    pitch = 0.34906587f;
  }
  orbitBase = lookAt;
}

void CBaseCamera::EnterAutoShots(const ComponentHandle* object, int32_t delayMs) {
  Enter(kCameraAutoShots);
  autoShotDelay = delayMs;
  // With no delay to count down the shots start on the first tick, not from points never set.
  if (delayMs <= 0) g_cameraShots.autoShotStartPending = 1;
  SetProjection(kAutoShotFov);
  if (object != nullptr) followed = *object;
}

void CBaseCamera::FaceMouseLookPoints() {
  eye = *mouseLookEye;
  const D3DXVECTOR3 d = *mouseLookAt - eye;
  // The angles BuildCameraMatrix turns back into a forward along d.
  const float horizontal = std::sqrt(d.x * d.x + d.z * d.z);
  yaw = horizontal > 0.0f ? std::atan2(d.x, d.z) : 0.0f;
  pitch = -std::atan2(d.y, horizontal);
}

namespace {
bool Differ(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return a->x != b->x || a->y != b->y || a->z != b->z; }
}  // namespace

void CBaseCamera::EnterMouseLook() {
  Enter(kCameraMouseLook);
  distance = 0.0f;
  SetProjection(kFreeFlyFov);
  SetCursorPos(centreX, centreY);
  if (mouseLookEye != nullptr && mouseLookAt != nullptr && Differ(mouseLookEye, mouseLookAt)) FaceMouseLookPoints();
}

void CBaseCamera::SetMouseLookPoints(const D3DXVECTOR3* eyePoint, const D3DXVECTOR3* at) {
  mouseLookEye = eyePoint;
  mouseLookAt = at;
  if (mode == kCameraMouseLook && eyePoint != nullptr && at != nullptr && Differ(eyePoint, at)) FaceMouseLookPoints();
}

void CBaseCamera::SetControllable(uint8_t on) { controllable = on != 0 ? 1 : 0; }
int32_t CBaseCamera::GetMode() { return mode; }
void CBaseCamera::SetEyeAdjuster(ISceneSystem* scene) { eyeAdjuster = scene; }

bool CBaseCamera::AdjustEye(const D3DXVECTOR3& from, const D3DXVECTOR3& towards, D3DXVECTOR3* out) {
  if (eyeAdjuster == nullptr) return false;
  // The out point is often the start point itself: the adjuster gets copies to read.
  const D3DXVECTOR3 a = from, b = towards;
  D3DXVECTOR3 hit = *out;
  if (!eyeAdjuster->IntersectSegment(&a, &b, &hit)) return false;
  *out = hit;
  return true;
}

void CBaseCamera::SetNamedValue(uint32_t key, uint32_t value) { SetCameraPair(&namedValues, key, value); }
void CBaseCamera::RemoveNamedValue(uint32_t key) { RemoveCameraPair(&namedValues, key); }

int32_t CBaseCamera::StartTransition(const D3DXVECTOR3* eyePoint, const D3DXVECTOR3* at, int32_t durationMs) {
  transitionEye = *eyePoint;
  transitionLookAt = *at;
  transitionRemaining = durationMs;
  return durationMs;
}

void CBaseCamera::SetOrbitOffsets(float side, float rise) {
  orbitSideOffset = side;
  orbitLookAtRise = rise;
}

void CBaseCamera::SetOrbitTarget(const D3DXVECTOR3* point) {
  strafe = 0.0f;
  mode = kCameraTargetOrbit;
  controllable = 1;
  orbitTarget = *point;
}

void CBaseCamera::SetYaw(float value) { yaw = value; }
void CBaseCamera::SetPitch(float value) { pitch = value; }
