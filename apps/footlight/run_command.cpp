#include "apps/footlight/run_command.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/footlight/gamma_option.h"
#include "apps/footlight/gizmo_option.h"
#include "apps/footlight/glow_options.h"
#include "apps/footlight/raster_options.h"
#include "apps/footlight/run_state.h"
#include "apps/footlight/scene_run.h"
#include "frame/component_factory.h"
#include "host/standard_host.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace footlight {
namespace {

struct RunOptions {
  int frames = 3;
  int elapsed = 16;
  std::vector<std::string> classes;
  std::string resource = ".";
  std::string ini;
  std::vector<int> keys;  // held down during the frames
  std::optional<DWORD> clock;
  std::optional<float> gamma;
  std::optional<GizmoPoint> gizmo;
  bool verbose = false;
  RasterRunOptions raster;
  GlowRunOptions glow;
  SceneRunOptions scene;
};

std::string Check(const RunOptions& o) {
  if (o.gamma && !RunsASceneSystem(o.classes))
    return "--gamma needs a scene system among the classes (--class CSceneSystem)";
  if (o.gizmo && !o.scene.scene && !RunsASceneSystem(o.classes))
    return "--gizmo needs a scene system among the classes (--class CSceneSystem)";
  if (std::string line = CheckGlowOptions(o.glow, o.raster.clear.has_value(), o.classes); !line.empty()) return line;
  if (o.scene.Extras() && !o.scene.scene) return "--root, --ground, --pick and --trace need --scene N";
  if (o.scene.trace > o.frames)
    return "--trace " + std::to_string(o.scene.trace) + " is past the last frame (--frames " +
           std::to_string(o.frames) + ")";
  if (o.scene.scene && (!o.classes.empty() || o.gamma || !o.ini.empty() || !o.keys.empty() || o.clock))
    return "--scene makes its own scene system: no --class, --gamma, --ini, --keys or --clock with it";
  return "";
}

int RunClasses(host::StandardHost& standard, const RunOptions& o) {
  host::ReferenceHost& host = standard.host;
  host::IniService& ini = standard.ini;
  std::vector<std::string> classes = o.classes;
  if (classes.empty())
    for (CComponentFactory* f = host.FactoryList(); f != nullptr; f = f->next) classes.push_back(f->GetClassName());
  for (const auto& name : classes)
    if (host.FindFactory(name.c_str()) == nullptr) return cli::Usage("the module has no class named \"" + name + "\"");

  // The INI file is read before anything is made, so a file that does not open stops the run.
  std::vector<std::string> iniLines;
  if (std::string line; !o.ini.empty() && !cli::Readable(o.resource, o.ini, &line, host::kIniFileMaxBytes)) return cli::Fail(line);
  if (!o.ini.empty() && !ini.DescribeIni(o.ini.c_str(), &iniLines))
    return cli::Fail("the INI file " + o.ini + " does not read");
  Backdrop backdrop;
  if (std::string error; !o.glow.backdrop.empty() && !backdrop.Load(standard.renderer, o.glow.backdrop, &error))
    return cli::Fail(error);
  // The clock runs from the start: the components may read it as they are made.
  if (o.clock) win32::UseManualClock(*o.clock);
  GammaWatch gamma;
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
  if (o.gamma) gammaLines.push_back(SetSceneGamma(host, *o.gamma));
  const bool gizmoShown = o.gizmo && ShowSceneGizmo(host, *o.gizmo);
  gamma.Sample();
  if (o.raster.clear) standard.ClearEachFrame(o.raster.ClearColour());
  StartGlow(host, o.glow);
  for (int key : o.keys) win32::SetKeyDown(key, true);
  const auto started = std::chrono::steady_clock::now();
  GizmoWatch gizmoDraws;
  for (int frame = 0; frame < o.frames; ++frame) {
    if (backdrop.Loaded()) backdrop.Put(standard);
    standard.Frame(static_cast<uint32_t>(o.elapsed));
    gizmoDraws.EndFrame(standard.renderer);
    if (o.clock) win32::AdvanceManualClock(static_cast<DWORD>(o.elapsed));
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
  if (o.gamma) gammaLines.push_back(GammaRampLine("after destroy: ramp"));
  const host::Renderer& r = standard.renderer;

  if (o.verbose) {
    std::printf("== subscriptions ==\n");
    for (const auto& line : subscriptions) std::printf("%s\n", line.c_str());
  }
  std::printf("== host log ==\n");
  cli::PrintLog(stdout, host.LogLines());
  std::printf("== registry log ==\n");
  cli::PrintLog(stdout, host.Registry().LogLines());
  std::printf("== summary ==\n");
  std::printf("objects created: %zu\n", host.ObjectsCreated());
  std::printf("objects destroyed: %zu\n", host.ObjectsDestroyed());
  std::printf("frames: %zu\n", host.FramesRun());
  std::printf("messages: %zu\n", host.MessagesSent());
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
  if (o.clock) std::printf("clock: manual, %u ms at the start, %u ms at the end\n", *o.clock, clockEnd);
  if (gamma.Changed()) std::printf("%s\n", gamma.Summary().c_str());
  for (const auto& line : gammaLines) std::printf("%s\n", line.c_str());
  if (o.gizmo) std::printf("%s\n", gizmoShown ? gizmoDraws.Line(*o.gizmo).c_str() : "gizmo: no scene system was made");
  if (pngWritten && !o.raster.png.empty()) cli::Wrote(o.raster.png);
  std::printf("live host blocks: %zu\n", host.Allocator().LiveBlocks());
  if (!pngWritten) return cli::Fail(pngError);
  return host.Allocator().LiveBlocks() == 0 && reset ? 0 : 1;
}

int Run(const RunOptions& o, const cli::Context& context) {
  // The services are set before the module is loaded: DMAInterface copies the INI service.
  host::RendererConfig config = o.raster.Config();
  config.rasterize = !o.raster.noRaster;
  if (o.scene.scene) {
    SceneSession session(o.resource, context.entry, config);
    return RunScene(session, o.scene, SceneDrawOptions{o.raster, o.glow, o.gizmo}, o.frames, o.elapsed, stdout,
                    stderr);
  }
  host::StandardHost standard(o.resource, config);
  if (standard.host.LoadModule(context.entry) == nullptr)
    return context.EmptyClassList();
  return RunClasses(standard, o);
}

}  // namespace

void AddRunCommand(cli::Program& program) {
  auto* o = program.Keep<RunOptions>();
  CLI::App* cmd = program.Command("run", "create components (or load a scene with --scene) and drive frames",
                                  [o](const cli::Context& context) { return Run(*o, context); });
  cli::Whole(cmd, "--frames", &o->frames, 0, INT_MAX, "frames to run (default 3)");
  cli::Whole(cmd, "--elapsed", &o->elapsed, 0, INT_MAX, "milliseconds a frame (default 16)")->type_name("MS");
  cmd->add_option("--class", o->classes, "create this class (again for more; default: every class)")
      ->type_name("NAME")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  cli::ResourceRoot(cmd, &o->resource);
  cli::ResourcePath(cmd, "--ini", &o->ini, "read this INI file through the INI service into the log");
  cli::Custom<std::vector<int>>(
      cmd, "--keys", &o->keys, "VK,VK", "virtual keys 1-254, decimal or 0x hex, separated by commas",
      [](const std::string& text, std::vector<int>* keys) {
        std::string unused;
        return ParseVirtualKeys(text, keys, &unused);
      },
      "hold these virtual keys down during the frames");
  cli::Custom<DWORD>(
      cmd, "--clock", &o->clock, "MS", "milliseconds from 0 to 4294967295",
      [](const std::string& text, DWORD* ms) {
        std::string unused;
        return ParseMilliseconds(text, ms, &unused);
      },
      "put timeGetTime on a manual clock that starts at MS and advances by --elapsed each frame");
  cli::Number(cmd, "--gamma", &o->gamma, "the scene system sets the display gamma G after its Init",
              cli::Range::Above(0.0))
      ->type_name("G");
  cli::Value(cmd, "--gizmo", &o->gizmo, "the scene system shows its debug gizmo at the point");
  cmd->add_flag("--verbose", o->verbose, "list each channel subscription (channel, class, order)");
  DeclareRasterOptions(cmd, &o->raster);
  DeclareGlowOptions(cmd, &o->glow);
  DeclareSceneOptions(cmd, &o->scene);
  program.Check(cmd, [o] { return Check(*o); });
}

}  // namespace footlight
