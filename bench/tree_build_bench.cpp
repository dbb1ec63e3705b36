// Times the tree's off-line collision and occluder builds against a plain top-down median-split
// builder written here (the same leaf limits, no cutting, the same ordered-map welding), both
// from the parsed build input to the finished node array, on a generated input of 100,000
// triangles: a rolling sheet of 250 x 200 quads in 2,000 records of 5 x 5 quads. Printed beside
// them without a target: reading the input and the whole builds with their files, the render
// tree's rebuild over the 2,000 batches the render build makes, and rays through the collision
// tree against a brute-force loop over every triangle (rays per second, and how many of the two
// answers are the same t).
//
//   footlight_tree_build_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "support/abt_build_fixture.h"
#include "support/abt_fixture.h"
#include "visibility/abt_build_input.h"

namespace {

using namespace abt_build_testing;

constexpr int kColumns = 250, kRows = 200, kBlock = 5;  // 100,000 triangles, 2,000 records

std::vector<uint8_t> Input() {
  InputBuilder b;
  int buffer = -1;
  uint32_t inBuffer = 0;
  for (int br = 0; br < kRows / kBlock; ++br) {
    for (int bc = 0; bc < kColumns / kBlock; ++bc) {
      std::vector<VertexFields> v;
      std::vector<uint16_t> t;
      Sheet(kBlock, kBlock, 1.0f, static_cast<float>(bc * kBlock), static_cast<float>(br * kBlock), 0, &v, &t);
      for (VertexFields& f : v)
        f.position.y = 3.0f * std::sin(f.position.x * 0.1f) * std::cos(f.position.z * 0.13f);
      if (buffer < 0 || inBuffer + v.size() > 65535) {
        buffer = static_cast<int>(b.in.buffers.size());
        inBuffer = 0;
      }
      b.Add(v, t, 0, buffer);
      inBuffer += static_cast<uint32_t>(v.size());
    }
  }
  return b.Bytes();
}

const std::vector<uint8_t>& InputBytes() {
  static const std::vector<uint8_t> bytes = Input();
  return bytes;
}

const AbtBuildInput& Parsed() {
  static AbtBuildInput* in = [] {
    auto* p = new AbtBuildInput;
    if (!ParseBuildInput(InputBytes(), p)) std::abort();
    return p;
  }();
  return *in;
}

// The peer: weld with an ordered map, then split each node's triangles at the median of their
// centroids along the longest axis of the centroids' box, until fewer than the leaf limit.
struct PeerNode {
  float lo[3], hi[3];
  int32_t childA = -1, childB = -1, first = 0, count = 0;
};

std::vector<PeerNode> PeerBuild(const AbtBuildInput& in, uint32_t leafLimit) {
  std::map<std::array<float, 3>, uint32_t> welded;
  std::vector<std::array<float, 3>> points;
  std::vector<std::array<uint32_t, 3>> tris;
  for (const AbtBuildRecord& r : in.m_Records)
    for (uint32_t t = 0; t < r.m_nTriangleCount; ++t) {
      std::array<uint32_t, 3> tri;
      for (int k = 0; k < 3; ++k) {
        std::array<float, 3> p;
        std::memcpy(p.data(), in.Vertex(r, in.Corner(r.m_nFirstTriangle + t, k)), 12);
        const auto [it, added] = welded.emplace(p, static_cast<uint32_t>(points.size()));
        if (added) points.push_back(p);
        tri[k] = it->second;
      }
      tris.push_back(tri);
    }
  std::vector<std::array<float, 3>> centroid(tris.size());
  for (size_t i = 0; i < tris.size(); ++i)
    for (int k = 0; k < 3; ++k)
      centroid[i][k] = (points[tris[i][0]][k] + points[tris[i][1]][k] + points[tris[i][2]][k]) / 3.0f;
  std::vector<uint32_t> order(tris.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<PeerNode> nodes(1);
  struct Range {
    int32_t node;
    uint32_t begin, end;
  };
  std::vector<Range> stack{{0, 0, static_cast<uint32_t>(order.size())}};
  while (!stack.empty()) {
    const Range r = stack.back();
    stack.pop_back();
    float lo[3] = {3.4e38f, 3.4e38f, 3.4e38f}, hi[3] = {-3.4e38f, -3.4e38f, -3.4e38f};
    float clo[3] = {3.4e38f, 3.4e38f, 3.4e38f}, chi[3] = {-3.4e38f, -3.4e38f, -3.4e38f};
    for (uint32_t i = r.begin; i < r.end; ++i) {
      for (int k = 0; k < 3; ++k) {
        for (uint32_t p : tris[order[i]]) {
          lo[k] = std::min(lo[k], points[p][k]);
          hi[k] = std::max(hi[k], points[p][k]);
        }
        clo[k] = std::min(clo[k], centroid[order[i]][k]);
        chi[k] = std::max(chi[k], centroid[order[i]][k]);
      }
    }
    std::copy(lo, lo + 3, nodes[r.node].lo);
    std::copy(hi, hi + 3, nodes[r.node].hi);
    if (r.end - r.begin < leafLimit) {
      nodes[r.node].first = static_cast<int32_t>(r.begin);
      nodes[r.node].count = static_cast<int32_t>(r.end - r.begin);
      continue;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (chi[k] - clo[k] > chi[axis] - clo[axis]) axis = k;
    const uint32_t mid = (r.begin + r.end) / 2;
    std::nth_element(order.begin() + r.begin, order.begin() + mid, order.begin() + r.end,
                     [&](uint32_t a, uint32_t b) { return centroid[a][axis] < centroid[b][axis]; });
    const auto a = static_cast<int32_t>(nodes.size());
    nodes.resize(nodes.size() + 2);
    nodes[r.node].childA = a;
    nodes[r.node].childB = a + 1;
    stack.push_back({a, r.begin, mid});
    stack.push_back({a + 1, mid, r.end});
  }
  return nodes;
}

void Ours(benchmark::State& state, bool occluder) {
  const AbtBuildInput& in = Parsed();
  size_t nodes = 0;
  for (auto _ : state) {
    const AbtTreeArrays t =
        occluder ? CAdaptiveBinaryTree::BuildOccluderArrays(in) : CAdaptiveBinaryTree::BuildCollisionArrays(in);
    nodes = t.m_Nodes.size();
    benchmark::DoNotOptimize(t.m_Nodes.data());
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}

void Peer(benchmark::State& state, uint32_t leafLimit) {
  const AbtBuildInput& in = Parsed();
  size_t nodes = 0;
  for (auto _ : state) {
    const std::vector<PeerNode> n = PeerBuild(in, leafLimit);
    nodes = n.size();
    benchmark::DoNotOptimize(n.data());
  }
  state.counters["nodes"] = static_cast<double>(nodes);
}

void ReadInput(benchmark::State& state) {
  for (auto _ : state) {
    AbtBuildInput in;
    if (!ParseBuildInput(InputBytes(), &in)) std::abort();
    benchmark::DoNotOptimize(in.m_Records.data());
  }
}

// The whole builds through the file service: read, build, write.
void FileToFile(benchmark::State& state, int which) {
  abt_testing::TreeHost h;
  h.Write("in.bin", InputBytes());
  for (auto _ : state) {
    const bool ok = which == 0   ? h.tree->BuildCollisionTree("in.bin", "out.collision")
                    : which == 1 ? h.tree->BuildOccluderTree("in.bin", "out.occluder")
                                 : h.tree->BuildRenderGeometry("in.bin", nullptr, "out.geo");
    if (!ok) std::abort();
  }
}

void Rebuild(benchmark::State& state) {
  abt_testing::TreeHost h;
  h.Write("in.bin", InputBytes());
  if (!h.tree->BuildRenderGeometry("in.bin", nullptr, "out.geo") || !h.tree->Load("out.geo", 0)) std::abort();
  for (auto _ : state) h.tree->RebuildRenderTree();
  state.counters["batches"] = static_cast<double>(h.tree->LastBuildStats().m_nBatches);
  uint32_t nodes = 0, leaves = 0, depth = 0;
  h.tree->TreeShape(&nodes, &leaves, &depth);
  state.counters["nodes"] = nodes;
}

// Rays from above the sheet down to below it, slanting, spread over it.
std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> Rays() {
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> rays;
  for (int i = 0; i < 1000; ++i) {
    const float x = std::fmod(37.3f * static_cast<float>(i), static_cast<float>(kColumns));
    const float z = std::fmod(23.9f * static_cast<float>(i), static_cast<float>(kRows));
    rays.push_back({D3DXVECTOR3(x, 10, z), D3DXVECTOR3(x + 7, -10, z - 5)});
  }
  return rays;
}

struct RayScene {
  abt_testing::TreeHost h;
  AbtTreeArrays arrays;
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> rays = Rays();
  RayScene() {
    h.Write("in.bin", InputBytes());
    if (!h.tree->BuildCollisionTree("in.bin", "out.collision") || !h.tree->LoadCollisionTree("out.collision"))
      std::abort();
    arrays = CAdaptiveBinaryTree::BuildCollisionArrays(Parsed());
  }
  float Brute(const D3DXVECTOR3& a, const D3DXVECTOR3& b) const {
    const D3DXVECTOR3 d = b - a;
    float best = 3.4e38f;
    for (const AbtCollisionTriangle& t : arrays.m_Triangles) {
      float dist = 0.0f;
      if (D3DXIntersectTri(&arrays.m_Points[t.m_Points[0]], &arrays.m_Points[t.m_Points[1]],
                           &arrays.m_Points[t.m_Points[2]], &a, &d, nullptr, nullptr, &dist) &&
          dist < best)
        best = dist;
    }
    return best;
  }
};

RayScene& Rayed() {
  static RayScene* scene = new RayScene;
  return *scene;
}

void RaysOurs(benchmark::State& state) {
  RayScene& s = Rayed();
  for (auto _ : state)
    for (const auto& [a, b] : s.rays) benchmark::DoNotOptimize(s.h.tree->RayDistance(&a, &b));
  int same = 0;
  for (const auto& [a, b] : s.rays) same += s.h.tree->RayDistance(&a, &b) == s.Brute(a, b) ? 1 : 0;
  state.counters["rays/s"] = benchmark::Counter(static_cast<double>(s.rays.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["same t"] = same;
}

void RaysBrute(benchmark::State& state) {
  RayScene& s = Rayed();
  for (auto _ : state)
    for (size_t i = 0; i < 20; ++i) benchmark::DoNotOptimize(s.Brute(s.rays[i].first, s.rays[i].second));
  state.counters["rays/s"] = benchmark::Counter(20.0, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("BuildCollisionTree/ours", Ours, false)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BuildCollisionTree/peer", Peer, 10u)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BuildOccluderTree/ours", Ours, true)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BuildOccluderTree/peer", Peer, 30u)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("input/read", ReadInput)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("file/collision", FileToFile, 0)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("file/occluder", FileToFile, 1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("file/render geometry", FileToFile, 2)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("RebuildRenderTree/2000 batches", Rebuild)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("rays/collision tree", RaysOurs)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("rays/brute force", RaysBrute)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const char* name : {"BuildCollisionTree", "BuildOccluderTree"}) {
    const double ours = reporter.Get(std::string(name) + "/ours"), peer = reporter.Get(std::string(name) + "/peer");
    if (ours > 0.0 && peer > 0.0) std::printf("ratio %s %.2f\n", name, ours / peer);
  }
  return 0;
}
