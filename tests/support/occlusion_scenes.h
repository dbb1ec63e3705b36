// Cameras and generated scenes of convex occluders and boxes for the occlusion culler's tests
// and benchmark. Every scene comes from a seed, so a failure names the scene that made it.
#pragma once
#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "support/occlusion_oracle.h"

namespace occlusion_testing {

constexpr float kFieldOfView = 0.898513f;
constexpr float kNear = 1.0f;

struct OcclusionCamera {
  D3DXVECTOR3 eye, forward, right, up;
  D3DXMATRIX view, projection, viewProjection;
  D3DXPLANE nearPlane;  // n.p = d, n pointing away from the eye

  OcclusionCamera(const D3DXVECTOR3& from, const D3DXVECTOR3& towards) : eye(from) {
    const D3DXVECTOR3 at = from + towards;
    const D3DXVECTOR3 worldUp(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &worldUp);
    D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, 1.0f, kNear, 1000.0f);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    right = D3DXVECTOR3(view._11, view._21, view._31);
    up = D3DXVECTOR3(view._12, view._22, view._32);
    forward = D3DXVECTOR3(view._13, view._23, view._33);
    nearPlane = D3DXPLANE(forward.x, forward.y, forward.z, D3DXVec3Dot(&forward, &eye) + kNear);
  }

  D3DXVECTOR3 At(float depth, float x, float y) const { return eye + forward * depth + right * x + up * y; }
  D3DXVECTOR3 Project(const D3DXVECTOR3& p) const {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &viewProjection);
    return out;
  }
};

// The camera of the generated scenes: a little off every axis, so no matrix is trivial.
inline OcclusionCamera SceneCamera() { return OcclusionCamera(D3DXVECTOR3(3.0f, 2.0f, -5.0f), D3DXVECTOR3(0.12f, -0.07f, 1.0f)); }

// Twice the signed screen area of a polygon (counter-clockwise positive, y up).
inline float ScreenCross(const OcclusionCamera& cam, const std::vector<D3DXVECTOR3>& points) {
  float sum = 0.0f;
  for (size_t i = 0; i < points.size(); ++i) {
    const D3DXVECTOR3 a = cam.Project(points[i]), b = cam.Project(points[(i + 1) % points.size()]);
    sum += a.x * b.y - a.y * b.x;
  }
  return sum;
}

// A convex polygon of `corners` points on an ellipse around `centre`, its plane tilted from
// facing the camera by up to `maxTilt` radians, wound clockwise on screen.
inline OracleOccluder MakeOccluder(const OcclusionCamera& cam, std::mt19937& rng, const D3DXVECTOR3& centre,
                                   float radius, int corners, float maxTilt) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  const float tilt = maxTilt * unit(rng), turn = 6.2831853f * unit(rng);
  D3DXVECTOR3 normal = -cam.forward * std::cos(tilt) + (cam.right * std::cos(turn) + cam.up * std::sin(turn)) * std::sin(tilt);
  D3DXVec3Normalize(&normal, &normal);
  D3DXVECTOR3 u, v;
  D3DXVec3Cross(&u, &normal, &cam.up);
  D3DXVec3Normalize(&u, &u);
  D3DXVec3Cross(&v, &normal, &u);
  const float ru = radius * (0.6f + 0.4f * unit(rng)), rv = radius * (0.6f + 0.4f * unit(rng));
  std::vector<float> angles;
  const float step = 6.2831853f / static_cast<float>(corners);
  for (int i = 0; i < corners; ++i) angles.push_back(step * (static_cast<float>(i) + 0.1f + 0.8f * unit(rng)));
  OracleOccluder occ;
  for (float a : angles) occ.points.push_back(centre + u * (ru * std::cos(a)) + v * (rv * std::sin(a)));
  if (ScreenCross(cam, occ.points) > 0.0f) std::reverse(occ.points.begin(), occ.points.end());
  occ.normal = normal;
  occ.d = D3DXVec3Dot(&normal, &centre);
  return occ;
}

struct OcclusionBox {
  D3DXVECTOR3 lo, hi;
};

struct OcclusionScene {
  std::vector<OracleOccluder> occluders;
  std::vector<OcclusionBox> boxes;
};

// `occluders` polygons of 3 to 6 corners at depths 15-60; with `layered`, each in a depth slab
// of its own so that no two cut through each other. `boxes` boxes at depths 8-100, some
// behind, some in front of and some through the occluders.
inline OcclusionScene RandomScene(const OcclusionCamera& cam, unsigned seed, int occluders, int boxes, bool layered) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  OcclusionScene scene;
  for (int i = 0; i < occluders; ++i) {
    const float depth = layered ? 15.0f + 9.0f * static_cast<float>(i) + 2.0f * unit(rng) : 15.0f + 45.0f * unit(rng);
    const float radius = layered ? 3.0f + 4.0f * unit(rng) : 3.0f + 9.0f * unit(rng);
    const D3DXVECTOR3 centre = cam.At(depth, depth * (unit(rng) - 0.5f) * 0.7f, depth * (unit(rng) - 0.5f) * 0.7f);
    scene.occluders.push_back(MakeOccluder(cam, rng, centre, radius, 3 + static_cast<int>(unit(rng) * 4.0f) % 4,
                                           layered ? 0.5f : 0.8f));
  }
  for (int i = 0; i < boxes; ++i) {
    const float depth = 8.0f + 92.0f * unit(rng);
    const D3DXVECTOR3 c = cam.At(depth, depth * (unit(rng) - 0.5f) * 0.8f, depth * (unit(rng) - 0.5f) * 0.8f);
    const D3DXVECTOR3 half(0.3f + 3.0f * unit(rng), 0.3f + 3.0f * unit(rng), 0.3f + 3.0f * unit(rng));
    scene.boxes.push_back(OcclusionBox{c - half, c + half});
  }
  return scene;
}

struct Triangle {
  D3DXVECTOR3 p[3];
  D3DXPLANE plane;  // n.p = d, facing out of the wall or building

  OracleOccluder Occluder() const { return OracleOccluder{{p[0], p[1], p[2]}, D3DXVECTOR3(plane.a, plane.b, plane.c), plane.d}; }
};

struct City {
  std::vector<Triangle> triangles;
  std::vector<OcclusionBox> boxes;
};

// A planar quad a, b, c, d (in order around it) as two triangles facing `normal`, each wound
// clockwise on screen when seen from its front.
inline void AddQuad(const OcclusionCamera& cam, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
             const D3DXVECTOR3& d, const D3DXVECTOR3& normal, std::vector<Triangle>& out) {
  const float offset = D3DXVec3Dot(&normal, &a);
  for (const auto& tri : {std::vector<D3DXVECTOR3>{a, b, c}, std::vector<D3DXVECTOR3>{a, c, d}}) {
    std::vector<D3DXVECTOR3> pts = tri;
    if (D3DXVec3Dot(&normal, &cam.eye) > offset && ScreenCross(cam, pts) > 0.0f)
      std::reverse(pts.begin(), pts.end());
    Triangle t;
    std::copy(pts.begin(), pts.end(), t.p);
    t.plane = D3DXPLANE(normal.x, normal.y, normal.z, offset);
    out.push_back(t);
  }
}

// Walls and buildings standing on y = 0 at view depths 20-150: `triangles` occluder triangles
// (two per wall, twelve per building, the last cut short), and `boxes` boxes among them.
inline City MakeCity(const OcclusionCamera& cam, unsigned seed, size_t triangles, int boxes) {
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
  for (int i = 0; i < boxes; ++i) {
    const float depth = uniform(10.0f, 200.0f);
    D3DXVECTOR3 c = cam.At(depth, uniform(-0.45f, 0.45f) * depth, 0.0f);
    c.y = uniform(0.5f, 12.0f);
    const D3DXVECTOR3 half(uniform(0.3f, 3.0f), uniform(0.3f, 3.0f), uniform(0.3f, 3.0f));
    city.boxes.push_back(OcclusionBox{c - half, c + half});
  }
  return city;
}

}  // namespace occlusion_testing
