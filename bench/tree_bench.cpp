// Times the tree's per-frame visibility determination with drawing and occlusion culling off
// (the render-tree walk, frustum tests, eye distances and lists) against a flat loop doing the
// same over every batch, on a generated scene of 100,000 triangles in 2,000 batches, with about
// a quarter of the scene and with all of it in view. The full frame with its two passes and
// draws (rasterising off) is printed beside them. Times are CPU times, the medians of the
// repetitions when there are several, which other work on the machine disturbs least.
//
//   footlight_tree_bench [benchmark options]
//   footlight_tree_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/abt_fixture.h"

namespace {

using namespace abt_testing;

constexpr int kColumns = 50, kRows = 40;  // 2,000 batches
constexpr int kTrianglesPerBatch = 50;     // 100,000 triangles
constexpr int kVerticesPerBatch = 30;
constexpr float kSpacing = 12.0f, kSize = 10.0f;

// Boxes of 10 x 2 x 10 on a grid in the x-z plane, each drawing 50 triangles of its own 30
// vertices through one shared run of indices.
GeometrySpec Grid() {
  GeometrySpec s;
  s.names = {"wall.bmp"};
  AbtMaterial m;
  m.m_SlotUsed[0] = 1;
  s.materials = {m};
  s.buffers.push_back({0, static_cast<uint32_t>(kColumns * kRows * kVerticesPerBatch), {}});
  for (int t = 0; t < kTrianglesPerBatch; ++t)
    for (int k = 0; k < 3; ++k) s.indices.push_back(static_cast<uint16_t>((t + k) % kVerticesPerBatch));
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      AbtLeafBatch b;
      const float x = static_cast<float>(c) * kSpacing, z = static_cast<float>(r) * kSpacing;
      b.m_Box = Box(D3DXVECTOR3(x, 0, z), D3DXVECTOR3(x + kSize, 2, z + kSize));
      b.m_vecCentre = D3DXVECTOR3(x + kSize / 2, 1, z + kSize / 2);
      b.m_nPrimitiveCount = kTrianglesPerBatch;
      b.m_nVertexCount = kVerticesPerBatch;
      b.m_nMinVertexIndex = static_cast<uint32_t>((r * kColumns + c) * kVerticesPerBatch);
      s.batches.push_back(b);
    }
  }
  return s;
}

struct Scene {
  TreeHost h;
  Frustum frustum;
  D3DXVECTOR3 eye;
  std::vector<AbtLeafBatch*> list;

  explicit Scene(bool all) {
    h.WriteTexture("wall.bmp");
    h.renderer.SetRasterizing(false);
    // The host's call log would grow by every frame's transforms and cost line.
    h.renderer.SetRecording(false);
    if (!h.Load("grid.geo", WriteGeometry(Grid()))) std::abort();
    h.tree->RebuildRenderTree();
    // Looking straight down: from 700 up the whole grid (600 x 480) is in view; from 312 above
    // the centre of one quadrant, about that quadrant.
    const float cx = kColumns * kSpacing / 2, cz = kRows * kSpacing / 2;
    eye = all ? D3DXVECTOR3(cx, 700, cz) : D3DXVECTOR3(cx / 2, 312, cz / 2);
    const D3DXVECTOR3 at(eye.x, 0, eye.z), up(0, 0, 1);
    D3DXMATRIX view, projection, vp;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.898513f, 1.0f, 0.1f, 10000.0f);
    h.renderer.SetTransform(2, &view);
    h.renderer.SetTransform(3, &projection);
    D3DXMatrixMultiply(&vp, &view, &projection);
    frustum.ExtractFromMatrix(vp);
    list.reserve(kColumns * kRows);
  }
  void DrawingOff() {
    h.module.host.SystemMessage(0x100, 'B', 0);
    h.module.host.SystemMessage(0x100, 'O', 0);
  }
};

void Ours(benchmark::State& state) {
  Scene s(state.range(0) != 0);
  s.DrawingOff();
  for (auto _ : state) {
    s.h.tree->DetermineVisibility();
    // The reference host keeps every text drawn; a frame of a real one would not.
    s.h.renderer.ClearRecords();
  }
  state.counters["in view"] = s.h.tree->LastFrameStats().m_nOpaque;
  uint32_t nodes = 0, leaves = 0, depth = 0;
  s.h.tree->TreeShape(&nodes, &leaves, &depth);
  state.counters["nodes"] = nodes;
  state.counters["depth"] = depth;
}

void Flat(benchmark::State& state) {
  Scene s(state.range(0) != 0);
  auto& batches = AdaptiveBinaryTreeTestHook::Batches(*s.h.tree);
  for (auto _ : state) {
    s.list.clear();
    for (AbtLeafBatch& b : batches) {
      if (s.frustum.ClassifyAABB(b.m_Box.ToAABB()) == 0) continue;
      const D3DXVECTOR3 d = s.eye - b.m_vecCentre;
      b.m_flEyeDistance = D3DXVec3Dot(&d, &d);
      s.list.push_back(&b);
    }
    benchmark::DoNotOptimize(s.list.data());
  }
  state.counters["in view"] = static_cast<double>(s.list.size());
}

void FullFrame(benchmark::State& state) {
  Scene s(state.range(0) != 0);
  s.h.module.host.SystemMessage(0x100, 'O', 0);
  for (auto _ : state) {
    s.h.tree->DetermineVisibility();
    s.h.renderer.ClearRecords();
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int all : {0, 1}) {
    benchmark::RegisterBenchmark("cull/ours", Ours)->Arg(all)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("cull/flat", Flat)->Arg(all)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame/ours", FullFrame)->Arg(all)->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\n%-22s %12s %12s %12s %10s\n", "view", "ours us", "flat us", "frame us", "ours/flat");
  std::string ratios;
  for (int all : {0, 1}) {
    const std::string arg = all ? "/1" : "/0";
    const double ours = reporter.Cpu("cull/ours" + arg), flat = reporter.Cpu("cull/flat" + arg),
                 frame = reporter.Cpu("frame/ours" + arg);
    if (ours <= 0.0 || flat <= 0.0) continue;
    std::printf("%-22s %12.1f %12.1f %12.1f %10.2f\n", all ? "all in view" : "a quarter in view", ours, flat, frame,
                ours / flat);
    char line[64];
    std::snprintf(line, sizeof line, "ratio cull/%s %.2f\n", all ? "all" : "quarter", ours / flat);
    ratios += line;
  }
  std::printf("%s", ratios.c_str());
  return 0;
}
