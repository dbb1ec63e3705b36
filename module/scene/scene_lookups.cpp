// Lookups in the tables scene loading fills (vis states, the screen of the main scene file),
// commands to the host's "ActiveEffect" object, and the model, projector and texture filter
// options. Null outputs are left alone; indices outside a table answer null or 0.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

namespace {

constexpr int32_t kEffectCreate = 600000;     // "lscciffls": name, position, direction, owner, 1.0, 1.0, 1, text
constexpr int32_t kEffectSetMatrix = 600001;  // "llp": effect id, matrix
constexpr size_t kMaxCommandText = 255;
constexpr size_t kMaxCommandNames = 16;

// The names of a command list: at most 255 characters of it, split on ';' into at most 16
// non-empty names, further names dropped.
std::vector<std::string> CommandNames(const char* names) {
  std::string text(names, strnlen(names, kMaxCommandText));
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size() && out.size() < kMaxCommandNames) {
    const size_t end = text.find(';', at);
    const size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > at) out.push_back(text.substr(at, stop - at));
    at = stop + 1;
  }
  return out;
}

// The frame an effect is turned by: angles (a, b, c) about x, y and z, then the position.
D3DXMATRIX EffectFrame(const D3DXVECTOR3& position, const D3DXVECTOR3& angles) {
  const float sa = std::sin(angles.x), ca = std::cos(angles.x);
  const float sb = std::sin(angles.y), cb = std::cos(angles.y);
  const float sc = std::sin(angles.z), cc = std::cos(angles.z);
  D3DXMATRIX m;
  m.m[0][0] = cc * cb;
  m.m[0][1] = sc * cb;
  m.m[0][2] = -sb;
  m.m[0][3] = 0.0f;
  m.m[1][0] = sa * sb * cc - sc * ca;
  m.m[1][1] = sa * sb * sc + cc * ca;
  m.m[1][2] = sa * cb;
  m.m[1][3] = 0.0f;
  m.m[2][0] = ca * sb * cc + sc * sa;
  m.m[2][1] = ca * sb * sc - cc * sa;
  m.m[2][2] = ca * cb;
  m.m[2][3] = 0.0f;
  m.m[3][0] = position.x;
  m.m[3][1] = position.y;
  m.m[3][2] = position.z;
  m.m[3][3] = 1.0f;
  return m;
}

}  // namespace

const char* CSceneSystem::GetRandomStateAction(int32_t record, int32_t) {
  if (record < 0 || static_cast<size_t>(record) >= visStates.size()) return nullptr;
  const std::vector<std::string>& actions = visStates[static_cast<size_t>(record)].actions;
  const size_t n = actions.size() > 1 ? actions.size() : 1;
  const size_t k = static_cast<size_t>(win32::rand()) % n;
  return k < actions.size() ? actions[k].c_str() : nullptr;
}

bool CSceneSystem::SendObjectCommand(const char* names, const D3DXVECTOR3* position) {
  if (names == nullptr) return true;
  if (position == nullptr) return false;
  SendEffects(names, *position, nullptr);
  return true;
}

bool CSceneSystem::SendObjectCommands(const char* names, const D3DXVECTOR3* position, const D3DXVECTOR3* angles) {
  if (names == nullptr) return true;
  if (position == nullptr || angles == nullptr) return false;
  SendEffects(names, *position, angles);
  return true;
}

// Creates an effect per name; with angles, each is also given its frame.
void CSceneSystem::SendEffects(const char* names, const D3DXVECTOR3& position, const D3DXVECTOR3* angles) {
  const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
  const ComponentHandle noOwner{};
  D3DXMATRIX frame;
  if (angles != nullptr) frame = EffectFrame(position, *angles);
  for (const std::string& name : CommandNames(names)) {
    const int id = g_pHost->SendMessage(activeEffectHandle, "lscciffls", kEffectCreate, name.c_str(), position, up,
                                        noOwner, 1.0, 1.0, 1, nullptr);
    if (angles != nullptr) g_pHost->SendMessage(activeEffectHandle, "llp", kEffectSetMatrix, id, &frame);
  }
}

int32_t CSceneSystem::SetModelOption(int32_t value) {
  modelOption = value;
  return value;
}

int32_t CSceneSystem::GetModelOption() { return modelOption; }

uint8_t CSceneSystem::GetProjectorEnabled() { return projectorEnabled; }

uint8_t CSceneSystem::SetProjectorEnabled(uint8_t enabled) {
  projectorEnabled = enabled;
  return enabled;
}

void CSceneSystem::SetTextureFilters(int32_t mag, int32_t min, int32_t mip) {
  if (g_pSceneRenderer == nullptr) return;
  auto valid = [](int32_t filter) { return filter >= 0 && filter <= 3; };  // none, point, linear, anisotropic
  for (DWORD stage = 0; stage < 8; ++stage) {
    if (valid(mag)) g_pSceneRenderer->SetTextureStageState(stage, D3DTSS_MAGFILTER, static_cast<DWORD>(mag));
    if (valid(min)) g_pSceneRenderer->SetTextureStageState(stage, D3DTSS_MINFILTER, static_cast<DWORD>(min));
    if (valid(mip)) g_pSceneRenderer->SetTextureStageState(stage, D3DTSS_MIPFILTER, static_cast<DWORD>(mip));
  }
}

D3DXVECTOR3* CSceneSystem::GetScreenCenter(D3DXVECTOR3* out) {
  if (out != nullptr) *out = screenCenter;
  return out;
}

D3DXVECTOR3* CSceneSystem::GetScreenNormal(D3DXVECTOR3* out) {
  if (out != nullptr) *out = screenNormal;
  return out;
}

float CSceneSystem::GetScreenWidth() { return screenWidth; }

const char* CSceneSystem::GetVisStateName(int32_t record) {
  if (record < 0 || static_cast<size_t>(record) >= visStates.size()) return nullptr;
  return visStates[static_cast<size_t>(record)].name.c_str();
}

int32_t CSceneSystem::GetVisStateActionCount(int32_t record) {
  if (record < 0 || static_cast<size_t>(record) >= visStates.size()) return 0;
  return static_cast<int32_t>(visStates[static_cast<size_t>(record)].actions.size());
}

void CSceneSystem::GetVisStateRandom(int32_t record, int32_t* base, int32_t* interval) {
  const bool inside = record >= 0 && static_cast<size_t>(record) < visStates.size();
  const VisStateRecord* r = inside ? &visStates[static_cast<size_t>(record)] : nullptr;
  if (base != nullptr) *base = r != nullptr ? r->RandomBase : 0;
  if (interval != nullptr) *interval = r != nullptr ? r->RandomInterval : 0;
}
