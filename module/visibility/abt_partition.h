// What the off-line splits of the tree share: how a triangle lies against a dividing plane, the
// score of dividing on an axis, and how a triangle that lies across is cut into parts that keep
// its winding. The geometry split of the render build and the node builds of the collision and
// occluder trees divide by the same rules.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

enum class AbtSide : uint8_t {
  kLeft,   // below the plane (or inside the band on that side)
  kRight,  // above it
  kBand,   // across, with a corner strictly inside the band: cut once, through that corner
  kCut,    // across the whole band: cut twice at the plane
};

// Triangles counted on each side of one axis's plane, the ones cut, and the new points the cuts
// need.
struct AbtAxisCount {
  float m_flMean = 0.0f;
  uint32_t m_nLeft = 0;
  uint32_t m_nRight = 0;
  uint32_t m_nCut = 0;
  uint32_t m_nNewPoints = 0;
  std::vector<AbtSide> m_Sides;

  bool Separates() const { return m_nLeft > 0 && m_nRight > 0; }
};

inline constexpr float kAbtThird = 0.33333334f;

// The corners' coordinates c against the plane at s with the band [s - h, s + h].
inline AbtSide AbtClassify(const float c[3], float s, float lo, float hi) {
  if (c[0] <= s && c[1] <= s && c[2] <= s) return AbtSide::kLeft;
  if (c[0] >= s && c[1] >= s && c[2] >= s) return AbtSide::kRight;
  if (c[0] <= hi && c[1] <= hi && c[2] <= hi) return AbtSide::kLeft;
  if (c[0] >= lo && c[1] >= lo && c[2] >= lo) return AbtSide::kRight;
  for (int k = 0; k < 3; ++k)
    if (c[k] > lo && c[k] < hi) return AbtSide::kBand;
  return AbtSide::kCut;
}

// Counts one axis: the plane lies at the mean of the triangles' centroids. coord(i, k) is the
// coordinate on the axis of corner k of triangle i.
template <class CoordFn>
AbtAxisCount AbtCountAxis(uint32_t n, float halfExtent, CoordFn coord) {
  AbtAxisCount a;
  float sum = 0.0f;
  for (uint32_t i = 0; i < n; ++i) sum += (coord(i, 0) + coord(i, 1) + coord(i, 2)) * kAbtThird;
  a.m_flMean = n > 0 ? sum * (1.0f / static_cast<float>(n)) : 0.0f;
  const float s = a.m_flMean, lo = s - halfExtent, hi = s + halfExtent;
  a.m_Sides.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    const float c[3] = {coord(i, 0), coord(i, 1), coord(i, 2)};
    const AbtSide side = AbtClassify(c, s, lo, hi);
    a.m_Sides[i] = side;
    switch (side) {
      case AbtSide::kLeft: ++a.m_nLeft; break;
      case AbtSide::kRight: ++a.m_nRight; break;
      case AbtSide::kBand:
        ++a.m_nLeft;
        ++a.m_nRight;
        ++a.m_nCut;
        a.m_nNewPoints += 1;
        break;
      case AbtSide::kCut:
        for (float v : c) ++(v >= s ? a.m_nRight : a.m_nLeft);
        ++a.m_nCut;
        a.m_nNewPoints += 2;
        break;
    }
  }
  return a;
}

// Rewards balanced sides, few cuts, a plane near the centre and a long axis.
inline float AbtAxisScore(const AbtAxisCount& a, uint32_t n, float halfExtent, float centre, float majorHalfExtent) {
  const uint32_t small = a.m_nLeft < a.m_nRight ? a.m_nLeft : a.m_nRight;
  const uint32_t large = a.m_nLeft < a.m_nRight ? a.m_nRight : a.m_nLeft;
  const float balance = small == 0 ? 0.0f : static_cast<float>(small) / static_cast<float>(large);
  const float cheapness = 1.0f - static_cast<float>(a.m_nCut) / static_cast<float>(n);
  const float centring = 1.0f - std::fabs(a.m_flMean - centre) / halfExtent;
  const float length = halfExtent / majorHalfExtent;
  return (balance + cheapness + 0.5f * centring + 0.5f * length) * kAbtThird;
}

// The axis of the largest half extent; a later axis wins only when strictly larger.
inline int AbtMajorAxis(const float half[3]);

// Counts and scores all three axes of an item of n triangles with the given half extents and
// centre; coord(i, k, axis) is the coordinate of corner k of triangle i.
template <class CoordFn>
void AbtCountAxes(uint32_t n, const float half[3], const float centre[3], CoordFn coord, AbtAxisCount counts[3],
                  float scores[3]);

// The axis of the largest half extent; a later axis wins only when strictly larger.
inline int AbtMajorAxis(const float half[3]) {
  int major = 0;
  if (half[0] < half[1]) major = 1;
  if (half[major] < half[2]) major = 2;
  return major;
}

// The axis to divide on: x, then y and z in turn replace the choice when they score higher and
// separate (or neither separates), or when they separate and it does not. An axis without extent
// never separates, and its score (a division by its zero half extent) has no value, so it can
// neither win nor be beaten by comparing scores alone.
inline int AbtChooseAxis(const AbtAxisCount counts[3], const float scores[3]) {
  int axis = 0;
  for (int k = 1; k < 3; ++k) {
    const bool higher = scores[k] > scores[axis];
    const bool separates = counts[k].Separates(), current = counts[axis].Separates();
    if ((higher && (separates || !current)) || (!higher && separates && !current)) axis = k;
  }
  return axis;
}

// Cuts a triangle of class kBand or kCut. coord[k] is corner k's coordinate on the axis; make(a,
// b, t) makes a point on the edge from corner point a to corner point b at the fraction t and
// returns its index; emit(right, p0, p1, p2) takes one part. Every part keeps the triangle's
// winding.
template <class MakeFn, class EmitFn>
void AbtCutTriangle(const uint32_t tri[3], const float coord[3], AbtSide side, float s, MakeFn make, EmitFn emit) {
  int low = 0, mid = 1, high = 2;
  auto order = [&](int& a, int& b) {
    if (coord[b] < coord[a]) std::swap(a, b);
  };
  order(low, mid);
  order(mid, high);
  order(low, mid);
  const bool follows = mid == (low + 1) % 3;
  const uint32_t L = tri[low], M = tri[mid], H = tri[high];
  const float cL = coord[low], cM = coord[mid], cH = coord[high];
  if (side == AbtSide::kBand) {
    const uint32_t N = make(L, H, (cM - cL) / (cH - cL));
    if (follows) {
      emit(false, L, M, N);
      emit(true, N, M, H);
    } else {
      emit(false, L, N, M);
      emit(true, M, N, H);
    }
    return;
  }
  if (cM < s) {  // low and middle on the left
    const uint32_t N0 = make(L, H, (s - cL) / (cH - cL));
    const uint32_t N1 = make(M, H, (s - cM) / (cH - cM));
    if (follows) {
      emit(false, L, M, N1);
      emit(false, L, N1, N0);
      emit(true, N0, N1, H);
    } else {
      emit(false, L, N0, N1);
      emit(false, L, N1, M);
      emit(true, N1, N0, H);
    }
  } else {  // only low on the left
    const uint32_t N0 = make(L, M, (s - cL) / (cM - cL));
    const uint32_t N1 = make(L, H, (s - cL) / (cH - cL));
    if (follows) {
      emit(false, L, N0, N1);
      emit(true, N0, M, H);
      emit(true, N0, H, N1);
    } else {
      emit(false, L, N1, N0);
      emit(true, N0, N1, H);
      emit(true, N0, H, M);
    }
  }
}

template <class CoordFn>
void AbtCountAxes(uint32_t n, const float half[3], const float centre[3], CoordFn coord, AbtAxisCount counts[3],
                  float scores[3]) {
  const float majorHalf = half[AbtMajorAxis(half)];
  for (int a = 0; a < 3; ++a) {
    counts[a] = AbtCountAxis(n, half[a], [&](uint32_t i, int k) { return coord(i, k, a); });
    scores[a] = AbtAxisScore(counts[a], n, half[a], centre[a], majorHalf);
  }
}
