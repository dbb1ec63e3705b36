#include "lighting/lighting_system.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/light.h"
#include "lighting/light_group.h"

IRenderer* g_pLightingRenderer = nullptr;
CLightingSystem* g_pLightingSystem = nullptr;
CSceneSystem* g_pLightingScene = nullptr;

namespace {

constexpr int kHardwareSlots = 8;
constexpr uint32_t kRenderStateAmbient = 139;

const char* Text(const char* s) { return s != nullptr ? s : ""; }

bool SameName(const char* a, const char* b) { return strcasecmp(Text(a), Text(b)) == 0; }

void Warn(const char* line) {
  if (g_pHost != nullptr) g_pHost->Log("%s", line);
}

// An index that no element holds: the count, unless an element moved by a deletion already
// carries it; then one past the largest index in use. `handedOut` is the largest index given
// since the collection was last emptied: no element carries more, so while the count is above
// it no element needs a look.
template <class T>
int32_t FreshIndex(const std::vector<T*>& elements, int32_t* handedOut) {
  const int32_t count = static_cast<int32_t>(elements.size());
  int32_t index = count;
  if (*handedOut >= count) {
    bool taken = false;
    int32_t largest = -1;
    for (T* e : elements) {
      const int32_t i = e->GetIndex();
      if (i == count) taken = true;
      largest = std::max(largest, i);
    }
    if (taken) index = largest + 1;
  }
  *handedOut = std::max(*handedOut, index);
  return index;
}

std::string Folded(const char* name) {
  std::string out = Text(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

template <class T>
void Reindex(const std::vector<T*>& elements, std::unordered_map<std::string, int32_t>* names) {
  names->clear();
  for (size_t i = 0; i < elements.size(); ++i) names->emplace(Folded(elements[i]->GetName()), static_cast<int32_t>(i));
}

template <class T>
int32_t Lookup(const std::vector<T*>& elements, const std::unordered_map<std::string, int32_t>& names,
               const char* name) {
  const auto it = names.find(Folded(name));
  if (it == names.end()) return -1;
  const int32_t at = it->second;
  return at >= 0 && static_cast<size_t>(at) < elements.size() && SameName(elements[static_cast<size_t>(at)]->GetName(), name)
             ? at
             : -1;
}

D3DCOLORVALUE Colour(float r, float g, float b, float a) {
  D3DCOLORVALUE c;
  c.r = r;
  c.g = g;
  c.b = b;
  c.a = a;
  return c;
}

}  // namespace

CLightingSystem::CLightingSystem() {
  for (HardwareSlot& slot : hardwareSlots) {
    slot.dynamic = 1;
    slot.lightIndex = -1;
  }
}

CLightingSystem::~CLightingSystem() {
  DeleteAll();
  if (g_pLightingSystem == this) {
    g_pLightingSystem = nullptr;
    g_pLightingRenderer = nullptr;
    g_pLightingScene = nullptr;
  }
}

CLightingSystem* CLightingSystem::NewArray(uint32_t count) {
  auto* systems = HostNewArray<CLightingSystem>(count);
  if (systems == nullptr) return nullptr;
  const uint32_t n = HostBlockCount(systems);
  for (uint32_t i = 0; i < n; ++i) new (&systems[i]) CLightingSystem();
  return systems;
}

void CLightingSystem::DeleteArray(CLightingSystem* systems) {
  if (systems == nullptr) return;
  const uint32_t n = HostBlockCount(systems);
  for (uint32_t i = 0; i < n; ++i) systems[i].~CLightingSystem();
  HostDeleteArray(systems);
}

bool CLightingSystem::Init(CSceneSystem* sceneSystem) {
  renderer = g_pHost != nullptr ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
  if (renderer == nullptr) return false;
  scene = sceneSystem;
  g_pLightingRenderer = renderer;
  g_pLightingSystem = this;
  g_pLightingScene = sceneSystem;
  for (HardwareSlot& slot : hardwareSlots) {
    slot.dynamic = 1;
    slot.lightIndex = -1;
  }
  ambientColor = 0xFF4A4A4Au;
  activeSpotCount = 0;
  return true;
}

// ---- Renderer mode, tick and drawing --------------------------------------------------------

void CLightingSystem::SetRendererLightingMode() {
  if (renderer != nullptr) renderer->SetLightingMode(enabled ? FALSE : TRUE);
}

void CLightingSystem::ResetRendererLightingMode() {
  if (renderer != nullptr) renderer->SetLightingMode(FALSE);
}

void CLightingSystem::Update(int32_t elapsedMs) {
  if (!enabled) return;
  for (CLightGroup* group : groups) group->updated = false;
  for (CLight* light : lights) light->updatedThisFrame = false;
  // Index loops: a step may switch lights and groups, but never adds or removes any.
  for (size_t i = 0; i < groups.size(); ++i) groups[i]->Update(elapsedMs);
  for (size_t i = 0; i < lights.size(); ++i) lights[i]->Update(elapsedMs);
}

void CLightingSystem::Render(const D3DXVECTOR3* viewer) {
  if (!enabled) return;
  for (size_t i = 0; i < lights.size(); ++i) lights[i]->Render(viewer);
}

uint32_t CLightingSystem::SetAmbientColor(uint32_t argb) {
  ambientColor = argb;
  return ambientColor;
}

int32_t CLightingSystem::Stub6() { return -1; }

int32_t CLightingSystem::Stub24(uint32_t, uint32_t) { return 0; }

bool CLightingSystem::SetEnabled(bool on) {
  enabled = on;
  return enabled;
}

bool CLightingSystem::IsEnabled() { return enabled; }

bool CLightingSystem::HasActiveSpotLights() { return activeSpotCount > 0; }

// ---- Names ----------------------------------------------------------------------------------

void CLightingSystem::NamesChanged() {
  Reindex(lights, &lightNames_);
  Reindex(groups, &groupNames_);
}

int32_t CLightingSystem::FindLight(const char* name) { return Lookup(lights, lightNames_, name); }

int32_t CLightingSystem::FindGroup(const char* name) { return Lookup(groups, groupNames_, name); }

// ---- Lights ---------------------------------------------------------------------------------

int32_t CLightingSystem::CreateLight(const char* name, CLight** out) {
  const int32_t found = FindLight(name);
  if (found >= 0) {
    if (out != nullptr) *out = lights[static_cast<size_t>(found)];
    return found;
  }
  CLight* light = CLight::NewArray(1);
  if (light == nullptr) {
    if (out != nullptr) *out = nullptr;
    return -1;
  }
  light->SetName(Text(name));
  light->system = this;
  light->index = FreshIndex(lights, &lightIndexHandedOut_);
  lights.push_back(light);
  lightNames_.emplace(Folded(name), static_cast<int32_t>(lights.size() - 1));
  if (out != nullptr) *out = light;
  return static_cast<int32_t>(lights.size() - 1);
}

CLight* CLightingSystem::GetLight(uint32_t index) {
  if (index >= lights.size()) {
    Warn("[WARNING] CLightingSystem::GetLight: index out of range.");
    return nullptr;
  }
  return lights[index];
}

CLight* CLightingSystem::GetLightByName(const char* name) {
  const int32_t found = FindLight(name);
  return found >= 0 ? lights[static_cast<size_t>(found)] : nullptr;
}

int32_t CLightingSystem::GetLightCount() { return static_cast<int32_t>(lights.size()); }

int32_t CLightingSystem::PositionOfLight(const CLight* light) const {
  for (size_t i = 0; i < lights.size(); ++i)
    if (lights[i] == light) return static_cast<int32_t>(i);
  return -1;
}

void CLightingSystem::ForgetHardwareLight(CLight* light) {
  pendingHardwareLights.erase(std::remove(pendingHardwareLights.begin(), pendingHardwareLights.end(), light),
                              pendingHardwareLights.end());
  const int32_t index = light->GetIndex();
  for (int slot = 0; slot < kHardwareSlots; ++slot) {
    HardwareSlot& s = hardwareSlots[slot];
    if (s.dynamic == 0 && s.lightIndex == index) {
      if (renderer != nullptr) renderer->LightEnable(static_cast<DWORD>(slot), FALSE);
      s.dynamic = 1;
      s.lightIndex = -1;
    }
  }
}

void CLightingSystem::DeleteLight(const char* name) {
  const int32_t found = FindLight(name);
  if (found < 0) return;
  CLight* light = lights[static_cast<size_t>(found)];
  ForgetHardwareLight(light);
  CLight::DeleteArray(light);
  // The last light takes the freed place and keeps the index it carries.
  lights[static_cast<size_t>(found)] = lights.back();
  lights.pop_back();
  Reindex(lights, &lightNames_);
}

void CLightingSystem::DeleteAllLights() {
  for (CLight* light : lights) ForgetHardwareLight(light);
  for (CLight* light : lights) CLight::DeleteArray(light);
  lights.clear();
  lightNames_.clear();
  lightIndexHandedOut_ = -1;
}

void CLightingSystem::DeleteAll() {
  for (CLightGroup* group : groups) CLightGroup::DeleteArray(group);
  groups.clear();
  groupNames_.clear();
  groupIndexHandedOut_ = -1;
  for (CLight* light : lights) CLight::DeleteArray(light);
  lights.clear();
  lightNames_.clear();
  lightIndexHandedOut_ = -1;
  for (int slot = 0; slot < kHardwareSlots; ++slot) {
    if (renderer != nullptr) renderer->LightEnable(static_cast<DWORD>(slot), FALSE);
    hardwareSlots[slot].lightIndex = -1;
    hardwareSlots[slot].dynamic = 1;
  }
  pendingHardwareLights.clear();
}

// ---- Groups ---------------------------------------------------------------------------------

int32_t CLightingSystem::CreateLightGroup(const char* name, CLightGroup** out) {
  const int32_t found = FindGroup(name);
  if (found >= 0) {
    if (out != nullptr) *out = groups[static_cast<size_t>(found)];
    return found;
  }
  CLightGroup* group = CLightGroup::NewArray(1);
  if (group == nullptr) {
    if (out != nullptr) *out = nullptr;
    return -1;
  }
  group->SetName(Text(name));
  group->system = this;
  group->index = FreshIndex(groups, &groupIndexHandedOut_);
  groups.push_back(group);
  groupNames_.emplace(Folded(name), static_cast<int32_t>(groups.size() - 1));
  if (out != nullptr) *out = group;
  return static_cast<int32_t>(groups.size() - 1);
}

CLightGroup* CLightingSystem::GetLightGroup(uint32_t index) {
  if (index >= groups.size()) {
    Warn("[WARNING] CLightingSystem::GetLightGroup: index out of range.");
    return nullptr;
  }
  return groups[index];
}

CLightGroup* CLightingSystem::GetLightGroupByName(const char* name) {
  const int32_t found = FindGroup(name);
  return found >= 0 ? groups[static_cast<size_t>(found)] : nullptr;
}

int32_t CLightingSystem::GetLightGroupCount() { return static_cast<int32_t>(groups.size()); }

int32_t CLightingSystem::PositionOfGroup(const CLightGroup* group) const {
  for (size_t i = 0; i < groups.size(); ++i)
    if (groups[i] == group) return static_cast<int32_t>(i);
  return -1;
}

void CLightingSystem::DeleteLightGroup(const char* name) {
  const int32_t found = FindGroup(name);
  if (found < 0) return;
  CLightGroup::DeleteArray(groups[static_cast<size_t>(found)]);
  groups[static_cast<size_t>(found)] = groups.back();
  groups.pop_back();
  Reindex(groups, &groupNames_);
}

bool CLightingSystem::CopyLightGroup(const char* newName, const char* sourceName) {
  CLightGroup* source = GetLightGroupByName(sourceName);
  if (source == nullptr || GetLightGroupByName(newName) != nullptr) return false;
  CLightGroup* copy = CLightGroup::NewArray(1);
  if (copy == nullptr) return false;
  copy->SetName(Text(newName));
  copy->system = this;
  copy->index = FreshIndex(groups, &groupIndexHandedOut_);
  copy->lifeTime = source->lifeTime;  // the rate stays at its start value
  // The copy lists what the source lists, so each listed light and sub-group gets one more
  // reference per entry; both sides stay balanced when either group goes.
  copy->steps = source->steps;
  for (const CLightGroup::Step& step : copy->steps) {
    for (const CLightGroup::LightEntry& e : step.lights) e.light->AddGroupRef(copy);
    for (const CLightGroup::GroupEntry& e : step.groups) e.group->AddParentRef(copy);
  }
  groups.push_back(copy);
  groupNames_.emplace(Folded(newName), static_cast<int32_t>(groups.size() - 1));
  return true;
}

// ---- Sockets --------------------------------------------------------------------------------

CLight* CLightingSystem::FindLightBySocket(const char* socket) {
  size_t start = 0;
  if (socket != nullptr) {
    socketSearchName = socket;
    socketSearchStarted = true;
  } else {
    // Continuing needs an earlier search to continue from.
    if (!socketSearchStarted) return nullptr;
    start = static_cast<size_t>(socketSearchIndex) + 1;
  }
  size_t i = start;
  for (; i < lights.size(); ++i)
    if (SameName(lights[i]->GetSocket(), socketSearchName.c_str())) break;
  if (i >= lights.size()) {
    socketSearchIndex = static_cast<uint32_t>(lights.size());
    return nullptr;
  }
  socketSearchIndex = static_cast<uint32_t>(i);
  return lights[i];
}

// ---- Hardware light slots -------------------------------------------------------------------

void CLightingSystem::AddHardwareLight(CLight* light) {
  if (light == nullptr) return;
  if (std::find(pendingHardwareLights.begin(), pendingHardwareLights.end(), light) != pendingHardwareLights.end())
    return;
  pendingHardwareLights.push_back(light);
}

void CLightingSystem::ApplyLights() {
  if (!enabled || renderer == nullptr) return;
  renderer->SetRenderState(kRenderStateAmbient, ambientColor);
  for (CLight* light : pendingHardwareLights) {
    const int32_t index = light->GetIndex();
    int slot = -1;
    int firstFree = -1;
    for (int s = 0; s < kHardwareSlots; ++s) {
      const HardwareSlot& hs = hardwareSlots[s];
      if (hs.dynamic == 0 && hs.lightIndex == index) {
        slot = s;
        break;
      }
      // Only a free slot is taken: one lent for the current draw stays with its record (a lent
      // slot's index may be the 0 that marks a lent record, not a light).
      if (firstFree < 0 && hs.dynamic != 0 && hs.lightIndex < 0) firstFree = s;
    }
    if (slot < 0) slot = firstFree;
    if (slot < 0) continue;  // all eight slots are pinned to other lights
    const bool on = light->IsActive();
    if (on) {
      D3DLIGHT8 record;
      std::memset(&record, 0, sizeof(record));
      if (FillD3DLight(light, &record)) renderer->SetLight(static_cast<DWORD>(slot), &record);
    }
    hardwareSlots[slot].dynamic = 0;
    hardwareSlots[slot].lightIndex = index;
    renderer->LightEnable(static_cast<DWORD>(slot), on ? TRUE : FALSE);
  }
  pendingHardwareLights.clear();
}

void CLightingSystem::AddHardwareLightRecord(const D3DLIGHT8* record) {
  if (record == nullptr || renderer == nullptr) return;
  // A directional light without a direction lights nothing the device can draw.
  if (record->Type == D3DLIGHT_DIRECTIONAL && record->Direction.x == 0.0f && record->Direction.y == 0.0f &&
      record->Direction.z == 0.0f)
    return;
  for (int s = 0; s < kHardwareSlots; ++s) {
    HardwareSlot& hs = hardwareSlots[s];
    if (hs.dynamic != 0 && hs.lightIndex < 0) {
      renderer->SetLight(static_cast<DWORD>(s), record);
      renderer->LightEnable(static_cast<DWORD>(s), TRUE);
      hs.lightIndex = 0;
      return;
    }
  }
}

void CLightingSystem::AllocHardwareLight(int32_t lightIndex) {
  if (renderer == nullptr || lightIndex < 0) return;
  CLight* light = GetLight(static_cast<uint32_t>(lightIndex));
  if (light == nullptr) return;
  D3DLIGHT8 record;
  std::memset(&record, 0, sizeof(record));
  if (!FillD3DLight(light, &record)) return;
  for (int s = 0; s < kHardwareSlots; ++s) {
    HardwareSlot& hs = hardwareSlots[s];
    if (hs.dynamic != 0 && hs.lightIndex < 0) {
      renderer->SetLight(static_cast<DWORD>(s), &record);
      renderer->LightEnable(static_cast<DWORD>(s), TRUE);
      hs.lightIndex = lightIndex;
      return;
    }
  }
}

void CLightingSystem::ReleaseAllHardwareLights() {
  for (int s = 0; s < kHardwareSlots; ++s) {
    HardwareSlot& hs = hardwareSlots[s];
    if (hs.dynamic != 0 && hs.lightIndex >= 0) {
      hs.lightIndex = -1;
      if (renderer != nullptr) renderer->LightEnable(static_cast<DWORD>(s), FALSE);
    }
  }
}

bool CLightingSystem::FillD3DLight(CLight* light, D3DLIGHT8* out) {
  if (light == nullptr || out == nullptr) return false;
  const int32_t type = light->GetType();
  if (type != kLightDirectional && type != kLightPoint && type != kLightSpot) return false;
  const D3DXVECTOR4& c = light->color;
  out->Diffuse = Colour(c.x, c.y, c.z, c.w);
  out->Specular = Colour(1.0f, 1.0f, 1.0f, 1.0f);
  out->Ambient = Colour(0.0f, 0.0f, 0.0f, 0.0f);
  if (type == kLightDirectional) {
    out->Type = D3DLIGHT_DIRECTIONAL;
    out->Direction = light->direction;
    return true;
  }
  out->Type = type == kLightPoint ? D3DLIGHT_POINT : D3DLIGHT_SPOT;
  out->Position = light->position;
  out->Range = light->range;
  out->Attenuation0 = light->attenuation.x;
  out->Attenuation1 = light->attenuation.y;
  out->Attenuation2 = light->attenuation.z;
  if (type == kLightSpot) {
    out->Falloff = light->falloff;
    out->Theta = light->theta;
    out->Phi = light->phi;
    out->Direction = light->direction;
  }
  return true;
}

bool CLightingSystem::ComputePointInfluence(const D3DXVECTOR3* point, D3DLIGHT8* out) {
  if (lights.empty() || point == nullptr || out == nullptr) return false;
  float r = 0.0f, g = 0.0f, b = 0.0f;
  D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
  bool reached = false;
  for (CLight* light : lights) {
    if (!light->IsActive() || light->GetType() != kLightTint) continue;
    const D3DXVECTOR3 d = *point - light->position;
    const float dist = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    const float range = light->range;
    if (!(dist < range)) continue;
    const float w = (range - dist) / range;
    r += w * light->color.x;
    g += w * light->color.y;
    b += w * light->color.z;
    // A point at the light's own position has no direction from it.
    if (dist > 0.0f) direction += (w / dist) * d;
    reached = true;
  }
  if (!reached) return false;
  std::memset(out, 0, sizeof(*out));
  out->Type = D3DLIGHT_DIRECTIONAL;
  out->Diffuse = Colour(r, g, b, 1.0f);
  out->Direction = direction;
  AddHardwareLightRecord(out);
  return true;
}
