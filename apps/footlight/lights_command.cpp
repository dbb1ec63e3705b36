#include "apps/footlight/lights_command.h"

#include "apps/footlight/command_support.h"

#include "host/generic_object.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "lighting/light.h"
#include "lighting/light_group.h"
#include "lighting/lighting_system.h"
#include "win32/file_system.h"

const char* const kLightsUsage =
    "  lights FILE [--resource DIR] [--time MS] [--tick MS] [--save OUT] [--every]\n"
    "                               load a light file, run it for MS milliseconds (default 1000)\n"
    "                               in ticks of MS (default 16) and print which lights are on and\n"
    "                               the hardware slot each holds, at the end or after every tick\n"
    "                               (--every); --save writes the lights back to OUT; with\n"
    "                               --resource FILE and OUT are resource paths below DIR\n";

namespace {

bool ParseWhole(const std::string& text, int least, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || value < least || value > INT_MAX) return false;
  *out = static_cast<int>(value);
  return true;
}

// An ordinary path as a path below the file system's root, for a service rooted at "/".
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

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

bool ParseLightsOptions(const std::vector<std::string>& args, LightsOptions* out, std::string* error) {
  LightsOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--resource") {
      if (!value(&o.resource)) return false;
      if (o.resource.empty()) {
        *error = "option --resource needs a directory";
        return false;
      }
    } else if (arg == "--save") {
      if (!value(&o.save)) return false;
      if (o.save.empty()) {
        *error = "option --save needs a file";
        return false;
      }
    } else if (arg == "--time") {
      if (!value(&v)) return false;
      if (!ParseWhole(v, 0, &o.time)) {
        *error = "option --time takes a whole number from 0, got \"" + v + "\"";
        return false;
      }
    } else if (arg == "--tick") {
      if (!value(&v)) return false;
      if (!ParseWhole(v, 1, &o.tick)) {
        *error = "option --tick takes a whole number from 1, got \"" + v + "\"";
        return false;
      }
    } else if (arg == "--every") {
      o.every = true;
    } else if (!footlight::TakePositional(arg, "lights", "light file", &o.file, error)) {
      return false;
    }
  }
  if (o.file.empty()) {
    *error = "lights needs a light file (see footlight --help)";
    return false;
  }
  *out = o;
  return true;
}

LightsServices::LightsServices(host::ReferenceHost& host, const LightsOptions& options) {
  if (options.resource.empty()) {
    ini_ = std::make_unique<host::IniService>("/", &host);
    filePath_ = Absolute(options.file);
    savePath_ = Absolute(options.save);
  } else {
    win32::SetResourceRoot(options.resource);
    ini_ = std::make_unique<host::IniService>(options.resource, &host);
    filePath_ = options.file;
    savePath_ = options.save;
  }
  host.AddService("dx8render", static_cast<IRenderer*>(&renderer_));
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
  if (!services.ini().DescribeIni(services.filePath().c_str(), &lines)) {
    std::fprintf(err, "footlight: cannot open light file %s\n", options.file.c_str());
    return 2;
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
      std::fprintf(out, "saved %s\n", options.save.c_str());
    } else {
      std::fprintf(err, "footlight: light file %s was not saved whole (see the host log)\n", options.save.c_str());
      status = 1;
    }
  }
  if (!host.LogLines().empty()) {
    std::fprintf(out, "== host log ==\n");
    for (const std::string& line : host.LogLines()) std::fprintf(out, "%s\n", line.c_str());
  }
  // What the renderer could not do, such as a texture the light file names that is missing.
  if (!services.renderer().Log().empty()) {
    std::fprintf(out, "== renderer log ==\n");
    for (const std::string& line : services.renderer().Log()) std::fprintf(out, "%s\n", line.c_str());
  }
  return status;
}
