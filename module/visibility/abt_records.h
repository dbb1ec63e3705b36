// The records of the adaptive binary tree: the draw batch, the material, the index-linked node
// of the collision and occluder trees, the collision triangle and the occluder polygon, with
// their fixed file layouts, and the pointer-linked node of the render tree.
#pragma once
#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "math/bounds.h"
#include "visibility/byte_cursor.h"

// A stored box: the maximum corner first, then the minimum corner. The box helpers of the math
// library take the minimum first; ToAABB makes that order.
struct AbtBox {
  D3DXVECTOR3 m_vecMax{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 m_vecMin{0.0f, 0.0f, 0.0f};

  const D3DXVECTOR3& Max() const { return m_vecMax; }
  const D3DXVECTOR3& Min() const { return m_vecMin; }
  AABB ToAABB() const { return AABB(m_vecMin, m_vecMax); }
  // Takes a coordinate of the other box only where it lies strictly outside this one.
  void Grow(const AbtBox& other);
  // The sum over the axes of the squared half-extent.
  float HalfDiagonalSquared() const;
  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

inline constexpr uint32_t kAbtLeafBatchSize = 80;
inline constexpr uint32_t kAbtMaterialSize = 56;
inline constexpr uint32_t kAbtIndexNodeSize = 60;
inline constexpr uint32_t kAbtCollisionTriangleSize = 16;
inline constexpr uint32_t kAbtOccluderPolygonSize = 12;
inline constexpr uint32_t kAbtPointSize = 12;
inline constexpr uint32_t kAbtPlaneSize = 16;

// Blend classes and primitive kinds of a batch.
inline constexpr uint32_t kAbtOpaque = 0;
inline constexpr uint32_t kAbtAlphaTested = 1;
inline constexpr uint32_t kAbtBlended = 2;
inline constexpr uint32_t kAbtTriangleList = 0;
inline constexpr uint32_t kAbtTriangleStrip = 1;

struct AbtLeafBatch {
  AbtBox m_Box;
  D3DXVECTOR3 m_vecCentre{0.0f, 0.0f, 0.0f};
  uint32_t m_nVertexFormat = 0;
  // Renderer handles at run time, list indices in a file. Pointer-free: handles are ints.
  uint32_t m_nVertexBuffer = 0;
  uint32_t m_nIndexBuffer = 0;
  uint32_t m_nPrimitiveCount = 0;
  uint32_t m_nStartIndex = 0;
  uint32_t m_nVertexCount = 0;
  uint32_t m_nMinVertexIndex = 0;
  uint32_t m_nMaterial = 0;
  float m_flEyeDistance = 0.0f;
  uint32_t m_nBlendClass = 0;
  uint32_t m_nPrimitiveKind = 0;

  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

struct AbtMaterial {
  uint8_t m_Parameters[24] = {};
  uint32_t m_SlotUsed[4] = {0, 0, 0, 0};
  uint32_t m_Texture[4] = {0, 0, 0, 0};

  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

struct AbtIndexNode {
  AbtBox m_Box;
  D3DXVECTOR3 m_vecCentre{0.0f, 0.0f, 0.0f};
  int32_t m_nParent = -1;
  int32_t m_nChildA = -1;
  int32_t m_nChildB = -1;
  int32_t m_nCount = 0;
  int32_t m_nFirst = 0;
  uint8_t m_bDisjointChildren = 0;

  bool IsLeaf() const { return m_nChildA == -1 && m_nChildB == -1; }
  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

struct AbtCollisionTriangle {
  uint32_t m_Points[3] = {0, 0, 0};
  uint32_t m_nMaterial = 0;

  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

struct AbtOccluderPolygon {
  uint32_t m_nPlane = 0;
  uint32_t m_nVertexCount = 0;
  uint32_t m_nFirst = 0;

  bool Read(ByteCursor& c);
  void Write(ByteWriter& w) const;
};

bool ReadAbtPoint(ByteCursor& c, D3DXVECTOR3* p);
void WriteAbtPoint(ByteWriter& w, const D3DXVECTOR3& p);
// (a, b, c, d) with a p.x + b p.y + c p.z = d on the plane.
bool ReadAbtPlane(ByteCursor& c, D3DXPLANE* p);
void WriteAbtPlane(ByteWriter& w, const D3DXPLANE& p);

// A chunk body of whole records of `size` bytes each; false when it holds a part of one.
template <class Record>
bool ReadAbtRecords(ByteCursor body, uint32_t size, std::vector<Record>* out) {
  if (body.Remaining() % size != 0) return false;
  out->resize(body.Remaining() / size);
  for (Record& r : *out)
    if (!r.Read(body)) return false;
  return true;
}
