// Generated index meshes for the stripifier's tests and benchmark: grids, spheres, tori and random
// planar triangulations. Header-only so that bench/ can share it.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace stripifier_meshes {

struct Mesh {
  std::string name;
  std::vector<uint16_t> indices;
  int vertexCount = 0;
};

// columns x rows quads, two triangles each, one winding throughout.
inline Mesh Grid(int columns, int rows) {
  Mesh m{"grid", {}, (columns + 1) * (rows + 1)};
  const auto v = [&](int c, int r) { return uint16_t(r * (columns + 1) + c); };
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      m.indices.insert(m.indices.end(), {v(c, r), v(c + 1, r), v(c + 1, r + 1)});
      m.indices.insert(m.indices.end(), {v(c, r), v(c + 1, r + 1), v(c, r + 1)});
    }
  return m;
}

// A closed surface: slices around, stacks from pole to pole (stacks - 1 rings of vertices).
inline Mesh Sphere(int slices, int stacks) {
  const int rings = stacks - 1;
  Mesh m{"sphere", {}, slices * rings + 2};
  const uint16_t top = uint16_t(slices * rings), bottom = uint16_t(top + 1);
  const auto v = [&](int ring, int s) { return uint16_t(ring * slices + (s % slices)); };
  for (int s = 0; s < slices; ++s) m.indices.insert(m.indices.end(), {top, v(0, s + 1), v(0, s)});
  for (int ring = 0; ring + 1 < rings; ++ring)
    for (int s = 0; s < slices; ++s) {
      m.indices.insert(m.indices.end(), {v(ring, s), v(ring, s + 1), v(ring + 1, s + 1)});
      m.indices.insert(m.indices.end(), {v(ring, s), v(ring + 1, s + 1), v(ring + 1, s)});
    }
  for (int s = 0; s < slices; ++s)
    m.indices.insert(m.indices.end(), {bottom, v(rings - 1, s), v(rings - 1, s + 1)});
  return m;
}

// A closed surface without border or poles: u x v quads wrapping both ways.
inline Mesh Torus(int u, int v) {
  Mesh m{"torus", {}, u * v};
  const auto at = [&](int a, int b) { return uint16_t((a % u) * v + (b % v)); };
  for (int a = 0; a < u; ++a)
    for (int b = 0; b < v; ++b) {
      m.indices.insert(m.indices.end(), {at(a, b), at(a + 1, b), at(a + 1, b + 1)});
      m.indices.insert(m.indices.end(), {at(a, b), at(a + 1, b + 1), at(a, b + 1)});
    }
  return m;
}

// A triangulated grid with a random diagonal per quad, then random edge flips: a planar
// triangulation with uneven vertex degrees, in a shuffled face order.
inline Mesh RandomPlanar(int columns, int rows, uint32_t seed) {
  std::mt19937 rng(seed);
  Mesh m{"planar", {}, (columns + 1) * (rows + 1)};
  std::vector<std::array<int, 3>> tris;
  const auto v = [&](int c, int r) { return r * (columns + 1) + c; };
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      if (rng() & 1) {
        tris.push_back({v(c, r), v(c + 1, r), v(c + 1, r + 1)});
        tris.push_back({v(c, r), v(c + 1, r + 1), v(c, r + 1)});
      } else {
        tris.push_back({v(c, r), v(c + 1, r), v(c, r + 1)});
        tris.push_back({v(c + 1, r), v(c + 1, r + 1), v(c, r + 1)});
      }
    }
  // Directed edge -> face; a flip replaces faces (a, b, c), (b, a, d) with (c, a, d), (d, b, c).
  std::map<std::pair<int, int>, int> owner;
  const auto link = [&](int f, bool add) {
    for (int k = 0; k < 3; ++k) {
      const std::pair<int, int> e{tris[size_t(f)][size_t(k)], tris[size_t(f)][size_t((k + 1) % 3)]};
      if (add)
        owner[e] = f;
      else
        owner.erase(e);
    }
  };
  for (int f = 0; f < int(tris.size()); ++f) link(f, true);
  const int flips = int(tris.size()) / 3;
  for (int n = 0; n < flips; ++n) {
    const int f = int(rng() % tris.size());
    const int k = int(rng() % 3);
    const auto t = tris[size_t(f)];
    const int a = t[size_t(k)], b = t[size_t((k + 1) % 3)], c = t[size_t((k + 2) % 3)];
    const auto across = owner.find({b, a});
    if (across == owner.end()) continue;
    const int g = across->second;
    const auto u = tris[size_t(g)];
    int d = -1;
    for (int x : u)
      if (x != a && x != b) d = x;
    if (owner.count({c, d}) || owner.count({d, c})) continue;  // the new edge exists already
    // Keep the triangulation flat: flip only where both new faces keep the winding of the old
    // ones at the grid positions (the quad a-d-b-c is convex).
    const auto pos = [&](int id) { return std::pair<double, double>(id % (columns + 1), id / (columns + 1)); };
    const auto cross = [&](int o, int p, int q) {
      const auto [ox, oy] = pos(o);
      const auto [px, py] = pos(p);
      const auto [qx, qy] = pos(q);
      return (px - ox) * (qy - oy) - (py - oy) * (qx - ox);
    };
    const double sign = cross(t[0], t[1], t[2]);
    if (cross(c, a, d) * sign <= 0 || cross(d, b, c) * sign <= 0) continue;
    link(f, false);
    link(g, false);
    tris[size_t(f)] = {c, a, d};
    tris[size_t(g)] = {d, b, c};
    link(f, true);
    link(g, true);
  }
  std::shuffle(tris.begin(), tris.end(), rng);
  for (const auto& t : tris) m.indices.insert(m.indices.end(), {uint16_t(t[0]), uint16_t(t[1]), uint16_t(t[2])});
  return m;
}

// The benchmark's set: each shape at about 100, 400, 800 and 10,000 triangles.
inline std::vector<Mesh> StandardSet() {
  std::vector<Mesh> set;
  const int grid[4][2] = {{5, 10}, {10, 20}, {20, 20}, {50, 100}};
  const int sphere[4][2] = {{10, 6}, {20, 11}, {20, 21}, {100, 51}};
  for (int n = 0; n < 4; ++n) {
    set.push_back(Grid(grid[n][0], grid[n][1]));
    set.push_back(Sphere(sphere[n][0], sphere[n][1]));
    set.push_back(Torus(grid[n][0], grid[n][1]));
    set.push_back(RandomPlanar(grid[n][0], grid[n][1], 1000u + uint32_t(n)));
  }
  for (Mesh& m : set) {
    m.name.push_back('/');
    m.name.append(std::to_string(m.indices.size() / 3));
  }
  return set;
}

}  // namespace stripifier_meshes
