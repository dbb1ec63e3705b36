#include "terrain/terrain_patch_lists.h"

namespace {

struct TriangleWriter {
  uint16_t* out;
  bool swap;  // the opposite winding: second and third corner exchanged
  void operator()(int a, int b, int c) {
    *out++ = static_cast<uint16_t>(a);
    *out++ = static_cast<uint16_t>(swap ? c : b);
    *out++ = static_cast<uint16_t>(swap ? b : c);
  }
};

}  // namespace

int InteriorListTriangles(int level) {
  if (level < 0 || level >= kPatchLevels) return 0;
  const int q = (1 << (5 - level)) - 2;
  return q > 0 ? 2 * q * q : 0;
}

int EdgeListTriangles(int level, int neighbour) {
  if (level < 0 || neighbour < level || neighbour >= kPatchLevels) return 0;
  return (1 << (5 - level)) + (1 << (5 - neighbour)) - 2;
}

void BuildInteriorList(int level, uint16_t* out) {
  const int s = 1 << (5 - level);
  const int v = s + 1;
  const int q = s - 2;
  const int h = q / 2;
  TriangleWriter tri{out, false};
  auto at = [v](int r, int c) { return r * v + c; };
  // The diagonals run towards the centre of the patch in all four quadrants.
  for (int a = 0; a < q; ++a) {
    for (int b = 0; b < q; ++b) {
      if ((b < h) == (a < h)) {
        tri(at(a + 1, b + 1), at(a + 2, b + 2), at(a + 2, b + 1));
        tri(at(a + 1, b + 1), at(a + 1, b + 2), at(a + 2, b + 2));
      } else {
        tri(at(a + 1, b + 1), at(a + 1, b + 2), at(a + 2, b + 1));
        tri(at(a + 1, b + 2), at(a + 2, b + 2), at(a + 2, b + 1));
      }
    }
  }
}

void BuildEdgeList(int family, int level, int neighbour, uint16_t* out) {
  if (EdgeListTriangles(level, neighbour) == 0) return;
  const int s = 1 << (5 - level);
  const int v = s + 1;
  const int m = 1 << (neighbour - level);
  const int c = (1 << (5 - neighbour)) - 2;
  auto e = [&](int i) {
    switch (family) {
      case 0: return i;
      case 1: return s * v + i;
      case 2: return i * v;
      default: return i * v + s;
    }
  };
  auto n = [&](int i) {
    switch (family) {
      case 0: return v + i;
      case 1: return (s - 1) * v + i;
      case 2: return i * v + 1;
      default: return i * v + s - 1;
    }
  };
  TriangleWriter tri{out, family == 1 || family == 2};
  int f, g;
  if (c == -1) {
    tri(e(0), e(s), n(s / 2));
    f = s / 2 - 1;
    g = s / 2;
  } else {
    tri(e(0), e(m), n(m));
    tri(e(s - m), e(s), n(s - m));
    f = m - 1;
    g = m;
  }
  for (int i = 1; i <= f; ++i) tri(n(i), e(0), n(i + 1));
  for (int i = 0; i < f; ++i) tri(n(s - g + i), e(s), n(s - g + i + 1));
  for (int p = 1; p <= c; ++p) {
    if (p <= c / 2) {
      tri(e(p * m), e((p + 1) * m), n((p + 1) * m));
      for (int i = 0; i < m; ++i) tri(e(p * m), n(p * m + i + 1), n(p * m + i));
    } else {
      tri(e(p * m), e((p + 1) * m), n(p * m));
      for (int i = 0; i < m; ++i) tri(n(p * m + i), e((p + 1) * m), n(p * m + i + 1));
    }
  }
}
