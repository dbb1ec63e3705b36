// Random views of occluder meshes for the occlusion culler, and an exact judge of what they
// hide, written without any of the culler's code.
//
// A view is a left-handed camera (eye, forward, right, up; a perspective projection of random
// field of view and aspect). Its meshes share their corners by index, as the occluder tree's
// polygons do: convex polygons, triangle fans (flat or raised to a point), folded strips, pairs
// of pieces with a thin gap between them, all of them often cut by the screen border and some
// by the near plane. Its boxes sit behind, through and in front of the meshes, close to their
// outlines.
//
// The judge casts double-precision rays from the eye to points on a box's camera-facing faces,
// its edges and its corners, spaced at most kSampleStep apart on screen, and tries each against
// every occluder the culler may use (the eye strictly in front of its plane), counting a ray that
// grazes an occluder's outline (within kGraze radians) or meets it at the point's own depth
// (within kDepthGraze of normalized depth) as hidden. A point off the screen or before the near
// plane is not seen.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "d3dx8/d3dx8math.h"

namespace occlusion_exact {

constexpr double kSampleStep = 0.01;  // normalized device units: 3 pixels of a 600-pixel screen
constexpr double kGraze = 1e-5;
constexpr double kDepthGraze = 1e-6;
constexpr float kTreeFieldOfView = 0.898513f;  // what the tree hands the culler, whatever the lens

struct V3 {
  double x, y, z;
};
inline V3 operator-(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator+(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(const V3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(const V3& a) { return std::sqrt(Dot(a, a)); }
inline V3 Wide(const D3DXVECTOR3& p) { return {p.x, p.y, p.z}; }

struct View {
  D3DXVECTOR3 eye, forward, right, up;
  float nearDistance = 1.0f;
  D3DXMATRIX view, projection;
  D3DXPLANE nearPlane;  // n.p = d, n the forward axis
  double viewProjection[4][4];

  // A left-handed camera from `eye` towards `at`, rolled by `roll` radians.
  View(const D3DXVECTOR3& from, const D3DXVECTOR3& at, float roll, float fov, float aspect, float zn) : eye(from), nearDistance(zn) {
    D3DXVECTOR3 dir = at - from;
    D3DXVec3Normalize(&dir, &dir);
    D3DXVECTOR3 side, worldUp(0.0f, 1.0f, 0.0f), upish;
    D3DXVec3Cross(&side, &worldUp, &dir);
    D3DXVec3Normalize(&side, &side);
    D3DXVec3Cross(&upish, &dir, &side);
    const D3DXVECTOR3 rolledUp = upish * std::cos(roll) + side * std::sin(roll);
    D3DXMatrixLookAtLH(&view, &eye, &at, &rolledUp);
    D3DXMatrixPerspectiveFovLH(&projection, fov, aspect, zn, 1000.0f);
    right = D3DXVECTOR3(view._11, view._21, view._31);
    up = D3DXVECTOR3(view._12, view._22, view._32);
    forward = D3DXVECTOR3(view._13, view._23, view._33);
    nearPlane = D3DXPLANE(forward.x, forward.y, forward.z, D3DXVec3Dot(&forward, &eye) + zn);
    Multiply();
  }

  // viewProjection = view x projection in double precision.
  void Multiply() {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        double s = 0.0;
        for (int k = 0; k < 4; ++k) s += static_cast<double>(view.m[i][k]) * projection.m[k][j];
        viewProjection[i][j] = s;
      }
  }

  // A view of given matrices, as a caller hands them to the culler.
  static View FromMatrices(const D3DXVECTOR3& eye, const D3DXMATRIX& view, const D3DXMATRIX& projection,
                           const D3DXPLANE& nearPlane) {
    View v(D3DXVECTOR3(0, 0, -1), D3DXVECTOR3(0, 0, 0), 0.0f, 1.0f, 1.0f, 1.0f);
    v.eye = eye;
    v.view = view;
    v.projection = projection;
    v.nearPlane = nearPlane;
    v.right = D3DXVECTOR3(view._11, view._21, view._31);
    v.up = D3DXVECTOR3(view._12, view._22, view._32);
    v.forward = D3DXVECTOR3(view._13, view._23, view._33);
    v.nearDistance = -projection._43 / projection._33;
    v.Multiply();
    return v;
  }

  // The world point at view depth z that projects to normalized device coordinates (x, y).
  D3DXVECTOR3 At(float x, float y, float z) const {
    return eye + forward * z + right * (x * z / projection._11) + up * (y * z / projection._22);
  }
  // Homogeneous clip coordinates of p.
  void Clip(const V3& p, double out[4]) const {
    for (int j = 0; j < 4; ++j)
      out[j] = p.x * viewProjection[0][j] + p.y * viewProjection[1][j] + p.z * viewProjection[2][j] + viewProjection[3][j];
  }
};

// Occluder polygons over one shared array of corners.
struct Mesh {
  std::vector<D3DXVECTOR3> points;
  std::vector<std::vector<uint32_t>> polygons;
  std::vector<D3DXPLANE> planes;  // per polygon, facing the eye
};

struct Box {
  D3DXVECTOR3 lo, hi;
};

struct Scene {
  View view;
  Mesh mesh;
  std::vector<Box> boxes;
};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  int I(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  Scene Make() {
    const D3DXVECTOR3 eye(F(-40, 40), F(0, 20), F(-40, 40));
    const double yaw = U(0, 6.2831853), pitch = U(-0.7, 0.7);
    const D3DXVECTOR3 at = eye + D3DXVECTOR3(static_cast<float>(std::cos(pitch) * std::sin(yaw)), static_cast<float>(std::sin(pitch)),
                                             static_cast<float>(std::cos(pitch) * std::cos(yaw)));
    const float nears[3] = {0.1f, 0.5f, 1.0f};
    Scene s{View(eye, at, F(-0.5, 0.5), F(0.5, 1.4), F(0.6, 2.0), nears[I(0, 2)]), {}, {}};
    const int meshes = I(2, 6);
    for (int m = 0; m < meshes; ++m) {
      reverse_ = I(0, 1) == 1;
      switch (I(0, 4)) {
        case 0: Polygon(s); break;
        case 1: Fan(s); break;
        case 2: Strip(s); break;
        case 3: Gap(s); break;
        default: NearCut(s); break;
      }
    }
    for (int b = 0; b < 40; ++b) AddBox(s);
    return s;
  }

 private:
  float F(double lo, double hi) { return static_cast<float>(U(lo, hi)); }

  uint32_t Point(Scene& s, const D3DXVECTOR3& p) {
    s.mesh.points.push_back(p);
    return static_cast<uint32_t>(s.mesh.points.size() - 1);
  }

  // A polygon over existing corners with its own plane; `shared` reuses the plane of the
  // polygon before it (the pieces of one flat face carry one plane). The polygons of one mesh
  // are wound one way, so a shared edge runs one way in one and the other way in the other.
  void Face(Scene& s, std::vector<uint32_t> corners, bool shared = false) {
    if (reverse_) std::reverse(corners.begin(), corners.end());
    D3DXPLANE plane;
    if (shared && !s.mesh.planes.empty()) {
      plane = s.mesh.planes.back();
    } else {
      const V3 a = Wide(s.mesh.points[corners[0]]), b = Wide(s.mesh.points[corners[1]]), c = Wide(s.mesh.points[corners[2]]);
      V3 n = Cross(b - a, c - a);
      const double len = Length(n);
      if (len == 0.0) return;
      n = n * (1.0 / len);
      double d = Dot(n, a);
      if (Dot(n, Wide(s.view.eye)) < d) {
        n = n * -1.0;
        d = -d;
      }
      plane = D3DXPLANE(static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z), static_cast<float>(d));
    }
    s.mesh.polygons.push_back(std::move(corners));
    s.mesh.planes.push_back(plane);
  }

  // Corners of a convex outline around screen point (cx, cy) at depth z, `radius` across on
  // screen at that depth, in a plane turned by up to `tilt` from facing the camera. A large
  // or steep outline reaches before the near plane and behind the eye.
  std::vector<D3DXVECTOR3> Outline(const View& v, float cx, float cy, float z, float radius, int corners, float tilt) {
    const float a = F(0, tilt), turn = F(0, 6.2831853);
    D3DXVECTOR3 n = -v.forward * std::cos(a) + (v.right * std::cos(turn) + v.up * std::sin(turn)) * std::sin(a);
    D3DXVec3Normalize(&n, &n);
    D3DXVECTOR3 u, w;
    D3DXVec3Cross(&u, &n, &v.up);
    D3DXVec3Normalize(&u, &u);
    D3DXVec3Cross(&w, &n, &u);
    const D3DXVECTOR3 centre = v.At(cx, cy, z);
    const float world = radius * z / v.projection._11;
    const float ru = world * F(0.5, 1.0), rv = world * F(0.5, 1.0), spin = F(0, 6.2831853);
    std::vector<D3DXVECTOR3> out;
    const float step = 6.2831853f / static_cast<float>(corners);
    for (int i = 0; i < corners; ++i) {
      const float t = spin + step * (static_cast<float>(i) + F(0.1, 0.9));
      out.push_back(centre + u * (ru * std::cos(t)) + w * (rv * std::sin(t)));
    }
    return out;
  }

  void Polygon(Scene& s) {
    const auto corners = Outline(s.view, F(-1.2, 1.2), F(-1.2, 1.2), F(4, 60), F(0.2, 1.6), I(3, 8), 1.2f);
    std::vector<uint32_t> idx;
    for (const auto& p : corners) idx.push_back(Point(s, p));
    Face(s, idx);
  }

  // A fan around a centre that lies in the outline's plane or is raised towards the eye.
  void Fan(Scene& s) {
    const float cx = F(-1.5, 1.5), cy = F(-1.5, 1.5), z = F(4, 50);
    const auto ring = Outline(s.view, cx, cy, z, F(0.5, 3.0), I(3, 12), 1.0f);
    D3DXVECTOR3 centre(0, 0, 0);
    for (const auto& p : ring) centre += p / static_cast<float>(ring.size());
    const bool flat = I(0, 1) == 0;
    if (!flat) centre -= s.view.forward * (z * F(0.05, 0.4));
    const uint32_t c = Point(s, centre);
    std::vector<uint32_t> idx;
    for (const auto& p : ring) idx.push_back(Point(s, p));
    for (size_t i = 0; i < idx.size(); ++i) Face(s, {c, idx[i], idx[(i + 1) % idx.size()]}, flat && i > 0);
  }

  // A strip of quads across the screen, folded at every column, each quad two triangles.
  void Strip(Scene& s) {
    const int columns = I(2, 8);
    const float y0 = F(-1.5, 1.0), height = F(0.1, 1.5), x0 = F(-2.0, 0.0), width = F(0.2, 0.8), z = F(4, 50);
    std::vector<uint32_t> top, bottom;
    for (int k = 0; k <= columns; ++k) {
      const float x = x0 + width * static_cast<float>(k) + F(-0.1, 0.1);
      const float depth = z * F(0.8, 1.25);
      top.push_back(Point(s, s.view.At(x + F(-0.1, 0.1), y0, depth)));
      bottom.push_back(Point(s, s.view.At(x + F(-0.1, 0.1), y0 + height, depth * F(0.9, 1.1))));
    }
    for (int k = 0; k < columns; ++k) {
      Face(s, {top[k], top[k + 1], bottom[k + 1]});
      Face(s, {top[k], bottom[k + 1], bottom[k]});
    }
  }

  // One flat piece cut in two along a line, the halves pulled apart by a gap of 0.002-0.05 on
  // screen: boxes behind it are seen through a sliver.
  void Gap(Scene& s) {
    const float cx = F(-0.6, 0.6), cy = F(-0.6, 0.6), z = F(5, 40), half = F(0.3, 1.4);
    const float angle = F(0, 3.1415926), gap = F(0.002, 0.05);
    const float nx = std::cos(angle), ny = std::sin(angle);  // across the cut
    const float tx = -ny, ty = nx;
    for (float side : {-1.0f, 1.0f}) {
      const float ox = cx + nx * side * gap * 0.5f, oy = cy + ny * side * gap * 0.5f;
      const float far = side * F(0.3, 1.0) * half;
      const uint32_t a = Point(s, s.view.At(ox - tx * half, oy - ty * half, z));
      const uint32_t b = Point(s, s.view.At(ox + tx * half, oy + ty * half, z));
      const uint32_t c = Point(s, s.view.At(ox + tx * half * F(0.3, 1.0) + nx * far, oy + ty * half * F(0.3, 1.0) + ny * far, z));
      const uint32_t d = Point(s, s.view.At(ox - tx * half * F(0.3, 1.0) + nx * far, oy - ty * half * F(0.3, 1.0) + ny * far, z));
      Face(s, {a, b, c, d}, side > 0.0f);
    }
  }

  // A polygon, or a fan raised away from the eye, that reaches from beyond the near plane to
  // before it or behind the eye.
  void NearCut(Scene& s) {
    const View& v = s.view;
    const float z = v.nearDistance * F(1.05, 4.0);
    const auto ring = Outline(v, F(-0.8, 0.8), F(-0.8, 0.8), z, F(0.5, 3.0), I(3, 6), 1.4f);
    std::vector<uint32_t> idx;
    for (const auto& p : ring) idx.push_back(Point(s, p));
    if (I(0, 1) == 0) {
      Face(s, idx);
      return;
    }
    D3DXVECTOR3 centre(0, 0, 0);
    for (const auto& p : ring) centre += p / static_cast<float>(ring.size());
    const uint32_t c = Point(s, centre + v.forward * (z * F(0.5, 5.0)));
    for (size_t i = 0; i < idx.size(); ++i) Face(s, {c, idx[i], idx[(i + 1) % idx.size()]});
  }

  // A box near an outline: centred close to a corner or an edge of a random polygon on screen,
  // at a depth from just before that polygon to well behind it.
  void AddBox(Scene& s) {
    const View& v = s.view;
    float x = F(-1.1, 1.1), y = F(-1.1, 1.1), z = F(5, 60);
    if (!s.mesh.polygons.empty() && I(0, 5) > 0) {
      const auto& poly = s.mesh.polygons[static_cast<size_t>(I(0, static_cast<int>(s.mesh.polygons.size()) - 1))];
      const size_t k = static_cast<size_t>(I(0, static_cast<int>(poly.size()) - 1));
      const D3DXVECTOR3& p = s.mesh.points[poly[k]];
      const D3DXVECTOR3& q = s.mesh.points[poly[(k + 1) % poly.size()]];
      const D3DXVECTOR3 on = p + (q - p) * (I(0, 2) == 0 ? 0.0f : F(0, 1));
      const D3DXVECTOR3 rel = on - v.eye;
      const float depth = D3DXVec3Dot(&rel, &v.forward);
      if (depth > v.nearDistance) {
        x = D3DXVec3Dot(&rel, &v.right) / depth * v.projection._11 + F(-0.05, 0.05);
        y = D3DXVec3Dot(&rel, &v.up) / depth * v.projection._22 + F(-0.05, 0.05);
        z = depth * F(0.95, 2.0);
      }
    }
    const float size = F(0.005, 0.15) * z;
    const D3DXVECTOR3 c = v.At(x, y, z);
    const D3DXVECTOR3 half(size * F(0.2, 1.0), size * F(0.2, 1.0), size * F(0.2, 1.0));
    s.boxes.push_back(Box{c - half, c + half});
  }

  std::mt19937 rng_;
  bool reverse_ = false;
};

// The exact judge of one view's occluders.
class Judge {
 public:
  Judge(const View& view, const Mesh& mesh) : view_(view), eye_(Wide(view.eye)), forward_(Wide(view.forward)) {
    q_ = -static_cast<double>(view.projection._43);
    for (size_t p = 0; p < mesh.polygons.size(); ++p) {
      const D3DXPLANE& pl = mesh.planes[p];
      if (!(static_cast<double>(pl.a) * eye_.x + static_cast<double>(pl.b) * eye_.y + static_cast<double>(pl.c) * eye_.z > pl.d))
        continue;
      const auto& poly = mesh.polygons[p];
      for (size_t i = 1; i + 1 < poly.size(); ++i)
        AddTriangle(Wide(mesh.points[poly[0]]), Wide(mesh.points[poly[i]]), Wide(mesh.points[poly[i + 1]]));
    }
  }

  // Points of the box that the eye sees; stops counting at `enough`. `sampled`, when given,
  // receives the number of points tried.
  int SeenPoints(const Box& box, int enough = 1 << 30, int* sampled = nullptr) const {
    if (sampled != nullptr) *sampled = 0;
    const double lo[3] = {box.lo.x, box.lo.y, box.lo.z}, hi[3] = {box.hi.x, box.hi.y, box.hi.z};
    const double eye[3] = {eye_.x, eye_.y, eye_.z};
    int seen = 0;
    for (int f = 0; f < 6 && seen < enough; ++f) {
      const int k = f / 2;
      const bool maxSide = f % 2 == 1;
      if (!(maxSide ? eye[k] > hi[k] : eye[k] < lo[k])) continue;
      const int a = (k + 1) % 3, b = (k + 2) % 3;
      // The face's corners on screen give its sampling.
      double corner[3];
      corner[k] = maxSide ? hi[k] : lo[k];
      double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
      for (int c = 0; c < 4; ++c) {
        corner[a] = (c & 1) ? hi[a] : lo[a];
        corner[b] = (c & 2) ? hi[b] : lo[b];
        double h[4];
        view_.Clip({corner[0], corner[1], corner[2]}, h);
        if (h[3] <= 0.0) {
          x0 = y0 = -1e30;
          x1 = y1 = 1e30;
          break;
        }
        x0 = std::min(x0, h[0] / h[3]);
        x1 = std::max(x1, h[0] / h[3]);
        y0 = std::min(y0, h[1] / h[3]);
        y1 = std::max(y1, h[1] / h[3]);
      }
      const double extent = std::min(std::max(x1 - x0, y1 - y0), 4.0);
      const int n = std::clamp(static_cast<int>(std::ceil(extent / kSampleStep)), 1, 400);
      for (int i = 0; i <= n && seen < enough; ++i)
        for (int j = 0; j <= n && seen < enough; ++j) {
          corner[a] = lo[a] + (hi[a] - lo[a]) * i / n;
          corner[b] = lo[b] + (hi[b] - lo[b]) * j / n;
          if (Seen({corner[0], corner[1], corner[2]})) ++seen;
          if (sampled != nullptr) ++*sampled;
        }
    }
    return seen;
  }

  // Whether the eye sees the point p.
  bool Seen(const V3& p) const {
    double h[4];
    view_.Clip(p, h);
    if (h[3] <= 0.0 || std::fabs(h[0]) > h[3] || std::fabs(h[1]) > h[3]) return false;
    const V3 d = p - eye_;
    const double w = Dot(d, forward_);
    if (w < view_.nearDistance) return false;
    // Meeting an occluder at ray parameter t <= tMax is meeting it no farther in normalized
    // depth than p plus the graze (depth P33 - P43 / w, w linear along the ray).
    const double slack = kDepthGraze * w / q_;
    const double tMax = slack < 1.0 ? 1.0 / (1.0 - slack) : 1e300;
    const double tMin = view_.nearDistance / w * (1.0 - 1e-9);
    const double len = Length(d);
    // Neighbouring points are mostly hidden by one triangle: it is tried first.
    const size_t n = triangles_.size();
    for (size_t k = 0; k < n; ++k) {
      const size_t i = (last_ + k) % n;
      const Triangle& t = triangles_[i];
      if (Dot(d, t.edge[0]) < -kGraze * len || Dot(d, t.edge[1]) < -kGraze * len || Dot(d, t.edge[2]) < -kGraze * len)
        continue;
      const double denom = Dot(t.normal, d);
      // Along the occluder's plane and inside its outline: grazing.
      const double s = denom == 0.0 ? 1.0 : t.offset / denom;
      if (s >= tMin && s <= tMax) {
        last_ = i;
        return false;
      }
    }
    return true;
  }

 private:
  struct Triangle {
    V3 edge[3];   // unit normals of the planes through the eye and each edge, pointing inwards
    V3 normal;    // of the triangle's plane
    double offset;  // normal . (a corner - eye)
  };

  void AddTriangle(const V3& a, const V3& b, const V3& c) {
    Triangle t;
    const V3 pa = a - eye_, pb = b - eye_, pc = c - eye_;
    t.normal = Cross(b - a, c - a);
    if (Length(t.normal) == 0.0) return;
    t.offset = Dot(t.normal, pa);
    const V3 e[3] = {Cross(pa, pb), Cross(pb, pc), Cross(pc, pa)};
    // Inwards: the side of the opposite corner.
    const V3* opposite[3] = {&pc, &pa, &pb};
    for (int i = 0; i < 3; ++i) {
      const double len = Length(e[i]);
      if (len == 0.0) return;  // seen edge-on from the eye
      t.edge[i] = e[i] * ((Dot(e[i], *opposite[i]) < 0.0 ? -1.0 : 1.0) / len);
    }
    triangles_.push_back(t);
  }

  const View& view_;
  V3 eye_, forward_;
  double q_;
  std::vector<Triangle> triangles_;
  mutable size_t last_ = 0;
};

}  // namespace occlusion_exact
