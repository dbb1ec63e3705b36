#include "apps/footlight/lights_command.h"

#include "host/generic_object.h"

#include <algorithm>
#include <climits>

#include "lighting/light.h"
#include "lighting/light_group.h"
#include "frame/component_base.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"
#include "win32/file_system.h"

namespace {

void Report(std::FILE* out, ILightingSystem* system, int32_t now) {
  auto* concrete = static_cast<CLightingSystem*>(system);
  std::fprintf(out, "== %d ms ==\n", now);
  const int32_t lights = system->GetLightCount();
  for (int32_t i = 0; i < lights; ++i) {
    CLight* light = system->GetLight(static_cast<uint32_t>(i));
    if (light == nullptr) continue;
    std::fprintf(out, "light %d \"%s\" type %d %s", light->GetIndex(), light->GetName(), light->GetType(),
                 light->IsActive() ? "on" : "off");
    for (int s = 0; s < 8; ++s) {
      const CLightingSystem::HardwareSlot& slot = concrete->hardwareSlots[s];
      if (slot.dynamic == 0 && slot.lightIndex == light->GetIndex()) std::fprintf(out, " slot %d", s);
    }
    std::fprintf(out, "\n");
  }
  const int32_t groups = system->GetLightGroupCount();
  for (int32_t i = 0; i < groups; ++i) {
    CLightGroup* group = system->GetLightGroup(static_cast<uint32_t>(i));
    if (group == nullptr) continue;
    std::fprintf(out, "group %d \"%s\" %s\n", group->GetIndex(), group->GetName(), group->IsActive() ? "on" : "off");
  }
}

}  // namespace

void DeclareLightsOptions(CLI::App* cmd, LightsOptions* o) {
  using namespace footlight;
  cli::ResourcePath(cmd, "FILE", &o->file, "the light file")->required();
  cli::ResourceRoot(cmd, &o->resource);
  cli::Whole(cmd, "--time", &o->time, 0, INT_MAX, "milliseconds to run (default 1000)")->type_name("MS");
  cli::Whole(cmd, "--tick", &o->tick, 1, INT_MAX, "milliseconds a tick (default 16)")->type_name("MS");
  cli::ResourcePath(cmd, "--save", &o->save, "write the lights and groups back to this light file");
  cmd->add_flag("--every", o->every, "print after every tick instead of once at the end");
}

bool ParseLightsOptions(const std::vector<std::string>& args, LightsOptions* out, std::string* error) {
  LightsOptions o;
  if (!footlight::cli::ParseCommand("lights", args, [&o](footlight::cli::Program&, CLI::App* cmd) {
        DeclareLightsOptions(cmd, &o);
      }, error))
    return false;
  *out = o;
  return true;
}

// The command prints text only: nothing it draws is ever looked at, so nothing is rasterised.
static host::RendererConfig TextOnly() {
  host::RendererConfig config;
  config.rasterize = false;
  return config;
}

LightsServices::LightsServices(host::ReferenceHost& host, const LightsOptions& options) : renderer_(TextOnly()) {
  win32::SetResourceRoot(options.resource);
  ini_ = std::make_unique<host::IniService>(options.resource, &host);
  filePath_ = options.file;
  savePath_ = options.save;
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer_));
  host.AddFrameStart([alive = std::weak_ptr<int>(alive_), renderer = &renderer_] {
    if (!alive.expired()) renderer->BeginFrame();
  });
  host.SetIniService(ini_.get());
  // The scene system that owns the lighting system makes the host's own objects by name.
  host::RegisterGenericClasses(host);
  objects_ = host::RegisterLightingHostObjects(host);
}

int RunLightsCommand(host::ReferenceHost& host, LightsServices& services, const LightsOptions& options,
                     const LightsTarget& target, std::FILE* out, std::FILE* err) {
  if (target.system == nullptr || !target.frame) {
    std::fprintf(err, "footlight: the module gave no lighting system\n");
    return 2;
  }
  std::vector<std::string> lines;
  if (std::string line; !footlight::cli::Readable(options.resource, options.file, &line, host::kIniFileMaxBytes) ||
                        !services.ini().DescribeIni(services.filePath().c_str(), &lines)) {
    if (line.empty()) line = "the light file " + options.file + " does not read";
    std::fprintf(err, "footlight: %s\n", line.c_str());
    return 1;
  }
  ILightingSystem* system = target.system;
  system->LoadFromFile(services.filePath().c_str());
  std::fprintf(out, "loaded %s: %d lights, %d groups\n", options.file.c_str(), system->GetLightCount(),
               system->GetLightGroupCount());

  int32_t now = 0;
  if (options.every || options.time == 0) Report(out, system, now);
  while (now < options.time) {
    const int32_t step = std::min(options.tick, options.time - now);
    target.frame(step);
    now += step;
    if (options.every) Report(out, system, now);
  }
  if (!options.every && options.time > 0) Report(out, system, now);

  int status = 0;
  if (!options.save.empty()) {
    // True only when every light and group was written and the file reached the disk.
    if (system->SaveToFile(services.savePath().c_str())) {
      std::fprintf(out, "wrote %s\n", footlight::cli::OnDisk(options.resource, options.save).c_str());
    } else {
      std::fprintf(err, "footlight: light file %s was not saved whole (see the host log)\n", options.save.c_str());
      status = 1;
    }
  }
  if (!host.LogLines().empty()) {
    std::fprintf(out, "== host log ==\n");
    footlight::cli::PrintLog(out, host.LogLines());
  }
  // What the renderer could not do, such as a texture the light file names that is missing.
  if (!services.renderer().Log().empty()) {
    std::fprintf(out, "== renderer log ==\n");
    footlight::cli::PrintLog(out, services.renderer().Log());
  }
  return status;
}

// The lighting system of a scene system made for the purpose: the scene owns it, its frame update
// steps it and its main pass hands the queued lights their hardware slots.
static int RunLights(const LightsOptions& lights, const footlight::cli::Context& context) {
  host::ReferenceHost host;
  LightsServices services(host, lights);  // before the module is loaded
  if (host.LoadModule(context.entry) == nullptr)
    return context.EmptyClassList();
  ComponentHandle sceneHandle{};
  host.CreateObject(&sceneHandle, "CSceneSystem");
  auto* scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&sceneHandle)));
  LightsTarget target;
  target.system = scene != nullptr ? scene->GetLightingSystem() : nullptr;
  host::Renderer& renderer = services.renderer();
  // The scene runs empty, as scene 0 without records: its frame update steps the lights and its
  // main pass gives the queued lights their hardware slots.
  if (scene != nullptr) scene->sceneId = 0;
  target.frame = [&](int32_t ms) {
    host.Execute(static_cast<uint32_t>(ms));
    renderer.BeginScene();
    host.Realize(static_cast<uint32_t>(ms));
    renderer.EndScene();
  };
  if (target.system == nullptr) {
    for (const auto& line : host.LogLines()) std::fprintf(stderr, "%s\n", line.c_str());
    host.DestroyAll();
    return footlight::cli::Fail("the scene system made no lighting system");
  }
  const int status = RunLightsCommand(host, services, lights, target, stdout, stderr);
  host.DestroyAll();
  return status;
}

void AddLightsCommand(footlight::cli::Program& program) {
  auto* o = program.Keep<LightsOptions>();
  CLI::App* cmd =
      program.Command("lights", "run a light file and print which lights are on and their hardware slots",
                      [o](const footlight::cli::Context& context) { return RunLights(*o, context); });
  DeclareLightsOptions(cmd, o);
}
