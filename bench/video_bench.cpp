// Decodes 10 s clips of 640 x 480 at 30 frames a second (WMV2 from an ASF file, lossless FFV1
// from Matroska) through the filter graph: the file source, the colour converter and the
// texture renderer with no clock, so frames are copied as fast as they decode. Prints the
// frames a second and the ratio to real time (the clip's length over the time it took), the
// peer being the clip played as it is meant to be watched.
//
//   footlight_video_bench [benchmark options]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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
    for (const char* name : {"clip.asf", "clip.mkv"}) {
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

void BM_DecodeWmv2(benchmark::State& state) { Decode(state, L"clip.asf", "wmv2"); }
void BM_DecodeFfv1(benchmark::State& state) { Decode(state, L"clip.mkv", "ffv1"); }

BENCHMARK(BM_DecodeWmv2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DecodeFfv1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
