// footlight: the command-line host. It loads libfootlight.so, hands it the reference host and
// drives its components.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/component_factory.h"
#include "frame/dma_interface.h"
#include "apps/footlight/gamma_option.h"
#include "apps/footlight/gizmo_option.h"
#include "apps/footlight/glow_options.h"
#include "apps/footlight/camera_command.h"
#include "apps/footlight/film_command.h"
#include "apps/footlight/helpers_command.h"
#include "apps/footlight/object_command.h"
#include "apps/footlight/object_walk.h"
#include "apps/footlight/lights_command.h"
#include "apps/footlight/maps_command.h"
#include "apps/footlight/path_command.h"
#include "apps/footlight/run_state.h"
#include "apps/footlight/portals_command.h"
#include "apps/footlight/raster_options.h"
#include "apps/footlight/terrain_command.h"
#include "apps/footlight/tree_command.h"
#include "apps/footlight/scene_run.h"
#include "apps/footlight/video_command.h"
#include "frame/component_base.h"
#include "host/standard_host.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

constexpr const char* kUsage =
    "usage: footlight [--lib PATH] COMMAND [OPTIONS]\n"
    "commands:\n"
    "  classes                      list the module's component classes in list order\n"
    "  run [--frames N] [--elapsed MS] [--class NAME]... [--resource DIR] [--ini PATH]\n"
    "      [--keys VK[,VK...]] [--clock MS]\n"
    "                               create the components (default: every class), drive N frames\n"
    "                               (default 3) of execute and realize at MS milliseconds each\n"
    "                               (default 16), send device lost and reset, destroy everything;\n"
    "                               lists each channel subscription (channel, class, order);\n"
    "                               --resource sets the resource root of the INI and file service,\n"
    "                               the textures and every platform file (default .), --ini reads\n"
    "                               that INI file through it into the log; --keys holds these\n"
    "                               virtual keys (decimal or 0x hex) down during the frames;\n"
    "                               --clock puts timeGetTime on a manual clock that starts at MS\n"
    "                               and advances by --elapsed each frame;\n"
    "      [--gizmo X,Y,Z]          the scene system shows its debug gizmo at the point; the run\n"
    "                               reports the gizmo's draws and whether they came last in each frame\n"
    "      [--gamma G]              the scene system sets display gamma G (above 0) after its Init;\n"
    "                               the ramp entries 0, 128 and 255 are shown then and after\n"
    "                               the scene system restored them\n";

void PrintUsage() {
  std::fputs(kUsage, stdout);
  std::fputs(footlight::kSceneUsage, stdout);
  std::fputs(kRasterUsage, stdout);
  std::fputs(kGlowUsage, stdout);
  std::fputs(kLightsUsage, stdout);
  std::fputs(kPortalsUsage, stdout);
  std::fputs(footlight::kTerrainUsage, stdout);
  std::fputs(footlight::kVideoUsage, stdout);
  std::fputs(footlight::kMapsUsage, stdout);
  std::fputs(footlight::kPathUsage, stdout);
  std::fputs(kFilmUsage, stdout);
  std::fputs(kHelpersUsage, stdout);
  std::fputs(kObjectUsage, stdout);
  std::fputs(kObjectWalkUsage, stdout);
  std::fputs(kTreeUsage, stdout);
  std::fputs(kCameraUsage, stdout);
}

struct Options {
  std::string command;
  std::string library;
  int frames = 3;
  int elapsed = 16;
  std::vector<std::string> classes;
  std::string resource = ".";
  std::string ini;
  std::vector<int> keys;  // held down during the frames
  bool manualClock = false;
  DWORD clockStart = 0;
  float gamma = 0.0f;  // 0: not asked for
  bool showGizmo = false;
  GizmoPoint gizmo;
  std::vector<std::string> lightsArgs;  // everything after "lights"
  std::vector<std::string> portalsArgs;  // everything after "portals"
  RasterRunOptions raster;
  bool rasterGiven = false;
  std::vector<std::string> terrainArgs;  // everything after "terrain"
  std::vector<std::string> sceneCommandArgs;  // everything after "maps" or "path"
  std::vector<std::string> filmArgs;     // everything after "film"
  std::vector<std::string> helpersArgs;  // everything after "helpers"
  std::vector<std::string> objectArgs;   // everything after "object"
  std::vector<std::string> treeArgs;     // everything after "tree"
  std::vector<std::string> cameraArgs;   // everything after "camera"
  GlowRunOptions glow;
  footlight::SceneRunOptions scene;
  std::vector<std::string> videoArgs;  // everything after "video"
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
    } else if (o.command == "portals") {
      o.portalsArgs.push_back(arg);
    } else if (o.command == "terrain") {
      o.terrainArgs.push_back(arg);
    } else if (o.command == "video") {
      o.videoArgs.push_back(arg);
    } else if ((o.command == "maps" || o.command == "path") && arg != "--help" && arg != "-h" && arg != "--lib") {
      o.sceneCommandArgs.push_back(arg);
    } else if (o.command == "film") {
      o.filmArgs.push_back(arg);
    } else if (o.command == "helpers") {
      o.helpersArgs.push_back(arg);
    } else if (o.command == "object") {
      o.objectArgs.push_back(arg);
    } else if (o.command == "tree") {
      o.treeArgs.push_back(arg);
    } else if (o.command == "camera") {
      o.cameraArgs.push_back(arg);
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
    } else if (arg == "--gamma") {
      const char* text = value();
      if (!ParseGamma(text, &o.gamma))
        Fail("option --gamma takes a number above 0, got \"" + std::string(text) + "\"");
    } else if (arg == "--gizmo") {
      const char* text = value();
      if (!ParseGizmoPoint(text, &o.gizmo))
        Fail("option --gizmo takes three numbers X,Y,Z, got \"" + std::string(text) + "\"");
      o.showGizmo = true;
    } else if (footlight::IsSceneOption(arg)) {
      std::string error;
      if (!footlight::ParseSceneOption(arg, value(), &o.scene, &error)) Fail(error);
    } else if (arg == "--class") {
      o.classes.push_back(value());
    } else if (arg == "--keys") {
      std::string error;
      if (!footlight::ParseVirtualKeys(value(), &o.keys, &error)) Fail(error);
    } else if (arg == "--clock") {
      std::string error;
      if (!footlight::ParseMilliseconds(value(), &o.clockStart, &error)) Fail(error);
      o.manualClock = true;
    } else if (std::string error; TakeRasterOption(arg, value, &o.raster, &error)) {
      if (!error.empty()) Fail(error);
      o.rasterGiven = true;
    } else if (std::string error; TakeGlowOption(arg, value, &o.glow, &error)) {
      if (!error.empty()) Fail(error);
    } else if (!arg.empty() && arg[0] == '-') {
      Fail("unknown option " + arg + " (see footlight --help)");
    } else if (o.command.empty()) {
      o.command = arg;
    } else {
      Fail("unexpected argument \"" + arg + "\" (see footlight --help)");
    }
  }
  if (o.command.empty()) Fail("no command given (see footlight --help)");
  if (o.command != "classes" && o.command != "run" && o.command != "lights" && o.command != "portals" &&
      o.command != "terrain" && o.command != "video" && o.command != "maps" && o.command != "path" &&
      o.command != "film" && o.command != "helpers" && o.command != "tree" && o.command != "camera" &&
      o.command != "object")
    Fail("unknown command \"" + o.command + "\" (see footlight --help)");
  if (o.command == "classes" && (!o.classes.empty())) Fail("classes takes no --class option");
  if (o.command != "run" && (!o.keys.empty() || o.manualClock)) Fail("--keys and --clock are options of run");
  if (o.gamma > 0.0f && o.command != "run") Fail("--gamma is an option of run");
  if (o.gamma > 0.0f && !RunsASceneSystem(o.classes))
    Fail("--gamma needs a scene system among the classes (--class CSceneSystem)");
  if (o.command != "run" && o.rasterGiven) Fail("--size, --clear, --png and --no-raster belong to run");
  if (o.showGizmo && o.command != "run") Fail("--gizmo is an option of run");
  if (o.showGizmo && !RunsASceneSystem(o.classes))
    Fail("--gizmo needs a scene system among the classes (--class CSceneSystem)");
  if (o.command != "run" && o.glow.Any()) Fail("--backdrop, --glow, --glow-strength and --glow-blend belong to run");
  if (const std::string error = CheckGlowOptions(o.glow, o.raster.clear, o.classes); !error.empty()) Fail(error);
  if ((o.scene.wanted || o.scene.Extras()) && o.command != "run")
    Fail("--scene, --root, --ground, --pick and --trace are options of run");
  if (o.scene.Extras() && !o.scene.wanted) Fail("--root, --ground, --pick and --trace need --scene N");
  if (o.scene.trace > o.frames)
    Fail("--trace " + std::to_string(o.scene.trace) + " is past the last frame (--frames " +
         std::to_string(o.frames) + ")");
  if (o.scene.wanted && (!o.classes.empty() || o.gamma > 0.0f || !o.ini.empty() || !o.keys.empty() || o.manualClock))
    Fail("--scene makes its own scene system: no --class, --gamma, --ini, --keys or --clock with it");
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

  // The INI file is read before anything is made, so a file that does not open is a bad
  // argument that stops the run.
  std::vector<std::string> iniLines;
  if (!o.ini.empty() && !ini.DescribeIni(o.ini.c_str(), &iniLines))
    Fail("cannot open INI file " + o.ini + " below " + o.resource);
  Backdrop backdrop;
  if (std::string error; !o.glow.backdrop.empty() && !backdrop.Load(standard.renderer, o.glow.backdrop, &error)) {
    std::fprintf(stderr, "footlight: %s\n", error.c_str());
    return 1;
  }
  // The clock runs from the start: the components may read it as they are made.
  if (o.manualClock) win32::UseManualClock(o.clockStart);
  footlight::GammaWatch gamma;
  for (const auto& name : classes) {
    ComponentHandle h{};
    host.CreateObject(&h, name.c_str());
    if (h.IsZero()) host.Log("[footlight] %s was not created", name.c_str());
  }
  std::vector<std::string> subscriptions;
  for (const char* channel : {"execute", "realize", "system_messages", "LostDevice"})
    for (const auto& [handle, order] : host.Subscribers(channel))
      subscriptions.push_back(std::string(channel) + " " + host.ClassOf(handle) + " " + std::to_string(order));
  for (const auto& line : iniLines) host.Log("[ini] %s", line.c_str());
  std::vector<std::string> gammaLines;
  if (o.gamma > 0.0f) gammaLines.push_back(SetSceneGamma(host, o.gamma));
  const bool gizmoShown = o.showGizmo && ShowSceneGizmo(host, o.gizmo);
  gamma.Sample();
  if (o.raster.clear) standard.ClearEachFrame(o.raster.clearColour);
  StartGlow(host, o.glow);
  for (int key : o.keys) win32::SetKeyDown(key, true);
  const auto started = std::chrono::steady_clock::now();
  GizmoWatch gizmoDraws;
  for (int frame = 0; frame < o.frames; ++frame) {
    if (backdrop.Loaded()) backdrop.Put(standard);
    gizmoDraws.BeginFrame(standard.renderer);
    standard.Frame(static_cast<uint32_t>(o.elapsed));
    gizmoDraws.EndFrame(standard.renderer);
    if (o.manualClock) win32::AdvanceManualClock(static_cast<DWORD>(o.elapsed));
    gamma.Sample();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  for (int key : o.keys) win32::SetKeyDown(key, false);
  std::string pngError;
  const bool pngWritten =
      o.raster.png.empty() || WriteSurfacePng(*standard.renderer.device().BackBuffer(), o.raster.png, &pngError);
  const bool reset = standard.LoseAndResetDevice();
  gamma.Sample();
  host.DestroyAll();
  gamma.Sample();
  const DWORD clockEnd = timeGetTime();
  if (o.gamma > 0.0f) gammaLines.push_back(GammaRampLine("after destroy: ramp"));
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
  const host::RasterCounts& raster = r.Raster();
  std::printf("rasterised: %zu draws; not: %zu shader only, %zu without position, %zu outside the operations\n",
              raster.rasterised, raster.shaderOnly, raster.noPosition, raster.operation);
  std::printf("texts: %zu\n", raster.texts);
  std::printf("frames per second: %.1f\n", seconds > 0.0 ? static_cast<double>(o.frames) / seconds : 0.0);
  std::printf("textures: %zu loaded, %zu live\n", r.TextureLoads(), r.LiveTextures());
  std::printf("live buffers: %zu vertex, %zu index\n", r.LiveVertexBuffers(), r.LiveIndexBuffers());
  std::printf("live device resources: %zu default, %zu managed, %zu system memory\n",
              r.LiveResources(D3DPOOL_DEFAULT), r.LiveResources(D3DPOOL_MANAGED), r.LiveResources(D3DPOOL_SYSTEMMEM));
  std::printf("device reset: %s\n", reset ? "ok" : "refused");
  if (!o.keys.empty()) {
    std::printf("keys held:");
    for (int key : o.keys) std::printf(" 0x%02X", key);
    std::printf("\n");
  }
  if (o.manualClock) std::printf("clock: manual, %u ms at the start, %u ms at the end\n", o.clockStart, clockEnd);
  if (gamma.Changed()) std::printf("%s\n", gamma.Summary().c_str());
  for (const auto& line : gammaLines) std::printf("%s\n", line.c_str());
  if (o.showGizmo)
    std::printf("%s\n", gizmoShown ? gizmoDraws.Line(o.gizmo).c_str() : "gizmo: no scene system was made");
  std::printf("live host blocks: %zu\n", host.Allocator().LiveBlocks());
  if (!pngWritten) std::fprintf(stderr, "footlight: %s\n", pngError.c_str());
  return host.Allocator().LiveBlocks() == 0 && reset && pngWritten ? 0 : 1;
}

}  // namespace

// The lighting system of a scene system made for the purpose: the scene owns it, its frame update
// steps it and its main pass hands the queued lights their hardware slots.
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
    Fail("the scene system made no lighting system");
  }
  const int status = RunLightsCommand(host, services, lights, target, stdout, stderr);
  host.DestroyAll();
  return status;
}

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  // The scene commands check their arguments before the module is loaded.
  footlight::MapsOptions maps;
  footlight::PathOptions path;
  std::string sceneCommandError;
  if (options.command == "maps" && !footlight::ParseMapsOptions(options.sceneCommandArgs, &maps, &sceneCommandError))
    Fail(sceneCommandError);
  if (options.command == "path" && !footlight::ParsePathOptions(options.sceneCommandArgs, &path, &sceneCommandError))
    Fail(sceneCommandError);
  const DMAInterfaceFn entry = LoadEntry(options.library);
  if (options.command == "maps") return footlight::RunMapsCommand(maps, entry, stdout, stderr);
  if (options.command == "path") return footlight::RunPathCommand(path, entry, stdout, stderr);
  if (options.command == "lights") return Lights(options, entry);
  if (options.command == "portals") return RunPortalsCommand(options.portalsArgs, entry);
  if (options.command == "film") return RunFilmCommand(options.filmArgs, entry);
  if (options.command == "helpers") return RunHelpersCommand(options.helpersArgs, entry);
  if (options.command == "object") return RunObjectCommand(options.objectArgs, entry);
  if (options.command == "tree") return RunTreeCommand(options.treeArgs, entry);
  if (options.command == "camera") return RunCameraCommand(options.cameraArgs, entry);
  if (options.command == "terrain") {
    footlight::TerrainOptions terrain;
    std::string error;
    if (!footlight::ParseTerrainOptions(options.terrainArgs, &terrain, &error)) {
      if (error.empty()) {
        PrintUsage();
        return 0;
      }
      Fail(error);
    }
    return footlight::RunTerrainCommand(terrain, entry, stdout, stderr);
  }
  if (options.command == "video") {
    footlight::VideoOptions video;
    std::string error;
    if (!footlight::ParseVideoOptions(options.videoArgs, &video, &error)) {
      if (error.empty()) {
        PrintUsage();
        return 0;
      }
      Fail(error);
    }
    return footlight::RunVideoCommand(video, entry, stdout, stderr);
  }
  // The services are set before the module is loaded: DMAInterface copies the INI service.
  host::RendererConfig config;
  config.device.width = options.raster.width;
  config.device.height = options.raster.height;
  config.rasterize = options.raster.raster;
  host::StandardHost standard(options.resource, config);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) Fail(options.library + " returned an empty class list");
  if (options.command == "classes") return Classes(host);
  if (options.scene.wanted)
    return footlight::RunScene(standard, options.scene, footlight::SceneDrawOptions{options.raster, options.glow, options.showGizmo, options.gizmo},
                               options.frames, options.elapsed, stdout, stderr);
  return Run(standard, options);
}
