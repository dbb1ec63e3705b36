#include "host/standard_host.h"

#include "frame/component_base.h"
#include "host/resource_paths.h"

namespace host {

StandardHost::StandardHost(const std::string& resourceRoot, const RendererConfig& config)
    : ini(resourceRoot), renderer(config) {
  ini.SetHost(&host);
  host.SetIniService(&ini);
  renderer.SetResolver(
      [resourceRoot](const std::string& path) { return ResolveResourcePath(resourceRoot, path.c_str(), false); });
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  RegisterGenericClasses(host);
  lighting = RegisterLightingHostObjects(host);
}

bool StandardHost::LoseAndResetDevice() {
  host.SendEvent(kEventDeviceLost);
  renderer.OnDeviceLost();
  if (!renderer.OnDeviceReset()) {
    host.Log("[HOST] the device refused the reset: %s", renderer.ResetError().c_str());
    return false;
  }
  host.SendEvent(kEventDeviceReset);
  return true;
}

void StandardHost::Frame(uint32_t elapsedMs) {
  host.Execute(elapsedMs);
  renderer.BeginScene();
  host.Realize(elapsedMs);
  renderer.EndScene();
}

}  // namespace host
