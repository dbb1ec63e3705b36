// The vertex formats of the tree's files, named by a code: t = code AND 3 further texture-coordinate
// pairs, w = (code >> 2) AND 15 blend values. A vertex is position (3 x f32); when w is above 0,
// w' weights (f32, w' = w - 1 above 1) and an index word (4 x u8); normal (3 x f32); diffuse
// colour (u32, ARGB); t + 1 pairs of texture coordinates.
#pragma once
#include <cstdint>

struct AbtVertexLayout {
  uint32_t m_nStride = 0;
  uint32_t m_nFormat = 0;   // the renderer's flexible vertex format
  uint32_t m_nWeights = 0;  // w'
  uint32_t m_nNormal = 0;   // byte offsets
  uint32_t m_nDiffuse = 0;
  uint32_t m_nTexture = 0;  // the first pair
};

// More than four blend values would give a format that disagrees with the stride.
inline constexpr uint32_t kAbtMaxBlendValues = 4;

inline bool AbtCodeIsKnown(uint32_t code) { return ((code >> 2) & 15) <= kAbtMaxBlendValues; }

inline AbtVertexLayout AbtLayoutOf(uint32_t code) {
  const uint32_t t = code & 3;
  uint32_t w = (code >> 2) & 15;
  if (w > kAbtMaxBlendValues) w = kAbtMaxBlendValues;
  static const uint32_t kPositionPart[5] = {0x2, 0x1008, 0x1008, 0x100A, 0x100C};
  AbtVertexLayout l;
  l.m_nWeights = w > 1 ? w - 1 : w;
  l.m_nStride = l.m_nWeights == 0 ? 36 + 8 * t : 40 + 4 * l.m_nWeights + 8 * t;
  l.m_nFormat = ((t + 1) << 8) | 0x50 | kPositionPart[w];
  l.m_nNormal = l.m_nWeights == 0 ? 12 : 16 + 4 * l.m_nWeights;
  l.m_nDiffuse = l.m_nNormal + 12;
  l.m_nTexture = l.m_nDiffuse + 4;
  return l;
}
