// The Direct3D 8 extension library's math: vector, matrix, quaternion, plane and colour types
// and the functions over them. Row-vector convention (a point transforms as v x M, the
// translation sits in the last row) and left-handed view and projection builders, as
// Direct3D 8 uses them. Every function returns its output pointer; outputs may alias inputs.
#pragma once
#include "platform_api.h"
#include <cmath>

#include "d3d8/d3d8types.h"
#include "win32/win32_types.h"

#define D3DX_PI (3.141592654f)
#define D3DX_1BYPI (0.318309886f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

struct D3DXMATRIX;

// ---------------------------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------------------------

struct D3DXVECTOR2 {
  float x, y;

  D3DXVECTOR2() = default;
  explicit D3DXVECTOR2(const float* f) : x(f[0]), y(f[1]) {}
  D3DXVECTOR2(float fx, float fy) : x(fx), y(fy) {}

  explicit operator float*() { return &x; }
  explicit operator const float*() const { return &x; }

  D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) { x += v.x; y += v.y; return *this; }
  D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) { x -= v.x; y -= v.y; return *this; }
  D3DXVECTOR2& operator*=(float f) { x *= f; y *= f; return *this; }
  D3DXVECTOR2& operator/=(float f) { const float inv = 1.0f / f; x *= inv; y *= inv; return *this; }

  D3DXVECTOR2 operator+() const { return *this; }
  D3DXVECTOR2 operator-() const { return D3DXVECTOR2(-x, -y); }
  D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x + v.x, y + v.y); }
  D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x - v.x, y - v.y); }
  D3DXVECTOR2 operator*(float f) const { return D3DXVECTOR2(x * f, y * f); }
  D3DXVECTOR2 operator/(float f) const { const float inv = 1.0f / f; return D3DXVECTOR2(x * inv, y * inv); }
  friend D3DXVECTOR2 operator*(float f, const D3DXVECTOR2& v) { return D3DXVECTOR2(f * v.x, f * v.y); }

  bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
  bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
};

struct D3DXVECTOR3 : public D3DVECTOR {
  D3DXVECTOR3() = default;
  explicit D3DXVECTOR3(const float* f) : D3DVECTOR{f[0], f[1], f[2]} {}
  D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}  // NOLINT: implicit like the base record
  D3DXVECTOR3(float fx, float fy, float fz) : D3DVECTOR{fx, fy, fz} {}

  explicit operator float*() { return &x; }
  explicit operator const float*() const { return &x; }

  D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
  D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
  D3DXVECTOR3& operator*=(float f) { x *= f; y *= f; z *= f; return *this; }
  D3DXVECTOR3& operator/=(float f) {
    const float inv = 1.0f / f;
    x *= inv; y *= inv; z *= inv;
    return *this;
  }

  D3DXVECTOR3 operator+() const { return *this; }
  D3DXVECTOR3 operator-() const { return D3DXVECTOR3(-x, -y, -z); }
  D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x + v.x, y + v.y, z + v.z); }
  D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x - v.x, y - v.y, z - v.z); }
  D3DXVECTOR3 operator*(float f) const { return D3DXVECTOR3(x * f, y * f, z * f); }
  D3DXVECTOR3 operator/(float f) const {
    const float inv = 1.0f / f;
    return D3DXVECTOR3(x * inv, y * inv, z * inv);
  }
  friend D3DXVECTOR3 operator*(float f, const D3DXVECTOR3& v) { return D3DXVECTOR3(f * v.x, f * v.y, f * v.z); }

  bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

struct D3DXVECTOR4 {
  float x, y, z, w;

  D3DXVECTOR4() = default;
  explicit D3DXVECTOR4(const float* f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
  D3DXVECTOR4(const D3DVECTOR& v, float fw) : x(v.x), y(v.y), z(v.z), w(fw) {}
  D3DXVECTOR4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

  explicit operator float*() { return &x; }
  explicit operator const float*() const { return &x; }

  D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
  D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
  D3DXVECTOR4& operator*=(float f) { x *= f; y *= f; z *= f; w *= f; return *this; }
  D3DXVECTOR4& operator/=(float f) {
    const float inv = 1.0f / f;
    x *= inv; y *= inv; z *= inv; w *= inv;
    return *this;
  }

  D3DXVECTOR4 operator+() const { return *this; }
  D3DXVECTOR4 operator-() const { return D3DXVECTOR4(-x, -y, -z, -w); }
  D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w); }
  D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w); }
  D3DXVECTOR4 operator*(float f) const { return D3DXVECTOR4(x * f, y * f, z * f, w * f); }
  D3DXVECTOR4 operator/(float f) const {
    const float inv = 1.0f / f;
    return D3DXVECTOR4(x * inv, y * inv, z * inv, w * inv);
  }
  friend D3DXVECTOR4 operator*(float f, const D3DXVECTOR4& v) {
    return D3DXVECTOR4(f * v.x, f * v.y, f * v.z, f * v.w);
  }

  bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
  bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
};

struct D3DXMATRIX : public D3DMATRIX {
  D3DXMATRIX() = default;
  explicit D3DXMATRIX(const float* f) {
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = f[i];
  }
  D3DXMATRIX(const D3DMATRIX& mat) : D3DMATRIX(mat) {}  // NOLINT: implicit like the base record
  D3DXMATRIX(float f11, float f12, float f13, float f14,
             float f21, float f22, float f23, float f24,
             float f31, float f32, float f33, float f34,
             float f41, float f42, float f43, float f44) {
    _11 = f11; _12 = f12; _13 = f13; _14 = f14;
    _21 = f21; _22 = f22; _23 = f23; _24 = f24;
    _31 = f31; _32 = f32; _33 = f33; _34 = f34;
    _41 = f41; _42 = f42; _43 = f43; _44 = f44;
  }

  float& operator()(UINT row, UINT col) { return m[row][col]; }
  float operator()(UINT row, UINT col) const { return m[row][col]; }

  explicit operator float*() { return &_11; }
  explicit operator const float*() const { return &_11; }

  D3DXMATRIX& operator*=(const D3DXMATRIX& mat);
  D3DXMATRIX& operator+=(const D3DXMATRIX& mat) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] += mat.m[i][j];
    return *this;
  }
  D3DXMATRIX& operator-=(const D3DXMATRIX& mat) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] -= mat.m[i][j];
    return *this;
  }
  D3DXMATRIX& operator*=(float f) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] *= f;
    return *this;
  }
  D3DXMATRIX& operator/=(float f) { return *this *= 1.0f / f; }

  D3DXMATRIX operator+() const { return *this; }
  D3DXMATRIX operator-() const { D3DXMATRIX r(*this); r *= -1.0f; return r; }
  D3DXMATRIX operator*(const D3DXMATRIX& mat) const;
  D3DXMATRIX operator+(const D3DXMATRIX& mat) const { D3DXMATRIX r(*this); r += mat; return r; }
  D3DXMATRIX operator-(const D3DXMATRIX& mat) const { D3DXMATRIX r(*this); r -= mat; return r; }
  D3DXMATRIX operator*(float f) const { D3DXMATRIX r(*this); r *= f; return r; }
  D3DXMATRIX operator/(float f) const { D3DXMATRIX r(*this); r /= f; return r; }
  friend D3DXMATRIX operator*(float f, const D3DXMATRIX& mat) { return mat * f; }

  bool operator==(const D3DXMATRIX& mat) const {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        if (m[i][j] != mat.m[i][j]) return false;
    return true;
  }
  bool operator!=(const D3DXMATRIX& mat) const { return !(*this == mat); }
};

struct D3DXQUATERNION {
  float x, y, z, w;

  D3DXQUATERNION() = default;
  explicit D3DXQUATERNION(const float* f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
  D3DXQUATERNION(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

  explicit operator float*() { return &x; }
  explicit operator const float*() const { return &x; }

  D3DXQUATERNION& operator+=(const D3DXQUATERNION& q) { x += q.x; y += q.y; z += q.z; w += q.w; return *this; }
  D3DXQUATERNION& operator-=(const D3DXQUATERNION& q) { x -= q.x; y -= q.y; z -= q.z; w -= q.w; return *this; }
  D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
  D3DXQUATERNION& operator*=(float f) { x *= f; y *= f; z *= f; w *= f; return *this; }
  D3DXQUATERNION& operator/=(float f) { return *this *= 1.0f / f; }

  D3DXQUATERNION operator+() const { return *this; }
  D3DXQUATERNION operator-() const { return D3DXQUATERNION(-x, -y, -z, -w); }
  D3DXQUATERNION operator+(const D3DXQUATERNION& q) const { return D3DXQUATERNION(x + q.x, y + q.y, z + q.z, w + q.w); }
  D3DXQUATERNION operator-(const D3DXQUATERNION& q) const { return D3DXQUATERNION(x - q.x, y - q.y, z - q.z, w - q.w); }
  D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
  D3DXQUATERNION operator*(float f) const { return D3DXQUATERNION(x * f, y * f, z * f, w * f); }
  D3DXQUATERNION operator/(float f) const { const float inv = 1.0f / f; return *this * inv; }
  friend D3DXQUATERNION operator*(float f, const D3DXQUATERNION& q) { return q * f; }

  bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
  bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
};

// a·x + b·y + c·z + d = 0.
struct D3DXPLANE {
  float a, b, c, d;

  D3DXPLANE() = default;
  explicit D3DXPLANE(const float* f) : a(f[0]), b(f[1]), c(f[2]), d(f[3]) {}
  D3DXPLANE(float fa, float fb, float fc, float fd) : a(fa), b(fb), c(fc), d(fd) {}

  explicit operator float*() { return &a; }
  explicit operator const float*() const { return &a; }

  D3DXPLANE& operator*=(float f) { a *= f; b *= f; c *= f; d *= f; return *this; }
  D3DXPLANE& operator/=(float f) { return *this *= 1.0f / f; }
  D3DXPLANE operator+() const { return *this; }
  D3DXPLANE operator-() const { return D3DXPLANE(-a, -b, -c, -d); }
  D3DXPLANE operator*(float f) const { return D3DXPLANE(a * f, b * f, c * f, d * f); }
  D3DXPLANE operator/(float f) const { const float inv = 1.0f / f; return *this * inv; }
  friend D3DXPLANE operator*(float f, const D3DXPLANE& p) { return p * f; }

  bool operator==(const D3DXPLANE& p) const { return a == p.a && b == p.b && c == p.c && d == p.d; }
  bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
};

// A colour of four floats, the same record as D3DCOLORVALUE with operators. Converts from and
// to a packed 0xAARRGGBB value (each channel clamped to 0..1 and rounded to 0..255).
struct D3DXCOLOR : public D3DCOLORVALUE {
  D3DXCOLOR() = default;
  D3DXCOLOR(DWORD argb) {  // NOLINT: implicit, a packed colour is a colour
    const float f = 1.0f / 255.0f;
    r = f * static_cast<float>((argb >> 16) & 0xffu);
    g = f * static_cast<float>((argb >> 8) & 0xffu);
    b = f * static_cast<float>(argb & 0xffu);
    a = f * static_cast<float>((argb >> 24) & 0xffu);
  }
  explicit D3DXCOLOR(const float* f) : D3DCOLORVALUE{f[0], f[1], f[2], f[3]} {}
  D3DXCOLOR(const D3DCOLORVALUE& c) : D3DCOLORVALUE(c) {}  // NOLINT: implicit like the base record
  D3DXCOLOR(float fr, float fg, float fb, float fa) : D3DCOLORVALUE{fr, fg, fb, fa} {}

  operator DWORD() const {  // NOLINT: implicit, as render states take it
    return (Channel(a) << 24) | (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
  }
  explicit operator float*() { return &r; }
  explicit operator const float*() const { return &r; }

  D3DXCOLOR& operator+=(const D3DXCOLOR& c) { r += c.r; g += c.g; b += c.b; a += c.a; return *this; }
  D3DXCOLOR& operator-=(const D3DXCOLOR& c) { r -= c.r; g -= c.g; b -= c.b; a -= c.a; return *this; }
  D3DXCOLOR& operator*=(float f) { r *= f; g *= f; b *= f; a *= f; return *this; }
  D3DXCOLOR& operator/=(float f) { return *this *= 1.0f / f; }

  D3DXCOLOR operator+() const { return *this; }
  D3DXCOLOR operator-() const { return D3DXCOLOR(-r, -g, -b, -a); }
  D3DXCOLOR operator+(const D3DXCOLOR& c) const { return D3DXCOLOR(r + c.r, g + c.g, b + c.b, a + c.a); }
  D3DXCOLOR operator-(const D3DXCOLOR& c) const { return D3DXCOLOR(r - c.r, g - c.g, b - c.b, a - c.a); }
  D3DXCOLOR operator*(float f) const { return D3DXCOLOR(r * f, g * f, b * f, a * f); }
  D3DXCOLOR operator/(float f) const { const float inv = 1.0f / f; return *this * inv; }
  friend D3DXCOLOR operator*(float f, const D3DXCOLOR& c) { return c * f; }

  bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
  bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }

 private:
  static DWORD Channel(float v) {
    if (v >= 1.0f) return 0xffu;
    if (!(v > 0.0f)) return 0u;  // also NaN
    return static_cast<DWORD>(v * 255.0f + 0.5f);
  }
};

// ---------------------------------------------------------------------------------------------
// 2D vectors
// ---------------------------------------------------------------------------------------------

inline float D3DXVec2Length(const D3DXVECTOR2* v) { return std::sqrt(v->x * v->x + v->y * v->y); }
inline float D3DXVec2LengthSq(const D3DXVECTOR2* v) { return v->x * v->x + v->y * v->y; }
inline float D3DXVec2Dot(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->x + a->y * b->y; }
// The z of the 3D cross product of (a, 0) and (b, 0).
inline float D3DXVec2CCW(const D3DXVECTOR2* a, const D3DXVECTOR2* b) { return a->x * b->y - a->y * b->x; }
inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
  out->x = a->x + b->x; out->y = a->y + b->y;
  return out;
}
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
  out->x = a->x - b->x; out->y = a->y - b->y;
  return out;
}
inline D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
  out->x = a->x < b->x ? a->x : b->x; out->y = a->y < b->y ? a->y : b->y;
  return out;
}
inline D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b) {
  out->x = a->x > b->x ? a->x : b->x; out->y = a->y > b->y ? a->y : b->y;
  return out;
}
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* out, const D3DXVECTOR2* v, float s) {
  out->x = v->x * s; out->y = v->y * s;
  return out;
}
// a + s (b - a).
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* out, const D3DXVECTOR2* a, const D3DXVECTOR2* b, float s) {
  out->x = a->x + s * (b->x - a->x); out->y = a->y + s * (b->y - a->y);
  return out;
}
// The zero vector normalises to the zero vector.
FOOTLIGHT_PLATFORM_API D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* out, const D3DXVECTOR2* v);
// (x, y, 0, 1) x M.
FOOTLIGHT_PLATFORM_API D3DXVECTOR4* D3DXVec2Transform(D3DXVECTOR4* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);
// (x, y, 0, 1) x M, divided by the resulting w.
FOOTLIGHT_PLATFORM_API D3DXVECTOR2* D3DXVec2TransformCoord(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);
// (x, y, 0, 0) x M.
FOOTLIGHT_PLATFORM_API D3DXVECTOR2* D3DXVec2TransformNormal(D3DXVECTOR2* out, const D3DXVECTOR2* v, const D3DXMATRIX* m);

// ---------------------------------------------------------------------------------------------
// 3D vectors
// ---------------------------------------------------------------------------------------------

inline float D3DXVec3Length(const D3DXVECTOR3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }
inline float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }
inline float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z;
}
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  const float x = a->y * b->z - a->z * b->y;
  const float y = a->z * b->x - a->x * b->z;
  const float z = a->x * b->y - a->y * b->x;
  out->x = x; out->y = y; out->z = z;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  out->x = a->x + b->x; out->y = a->y + b->y; out->z = a->z + b->z;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  out->x = a->x - b->x; out->y = a->y - b->y; out->z = a->z - b->z;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  out->x = a->x < b->x ? a->x : b->x;
  out->y = a->y < b->y ? a->y : b->y;
  out->z = a->z < b->z ? a->z : b->z;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  out->x = a->x > b->x ? a->x : b->x;
  out->y = a->y > b->y ? a->y : b->y;
  out->z = a->z > b->z ? a->z : b->z;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s) {
  out->x = v->x * s; out->y = v->y * s; out->z = v->z * s;
  return out;
}
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
  out->x = a->x + s * (b->x - a->x);
  out->y = a->y + s * (b->y - a->y);
  out->z = a->z + s * (b->z - a->z);
  return out;
}
// The zero vector normalises to the zero vector.
FOOTLIGHT_PLATFORM_API D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
// (x, y, z, 1) x M.
inline D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z;
  out->x = x * m->_11 + y * m->_21 + z * m->_31 + m->_41;
  out->y = x * m->_12 + y * m->_22 + z * m->_32 + m->_42;
  out->z = x * m->_13 + y * m->_23 + z * m->_33 + m->_43;
  out->w = x * m->_14 + y * m->_24 + z * m->_34 + m->_44;
  return out;
}
// (x, y, z, 1) x M, divided by the resulting w.
inline D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z;
  const float rx = x * m->_11 + y * m->_21 + z * m->_31 + m->_41;
  const float ry = x * m->_12 + y * m->_22 + z * m->_32 + m->_42;
  const float rz = x * m->_13 + y * m->_23 + z * m->_33 + m->_43;
  const float w = x * m->_14 + y * m->_24 + z * m->_34 + m->_44;
  const float inv = 1.0f / w;
  out->x = rx * inv;
  out->y = ry * inv;
  out->z = rz * inv;
  return out;
}
// (x, y, z, 0) x M: the upper 3x3 only.
inline D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  const float x = v->x, y = v->y, z = v->z;
  out->x = x * m->_11 + y * m->_21 + z * m->_31;
  out->y = x * m->_12 + y * m->_22 + z * m->_32;
  out->z = x * m->_13 + y * m->_23 + z * m->_33;
  return out;
}

// Object space to the viewport: v x world x view x projection (a null matrix counts as the
// identity), divided by w, then x = X + (1 + x) Width / 2, y = Y + (1 - y) Height / 2,
// z = MinZ + z (MaxZ - MinZ). A null viewport leaves the result in normalised device
// coordinates.
FOOTLIGHT_PLATFORM_API D3DXVECTOR3* D3DXVec3Project(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                                                    const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);
// The reverse of D3DXVec3Project. Null when the combined matrix cannot be inverted.
FOOTLIGHT_PLATFORM_API D3DXVECTOR3* D3DXVec3Unproject(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DVIEWPORT8* viewport,
                                                      const D3DXMATRIX* projection, const D3DXMATRIX* view, const D3DXMATRIX* world);

// ---------------------------------------------------------------------------------------------
// 4D vectors
// ---------------------------------------------------------------------------------------------

inline float D3DXVec4Length(const D3DXVECTOR4* v) {
  return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w);
}
inline float D3DXVec4LengthSq(const D3DXVECTOR4* v) { return v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w; }
inline float D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
  out->x = a->x + b->x; out->y = a->y + b->y; out->z = a->z + b->z; out->w = a->w + b->w;
  return out;
}
inline D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b) {
  out->x = a->x - b->x; out->y = a->y - b->y; out->z = a->z - b->z; out->w = a->w - b->w;
  return out;
}
inline D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* out, const D3DXVECTOR4* v, float s) {
  out->x = v->x * s; out->y = v->y * s; out->z = v->z * s; out->w = v->w * s;
  return out;
}
inline D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* out, const D3DXVECTOR4* a, const D3DXVECTOR4* b, float s) {
  out->x = a->x + s * (b->x - a->x);
  out->y = a->y + s * (b->y - a->y);
  out->z = a->z + s * (b->z - a->z);
  out->w = a->w + s * (b->w - a->w);
  return out;
}
// The zero vector normalises to the zero vector.
FOOTLIGHT_PLATFORM_API D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
// v x M.
FOOTLIGHT_PLATFORM_API D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

// ---------------------------------------------------------------------------------------------
// Matrices
// ---------------------------------------------------------------------------------------------

FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
FOOTLIGHT_PLATFORM_API BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* m);
FOOTLIGHT_PLATFORM_API float D3DXMatrixDeterminant(const D3DXMATRIX* m);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
// out = a x b: element (i, j) = a(i, 0) b(0, j) + a(i, 1) b(1, j) + a(i, 2) b(2, j) + a(i, 3) b(3, j).
inline D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DMATRIX t;  // out may be a or b
  for (int i = 0; i < 4; ++i) {
    const float a0 = a->m[i][0], a1 = a->m[i][1], a2 = a->m[i][2], a3 = a->m[i][3];
    for (int j = 0; j < 4; ++j) t.m[i][j] = a0 * b->m[0][j] + a1 * b->m[1][j] + a2 * b->m[2][j] + a3 * b->m[3][j];
  }
  *static_cast<D3DMATRIX*>(out) = t;
  return out;
}
// out = transpose(a x b).
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// The inverse, and the determinant when asked for. A singular matrix (determinant 0 or not
// finite) leaves out unchanged and returns null.
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);

FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
// Rotations by an angle in radians, clockwise when looking along the axis towards the origin.
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
// About an arbitrary axis, normalised first.
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
// From a unit quaternion.
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Roll about z, then pitch about x, then yaw about y.
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);

FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixLookAtRH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveLH(D3DXMATRIX* out, float w, float h, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveRH(D3DXMATRIX* out, float w, float h, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveFovRH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float w, float h, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixOrthoRH(D3DXMATRIX* out, float w, float h, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf);
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* out, float l, float r, float b, float t, float zn, float zf);
// The reflection in a plane (normalised first).
FOOTLIGHT_PLATFORM_API D3DXMATRIX* D3DXMatrixReflect(D3DXMATRIX* out, const D3DXPLANE* plane);

// ---------------------------------------------------------------------------------------------
// Quaternions
// ---------------------------------------------------------------------------------------------

inline float D3DXQuaternionLength(const D3DXQUATERNION* q) {
  return std::sqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
}
inline float D3DXQuaternionLengthSq(const D3DXQUATERNION* q) {
  return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w;
}
inline float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out) {
  out->x = out->y = out->z = 0.0f;
  out->w = 1.0f;
  return out;
}
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* q) {
  return q->x == 0.0f && q->y == 0.0f && q->z == 0.0f && q->w == 1.0f;
}
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q) {
  out->x = -q->x; out->y = -q->y; out->z = -q->z; out->w = q->w;
  return out;
}
// The rotation a followed by the rotation b (the Hamilton product b a).
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b);
// The zero quaternion normalises to the zero quaternion.
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// Conjugate over squared length; the zero quaternion gives zero.
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// About an axis (normalised first) by an angle in radians; the same rotation as
// D3DXMatrixRotationAxis.
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle);
// From the rotation part (upper 3x3) of a matrix.
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll);
// Axis (not normalised) and angle of a unit quaternion.
FOOTLIGHT_PLATFORM_API void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* q, D3DXVECTOR3* axis, float* angle);
// Spherical linear interpolation from a (t = 0) to b (t = 1) along the shorter arc.
FOOTLIGHT_PLATFORM_API D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b, float t);

// ---------------------------------------------------------------------------------------------
// Planes
// ---------------------------------------------------------------------------------------------

// a·x + b·y + c·z + d·w.
inline float D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}
// a·x + b·y + c·z + d: the signed distance for a normalised plane.
inline float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}
// a·x + b·y + c·z.
inline float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
  return p->a * v->x + p->b * v->y + p->c * v->z;
}
// Divides all four terms by the length of (a, b, c); a plane without a normal gives zero.
FOOTLIGHT_PLATFORM_API D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p);
// Where the line through a and b meets the plane; null (out unchanged) when it is parallel.
FOOTLIGHT_PLATFORM_API D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// Normal n and d = -(point · n).
FOOTLIGHT_PLATFORM_API D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point, const D3DXVECTOR3* normal);
// Normal = normalised (v2 - v1) x (v3 - v1), through v1.
FOOTLIGHT_PLATFORM_API D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2, const D3DXVECTOR3* v3);
// (a, b, c, d) x M; M is the inverse transpose of the point transform.
FOOTLIGHT_PLATFORM_API D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m);

// ---------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------

inline D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* out, const D3DXCOLOR* c) {
  out->r = 1.0f - c->r; out->g = 1.0f - c->g; out->b = 1.0f - c->b; out->a = c->a;
  return out;
}
inline D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
  out->r = a->r + b->r; out->g = a->g + b->g; out->b = a->b + b->b; out->a = a->a + b->a;
  return out;
}
inline D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
  out->r = a->r - b->r; out->g = a->g - b->g; out->b = a->b - b->b; out->a = a->a - b->a;
  return out;
}
inline D3DXCOLOR* D3DXColorScale(D3DXCOLOR* out, const D3DXCOLOR* c, float s) {
  out->r = c->r * s; out->g = c->g * s; out->b = c->b * s; out->a = c->a * s;
  return out;
}
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b) {
  out->r = a->r * b->r; out->g = a->g * b->g; out->b = a->b * b->b; out->a = a->a * b->a;
  return out;
}
inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* out, const D3DXCOLOR* a, const D3DXCOLOR* b, float s) {
  out->r = a->r + s * (b->r - a->r);
  out->g = a->g + s * (b->g - a->g);
  out->b = a->b + s * (b->b - a->b);
  out->a = a->a + s * (b->a - a->a);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Intersection
// ---------------------------------------------------------------------------------------------

// The ray from rayPos along rayDir against the triangle p0, p1, p2, from either side. On a hit
// (at or beyond the origin) returns TRUE with the hit point p0 + u (p1 - p0) + v (p2 - p0) =
// rayPos + dist rayDir (dist in units of rayDir's length); u, v and dist are written only on a
// hit and each may be null.
FOOTLIGHT_PLATFORM_API BOOL D3DXIntersectTri(const D3DXVECTOR3* p0, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                                             const D3DXVECTOR3* rayPos, const D3DXVECTOR3* rayDir, float* u, float* v, float* dist);

// ---------------------------------------------------------------------------------------------
// Operators that need the functions above
// ---------------------------------------------------------------------------------------------

inline D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat) {
  D3DXMatrixMultiply(this, this, &mat);
  return *this;
}
inline D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const {
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, this, &mat);
  return r;
}
inline D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
  D3DXQuaternionMultiply(this, this, &q);
  return *this;
}
inline D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
  D3DXQUATERNION r;
  D3DXQuaternionMultiply(&r, this, &q);
  return r;
}
