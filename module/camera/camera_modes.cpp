// The per-tick movement of the camera: the dispatch, the timed transition, the six steered
// modes and the automatic shots.
#include <cmath>

#include "camera/base_camera.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "math/random.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
const D3DXVECTOR3 kUp(0.0f, 1.0f, 0.0f);

// Heading, elevation and length of d, all 0 for the zero vector.
void Spherical(const D3DXVECTOR3& d, float* heading, float* elevation, float* radius) {
  *radius = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  if (d.x == 0.0f && d.y == 0.0f && d.z == 0.0f) {
    *heading = *elevation = 0.0f;
    return;
  }
  *heading = CameraHeading(d);
  *elevation = std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z));
}

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool LeftButtonHeld() {
  return GetForegroundWindow() == g_pHost->GetWindowHandle() && GetAsyncKeyState(VK_LBUTTON) < 0;
}
}  // namespace

void CBaseCamera::Execute(uint32_t elapsedMs) {
  if (controllable != 0) {
    switch (mode) {
      case kCameraFreeFly: UpdateFreeFly(elapsedMs); break;
      case kCameraFirstPerson: UpdateFirstPerson(); break;
      case kCameraOrbit: UpdateOrbit(elapsedMs); break;
      case kCameraAutoShots: UpdateAutoShots(elapsedMs); break;
      case kCameraAction:
        UpdateActionTimer(elapsedMs);
        UpdatePathPlayback(elapsedMs);
        break;
      case kCameraMouseLook: UpdateMouseLook(elapsedMs); break;
      case kCameraTargetOrbit: UpdateTargetOrbit(elapsedMs); break;
      default: break;
    }
  } else if (transitionRemaining > 0) {
    UpdateTransition(transitionLookAt, elapsedMs);
  }
  if (transitionRemaining > 0) transitionRemaining -= static_cast<int32_t>(elapsedMs);
}

void CBaseCamera::UpdateTransition(const D3DXVECTOR3& centre, uint32_t elapsedMs) {
  D3DXVECTOR3 e, a;
  GetLookAt(&e, &a);
  float yaw1, pitch1, r1, yaw2, pitch2, r2;
  Spherical(e - centre, &yaw1, &pitch1, &r1);
  Spherical(transitionEye - transitionLookAt, &yaw2, &pitch2, &r2);
  while (yaw2 - yaw1 > kPi) yaw2 -= kTwoPi;
  while (yaw1 - yaw2 > kPi) yaw1 -= kTwoPi;
  const float t = static_cast<float>(transitionRemaining);
  const float el = static_cast<float>(elapsedMs);
  const float s = t + el;
  if (s == 0.0f) return;
  yaw = (t * yaw1 + el * yaw2) / s;
  pitch = (t * pitch1 + el * pitch2) / s;
  const float r = (t * r1 + el * r2) / s;
  distance = r;
  const D3DXVECTOR3 newEye = centre + r * D3DXVECTOR3(std::cos(pitch) * std::cos(yaw), std::sin(pitch),
                                                      std::sin(yaw) * std::cos(pitch));
  SetLookAt(&newEye, &centre);
}

void CBaseCamera::EndSteeredTick(const D3DXVECTOR3& forward, bool recentre, int32_t readingX, int32_t readingY) {
  const D3DXVECTOR3 at = eye + forward;
  if (renderer != nullptr) renderer->SetLookAt(&eye, &at, &kUp);
  if (recentre) {
    SetCursorPos(centreX, centreY);
    mouseX = readingX;
    mouseY = readingY;
  }
  wheelTarget = 0;
  distance = 0.0f;
  strafe = 0.0f;
}

void CBaseCamera::UpdateFreeFly(uint32_t elapsedMs) {
  const float e = static_cast<float>(elapsedMs);
  const float k = e * 0.0001f;
  const bool held = LeftButtonHeld();
  float dYaw = 0.0f, dPitch = 0.0f;
  // WM_MOUSEMOVE reports client coordinates: the turn is measured from the client centre.
  if (held && g_cameraShots.freeFlyButtonWasDown) {
    dYaw = static_cast<float>(mouseX - clientCentreX) * k;
    dPitch = static_cast<float>(mouseY - clientCentreY) * k;
  }
  g_cameraShots.freeFlyButtonWasDown = held ? 1 : 0;
  if (!keyA && !keyD && !keyW && !keyS && std::fabs(dPitch) <= 0.001f && std::fabs(dYaw) <= 0.001f) return;
  const float m = e * 0.01f;
  if (keyA) strafe -= m;
  if (keyD) strafe += m;
  if (keyW) distance += m;
  if (keyS) distance -= m;
  yaw += dYaw;
  pitch = Clamp(pitch + dPitch, -1.57f, 1.57f);
  distance += static_cast<float>(wheelTarget) * 0.004166667f;
  D3DXMATRIX rotation;
  BuildCameraMatrix(&rotation, pitch, yaw, 0.0f, 0.0f, 0.0f, 0.0f);
  const D3DXVECTOR3 forward(rotation._31, rotation._32, rotation._33), right(rotation._11, rotation._12, rotation._13);
  eye += forward * distance + right * strafe;
  EndSteeredTick(forward, held, clientCentreX, clientCentreY);
}

void CBaseCamera::UpdateFirstPerson() {
  D3DXVECTOR3 position(0.0f, 0.0f, 0.0f);
  float objectYaw = 0.0f;
  if (!FollowedPosition(&position, &objectYaw)) {
    position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    objectYaw = 0.0f;
  }
  const D3DXVECTOR3 newEye = position + D3DXVECTOR3(0.0f, 1.5f, 0.0f);
  const D3DXVECTOR3 at = newEye + D3DXVECTOR3(std::sin(objectYaw), 0.0f, std::cos(objectYaw));
  // Stored, so that the scene's mirror test and sort keys see the eye of this mode too.
  SetLookAt(&newEye, &at);
}

D3DXVECTOR3 CBaseCamera::OrbitDirection(uint32_t elapsedMs) {
  const float e = static_cast<float>(elapsedMs) * 0.001f;
  if (dragging && backBufferWidth > 0) {
    const float perPixel = kTwoPi / static_cast<float>(backBufferWidth);
    yaw = dragYaw - static_cast<float>(mouseX - dragStartX) * perPixel;
    pitch = dragPitch + static_cast<float>(mouseY - dragStartY) * perPixel;
  }
  if (wheelProgress != wheelTarget || zoomKeyHeld) {
    const int32_t step = static_cast<int32_t>(static_cast<float>(elapsedMs) * 0.5f);
    if (zoomIn) {
      if (!zoomKeyHeld) wheelProgress = std::min(wheelProgress + step, wheelTarget);
      distance -= e * speed;
    } else {
      if (!zoomKeyHeld) wheelProgress = std::max(wheelProgress - step, wheelTarget);
      distance += e * speed;
    }
  }
  pitch = Clamp(pitch, minPitch, maxPitch);
  const float c = std::fabs(std::cos(pitch));
  D3DXVECTOR3 n(std::cos(yaw) * c, std::sin(pitch), std::sin(yaw) * c);
  D3DXVec3Normalize(&n, &n);
  distance = Clamp(distance, minDistance, maxDistance);
  return n;
}

void CBaseCamera::UpdateOrbit(uint32_t elapsedMs) {
  if (transitionRemaining > 0) {
    UpdateTransition(transitionLookAt, elapsedMs);
    return;
  }
  // Drag and zoom come before the object is read, as the limits come after.
  float objectYaw = 0.0f;
  const D3DXVECTOR3 n = OrbitDirection(elapsedMs);
  // An object that no longer resolves keeps its last position as the base: the raise is added
  // to that base once, not to the raised point of the tick before.
  FollowedPosition(&orbitBase, &objectYaw);
  lookAt = orbitBase;
  lookAt.y += orbitLookAtRise + orbitHeight;
  eye = lookAt + distance * n;
  if (std::fabs(n.x) <= 0.001f && std::fabs(n.z) <= 0.001f) return;
  if (std::fabs(orbitSideOffset) <= 0.0001f) {
    AdjustEye(eye, lookAt, &eye);
    if (renderer != nullptr) renderer->SetLookAt(&eye, &lookAt, &kUp);
    return;
  }
  // Over the shoulder: the view is shifted sideways; the stored eye and look-at stay centred.
  const float dx = lookAt.x - eye.x, dz = lookAt.z - eye.z;
  const float h = std::sqrt(dx * dx + dz * dz);
  const float nx = dx / h, nz = dz / h;
  const float s = orbitSideOffset;
  D3DXVECTOR3 p(eye.x + nz * s * h, eye.y + 0.1f, eye.z - nx * s * h);
  auto horizontal = [&](const D3DXVECTOR3& q) {
    return std::sqrt((lookAt.x - q.x) * (lookAt.x - q.x) + (lookAt.z - q.z) * (lookAt.z - q.z));
  };
  const float h1 = horizontal(p);
  AdjustEye(p, lookAt, &p);
  const float h2 = horizontal(p);
  const float s2 = h1 > 0.0f ? s * h2 / h1 : s;
  const D3DXVECTOR3 q(lookAt.x + nz * s2 * h, lookAt.y + 0.1f, lookAt.z - nx * s2 * h);
  if (renderer != nullptr) renderer->SetLookAt(&p, &q, &kUp);
}

void CBaseCamera::UpdateTargetOrbit(uint32_t elapsedMs) {
  if (transitionRemaining > 0) {
    UpdateTransition(transitionLookAt, elapsedMs);
    return;
  }
  const D3DXVECTOR3 n = OrbitDirection(elapsedMs);
  eye = orbitTarget + distance * n;
  if (std::fabs(n.x) > 0.001f || std::fabs(n.z) > 0.001f) {
    AdjustEye(eye, orbitTarget, &eye);
    if (renderer != nullptr) renderer->SetLookAt(&eye, &orbitTarget, &kUp);
  }
}

void CBaseCamera::UpdateMouseLook(uint32_t elapsedMs) {
  POINT cursor{mouseX, mouseY};
  if (GetCursorPos(&cursor)) {
    mouseX = cursor.x;
    mouseY = cursor.y;
  }
  float dYaw = 0.0f, dPitch = 0.0f;
  if (mouseLookActive) {
    dPitch = static_cast<float>(mouseY - centreY) * 0.002f;
    dYaw = static_cast<float>(mouseX - centreX) * 0.002f;
  }
  const float m = static_cast<float>(elapsedMs) * 0.006f;
  float rise = 0.0f;
  if (keyA) strafe -= m;
  if (keyD) strafe += m;
  if (keyW) distance += m;
  if (keyS) distance -= m;
  if (keyE) rise = m;
  if (keyC) rise -= m;
  yaw += dYaw;
  pitch = Clamp(pitch + dPitch, -1.57f, 1.57f);
  const D3DXVECTOR3 old = eye;
  D3DXMATRIX rotation;
  BuildCameraMatrix(&rotation, pitch, yaw, 0.0f, 0.0f, 0.0f, 0.0f);
  const D3DXVECTOR3 forward(rotation._31, rotation._32, rotation._33), right(rotation._11, rotation._12, rotation._13);
  eye += forward * distance + right * strafe + D3DXVECTOR3(0.0f, rise, 0.0f);
  D3DXVECTOR3 hit;
  if ((eye.x != old.x || eye.y != old.y || eye.z != old.z) && AdjustEye(eye, old, &hit)) eye = old;
  EndSteeredTick(forward, mouseLookActive != 0, centreX, centreY);
}

// ---- Automatic shots -----------------------------------------------------------------------------

void CBaseCamera::UpdateAutoShots(uint32_t elapsedMs) {
  CameraShotState& g = g_cameraShots;
  const float e = static_cast<float>(elapsedMs);
  if (autoShotDelay > 0) {
    autoShotDelay -= static_cast<int32_t>(elapsedMs);
    g.autoShotStartPending = 1;
    return;
  }
  if (g.autoShotStartPending) {
    StartAutoShots();
    g.autoShotStartPending = 0;
  }
  if (autoShotPause) {
    g.autoShotPauseTimer += static_cast<int32_t>(elapsedMs);
    if (g.autoShotPauseTimer <= 5000) return;
    g.autoShotPauseTimer = 0;
    autoShotPause = 0;
  }
  if (g.autoShotCount > 5) {
    g.autoShotCount = 0;
    autoShotPause = 1;
    g.autoShotRounds += 1;
    return;
  }
  if (shotRemaining <= 0.0f) {
    PickRandomShot();
    g.autoShotCount += 1;
    return;
  }
  if (g.autoShotRounds < 3) {
    const float step = e * 0.0007f;
    const float before = shotRemaining;
    shotRemaining -= step;
    eye += shotDirection * (shotRemaining < 0.0f ? before : step);
  } else {
    eye = shotTarget;
    shotDirection = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    shotRemaining = 0.0f;
    g.autoShotRounds = 0;
  }
  if (renderer != nullptr) renderer->SetLookAt(&eye, &lookAt, &kUp);
}

void CBaseCamera::StartAutoShots() {
  if (FollowedPosition(&lookAt, &followedYaw)) {
    lookAt.y += 1.5f;
    eye = lookAt + 6.0f * D3DXVECTOR3(std::sin(followedYaw), 0.0f, std::cos(followedYaw));
    shotTarget = eye;
    if (renderer != nullptr) renderer->SetLookAt(&eye, &lookAt, &kUp);
  }
  BuildShotPoints();
}

void CBaseCamera::BuildShotPoints() {
  const float elevations[3] = {0.0f, 0.87266463f, -0.61086524f};
  const float spread = g_cameraShots.shotSpread;
  const float directions[3] = {followedYaw, followedYaw - spread, followedYaw + spread};
  for (int k = 0; k < 3; ++k) {
    const float radius = 4.0f + 3.0f * static_cast<float>(k);
    for (int ei = 0; ei < 3; ++ei) {
      const float c = std::fabs(std::cos(elevations[ei]));
      const float s = std::sin(elevations[ei]);
      for (int di = 0; di < 3; ++di) {
        const float a = directions[di];
        shotPoints[9 * k + 3 * ei + di] =
            lookAt + D3DXVECTOR3(std::sin(a) * radius * c, s, std::cos(a) * radius * c);
      }
    }
  }
}

void CBaseCamera::PickRandomShot() {
  CameraShotState& g = g_cameraShots;
  for (int i = 0; i < 27; ++i) g.shotOrder[i] = i;
  int n = 26;
  if (g.lastShotIndex > -1 && g.lastShotIndex < 27) {
    g.shotOrder[g.lastShotIndex] = 26;
    n = 25;
  }
  while (n >= 0) {
    int r = static_cast<int>(RandomFloat(static_cast<float>(n)));
    if (r > n) r = n;
    shotTarget = shotPoints[g.shotOrder[r]];
    const D3DXVECTOR3 d = shotTarget - eye;
    const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
    shotRemaining = d2;
    if (d2 <= 12.0f) {
      g.shotOrder[r] = g.shotOrder[n];
      n -= 1;
      continue;
    }
    const float length = std::sqrt(d2);
    shotRemaining = length;
    shotDirection = d / length;
    g.lastShotIndex = g.shotOrder[r];
    return;
  }
}
