// The glow's cost: a 800 x 600 frame (a clear and a read-back of the back buffer) with the glow
// switched on, against the same frame with it off (its peer). The glow copies the frame, draws
// five 256 x 256 passes and one full-screen quad; the ratio is what it adds to a bare frame.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "ratio_reporter.h"

namespace {

host::RendererConfig Config() {
  host::RendererConfig config;
  config.device.width = 800;
  config.device.height = 600;
  return config;
}

// The module as the command line loads it, so that its factory list is whole.
DMAInterfaceFn Entry() {
  void* lib = dlopen(FOOTLIGHT_BINARY_DIR "/libfootlight.so", RTLD_NOW | RTLD_LOCAL);
  void* symbol = lib != nullptr ? dlsym(lib, "DMAInterface") : nullptr;
  DMAInterfaceFn entry = nullptr;
  if (symbol != nullptr) std::memcpy(&entry, &symbol, sizeof entry);
  return entry;
}

void GlowFrame(benchmark::State& state, bool glow) {
  const DMAInterfaceFn entry = Entry();
  host::StandardHost standard(".", Config());
  if (entry == nullptr || standard.host.LoadModule(entry) == nullptr) {
    state.SkipWithError("cannot load libfootlight.so");
    return;
  }
  ComponentHandle handle{};
  standard.host.CreateObject(&handle, "CGlow");
  if (glow) standard.host.SystemMessage(0x101, 0x24, 0);  // Home released: the glow on
  standard.renderer.SetRecording(false);
  standard.ClearEachFrame(0xFF406080u);
  auto frame = [&] {
    standard.Frame(16);
    host::Surface* back = standard.renderer.device().BackBuffer();
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(back->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
      benchmark::DoNotOptimize(*static_cast<volatile uint32_t*>(locked.pBits));
      back->UnlockRect();
    }
  };
  frame();  // the programs are built once, outside the timing
  if (glow && standard.renderer.DrawCount() != 6) {
    state.SkipWithError("the glow did not draw");
    standard.host.DestroyAll();
    return;
  }
  // What crosses between memory and GL each frame: no upload, and the one read-back the frame's
  // lock asks for, with the glow on as with it off.
  const host::Rasterizer* raster = standard.renderer.Raster3D();
  const size_t uploads = raster != nullptr ? raster->Uploads() : 0;
  const size_t readBacks = raster != nullptr ? raster->ReadBacks() : 0;
  for (auto _ : state) frame();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  if (raster != nullptr) {
    const auto perFrame = [&](size_t count) {
      return benchmark::Counter(static_cast<double>(count), benchmark::Counter::kAvgIterations);
    };
    state.counters["uploads"] = perFrame(raster->Uploads() - uploads);
    state.counters["read-backs"] = perFrame(raster->ReadBacks() - readBacks);
  }
  standard.host.DestroyAll();
}
}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("frame/glow", GlowFrame, true)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("frame/plain", GlowFrame, false)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double glow = reporter.Get("frame/glow/real_time"), plain = reporter.Get("frame/plain/real_time");
  if (glow > 0.0 && plain > 0.0) std::printf("ratio glow/plain %.2f\n", glow / plain);
  return 0;
}
