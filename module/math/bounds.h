// Bounding volumes and the tests between them: axis-aligned boxes, spheres, the view frustum
// with its fast box and sphere tests, a convex hull in the plane, a view frustum fitted around
// boxes, and the corner data of a wireframe box. World space is y up.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "d3dx8/d3dx8math.h"

struct Sphere;

// Minimum x, y, z, then maximum x, y, z.
struct AABB {
  D3DXVECTOR3 m_vecMin{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 m_vecMax{0.0f, 0.0f, 0.0f};

  AABB() = default;
  AABB(const D3DXVECTOR3& vecMin, const D3DXVECTOR3& vecMax) : m_vecMin(vecMin), m_vecMax(vecMax) {}

  // Grows to enclose the other box, or the point.
  void Merge(const AABB& other);
  void MergePoint(const D3DXVECTOR3& p);

  // Meets the ray or segment origin + t direction the box (bounds inclusive)? The face tested
  // on each axis is the one on the origin's side, in the order x, y, z; *t is the parameter of
  // the first face hit, 0 when the origin lies inside. t may be negative (the box lies behind
  // the origin) or above 1; callers that need a segment check it.
  bool ClipSegment(float* t, const D3DXVECTOR3& origin, const D3DXVECTOR3& direction) const;

  // Becomes the box around the eight corners of box transformed by m (coordinates, with the
  // divide by w).
  void FromTransformedBox(const AABB& box, const D3DXMATRIX& m);

  // Overlap or touch on every axis. Boxes that only touch overlap.
  bool Overlaps(const AABB& other) const;

  // 0 when the sphere and the box are separated, 1 when they touch or overlap. With any out
  // pointer given, the contact is also written (every given pointer): normal, the unit
  // direction from the sphere centre into the box; point, the middle of the overlap; depth,
  // how far the sphere reaches into the box along the normal.
  int IntersectsSphere(const D3DXVECTOR3& centre, float radius, D3DXVECTOR3* normal = nullptr,
                       D3DXVECTOR3* point = nullptr, float* depth = nullptr) const;
  int IntersectsSphere(float x, float y, float z, float radius, D3DXVECTOR3* normal = nullptr,
                       D3DXVECTOR3* point = nullptr, float* depth = nullptr) const {
    return IntersectsSphere(D3DXVECTOR3(x, y, z), radius, normal, point, depth);
  }
};

struct Sphere {
  D3DXVECTOR3 m_vecCenter{0.0f, 0.0f, 0.0f};
  float m_flRadius = 0.0f;

  Sphere() = default;
  Sphere(const D3DXVECTOR3& centre, float radius) : m_vecCenter(centre), m_flRadius(radius) {}

  // Does the sphere touch the triangle a, b, c (from either side)? On a touch writes the
  // nearest point of the triangle to the centre, the unit direction from the triangle towards
  // the centre (the way the sphere is pushed out) and the depth (radius minus the distance);
  // nothing is written otherwise. A triangle without area is tested by its edges.
  bool IntersectsTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, D3DXVECTOR3* point,
                          D3DXVECTOR3* direction, float* depth) const;
};

// A sphere around the points, grown one point at a time (not the smallest one). No points:
// centre 0, radius 0.
Sphere BoundingSphereFromPoints(std::span<const D3DXVECTOR3> points);

// The single point common to three planes: 1 with *out set, or 0 (out untouched) when the
// normals' triple product is zero, denormal, infinite or not a number.
int IntersectThreePlanes(D3DXVECTOR3* out, const D3DXPLANE& p, const D3DXPLANE& q, const D3DXPLANE& r);

// The six planes of a view frustum (a x + b y + c z + d >= 0 inside), their sign masks and
// the eight corners.
struct Frustum {
  D3DXPLANE m_planes[6];
  // Bit 0 set when a < 0, bit 1 when b < 0, bit 2 when c < 0.
  uint32_t m_signMasks[6];
  // Corner i lies on the far plane when bit 0 is set (else the near one), on the bottom plane
  // when bit 1 is set (else the top one), on the right plane when bit 2 is set (else the left).
  D3DXVECTOR3 m_vecCorners[8];

  Frustum();

  // From a view x projection matrix: the planes right, left, top, bottom, far, near (columns
  // c3 - c0, c3 + c0, c3 - c1, c3 + c1, c3 - c2, c3 + c2), normalised, their masks and the
  // corners. A plane without a normal is kept as it is.
  void ExtractFromMatrix(const D3DXMATRIX& viewProjection);

  // No plane has the sphere wholly outside.
  bool IntersectsSphere(const D3DXVECTOR3& centre, float radius) const;
  bool IntersectsSphere(const Sphere& s) const { return IntersectsSphere(s.m_vecCenter, s.m_flRadius); }

  // 0 when the box lies wholly outside one plane, 1 wholly inside, 2 when it crosses a plane.
  int ClassifyAABB(const D3DXVECTOR3& vecMin, const D3DXVECTOR3& vecMax) const;
  int ClassifyAABB(const AABB& box) const { return ClassifyAABB(box.m_vecMin, box.m_vecMax); }
  // The same over the planes whose bit (1 << i) is set in *planes, clearing the bit of each plane
  // that has the box wholly inside: a box within its parent's box need not be tried against the
  // planes its parent lies inside. 1 once no bit is left. Inline, and without a branch on the
  // signs, for tree walks that try thousands of boxes a frame.
  int ClassifyAABB(const D3DXVECTOR3& vecMin, const D3DXVECTOR3& vecMax, uint32_t* planes) const {
    const float box[6] = {vecMin.x, vecMin.y, vecMin.z, vecMax.x, vecMax.y, vecMax.z};
    uint32_t left = *planes;
    for (uint32_t bits = left; bits != 0; bits &= bits - 1) {
      const int i = std::countr_zero(bits);
      const D3DXPLANE& p = m_planes[i];
      // The corner farthest along the normal takes the maximum where a component is positive.
      const uint32_t neg = m_signMasks[i];
      const int fx = (neg & 1) ? 0 : 3, fy = (neg & 2) ? 1 : 4, fz = (neg & 4) ? 2 : 5;
      if (p.a * box[fx] + p.b * box[fy] + p.c * box[fz] + p.d < 0.0f) return 0;
      if (!(p.a * box[(fx + 3) % 6] + p.b * box[(fy + 3) % 6] + p.c * box[(fz + 3) % 6] + p.d < 0.0f))
        left &= ~(1u << i);
    }
    *planes = left;
    return left != 0 ? 2 : 1;
  }
};

// Orders the points about the pivot by the sign of (a - pivot) x (b - pivot), nearer first
// when they lie in one direction from it.
bool HullPolarLess(const D3DXVECTOR2& pivot, const D3DXVECTOR2& a, const D3DXVECTOR2& b);

// The convex hull of points in the plane (the x and y of each input point) by a Graham scan,
// counter-clockwise from the pivot (the lowest point, the rightmost of the lowest). Points on
// a hull edge are left out.
class ConvexHull2D {
 public:
  ConvexHull2D() = default;
  explicit ConvexHull2D(std::span<const D3DXVECTOR3> points) { Build(points); }

  void Build(std::span<const D3DXVECTOR3> points);
  const std::vector<D3DXVECTOR2>& Points() const { return m_points; }

 private:
  std::vector<D3DXVECTOR2> m_points;
};

// A view frustum fitted around a set of boxes: the view from the eye along the direction and
// the half-angles and depths that take in every box corner.
struct OrientedFrame {
  D3DXVECTOR3 m_vecDirection{0.0f, 0.0f, -1.0f};
  D3DXVECTOR3 m_vecEye{0.0f, 0.0f, 0.0f};
  float m_flVerticalHalfAngle = 0.0f;
  float m_flHorizontalHalfAngle = 0.0f;
  float m_flNear = 0.0f;
  float m_flFar = 0.0f;
  D3DXMATRIX m_matView{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  // Looks from eye along direction (normalised; a zero direction looks along -z) and fits the
  // corners of the boxes, transformed by m, into the frame.
  void FromSegment(std::span<const AABB> boxes, const D3DXMATRIX& m, const D3DXVECTOR3& eye,
                   const D3DXVECTOR3& direction);
  // Looks from eye towards the bounding sphere of the boxes' corners (transformed by m). No
  // boxes: direction (0, 0, -1), zero half-angles and depths, identity view.
  void FitPoints(std::span<const AABB> boxes, const D3DXMATRIX& m, const D3DXVECTOR3& eye);
};

// The wireframe of a box: eight corners (0 min, 1 (max.x, min.y, min.z), 2 (max.x, min.y,
// max.z), 3 (min.x, min.y, max.z), 4-7 the same with max.y) and twelve lines as 16-bit index
// pairs. The renderer draws them as an indexed line list (primitive type 2) of position-only
// vertices (vertex format 2, stride 12), with the colour in the texture factor (render
// state 60).
inline constexpr uint16_t kAABBWireframeIndices[24] = {0, 1, 0, 3, 1, 2, 2, 3, 4, 5, 5, 6,
                                                       6, 7, 7, 4, 1, 5, 2, 6, 3, 7, 0, 4};
inline constexpr int kAABBWireframeVertexCount = 8;
inline constexpr int kAABBWireframeLineCount = 12;
void BuildAABBWireframe(const D3DXVECTOR3& vecMin, const D3DXVECTOR3& vecMax, D3DXVECTOR3 corners[8]);

class IRenderer;
// Draws the box's twelve edges in one colour (0xAARRGGBB) through the renderer with the given
// effect handle (-1 none). The corners are made from this box on every call.
void DrawAABBWireframe(IRenderer* renderer, const D3DXVECTOR3& vecMin, const D3DXVECTOR3& vecMax, uint32_t colour,
                       int effect);
