// 3x3 and 4x4 value matrices made of vector rows. Element (i, j) is component j of row i. A
// matrix times a vector takes the dot product of each row with the vector; a vector times a
// matrix goes through the transpose, which is how the transforms below are meant to be applied:
// a 2D transform carries its translation in the last row (x, y, 1), a 3D transform in the last
// row (x, y, z, 1), with the same layouts as the Direct3D extension library's builders.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstring>

#include "d3d8/d3d8types.h"
#include "math/vector.h"

namespace math_detail {

// Gauss-Jordan elimination with partial pivoting on a copy of a, beside an identity that
// becomes the result. False (result untouched) when a column has no non-zero pivot.
template <class T, int N>
bool GaussJordanInverse(const T (&a)[N][N], T (&result)[N][N]) {
  T m[N][N], r[N][N];
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) {
      m[i][j] = a[i][j];
      r[i][j] = i == j ? T(1) : T(0);
    }
  for (int c = 0; c < N; ++c) {
    int pivot = c;
    T best = std::fabs(m[c][c]);
    for (int i = c + 1; i < N; ++i) {
      const T v = std::fabs(m[i][c]);
      if (v > best) {
        best = v;
        pivot = i;
      }
    }
    if (!(best > T(0)) || !std::isfinite(best)) return false;
    if (pivot != c) {
      for (int j = 0; j < N; ++j) {
        std::swap(m[c][j], m[pivot][j]);
        std::swap(r[c][j], r[pivot][j]);
      }
    }
    // Columns left of c already hold the identity in m; only columns from c on change.
    const T inv = T(1) / m[c][c];
    m[c][c] = T(1);
    for (int j = c + 1; j < N; ++j) m[c][j] *= inv;
    for (int j = 0; j < N; ++j) r[c][j] *= inv;
    for (int i = 0; i < N; ++i) {
      if (i == c) continue;
      const T f = m[i][c];
      if (f == T(0)) continue;
      m[i][c] = T(0);
      for (int j = c + 1; j < N; ++j) m[i][j] -= f * m[c][j];
      for (int j = 0; j < N; ++j) r[i][j] -= f * r[c][j];
    }
  }
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) result[i][j] = r[i][j];
  return true;
}

}  // namespace math_detail

template <class T>
struct basic_matrix33 {
  using row_type = basic_vector3<T>;
  row_type rows[3];

  basic_matrix33() = default;
  constexpr basic_matrix33(const row_type& r0, const row_type& r1, const row_type& r2) : rows{r0, r1, r2} {}

  row_type& operator[](int i) { return rows[i]; }
  const row_type& operator[](int i) const { return rows[i]; }

  basic_matrix33& operator+=(const basic_matrix33& m) {
    for (int i = 0; i < 3; ++i) rows[i] += m.rows[i];
    return *this;
  }
  basic_matrix33& operator-=(const basic_matrix33& m) {
    for (int i = 0; i < 3; ++i) rows[i] -= m.rows[i];
    return *this;
  }
  basic_matrix33& operator*=(T s) {
    for (auto& r : rows) r *= s;
    return *this;
  }
  basic_matrix33& operator*=(const basic_matrix33& m) { return *this = *this * m; }

  basic_matrix33 operator+(const basic_matrix33& m) const { basic_matrix33 r(*this); return r += m; }
  basic_matrix33 operator-(const basic_matrix33& m) const { basic_matrix33 r(*this); return r -= m; }
  basic_matrix33 operator*(T s) const { basic_matrix33 r(*this); return r *= s; }
  friend basic_matrix33 operator*(T s, const basic_matrix33& m) { return m * s; }
  basic_matrix33 operator*(const basic_matrix33& m) const {
    basic_matrix33 r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        r.rows[i][j] = rows[i][0] * m.rows[0][j] + rows[i][1] * m.rows[1][j] + rows[i][2] * m.rows[2][j];
    return r;
  }
  // Each row dotted with v.
  row_type operator*(const row_type& v) const { return {rows[0].dot(v), rows[1].dot(v), rows[2].dot(v)}; }
  // v times the matrix: each column dotted with v.
  friend row_type operator*(const row_type& v, const basic_matrix33& m) { return m.transpose() * v; }

  bool operator==(const basic_matrix33& m) const {
    return rows[0] == m.rows[0] && rows[1] == m.rows[1] && rows[2] == m.rows[2];
  }
  bool operator!=(const basic_matrix33& m) const { return !(*this == m); }

  static constexpr basic_matrix33 identity() { return {{T(1), T(0), T(0)}, {T(0), T(1), T(0)}, {T(0), T(0), T(1)}}; }
  basic_matrix33 transpose() const {
    return {{rows[0].x, rows[1].x, rows[2].x}, {rows[0].y, rows[1].y, rows[2].y}, {rows[0].z, rows[1].z, rows[2].z}};
  }
  // False, leaving out untouched, for a singular matrix.
  bool inverse(basic_matrix33& out) const {
    T a[3][3], r[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) a[i][j] = rows[i][j];
    if (!math_detail::GaussJordanInverse<T, 3>(a, r)) return false;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) out.rows[i][j] = r[i][j];
    return true;
  }

  // 2D transforms, applied as v x M with v = (x, y, 1).
  static basic_matrix33 rotation(T angle) {
    const T s = std::sin(angle), c = std::cos(angle);
    return {{c, s, T(0)}, {-s, c, T(0)}, {T(0), T(0), T(1)}};
  }
  static constexpr basic_matrix33 translation(T x, T y) { return {{T(1), T(0), T(0)}, {T(0), T(1), T(0)}, {x, y, T(1)}}; }
  static constexpr basic_matrix33 scaling(T x, T y) { return {{x, T(0), T(0)}, {T(0), y, T(0)}, {T(0), T(0), T(1)}}; }

  void print(std::FILE* f, const char* prefix) const {
    std::fprintf(f, "%smatrix33:\n", prefix);
    for (const auto& r : rows) r.print(f, prefix);
  }
};

template <class T>
struct basic_matrix44 {
  using row_type = basic_vector4<T>;
  using vec3_type = basic_vector3<T>;
  row_type rows[4];

  basic_matrix44() = default;
  constexpr basic_matrix44(const row_type& r0, const row_type& r1, const row_type& r2, const row_type& r3)
      : rows{r0, r1, r2, r3} {}
  // Each row padded with w = 0, and the row (0, 0, 0, 1) added.
  constexpr explicit basic_matrix44(const basic_matrix33<T>& m)
      : rows{row_type(m.rows[0]), row_type(m.rows[1]), row_type(m.rows[2]), row_type(T(0), T(0), T(0), T(1))} {}

  row_type& operator[](int i) { return rows[i]; }
  const row_type& operator[](int i) const { return rows[i]; }

  basic_matrix44& operator+=(const basic_matrix44& m) {
    for (int i = 0; i < 4; ++i) rows[i] += m.rows[i];
    return *this;
  }
  basic_matrix44& operator-=(const basic_matrix44& m) {
    for (int i = 0; i < 4; ++i) rows[i] -= m.rows[i];
    return *this;
  }
  basic_matrix44& operator*=(T s) {
    for (auto& r : rows) r *= s;
    return *this;
  }
  basic_matrix44& operator*=(const basic_matrix44& m) { return *this = *this * m; }

  basic_matrix44 operator+(const basic_matrix44& m) const { basic_matrix44 r(*this); return r += m; }
  basic_matrix44 operator-(const basic_matrix44& m) const { basic_matrix44 r(*this); return r -= m; }
  basic_matrix44 operator*(T s) const { basic_matrix44 r(*this); return r *= s; }
  friend basic_matrix44 operator*(T s, const basic_matrix44& m) { return m * s; }
  basic_matrix44 operator*(const basic_matrix44& m) const {
    basic_matrix44 r;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        r.rows[i][j] = rows[i][0] * m.rows[0][j] + rows[i][1] * m.rows[1][j] + rows[i][2] * m.rows[2][j] +
                       rows[i][3] * m.rows[3][j];
    return r;
  }
  row_type operator*(const row_type& v) const {
    return {rows[0].dot(v), rows[1].dot(v), rows[2].dot(v), rows[3].dot(v)};
  }
  friend row_type operator*(const row_type& v, const basic_matrix44& m) { return m.transpose() * v; }

  bool operator==(const basic_matrix44& m) const {
    return rows[0] == m.rows[0] && rows[1] == m.rows[1] && rows[2] == m.rows[2] && rows[3] == m.rows[3];
  }
  bool operator!=(const basic_matrix44& m) const { return !(*this == m); }

  static constexpr basic_matrix44 identity() {
    return {{T(1), T(0), T(0), T(0)}, {T(0), T(1), T(0), T(0)}, {T(0), T(0), T(1), T(0)}, {T(0), T(0), T(0), T(1)}};
  }
  basic_matrix44 transpose() const {
    basic_matrix44 r;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) r.rows[j][i] = rows[i][j];
    return r;
  }
  // False, leaving out untouched, for a singular matrix.
  bool inverse(basic_matrix44& out) const {
    T a[4][4], r[4][4];
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) a[i][j] = rows[i][j];
    if (!math_detail::GaussJordanInverse<T, 4>(a, r)) return false;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) out.rows[i][j] = r[i][j];
    return true;
  }

  // 3D transforms, applied as v x M with v = (x, y, z, 1). Rotations turn clockwise when
  // looking along the axis towards the origin. An axis letter other than x, y or z gives the
  // identity.
  static basic_matrix44 rotation(char axis, T angle) {
    const T s = std::sin(angle), c = std::cos(angle);
    basic_matrix44 r = identity();
    switch (axis) {
      case 'x': case 'X':
        r.rows[1] = {T(0), c, s, T(0)};
        r.rows[2] = {T(0), -s, c, T(0)};
        break;
      case 'y': case 'Y':
        r.rows[0] = {c, T(0), -s, T(0)};
        r.rows[2] = {s, T(0), c, T(0)};
        break;
      case 'z': case 'Z':
        r.rows[0] = {c, s, T(0), T(0)};
        r.rows[1] = {-s, c, T(0), T(0)};
        break;
      default:
        break;
    }
    return r;
  }
  // About an arbitrary axis (normalised here; a zero axis gives the identity).
  static basic_matrix44 rotation(vec3_type axis, T angle) {
    axis.normalize();
    if (axis.is_zero()) return identity();
    const T s = std::sin(angle), c = std::cos(angle), t = T(1) - c;
    const T x = axis.x, y = axis.y, z = axis.z;
    return {{t * x * x + c, t * x * y + s * z, t * x * z - s * y, T(0)},
            {t * x * y - s * z, t * y * y + c, t * y * z + s * x, T(0)},
            {t * x * z + s * y, t * y * z - s * x, t * z * z + c, T(0)},
            {T(0), T(0), T(0), T(1)}};
  }
  static constexpr basic_matrix44 translation(T x, T y, T z) {
    return {{T(1), T(0), T(0), T(0)}, {T(0), T(1), T(0), T(0)}, {T(0), T(0), T(1), T(0)}, {x, y, z, T(1)}};
  }
  static constexpr basic_matrix44 scaling(T x, T y, T z) {
    return {{x, T(0), T(0), T(0)}, {T(0), y, T(0), T(0)}, {T(0), T(0), z, T(0)}, {T(0), T(0), T(0), T(1)}};
  }
  // View matrix: forward = normalised (target - eye), side = normalised (up x forward), true up
  // = forward x side; the eye goes to the origin looking along +z.
  static basic_matrix44 look_at(const vec3_type& eye, const vec3_type& target, const vec3_type& up) {
    vec3_type f = target - eye;
    f.normalize();
    vec3_type s = up.cross(f);
    s.normalize();
    const vec3_type u = f.cross(s);
    return {{s.x, u.x, f.x, T(0)},
            {s.y, u.y, f.y, T(0)},
            {s.z, u.z, f.z, T(0)},
            {-s.dot(eye), -u.dot(eye), -f.dot(eye), T(1)}};
  }
  // Left-handed projections onto depth 0 (near) .. 1 (far).
  static basic_matrix44 perspective(T fovY, T aspect, T zn, T zf) {
    const T ys = T(1) / std::tan(fovY * T(0.5));
    const T xs = ys / aspect;
    return {{xs, T(0), T(0), T(0)},
            {T(0), ys, T(0), T(0)},
            {T(0), T(0), zf / (zf - zn), T(1)},
            {T(0), T(0), -zn * zf / (zf - zn), T(0)}};
  }
  static basic_matrix44 frustum(T l, T r, T b, T t, T zn, T zf) {
    return {{T(2) * zn / (r - l), T(0), T(0), T(0)},
            {T(0), T(2) * zn / (t - b), T(0), T(0)},
            {(l + r) / (l - r), (t + b) / (b - t), zf / (zf - zn), T(1)},
            {T(0), T(0), zn * zf / (zn - zf), T(0)}};
  }
  static basic_matrix44 ortho(T l, T r, T b, T t, T zn, T zf) {
    return {{T(2) / (r - l), T(0), T(0), T(0)},
            {T(0), T(2) / (t - b), T(0), T(0)},
            {T(0), T(0), T(1) / (zf - zn), T(0)},
            {(l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), T(1)}};
  }

  void print(std::FILE* f, const char* prefix) const {
    std::fprintf(f, "%smatrix44:\n", prefix);
    for (const auto& r : rows) r.print(f, prefix);
  }
};

using matrix33 = basic_matrix33<float>;
using matrix44 = basic_matrix44<float>;

static_assert(sizeof(matrix33) == 36 && sizeof(matrix44) == 64);

// out = a x b for row-major 4x4 matrices: element (i, j) = sum over k of a(i, k) b(k, j),
// summed in k order. out may be a or b: the product is formed before out is written.
inline void Matrix4Multiply(D3DMATRIX* out, const D3DMATRIX* a, const D3DMATRIX* b) {
  D3DMATRIX t;
  for (int i = 0; i < 4; ++i) {
    const float a0 = a->m[i][0], a1 = a->m[i][1], a2 = a->m[i][2], a3 = a->m[i][3];
    for (int j = 0; j < 4; ++j) t.m[i][j] = a0 * b->m[0][j] + a1 * b->m[1][j] + a2 * b->m[2][j] + a3 * b->m[3][j];
  }
  *out = t;
}
inline void Matrix4Multiply(matrix44* out, const matrix44* a, const matrix44* b) {
  matrix44 t;
  for (int i = 0; i < 4; ++i) {
    const vector4& r = a->rows[i];
    for (int j = 0; j < 4; ++j)
      t.rows[i][j] = r.x * b->rows[0][j] + r.y * b->rows[1][j] + r.z * b->rows[2][j] + r.w * b->rows[3][j];
  }
  *out = t;
}

// The same sixteen floats as a Direct3D matrix and back.
inline D3DMATRIX ToD3DMatrix(const matrix44& m) {
  D3DMATRIX r;
  std::memcpy(&r, &m, sizeof r);
  return r;
}
inline matrix44 FromD3DMatrix(const D3DMATRIX& m) {
  matrix44 r;
  std::memcpy(&r, &m, sizeof r);
  return r;
}
