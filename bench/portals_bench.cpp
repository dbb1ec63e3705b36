// Times the cell-portal graph builder's whole build (stages 0 to 4, from the added vertices and
// triangles to the cells) on generated meshes of about 1,000, 5,000 and 10,000 triangles: a
// rolling sheet, where nearly every triangle has a plane of its own near many others, and a
// building of rooms joined by doorways, whose planes many walls share; beside them a sphere of
// 1,980 triangles, whose tree is one long chain, and a soup of 150 triangles with corners
// anywhere in a cube, whose cuts pass the piece budget, so that its row times the build up to
// where it stops. Prints each build's time and, per family, the growth from one size to the next
// against the growth of n log n (the peer), and the ratios.
//
//   footlight_portals_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "frame/component_base.h"
#include "host/renderer.h"
#include "support/module_host.h"
#include "tests/visibility/portal_meshes.h"
#include "visibility/cell_portal_graph_builder.h"

namespace {

using portal_meshes::Mesh;

struct Family {
  const char* name;
  std::vector<Mesh> meshes;  // 1k, 5k, 10k triangles
};

std::vector<Family>& Families() {
  static std::vector<Family> families = {
      {"rolling", {portal_meshes::Rolling(25, 20), portal_meshes::Rolling(50, 50), portal_meshes::Rolling(71, 71)}},
      {"building",
       {portal_meshes::Building(5, 6), portal_meshes::Building(12, 12), portal_meshes::Building(17, 17)}},
  };
  return families;
}

std::string NameOf(const Mesh& m) { return "build/" + m.name + "/" + std::to_string(m.triangles.size()); }

void Build(benchmark::State& state, const Mesh* mesh) {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  size_t cells = 0;
  std::string failure;
  for (auto _ : state) {
    ComponentHandle handle{};
    module.host.CreateObject(&handle, "CCellPortalGraphBuilder");
    auto* b = static_cast<CCellPortalGraphBuilder*>(static_cast<CComponentBase*>(module.host.GetObject(&handle)));
    b->Reserve(static_cast<uint32_t>(mesh->points.size()), static_cast<uint32_t>(mesh->triangles.size()));
    for (const D3DXVECTOR3& p : mesh->points) {
      CellPortalVertex v{};
      v.position = p;
      b->AddVertex(&v);
    }
    for (const auto& t : mesh->triangles) {
      const CellPortalTriangle triangle{{t[0], t[1], t[2]}, 0};
      b->AddTriangle(&triangle);
    }
    b->Build(false, false);
    cells = b->Progress().cells->size();
    failure = b->Failure() != nullptr ? b->Failure() : "";
    module.host.DestroyObject(handle);
  }
  state.counters["triangles"] = static_cast<double>(mesh->triangles.size());
  state.counters["cells"] = static_cast<double>(cells);
  if (!failure.empty()) state.SetLabel("stopped: " + failure);
}

double NLogN(double n) { return n * std::log(n); }

}  // namespace

int main(int argc, char** argv) {
  for (const Family& f : Families())
    for (const Mesh& m : f.meshes)
      benchmark::RegisterBenchmark(NameOf(m).c_str(), Build, &m)->Unit(benchmark::kMillisecond);
  static const Mesh sphere = portal_meshes::Sphere(45, 23);
  benchmark::RegisterBenchmark(NameOf(sphere).c_str(), Build, &sphere)->Unit(benchmark::kMillisecond);
  static const Mesh soup = portal_meshes::WideSoup(150, 1);
  benchmark::RegisterBenchmark(NameOf(soup).c_str(), Build, &soup)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // CPU time: the build runs on one thread, and other work on the machine then counts less.
  for (const Family& f : Families()) {
    for (size_t i = 0; i + 1 < f.meshes.size(); ++i) {
      const Mesh &small = f.meshes[i], &large = f.meshes[i + 1];
      const double a = reporter.Cpu(NameOf(small)), b = reporter.Cpu(NameOf(large));
      if (a <= 0.0 || b <= 0.0) continue;
      const double n0 = static_cast<double>(small.triangles.size()), n1 = static_cast<double>(large.triangles.size());
      const double growth = b / a, model = NLogN(n1) / NLogN(n0);
      std::printf("growth %s %.0f -> %.0f triangles: %.1f ms -> %.1f ms, x%.2f (n log n x%.2f)\n", f.name, n0, n1, a, b,
                  growth, model);
      std::printf("ratio portals_%s_growth_%.0fk_%.0fk %.2f\n", f.name, n0 / 1000, n1 / 1000, growth / model);
    }
  }
  return 0;
}
