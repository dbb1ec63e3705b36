#include "math/planes.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

D3DVECTOR PositionOf(const void* vertex) {
  D3DVECTOR p;
  std::memcpy(&p, vertex, sizeof p);
  return p;
}

// The largest float at or below the tolerance: a float distance lies above the tolerance exactly
// when it lies above this, so the test needs no widening to double.
constexpr float FloatAtOrBelow(double k) {
  const float f = static_cast<float>(k);
  return static_cast<double>(f) > k ? std::bit_cast<float>(std::bit_cast<uint32_t>(f) - 1u) : f;
}
constexpr float kTolerance = FloatAtOrBelow(kPlaneTolerance);
static_assert(static_cast<double>(kTolerance) <= kPlaneTolerance &&
              static_cast<double>(std::bit_cast<float>(std::bit_cast<uint32_t>(kTolerance) + 1u)) > kPlaneTolerance);

int ClassifyDistance(float dist) {
  int c = kPlaneOn;
  c = dist > kTolerance ? kPlaneFront : c;
  c = dist < -kTolerance ? kPlaneBack : c;
  return c;
}

// The side walk shared by the clipper and the splitter, over n >= 1 vertices. classOf(k) gives
// the class of vertex k; emit(k, c, crossing) is called for each vertex in walk order with its
// effective class c (never kPlaneOn) and whether the edge from the vertex before it crosses the
// plane. A vertex on the plane takes the class of the vertex before it; while the walk has met
// only vertices on the plane (the last vertex included) they are skipped, and at the first
// vertex off the plane the walk starts again from vertex 0 with that vertex's class. False
// when every vertex lay on the plane (nothing was emitted).
template <class ClassOf, class Emit>
bool WalkPolygonSides(int n, ClassOf classOf, Emit emit) {
  int prevClass = classOf(n - 1);
  bool leading = false;
  int k = 0;
  while (k < n) {
    int c = classOf(k);
    if (c == kPlaneOn) {
      if (prevClass == kPlaneOn) {
        leading = true;
        ++k;
        continue;
      }
      c = prevClass;
    } else if (prevClass == kPlaneOn) {
      prevClass = c;
      if (leading) {
        leading = false;
        k = 0;
        continue;
      }
    }
    if (!emit(k, c, prevClass != c)) return true;
    prevClass = c;
    ++k;
  }
  return prevClass != kPlaneOn;
}

// The crossing of the edge a-b from its ends' plane distances: a + (b - a) t with
// t = da / (da - db), 0 when they are equal. PlaneSegmentIntersectPoint and the clips make it here.
inline D3DVECTOR Crossing(const D3DVECTOR& a, const D3DVECTOR& b, float da, float db) {
  const float t = da == db ? 0.0f : da / (da - db);
  return D3DVECTOR{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}
inline D3DVECTOR Crossing(const void* a, const void* b, float da, float db) {
  return Crossing(PositionOf(a), PositionOf(b), da, db);
}

// Two vertex-sized scratch buffers, on the stack for ordinary strides.
class VertexScratch {
 public:
  explicit VertexScratch(int stride) {
    if (stride > kInline) {
      heap_.resize(static_cast<size_t>(stride) * 2);
      buffers_[0] = heap_.data();
      buffers_[1] = heap_.data() + stride;
    } else {
      buffers_[0] = inline_;
      buffers_[1] = inline_ + kInline;
    }
  }
  // A buffer other than the one in use.
  unsigned char* Other(const void* inUse) { return inUse == buffers_[0] ? buffers_[1] : buffers_[0]; }

 private:
  static constexpr int kInline = 128;
  alignas(16) unsigned char inline_[kInline * 2];
  std::vector<unsigned char> heap_;
  unsigned char* buffers_[2];
};

// Copies one vertex; a fixed size lets the compiler copy it inline.
template <size_t kFixed>
struct VertexCopy {
  size_t size;
  size_t Size() const { return kFixed ? kFixed : size; }
  void operator()(void* dst, const void* src) const { std::memcpy(dst, src, kFixed ? kFixed : size); }
};

// The clipping walk proper, over a polygon whose room was checked. The clipped polygon is
// written from the start of the array while the walk reads ahead of it. Should a write reach
// the next vertex still to be read, the unread vertices move once to the end of the room;
// from then on the writes never catch up with them, since the vertices written plus those
// still unread never exceed the peak count of the walk, which fits the room.
// `classes` and `dist` hold each vertex's class and plane distance, found once before the walk.
// With the usual interpolator the crossing is made here from those distances, as
// PlaneSegmentIntersectPoint would make it, without measuring both ends again.
template <class Copy>
int ClipWalk(unsigned char* base, int* count, int capacity, Copy copy, const Plane& plane, PolygonInterpolateFn fn,
             void* user, int side, const signed char* classes, const float* dist) {
  const int n = *count;
  const size_t s = copy.Size();
  const int stride = static_cast<int>(s);
  int offset = 0;  // where vertex k now lies: k + offset
  auto at = [&](int k) { return base + s * static_cast<size_t>(k + offset); };
  VertexScratch scratch(stride);
  // The vertex before the current one, as it was before clipping.
  unsigned char* first = scratch.Other(nullptr);
  copy(first, at(n - 1));
  const unsigned char* prev = first;
  int written = 0;
  auto slot = [&](int k) {
    if (written > k + offset && offset == 0 && k + 1 < n) {
      const int room = capacity - n;
      std::memmove(base + s * static_cast<size_t>(k + 1 + room), base + s * static_cast<size_t>(k + 1),
                   s * static_cast<size_t>(n - k - 1));
      offset = room;
    }
    return base + s * static_cast<size_t>(written++);
  };
  const bool direct = fn == PlaneSegmentIntersectPoint;
  const bool anyOff = WalkPolygonSides(
      n, [&](int k) { return static_cast<int>(classes[k]); },
      [&](int k, int c, bool crossing) {
        // A copy of the current vertex: the writes below may land on its place.
        unsigned char* cur = scratch.Other(prev);
        copy(cur, at(k));
        if (crossing) {
          unsigned char* out = slot(k);
          copy(out, cur);
          if (direct) {
            // prev is vertex k - 1 as it was: after a restart the walk runs 0, 1, ... with the
            // last vertex before the first.
            const D3DVECTOR p = Crossing(prev, cur, dist[k == 0 ? n - 1 : k - 1], dist[k]);
            std::memcpy(out, &p, sizeof p);
          } else {
            fn(out, prev, cur, stride, plane, user);
          }
        }
        if (c == side) {
          unsigned char* out = slot(k);
          copy(out, cur);
          prev = out;  // stays in place from here on
        } else {
          prev = cur;
        }
        return true;
      });
  if (!anyOff) {
    *count = 0;
    return n;
  }
  *count = written;
  return written;
}

// The most vertices a polygon of bare positions may have for the clips on the stack, and the
// peak of a walk over that many.
constexpr int kShortPolygon = 64;
constexpr int kShortPeak = kShortPolygon + kShortPolygon / 2;
// Returned by ClipOffPlane, the array untouched, when it meets a vertex on the plane.
constexpr int kMetOnPlane = -2;

// The clip of a short polygon of bare positions by the usual interpolator: each vertex is
// measured, classed and walked in one pass, the plain edge-by-edge walk, with a vertex kept
// when it lies beyond the tolerance on the kept side. It writes into a buffer on the stack,
// copied back at the end, and with kCountPeak counts on the way the peak of the in-place walk,
// so that it fails for want of room where ClipWalk would. Results are those of ClipWalk.
// A vertex on the plane counts as not kept. Where no crossing ends at one and some vertex lies
// beyond the tolerance on the other side, that is the class the general walk gives it too (it
// follows a vertex of the other side, or leads the walk up to one): so vertices on the plane
// are looked for only at the crossings and in a polygon with nothing kept. Where one is found,
// kMetOnPlane, the array untouched, for the general walk to take the polygon.
template <bool kCountPeak>
int ClipOffPlane(unsigned char* base, int* count, int capacity, const Plane& plane, int side) {
  const int n = *count;
  // PlaneDistance, term for term, with the plane in registers (the stores below could alias it)
  // and turned to face the kept side. Rounding is symmetric, so the turned plane's distances are
  // the negated distances exactly, and so are the crossings made from them.
  const float turn = side == kPlaneFront ? 1.0f : -1.0f;
  const float pa = turn * plane.a, pb = turn * plane.b, pc = turn * plane.c, pd = turn * plane.d;
  // Coordinates are read one float at a time, which the compiler keeps in vector registers.
  auto positionOf = [](const unsigned char* v) {
    D3DVECTOR p;
    std::memcpy(&p.x, v, 4);
    std::memcpy(&p.y, v + 4, 4);
    std::memcpy(&p.z, v + 8, 4);
    return p;
  };
  auto distanceOf = [&](const unsigned char* v) {
    const D3DVECTOR p = positionOf(v);
    return pa * p.x + pb * p.y + pc * p.z + pd;
  };
  D3DVECTOR out[kShortPeak];
  const unsigned char* prev = base + 12 * static_cast<size_t>(n - 1);
  float prevDist = distanceOf(prev);
  bool prevIn = prevDist > kTolerance;
  bool crossed = false;
  int written = 0;
  int running = n, peak = n;  // the count of the in-place walk
  for (int k = 0; k < n; ++k) {
    const unsigned char* cur = base + 12 * static_cast<size_t>(k);
    const float dist = distanceOf(cur);
    const bool in = dist > kTolerance;
    const bool crossing = in != prevIn;
    if (crossing) {
      // The end not kept must lie beyond the tolerance (a NaN distance counts as on the plane).
      if (!((in ? prevDist : dist) < -kTolerance)) return kMetOnPlane;
      out[written++] = Crossing(positionOf(prev), positionOf(cur), prevDist, dist);
      crossed = true;
    }
    if (in) std::memcpy(&out[written++], cur, 12);
    // The in-place walk inserts a crossing on entering the kept side and drops a vertex of the
    // other side that no crossing replaces.
    if constexpr (kCountPeak) {
      running += in & crossing;
      running -= !(in | crossing);
      peak = running > peak ? running : peak;
    }
    prev = cur;
    prevDist = dist;
    prevIn = in;
  }
  if (!crossed) {
    // Wholly on one side: kept as it is, or emptied; or, with nothing kept and nothing beyond
    // the tolerance on the other side, wholly on the plane.
    if (written == 0) {
      bool away = false;
      for (int k = 0; k < n && !away; ++k) away = distanceOf(base + 12 * static_cast<size_t>(k)) < -kTolerance;
      if (!away) return kMetOnPlane;
      *count = 0;
    }
    return written;
  }
  if (peak > capacity) return -1;
  for (int i = 0; i < written; ++i) std::memcpy(base + 12 * static_cast<size_t>(i), &out[i], 12);
  *count = written;
  return written;
}

// The clip of a short polygon of bare positions that the one-pass clip leaves (a vertex on the
// plane, or another interpolator): the walk reads the untouched array and writes into a buffer
// on the stack, copied back at the end. Crossings and results are those of ClipWalk.
int ClipPositions(unsigned char* base, int* count, const Plane& plane, PolygonInterpolateFn fn, void* user, int side,
                  const signed char* classes, const float* dist) {
  const int n = *count;
  D3DVECTOR out[kShortPeak];
  int written = 0;
  const bool direct = fn == PlaneSegmentIntersectPoint;
  const bool anyOff = WalkPolygonSides(
      n, [&](int k) { return static_cast<int>(classes[k]); },
      [&](int k, int c, bool crossing) {
        const unsigned char* cur = base + 12 * static_cast<size_t>(k);
        if (crossing) {
          const int before = k == 0 ? n - 1 : k - 1;
          const unsigned char* prev = base + 12 * static_cast<size_t>(before);
          if (direct) {
            out[written] = Crossing(prev, cur, dist[before], dist[k]);
          } else {
            std::memcpy(&out[written], cur, 12);
            fn(&out[written], prev, cur, 12, plane, user);
          }
          ++written;
        }
        if (c == side) std::memcpy(&out[written++], cur, 12);
        return true;
      });
  if (!anyOff) {
    *count = 0;
    return n;
  }
  std::memcpy(base, out, 12 * static_cast<size_t>(written));
  *count = written;
  return written;
}

// The clip of a polygon whose arguments were checked, any stride, any interpolator, vertices
// on the plane allowed. Kept out of line so that the one-pass clip of short polygons runs in a
// small frame.
__attribute__((noinline)) int ClipMeasured(unsigned char* base, int* count, int capacity, int stride,
                                           const Plane& plane, PolygonInterpolateFn fn, void* user, int side) {
  const int n = *count;
  const size_t s = static_cast<size_t>(stride);
  const int other = side == kPlaneFront ? kPlaneBack : kPlaneFront;

  // Each vertex is measured and classed once.
  constexpr int kInline = 64;
  float distInline[kInline];
  signed char classInline[kInline];
  std::vector<float> distHeap;
  std::vector<signed char> classHeap;
  float* dist = distInline;
  signed char* classes = classInline;
  if (n > kInline) {
    distHeap.resize(static_cast<size_t>(n));
    classHeap.resize(static_cast<size_t>(n));
    dist = distHeap.data();
    classes = classHeap.data();
  }
  // PlaneDistance, term for term, with the plane in registers (the stores below could alias it).
  const float pa = plane.a, pb = plane.b, pc = plane.c, pd = plane.d;
  int seen = 0;  // bit c for each class c met
  for (int k = 0; k < n; ++k) {
    const unsigned char* v = base + s * static_cast<size_t>(k);
    float x, y, z;
    std::memcpy(&x, v, 4);
    std::memcpy(&y, v + 4, 4);
    std::memcpy(&z, v + 8, 4);
    dist[k] = pa * x + pb * y + pc * z + pd;
    classes[k] = static_cast<signed char>(ClassifyDistance(dist[k]));
    seen |= 1 << classes[k];
  }
  // Wholly on one side: kept as it is, or emptied.
  if (seen == 1 << side) return n;
  if (seen == 1 << other) {
    *count = 0;
    return 0;
  }

  // The walk inserts a crossing at each entry into the kept side and removes the vertices of
  // the other side, so the count it reaches is bounded by n + n / 2. When the room may be short,
  // a dry walk over the (still unchanged) classes finds the exact peak first.
  if (capacity < n + n / 2) {
    int running = n, peak = n;
    WalkPolygonSides(
        n, [&](int k) { return static_cast<int>(classes[k]); },
        [&](int, int c, bool crossing) {
          if (c == side && crossing && ++running > peak) peak = running;
          if (c == other && !crossing) --running;
          return true;
        });
    if (peak > capacity) return -1;
  }

  if (stride == 12 && n <= kShortPolygon) return ClipPositions(base, count, plane, fn, user, side, classes, dist);
  if (stride == 12) return ClipWalk(base, count, capacity, VertexCopy<12>{12}, plane, fn, user, side, classes, dist);
  return ClipWalk(base, count, capacity, VertexCopy<0>{s}, plane, fn, user, side, classes, dist);
}

}  // namespace

int ClassifyPointPlane(const Plane& plane, const D3DVECTOR& point) {
  return ClassifyDistance(PlaneDistance(plane, point));
}

float PlaneSegmentIntersect(const Plane& plane, const D3DVECTOR& a, const D3DVECTOR& b) {
  const float da = PlaneDistance(plane, a);
  const float db = PlaneDistance(plane, b);
  if (da == db) return 0.0f;
  return da / (da - db);
}

void PlaneSegmentIntersectPoint(void* out, const void* a, const void* b, int, const Plane& plane, void*) {
  const D3DVECTOR p = Crossing(a, b, PlaneDistance(plane, PositionOf(a)), PlaneDistance(plane, PositionOf(b)));
  std::memcpy(out, &p, sizeof p);
}

int ClipPolygonByPlane(void* vertices, int* count, int capacity, int stride, const Plane& plane,
                       PolygonInterpolateFn fn, void* user, int side) {
  if (!count) return -1;
  const int n = *count;
  if (n < 1) return n;
  if (!vertices || stride < 12 || side < kPlaneFront || side > kPlaneOn) return -1;
  if (side == kPlaneOn) {
    *count = 0;
    return n;
  }
  if (!fn || capacity < n) return -1;
  unsigned char* base = static_cast<unsigned char*>(vertices);
  if (stride == 12 && n <= kShortPolygon && fn == PlaneSegmentIntersectPoint) {
    // The walk reaches at most n + n / 2 vertices: with that much room it need not count.
    const int r = capacity < n + n / 2 ? ClipOffPlane<true>(base, count, capacity, plane, side)
                                       : ClipOffPlane<false>(base, count, capacity, plane, side);
    if (r != kMetOnPlane) return r;
  }
  return ClipMeasured(base, count, capacity, stride, plane, fn, user, side);
}

bool SplitPolygonByPlane(const PolygonRecord& polygon, PolygonRecord* front, PolygonRecord* back, const Plane& plane,
                         PolygonInterpolateFn fn, void* user, SplitKeepFn keep) {
  const int n = polygon.m_nCount;
  if (n < 1 || !polygon.m_pVertices) return false;
  const int stride = polygon.m_nStride;
  if (stride < 12 || !front || !back || !fn || front == back) return false;
  if (front->m_nStride != stride || back->m_nStride != stride) return false;
  if (!front->m_pVertices || !back->m_pVertices) return false;
  const unsigned char* src = static_cast<const unsigned char*>(polygon.m_pVertices);
  const size_t s = static_cast<size_t>(stride);
  auto classOf = [&](int k) { return ClassifyPointPlane(plane, PositionOf(src + s * k)); };

  int needFront = 0, needBack = 0;
  WalkPolygonSides(n, classOf, [&](int, int c, bool crossing) {
    if (crossing) {
      ++needFront;
      ++needBack;
    }
    ++(c == kPlaneFront ? needFront : needBack);
    return true;
  });
  if (needFront > front->m_nCapacity || needBack > back->m_nCapacity) return false;

  unsigned char* dst[2] = {static_cast<unsigned char*>(front->m_pVertices),
                           static_cast<unsigned char*>(back->m_pVertices)};
  int made[2] = {0, 0};
  WalkPolygonSides(n, classOf, [&](int k, int c, bool crossing) {
    const unsigned char* v = src + s * k;
    if (crossing) {
      const unsigned char* prev = src + s * (k == 0 ? n - 1 : k - 1);
      unsigned char* out = dst[0] + s * made[0];
      std::memcpy(out, v, s);
      fn(out, prev, v, stride, plane, user);
      std::memcpy(dst[1] + s * made[1], out, s);
      ++made[0];
      ++made[1];
    }
    std::memcpy(dst[c] + s * made[c], v, s);
    ++made[c];
    return true;
  });

  if (keep) {
    for (int r = 0; r < 2; ++r) {
      int kept = made[r] > 0 ? 1 : 0;
      for (int i = 1; i < made[r]; ++i) {
        unsigned char* v = dst[r] + s * i;
        if (!keep(dst[r] + s * (kept - 1), v, user)) continue;
        if (kept != i) std::memcpy(dst[r] + s * kept, v, s);
        ++kept;
      }
      made[r] = kept;
    }
  }
  front->m_nCount = made[0];
  back->m_nCount = made[1];
  return true;
}

bool IntersectSegmentPlane(const Plane& plane, D3DVECTOR* out, const D3DVECTOR& a, const D3DVECTOR& b) {
  const float da = PlaneDistance(plane, a);
  const float db = PlaneDistance(plane, b);
  if (!(std::fabs(static_cast<double>(da) - static_cast<double>(db)) > kPlaneTolerance)) return false;
  const float t = da / (da - db);
  out->x = a.x + (b.x - a.x) * t;
  out->y = a.y + (b.y - a.y) * t;
  out->z = a.z + (b.z - a.z) * t;
  return true;
}

int SegmentMeetsPlane(const Plane& plane, const D3DVECTOR& a, const D3DVECTOR& b) {
  const float da = PlaneDistance(plane, a);
  const float db = PlaneDistance(plane, b);
  return std::fabs(static_cast<double>(da) - static_cast<double>(db)) > kPlaneTolerance ? 1 : 0;
}

int ClassifySpherePlane(const Plane& plane, const D3DVECTOR& centre, float radius) {
  const double dist = PlaneDistance(plane, centre);
  if (dist > radius + kPlaneTolerance) return kPlaneFront;
  if (dist < -radius - kPlaneTolerance) return kPlaneBack;
  return kPlaneOn;
}

bool TriangulateFan(const PolygonRecord& polygon, uint16_t* indices, int capacity) {
  const int n = polygon.m_nCount;
  if (n < 3 || n > 65536 || !indices) return false;
  const long long need = 3LL * (n - 2);
  if (need > capacity) return false;
  for (int i = 0; i + 2 < n; ++i) {
    indices[3 * i] = 0;
    indices[3 * i + 1] = static_cast<uint16_t>(i + 1);
    indices[3 * i + 2] = static_cast<uint16_t>(i + 2);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Axis planes
// ---------------------------------------------------------------------------------------------

namespace {

const D3DXVECTOR3 kAxisNormals[6] = {{1.0f, 0.0f, 0.0f},  {0.0f, 1.0f, 0.0f},  {0.0f, 0.0f, 1.0f},
                                     {-1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, -1.0f}};

float DistancePosX(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD + v.x; }
float DistancePosY(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD + v.y; }
float DistancePosZ(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD + v.z; }
float DistanceNegX(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD - v.x; }
float DistanceNegY(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD - v.y; }
float DistanceNegZ(const AxisPlane& p, const D3DVECTOR& v) { return p.m_flD - v.z; }

void ThroughPosX(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 0; p->m_flD = -v.x; }
void ThroughPosY(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 1; p->m_flD = -v.y; }
void ThroughPosZ(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 2; p->m_flD = -v.z; }
void ThroughNegX(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 3; p->m_flD = v.x; }
void ThroughNegY(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 4; p->m_flD = v.y; }
void ThroughNegZ(AxisPlane* p, const D3DVECTOR& v) { p->m_nAxis = 5; p->m_flD = v.z; }

bool ValidAxis(int axis) { return axis >= 0 && axis < 6; }

}  // namespace

const AxisPlaneOps g_AxisPlaneOps = {
    {DistancePosX, DistancePosY, DistancePosZ, DistanceNegX, DistanceNegY, DistanceNegZ},
    {ThroughPosX, ThroughPosY, ThroughPosZ, ThroughNegX, ThroughNegY, ThroughNegZ},
};

const D3DXVECTOR3& AxisPlaneNormal(int axis) { return kAxisNormals[ValidAxis(axis) ? axis : 0]; }

bool AxisPlane::Through(int axis, const D3DVECTOR& p) {
  if (!ValidAxis(axis)) return false;
  g_AxisPlaneOps.through[axis](this, p);
  return true;
}

float AxisPlane::Distance(const D3DVECTOR& p) const {
  // An index outside 0-5 (only possible by writing the field directly) measures nothing.
  if (!ValidAxis(m_nAxis)) return 0.0f;
  return g_AxisPlaneOps.distance[m_nAxis](*this, p);
}

Plane AxisPlane::ToPlane() const {
  if (!ValidAxis(m_nAxis)) return Plane(0.0f, 0.0f, 0.0f, m_flD);
  const D3DXVECTOR3& n = kAxisNormals[m_nAxis];
  return Plane(n.x, n.y, n.z, m_flD);
}
