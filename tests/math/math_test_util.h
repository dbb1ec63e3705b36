// Random inputs and comparisons shared by the math tests.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "d3dx8/d3dx8math.h"

namespace mathtest {

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
  D3DXVECTOR3 Vec3(float lo = -10.0f, float hi = 10.0f) { return {Uniform(lo, hi), Uniform(lo, hi), Uniform(lo, hi)}; }
  D3DXVECTOR3 UnitVec3() {
    for (;;) {
      D3DXVECTOR3 v = Vec3(-1.0f, 1.0f);
      const float l = D3DXVec3Length(&v);
      if (l > 0.1f && l <= 1.0f) return v / l;
    }
  }
  D3DXQUATERNION UnitQuat() {
    for (;;) {
      D3DXQUATERNION q(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
      const float l = D3DXQuaternionLength(&q);
      if (l > 0.1f && l <= 1.0f) return q / l;
    }
  }
  // A rigid transform with a scale: well conditioned, so its inverse is accurate.
  D3DXMATRIX Affine() {
    D3DXMATRIX r, s, t;
    const D3DXVECTOR3 axis = UnitVec3();
    D3DXMatrixRotationAxis(&r, &axis, Uniform(-3.0f, 3.0f));
    D3DXMatrixScaling(&s, Uniform(0.5f, 2.0f), Uniform(0.5f, 2.0f), Uniform(0.5f, 2.0f));
    D3DXMatrixTranslation(&t, Uniform(-10, 10), Uniform(-10, 10), Uniform(-10, 10));
    return s * r * t;
  }
  D3DXMATRIX Any(float lo = -2.0f, float hi = 2.0f) {
    D3DXMATRIX m;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m.m[i][j] = Uniform(lo, hi);
    return m;
  }

 private:
  std::mt19937 engine_;
};

inline ::testing::AssertionResult Near(const D3DVECTOR& a, const D3DVECTOR& b, float tol) {
  if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                                       << ", " << b.z << ")";
}

inline ::testing::AssertionResult Near(const D3DMATRIX& a, const D3DMATRIX& b, float tol) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (!(std::fabs(a.m[i][j] - b.m[i][j]) <= tol))
        return ::testing::AssertionFailure()
               << "element (" << i << ", " << j << "): " << a.m[i][j] << " vs " << b.m[i][j];
  return ::testing::AssertionSuccess();
}

inline D3DXMATRIX Identity() {
  D3DXMATRIX m;
  return *D3DXMatrixIdentity(&m);
}

inline D3DXVECTOR3 Transform(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
  D3DXVECTOR3 r;
  return *D3DXVec3TransformCoord(&r, &v, &m);
}

}  // namespace mathtest
