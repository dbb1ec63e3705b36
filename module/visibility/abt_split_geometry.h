// The records of the geometry split: a piece that comes back (its box, centre and triangles)
// and an item of the split's work stack.
#pragma once
#include <cstdint>
#include <vector>

#include "visibility/abt_records.h"

struct AbtGeometryPiece {
  AbtBox m_Box;
  D3DXVECTOR3 m_vecCentre{0.0f, 0.0f, 0.0f};
  uint32_t m_nTriangleCount = 0;
  std::vector<uint16_t> m_Triangles;  // three per triangle
};

struct AbtSplitItem {
  D3DXVECTOR3 m_vecHalfExtent{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 m_vecCentre{0.0f, 0.0f, 0.0f};
  uint32_t m_nTriangleCount = 0;
  std::vector<uint16_t> m_Triangles;
  AbtBox m_Box;
  bool m_bFinal = false;  // emit as a piece whatever its size
};

inline constexpr uint32_t kAbtPieceLimit = 550;
// An empty box that any point grows.
inline AbtBox AbtEmptyBox() {
  AbtBox b;
  b.m_vecMin = D3DXVECTOR3(3.4e38f, 3.4e38f, 3.4e38f);
  b.m_vecMax = D3DXVECTOR3(-3.4e38f, -3.4e38f, -3.4e38f);
  return b;
}
inline void AbtGrowBox(AbtBox& b, const float* p) {
  float* mn = &b.m_vecMin.x;
  float* mx = &b.m_vecMax.x;
  for (int k = 0; k < 3; ++k) {
    if (p[k] < mn[k]) mn[k] = p[k];
    if (p[k] > mx[k]) mx[k] = p[k];
  }
}
