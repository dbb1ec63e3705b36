// The collision tree's queries: the nearest hit of a ray, the triangles near a sphere clipped by
// planes, and the sphere's contact with the geometry.
#include <cmath>
#include <cstring>
#include <vector>

#include "math/planes.h"
#include "visibility/adaptive_binary_tree.h"

namespace {
// 3.4e38 as stored: the bit pattern 0x7F7FC99E.
float NoHit() {
  const uint32_t bits = 0x7F7FC99Eu;
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
constexpr float kNoCollisionTree = 2.0f;
}  // namespace

bool ReadStreamBytes(void* destination, uint32_t count, AbtStreamCursor* cursor) {
  if (cursor == nullptr || cursor->m_pPos == nullptr || count > static_cast<size_t>(cursor->m_pEnd - cursor->m_pPos))
    return false;
  if (count > 0) std::memcpy(destination, cursor->m_pPos, count);
  cursor->m_pPos += count;
  return true;
}

bool CAdaptiveBinaryTree::IntersectRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, float* t) {
  if (m_pCollisionNodes == nullptr) return false;
  float best = NoHit();
  // A node is searched unless the ray enters its box at or beyond the nearest hit so far; of two
  // children the nearer is searched first, so far boxes are usually cut off.
  struct Entry {
    int32_t node;
    float enter;
  };
  std::vector<Entry> stack;
  float enter = 0.0f;
  if (m_pCollisionNodes[0].m_Box.ToAABB().ClipSegment(&enter, *origin, *direction)) stack.push_back({0, enter});
  while (!stack.empty()) {
    const Entry e = stack.back();
    stack.pop_back();
    if (e.enter >= best) continue;
    const AbtIndexNode& n = m_pCollisionNodes[e.node];
    if (!n.IsLeaf()) {
      Entry met[2];
      int count = 0;
      for (int32_t c : {n.m_nChildA, n.m_nChildB}) {
        float ce = 0.0f;
        if (c != -1 && m_pCollisionNodes[c].m_Box.ToAABB().ClipSegment(&ce, *origin, *direction)) met[count++] = {c, ce};
      }
      if (count == 2 && met[0].enter < met[1].enter) std::swap(met[0], met[1]);
      for (int i = 0; i < count; ++i) stack.push_back(met[i]);
      continue;
    }
    for (int32_t i = 0; i < n.m_nCount; ++i) {
      const AbtCollisionTriangle& tri = m_pCollisionTriangles[n.m_nFirst + i];
      float dist = 0.0f;
      if (D3DXIntersectTri(&m_pCollisionPoints[tri.m_Points[0]], &m_pCollisionPoints[tri.m_Points[1]],
                           &m_pCollisionPoints[tri.m_Points[2]], origin, direction, nullptr, nullptr, &dist) &&
          dist < best)
        best = dist;
    }
  }
  *t = best;
  return best != NoHit();
}

float CAdaptiveBinaryTree::RayDistance(const D3DXVECTOR3* a, const D3DXVECTOR3* b) {
  float t = kNoCollisionTree;
  const D3DXVECTOR3 direction = *b - *a;
  IntersectRay(a, &direction, &t);
  return t;
}

bool CAdaptiveBinaryTree::ClipTrianglesInSphere(const float (*planes)[4], int32_t planeCount,
                                                const D3DXVECTOR3* centre, float radius, RegionPolygonFn callback) {
  if (m_pCollisionNodes == nullptr) return false;
  const D3DXVECTOR3 c = *centre;
  // A convex polygon gains at most one vertex per plane.
  std::vector<D3DXVECTOR3> polygon(3 + static_cast<size_t>(planeCount > 0 ? planeCount : 0));
  std::vector<int32_t> stack{0};
  while (!stack.empty()) {
    const AbtIndexNode& n = m_pCollisionNodes[stack.back()];
    stack.pop_back();
    if (!n.m_Box.ToAABB().IntersectsSphere(c, radius)) continue;
    if (!n.IsLeaf()) {
      for (int32_t child : {n.m_nChildA, n.m_nChildB})
        if (child != -1 && m_pCollisionNodes[child].m_Box.ToAABB().IntersectsSphere(c, radius)) stack.push_back(child);
      continue;
    }
    for (int32_t i = 0; i < n.m_nCount; ++i) {
      const AbtCollisionTriangle& tri = m_pCollisionTriangles[n.m_nFirst + i];
      for (int k = 0; k < 3; ++k) polygon[k] = m_pCollisionPoints[tri.m_Points[k]];
      int count = 3;
      for (int32_t p = 0; p < planeCount; ++p) {
        const Plane plane(planes[p][0], planes[p][1], planes[p][2], planes[p][3]);
        ClipPolygonByPlane(polygon.data(), &count, static_cast<int>(polygon.size()), sizeof(D3DXVECTOR3), plane,
                           PlaneSegmentIntersectPoint, nullptr, kPlaneBack);
      }
      if ((planeCount <= 0 || count >= 3) && callback != nullptr) callback(&polygon[0].x, count);
    }
  }
  return false;
}

bool CAdaptiveBinaryTree::CollideSphere(const D3DXVECTOR3* centre, float radius, D3DXVECTOR3* point,
                                        D3DXVECTOR3* direction, float* depth, bool firstHitOnly) {
  if (m_pCollisionNodes == nullptr) return false;
  const Sphere sphere(*centre, radius);
  struct Contact {
    D3DXVECTOR3 point, direction;
    float depth;
  };
  std::vector<Contact> contacts;
  std::vector<int32_t> stack{0};
  while (!stack.empty()) {
    const AbtIndexNode& n = m_pCollisionNodes[stack.back()];
    stack.pop_back();
    if (!n.m_Box.ToAABB().IntersectsSphere(*centre, radius)) continue;
    if (!n.IsLeaf()) {
      for (int32_t child : {n.m_nChildA, n.m_nChildB})
        if (child != -1 && m_pCollisionNodes[child].m_Box.ToAABB().IntersectsSphere(*centre, radius))
          stack.push_back(child);
      continue;
    }
    for (int32_t i = 0; i < n.m_nCount; ++i) {
      const AbtCollisionTriangle& tri = m_pCollisionTriangles[n.m_nFirst + i];
      Contact k{};
      if (!sphere.IntersectsTriangle(m_pCollisionPoints[tri.m_Points[0]], m_pCollisionPoints[tri.m_Points[1]],
                                     m_pCollisionPoints[tri.m_Points[2]], &k.point, &k.direction, &k.depth))
        continue;
      if (firstHitOnly) return true;
      contacts.push_back(k);
    }
  }
  if (contacts.empty()) return false;
  D3DXVECTOR3 sumPoint(0.0f, 0.0f, 0.0f), sumDirection(0.0f, 0.0f, 0.0f);
  for (const Contact& k : contacts) {
    sumPoint += k.point;
    sumDirection += k.direction * k.depth;
  }
  const float n = static_cast<float>(contacts.size());
  *point = sumPoint * (1.0f / n);
  *depth = std::sqrt(D3DXVec3Dot(&sumDirection, &sumDirection) / n);
  D3DXVec3Normalize(direction, &sumDirection);
  return true;
}

void CAdaptiveBinaryTree::GetCollisionBounds(D3DXVECTOR3* maximum, D3DXVECTOR3* minimum) {
  if (m_pCollisionNodes == nullptr) return;
  *maximum = m_pCollisionNodes[0].m_Box.Max();
  *minimum = m_pCollisionNodes[0].m_Box.Min();
}
