#include "apps/footlight/gamma_option.h"

#include <cstdio>

#include "frame/component_base.h"
#include "scene/scene_system.h"
#include "win32/win32_state.h"

std::string GammaRampLine(const std::string& label) {
  const auto ramp = win32::GammaRamp();
  char line[128];
  std::snprintf(line, sizeof line, ": 0 0x%04x, 128 0x%04x, 255 0x%04x", ramp[0], ramp[128], ramp[255]);
  return label + line;
}

bool RunsASceneSystem(const std::vector<std::string>& classes) {
  if (classes.empty()) return true;
  for (const auto& name : classes)
    if (name == "CSceneSystem" || name == "SceneSystem") return true;
  return false;
}

CSceneSystem* FirstSceneSystem(host::ReferenceHost& host) {
  for (const ComponentHandle& live : host.LiveObjects()) {
    const std::string cls = host.ClassOf(live);
    if (cls == "CSceneSystem" || cls == "SceneSystem")
      return static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&live)));
  }
  return nullptr;
}

std::string SetSceneGamma(host::ReferenceHost& host, float gamma) {
  CSceneSystem* scene = FirstSceneSystem(host);
  char label[64];
  if (scene == nullptr) {
    std::snprintf(label, sizeof label, "gamma %g: no scene system was made", static_cast<double>(gamma));
    return label;
  }
  std::snprintf(label, sizeof label, "gamma %g: ramp", static_cast<double>(scene->SetGamma(gamma)));
  return GammaRampLine(label);
}
