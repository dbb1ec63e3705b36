// The reference host as the command line runs it: the host with its INI and file service and
// its "dx8render" renderer service, rooted at one resource directory, plus the host's own
// object classes: models and particles as the lighting objects, the rest as recording
// stand-ins.
#pragma once
#include <memory>
#include <string>

#include "host/generic_object.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "host/lighting_objects.h"
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
  // One frame: execute, then the three render phases between BeginScene and EndScene.
  void Frame(uint32_t elapsedMs);

  // Members in construction order: the services outlive the host that hands them out.
  IniService ini;
  Renderer renderer;
  // The module takes a "modelr" object for an IHostModel: it must be one.
  std::unique_ptr<LightingHostObjects> lighting;
  ReferenceHost host;
};

}  // namespace host
