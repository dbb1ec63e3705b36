// footlight: the command-line host. It loads libfootlight.so, hands it the reference host and
// drives its components.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/component_factory.h"
#include "frame/dma_interface.h"
#include "apps/footlight/lights_command.h"
#include "frame/component_base.h"
#include "host/standard_host.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"

namespace {

constexpr const char* kUsage =
    "usage: footlight [--lib PATH] COMMAND [OPTIONS]\n"
    "commands:\n"
    "  classes                      list the module's component classes in list order\n"
    "  run [--frames N] [--elapsed MS] [--class NAME]... [--resource DIR] [--ini PATH]\n"
    "                               create the components (default: every class), drive N frames\n"
    "                               (default 3) of execute and realize at MS milliseconds each\n"
    "                               (default 16), send device lost and reset, destroy everything;\n"
    "                               lists each channel subscription (channel, class, order);\n"
    "                               --resource sets the root of the INI and file service\n"
    "                               (default .), --ini reads that INI file through it into the log\n";

void PrintUsage() {
  std::fputs(kUsage, stdout);
  std::fputs(kLightsUsage, stdout);
}

struct Options {
  std::string command;
  std::string library;
  int frames = 3;
  int elapsed = 16;
  std::vector<std::string> classes;
  std::string resource = ".";
  std::string ini;
  std::vector<std::string> lightsArgs;  // everything after "lights"
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "footlight: %s\n", message.c_str());
  std::exit(2);
}

int ParseCount(const std::string& option, const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || value < 0 || value > INT_MAX)
    Fail("option " + option + " takes a whole number from 0, got \"" + text + "\"");
  return static_cast<int>(value);
}

std::string DefaultLibrary() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return "libfootlight.so";
  path[n] = '\0';
  std::string dir(path);
  const size_t slash = dir.rfind('/');
  return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "/libfootlight.so";
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Fail("option " + arg + " needs a value");
      return argv[++i];
    };
    if (o.command == "lights") {
      o.lightsArgs.push_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage();
      std::exit(0);
    } else if (arg == "--lib") {
      o.library = value();
    } else if (arg == "--frames") {
      o.frames = ParseCount(arg, value());
    } else if (arg == "--elapsed") {
      o.elapsed = ParseCount(arg, value());
    } else if (arg == "--resource") {
      o.resource = value();
    } else if (arg == "--ini") {
      o.ini = value();
    } else if (arg == "--class") {
      o.classes.push_back(value());
    } else if (!arg.empty() && arg[0] == '-') {
      Fail("unknown option " + arg + " (see footlight --help)");
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      Fail("unexpected argument \"" + arg + "\" (see footlight --help)");
    }
  }
  if (o.command.empty()) Fail("no command given (see footlight --help)");
  if (o.command != "classes" && o.command != "run" && o.command != "lights") Fail("unknown command \"" + o.command + "\" (see footlight --help)");
  if (o.command == "classes" && (!o.classes.empty())) Fail("classes takes no --class option");
  struct stat info{};
  if (stat(o.resource.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    Fail("the resource root \"" + o.resource + "\" is not a directory");
  if (o.library.empty()) o.library = DefaultLibrary();
  return o;
}

DMAInterfaceFn LoadEntry(const std::string& path) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    Fail("cannot load " + path + ": " + (why != nullptr ? why : "unknown error"));
  }
  dlerror();
  void* symbol = dlsym(lib, "DMAInterface");
  if (symbol == nullptr) Fail(path + " has no DMAInterface symbol");
  DMAInterfaceFn entry;
  std::memcpy(&entry, &symbol, sizeof(entry));
  return entry;  // the library stays loaded until the process ends
}

int Classes(host::ReferenceHost& host) {
  for (CComponentFactory* f = host.FactoryList(); f != nullptr; f = f->next) std::printf("%s\n", f->GetClassName());
  return 0;
}

int Run(host::StandardHost& standard, const Options& o) {
  host::ReferenceHost& host = standard.host;
  host::IniService& ini = standard.ini;
  std::vector<std::string> classes = o.classes;
  if (classes.empty())
    for (CComponentFactory* f = host.FactoryList(); f != nullptr; f = f->next) classes.push_back(f->GetClassName());
  for (const auto& name : classes)
    if (host.FindFactory(name.c_str()) == nullptr) Fail("the module has no class named \"" + name + "\"");

  for (const auto& name : classes) {
    ComponentHandle h{};
    host.CreateObject(&h, name.c_str());
    if (h.IsZero()) host.Log("[footlight] %s was not created", name.c_str());
  }
  std::vector<std::string> subscriptions;
  for (const char* channel : {"execute", "realize", "system_messages", "LostDevice"})
    for (const auto& [handle, order] : host.Subscribers(channel))
      subscriptions.push_back(std::string(channel) + " " + host.ClassOf(handle) + " " + std::to_string(order));
  if (!o.ini.empty()) {
    std::vector<std::string> lines;
    if (!ini.DescribeIni(o.ini.c_str(), &lines)) host.Log("[footlight] cannot read %s", o.ini.c_str());
    else
      for (const auto& line : lines) host.Log("[ini] %s", line.c_str());
  }
  for (int frame = 0; frame < o.frames; ++frame) standard.Frame(static_cast<uint32_t>(o.elapsed));
  const bool reset = standard.LoseAndResetDevice();
  host.DestroyAll();
  const host::Renderer& r = standard.renderer;

  std::printf("== subscriptions ==\n");
  for (const auto& line : subscriptions) std::printf("%s\n", line.c_str());
  std::printf("== host log ==\n");
  for (const auto& line : host.LogLines()) std::printf("%s\n", line.c_str());
  std::printf("== registry log ==\n");
  for (const auto& line : host.Registry().LogLines()) std::printf("%s\n", line.c_str());
  std::printf("== summary ==\n");
  std::printf("objects created: %zu\n", host.ObjectsCreated());
  std::printf("objects destroyed: %zu\n", host.ObjectsDestroyed());
  std::printf("frames: %zu\n", host.FramesRun());
  std::printf("messages: %zu\n", host.Messages().size());
  std::printf("draws: %zu (%zu refused)\n", r.DrawCount(), r.RefusedDraws());
  std::printf("textures: %zu loaded, %zu live\n", r.TextureLoads(), r.LiveTextures());
  std::printf("live buffers: %zu vertex, %zu index\n", r.LiveVertexBuffers(), r.LiveIndexBuffers());
  std::printf("live device resources: %zu default, %zu managed, %zu system memory\n",
              r.LiveResources(D3DPOOL_DEFAULT), r.LiveResources(D3DPOOL_MANAGED), r.LiveResources(D3DPOOL_SYSTEMMEM));
  std::printf("device reset: %s\n", reset ? "ok" : "refused");
  std::printf("live host blocks: %zu\n", host.Allocator().LiveBlocks());
  return host.Allocator().LiveBlocks() == 0 && reset ? 0 : 1;
}

}  // namespace

// The lighting system of a scene system made for the purpose: the scene owns it, and its main
// pass hands the queued lights their hardware slots.
int Lights(const Options& o, DMAInterfaceFn entry) {
  LightsOptions lights;
  std::string error;
  if (!ParseLightsOptions(o.lightsArgs, &lights, &error)) Fail(error);
  host::ReferenceHost host;
  LightsServices services(host, lights);  // before the module is loaded
  if (host.LoadModule(entry) == nullptr) Fail(o.library + " returned an empty class list");
  ComponentHandle sceneHandle{};
  host.CreateObject(&sceneHandle, "CSceneSystem");
  auto* scene = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&sceneHandle)));
  LightsTarget target;
  target.system = scene != nullptr ? scene->GetLightingSystem() : nullptr;
  host::Renderer& renderer = services.renderer();
  target.frame = [&](int32_t ms) {
    target.system->Update(ms);
    host.Execute(static_cast<uint32_t>(ms));
    renderer.BeginScene();
    host.Realize(static_cast<uint32_t>(ms));
    renderer.EndScene();
  };
  if (target.system == nullptr) {
    for (const auto& line : host.LogLines()) std::fprintf(stderr, "%s\n", line.c_str());
    Fail("the scene system made no lighting system");
  }
  const int status = RunLightsCommand(host, services, lights, target, stdout, stderr);
  host.DestroyAll();
  return status;
}

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  const DMAInterfaceFn entry = LoadEntry(options.library);
  if (options.command == "lights") return Lights(options, entry);
  // The services are set before the module is loaded: DMAInterface copies the INI service.
  host::StandardHost standard(options.resource);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) Fail(options.library + " returned an empty class list");
  if (options.command == "classes") return Classes(host);
  return Run(standard, options);
}
