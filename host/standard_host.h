// The reference host as the command line runs it: the host with its INI and file service and
// its "dx8render" renderer service, rooted at one resource directory, plus the recording
// stand-ins for the host's own object classes, with the real "modelr" model object over OBJ
// files (host/model_object.h) and its "geometry" and "MotiveServiceImp" services. Making one sets the process's resource root
// (win32::SetResourceRoot), which D3DX and the renderer resolve under.
#pragma once
#include <memory>
#include <string>

#include "host/generic_object.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "host/lighting_objects.h"
#include "host/renderable.h"
#include "host/renderer.h"

namespace host {

class StandardHost {
 public:
  explicit StandardHost(const std::string& resourceRoot, const RendererConfig& config = {});
  StandardHost(const StandardHost&) = delete;
  StandardHost& operator=(const StandardHost&) = delete;

  // Device loss and reset as the host's window sees them: the components hear 30001 and
  // release what they made, the renderer releases its own; the renderer resets, then the
  // components hear 30002. False (and a log line) when the device refuses the reset.
  bool LoseAndResetDevice();
  // One frame: the host executes (which begins the frame of the renderer's records too), then
  // the three render phases run between BeginScene and EndScene.
  void Frame(uint32_t elapsedMs);
  // Target, depth and stencil, as far as the device's current depth surface has them.
  DWORD FullClearFlags();
  // From now on each frame clears the target to `colour`, depth to 1 and stencil to 0 before
  // the render phases.
  void ClearEachFrame(D3DCOLOR colour);

  // Members in construction order: the services outlive the host that hands them out.
  IniService ini;
  Renderer renderer;
  // The model objects and services live until the host has destroyed its objects.
  std::unique_ptr<LightingHostObjects> objects;
  // The scene objects' models ("Renderable", "RenderableNode").
  std::shared_ptr<RenderableClass> renderables;
  ReferenceHost host;

 private:
  bool clearEachFrame_ = false;
  D3DCOLOR clearColour_ = 0;
};

}  // namespace host
