// What the host's records cost a scene run without rasterising (sample stage 1 from its origin
// camera, as `footlight run --scene 1 --no-raster` runs it):
// - memory: the resident set at frame 100 and at frame 10,000 of one run; a host that kept every
//   frame's draws and calls would grow by their bytes each frame;
// - time: a frame with the renderer recording (each draw's vertices, indices and state, the call
//   log) against the same frame with recording off (its peer); the difference is the share of the
//   frame spent keeping records. The scene's update yields the processor for a millisecond each
//   frame, so the figures compared are the thread's CPU time.
// - rasterised memory: the resident set at frame 100 and at frame 2,000 of two runs that draw
//   through the rasteriser, as `footlight terrain resource/terrain/hills.r16 --eye 300,400,300
//   --at 300,0,300` and `footlight object 3 --scene 1 --draw` run them; work the rasteriser queued
//   and nobody waited for would grow with every frame.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "camera/base_camera.h"
#include "frame/dma_interface.h"
#include "host/generic_object.h"
#include "host/height_file.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "ratio_reporter.h"
#include "scene/scene_system.h"
#include "terrain/terrain_manager.h"

namespace {

const std::string kSamples = FOOTLIGHT_SOURCE_DIR "/samples";
constexpr int kFirstFrames = 100;
constexpr int kLastFrame = 10000;
constexpr int kLastRasterFrame = 2000;
constexpr int kTimedFrames = 1000;
double g_firstMegabytes = 0.0, g_lastMegabytes = 0.0;
// The rasterised runs' resident sets at frame 100 and at frame 2,000, by run.
struct RasterMemory {
  const char* name;
  double first = 0.0, last = 0.0;
};
RasterMemory g_raster[] = {{"object"}, {"terrain"}};

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
  host::StandardHost standard;
  CSceneSystem* scene = nullptr;

  explicit StageRun(const host::RendererConfig& config = NoRaster()) : standard(kSamples, config) {
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

// Runs `frame` to frame 2,000 and keeps the resident set at frames 100 and 2,000.
template <class Step>
void RasterRun(benchmark::State& state, RasterMemory* memory, Step frame) {
  for (int k = 1; k <= kFirstFrames; ++k) frame();
  memory->first = ResidentMegabytes();
  for (int k = kFirstFrames + 1; k <= kLastRasterFrame; ++k) frame();
  memory->last = ResidentMegabytes();
  state.counters["MB_at_100"] = memory->first;
  state.counters["MB_at_2000"] = memory->last;
}

// The sample hills seen from 400 above (300, 300), each frame cleared first.
void TerrainMemory(benchmark::State& state) {
  for (auto _ : state) {
    host::StandardHost standard(kSamples);
    host::HeightField field;
    std::string error;
    CTerrainManager* terrain = nullptr;
    ComponentHandle handle{};
    if (standard.host.LoadModule(&DMAInterface) != nullptr &&
        host::ReadHeightFile(kSamples + "/resource/terrain/hills.r16", &field, &error) &&
        standard.host.CreateObject(&handle, "CTerrainManager"))
      terrain = static_cast<CTerrainManager*>(static_cast<CComponentBase*>(standard.host.GetObject(&handle)));
    const TerrainHeightMap map = field.Map();
    if (terrain == nullptr || !terrain->UpdateAllBlocks(&map)) {
      state.SkipWithError("the sample terrain does not load");
      return;
    }
    terrain->SetName("resource\\terrain\\");
    terrain->AddLayer("grass.dds", nullptr, nullptr, false);
    const D3DXVECTOR3 eye(300, 400, 300), at(300, 0, 300), up(0, 0, 1);
    standard.renderer.SetLookAt(&eye, &at, &up);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 3.0f, 800.0f / 600.0f, 1.0f, 6000.0f);
    standard.renderer.SetTransform(D3DTS_PROJECTION, &projection);
    standard.ClearEachFrame(0xFF000000u);
    RasterRun(state, &g_raster[1], [&] { standard.Frame(16); });
    if (standard.renderer.Raster().rasterised == 0) state.SkipWithError("nothing was rasterised");
    standard.host.DestroyAll();
  }
}

// Object 3 standing on stage 1 and drawn by the scene's passes each frame.
void ObjectMemory(benchmark::State& state) {
  for (auto _ : state) {
    StageRun run(host::RendererConfig{});
    ComponentHandle handle{};
    CSceneBaseObj* object = nullptr;
    if (run.scene != nullptr && run.standard.host.CreateObject(&handle, "CSceneBaseObj"))
      object = static_cast<CSceneBaseObj*>(static_cast<CComponentBase*>(run.standard.host.GetObject(&handle)));
    if (object == nullptr || !object->LoadFromIni(3, 0, 0, 0.0f)) {
      state.SkipWithError("object 3 does not load on sample stage 1");
      return;
    }
    const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
    object->SetPositionAction(&origin, 0.0f, 0);
    object->Show(true);
    host::StandardHost& standard = run.standard;
    RasterRun(state, &g_raster[0], [&] {
      standard.Frame(16);
      object->Execute(16);
      standard.renderer.BeginScene();
      object->Realize(16);
      object->RealizeBlend(16);
      standard.renderer.EndScene();
    });
    if (standard.renderer.Raster().rasterised == 0) state.SkipWithError("nothing was rasterised");
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
  // The smaller run first, so that what the larger one leaves in the heap does not hide its growth.
  benchmark::RegisterBenchmark("raster_memory/object", ObjectMemory)->Iterations(1)->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark("raster_memory/terrain", TerrainMemory)->Iterations(1)->Unit(benchmark::kSecond);
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
  for (const RasterMemory& m : g_raster) {
    if (m.first <= 0.0) continue;
    std::printf("rasterised %s memory at frame %d: %.1f MB, at frame %d: %.1f MB (%+.1f MB)\n", m.name, kFirstFrames,
                m.first, kLastRasterFrame, m.last, m.last - m.first);
    std::printf("ratio raster_%s_memory_%d/%d %.3f\n", m.name, kLastRasterFrame, kFirstFrames, m.last / m.first);
  }
  const std::string timed = "/iterations:" + std::to_string(kTimedFrames);
  const double recording = reporter.Cpu("frame/recording" + timed), plain = reporter.Cpu("frame/not_recording" + timed);
  if (recording > 0.0 && plain > 0.0) {
    std::printf("ratio recording/not_recording %.3f\n", recording / plain);
    std::printf("ratio recording_share %.3f\n", (recording - plain) / recording);
  }
  return 0;
}
