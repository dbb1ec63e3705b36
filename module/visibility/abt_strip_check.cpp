#include "visibility/abt_strip_check.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

using Face = std::array<uint16_t, 3>;

// A face turned to begin at its smallest index: any rotation of it compares equal, a mirror not.
Face Rotated(Face f) {
  while (f[0] > f[1] || f[0] > f[2]) f = {f[1], f[2], f[0]};
  return f;
}

bool IsDegenerate(const Face& f) { return f[0] == f[1] || f[1] == f[2] || f[0] == f[2]; }

}  // namespace

bool AbtStripDrawsExactly(const std::vector<uint16_t>& triangles, const uint16_t* strip, uint32_t count) {
  std::vector<Face> wanted, drawn;
  for (size_t t = 0; t + 3 <= triangles.size(); t += 3) {
    const Face f = {triangles[t], triangles[t + 1], triangles[t + 2]};
    if (!IsDegenerate(f)) wanted.push_back(Rotated(f));
  }
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  for (uint32_t k = 0; k + 2 < count; ++k) {
    Face f = {strip[k], strip[k + 1], strip[k + 2]};
    if (k % 2 == 1) std::swap(f[1], f[2]);
    if (!IsDegenerate(f)) drawn.push_back(Rotated(f));
  }
  std::sort(drawn.begin(), drawn.end());
  return drawn == wanted;
}
