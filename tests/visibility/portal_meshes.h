// Generated meshes for the cell-portal graph builder's tests and benchmark: a building of rooms
// joined by doorways, sheets, scattered triangles and quads, long crossing triangles, and a
// sphere. Header-only so that bench/ can share it.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "d3dx8/d3dx8math.h"

namespace portal_meshes {

struct Mesh {
  std::string name;
  std::vector<D3DXVECTOR3> points;
  std::vector<std::array<uint32_t, 3>> triangles;

  // A quad from o along u then v, facing along cross(u, v): (p0, p1, p2) and (p0, p2, p3).
  void Quad(const D3DXVECTOR3& o, const D3DXVECTOR3& u, const D3DXVECTOR3& v) {
    const auto base = static_cast<uint32_t>(points.size());
    points.insert(points.end(), {o, o + u, o + u + v, o + v});
    triangles.push_back({base, base + 1, base + 2});
    triangles.push_back({base, base + 2, base + 3});
  }
  // The same quad seen from both sides.
  void TwoSided(const D3DXVECTOR3& o, const D3DXVECTOR3& u, const D3DXVECTOR3& v) {
    Quad(o, u, v);
    Quad(o, v, u);
  }
};

// columns x rows rooms of 4 x 3 x 4 units, each with a floor and ceiling facing in and a
// pillar; the walls between rooms have a doorway (1 wide, 2 high, in the middle) and a face into
// each room; the outer walls face in. 36 x columns x rows - 8 x (columns + rows) triangles.
inline Mesh Building(int columns, int rows) {
  Mesh m;
  m.name = "building " + std::to_string(columns) + "x" + std::to_string(rows);
  const D3DXVECTOR3 X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
  // A wall along `along` from o, 4 long and 3 high; with a doorway when inner.
  const auto wall = [&](const D3DXVECTOR3& o, const D3DXVECTOR3& along, bool inner, bool facesAlongNormal) {
    if (!inner) {
      if (facesAlongNormal)
        m.Quad(o, Y * 3, along * 4);
      else
        m.Quad(o, along * 4, Y * 3);
      return;
    }
    m.TwoSided(o, Y * 3, along * 1.5f);
    m.TwoSided(o + along * 2.5f, Y * 3, along * 1.5f);
    m.TwoSided(o + along * 1.5f + Y * 2, Y * 1, along * 1.0f);
  };
  for (int i = 0; i < columns; ++i)
    for (int j = 0; j < rows; ++j) {
      const D3DXVECTOR3 corner(4.0f * static_cast<float>(i), 0, 4.0f * static_cast<float>(j));
      m.Quad(corner, Z * 4, X * 4);          // floor, up
      m.Quad(corner + Y * 3, X * 4, Z * 4);  // ceiling, down
      const D3DXVECTOR3 p = corner + D3DXVECTOR3(1.0f, 0, 1.2f);
      m.Quad(p, Y * 3, X * 0.4f);             // pillar, facing -z
      m.Quad(p + Z * 0.4f, X * 0.4f, Y * 3);  // +z
      m.Quad(p, Z * 0.4f, Y * 3);             // -x
      m.Quad(p + X * 0.4f, Y * 3, Z * 0.4f);  // +x
    }
  // Walls at x = 4i (running along z) and z = 4j (running along x).
  for (int i = 0; i <= columns; ++i)
    for (int j = 0; j < rows; ++j) {
      const D3DXVECTOR3 o(4.0f * static_cast<float>(i), 0, 4.0f * static_cast<float>(j));
      wall(o, Z, i > 0 && i < columns, i == 0);
    }
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i < columns; ++i) {
      const D3DXVECTOR3 o(4.0f * static_cast<float>(i), 0, 4.0f * static_cast<float>(j));
      wall(o, X, j > 0 && j < rows, j != 0);
    }
  return m;
}

// A sheet of columns x rows quads, two triangles each, whose point (i, j) is height(x, z) above
// x = i - xFrom, z = j - zFrom.
template <class Height>
Mesh HeightSheet(const std::string& name, int columns, int rows, float xFrom, float zFrom, Height height) {
  Mesh m;
  m.name = name + " " + std::to_string(columns) + "x" + std::to_string(rows);
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= columns; ++i) {
      const float x = static_cast<float>(i) - xFrom, z = static_cast<float>(j) - zFrom;
      m.points.push_back(D3DXVECTOR3(x, height(x, z), z));
    }
  const auto at = [&](int i, int j) { return static_cast<uint32_t>(j * (columns + 1) + i); };
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i) {
      m.triangles.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1)});
      m.triangles.push_back({at(i, j), at(i + 1, j + 1), at(i + 1, j)});
    }
  return m;
}

// A rolling sheet (y = 3 sin 0.1x cos 0.13z): nearly every triangle on a plane of its own, and
// every plane near many others.
inline Mesh Rolling(int columns, int rows) {
  return HeightSheet("rolling", columns, rows, 0.0f, 0.0f,
                     [](float x, float z) { return 3.0f * std::sin(0.1f * x) * std::cos(0.13f * z); });
}

// A saddle sheet about the origin whose heights take only products and sums, so that every build
// computes the very same points.
inline Mesh Saddle(int columns, int rows) {
  return HeightSheet("saddle", columns, rows, 0.5f * static_cast<float>(columns), 0.5f * static_cast<float>(rows),
                     [](float x, float z) { return 0.02f * x * x - 0.015f * z * z + 0.001f * x * z; });
}

// n small triangles scattered in a cube of 20 units, each at its own angle.
inline Mesh Soup(int n, uint32_t seed) {
  Mesh m;
  m.name = "soup " + std::to_string(n);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> place(-10.0f, 10.0f), offset(-1.5f, 1.5f);
  for (int i = 0; i < n; ++i) {
    const D3DXVECTOR3 c(place(random), place(random), place(random));
    const auto base = static_cast<uint32_t>(m.points.size());
    for (int k = 0; k < 3; ++k) m.points.push_back(c + D3DXVECTOR3(offset(random), offset(random), offset(random)));
    m.triangles.push_back({base, base + 1, base + 2});
  }
  return m;
}

// n triangles whose corners lie anywhere in a cube of 200 units: nearly every plane crosses
// most of the other triangles.
inline Mesh WideSoup(int n, uint32_t seed) {
  Mesh m;
  m.name = "wide soup " + std::to_string(n);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> place(-100.0f, 100.0f);
  for (int i = 0; i < 3 * n; ++i) m.points.push_back(D3DXVECTOR3(place(random), place(random), place(random)));
  for (int i = 0; i < n; ++i) {
    const auto base = static_cast<uint32_t>(3 * i);
    m.triangles.push_back({base, base + 1, base + 2});
  }
  return m;
}

// n thin triangles 400 units long through a cube of 40 units about the origin, each along a
// direction of its own and turned its own way about it: the planes cross each other's triangles.
inline Mesh Crossing(int n, uint32_t seed) {
  Mesh m;
  m.name = "crossing " + std::to_string(n);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> place(-20.0f, 20.0f), component(-1.0f, 1.0f), width(20.0f, 60.0f);
  const auto direction = [&] {
    for (;;) {
      D3DXVECTOR3 d(component(random), component(random), component(random));
      const float length = D3DXVec3Length(&d);
      if (length > 0.1f && length <= 1.0f) return d / length;
    }
  };
  for (int i = 0; i < n; ++i) {
    const D3DXVECTOR3 c(place(random), place(random), place(random)), along = direction();
    D3DXVECTOR3 across;
    do {
      const D3DXVECTOR3 other = direction();
      D3DXVec3Cross(&across, &along, &other);
    } while (D3DXVec3Length(&across) < 0.1f);
    D3DXVec3Normalize(&across, &across);
    const auto base = static_cast<uint32_t>(m.points.size());
    m.points.insert(m.points.end(), {c - along * 200.0f, c + along * 200.0f, c + across * width(random)});
    m.triangles.push_back({base, base + 1, base + 2});
  }
  return m;
}

// n quads of whole-unit sides on whole-unit axis planes, either way round: many share a plane
// and many cross.
inline Mesh AxisSoup(int n, uint32_t seed) {
  Mesh m;
  m.name = "axis soup " + std::to_string(n);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> place(-8, 8), axis(0, 2), side(1, 3);
  for (int i = 0; i < n; ++i) {
    const D3DXVECTOR3 c(static_cast<float>(place(random)), static_cast<float>(place(random)),
                        static_cast<float>(place(random)));
    const int a = axis(random);
    D3DXVECTOR3 u(0, 0, 0), v(0, 0, 0);
    (&u.x)[(a + 1) % 3] = static_cast<float>(side(random));
    (&v.x)[(a + 2) % 3] = static_cast<float>(side(random));
    if ((random() & 1) != 0) std::swap(u, v);
    m.Quad(c, u, v);
  }
  return m;
}

// A sphere of radius 10 facing out: slices around, stacks from pole to pole, 2 x slices x
// (stacks - 1) triangles.
inline Mesh Sphere(int slices, int stacks) {
  Mesh m;
  m.name = "sphere " + std::to_string(slices) + "x" + std::to_string(stacks);
  const float pi = 3.14159265f;
  m.points.push_back(D3DXVECTOR3(0, 10, 0));
  for (int k = 1; k < stacks; ++k)
    for (int s = 0; s < slices; ++s) {
      const float theta = pi * static_cast<float>(k) / static_cast<float>(stacks);
      const float phi = 2 * pi * static_cast<float>(s) / static_cast<float>(slices);
      m.points.push_back(D3DXVECTOR3(10 * std::sin(theta) * std::cos(phi), 10 * std::cos(theta),
                                     10 * std::sin(theta) * std::sin(phi)));
    }
  m.points.push_back(D3DXVECTOR3(0, -10, 0));
  const auto at = [&](int ring, int s) { return static_cast<uint32_t>(1 + ring * slices + s % slices); };
  const auto bottom = static_cast<uint32_t>(m.points.size() - 1);
  for (int s = 0; s < slices; ++s) m.triangles.push_back({0, at(0, s + 1), at(0, s)});
  for (int ring = 0; ring + 2 < stacks; ++ring)
    for (int s = 0; s < slices; ++s) {
      m.triangles.push_back({at(ring, s), at(ring, s + 1), at(ring + 1, s + 1)});
      m.triangles.push_back({at(ring, s), at(ring + 1, s + 1), at(ring + 1, s)});
    }
  for (int s = 0; s < slices; ++s) m.triangles.push_back({bottom, at(stacks - 2, s), at(stacks - 2, s + 1)});
  return m;
}

}  // namespace portal_meshes
