// What the host's records cost a scene run without rasterising (sample stage 1 from its origin
// camera, as `footlight run --scene 1 --no-raster` runs it):
// - memory: the resident set at frame 100 and at frame 10,000 of one run; a host that kept every
//   frame's draws and calls would grow by their bytes each frame;
// - time: a frame with the renderer recording (each draw's vertices, indices and state, the call
//   log) against the same frame with recording off (its peer); the difference is the share of the
//   frame spent keeping records. The scene's update yields the processor for a millisecond each
//   frame, so the figures compared are the thread's CPU time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "camera/base_camera.h"
#include "frame/dma_interface.h"
#include "host/generic_object.h"
#include "host/standard_host.h"
#include "ratio_reporter.h"
#include "scene/scene_system.h"

namespace {

const std::string kSamples = FOOTLIGHT_SOURCE_DIR "/samples";
constexpr int kFirstFrames = 100;
constexpr int kLastFrame = 10000;
constexpr int kTimedFrames = 1000;
double g_firstMegabytes = 0.0, g_lastMegabytes = 0.0;

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

host::RendererConfig NoRaster() {
  host::RendererConfig config;
  config.rasterize = false;
  return config;
}

// Stage 1 loaded and seen from its origin camera; null scene when it does not load.
struct StageRun {
  host::StandardHost standard{kSamples, NoRaster()};
  CSceneSystem* scene = nullptr;

  StageRun() {
    host::ReferenceHost& host = standard.host;
    if (host.LoadModule(&DMAInterface) == nullptr) return;
    auto effects = std::make_shared<host::RecordingClass>("effect");
    host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
    ComponentHandle handle{};
    host.CreateObject(&handle, "CSceneSystem");
    auto* made = static_cast<CSceneSystem*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
    if (made == nullptr || !made->LoadScene(1)) return;
    scene = made;
    CBaseCamera* camera = scene->GetCamera();
    if (camera != nullptr) camera->SetLookAt(&scene->originCameraEye, &scene->originCameraTarget);
    const float fov = camera != nullptr ? camera->GetFieldOfView() : 60.0f;
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &scene->originCameraEye, &scene->originCameraTarget, &up);
    D3DXMatrixPerspectiveFovLH(&projection, fov * D3DX_PI / 180.0f, 800.0f / 600.0f, 1.0f, 1000.0f);
    standard.renderer.SetTransform(D3DTS_VIEW, &view);
    standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
    standard.ClearEachFrame(0);
  }
  ~StageRun() { standard.host.DestroyAll(); }
};

void Memory(benchmark::State& state) {
  for (auto _ : state) {
    StageRun run;
    if (run.scene == nullptr) {
      state.SkipWithError("sample stage 1 does not load");
      return;
    }
    for (int frame = 1; frame <= kFirstFrames; ++frame) run.standard.Frame(16);
    const double first = ResidentMegabytes();
    for (int frame = kFirstFrames + 1; frame <= kLastFrame; ++frame) run.standard.Frame(16);
    const double last = ResidentMegabytes();
    state.counters["MB_at_100"] = g_firstMegabytes = first;
    state.counters["MB_at_10000"] = g_lastMegabytes = last;
  }
}

void Frame(benchmark::State& state, bool recording) {
  StageRun run;
  if (run.scene == nullptr) {
    state.SkipWithError("sample stage 1 does not load");
    return;
  }
  run.standard.renderer.SetRecording(recording);
  // Past the load's first frames, where textures are read and programs made.
  for (int frame = 0; frame < 10; ++frame) run.standard.Frame(16);
  for (auto _ : state) run.standard.Frame(16);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("memory", Memory)->Iterations(1)->Unit(benchmark::kSecond);
  // The same frames for both: the stage moves on from frame to frame.
  benchmark::RegisterBenchmark("frame/recording", Frame, true)->Iterations(kTimedFrames)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("frame/not_recording", Frame, false)
      ->Iterations(kTimedFrames)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (g_firstMegabytes > 0.0) {
    std::printf("memory at frame %d: %.1f MB, at frame %d: %.1f MB (%+.1f MB)\n", kFirstFrames, g_firstMegabytes,
                kLastFrame, g_lastMegabytes, g_lastMegabytes - g_firstMegabytes);
    std::printf("ratio memory_%d/%d %.3f\n", kLastFrame, kFirstFrames, g_lastMegabytes / g_firstMegabytes);
  }
  const std::string timed = "/iterations:" + std::to_string(kTimedFrames);
  const double recording = reporter.Cpu("frame/recording" + timed), plain = reporter.Cpu("frame/not_recording" + timed);
  if (recording > 0.0 && plain > 0.0) {
    std::printf("ratio recording/not_recording %.3f\n", recording / plain);
    std::printf("ratio recording_share %.3f\n", (recording - plain) / recording);
  }
  return 0;
}
