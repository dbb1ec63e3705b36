// The terrain in a reference host with the recording renderer, over a resource tree of its own,
// and the independent geometry the tests check it against.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/component_base.h"
#include "frame/dma_interface.h"
#include "host/standard_host.h"
#include "support/temp_tree.h"
#include "terrain/terrain_manager.h"

namespace terrain_testing {

using testing_support::TempTree;

// A whole field: 2049 x 2049 heights and the 64 x 64 patch bytes.
struct Field {
  std::vector<int16_t> heights = std::vector<int16_t>(2049 * 2049, 0);
  std::vector<uint8_t> patches = std::vector<uint8_t>(64 * 64, 1);
  int16_t& At(int x, int z) { return heights[static_cast<size_t>(x) * 2049 + z]; }
  int16_t At(int x, int z) const { return heights[static_cast<size_t>(x) * 2049 + z]; }
  TerrainHeightMap Map() const { return {heights.data(), patches.data()}; }
};

// A field of random heights in [lo, hi] over x, z < extent (a simple fixed generator).
inline Field RandomField(int extent, int lo, int hi, uint32_t seed) {
  Field f;
  uint32_t s = seed;
  for (int x = 0; x <= extent; ++x)
    for (int z = 0; z <= extent; ++z) {
      s = s * 1664525u + 1013904223u;
      f.At(x, z) = static_cast<int16_t>(lo + static_cast<int>((s >> 8) % static_cast<uint32_t>(hi - lo + 1)));
    }
  return f;
}

struct TerrainHost {
  TempTree tree;
  std::unique_ptr<host::StandardHost> standard;
  ComponentHandle handle{};
  CTerrainManager* terrain = nullptr;

  // prepare: writes files into the tree before the terrain is made.
  explicit TerrainHost(const std::function<void(const TempTree&)>& prepare = {}, bool create = true) {
    if (prepare) prepare(tree);
    standard = std::make_unique<host::StandardHost>(tree.Root());
    Host().LoadModule(&DMAInterface);
    if (create) Create();
  }
  ~TerrainHost() {
    Host().DestroyAll();
    EXPECT_EQ(Host().Allocator().LiveBlocks(), 0u);
    EXPECT_TRUE(Host().Allocator().Errors().empty());
  }
  void Create() {
    Host().CreateObject(&handle, "CTerrainManager");
    terrain = static_cast<CTerrainManager*>(static_cast<CComponentBase*>(Host().GetObject(&handle)));
  }

  host::ReferenceHost& Host() { return standard->host; }
  host::Renderer& Renderer() { return standard->renderer; }

  // A left-handed look and a 90-degree square perspective.
  void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up = {0, 1, 0}, float fov = 1.5707964f) {
    D3DXMATRIX view, projection;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, fov, 1.0f, 1.0f, 6000.0f);
    Renderer().SetTransform(D3DTS_VIEW, &view);
    Renderer().SetTransform(D3DTS_PROJECTION, &projection);
  }
  void Frame() {
    Renderer().ClearRecords();
    terrain->Execute(0);
    terrain->Render(0);
  }
};

// One decoded corner of a recorded terrain draw: (x, raw height, z).
struct Corner {
  int x, h, z;
  bool operator==(const Corner&) const = default;
  auto operator<=>(const Corner&) const = default;
};

// Every triangle of the recorded draws of the last frame, decoded as the vertex format says.
inline std::vector<std::array<Corner, 3>> DrawnTriangles(const host::Renderer& r) {
  std::vector<std::array<Corner, 3>> out;
  for (const auto& d : r.Draws()) {
    if (d.slot != 53 || !d.error.empty()) continue;
    for (UINT t = 0; t < d.primitiveCount; ++t) {
      std::array<Corner, 3> tri{};
      for (int k = 0; k < 3; ++k) {
        const uint8_t* v = d.Vertex(d.indices[t * 3 + k]);
        int16_t c[4];
        std::memcpy(c, v, 8);
        tri[k] = {c[0], c[1], c[2]};
      }
      out.push_back(tri);
    }
  }
  return out;
}

// Height of the surface at (u, w) by barycentric interpolation on the triangle the diagonal rule
// names: quads whose (x mod 32 < 16) equals (z mod 32 < 16) are split from (x, z) to (x+1, z+1).
inline double SurfaceHeight(const Field& f, double u, double w, double scale = 1.0) {
  const int x = static_cast<int>(u), z = static_cast<int>(w);
  const double du = u - x, dw = w - z;
  const double h00 = f.At(x, z), h10 = f.At(x + 1, z), h01 = f.At(x, z + 1), h11 = f.At(x + 1, z + 1);
  double h;
  if (((x % 32) < 16) == ((z % 32) < 16)) {
    h = du >= dw ? h00 + du * (h10 - h00) + dw * (h11 - h10) : h00 + dw * (h01 - h00) + du * (h11 - h01);
  } else {
    h = du + dw <= 1.0 ? h00 + du * (h10 - h00) + dw * (h01 - h00)
                       : h11 + (1 - du) * (h01 - h11) + (1 - dw) * (h10 - h11);
  }
  return h * scale;
}

// The first t in [0, 1] at which the segment meets a triangle of the field, by testing every
// triangle of every quad under the segment's x-z bounds; 2 on a miss.
inline double BruteForceHit(const Field& f, const D3DXVECTOR3& a, const D3DXVECTOR3& b, double scale = 1.0) {
  const int x0 = std::max(0, static_cast<int>(std::floor(std::min(a.x, b.x))) - 1);
  const int x1 = std::min(2047, static_cast<int>(std::floor(std::max(a.x, b.x))) + 1);
  const int z0 = std::max(0, static_cast<int>(std::floor(std::min(a.z, b.z))) - 1);
  const int z1 = std::min(2047, static_cast<int>(std::floor(std::max(a.z, b.z))) + 1);
  const double o[3] = {a.x, a.y, a.z}, d[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
  auto hit = [&](const double p[3], const double q[3], const double r[3]) {
    const double e1[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]}, e2[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
    const double pv[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * pv[0] + e1[1] * pv[1] + e1[2] * pv[2];
    if (std::fabs(det) < 1e-12) return 2.0;
    const double tv[3] = {o[0] - p[0], o[1] - p[1], o[2] - p[2]};
    const double u = (tv[0] * pv[0] + tv[1] * pv[1] + tv[2] * pv[2]) / det;
    if (u < -1e-9 || u > 1 + 1e-9) return 2.0;
    const double qv[3] = {tv[1] * e1[2] - tv[2] * e1[1], tv[2] * e1[0] - tv[0] * e1[2], tv[0] * e1[1] - tv[1] * e1[0]};
    const double v = (d[0] * qv[0] + d[1] * qv[1] + d[2] * qv[2]) / det;
    if (v < -1e-9 || u + v > 1 + 1e-9) return 2.0;
    const double t = (e2[0] * qv[0] + e2[1] * qv[1] + e2[2] * qv[2]) / det;
    return t >= 0.0 && t <= 1.0 ? t : 2.0;
  };
  double best = 2.0;
  for (int x = x0; x <= x1; ++x)
    for (int z = z0; z <= z1; ++z) {
      auto P = [&](int px, int pz, double* out) {
        out[0] = px;
        out[1] = f.At(px, pz) * scale;
        out[2] = pz;
      };
      double c00[3], c10[3], c01[3], c11[3];
      P(x, z, c00);
      P(x + 1, z, c10);
      P(x, z + 1, c01);
      P(x + 1, z + 1, c11);
      if (((x % 32) < 16) == ((z % 32) < 16)) {
        best = std::min({best, hit(c00, c10, c11), hit(c00, c11, c01)});
      } else {
        best = std::min({best, hit(c00, c10, c01), hit(c10, c11, c01)});
      }
    }
  return best;
}

}  // namespace terrain_testing
