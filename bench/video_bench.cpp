// Decodes 10 s clips of 640 x 480 at 30 frames a second (WMV2 from an ASF file, lossless FFV1
// from Matroska) through the filter graph: the file source, the colour converter and the
// texture renderer with no clock, so frames are copied as fast as they decode. Prints the
// frames a second and the ratio to real time (the clip's length over the time it took), the
// peer being the clip played as it is meant to be watched. Then watches the clip with sound
// through `footlight video --reader` on the clock and prints the CPU and context switches a
// second of video costs.
//
//   footlight_video_bench [benchmark options]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "apps/makeclip/clip_maker.h"
#include "dshow/filter_graph.h"
#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "video/texture_renderer.h"
#include "win32/file_system.h"

namespace {

constexpr int kFrames = 300;
constexpr int kRate = 30;

struct Clips {
  std::filesystem::path root;
  Clips() {
    root = std::filesystem::temp_directory_path() / ("footlight_video_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    clip::ClipOptions options;
    options.width = 640;
    options.height = 480;
    options.frames = kFrames;
    options.rate = kRate;
    options.audio = false;
    for (const char* name : {"clip.asf", "clip.mkv", "sound.asf"}) {
      options.audio = std::string(name) == "sound.asf";  // a second stream to watch
      std::string error;
      if (!clip::MakeClip((root / name).string(), options, &error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
  }
  ~Clips() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

Clips& TheClips() {
  static Clips clips;
  return clips;
}

template <typename T>
T* Query(IUnknown* object, REFIID iid) {
  void* face = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &face)) ? static_cast<T*>(face) : nullptr;
}

// Plays the file to its end; the frames the texture renderer copied.
long PlayToEnd(const wchar_t* file) {
  IGraphBuilder* graph = nullptr;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, reinterpret_cast<void**>(&graph));
  HRESULT hr = S_OK;
  auto* renderer = new CTextureRenderer(nullptr, &hr);
  graph->AddFilter(renderer, L"TEXTURERENDERER");
  renderer->SetSyncSource(nullptr);  // no pacing: each frame is drawn as soon as it arrives
  IBaseFilter* source = nullptr;
  IPin *out = nullptr, *in = nullptr;
  long copied = -1;
  if (SUCCEEDED(graph->AddSourceFilter(file, L"SOURCE", &source)) && SUCCEEDED(source->FindPin(L"Output", &out)) &&
      SUCCEEDED(renderer->FindPin(L"In", &in)) && SUCCEEDED(graph->Connect(out, in))) {
    auto* control = Query<IMediaControl>(graph, IID_IMediaControl);
    auto* events = Query<IMediaEvent>(graph, IID_IMediaEvent);
    control->Run();
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 10000) == S_OK && code != EC_COMPLETE) {
    }
    copied = renderer->SamplesRendered();
    control->Stop();
    events->Release();
    control->Release();
  }
  if (in) in->Release();
  if (out) out->Release();
  if (source) source->Release();
  graph->Release();
  return copied;
}

void Decode(benchmark::State& state, const wchar_t* file, const char* name) {
  Clips& clips = TheClips();
  host::StandardHost standard(clips.root.string());
  standard.host.LoadModule(&DMAInterface);
  double seconds = 0;
  long frames = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const long copied = PlayToEnd(file);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (copied != kFrames) {
      state.SkipWithError("the clip did not play to its end");
      break;
    }
    frames += copied;
  }
  standard.host.DestroyAll();
  if (seconds <= 0) return;
  const double fps = frames / seconds;
  state.counters["fps"] = fps;
  state.counters["realtime_ratio"] = fps / kRate;
  std::printf("ratio %s_realtime %.2f (%.0f frames a second)\n", name, fps / kRate, fps);
}

// CPU seconds and context switches of the waited-for children so far.
struct Usage {
  double cpu = 0;
  double switches = 0;
  static Usage Children() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    Usage u;
    u.cpu = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
            static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
    u.switches = static_cast<double>(r.ru_nvcsw + r.ru_nivcsw);
    return u;
  }
};

// What one run of `footlight video --reader` on the clip with sound cost, `frames` frames 33 ms
// apart in real time: video and sound each on a streaming thread, paced by the graph's clock.
bool WatchRun(const std::string& root, int frames, Usage* cost) {
  const std::string cmd = std::string(FOOTLIGHT_BINARY_DIR) + "/footlight video sound.asf --resource '" + root +
                          "' --reader --frames " + std::to_string(frames) + " --elapsed 33 >/dev/null 2>&1";
  const Usage before = Usage::Children();
  const int status = std::system(cmd.c_str());
  const Usage after = Usage::Children();
  cost->cpu = after.cpu - before.cpu;
  cost->switches = after.switches - before.switches;
  return status == 0;
}

// The clip watched as it is meant to be: the cost of ten more seconds of playback (a run of 330
// frames less a run of 30, so that start-up and set-up cancel), per second of video.
void BM_Watch(benchmark::State& state) {
  Clips& clips = TheClips();
  double cpu = 0, switches = 0, video = 0;
  for (auto _ : state) {
    Usage shortRun, longRun;
    if (!WatchRun(clips.root.string(), 30, &shortRun) || !WatchRun(clips.root.string(), 330, &longRun)) {
      state.SkipWithError("footlight video failed");
      return;
    }
    video += 300 * 0.033;
    cpu += longRun.cpu - shortRun.cpu;
    switches += longRun.switches - shortRun.switches;
  }
  if (video <= 0) return;
  state.counters["cpu_per_video_s"] = cpu / video;
  state.counters["switches_per_s"] = switches / video;
  std::printf("ratio watched_cpu %.3f (CPU seconds a second of video, target under 0.1); %.0f context switches a "
              "second (target under 1,000)\n",
              cpu / video, switches / video);
}

void BM_DecodeWmv2(benchmark::State& state) { Decode(state, L"clip.asf", "wmv2"); }
void BM_DecodeFfv1(benchmark::State& state) { Decode(state, L"clip.mkv", "ffv1"); }

BENCHMARK(BM_DecodeWmv2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DecodeFfv1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Watch)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
