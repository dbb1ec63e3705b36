// Times one terrain frame (Execute and Render, the renderer neither recording nor rasterising:
// what is timed is the terrain's choice and making of its draws) over a generated 2049 x 2049 field, from 20 units above the ground looking across it and from an overview,
// against the same frame with every visible patch at level 0 (33 x 33 vertices and the plain
// 2,048-triangle grid each), and prints the ratio of each view. Times one height-brush edit
// (select under the cursor, raise, flush) of a 33 x 33 brush across the corner of four blocks
// against rebuilding the min/max trees of all 64 blocks, and prints that ratio.
//
//   footlight_terrain_bench [benchmark options]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "frame/component_base.h"
#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "terrain/terrain_manager.h"

namespace {

struct View {
  const char* name;
  D3DXVECTOR3 eye, at;
};

// Rolling ground: a few long waves in integers of height units.
std::vector<int16_t> Field() {
  std::vector<int16_t> h(2049u * 2049u);
  for (int x = 0; x < 2049; ++x)
    for (int z = 0; z < 2049; ++z)
      h[static_cast<size_t>(x) * 2049 + z] = static_cast<int16_t>(
          60.0 * std::sin(x * 0.011) * std::cos(z * 0.007) + 25.0 * std::sin((x + 2 * z) * 0.031) + 90.0);
  return h;
}

// A resource folder with the one texture the layer needs: 4 x 4 texels of 32-bit DDS.
std::string TextureFolder() {
  const auto dir = std::filesystem::temp_directory_path() / ("footlight-terrain-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::vector<uint8_t> dds(128 + 64, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) dds[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  dds[0] = 'D', dds[1] = 'D', dds[2] = 'S', dds[3] = ' ';
  put(4, 124), put(8, 0x100F), put(12, 4), put(16, 4), put(20, 16);
  put(76, 32), put(80, 0x41), put(88, 32), put(92, 0xFF0000), put(96, 0xFF00), put(100, 0xFF), put(104, 0xFF000000u);
  put(108, 0x1000);
  for (size_t i = 128; i < dds.size(); i += 4) put(i, 0xFF408040u);
  std::ofstream(dir / "grass.dds", std::ios::binary).write(reinterpret_cast<const char*>(dds.data()),
                                                         static_cast<std::streamsize>(dds.size()));
  return dir.string();
}

host::RendererConfig NoRaster() {
  host::RendererConfig config;
  config.rasterize = false;
  return config;
}

// Made in main and gone before it returns, so that nothing of the host outlives the program's
// own exit.
class TerrainScene {
 public:
  TerrainScene() : folder_(TextureFolder()), standard_(folder_, NoRaster()) {
    standard_.host.LoadModule(&DMAInterface);
    standard_.renderer.SetRecording(false);
    // The benchmark owns its terrain rather than asking the factory list for one.
    terrain_ = std::make_unique<CTerrainManager>();
    terrain_->Init();
    heights_ = Field();
    patches_.assign(4096, 1);
    const TerrainHeightMap map{heights_.data(), patches_.data()};
    terrain_->UpdateAllBlocks(&map);
    terrain_->AddLayer("grass.dds", nullptr, nullptr, false);
  }
  ~TerrainScene() {
    terrain_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  float Ground(float x, float z) const {
    return heights_[static_cast<size_t>(x) * 2049 + static_cast<size_t>(z)];
  }
  void Look(const View& v) {
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &v.eye, &v.at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0471976f, 4.0f / 3.0f, 1.0f, 6000.0f);
    standard_.renderer.SetTransform(D3DTS_VIEW, &view);
    standard_.renderer.SetTransform(D3DTS_PROJECTION, &projection);
  }
  // One frame; levelZero: every visible patch drawn at the finest level.
  size_t Frame(bool levelZero) {
    const size_t before = standard_.renderer.DrawCount();
    terrain_->Execute(0);
    if (levelZero)
      for (int i = 0; i < kTerrainPatchCount; ++i)
        if (terrain_->m_aVisible[i]) terrain_->m_aLevel[i] = 0;
    terrain_->Render(0);
    return standard_.renderer.DrawCount() - before;
  }
  size_t Refused() const { return standard_.renderer.RefusedDraws(); }

  // Straight down on (x, z) from 300 above the ground; the middle pixel of the view returned.
  std::pair<int, int> LookDown(float x, float z) {
    View v{"down", D3DXVECTOR3(x, Ground(x, z) + 300.0f, z), D3DXVECTOR3(x, Ground(x, z), z)};
    D3DXMATRIX view;
    const D3DXVECTOR3 up(0, 0, 1);
    D3DXMatrixLookAtLH(&view, &v.eye, &v.at, &up);
    standard_.renderer.SetTransform(D3DTS_VIEW, &view);
    D3DVIEWPORT8 viewport{};
    standard_.renderer.GetViewport(&viewport);
    return {static_cast<int>(viewport.Width / 2), static_cast<int>(viewport.Height / 2)};
  }
  CTerrainManager& Terrain() { return *terrain_; }

 private:
  std::string folder_;
  host::StandardHost standard_;
  std::unique_ptr<CTerrainManager> terrain_;
  std::vector<int16_t> heights_;
  std::vector<uint8_t> patches_;
};

std::vector<View> Views(const TerrainScene& scene) {
  const float g = scene.Ground(600, 700);
  return {{"ground", D3DXVECTOR3(600, g + 20, 700), D3DXVECTOR3(1800, g, 1400)},
          {"overview", D3DXVECTOR3(1024, 1800, -300), D3DXVECTOR3(1024, 0, 1024)}};
}

void FrameBench(benchmark::State& state, TerrainScene* terrainScene, View view, bool levelZero) {
  TerrainScene& scene = *terrainScene;
  scene.Look(view);
  size_t draws = 0;
  for (auto _ : state) draws = scene.Frame(levelZero);
  state.counters["draws"] = static_cast<double>(draws);
  if (scene.Refused() != 0) state.SkipWithError("the renderer refused draws");
}

// Select, raise (up and down in turn, so the ground stays where the camera sees it) and flush.
void BrushEditBench(benchmark::State& state, TerrainScene* terrainScene) {
  TerrainScene& scene = *terrainScene;
  scene.Look(Views(scene)[0]);
  const auto [mx, my] = scene.LookDown(1024.0f, 1024.0f);
  CTerrainManager& terrain = scene.Terrain();
  terrain.SetBrushSize(33, 33, 17, 17);
  const std::vector<float> weights(33 * 33, 1.0f);
  int16_t amount = 1;
  size_t selected = 0;
  for (auto _ : state) {
    terrain.SelectUnderBrush(weights.data(), mx, my);
    selected = 0;
    for (int b = 0; b < 64; ++b) selected += terrain.Selection(b).size();
    terrain.RaiseUnderBrush(amount);
    terrain.FlushDirtyRegions();
    amount = static_cast<int16_t>(-amount);
  }
  state.counters["selected"] = static_cast<double>(selected);
  // 33 x 33 points, the two border lines shared by two blocks and the corner by four.
  if (selected != 33 * 33 + 33 + 33 + 1) state.SkipWithError("the brush did not select across the block corner");
}

void RebuildAllBench(benchmark::State& state, TerrainScene* scene) {
  CTerrainManager& terrain = scene->Terrain();
  for (auto _ : state)
    for (int bx = 0; bx < 8; ++bx)
      for (int bz = 0; bz < 8; ++bz) terrain.Block(bx, bz)->BuildMinMaxTree();
}

}  // namespace

int main(int argc, char** argv) {
  auto scene = std::make_unique<TerrainScene>();
  const std::vector<View> views = Views(*scene);
  for (const View& v : views) {
    benchmark::RegisterBenchmark((std::string("frame/") + v.name + "/lod").c_str(), FrameBench, scene.get(), v, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("frame/") + v.name + "/level0").c_str(), FrameBench, scene.get(), v,
                                 true)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("brush/edit33_corner", BrushEditBench, scene.get())->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("brush/rebuild_all_blocks", RebuildAllBench, scene.get())
      ->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  scene.reset();
  for (const View& v : views) {
    const double lod = reporter.Get(std::string("frame/") + v.name + "/lod");
    const double base = reporter.Get(std::string("frame/") + v.name + "/level0");
    if (lod > 0.0 && base > 0.0) std::printf("ratio terrain_%s_frame %.3f\n", v.name, lod / base);
  }
  const double edit = reporter.Get("brush/edit33_corner"), rebuild = reporter.Get("brush/rebuild_all_blocks");
  if (edit > 0.0 && rebuild > 0.0) std::printf("ratio terrain_brush_edit %.4f\n", edit / rebuild);
  return 0;
}
