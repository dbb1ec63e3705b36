// footlight lights FILE [--resource DIR] [--time MS] [--tick MS] [--save OUT] [--every]
//
// Loads a light file into the module's lighting system, runs it for a given time in ticks and
// prints which lights are on and which hardware light slot each holds, after every tick
// (--every) or at the end; --save OUT writes the lights and groups back to a light file.
//
// FILE and OUT are resource paths below --resource DIR (default: the current folder), as the
// module names its files ("resource\ini\scene\light\1.ini"); so are the texture names inside
// the file.
//
// The command reaches the module only through the lighting system's virtual interface (and
// the layout of its hardware slots), so it works as well with a module loaded by dlopen.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/footlight/cli.h"
#include "host/host.h"
#include "host/ini_service.h"
#include "host/lighting_objects.h"
#include "host/renderer.h"

class ILightingSystem;

struct LightsOptions {
  std::string file;
  std::string resource = ".";
  int time = 1000;       // ms to run
  int tick = 16;         // ms per tick (the last one may be shorter)
  std::string save;      // "" : nothing is written
  bool every = false;    // print after every tick instead of once at the end
};

// Declares the command's arguments on `cmd`.
void DeclareLightsOptions(CLI::App* cmd, LightsOptions* options);
// Parses the arguments that follow "lights". False with a one-line reason on bad input.
bool ParseLightsOptions(const std::vector<std::string>& args, LightsOptions* out, std::string* error);
// The command in the program: a scene system made for the purpose owns the lighting system.
void AddLightsCommand(footlight::cli::Program& program);

// The host services the lighting system needs: the renderer "dx8render", the INI service
// rooted at the resource directory, and the host's model, particle, geometry and animation
// stand-ins, so that a light's model and direction animation are made and saved again. Make it before the module is loaded: the module takes
// the host's INI service when DMAInterface runs. It must outlive every module object that
// uses the services.
class LightsServices {
 public:
  LightsServices(host::ReferenceHost& host, const LightsOptions& options);
  LightsServices(const LightsServices&) = delete;
  LightsServices& operator=(const LightsServices&) = delete;

  host::Renderer& renderer() { return renderer_; }
  host::IniService& ini() { return *ini_; }
  // FILE and OUT as the INI service takes them.
  const std::string& filePath() const { return filePath_; }
  const std::string& savePath() const { return savePath_; }

 private:
  host::Renderer renderer_;
  std::unique_ptr<host::IniService> ini_;
  std::unique_ptr<host::LightingHostObjects> objects_;
  std::string filePath_;
  std::string savePath_;
  // Gone with the services, so that the host's frames stop reaching their renderer.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// What the command drives: the module's lighting system, and one frame of the module of the
// given length: the lighting tick, then the render pass that gives the queued lights their
// hardware slots.
struct LightsTarget {
  ILightingSystem* system = nullptr;
  std::function<void(int32_t elapsedMs)> frame;
};

// Runs the command. 0 on success; 1 when the light file does not open or was not saved whole to
// the disk; 2 when the target is incomplete. Reports go to `out`, errors to `err`.
int RunLightsCommand(host::ReferenceHost& host, LightsServices& services, const LightsOptions& options,
                     const LightsTarget& target, std::FILE* out, std::FILE* err);
