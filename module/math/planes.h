// Plane arithmetic with one fixed tolerance, an in-place polygon clipper, a polygon splitter
// and the compact axis-aligned plane form.
#pragma once
#include <cstdint>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"

// a, b, c, d; the signed distance of p is a p.x + b p.y + c p.z + d.
using Plane = D3DXPLANE;

// A point whose distance lies within [-kPlaneTolerance, kPlaneTolerance] is on the plane.
inline constexpr double kPlaneTolerance = 4e-7;

// Point classes.
inline constexpr int kPlaneFront = 0;
inline constexpr int kPlaneBack = 1;
inline constexpr int kPlaneOn = 2;

inline float PlaneDistance(const Plane& p, const D3DVECTOR& v) { return p.a * v.x + p.b * v.y + p.c * v.z + p.d; }

// kPlaneFront when the distance is above the tolerance, kPlaneBack below minus the tolerance,
// kPlaneOn otherwise.
int ClassifyPointPlane(const Plane& plane, const D3DVECTOR& point);

// t = dist(a) / (dist(a) - dist(b)), the parameter where a + (b - a) t meets the plane; 0 when
// both distances are equal.
float PlaneSegmentIntersect(const Plane& plane, const D3DVECTOR& a, const D3DVECTOR& b);

// The vertex where the edge a-b crosses the plane, written into out. Every vertex starts with
// its position as three floats; the bytes after it are the callback's to carry along. out
// already holds a copy of b, the vertex the crossing is made for; a and b never alias out.
using PolygonInterpolateFn = void (*)(void* out, const void* a, const void* b, int stride, const Plane& plane,
                                      void* user);

// The usual interpolation callback: the position out = a + (b - a) t, t from
// PlaneSegmentIntersect; the other bytes of out are left as they are. stride and user are not
// used.
void PlaneSegmentIntersectPoint(void* out, const void* a, const void* b, int stride, const Plane& plane, void* user);

// Clips the polygon in place to the part on side (kPlaneFront or kPlaneBack); kPlaneOn empties
// it. vertices is the first vertex, stride the bytes from one vertex to the next (at least 12),
// *count the number of vertices, capacity the number of vertices the array has room for.
// Vertices on the plane count as lying on the side of the vertex before them; crossings come
// from fn. A convex polygon grows by at most one vertex, a non-convex one by more; the walk
// needs room for the largest count it reaches, and when capacity is below that nothing is
// changed and -1 is returned. -1 also for a null count, a null vertex array with vertices, a
// stride below 12, or a side other than 0, 1, 2.
// Result: the new count; below 1 vertex the count unchanged; for side kPlaneOn, or a polygon
// that lies wholly on the plane, the count becomes 0 and the old count is returned.
int ClipPolygonByPlane(void* vertices, int* count, int capacity, int stride, const Plane& plane,
                       PolygonInterpolateFn fn, void* user, int side);

// A polygon held by the splitter: the vertex array, its stride, the vertex count and the room.
struct PolygonRecord {
  void* m_pVertices = nullptr;
  int m_nStride = 0;
  int m_nCount = 0;
  // A new record holds no room: a split writes only into records whose owner said how many
  // vertices their buffer takes (a nominal 0x7fffffff would let it write past any buffer).
  int m_nCapacity = 0;
};

// Asked for each vertex after the first of a split record with the vertex kept before it; a
// false answer drops the vertex.
using SplitKeepFn = bool (*)(const void* previous, const void* vertex, void* user);

// Copies each vertex of polygon to front or back by its class (vertices on the plane go with
// the vertex before them, as in the clipper); where an edge crosses the plane the crossing from
// fn goes to both records, before the vertex. The records are filled from their start and
// their counts set; their strides must equal the polygon's. With keep, each record is then
// cleaned as SplitKeepFn says. False, with the records untouched, for an empty polygon, for
// bad arguments, or when a record lacks the room; true otherwise. A polygon that lies wholly
// on the plane leaves both records empty.
bool SplitPolygonByPlane(const PolygonRecord& polygon, PolygonRecord* front, PolygonRecord* back, const Plane& plane,
                         PolygonInterpolateFn fn, void* user, SplitKeepFn keep = nullptr);

// False when dist(a) and dist(b) differ by no more than the tolerance; otherwise true with
// out = a + (b - a) t, t from PlaneSegmentIntersect (t may lie outside 0..1).
bool IntersectSegmentPlane(const Plane& plane, D3DVECTOR* out, const D3DVECTOR& a, const D3DVECTOR& b);
// 1 when dist(a) and dist(b) differ by more than the tolerance, else 0.
int SegmentMeetsPlane(const Plane& plane, const D3DVECTOR& a, const D3DVECTOR& b);
// kPlaneFront when dist > radius + tolerance, kPlaneBack when dist < -radius - tolerance,
// kPlaneOn otherwise.
int ClassifySpherePlane(const Plane& plane, const D3DVECTOR& centre, float radius);

// The fan (0, i + 1, i + 2), i = 0 .. count - 3, as 16-bit index triples into indices, which
// has room for capacity indices. False, writing nothing, below three vertices, above 65536
// vertices or when the room is short.
bool TriangulateFan(const PolygonRecord& polygon, uint16_t* indices, int capacity);

// A plane along a coordinate axis: index 0-5 for the normals (1,0,0), (0,1,0), (0,0,1),
// (-1,0,0), (0,-1,0), (0,0,-1), and the offset d.
struct AxisPlane {
  int32_t m_nAxis = 0;
  float m_flD = 0.0f;

  // The plane of the given index through p; false (this unchanged) for an index outside 0-5.
  bool Through(int axis, const D3DVECTOR& p);
  // Signed distance of p: d + p.x, d + p.y, d + p.z, d - p.x, d - p.y, d - p.z by index.
  float Distance(const D3DVECTOR& p) const;
  // (normal of the index, d).
  Plane ToPlane() const;
};

using AxisPlaneDistanceFn = float (*)(const AxisPlane& plane, const D3DVECTOR& p);
using AxisPlaneThroughFn = void (*)(AxisPlane* plane, const D3DVECTOR& p);

// The operations of the axis planes by index: the six distance functions, then the six
// constructors through a point.
struct AxisPlaneOps {
  AxisPlaneDistanceFn distance[6];
  AxisPlaneThroughFn through[6];
};
extern const AxisPlaneOps g_AxisPlaneOps;

// The unit normal of an axis plane index (0-5).
const D3DXVECTOR3& AxisPlaneNormal(int axis);
