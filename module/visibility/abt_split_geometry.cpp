// The geometry split of the render build: a large record is divided at planes chosen per item
// until every piece holds fewer than 550 triangles. Triangles across a plane are cut, and the new
// vertices take interpolated attributes.
#include <cstring>

#include "visibility/abt_build_input.h"
#include "visibility/abt_partition.h"
#include "visibility/abt_work_stack.h"
#include "visibility/adaptive_binary_tree.h"

namespace {

constexpr float kColourScale = 0.003921569f;  // 1/255

float FloatAt(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}

void Lerp(uint8_t* out, const uint8_t* a, const uint8_t* b, uint32_t offset, int floats, float t) {
  for (int k = 0; k < floats; ++k) {
    const float va = FloatAt(a + offset + 4 * k), vb = FloatAt(b + offset + 4 * k);
    const float v = va + (vb - va) * t;
    std::memcpy(out + offset + 4 * k, &v, 4);
  }
}

uint32_t LerpColour(uint32_t a, uint32_t b, float t) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const float ca = static_cast<float>((a >> shift) & 0xFF) * kColourScale;
    const float cb = static_cast<float>((b >> shift) & 0xFF) * kColourScale;
    const float v = ca + (cb - ca) * t;
    const uint32_t channel = v >= 1.0f ? 255u : v <= 0.0f ? 0u : static_cast<uint32_t>(v * 255.0f + 0.5f);
    out |= channel << shift;
  }
  return out;
}

}  // namespace

void AbtInterpolateVertex(uint8_t* out, const uint8_t* a, const uint8_t* b, float t, const AbtVertexLayout& layout) {
  // Bytes without a meaning that interpolates (weights, the index word, further coordinate
  // pairs) come from the nearer corner.
  std::memcpy(out, t < 0.5f ? a : b, layout.m_nStride);
  Lerp(out, a, b, 0, 3, t);
  Lerp(out, a, b, layout.m_nNormal, 3, t);
  Lerp(out, a, b, layout.m_nTexture, 2, t);
  uint32_t ca, cb;
  std::memcpy(&ca, a + layout.m_nDiffuse, 4);
  std::memcpy(&cb, b + layout.m_nDiffuse, 4);
  const uint32_t c = LerpColour(ca, cb, t);
  std::memcpy(out + layout.m_nDiffuse, &c, 4);
}

bool CAdaptiveBinaryTree::SplitGeometry(const D3DXVECTOR3& boxMax, const D3DXVECTOR3& boxMin,
                                        uint32_t triangleCount, std::vector<uint16_t> triangles,
                                        std::vector<uint8_t>* vertices, uint32_t formatCode, uint32_t* vertexCount,
                                        std::vector<AbtGeometryPiece>* pieces) {
  const AbtVertexLayout layout = AbtLayoutOf(formatCode);
  const uint32_t stride = layout.m_nStride;
  AbtWorkStack<AbtSplitItem, kAbtSplitStackLine> stack;
  auto fromBox = [](AbtSplitItem& item) {
    item.m_vecHalfExtent = (item.m_Box.m_vecMax - item.m_Box.m_vecMin) * 0.5f;
    item.m_vecCentre = (item.m_Box.m_vecMax + item.m_Box.m_vecMin) * 0.5f;
  };
  AbtSplitItem first;
  first.m_Box.m_vecMax = boxMax;
  first.m_Box.m_vecMin = boxMin;
  fromBox(first);
  first.m_nTriangleCount = triangleCount;
  triangles.resize(3ull * triangleCount);
  first.m_Triangles = std::move(triangles);
  stack.Push(std::move(first));

  while (!stack.Empty()) {
    AbtSplitItem item = stack.Pop();
    const uint32_t n = item.m_nTriangleCount;
    if (n < kAbtPieceLimit || item.m_bFinal) {
      AbtGeometryPiece piece;
      piece.m_Box = item.m_Box;
      piece.m_vecCentre = (item.m_Box.m_vecMax + item.m_Box.m_vecMin) * 0.5f;
      piece.m_nTriangleCount = n;
      piece.m_Triangles = std::move(item.m_Triangles);
      pieces->push_back(std::move(piece));
      continue;
    }

    const std::vector<uint16_t>& tris = item.m_Triangles;
    const float* half = &item.m_vecHalfExtent.x;
    const float* centre = &item.m_vecCentre.x;
    AbtAxisCount counts[3];
    float scores[3];
    const uint8_t* base = vertices->data();
    AbtCountAxes(n, half, centre,
                 [&](uint32_t i, int k, int a) {
                   return FloatAt(base + static_cast<size_t>(tris[3 * i + k]) * stride + 4 * a);
                 },
                 counts, scores);
    const int axis = AbtChooseAxis(counts, scores);
    const AbtAxisCount& chosen = counts[axis];

    // Every new vertex must stay within reach of a 16-bit index and of one vertex buffer.
    if (static_cast<uint64_t>(*vertexCount) + chosen.m_nNewPoints > 65535) return false;
    uint32_t next = *vertexCount;
    *vertexCount += chosen.m_nNewPoints;
    vertices->resize(static_cast<size_t>(*vertexCount) * stride);
    uint8_t* data = vertices->data();
    auto position = [&](uint32_t v) -> const uint8_t* { return data + static_cast<size_t>(v) * stride; };

    AbtSplitItem sides[2];
    for (AbtSplitItem& s : sides) {
      s.m_Box = AbtEmptyBox();
      s.m_Triangles.reserve(3ull * (&s == &sides[0] ? chosen.m_nLeft : chosen.m_nRight));
    }
    auto emit = [&](bool right, uint32_t p0, uint32_t p1, uint32_t p2) {
      AbtSplitItem& s = sides[right ? 1 : 0];
      for (uint32_t p : {p0, p1, p2}) {
        s.m_Triangles.push_back(static_cast<uint16_t>(p));
        float at[3];
        std::memcpy(at, position(p), 12);
        AbtGrowBox(s.m_Box, at);
      }
    };
    auto make = [&](uint32_t a, uint32_t b, float t) {
      AbtInterpolateVertex(data + static_cast<size_t>(next) * stride, position(a), position(b), t, layout);
      return next++;
    };
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t tri[3] = {tris[3 * i], tris[3 * i + 1], tris[3 * i + 2]};
      const AbtSide side = chosen.m_Sides[i];
      if (side == AbtSide::kLeft || side == AbtSide::kRight) {
        emit(side == AbtSide::kRight, tri[0], tri[1], tri[2]);
        continue;
      }
      float coord[3];
      for (int k = 0; k < 3; ++k) coord[k] = FloatAt(position(tri[k]) + 4 * axis);
      AbtCutTriangle(tri, coord, side, chosen.m_flMean, make, emit);
    }

    // The side below takes the item's place and the side above goes on top of it. A side that
    // holds no fewer triangles than the item (everything was cut) would be divided the same way
    // again and again: it is final, like a side whose other side is empty.
    for (AbtSplitItem& s : sides) s.m_nTriangleCount = static_cast<uint32_t>(s.m_Triangles.size() / 3);
    for (int k = 0; k < 2; ++k) {
      AbtSplitItem& s = sides[k];
      if (s.m_nTriangleCount == 0) continue;
      s.m_bFinal = sides[1 - k].m_nTriangleCount == 0 || s.m_nTriangleCount >= n;
      fromBox(s);
      stack.Push(std::move(s));
    }
  }
  return true;
}
