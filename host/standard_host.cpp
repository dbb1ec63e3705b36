#include "host/standard_host.h"

#include "frame/component_base.h"
#include "win32/file_system.h"

namespace host {

StandardHost::StandardHost(const std::string& resourceRoot, const RendererConfig& config)
    : ini(resourceRoot), renderer(config) {
  win32::SetResourceRoot(resourceRoot);
  ini.SetHost(&host);
  host.SetIniService(&ini);
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  RegisterGenericClasses(host);
  objects = RegisterLightingHostObjects(host);
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
