// A brute-force stand-in for the occlusion culler, written without any of its code: a fine
// grid of screen samples, a ray through each, and the nearest occluder hit along it.
// Depth along a ray is the ray parameter (0 on the near plane, 1 on the far plane), which
// orders points exactly as projected depth does.
#pragma once
#include <cfloat>
#include <algorithm>
#include <cmath>
#include <vector>

#include "d3dx8/d3dx8math.h"

namespace occlusion_testing {

// A convex planar polygon; the plane n.p = d faces the side it occludes from.
struct OracleOccluder {
  std::vector<D3DXVECTOR3> points;
  D3DXVECTOR3 normal;
  float d;
};

class OcclusionOracle {
 public:
  OcclusionOracle(const D3DXMATRIX& viewProjection, int samplesPerSide)
      : n_(samplesPerSide), viewProjection_(viewProjection), depth_(static_cast<size_t>(samplesPerSide * samplesPerSide), FLT_MAX),
        front_(depth_.size(), -1) {
    D3DXMatrixInverse(&inverse_, nullptr, &viewProjection);
    for (int j = 0; j < n_; ++j)
      for (int i = 0; i < n_; ++i) {
        D3DXVECTOR3 o, d;
        Ray(SampleX(i), SampleX(j), &o, &d);
        origins_.push_back(o);
        directions_.push_back(d);
      }
  }

  // The nearest occluder of every sample.
  void Build(const std::vector<OracleOccluder>& occluders) {
    occluders_ = occluders;
    for (int j = 0; j < n_; ++j)
      for (int i = 0; i < n_; ++i) {
        const size_t k = static_cast<size_t>(j * n_ + i);
        front_[k] = Front(SampleX(i), SampleX(j), &depth_[k]);
      }
  }

  float SampleX(int i) const { return -1.0f + (static_cast<float>(i) + 0.5f) * 2.0f / static_cast<float>(n_); }

  // The index of the nearest occluder at screen point (x, y), -1 for none.
  int Front(float x, float y, float* depth = nullptr) const {
    D3DXVECTOR3 origin, direction;
    Ray(x, y, &origin, &direction);
    int best = -1;
    float bestT = FLT_MAX;
    for (size_t o = 0; o < occluders_.size(); ++o) {
      const OracleOccluder& occ = occluders_[o];
      const float denom = D3DXVec3Dot(&occ.normal, &direction);
      if (denom == 0.0f) continue;
      const float t = (occ.d - D3DXVec3Dot(&occ.normal, &origin)) / denom;
      if (t < 0.0f || t >= bestT) continue;
      const D3DXVECTOR3 hit = origin + direction * t;
      if (Inside(occ, hit)) {
        bestT = t;
        best = static_cast<int>(o);
      }
    }
    if (depth != nullptr) *depth = bestT;
    return best;
  }

  // Samples of the box's footprint where the box is nearer than every occluder, or where no
  // occluder is. Points within `margin` (relative depth) of a tie do not count.
  int VisibleSamples(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, float margin = 1e-5f) const {
    int visible = 0;
    int i0, i1, j0, j1;
    Footprint(lo, hi, &i0, &i1, &j0, &j1);
    for (int j = j0; j <= j1; ++j)
      for (int i = i0; i <= i1; ++i) {
        const size_t k = static_cast<size_t>(j * n_ + i);
        const float t = BoxDepthOnRay(origins_[k], directions_[k], lo, hi);
        if (t == FLT_MAX) continue;
        const float occ = depth_[k];
        if (occ == FLT_MAX || t < occ - margin * (1.0f + std::fabs(occ))) ++visible;
      }
    return visible;
  }

  // Samples of the box's footprint at all.
  int FootprintSamples(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) const {
    int count = 0;
    int i0, i1, j0, j1;
    Footprint(lo, hi, &i0, &i1, &j0, &j1);
    for (int j = j0; j <= j1; ++j)
      for (int i = i0; i <= i1; ++i)
        if (BoxDepthOnRay(origins_[static_cast<size_t>(j * n_ + i)], directions_[static_cast<size_t>(j * n_ + i)], lo,
                          hi) != FLT_MAX)
          ++count;
    return count;
  }

  // Where the ray through (x, y) enters the box; FLT_MAX when it misses.
  float BoxDepth(float x, float y, const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) const {
    D3DXVECTOR3 origin, direction;
    Ray(x, y, &origin, &direction);
    return BoxDepthOnRay(origin, direction, lo, hi);
  }

 private:
  // The grid cells that can hold the box: its corners' screen rectangle and a cell around it,
  // or the whole grid when a corner lies behind the eye.
  void Footprint(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, int* i0, int* i1, int* j0, int* j1) const {
    *i0 = *j0 = 0;
    *i1 = *j1 = n_ - 1;
    float x0 = FLT_MAX, y0 = FLT_MAX, x1 = -FLT_MAX, y1 = -FLT_MAX;
    for (int c = 0; c < 8; ++c) {
      const D3DXVECTOR3 p((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z);
      D3DXVECTOR4 h;
      D3DXVec3Transform(&h, &p, &viewProjection_);
      if (h.w <= 0.0f) return;
      x0 = std::min(x0, h.x / h.w);
      x1 = std::max(x1, h.x / h.w);
      y0 = std::min(y0, h.y / h.w);
      y1 = std::max(y1, h.y / h.w);
    }
    auto cell = [this](float v) {
      return static_cast<int>(std::clamp((v + 1.0f) * 0.5f * static_cast<float>(n_), -2.0f, static_cast<float>(n_) + 1.0f));
    };
    *i0 = std::max(0, cell(x0) - 1);
    *i1 = std::min(n_ - 1, cell(x1) + 1);
    *j0 = std::max(0, cell(y0) - 1);
    *j1 = std::min(n_ - 1, cell(y1) + 1);
  }

  static float BoxDepthOnRay(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, const D3DXVECTOR3& lo,
                             const D3DXVECTOR3& hi) {
    const float o[3] = {origin.x, origin.y, origin.z};
    const float dir[3] = {direction.x, direction.y, direction.z};
    const float a[3] = {lo.x, lo.y, lo.z};
    const float b[3] = {hi.x, hi.y, hi.z};
    float enter = -FLT_MAX, leave = FLT_MAX;
    for (int k = 0; k < 3; ++k) {
      if (dir[k] == 0.0f) {
        if (o[k] < a[k] || o[k] > b[k]) return FLT_MAX;
        continue;
      }
      float t0 = (a[k] - o[k]) / dir[k], t1 = (b[k] - o[k]) / dir[k];
      if (t0 > t1) std::swap(t0, t1);
      enter = std::max(enter, t0);
      leave = std::min(leave, t1);
    }
    if (enter > leave || leave < 0.0f) return FLT_MAX;
    return std::max(enter, 0.0f);
  }

  void Ray(float x, float y, D3DXVECTOR3* origin, D3DXVECTOR3* direction) const {
    const D3DXVECTOR3 nearPoint(x, y, 0.0f), farPoint(x, y, 1.0f);
    D3DXVECTOR3 a, b;
    D3DXVec3TransformCoord(&a, &nearPoint, &inverse_);
    D3DXVec3TransformCoord(&b, &farPoint, &inverse_);
    *origin = a;
    *direction = b - a;
  }

  static bool Inside(const OracleOccluder& occ, const D3DXVECTOR3& p) {
    const size_t count = occ.points.size();
    int sign = 0;
    for (size_t i = 0; i < count; ++i) {
      const D3DXVECTOR3& a = occ.points[i];
      const D3DXVECTOR3& b = occ.points[(i + 1) % count];
      const D3DXVECTOR3 e = b - a, w = p - a;
      D3DXVECTOR3 c;
      D3DXVec3Cross(&c, &e, &w);
      const float s = D3DXVec3Dot(&c, &occ.normal);
      const int side = s > 0.0f ? 1 : (s < 0.0f ? -1 : 0);
      if (side == 0) continue;
      if (sign == 0) sign = side;
      else if (side != sign) return false;
    }
    return true;
  }

  int n_;
  D3DXMATRIX viewProjection_;
  D3DXMATRIX inverse_;
  std::vector<float> depth_;
  std::vector<int> front_;
  std::vector<D3DXVECTOR3> origins_, directions_;
  std::vector<OracleOccluder> occluders_;
};

}  // namespace occlusion_testing
