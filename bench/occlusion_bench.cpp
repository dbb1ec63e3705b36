// Times the occlusion system against a plain depth-buffer culler written here, on the same
// generated scenes of walls and buildings (100 and 1,000 occluder triangles) and 1,000 boxes
// behind and around them, in one run. Prints per scene the frame cost per occluder triangle
// (SetupView to RasterizeOccluders against clearing and filling the depth buffer), the query
// cost per box, their ratios ours / peer, the share of boxes each culls and how many boxes each
// calls hidden although the exact judge (tests/support/occlusion_exact.h) sees part of them.
// Costs are CPU times, the medians of the repetitions when there are several.
//
//   occlusion_bench [benchmark options]
//   occlusion_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//
// The peer: 256 x 256 float depths, back faces skipped, triangles filled by scan lines at pixel
// centres; a box is hidden when its nearest projected corner lies behind the farthest depth
// under its screen rectangle.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/occlusion_exact.h"
#include "support/occlusion_fixture.h"

namespace {

using occlusion_testing::City;
using occlusion_testing::MakeCity;
using occlusion_testing::OcclusionBox;
using occlusion_testing::OcclusionCamera;
using occlusion_testing::Triangle;

class DepthBufferCuller {
 public:
  static constexpr int kSize = 256;

  explicit DepthBufferCuller(const OcclusionCamera& cam) : cam_(cam), depth_(kSize * kSize, 1.0f) {}

  void Begin() { std::fill(depth_.begin(), depth_.end(), 1.0f); }

  void Add(const Triangle& t) {
    if (!(t.plane.a * cam_.eye.x + t.plane.b * cam_.eye.y + t.plane.c * cam_.eye.z > t.plane.d)) return;
    float sx[3], sy[3], sz[3];
    for (int i = 0; i < 3; ++i) {
      D3DXVECTOR4 h;
      D3DXVec3Transform(&h, &t.p[i], &cam_.viewProjection);
      if (h.w <= occlusion_testing::kNear * 0.999f) return;  // the scenes keep occluders past the near plane
      sx[i] = (h.x / h.w * 0.5f + 0.5f) * kSize;
      sy[i] = (h.y / h.w * 0.5f + 0.5f) * kSize;
      sz[i] = h.z / h.w;
    }
    // Depth as a plane over the screen: z = za + zx x + zy y.
    const float ax = sx[1] - sx[0], ay = sy[1] - sy[0], bx = sx[2] - sx[0], by = sy[2] - sy[0];
    const float det = ax * by - ay * bx;
    if (det == 0.0f) return;
    const float az = sz[1] - sz[0], bz = sz[2] - sz[0];
    const float zx = (az * by - ay * bz) / det, zy = (ax * bz - az * bx) / det;
    const float top = std::min({sy[0], sy[1], sy[2]}), bottom = std::max({sy[0], sy[1], sy[2]});
    const int r0 = std::max(0, static_cast<int>(std::ceil(top - 0.5f)));
    const int r1 = std::min(kSize - 1, static_cast<int>(std::floor(bottom - 0.5f)));
    for (int r = r0; r <= r1; ++r) {
      const float y = r + 0.5f;
      float left = FLT_MAX, right = -FLT_MAX;
      for (int e = 0; e < 3; ++e) {
        const int f = (e + 1) % 3;
        if ((sy[e] <= y) == (sy[f] <= y)) continue;
        const float x = sx[e] + (y - sy[e]) * (sx[f] - sx[e]) / (sy[f] - sy[e]);
        left = std::min(left, x);
        right = std::max(right, x);
      }
      const int c0 = std::max(0, static_cast<int>(std::ceil(left - 0.5f)));
      const int c1 = std::min(kSize - 1, static_cast<int>(std::ceil(right - 0.5f)) - 1);
      float* row = &depth_[static_cast<size_t>(r) * kSize];
      for (int c = c0; c <= c1; ++c) {
        const float z = sz[0] + zx * (c + 0.5f - sx[0]) + zy * (y - sy[0]);
        row[c] = std::min(row[c], z);
      }
    }
  }

  bool Hidden(const OcclusionBox& box) const {
    float x0 = FLT_MAX, y0 = FLT_MAX, x1 = -FLT_MAX, y1 = -FLT_MAX, nearest = FLT_MAX;
    for (int i = 0; i < 8; ++i) {
      const D3DXVECTOR3 p((i & 1) ? box.hi.x : box.lo.x, (i & 2) ? box.hi.y : box.lo.y, (i & 4) ? box.hi.z : box.lo.z);
      D3DXVECTOR4 h;
      D3DXVec3Transform(&h, &p, &cam_.viewProjection);
      if (h.w <= 0.0f) return false;
      const float x = (h.x / h.w * 0.5f + 0.5f) * kSize, y = (h.y / h.w * 0.5f + 0.5f) * kSize;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y);
      nearest = std::min(nearest, h.z / h.w);
    }
    if (x1 < 0.0f || y1 < 0.0f || x0 >= kSize || y0 >= kSize) return false;
    const int c0 = std::max(0, static_cast<int>(x0)), c1 = std::min(kSize - 1, static_cast<int>(x1));
    const int r0 = std::max(0, static_cast<int>(y0)), r1 = std::min(kSize - 1, static_cast<int>(y1));
    float farthest = 0.0f;
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c) farthest = std::max(farthest, depth_[static_cast<size_t>(r) * kSize + c]);
    return nearest > farthest;
  }

 private:
  const OcclusionCamera& cam_;
  std::vector<float> depth_;
};

// The module in its host, once for the whole run: the module keeps its host in globals.
occlusion_testing::OcclusionHost& Host() {
  static occlusion_testing::OcclusionHost host;
  return host;
}

// Both cullers over one city; each frame starts over, so the cities share the one system.
struct Bench {
  OcclusionCamera cam = occlusion_testing::SceneCamera();
  City city;
  occlusion_testing::OcclusionHost& host = Host();
  DepthBufferCuller peer{cam};

  explicit Bench(size_t triangles) : city(MakeCity(cam, 2024u + static_cast<unsigned>(triangles), triangles, 1000)) {}

  void OurFrame() {
    host.Setup(cam);
    for (const Triangle& t : city.triangles) host.Add(t);
    host.sys->RasterizeOccluders();
  }
  void PeerFrame() {
    peer.Begin();
    for (const Triangle& t : city.triangles) peer.Add(t);
  }
};

Bench& Scene(size_t triangles) {
  static Bench small(100), large(1000);
  return triangles == 100 ? small : large;
}

void SetOps(benchmark::State& state, size_t perIteration) {
  state.counters["ops"] = static_cast<double>(perIteration);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(perIteration));
}

void FrameOurs(benchmark::State& state) {
  Bench& b = Scene(static_cast<size_t>(state.range(0)));
  for (auto _ : state) b.OurFrame();
  SetOps(state, b.city.triangles.size());
}

void FramePeer(benchmark::State& state) {
  Bench& b = Scene(static_cast<size_t>(state.range(0)));
  for (auto _ : state) b.PeerFrame();
  SetOps(state, b.city.triangles.size());
}

void QueryOurs(benchmark::State& state) {
  Bench& b = Scene(static_cast<size_t>(state.range(0)));
  b.OurFrame();
  for (auto _ : state) {
    int hidden = 0;
    for (const OcclusionBox& box : b.city.boxes) hidden += b.host.sys->IsOccluded(box.lo, box.hi) ? 1 : 0;
    benchmark::DoNotOptimize(hidden);
  }
  SetOps(state, b.city.boxes.size());
}

void QueryPeer(benchmark::State& state) {
  Bench& b = Scene(static_cast<size_t>(state.range(0)));
  b.PeerFrame();
  for (auto _ : state) {
    int hidden = 0;
    for (const OcclusionBox& box : b.city.boxes) hidden += b.peer.Hidden(box) ? 1 : 0;
    benchmark::DoNotOptimize(hidden);
  }
  SetOps(state, b.city.boxes.size());
}

// Share of boxes culled by each, and the boxes each calls hidden that the exact judge sees.
void PrintCulling(size_t triangles) {
  Bench& b = Scene(triangles);
  occlusion_exact::Mesh mesh;
  for (const Triangle& t : b.city.triangles) {
    const uint32_t first = static_cast<uint32_t>(mesh.points.size());
    mesh.points.insert(mesh.points.end(), std::begin(t.p), std::end(t.p));
    mesh.polygons.push_back({first, first + 1, first + 2});
    mesh.planes.push_back(t.plane);
  }
  const occlusion_exact::View view =
      occlusion_exact::View::FromMatrices(b.cam.eye, b.cam.view, b.cam.projection, b.cam.nearPlane);
  const occlusion_exact::Judge judge(view, mesh);
  b.OurFrame();
  b.PeerFrame();
  int ours = 0, peer = 0, oursWrong = 0, peerWrong = 0;
  for (const OcclusionBox& box : b.city.boxes) {
    const bool a = b.host.sys->IsOccluded(box.lo, box.hi), p = b.peer.Hidden(box);
    ours += a;
    peer += p;
    if (a || p) {
      const bool seen = judge.SeenPoints(occlusion_exact::Box{box.lo, box.hi}, 1) > 0;
      oursWrong += a && seen;
      peerWrong += p && seen;
    }
  }
  const double n = static_cast<double>(b.city.boxes.size());
  std::printf("%5zu triangles: culled ours %5.1f%%  peer %5.1f%%   false-hidden ours %d  peer %d\n", triangles,
              100.0 * ours / n, 100.0 * peer / n, oursWrong, peerWrong);
}

}  // namespace

int main(int argc, char** argv) {
  for (int triangles : {100, 1000}) {
    benchmark::RegisterBenchmark("frame/ours", FrameOurs)->Arg(triangles)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("frame/peer", FramePeer)->Arg(triangles)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("query/ours", QueryOurs)->Arg(triangles)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("query/peer", QueryPeer)->Arg(triangles)->Unit(benchmark::kNanosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-34s %14s %14s %10s\n", "cost", "ours ns", "peer ns", "ours/peer");
  std::vector<std::string> ratios;
  for (int triangles : {100, 1000}) {
    std::string arg = "/";
    arg += std::to_string(triangles);
    const struct {
      std::string label, ours, peer;
    } rows[] = {{"frame per occluder triangle", "frame/ours" + arg, "frame/peer" + arg},
                {"query per box", "query/ours" + arg, "query/peer" + arg}};
    for (const auto& row : rows) {
      const double ours = reporter.CpuPerOp(row.ours), peer = reporter.CpuPerOp(row.peer);
      if (ours <= 0.0 || peer <= 0.0) continue;
      std::printf("%-28s %5d %14.1f %14.1f %10.2f\n", row.label.c_str(), triangles, ours, peer, ours / peer);
      char line[96];
      std::snprintf(line, sizeof line, "ratio %s%s %.2f", row.ours.substr(0, row.ours.find('/')).c_str(), arg.c_str(),
                    ours / peer);
      ratios.push_back(line);
    }
  }
  std::printf("\n");
  for (size_t triangles : {100u, 1000u}) PrintCulling(triangles);
  for (const std::string& line : ratios) std::printf("%s\n", line.c_str());
  return 0;
}
