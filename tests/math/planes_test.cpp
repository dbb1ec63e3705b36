#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "math/planes.h"
#include "math_test_util.h"

namespace {

using mathtest::Near;

const Plane kXHalf(1, 0, 0, -0.5f);  // x = 0.5, front where x > 0.5

std::vector<D3DXVECTOR3> Clip(std::vector<D3DXVECTOR3> poly, const Plane& plane, int side, int* result = nullptr) {
  const int capacity = static_cast<int>(poly.size()) * 2;
  poly.resize(capacity);
  int count = capacity / 2;
  const int r = ClipPolygonByPlane(poly.data(), &count, capacity, 12, plane, PlaneSegmentIntersectPoint, nullptr, side);
  if (result) *result = r;
  poly.resize(count < 0 ? 0 : count);
  return poly;
}

// The usual edge-by-edge clip, for polygons with no vertex near the plane.
std::vector<D3DXVECTOR3> ReferenceClip(const std::vector<D3DXVECTOR3>& poly, const Plane& plane, bool keepFront) {
  std::vector<D3DXVECTOR3> out;
  const size_t n = poly.size();
  for (size_t i = 0; i < n; ++i) {
    const D3DXVECTOR3& prev = poly[(i + n - 1) % n];
    const D3DXVECTOR3& cur = poly[i];
    const bool prevIn = (PlaneDistance(plane, prev) > 0) == keepFront;
    const bool curIn = (PlaneDistance(plane, cur) > 0) == keepFront;
    if (prevIn != curIn) {
      // The crossing by its own arithmetic, in double: a + (b - a) da / (da - db).
      auto dist = [&](const D3DXVECTOR3& v) {
        return double{plane.a} * v.x + double{plane.b} * v.y + double{plane.c} * v.z + double{plane.d};
      };
      const double t = dist(prev) / (dist(prev) - dist(cur));
      out.push_back(D3DXVECTOR3(static_cast<float>(prev.x + (double{cur.x} - prev.x) * t),
                                static_cast<float>(prev.y + (double{cur.y} - prev.y) * t),
                                static_cast<float>(prev.z + (double{cur.z} - prev.z) * t)));
    }
    if (curIn) out.push_back(cur);
  }
  return out;
}

TEST(Planes, ClassifyWithTheFixedTolerance) {
  const Plane p(0, 1, 0, 0);
  EXPECT_EQ(ClassifyPointPlane(p, D3DXVECTOR3(0, 3e-7f, 0)), kPlaneOn);
  EXPECT_EQ(ClassifyPointPlane(p, D3DXVECTOR3(0, -3e-7f, 0)), kPlaneOn);
  EXPECT_EQ(ClassifyPointPlane(p, D3DXVECTOR3(0, 5e-7f, 0)), kPlaneFront);
  EXPECT_EQ(ClassifyPointPlane(p, D3DXVECTOR3(0, -5e-7f, 0)), kPlaneBack);

  // The tolerance widens the band on both sides.
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, -3e-7f, 0), 0.0f), kPlaneOn);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, -5e-7f, 0), 0.0f), kPlaneBack);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, 3e-7f, 0), 0.0f), kPlaneOn);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, 5e-7f, 0), 0.0f), kPlaneFront);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, 2, 0), 1.0f), kPlaneFront);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, -2, 0), 1.0f), kPlaneBack);
  EXPECT_EQ(ClassifySpherePlane(p, D3DXVECTOR3(0, 1, 0), 1.0f), kPlaneOn);

  EXPECT_FLOAT_EQ(PlaneSegmentIntersect(p, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, -3, 0)), 0.25f);
  EXPECT_EQ(PlaneSegmentIntersect(p, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(5, 1, 0)), 0.0f);  // parallel

  D3DVECTOR out{9, 9, 9};
  EXPECT_TRUE(IntersectSegmentPlane(p, &out, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 2, 2)));
  EXPECT_TRUE(Near(out, {0, 0, -2}, 1e-6f));  // beyond a: a line, not a segment
  out = {9, 9, 9};
  EXPECT_FALSE(IntersectSegmentPlane(p, &out, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(4, 1.0000002f, 0)));
  EXPECT_TRUE(Near(out, {9, 9, 9}, 0.0f));
  EXPECT_EQ(SegmentMeetsPlane(p, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 2, 0)), 1);
  EXPECT_EQ(SegmentMeetsPlane(p, D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(7, 1, 0)), 0);
}

TEST(ClipPolygon, TriangleCasesAndTheOnPlaneRules) {
  const std::vector<D3DXVECTOR3> tri = {{1, 0, 0}, {0, 1, 0}, {0, -1, 0}};  // one in front, two behind
  const std::vector<D3DXVECTOR3> back = Clip(tri, kXHalf, kPlaneBack);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_TRUE(Near(back[0], {0.5f, -0.5f, 0}, 0.0f));  // replaces the front vertex (edge from the last)
  EXPECT_TRUE(Near(back[1], {0.5f, 0.5f, 0}, 0.0f));   // inserted before the next one
  EXPECT_TRUE(Near(back[2], {0, 1, 0}, 0.0f));
  EXPECT_TRUE(Near(back[3], {0, -1, 0}, 0.0f));
  const std::vector<D3DXVECTOR3> front = Clip(tri, kXHalf, kPlaneFront);
  ASSERT_EQ(front.size(), 3u);
  EXPECT_TRUE(Near(front[0], {0.5f, -0.5f, 0}, 0.0f));
  EXPECT_TRUE(Near(front[1], {1, 0, 0}, 0.0f));
  EXPECT_TRUE(Near(front[2], {0.5f, 0.5f, 0}, 0.0f));

  int r = 0;
  const std::vector<D3DXVECTOR3> flat = {{0.5f, 0, 0}, {0.5f, 1, 0}, {0.5f, 0, 1}};
  EXPECT_TRUE(Clip(flat, kXHalf, kPlaneFront, &r).empty());
  EXPECT_EQ(r, 3);
  EXPECT_TRUE(Clip(tri, kXHalf, kPlaneOn, &r).empty());
  EXPECT_EQ(r, 3);
  EXPECT_EQ(Clip(tri, Plane(1, 0, 0, 5), kPlaneBack).size(), 0u);   // wholly in front
  EXPECT_EQ(Clip(tri, Plane(1, 0, 0, 5), kPlaneFront), tri);        // unchanged

  int zero = 0;
  EXPECT_EQ(ClipPolygonByPlane(nullptr, &zero, 0, 12, kXHalf, PlaneSegmentIntersectPoint, nullptr, kPlaneFront), 0);
  EXPECT_EQ(zero, 0);

  // The last and first vertices on the plane: the walk starts again once it meets the first
  // vertex off the plane, and each on-plane vertex goes with the vertex before it.
  const std::vector<D3DXVECTOR3> quad = {{0.5f, 0, 0}, {1, 1, 0}, {0, 2, 0}, {0.5f, 3, 0}};
  const std::vector<D3DXVECTOR3> kept = Clip(quad, kXHalf, kPlaneFront);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_TRUE(Near(kept[0], {0.5f, 0, 0}, 0.0f));
  EXPECT_TRUE(Near(kept[1], {1, 1, 0}, 0.0f));
  EXPECT_TRUE(Near(kept[2], {0.5f, 1.5f, 0}, 0.0f));
  const std::vector<D3DXVECTOR3> rest = Clip(quad, kXHalf, kPlaneBack);
  ASSERT_EQ(rest.size(), 3u);
  EXPECT_TRUE(Near(rest[0], {0.5f, 1.5f, 0}, 0.0f));
  EXPECT_TRUE(Near(rest[1], {0, 2, 0}, 0.0f));
  EXPECT_TRUE(Near(rest[2], {0.5f, 3, 0}, 0.0f));
}

TEST(ClipPolygon, ConvexPolygonsMatchTheEdgeByEdgeClip) {
  mathtest::Random rnd(17);
  for (int round = 0; round < 300; ++round) {
    // A convex polygon: points on an ellipse in order, in a tilted plane.
    const int n = 3 + round % 10;
    std::vector<D3DXVECTOR3> poly;
    float angle = rnd.Uniform(0, 1);
    // Off the z = 0 plane, so that every coordinate of a crossing is interpolated.
    const float tilt = rnd.Uniform(0.2f, 1), lift = rnd.Uniform(0.5f, 2);
    for (int i = 0; i < n; ++i) {
      const float x = 3 * std::cos(angle), y = 2 * std::sin(angle);
      poly.push_back({x, y, tilt * x + lift});
      angle += 6.2831855f / n;
    }
    const D3DXVECTOR3 nrm = rnd.UnitVec3();
    const Plane plane(nrm.x, nrm.y, nrm.z, rnd.Uniform(-1.5f, 1.5f));
    for (int side : {kPlaneFront, kPlaneBack}) {
      // A convex polygon needs room for one more vertex only.
      std::vector<D3DXVECTOR3> buf = poly;
      buf.resize(n + 1);
      int count = n;
      ASSERT_GE(ClipPolygonByPlane(buf.data(), &count, n + 1, 12, plane, PlaneSegmentIntersectPoint, nullptr, side), 0);
      buf.resize(count);
      const std::vector<D3DXVECTOR3> ref = ReferenceClip(poly, plane, side == kPlaneFront);
      ASSERT_EQ(buf.size(), ref.size());
      for (size_t i = 0; i < ref.size(); ++i) EXPECT_TRUE(Near(buf[i], ref[i], 2e-5f)) << round << " " << i;
    }
  }
}

// A saw with four teeth across x = 0.5: clipping to the back side cuts each tooth's tip into
// two crossings, so the polygon grows by one vertex per tooth.
std::vector<D3DXVECTOR3> Comb() {
  std::vector<D3DXVECTOR3> c = {{0, 0, 0}};
  for (int i = 0; i < 4; ++i) {
    c.push_back({1, 2.0f * i + 1, 0});
    c.push_back({0.25f, 2.0f * i + 2, 0});
  }
  c.push_back({0, 8, 0});
  return c;
}

TEST(ClipPolygon, NonConvexGrowthStaysWithinTheCapacity) {
  const std::vector<D3DXVECTOR3> comb = Comb();  // 10 vertices
  const int n = static_cast<int>(comb.size());
  const std::vector<D3DXVECTOR3> ref = ReferenceClip(comb, kXHalf, false);
  ASSERT_GT(ref.size(), comb.size());  // the clip adds more than one vertex

  // Find the least room that works; one less fails with the array untouched, and nothing is
  // ever written past the room given.
  int needed = -1;
  for (int capacity = n; capacity <= 2 * n && needed < 0; ++capacity) {
    std::vector<D3DXVECTOR3> buf(2 * n + 4, D3DXVECTOR3(-77, -77, -77));
    std::copy(comb.begin(), comb.end(), buf.begin());
    const std::vector<D3DXVECTOR3> before = buf;
    int count = n;
    const int r = ClipPolygonByPlane(buf.data(), &count, capacity, 12, kXHalf, PlaneSegmentIntersectPoint, nullptr,
                                     kPlaneBack);
    for (size_t i = capacity; i < buf.size(); ++i) ASSERT_EQ(buf[i], D3DXVECTOR3(-77, -77, -77)) << capacity;
    if (r < 0) {
      EXPECT_EQ(count, n);
      EXPECT_EQ(buf, before);
      continue;
    }
    needed = capacity;
    ASSERT_EQ(count, static_cast<int>(ref.size()));
    EXPECT_EQ(r, count);
    for (size_t i = 0; i < ref.size(); ++i) EXPECT_TRUE(Near(buf[i], ref[i], 1e-6f));
  }
  EXPECT_GE(needed, static_cast<int>(ref.size()));
  EXPECT_GT(needed, n);

  // Bad arguments change nothing.
  std::vector<D3DXVECTOR3> buf = comb;
  int count = n;
  EXPECT_EQ(ClipPolygonByPlane(buf.data(), nullptr, n, 12, kXHalf, PlaneSegmentIntersectPoint, nullptr, 0), -1);
  EXPECT_EQ(ClipPolygonByPlane(buf.data(), &count, n, 8, kXHalf, PlaneSegmentIntersectPoint, nullptr, 0), -1);
  EXPECT_EQ(ClipPolygonByPlane(buf.data(), &count, n, 12, kXHalf, PlaneSegmentIntersectPoint, nullptr, 3), -1);
  EXPECT_EQ(ClipPolygonByPlane(buf.data(), &count, n, 12, kXHalf, nullptr, nullptr, 0), -1);
  EXPECT_EQ(count, n);
  EXPECT_EQ(buf, comb);
}

// A vertex with a texture coordinate after the position; the callback interpolates it.
struct TexVertex {
  float x, y, z;
  float u;
  int tag;
};

void InterpolateTex(void* out, const void* a, const void* b, int stride, const Plane& plane, void* user) {
  EXPECT_EQ(stride, static_cast<int>(sizeof(TexVertex)));
  ++*static_cast<int*>(user);
  TexVertex va, vb, vo;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  std::memcpy(&vo, out, sizeof vo);
  const float t = PlaneSegmentIntersect(plane, D3DXVECTOR3(va.x, va.y, va.z), D3DXVECTOR3(vb.x, vb.y, vb.z));
  vo.x = va.x + (vb.x - va.x) * t;
  vo.y = va.y + (vb.y - va.y) * t;
  vo.z = va.z + (vb.z - va.z) * t;
  vo.u = va.u + (vb.u - va.u) * t;
  vo.tag = va.tag * 10 + vb.tag;  // which edge made it
  std::memcpy(out, &vo, sizeof vo);
}

TEST(ClipPolygon, CarriesVertexDataThroughTheCallback) {
  TexVertex v[5] = {{0, 0, 0, 0.0f, 1}, {1, 0, 0, 1.0f, 2}, {1, 1, 0, 1.0f, 3}, {0, 1, 0, 0.0f, 4}, {}};
  int count = 4, calls = 0;
  ASSERT_EQ(ClipPolygonByPlane(v, &count, 5, sizeof(TexVertex), Plane(1, 0, 0, -0.25f), InterpolateTex, &calls,
                               kPlaneBack),
            4);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(v[0].tag, 1);
  EXPECT_FLOAT_EQ(v[1].u, 0.25f);
  EXPECT_EQ(v[1].tag, 12);  // replaced the vertex tagged 2: the edge from 1 to its saved copy
  EXPECT_FLOAT_EQ(v[2].u, 0.25f);
  EXPECT_EQ(v[2].tag, 34);  // inserted before the vertex tagged 4: the edge from the saved 3 to it
  EXPECT_EQ(v[3].tag, 4);
}

TEST(SplitPolygon, CopiesEachSideAndTheCrossingsToBoth) {
  const std::vector<D3DXVECTOR3> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  PolygonRecord poly{const_cast<D3DXVECTOR3*>(square.data()), 12, 4, 4};
  std::vector<D3DXVECTOR3> f(8), b(8);
  PolygonRecord front{f.data(), 12, 0, 8}, back{b.data(), 12, 0, 8};
  const Plane plane(1, 0, 0, -0.25f);
  ASSERT_TRUE(SplitPolygonByPlane(poly, &front, &back, plane, PlaneSegmentIntersectPoint, nullptr));
  ASSERT_EQ(front.m_nCount, 4);
  ASSERT_EQ(back.m_nCount, 4);
  EXPECT_TRUE(Near(f[0], {0.25f, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(f[1], {1, 0, 0}, 0.0f));
  EXPECT_TRUE(Near(f[2], {1, 1, 0}, 0.0f));
  EXPECT_TRUE(Near(f[3], {0.25f, 1, 0}, 1e-6f));
  EXPECT_TRUE(Near(b[0], {0, 0, 0}, 0.0f));
  EXPECT_TRUE(Near(b[1], {0.25f, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(b[2], {0.25f, 1, 0}, 1e-6f));
  EXPECT_TRUE(Near(b[3], {0, 1, 0}, 0.0f));

  // Not enough room on one side: false, both records as they were.
  PolygonRecord small{b.data(), 12, 1, 3};
  front.m_nCount = 2;
  EXPECT_FALSE(SplitPolygonByPlane(poly, &front, &small, plane, PlaneSegmentIntersectPoint, nullptr));
  EXPECT_EQ(front.m_nCount, 2);
  EXPECT_EQ(small.m_nCount, 1);
  PolygonRecord empty{const_cast<D3DXVECTOR3*>(square.data()), 12, 0, 4};
  EXPECT_FALSE(SplitPolygonByPlane(empty, &front, &back, plane, PlaneSegmentIntersectPoint, nullptr));
  // Records that do not say their room take nothing.
  PolygonRecord unsized, alsoUnsized;
  unsized.m_pVertices = f.data();
  unsized.m_nStride = 12;
  alsoUnsized.m_pVertices = b.data();
  alsoUnsized.m_nStride = 12;
  EXPECT_FALSE(SplitPolygonByPlane(poly, &unsized, &alsoUnsized, plane, PlaneSegmentIntersectPoint, nullptr));
  EXPECT_EQ(unsized.m_nCount, 0);
  PolygonRecord wrongStride{f.data(), 16, 0, 8};
  EXPECT_FALSE(SplitPolygonByPlane(poly, &wrongStride, &back, plane, PlaneSegmentIntersectPoint, nullptr));

  // A vertex on the plane makes a crossing equal to it; the clean-up drops such repeats.
  const std::vector<D3DXVECTOR3> diamond = {{0.25f, 0, 0}, {1, 1, 0}, {0.25f, 2, 0}, {-1, 1, 0}};
  PolygonRecord dpoly{const_cast<D3DXVECTOR3*>(diamond.data()), 12, 4, 4};
  ASSERT_TRUE(SplitPolygonByPlane(dpoly, &front, &back, plane, PlaneSegmentIntersectPoint, nullptr));
  EXPECT_EQ(back.m_nCount, 4);  // (0.25, 0) and its crossing twin
  auto distinct = [](const void* prev, const void* v, void*) { return std::memcmp(prev, v, 12) != 0; };
  ASSERT_TRUE(SplitPolygonByPlane(dpoly, &front, &back, plane, PlaneSegmentIntersectPoint, nullptr, distinct));
  EXPECT_EQ(front.m_nCount, 3);
  EXPECT_EQ(back.m_nCount, 3);
  EXPECT_TRUE(Near(b[0], {0.25f, 0, 0}, 0.0f));
  EXPECT_TRUE(Near(b[1], {0.25f, 2, 0}, 0.0f));
  EXPECT_TRUE(Near(b[2], {-1, 1, 0}, 0.0f));
}

TEST(Planes, TriangulateFanAndAxisPlanes) {
  std::vector<D3DXVECTOR3> pts(5);
  PolygonRecord poly{pts.data(), 12, 5, 5};
  uint16_t idx[9];
  ASSERT_TRUE(TriangulateFan(poly, idx, 9));
  const uint16_t expected[9] = {0, 1, 2, 0, 2, 3, 0, 3, 4};
  EXPECT_EQ(std::memcmp(idx, expected, sizeof idx), 0);
  EXPECT_FALSE(TriangulateFan(poly, idx, 8));
  poly.m_nCount = 2;
  EXPECT_FALSE(TriangulateFan(poly, idx, 9));

  const D3DXVECTOR3 through(1, 2, 3), probe(4, -5, 10);
  for (int axis = 0; axis < 6; ++axis) {
    AxisPlane a;
    ASSERT_TRUE(a.Through(axis, through));
    EXPECT_EQ(a.m_nAxis, axis);
    EXPECT_EQ(a.Distance(through), 0.0f);
    const Plane p = a.ToPlane();
    EXPECT_EQ(a.Distance(probe), PlaneDistance(p, probe));
    EXPECT_EQ(g_AxisPlaneOps.distance[axis](a, probe), a.Distance(probe));
    const D3DXVECTOR3& n = AxisPlaneNormal(axis);
    EXPECT_EQ(D3DXVECTOR3(p.a, p.b, p.c), n);
  }
  AxisPlane a;
  a.Through(4, through);
  EXPECT_EQ(a.m_flD, 2.0f);
  EXPECT_EQ(a.Distance(probe), 7.0f);  // d - y
  EXPECT_FALSE(a.Through(6, through));
  EXPECT_EQ(a.m_nAxis, 4);
}

TEST(SplitPolygon, TheKeepQuestionGetsTheVertexKeptBeforeThenTheNewOne) {
  const std::vector<D3DXVECTOR3> square = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  PolygonRecord poly{const_cast<D3DXVECTOR3*>(square.data()), 12, 4, 4};
  std::vector<D3DXVECTOR3> f(8), b(8);
  PolygonRecord front{f.data(), 12, 0, 8}, back{b.data(), 12, 0, 8};
  std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> asked;
  auto record = [](const void* previous, const void* vertex, void* user) {
    auto* log = static_cast<std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>>*>(user);
    log->emplace_back(*static_cast<const D3DXVECTOR3*>(previous), *static_cast<const D3DXVECTOR3*>(vertex));
    return true;
  };
  ASSERT_TRUE(SplitPolygonByPlane(poly, &front, &back, Plane(1, 0, 0, -0.25f), PlaneSegmentIntersectPoint, &asked,
                                  record));
  ASSERT_EQ(front.m_nCount, 4);
  ASSERT_EQ(back.m_nCount, 4);
  // Three questions per side, each pairing neighbours in the order they were written.
  ASSERT_EQ(asked.size(), 6u);
  for (const auto& [previous, vertex] : asked) {
    bool adjacent = false;
    for (const std::vector<D3DXVECTOR3>* side : {&f, &b})
      for (int i = 0; i + 1 < 4; ++i) adjacent = adjacent || ((*side)[i] == previous && (*side)[i + 1] == vertex);
    EXPECT_TRUE(adjacent) << previous.x << "," << previous.y << " -> " << vertex.x << "," << vertex.y;
  }
}

}  // namespace

namespace {

// The usual interpolator behind another address, which the clipper calls as it would any other.
void Forwarded(void* out, const void* a, const void* b, int stride, const Plane& plane, void* user) {
  PlaneSegmentIntersectPoint(out, a, b, stride, plane, user);
}

// The clipper has three walks (in place, a stack copy for short polygons of bare positions, and
// a plain edge walk when no vertex lies on the plane) and makes the usual interpolator's
// crossings itself. Whatever the path, the result must be the callback's, byte for byte: the
// same polygon clipped as bare positions and with a coordinate pair after each, through the
// usual interpolator and through the same one behind another address, for polygons of any
// shape, some vertices snapped onto the plane, some longer than the stack copy takes.
TEST(ClipPolygon, EveryPathGivesTheBytesOfTheInPlaceWalkWithTheCallback) {
  mathtest::Random rnd(29);
  for (int round = 0; round < 400; ++round) {
    const int n = round % 50 == 0 ? 90 : 3 + round % 12;
    const D3DXVECTOR3 nrm = rnd.UnitVec3();
    const Plane plane(nrm.x, nrm.y, nrm.z, rnd.Uniform(-1, 1));
    std::vector<float> wide(static_cast<size_t>(n) * 5);
    for (float& f : wide) f = rnd.Uniform(-2, 2);
    if (round % 3 != 0)
      for (int k = 0; k < n; k += 3) {  // every third vertex onto the plane
        float* v = &wide[static_cast<size_t>(k) * 5];
        const float d = nrm.x * v[0] + nrm.y * v[1] + nrm.z * v[2] + plane.d;
        for (int i = 0; i < 3; ++i) v[i] -= d * (&nrm.x)[i];
      }
    std::vector<float> bare;
    for (int k = 0; k < n; ++k) bare.insert(bare.end(), &wide[static_cast<size_t>(k) * 5], &wide[static_cast<size_t>(k) * 5 + 3]);
    for (int side : {kPlaneFront, kPlaneBack}) {
      const int capacity = 2 * n;
      struct Run {
        std::vector<float> v;
        int count, result;
      };
      auto clip = [&](const std::vector<float>& from, int floats, PolygonInterpolateFn fn) {
        Run r{from, n, 0};
        r.v.resize(static_cast<size_t>(capacity) * floats);
        r.result = ClipPolygonByPlane(r.v.data(), &r.count, capacity, floats * 4, plane, fn, nullptr, side);
        r.v.resize(static_cast<size_t>(std::max(r.count, 0)) * floats);
        return r;
      };
      const Run reference = clip(wide, 5, Forwarded);  // in place, through the callback
      ASSERT_GE(reference.result, 0) << round;
      const Run wideDirect = clip(wide, 5, PlaneSegmentIntersectPoint);
      EXPECT_EQ(wideDirect.result, reference.result);
      EXPECT_EQ(wideDirect.count, reference.count);
      EXPECT_EQ(wideDirect.v, reference.v) << round << " side " << side;
      for (PolygonInterpolateFn fn : {PlaneSegmentIntersectPoint, Forwarded}) {
        const Run b = clip(bare, 3, fn);
        ASSERT_EQ(b.result, reference.result) << round;
        ASSERT_EQ(b.count, reference.count) << round;
        for (int k = 0; k < b.count; ++k)
          ASSERT_EQ(std::memcmp(&b.v[static_cast<size_t>(k) * 3], &reference.v[static_cast<size_t>(k) * 5], 12), 0)
              << round << " side " << side << " vertex " << k;
      }
    }
  }
}

}  // namespace
