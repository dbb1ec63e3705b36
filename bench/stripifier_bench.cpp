// Times the module's stripifier against a peer library's vertex-cache optimiser followed by its
// stripifier (degenerate stitching), in one run, on generated grids, spheres, tori and random
// planar triangulations of about 100, 400, 800 and 10,000 triangles.
//
//   footlight_stripifier_bench [benchmark options]
//
// Quality: both outputs are turned back into triangle lists (degenerates dropped) and fed to one
// FIFO cache model of 16 entries; the average cache miss ratio (vertices transformed per triangle)
// is taken over the set. Printed at the end: per mesh the miss ratios, indices per triangle,
// strips per mesh and times; per size the time ratio; then the lines
//   ratio acmr <ours/peer>        and        ratio time_<size> <ours/peer>
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "tests/visibility/stripifier_meshes.h"
#include "visibility/stripifier.h"

namespace {

using stripifier_meshes::Mesh;

constexpr unsigned kPeerCache = 16;
constexpr size_t kModelCache = 16;

const std::vector<Mesh>& Meshes() {
  static const std::vector<Mesh> meshes = stripifier_meshes::StandardSet();
  return meshes;
}

// The module's output: with the default settings one strip group of joined strips.
std::vector<uint32_t> OursStrip(const Mesh& mesh) {
  StripOutput* groups = nullptr;
  uint16_t count = 0;
  Stripifier::BuildPrimitives(mesh.indices.data(), uint32_t(mesh.indices.size()), &groups, &count, false);
  std::vector<uint32_t> strip;
  for (uint16_t g = 0; g < count; ++g) strip.insert(strip.end(), groups[g].indices, groups[g].indices + groups[g].count);
  delete[] groups;
  return strip;
}

std::vector<uint32_t> PeerStrip(const Mesh& mesh, unsigned restart) {
  const std::vector<uint32_t> in(mesh.indices.begin(), mesh.indices.end());
  std::vector<uint32_t> ordered(in.size());
  meshopt_optimizeVertexCacheFifo(ordered.data(), in.data(), in.size(), size_t(mesh.vertexCount), kPeerCache);
  std::vector<uint32_t> strip(meshopt_stripifyBound(in.size()));
  strip.resize(meshopt_stripify(strip.data(), ordered.data(), ordered.size(), size_t(mesh.vertexCount), restart));
  return strip;
}

// A strip read back as a list: odd positions reversed, degenerate triangles dropped.
std::vector<uint32_t> Unstrip(const std::vector<uint32_t>& strip) {
  std::vector<uint32_t> list;
  for (size_t j = 2; j < strip.size(); ++j) {
    uint32_t a = strip[j - 2], b = strip[j - 1], c = strip[j];
    if (a == b || b == c || c == a) continue;
    if (j % 2 == 1) std::swap(b, c);
    list.insert(list.end(), {a, b, c});
  }
  return list;
}

double MissRatio(const std::vector<uint32_t>& list) {
  std::deque<uint32_t> cache;
  size_t misses = 0;
  for (const uint32_t v : list) {
    if (std::find(cache.begin(), cache.end(), v) != cache.end()) continue;
    ++misses;
    cache.push_front(v);
    if (cache.size() > kModelCache) cache.pop_back();
  }
  return list.empty() ? 0.0 : double(misses) / double(list.size() / 3);
}

void Ours(benchmark::State& state, const Mesh* mesh) {
  for (auto _ : state) {
    StripOutput* groups = nullptr;
    uint16_t count = 0;
    Stripifier::BuildPrimitives(mesh->indices.data(), uint32_t(mesh->indices.size()), &groups, &count, false);
    benchmark::DoNotOptimize(groups);
    delete[] groups;
  }
}

void Peer(benchmark::State& state, const Mesh* mesh) {
  const std::vector<uint32_t> in(mesh->indices.begin(), mesh->indices.end());
  for (auto _ : state) {
    std::vector<uint32_t> ordered(in.size());
    meshopt_optimizeVertexCacheFifo(ordered.data(), in.data(), in.size(), size_t(mesh->vertexCount), kPeerCache);
    std::vector<uint32_t> strip(meshopt_stripifyBound(in.size()));
    strip.resize(meshopt_stripify(strip.data(), ordered.data(), ordered.size(), size_t(mesh->vertexCount), 0));
    benchmark::DoNotOptimize(strip.data());
  }
}

std::string Name(const char* side, const Mesh& mesh) {
  std::string name(side);
  name.push_back('/');
  return name.append(mesh.name);
}

class TimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred)
        m_us[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double Get(const std::string& name) const {
    const auto it = m_us.find(name);
    return it == m_us.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> m_us;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Mesh& mesh : Meshes()) {
    benchmark::RegisterBenchmark(Name("ours", mesh).c_str(), Ours, &mesh)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(Name("peer", mesh).c_str(), Peer, &mesh)->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-14s %9s %9s %9s %9s %7s %7s %11s %11s %8s\n", "mesh", "acmr ours", "acmr peer", "idx/tri",
              "idx/tri", "strips", "strips", "ours us", "peer us", "time");
  std::printf("%-14s %9s %9s %9s %9s %7s %7s %11s %11s %8s\n", "", "", "", "ours", "peer", "ours", "peer", "", "",
              "ours/peer");
  double sumOurs = 0.0, sumPeer = 0.0;
  std::map<size_t, std::pair<double, double>> timeBySize;
  for (const Mesh& mesh : Meshes()) {
    const size_t triangles = mesh.indices.size() / 3;
    const std::vector<uint32_t> ours = OursStrip(mesh);
    const std::vector<uint32_t> peer = PeerStrip(mesh, 0);
    const double acmrOurs = MissRatio(Unstrip(ours)), acmrPeer = MissRatio(Unstrip(peer));
    sumOurs += acmrOurs;
    sumPeer += acmrPeer;

    // Strips per mesh: ours as the strip stage cuts them, the peer's counted with restarts.
    Stripifier run;
    run.Run(mesh.indices, 16, 0, *std::max_element(mesh.indices.begin(), mesh.indices.end()));
    const std::vector<uint32_t> restarted = PeerStrip(mesh, ~0u);
    const size_t peerStrips = restarted.empty() ? 0 : 1 + size_t(std::count(restarted.begin(), restarted.end(), ~0u));

    const double usOurs = reporter.Get(Name("ours", mesh)), usPeer = reporter.Get(Name("peer", mesh));
    if (usOurs > 0.0 && usPeer > 0.0) {
      timeBySize[triangles].first += usOurs;
      timeBySize[triangles].second += usPeer;
    }
    std::printf("%-14s %9.3f %9.3f %9.2f %9.2f %7zu %7zu %11.1f %11.1f %8.1f\n", mesh.name.c_str(), acmrOurs, acmrPeer,
                double(ours.size()) / double(triangles), double(peer.size()) / double(triangles), run.Strips().size(),
                peerStrips, usOurs, usPeer, usPeer > 0.0 ? usOurs / usPeer : 0.0);
  }
  const double meshes = double(Meshes().size());
  std::printf("\naverage cache miss ratio: ours %.3f, peer %.3f (FIFO %zu)\n", sumOurs / meshes, sumPeer / meshes,
              kModelCache);
  std::printf("ratio acmr %.3f\n", sumOurs / sumPeer);
  for (const auto& [size, times] : timeBySize) std::printf("ratio time_%zu %.2f\n", size, times.first / times.second);
  return 0;
}
