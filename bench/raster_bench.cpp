// Frames per second of the reference device's rasteriser: a synthetic 640 x 480 frame of 4,000
// lit, textured triangles with a read-back of the back buffer, against the same frame recorded
// without rasterising (its peer); and `footlight run` with and without --no-raster.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/renderer.h"
#include "ratio_reporter.h"

namespace {

constexpr UINT kWidth = 640, kHeight = 480;
constexpr int kColumns = 50, kRows = 40;  // 2,000 quads
constexpr int kDraws = 10;

struct Vertex {
  float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Frame {
  explicit Frame(bool raster) : renderer(Config(raster)) {
    host::Renderer& r = renderer;
    const int vertices = (kColumns + 1) * (kRows + 1);
    vb = r.CreateVertexBuffer(kFvf, vertices * sizeof(Vertex), 0, D3DPOOL_MANAGED);
    auto* v = static_cast<Vertex*>(r.LockVertexBuffer(vb, 0, 0, 0));
    for (int y = 0; y <= kRows; ++y)
      for (int x = 0; x <= kColumns; ++x)
        v[y * (kColumns + 1) + x] = {static_cast<float>(x) / kColumns * 2 - 1, 1 - static_cast<float>(y) / kRows * 2,
                                     0.5f, 0, 0, -1, static_cast<float>(x) / 8, static_cast<float>(y) / 8};
    r.UnlockVertexBuffer(vb);
    ib = r.CreateIndexBuffer(kColumns * kRows * 6 * 2, 0, D3DPOOL_MANAGED, D3DFMT_INDEX16);
    auto* i = static_cast<uint16_t*>(r.LockIndexBuffer(ib, 0, 0, 0));
    for (int y = 0; y < kRows; ++y)
      for (int x = 0; x < kColumns; ++x) {
        const uint16_t a = static_cast<uint16_t>(y * (kColumns + 1) + x), b = static_cast<uint16_t>(a + 1),
                       c = static_cast<uint16_t>(a + kColumns + 1), d = static_cast<uint16_t>(c + 1);
        const uint16_t quad[6] = {a, b, c, b, d, c};
        std::memcpy(i + (y * kColumns + x) * 6, quad, sizeof quad);
      }
    r.UnlockIndexBuffer(ib);
    r.CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        static_cast<uint32_t*>(locked.pBits)[y * 64 + x] = ((x ^ y) & 8) ? 0xFFFFFFFF : 0xFF808080;
    texture->UnlockRect(0);
    r.SetBaseTexture(0, texture);
    r.SetRenderState(D3DRS_LIGHTING, TRUE);
    r.SetRenderState(D3DRS_AMBIENT, 0x00202020);
    D3DLIGHT8 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {1, 1, 1, 1};
    sun.Direction = {0.3f, -0.3f, 1};
    r.SetLight(0, &sun);
    r.LightEnable(0, TRUE);
    D3DLIGHT8 lamp = sun;
    lamp.Type = D3DLIGHT_POINT;
    lamp.Position = {0, 0, -1};
    lamp.Range = 10;
    lamp.Attenuation0 = 1;
    r.SetLight(1, &lamp);
    r.LightEnable(1, TRUE);
    r.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    r.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    r.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    r.SetRecording(false);
  }
  ~Frame() {
    renderer.SetBaseTexture(0, nullptr);
    texture->Release();
    renderer.ReleaseVertexBuffer(vb);
    renderer.ReleaseIndexBuffer(ib);
  }
  static host::RendererConfig Config(bool raster) {
    host::RendererConfig config;
    config.device.width = kWidth;
    config.device.height = kHeight;
    config.rasterize = raster;
    return config;
  }
  void Draw() {
    host::Renderer& r = renderer;
    r.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0);
    r.BeginScene();
    const UINT perDraw = kColumns * kRows * 2 / kDraws;
    for (int d = 0; d < kDraws; ++d)
      r.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, vb, sizeof(Vertex), ib, 0, (kColumns + 1) * (kRows + 1),
                             d * perDraw * 3, perDraw, -1, 0);
    r.EndScene();
    D3DLOCKED_RECT locked{};
    host::Surface* back = r.device().BackBuffer();
    if (SUCCEEDED(back->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
      benchmark::DoNotOptimize(*static_cast<volatile uint32_t*>(locked.pBits));
      back->UnlockRect();
    }
  }

  host::Renderer renderer;
  int vb = -1, ib = -1;
  IDirect3DTexture8* texture = nullptr;
};

void SyntheticFrame(benchmark::State& state, bool raster) {
  Frame frame(raster);
  frame.Draw();  // the programs are built once, outside the timing
  const size_t before = frame.renderer.Raster().rasterised;
  for (auto _ : state) frame.Draw();
  state.counters["draws"] = static_cast<double>(frame.renderer.Raster().rasterised - before) /
                            static_cast<double>(state.iterations());
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The device's memory clear of a 640 x 480 colour target and its depth buffer (the stencil
// bits survive, so the depth is a masked fill), against memset over the same bytes.
void ClearMemory(benchmark::State& state) {
  host::DeviceConfig config;
  config.width = kWidth;
  config.height = kHeight;
  host::Device device(config);
  for (auto _ : state) {
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0);
    benchmark::DoNotOptimize(device.BackBuffer()->Bits());
  }
}

void ClearMemset(benchmark::State& state) {
  std::vector<uint8_t> colour(kWidth * kHeight * 4), depth(kWidth * kHeight * 4);
  for (auto _ : state) {
    std::memset(colour.data(), 0x66, colour.size());
    std::memset(depth.data(), 0xFF, depth.size());
    benchmark::DoNotOptimize(colour.data());
    benchmark::DoNotOptimize(depth.data());
  }
}

// Frames per second as `footlight run` reports them.
void RunCommand(benchmark::State& state, const char* extra) {
  const std::string cmd = std::string(FOOTLIGHT_BINARY_DIR) +
                          "/footlight run --frames 60 --size 640x480 --clear 336699 " + extra + " 2>/dev/null";
  double fps = 0;
  for (auto _ : state) {
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
      state.SkipWithError("cannot run footlight");
      return;
    }
    char line[512];
    while (std::fgets(line, sizeof line, p))
      if (std::strncmp(line, "frames per second: ", 19) == 0) fps = std::atof(line + 19);
    pclose(p);
  }
  state.counters["fps"] = fps;
}
}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("frame/raster", SyntheticFrame, true)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("frame/record", SyntheticFrame, false)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("clear/device", ClearMemory)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("clear/memset", ClearMemset)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("run/raster", RunCommand, "")->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RegisterBenchmark("run/no-raster", RunCommand, "--no-raster")->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double raster = reporter.Get("frame/raster/real_time"), record = reporter.Get("frame/record/real_time");
  if (raster > 0.0 && record > 0.0) {
    std::printf("frame: %.2f ms rasterised (%.0f fps), %.3f ms recorded only\n", raster, 1000.0 / raster, record);
    std::printf("ratio raster/record %.2f\n", raster / record);
  }
  const double clear = reporter.Get("clear/device"), memset = reporter.Get("clear/memset");
  if (clear > 0.0 && memset > 0.0)
    std::printf("clear 640x480 colour+depth: %.3f ms, ratio clear/memset %.2f (target under 0.3 ms)\n", clear * 1e-3,
                clear / memset);
  return 0;
}
