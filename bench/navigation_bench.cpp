// The path search of the navigation mesh against the peer's single-tile navigation mesh query,
// on the same triangles: a grid of quads with holes cut in it and a wall that cuts one corner
// off, so that some pairs have no route. Vertices lie on whole cells, the peer's quantisation
// grid; each peer polygon is one of our triangles, with the same neighbours. The end triangles
// and polygons are found beforehand; ours is timed with its waypoints.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include <recastnavigation/DetourNavMesh.h>
#include <recastnavigation/DetourNavMeshBuilder.h>
#include <recastnavigation/DetourNavMeshQuery.h>

#include "host/model_mesh.h"
#include "ratio_reporter.h"
#include "scene/nav_mesh.h"

namespace {

constexpr int kCells = 40;  // 40 x 40 quads before the holes: up to 3200 triangles
constexpr int kPairs = 256;

struct Pair {
  int from, to;  // triangle indices
};

struct World {
  std::vector<std::array<int, 3>> corners;  // per triangle: grid vertex indices
  host::ModelMesh hostMesh;
  NavMesh ours;
  dtNavMesh* peer = nullptr;
  dtNavMeshQuery* query = nullptr;
  dtPolyRef base = 0;
  std::vector<Pair> pairs;

  World() {
    std::mt19937 random(7);
    auto vertex = [](int x, int z) { return z * (kCells + 1) + x; };
    for (int x = 0; x < kCells; ++x)
      for (int z = 0; z < kCells; ++z) {
        // Walls along x = 30 and z = 30 close off a corner; about one quad in eight is a hole.
        if ((x == 30 && z >= 30) || (z == 30 && x >= 30)) continue;
        if (random() % 8 == 0) continue;
        corners.push_back({vertex(x, z), vertex(x, z + 1), vertex(x + 1, z)});
        corners.push_back({vertex(x + 1, z), vertex(x, z + 1), vertex(x + 1, z + 1)});
      }
    host::ModelMesh::PartInput part;
    for (const auto& t : corners)
      for (int v : t)
        part.corners.push_back(D3DVECTOR{float(v % (kCells + 1)), 0.0f, float(v / (kCells + 1))});
    hostMesh.Build({part}, {});
    ours.BuildFromMesh(&hostMesh);

    // The peer's tile: the same triangles and neighbours.
    std::map<const NavTriangle*, unsigned short> index;
    for (size_t i = 0; i < ours.triangles.size(); ++i) index[ours.triangles[i]] = static_cast<unsigned short>(i);
    std::vector<unsigned short> verts;
    for (int z = 0; z <= kCells; ++z)
      for (int x = 0; x <= kCells; ++x) verts.insert(verts.end(), {static_cast<unsigned short>(x), 0, static_cast<unsigned short>(z)});
    std::vector<unsigned short> polys;
    for (size_t i = 0; i < corners.size(); ++i) {
      for (int v : corners[i]) polys.push_back(static_cast<unsigned short>(v));
      for (const NavTriangle* n : ours.triangles[i]->neighbours) polys.push_back(n == nullptr ? 0xffff : index[n]);
    }
    std::vector<unsigned short> flags(corners.size(), 1);
    std::vector<unsigned char> areas(corners.size(), 0);
    dtNavMeshCreateParams params{};
    params.verts = verts.data();
    params.vertCount = static_cast<int>(verts.size() / 3);
    params.polys = polys.data();
    params.polyFlags = flags.data();
    params.polyAreas = areas.data();
    params.polyCount = static_cast<int>(corners.size());
    params.nvp = 3;
    params.bmin[0] = 0, params.bmin[1] = 0, params.bmin[2] = 0;
    params.bmax[0] = kCells, params.bmax[1] = 1, params.bmax[2] = kCells;
    params.walkableHeight = 2, params.walkableRadius = 0.5f, params.walkableClimb = 1;
    params.cs = 1, params.ch = 1;
    params.buildBvTree = true;
    unsigned char* data = nullptr;
    int size = 0;
    if (!dtCreateNavMeshData(&params, &data, &size)) return;
    peer = dtAllocNavMesh();
    if (dtStatusFailed(peer->init(data, size, DT_TILE_FREE_DATA))) return;
    query = dtAllocNavMeshQuery();
    query->init(peer, 8192);
    base = peer->getPolyRefBase(static_cast<const dtNavMesh*>(peer)->getTile(0));

    for (int i = 0; i < kPairs; ++i)
      pairs.push_back(Pair{int(random() % corners.size()), int(random() % corners.size())});
  }
  ~World() {
    dtFreeNavMeshQuery(query);
    dtFreeNavMesh(peer);
  }

  vector3 Centre(int t) const { return ours.triangles[size_t(t)]->centre; }

  bool Ours(const Pair& p, NavPath* path) {
    const vector3 a = Centre(p.from), b = Centre(p.to);
    return ours.FindPath(path, ours.triangles[size_t(p.from)], &a, ours.triangles[size_t(p.to)], &b);
  }
  bool Peer(const Pair& p, dtPolyRef* route, int* count) {
    const vector3 a = Centre(p.from), b = Centre(p.to);
    const float start[3] = {a.x, a.y, a.z}, end[3] = {b.x, b.y, b.z};
    dtQueryFilter filter;
    const dtPolyRef endRef = base | dtPolyRef(p.to);
    const dtStatus status = query->findPath(base | dtPolyRef(p.from), endRef, start, end, &filter, route, count, 4096);
    return dtStatusSucceed(status) && !dtStatusDetail(status, DT_PARTIAL_RESULT) && *count > 0 &&
           route[*count - 1] == endRef;
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void BM_Ours(benchmark::State& state) {
  World& w = TheWorld();
  NavPath path;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w.Ours(w.pairs[i], &path));
    i = (i + 1) % w.pairs.size();
  }
}

void BM_Peer(benchmark::State& state) {
  World& w = TheWorld();
  std::vector<dtPolyRef> route(4096);
  int count = 0;
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(w.Peer(w.pairs[i], route.data(), &count));
    i = (i + 1) % w.pairs.size();
  }
}

}  // namespace

BENCHMARK(BM_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Peer)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  World& w = TheWorld();
  if (w.query == nullptr) {
    std::fprintf(stderr, "the peer's navigation mesh was not made\n");
    return 1;
  }
  // Both must agree on which pairs have a route.
  size_t routes = 0, disagreements = 0;
  std::vector<dtPolyRef> route(4096);
  for (const Pair& p : w.pairs) {
    NavPath path;
    int count = 0;
    const bool ours = w.Ours(p, &path), peer = w.Peer(p, route.data(), &count);
    routes += ours ? 1 : 0;
    disagreements += ours != peer ? 1 : 0;
  }
  std::printf("%zu triangles, %zu pairs: %zu with a route, %zu without; %zu disagreements\n", w.ours.triangles.size(),
              w.pairs.size(), routes, w.pairs.size() - routes, disagreements);
  if (disagreements != 0) return 1;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double ours = reporter.Get("BM_Ours"), peer = reporter.Get("BM_Peer");
  std::printf("per query: ours %.2f us, peer %.2f us\n", ours, peer);
  if (peer > 0.0) std::printf("ratio ours/peer %.2f\n", ours / peer);
  return 0;
}
