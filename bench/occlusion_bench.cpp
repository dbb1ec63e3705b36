// Times the occlusion system against a plain depth-buffer culler written here, on the same
// generated scenes of walls and buildings (100 and 1,000 occluder triangles) and 1,000 boxes
// behind and around them, in one run. Prints per scene the frame cost per occluder triangle
// (SetupView to RasterizeOccluders against clearing and filling the depth buffer), the query
// cost per box, their ratios ours / peer, the share of boxes each culls and how many boxes each
// calls hidden although a brute-force depth sampler sees part of them.
//
//   occlusion_bench [benchmark options]
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
#include "support/occlusion_fixture.h"

namespace {

using occlusion_testing::OcclusionBox;
using occlusion_testing::OcclusionCamera;
using occlusion_testing::OracleOccluder;

struct Triangle {
  D3DXVECTOR3 p[3];
  D3DXPLANE plane;  // n.p = d, facing out of the wall or building
};

struct City {
  std::vector<Triangle> triangles;
  std::vector<OcclusionBox> boxes;
};

// A planar quad a, b, c, d (in order around it) as two triangles facing `normal`, each wound
// clockwise on screen when seen from its front.
void AddQuad(const OcclusionCamera& cam, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
             const D3DXVECTOR3& d, const D3DXVECTOR3& normal, std::vector<Triangle>& out) {
  const float offset = D3DXVec3Dot(&normal, &a);
  for (const auto& tri : {std::vector<D3DXVECTOR3>{a, b, c}, std::vector<D3DXVECTOR3>{a, c, d}}) {
    std::vector<D3DXVECTOR3> pts = tri;
    if (D3DXVec3Dot(&normal, &cam.eye) > offset && occlusion_testing::ScreenCross(cam, pts) > 0.0f)
      std::reverse(pts.begin(), pts.end());
    Triangle t;
    std::copy(pts.begin(), pts.end(), t.p);
    t.plane = D3DXPLANE(normal.x, normal.y, normal.z, offset);
    out.push_back(t);
  }
}

City MakeCity(const OcclusionCamera& cam, unsigned seed, size_t triangles) {
  std::mt19937 rng(seed);
  auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
  City city;
  while (city.triangles.size() < triangles) {
    const float depth = uniform(20.0f, 150.0f);
    D3DXVECTOR3 base = cam.At(depth, uniform(-0.45f, 0.45f) * depth, 0.0f);
    base.y = 0.0f;
    if (uniform(0.0f, 1.0f) < 0.3f) {
      // A wall turned up to 40 degrees from facing the camera.
      const float turn = uniform(-0.7f, 0.7f), half = uniform(2.0f, 8.0f), height = uniform(3.0f, 10.0f);
      const D3DXVECTOR3 along(std::cos(turn) * cam.right.x + std::sin(turn) * cam.forward.x, 0.0f,
                              std::cos(turn) * cam.right.z + std::sin(turn) * cam.forward.z);
      D3DXVECTOR3 normal(-along.z, 0.0f, along.x);
      D3DXVec3Normalize(&normal, &normal);
      if (D3DXVec3Dot(&normal, &cam.forward) > 0.0f) normal = -normal;
      const D3DXVECTOR3 up(0.0f, height, 0.0f);
      AddQuad(cam, base - along * half, base + along * half, base + along * half + up, base - along * half + up,
              normal, city.triangles);
    } else {
      const D3DXVECTOR3 half(uniform(1.5f, 6.0f), uniform(3.0f, 20.0f), uniform(1.5f, 6.0f));
      const D3DXVECTOR3 lo(base.x - half.x, 0.0f, base.z - half.z), hi(base.x + half.x, half.y, base.z + half.z);
      auto corner = [&](int i) {
        return D3DXVECTOR3((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
      };
      // Faces by axis and side: the four corners around each, and the outward normal.
      const int faces[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
      for (int f = 0; f < 6; ++f) {
        D3DXVECTOR3 normal(0.0f, 0.0f, 0.0f);
        (f / 2 == 0 ? normal.x : f / 2 == 1 ? normal.y : normal.z) = (f % 2) ? 1.0f : -1.0f;
        AddQuad(cam, corner(faces[f][0]), corner(faces[f][1]), corner(faces[f][2]), corner(faces[f][3]), normal,
                city.triangles);
      }
    }
  }
  city.triangles.resize(triangles);
  for (int i = 0; i < 1000; ++i) {
    const float depth = uniform(10.0f, 200.0f);
    D3DXVECTOR3 c = cam.At(depth, uniform(-0.45f, 0.45f) * depth, 0.0f);
    c.y = uniform(0.5f, 12.0f);
    const D3DXVECTOR3 half(uniform(0.3f, 3.0f), uniform(0.3f, 3.0f), uniform(0.3f, 3.0f));
    city.boxes.push_back(OcclusionBox{c - half, c + half});
  }
  return city;
}

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

// Both cullers over one city.
struct Bench {
  OcclusionCamera cam = occlusion_testing::SceneCamera();
  City city;
  occlusion_testing::OcclusionHost host;
  DepthBufferCuller peer{cam};

  explicit Bench(size_t triangles) : city(MakeCity(cam, 2024u + static_cast<unsigned>(triangles), triangles)) {}

  void OurFrame() {
    static const uint32_t kIndices[3] = {0, 1, 2};
    COcclusionSystem* sys = host.sys;
    sys->SetupView(cam.eye, occlusion_testing::kFieldOfView, cam.view, cam.projection, cam.nearPlane);
    sys->BeginFrame();
    for (const Triangle& t : city.triangles) sys->AddOccluder(kIndices, 3, t.p, t.plane);
    sys->RasterizeOccluders();
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

// Share of boxes culled by each, and the boxes each calls hidden that the sampler sees.
void PrintCulling(size_t triangles) {
  Bench& b = Scene(triangles);
  std::vector<OracleOccluder> occluders;
  for (const Triangle& t : b.city.triangles)
    occluders.push_back(OracleOccluder{{t.p[0], t.p[1], t.p[2]}, D3DXVECTOR3(t.plane.a, t.plane.b, t.plane.c), t.plane.d});
  occlusion_testing::OcclusionOracle oracle(b.cam.viewProjection, 384);
  oracle.Build(occluders);
  b.OurFrame();
  b.PeerFrame();
  int ours = 0, peer = 0, oursWrong = 0, peerWrong = 0;
  for (const OcclusionBox& box : b.city.boxes) {
    const bool a = b.host.sys->IsOccluded(box.lo, box.hi), p = b.peer.Hidden(box);
    ours += a;
    peer += p;
    if (a || p) {
      const bool seen = oracle.VisibleSamples(box.lo, box.hi) > 0;
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
      const double ours = reporter.Get(row.ours), peer = reporter.Get(row.peer);
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
