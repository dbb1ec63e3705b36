#include "host/standard_host.h"

#include "frame/component_base.h"
#include "d3d8/pixel_format.h"
#include "host/effect_objects.h"
#include "win32/file_system.h"

namespace host {

StandardHost::StandardHost(const std::string& resourceRoot, const RendererConfig& config)
    : ini(resourceRoot), renderer(config) {
  win32::SetResourceRoot(resourceRoot);
  ini.SetHost(&host);
  host.SetIniService(&ini);
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  // The host is made last and gone first: no frame of it outlives the renderer.
  host.AddFrameStart([this] { renderer.BeginFrame(); });
  RegisterGenericClasses(host);
  RegisterEffectClasses(host);
  objects = RegisterLightingHostObjects(host);
  renderables = RegisterRenderableClasses(host);
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

void StandardHost::ClearEachFrame(D3DCOLOR colour) {
  clearEachFrame_ = true;
  clearColour_ = colour;
}

DWORD StandardHost::FullClearFlags() {
  const Surface* depth = renderer.device().CurrentDepthStencil();
  d3dfmt::FormatInfo info;
  const bool stencil = depth && d3dfmt::Describe(depth->Format(), &info) && info.stencil;
  DWORD flags = D3DCLEAR_TARGET;
  if (depth) flags |= D3DCLEAR_ZBUFFER;
  if (stencil) flags |= D3DCLEAR_STENCIL;
  return flags;
}

void StandardHost::Frame(uint32_t elapsedMs) {
  host.Execute(elapsedMs);
  renderer.BeginScene();
  if (clearEachFrame_) {
    renderer.Clear(0, nullptr, FullClearFlags(), clearColour_, 1.0f, 0);
  }
  host.Realize(elapsedMs);
  renderer.EndScene();
}

}  // namespace host
