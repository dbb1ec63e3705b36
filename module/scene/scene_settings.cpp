// Device-wide settings of the scene (fog render states, the display's gamma ramp), the named
// scene effect objects, the projector receivers and the lookups scene objects make.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "scene/scene_class_objects.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {
// Fog render states as the modes of the scene file set them: table mode, then vertex mode.
constexpr DWORD kFogTableModes[7] = {0, 0, 0, 1, 2, 0, 3};
constexpr DWORD kFogVertexModes[7] = {0, 1, 2, 0, 0, 3, 0};

DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
}  // namespace

CLightingSystem* CSceneSystem::GetLightingSystem() { return lighting; }

void CSceneSystem::SetFogMode(int32_t mode) {
  fogMode = mode;
  const auto index = static_cast<uint32_t>(mode);
  if (index > 6 || g_pSceneRenderer == nullptr) return;
  g_pSceneRenderer->SetRenderState(D3DRS_FOGTABLEMODE, kFogTableModes[index]);
  g_pSceneRenderer->SetRenderState(D3DRS_FOGVERTEXMODE, kFogVertexModes[index]);
}

void CSceneSystem::SetFogParams(uint32_t colour, float density, float start, float end) {
  fogColor = colour;
  fogDensity = density;
  fogStart = start;
  fogEnd = end;
  if (g_pSceneRenderer == nullptr) return;
  g_pSceneRenderer->SetRenderState(D3DRS_FOGCOLOR, colour);
  g_pSceneRenderer->SetRenderState(D3DRS_FOGDENSITY, FloatBits(density));
  g_pSceneRenderer->SetRenderState(D3DRS_FOGSTART, FloatBits(start));
  g_pSceneRenderer->SetRenderState(D3DRS_FOGEND, FloatBits(end));
}

float CSceneSystem::SetGamma(float value) {
  // 1/0 would black the screen and a NaN truncates to nothing defined: such a gamma leaves the
  // ramp and the stored value as they are.
  if (!std::isfinite(value) || value <= 0.0f) return gamma;
  WORD ramp[3][256];
  const double exponent = 1.0 / static_cast<double>(value);
  for (int i = 0; i < 256; ++i) {
    double v = std::pow(i * 0.003921569, exponent) * 255.0;
    v = std::clamp(v, 0.0, 255.0);
    const int hi = static_cast<int>(v);
    const int lo = static_cast<int>((v - hi) * 256.0);
    const WORD entry = static_cast<WORD>(hi * 256 + lo);
    ramp[0][i] = ramp[1][i] = ramp[2][i] = entry;
  }
  HDC dc = GetWindowDC(g_pHost->GetWindowHandle());
  SetDeviceGammaRamp(dc, ramp);
  ReleaseDC(g_pHost->GetWindowHandle(), dc);
  gamma = value;
  return gamma;
}

float CSceneSystem::GetGamma() { return gamma; }

bool CSceneSystem::GetOrCreateNamedObject(const char* name) {
  if (name == nullptr) return false;
  auto it = namedObjects.find(name);
  if (it == namedObjects.end()) {
    ComponentHandle handle{};
    if (!MakeSceneClassObject(&handle, name)) return false;
    it = namedObjects.emplace(name, handle).first;
  }
  return SwitchSceneClassObject(it->second, 1);
}

void CSceneSystem::ReleaseNamedObject(const char* name) {
  if (name == nullptr) return;
  auto it = namedObjects.find(name);
  if (it == namedObjects.end()) return;
  if (SwitchSceneClassObject(it->second, 0)) g_pHost->DestroyObject(it->second);
  namedObjects.erase(it);
}

void CSceneSystem::ReleaseAllNamedObjects() {
  for (const auto& [name, handle] : namedObjects) {
    if (SwitchSceneClassObject(handle, 0)) g_pHost->DestroyObject(handle);
  }
  namedObjects.clear();
}

bool CSceneSystem::AddProjectorReceiver(CSceneBaseObj* object) {
  if (std::find(projectorReceivers.begin(), projectorReceivers.end(), object) == projectorReceivers.end())
    projectorReceivers.push_back(object);
  return true;
}

bool CSceneSystem::RemoveProjectorReceiver(CSceneBaseObj* object) {
  auto it = std::find(projectorReceivers.begin(), projectorReceivers.end(), object);
  if (it != projectorReceivers.end()) {
    *it = projectorReceivers.back();
    projectorReceivers.pop_back();
  }
  return true;
}

float CSceneSystem::GetAdjustHeight(const char* name) {
  if (name == nullptr) return 0.0f;
  auto it = adjustHeights.find(name);
  return it != adjustHeights.end() ? it->second : 0.0f;
}
