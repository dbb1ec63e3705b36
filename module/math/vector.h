// Small value vectors of two, three and four components with the usual operators. The module
// names them vector2, vector3 and vector4 (float components); the templates let the same code
// serve other component types.
#pragma once
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <utility>

template <class T>
struct basic_vector2 {
  T x, y;

  basic_vector2() = default;
  constexpr basic_vector2(T fx, T fy) : x(fx), y(fy) {}

  T& operator[](int i) { return (&x)[i]; }
  const T& operator[](int i) const { return (&x)[i]; }

  basic_vector2& operator+=(const basic_vector2& v) { x += v.x; y += v.y; return *this; }
  basic_vector2& operator-=(const basic_vector2& v) { x -= v.x; y -= v.y; return *this; }
  basic_vector2& operator*=(T s) { x *= s; y *= s; return *this; }
  basic_vector2& operator/=(T s) { return *this *= T(1) / s; }

  basic_vector2 operator+(const basic_vector2& v) const { return {x + v.x, y + v.y}; }
  basic_vector2 operator-(const basic_vector2& v) const { return {x - v.x, y - v.y}; }
  basic_vector2 operator-() const { return {-x, -y}; }
  basic_vector2 operator*(T s) const { return {x * s, y * s}; }
  basic_vector2 operator/(T s) const { return *this * (T(1) / s); }
  friend basic_vector2 operator*(T s, const basic_vector2& v) { return v * s; }

  bool operator==(const basic_vector2& v) const { return x == v.x && y == v.y; }
  bool operator!=(const basic_vector2& v) const { return !(*this == v); }

  T len2() const { return x * x + y * y; }
  T len() const { return std::sqrt(len2()); }
  bool is_zero() const { return x == T(0) && y == T(0); }
  // A vector of length 0 becomes zero.
  void normalize() {
    const T l = len();
    *this *= l > T(0) ? T(1) / l : T(0);
  }
  T dot(const basic_vector2& v) const { return x * v.x + y * v.y; }
  void print(std::FILE* f, const char* prefix) const {
    std::fprintf(f, "%svector2: <%f, %f>\n", prefix, static_cast<double>(x), static_cast<double>(y));
  }
};

template <class T>
struct basic_vector3 {
  T x, y, z;

  basic_vector3() = default;
  constexpr basic_vector3(T fx, T fy, T fz) : x(fx), y(fy), z(fz) {}
  // z = 0.
  constexpr basic_vector3(const basic_vector2<T>& v) : x(v.x), y(v.y), z(T(0)) {}  // NOLINT
  basic_vector3& operator=(const basic_vector2<T>& v) {
    x = v.x; y = v.y; z = T(0);
    return *this;
  }

  T& operator[](int i) { return (&x)[i]; }
  const T& operator[](int i) const { return (&x)[i]; }

  basic_vector3& operator+=(const basic_vector3& v) { x += v.x; y += v.y; z += v.z; return *this; }
  basic_vector3& operator-=(const basic_vector3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
  basic_vector3& operator*=(T s) { x *= s; y *= s; z *= s; return *this; }
  basic_vector3& operator/=(T s) { return *this *= T(1) / s; }

  basic_vector3 operator+(const basic_vector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
  basic_vector3 operator-(const basic_vector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
  basic_vector3 operator-() const { return {-x, -y, -z}; }
  basic_vector3 operator*(T s) const { return {x * s, y * s, z * s}; }
  basic_vector3 operator/(T s) const { return *this * (T(1) / s); }
  friend basic_vector3 operator*(T s, const basic_vector3& v) { return v * s; }

  bool operator==(const basic_vector3& v) const { return x == v.x && y == v.y && z == v.z; }
  bool operator!=(const basic_vector3& v) const { return !(*this == v); }

  T len2() const { return x * x + y * y + z * z; }
  T len() const { return std::sqrt(len2()); }
  bool is_zero() const { return x == T(0) && y == T(0) && z == T(0); }
  void normalize() {
    const T l = len();
    *this *= l > T(0) ? T(1) / l : T(0);
  }
  T dot(const basic_vector3& v) const { return x * v.x + y * v.y + z * v.z; }
  basic_vector3 cross(const basic_vector3& v) const {
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
  }
  void print(std::FILE* f, const char* prefix) const {
    std::fprintf(f, "%svector3: <%f, %f, %f>\n", prefix, static_cast<double>(x), static_cast<double>(y),
                 static_cast<double>(z));
  }
};

template <class T>
struct basic_vector4 {
  T x, y, z, w;

  basic_vector4() = default;
  constexpr basic_vector4(T fx, T fy, T fz, T fw) : x(fx), y(fy), z(fz), w(fw) {}
  // w = 0.
  constexpr basic_vector4(const basic_vector3<T>& v) : x(v.x), y(v.y), z(v.z), w(T(0)) {}  // NOLINT
  basic_vector4& operator=(const basic_vector3<T>& v) {
    x = v.x; y = v.y; z = v.z; w = T(0);
    return *this;
  }

  T& operator[](int i) { return (&x)[i]; }
  const T& operator[](int i) const { return (&x)[i]; }

  basic_vector4& operator+=(const basic_vector4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
  basic_vector4& operator-=(const basic_vector4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
  basic_vector4& operator*=(T s) { x *= s; y *= s; z *= s; w *= s; return *this; }
  basic_vector4& operator/=(T s) { return *this *= T(1) / s; }

  basic_vector4 operator+(const basic_vector4& v) const { return {x + v.x, y + v.y, z + v.z, w + v.w}; }
  basic_vector4 operator-(const basic_vector4& v) const { return {x - v.x, y - v.y, z - v.z, w - v.w}; }
  basic_vector4 operator-() const { return {-x, -y, -z, -w}; }
  basic_vector4 operator*(T s) const { return {x * s, y * s, z * s, w * s}; }
  basic_vector4 operator/(T s) const { return *this * (T(1) / s); }
  friend basic_vector4 operator*(T s, const basic_vector4& v) { return v * s; }

  bool operator==(const basic_vector4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
  bool operator!=(const basic_vector4& v) const { return !(*this == v); }

  T len2() const { return x * x + y * y + z * z + w * w; }
  T len() const { return std::sqrt(len2()); }
  bool is_zero() const { return x == T(0) && y == T(0) && z == T(0) && w == T(0); }
  void normalize() {
    const T l = len();
    *this *= l > T(0) ? T(1) / l : T(0);
  }
  T dot(const basic_vector4& v) const { return x * v.x + y * v.y + z * v.z + w * v.w; }
  void print(std::FILE* f, const char* prefix) const {
    std::fprintf(f, "%svector4: <%f, %f, %f, %f>\n", prefix, static_cast<double>(x), static_cast<double>(y),
                 static_cast<double>(z), static_cast<double>(w));
  }
};

template <class V>
struct is_basic_vector : std::false_type {};
template <class T>
struct is_basic_vector<basic_vector2<T>> : std::true_type {};
template <class T>
struct is_basic_vector<basic_vector3<T>> : std::true_type {};
template <class T>
struct is_basic_vector<basic_vector4<T>> : std::true_type {};
template <class V>
concept basic_vector = is_basic_vector<V>::value;

// Free forms of the member operations, for all three vector kinds.
template <basic_vector V>
auto dot(const V& a, const V& b) { return a.dot(b); }
template <class T>
basic_vector3<T> cross(const basic_vector3<T>& a, const basic_vector3<T>& b) { return a.cross(b); }
template <basic_vector V>
auto len(const V& v) { return v.len(); }
template <basic_vector V>
auto len2(const V& v) { return v.len2(); }
template <basic_vector V>
void swap(V& a, V& b) noexcept { std::swap(a, b); }
// True when a and b lie strictly closer than eps.
template <basic_vector V, class T>
bool approx_equal(const V& a, const V& b, T eps) { return (a - b).len2() < eps * eps; }

using vector2 = basic_vector2<float>;
using vector3 = basic_vector3<float>;
using vector4 = basic_vector4<float>;

static_assert(sizeof(vector2) == 8 && sizeof(vector3) == 12 && sizeof(vector4) == 16);

// The module's plain vector helpers, for its own vectors and for Direct3D vectors alike.
template <class V>
concept xyz_vector = requires(V v) { v.x; v.y; v.z; };

template <xyz_vector V>
float Vec3Dot(const V& a, const V& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
template <xyz_vector V>
V* MakeVector3(V* out, float x, float y, float z) {
  out->x = x;
  out->y = y;
  out->z = z;
  return out;
}
