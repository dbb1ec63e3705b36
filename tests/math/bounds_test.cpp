#include <gtest/gtest.h>

#include "host/renderer.h"

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "math/bounds.h"
#include "math_test_util.h"

namespace {

using mathtest::Near;

AABB Box(float x0, float y0, float z0, float x1, float y1, float z1) { return AABB({x0, y0, z0}, {x1, y1, z1}); }

TEST(AABB, StartsAtZeroMergesAndOverlapsWhenTouching) {
  const AABB zero;
  EXPECT_EQ(zero.m_vecMin, D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(zero.m_vecMax, D3DXVECTOR3(0, 0, 0));

  AABB a = Box(0, 0, 0, 1, 1, 1);
  a.Merge(Box(-1, 0.5f, 0.5f, 0.5f, 3, 0.7f));
  EXPECT_EQ(a.m_vecMin, D3DXVECTOR3(-1, 0, 0));
  EXPECT_EQ(a.m_vecMax, D3DXVECTOR3(1, 3, 1));

  const AABB unit = Box(0, 0, 0, 1, 1, 1);
  EXPECT_TRUE(unit.Overlaps(Box(0.5f, 0.5f, 0.5f, 2, 2, 2)));
  EXPECT_TRUE(unit.Overlaps(Box(0.2f, 0.2f, 0.2f, 0.3f, 0.3f, 0.3f)));  // inside
  EXPECT_TRUE(unit.Overlaps(Box(1, 0, 0, 2, 1, 1)));                     // shared face
  EXPECT_TRUE(unit.Overlaps(Box(1, 1, 1, 2, 2, 2)));                     // shared corner
  EXPECT_FALSE(unit.Overlaps(Box(1.01f, 0, 0, 2, 1, 1)));
  EXPECT_FALSE(unit.Overlaps(Box(0, 0, -2, 1, 1, -0.5f)));  // apart on z only
}

TEST(AABB, ClipSegmentFindsTheEntryFace) {
  const AABB box = Box(-1, -1, -1, 1, 1, 1);
  float t = -1.0f;
  EXPECT_TRUE(box.ClipSegment(&t, {0.5f, 0, 0}, {5, 5, 5}));
  EXPECT_EQ(t, 0.0f);  // inside
  EXPECT_TRUE(box.ClipSegment(&t, {-5, 0, 0}, {10, 0, 0}));
  EXPECT_FLOAT_EQ(t, 0.4f);
  EXPECT_TRUE(box.ClipSegment(&t, {0, 3, 0}, {0, -1, 0}));
  EXPECT_FLOAT_EQ(t, 2.0f);
  EXPECT_TRUE(box.ClipSegment(&t, {0, 0, -3}, {0, 0, 4}));
  EXPECT_FLOAT_EQ(t, 0.5f);
  // Outside on two axes: the x face is missed, the z face is met.
  EXPECT_TRUE(box.ClipSegment(&t, {-2, 0, -4}, {1, 0, 2}));
  EXPECT_FLOAT_EQ(t, 1.5f);
  t = 99.0f;
  EXPECT_FALSE(box.ClipSegment(&t, {-5, 3, 0}, {10, 0, 0}));
  EXPECT_FALSE(box.ClipSegment(&t, {-5, 0, 0}, {0, 1, 0}));  // parallel to the x face
  EXPECT_EQ(t, 99.0f);
  // A box behind the origin is met at a negative parameter.
  EXPECT_TRUE(box.ClipSegment(&t, {5, 0, 0}, {1, 0, 0}));
  EXPECT_FLOAT_EQ(t, -4.0f);
}

TEST(AABB, FromTransformedBoxEnclosesTheMovedCorners) {
  mathtest::Random rnd(12);
  for (int i = 0; i < 50; ++i) {
    const D3DXMATRIX m = rnd.Affine();
    const AABB box = Box(-1, -2, -3, 2, 1, 0.5f);
    AABB out;
    out.FromTransformedBox(box, m);
    for (int k = 0; k < 8; ++k) {
      const D3DXVECTOR3 c((k & 1) ? 2.0f : -1.0f, (k & 2) ? 1.0f : -2.0f, (k & 4) ? 0.5f : -3.0f);
      const D3DXVECTOR3 p = mathtest::Transform(c, m);
      EXPECT_GE(p.x, out.m_vecMin.x);
      EXPECT_LE(p.x, out.m_vecMax.x);
      EXPECT_GE(p.y, out.m_vecMin.y);
      EXPECT_LE(p.z, out.m_vecMax.z);
    }
    AABB self = box;
    self.FromTransformedBox(self, m);  // the source may be the box itself
    EXPECT_EQ(self.m_vecMin, out.m_vecMin);
    EXPECT_EQ(self.m_vecMax, out.m_vecMax);
  }
  AABB moved;
  D3DXMATRIX t;
  D3DXMatrixTranslation(&t, 10, 0, 0);
  moved.FromTransformedBox(Box(0, 0, 0, 1, 1, 1), t);
  EXPECT_EQ(moved.m_vecMin, D3DXVECTOR3(10, 0, 0));
  EXPECT_EQ(moved.m_vecMax, D3DXVECTOR3(11, 1, 1));
}

TEST(AABB, IntersectsSphereWithContactPointingIntoTheBox) {
  const AABB box = Box(0, 0, 0, 2, 2, 2);
  EXPECT_EQ(box.IntersectsSphere({3.5f, 1, 1}, 1.0f), 0);
  EXPECT_EQ(box.IntersectsSphere(3.5f, 1, 1, 1.6f), 1);
  EXPECT_EQ(box.IntersectsSphere({1, 1, 1}, 0.0f), 1);  // a point inside touches
  EXPECT_EQ(box.IntersectsSphere({3, 3, 1}, 1.0f), 0);  // near the edge, out of reach
  EXPECT_EQ(box.IntersectsSphere({2.5f, 2.5f, 1}, 1.0f), 1);

  // Face contact: sphere beyond +x by 0.5 with radius 1.
  D3DXVECTOR3 n, p;
  float depth = 0.0f;
  ASSERT_EQ(box.IntersectsSphere({2.5f, 1, 1}, 1.0f, &n, &p, &depth), 1);
  EXPECT_EQ(n, D3DXVECTOR3(-1, 0, 0));
  EXPECT_TRUE(Near(p, {1.75f, 1, 1}, 1e-6f));  // the middle of the overlap [1.5, 2]
  EXPECT_FLOAT_EQ(depth, 0.5f);
  ASSERT_EQ(box.IntersectsSphere({1, -0.25f, 1}, 1.0f, &n, &p, &depth), 1);
  EXPECT_EQ(n, D3DXVECTOR3(0, 1, 0));
  EXPECT_FLOAT_EQ(depth, 0.75f);

  // A centre inside the box as near the +x as the +y face: the tie goes to x, the earlier axis.
  ASSERT_EQ(box.IntersectsSphere({1.5f, 1.5f, 1}, 1.0f, &n, &p, &depth), 1);
  EXPECT_EQ(n, D3DXVECTOR3(-1, 0, 0));
  EXPECT_FLOAT_EQ(depth, 1.5f);
  ASSERT_EQ(box.IntersectsSphere({1, 1.5f, 1.5f}, 1.0f, &n, &p, &depth), 1);
  EXPECT_EQ(n, D3DXVECTOR3(0, -1, 0));  // y before z

  // Edge contact: the normal still points from the sphere into the box.
  ASSERT_EQ(box.IntersectsSphere({2.5f, 2.5f, 1}, 1.0f, &n, &p, &depth), 1);
  EXPECT_TRUE(Near(p, {2, 2, 1}, 0.0f));
  EXPECT_TRUE(Near(n, {-0.70710677f, -0.70710677f, 0}, 1e-6f));
  EXPECT_NEAR(depth, 1.0f - 0.70710677f, 1e-6f);
  // Only the asked-for outputs are written.
  float onlyDepth = -1.0f;
  ASSERT_EQ(box.IntersectsSphere({2.5f, 1, 1}, 1.0f, nullptr, nullptr, &onlyDepth), 1);
  EXPECT_FLOAT_EQ(onlyDepth, 0.5f);
}

TEST(Frustum, ExtractedPlanesCornersAndClassification) {
  const D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
  D3DXMATRIX view, proj;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixOrthoLH(&proj, 20.0f, 10.0f, 1.0f, 101.0f);
  Frustum f;
  f.ExtractFromMatrix(view * proj);
  // Right, left, top, bottom, far; masks of the negative normals.
  EXPECT_TRUE(Near(D3DXVECTOR3(f.m_planes[0].a, f.m_planes[0].b, f.m_planes[0].c), {-1, 0, 0}, 1e-6f));
  EXPECT_NEAR(f.m_planes[0].d, 10.0f, 1e-5f);
  EXPECT_TRUE(Near(D3DXVECTOR3(f.m_planes[3].a, f.m_planes[3].b, f.m_planes[3].c), {0, 1, 0}, 1e-6f));
  EXPECT_NEAR(f.m_planes[4].d, 101.0f, 1e-3f);
  EXPECT_EQ(f.m_signMasks[0], 1u);
  EXPECT_EQ(f.m_signMasks[1], 0u);
  EXPECT_EQ(f.m_signMasks[2], 2u);
  EXPECT_EQ(f.m_signMasks[4], 4u);
  for (const D3DXPLANE& p : f.m_planes) EXPECT_NEAR(std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c), 1.0f, 1e-6f);
  // Corner 7: far, bottom, right. Corner 0: near (the plane z >= -w, here z = -99), top, left.
  EXPECT_TRUE(Near(f.m_vecCorners[7], {10, -5, 101}, 1e-3f));
  EXPECT_TRUE(Near(f.m_vecCorners[1], {-10, 5, 101}, 1e-3f));
  EXPECT_NEAR(f.m_vecCorners[0].x, -10.0f, 1e-4f);

  EXPECT_EQ(f.ClassifyAABB(Box(-1, -1, 10, 1, 1, 12)), 1);
  EXPECT_EQ(f.ClassifyAABB(Box(9, -1, 10, 11, 1, 12)), 2);
  EXPECT_EQ(f.ClassifyAABB(Box(11, -1, 10, 12, 1, 12)), 0);
  // Wholly behind the far plane while straddling left, right, top and bottom: outside.
  EXPECT_EQ(f.ClassifyAABB(Box(-50, -50, 200, 50, 50, 300)), 0);

  EXPECT_TRUE(f.IntersectsSphere({0, 0, 50}, 1.0f));
  EXPECT_TRUE(f.IntersectsSphere(Sphere({10.5f, 0, 50}, 1.0f)));
  EXPECT_FALSE(f.IntersectsSphere({12, 0, 50}, 1.0f));
}

TEST(Frustum, MaskTestAgreesWithAllEightCorners) {
  const D3DXVECTOR3 eye(1, 2, -3), at(0, 0, 10), up(0, 1, 0);
  D3DXMATRIX view, proj;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, 1.0f, 1.3f, 0.5f, 100.0f);
  Frustum f;
  f.ExtractFromMatrix(view * proj);
  mathtest::Random rnd(33);
  int counts[3] = {0, 0, 0};
  for (int i = 0; i < 2000; ++i) {
    const D3DXVECTOR3 c = rnd.Vec3(-60, 60), h(rnd.Uniform(0.1f, 8), rnd.Uniform(0.1f, 8), rnd.Uniform(0.1f, 8));
    const AABB box(c - h, c + h);
    int expected = 1;
    for (const D3DXPLANE& p : f.m_planes) {
      int below = 0;
      for (int k = 0; k < 8; ++k) {
        const D3DXVECTOR3 q((k & 1) ? box.m_vecMin.x : box.m_vecMax.x, (k & 2) ? box.m_vecMin.y : box.m_vecMax.y,
                            (k & 4) ? box.m_vecMin.z : box.m_vecMax.z);
        if (p.a * q.x + p.b * q.y + p.c * q.z + p.d < 0.0f) ++below;
      }
      if (below == 8) {
        expected = 0;
        break;
      }
      if (below > 0) expected = 2;
    }
    const int got = f.ClassifyAABB(box);
    EXPECT_EQ(got, expected);
    ++counts[got];
    // Tried against some planes only: all of them give the same class; a box within this one,
    // tried against the planes this one crosses, gets the class all six would give it.
    uint32_t planes = 0x3F;
    EXPECT_EQ(f.ClassifyAABB(box.m_vecMin, box.m_vecMax, &planes), expected);
    if (expected == 0) continue;
    EXPECT_EQ(planes == 0, expected == 1);
    const D3DXVECTOR3 inner = c + D3DXVECTOR3(h.x * rnd.Uniform(-0.5f, 0.5f), h.y * rnd.Uniform(-0.5f, 0.5f), 0.0f);
    const AABB part(inner - h * 0.5f, inner + h * 0.5f);
    EXPECT_EQ(f.ClassifyAABB(part.m_vecMin, part.m_vecMax, &planes), f.ClassifyAABB(part));
  }
  EXPECT_GT(counts[0], 100);
  EXPECT_GT(counts[1], 10);
  EXPECT_GT(counts[2], 10);
}

TEST(Frustum, IntersectThreePlanes) {
  D3DXVECTOR3 p(7, 7, 7);
  EXPECT_EQ(IntersectThreePlanes(&p, {1, 0, 0, -1}, {0, 1, 0, -2}, {0, 0, 1, -3}), 1);
  EXPECT_TRUE(Near(p, {1, 2, 3}, 0.0f));
  p = D3DXVECTOR3(7, 7, 7);
  EXPECT_EQ(IntersectThreePlanes(&p, {1, 0, 0, -1}, {1, 0, 0, -2}, {0, 0, 1, -3}), 0);
  EXPECT_EQ(IntersectThreePlanes(&p, {1, 0, 0, -1}, {0, 1, 0, 0}, {0, 0, 1e-39f, 0}), 0);  // denormal
  EXPECT_EQ(p, D3DXVECTOR3(7, 7, 7));
  mathtest::Random rnd(8);
  for (int i = 0; i < 50; ++i) {
    const D3DXVECTOR3 x = rnd.Vec3(), n1 = rnd.UnitVec3(), n2 = rnd.UnitVec3(), n3 = rnd.UnitVec3();
    const D3DXPLANE a(n1.x, n1.y, n1.z, -D3DXVec3Dot(&n1, &x)), b(n2.x, n2.y, n2.z, -D3DXVec3Dot(&n2, &x)),
        c(n3.x, n3.y, n3.z, -D3DXVec3Dot(&n3, &x));
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &n2, &n3);
    if (std::fabs(D3DXVec3Dot(&n1, &cross)) < 0.1f) continue;
    ASSERT_EQ(IntersectThreePlanes(&p, a, b, c), 1);
    EXPECT_TRUE(Near(p, x, 1e-3f));
  }
}

TEST(Sphere, BoundingSphereHoldsEveryPoint) {
  const D3DXVECTOR3 one[] = {{3, 4, 5}};
  const Sphere s1 = BoundingSphereFromPoints(one);
  EXPECT_EQ(s1.m_vecCenter, D3DXVECTOR3(3, 4, 5));
  EXPECT_EQ(s1.m_flRadius, 0.0f);
  const Sphere none = BoundingSphereFromPoints({});
  EXPECT_EQ(none.m_flRadius, 0.0f);
  const D3DXVECTOR3 two[] = {{0, 0, 0}, {4, 0, 0}};
  const Sphere s2 = BoundingSphereFromPoints(two);
  EXPECT_EQ(s2.m_vecCenter, D3DXVECTOR3(2, 0, 0));
  EXPECT_EQ(s2.m_flRadius, 2.0f);

  mathtest::Random rnd(10);
  std::vector<D3DXVECTOR3> pts;
  for (int i = 0; i < 300; ++i) pts.push_back(rnd.Vec3());
  const Sphere s = BoundingSphereFromPoints(pts);
  for (const D3DXVECTOR3& p : pts) {
    const D3DXVECTOR3 d = p - s.m_vecCenter;
    EXPECT_LE(D3DXVec3Length(&d), s.m_flRadius * (1 + 1e-5f));
  }
}

TEST(Sphere, IntersectsTriangleFaceEdgeAndCorner) {
  const D3DXVECTOR3 a(0, 0, 0), b(4, 0, 0), c(0, 0, 4);
  D3DXVECTOR3 point(9, 9, 9), dir(9, 9, 9);
  float depth = 9.0f;
  // Far from the plane, beside an edge, beyond a corner: untouched outputs.
  EXPECT_FALSE(Sphere({1, 2, 1}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_FALSE(Sphere({3, 0.5f, 3}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_FALSE(Sphere({-1, 0.5f, -1}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_EQ(point, D3DXVECTOR3(9, 9, 9));
  EXPECT_EQ(depth, 9.0f);

  // Over the face, from above and from below.
  ASSERT_TRUE(Sphere({1, 0.5f, 1}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_TRUE(Near(point, {1, 0, 1}, 1e-6f));
  EXPECT_TRUE(Near(dir, {0, 1, 0}, 1e-6f));
  EXPECT_FLOAT_EQ(depth, 0.5f);
  ASSERT_TRUE(Sphere({1, -0.25f, 1}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_TRUE(Near(dir, {0, -1, 0}, 1e-6f));
  EXPECT_FLOAT_EQ(depth, 0.75f);

  // Beyond the long edge: the nearest point on it, the push-out direction away from it.
  ASSERT_TRUE(Sphere({2.5f, 0, 2.5f}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_TRUE(Near(point, {2, 0, 2}, 1e-5f));
  EXPECT_TRUE(Near(dir, {0.70710677f, 0, 0.70710677f}, 1e-5f));
  EXPECT_NEAR(depth, 1.0f - 0.70710677f, 1e-5f);
  // Beyond the corner a.
  ASSERT_TRUE(Sphere({-0.3f, 0, -0.4f}, 1.0f).IntersectsTriangle(a, b, c, &point, &dir, &depth));
  EXPECT_TRUE(Near(point, {0, 0, 0}, 0.0f));
  EXPECT_NEAR(depth, 0.5f, 1e-6f);

  // A triangle without area is met through its edges.
  const D3DXVECTOR3 d(8, 0, 0);
  ASSERT_TRUE(Sphere({2, 0.5f, 0}, 1.0f).IntersectsTriangle(a, b, d, &point, &dir, &depth));
  EXPECT_TRUE(Near(point, {2, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(dir, {0, 1, 0}, 1e-6f));
  EXPECT_FALSE(Sphere({2, 1.5f, 0}, 1.0f).IntersectsTriangle(a, b, d, &point, &dir, &depth));
}

// Every input point lies inside or on the counter-clockwise hull, and the hull turns left.
void ExpectHullOf(const std::vector<D3DXVECTOR2>& hull, const std::vector<D3DXVECTOR3>& pts) {
  ASSERT_GE(hull.size(), 3u);
  const size_t n = hull.size();
  for (size_t i = 0; i < n; ++i) {
    const D3DXVECTOR2 &p = hull[i], &q = hull[(i + 1) % n], &r = hull[(i + 2) % n];
    EXPECT_GT(double(q.x - p.x) * (r.y - p.y) - double(q.y - p.y) * (r.x - p.x), 0.0);
    for (const D3DXVECTOR3& s : pts)
      EXPECT_GE(double(q.x - p.x) * (s.y - p.y) - double(q.y - p.y) * (s.x - p.x), -1e-3);
  }
}

TEST(ConvexHull2D, GrahamScanKeepsTheCornersOnly) {
  // A square with points inside, on its edges and repeated, z ignored.
  const std::vector<D3DXVECTOR3> pts = {{0, 0, 5}, {2, 0, 0}, {1, 1, 0}, {2, 2, 0}, {1, 0, 0},   {0, 2, 0},
                                        {0, 1, 0}, {2, 0, 9}, {1.5f, 0.5f, 0}, {2, 1, 0}, {1, 2, 0}};
  const ConvexHull2D hull(pts);
  const std::vector<D3DXVECTOR2> expected = {{2, 0}, {2, 2}, {0, 2}, {0, 0}};
  EXPECT_EQ(hull.Points(), expected);

  const std::vector<D3DXVECTOR3> line = {{0, 0, 0}, {3, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  EXPECT_EQ(ConvexHull2D(line).Points(), (std::vector<D3DXVECTOR2>{{3, 0}, {0, 0}}));
  const std::vector<D3DXVECTOR3> single = {{1, 1, 1}, {1, 1, 2}};
  EXPECT_EQ(ConvexHull2D(single).Points(), (std::vector<D3DXVECTOR2>{{1, 1}}));
  EXPECT_TRUE(ConvexHull2D(std::span<const D3DXVECTOR3>()).Points().empty());

  mathtest::Random rnd(6);
  for (int round = 0; round < 20; ++round) {
    std::vector<D3DXVECTOR3> cloud;
    for (int i = 0; i < 200; ++i) cloud.push_back(rnd.Vec3());
    // Grid points give many collinear and repeated values.
    for (int i = 0; i < 50; ++i) cloud.push_back({std::floor(rnd.Uniform(-3, 3)), std::floor(rnd.Uniform(-3, 3)), 0});
    ConvexHull2D h;
    h.Build(cloud);
    ExpectHullOf(h.Points(), cloud);
  }
  EXPECT_TRUE(HullPolarLess({0, 0}, {1, 0}, {0, 1}));
  EXPECT_FALSE(HullPolarLess({0, 0}, {0, 1}, {1, 0}));
  EXPECT_TRUE(HullPolarLess({0, 0}, {1, 1}, {2, 2}));  // in line: nearer first
}

TEST(OrientedFrame, FitsAroundTheBoxes) {
  OrientedFrame f;
  const D3DXMATRIX id = mathtest::Identity();
  f.FitPoints({}, id, {1, 2, 3});
  EXPECT_EQ(f.m_vecDirection, D3DXVECTOR3(0, 0, -1));
  EXPECT_EQ(f.m_vecEye, D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(f.m_flHorizontalHalfAngle, 0.0f);
  EXPECT_EQ(f.m_flVerticalHalfAngle, 0.0f);
  EXPECT_TRUE(D3DXMatrixIsIdentity(&f.m_matView));

  const AABB boxes[] = {Box(-1, -2, 9, 1, 2, 11)};
  f.FromSegment(boxes, id, {0, 0, 0}, {0, 0, 5});
  EXPECT_EQ(f.m_vecDirection, D3DXVECTOR3(0, 0, 1));
  EXPECT_FLOAT_EQ(f.m_flNear, 9.0f);
  EXPECT_FLOAT_EQ(f.m_flFar, 11.0f);
  EXPECT_FLOAT_EQ(f.m_flHorizontalHalfAngle, std::atan(1.0f / 9.0f));
  EXPECT_FLOAT_EQ(f.m_flVerticalHalfAngle, std::atan(2.0f / 9.0f));

  // The given matrix moves the boxes first.
  D3DXMATRIX t;
  D3DXMatrixTranslation(&t, 0, 0, 10);
  f.FromSegment(boxes, t, {0, 0, 0}, {0, 0, 1});
  EXPECT_FLOAT_EQ(f.m_flNear, 19.0f);

  // Looking straight down picks another up vector and still gives a proper view.
  f.FromSegment(boxes, id, {0, 20, 10}, {0, -1, 0});
  EXPECT_TRUE(std::isfinite(f.m_matView._11));
  EXPECT_FLOAT_EQ(f.m_flNear, 18.0f);

  // Towards the boxes' bounding sphere: every corner lies within the fitted frame.
  const AABB two[] = {Box(-1, -2, 9, 1, 2, 11), Box(3, 0, 14, 4, 1, 15)};
  f.FitPoints(two, t, {0, 0, -10});
  EXPECT_NEAR(D3DXVec3Length(&f.m_vecDirection), 1.0f, 1e-6f);
  EXPECT_GT(f.m_vecDirection.z, 0.95f);
  for (const AABB& b : two) {
    for (int k = 0; k < 8; ++k) {
      const D3DXVECTOR3 corner((k & 1) ? b.m_vecMin.x : b.m_vecMax.x, (k & 2) ? b.m_vecMin.y : b.m_vecMax.y,
                               (k & 4) ? b.m_vecMin.z : b.m_vecMax.z);
      const D3DXVECTOR3 v = mathtest::Transform(mathtest::Transform(corner, t), f.m_matView);
      EXPECT_GE(v.z, f.m_flNear - 1e-4f);
      EXPECT_LE(v.z, f.m_flFar + 1e-4f);
      EXPECT_LE(std::fabs(v.x / v.z), std::tan(f.m_flHorizontalHalfAngle) + 1e-5f);
      EXPECT_LE(std::fabs(v.y / v.z), std::tan(f.m_flVerticalHalfAngle) + 1e-5f);
    }
  }
  EXPECT_GT(f.m_flHorizontalHalfAngle, 0.0f);
}

TEST(Wireframe, CornersAndTwelveDistinctEdges) {
  D3DXVECTOR3 c[8];
  BuildAABBWireframe({0, 0, 0}, {1, 2, 3}, c);
  EXPECT_EQ(c[0], D3DXVECTOR3(0, 0, 0));
  EXPECT_EQ(c[2], D3DXVECTOR3(1, 0, 3));
  EXPECT_EQ(c[6], D3DXVECTOR3(1, 2, 3));
  EXPECT_EQ(c[7], D3DXVECTOR3(0, 2, 3));
  std::set<std::pair<int, int>> edges;
  for (int i = 0; i < kAABBWireframeLineCount; ++i) {
    const int a = kAABBWireframeIndices[2 * i], b = kAABBWireframeIndices[2 * i + 1];
    edges.insert({std::min(a, b), std::max(a, b)});
    // Each edge runs along one axis.
    const D3DXVECTOR3 d = c[a] - c[b];
    EXPECT_EQ((d.x != 0) + (d.y != 0) + (d.z != 0), 1);
  }
  EXPECT_EQ(edges.size(), 12u);
}

TEST(Wireframe, DrawsTwelveLinesOfEachBoxInItsColour) {
  host::Renderer r;
  const int effect = r.GetEffect("wire");
  ASSERT_GE(effect, 0);
  r.BeginScene();
  DrawAABBWireframe(&r, {0, 0, 0}, {1, 2, 3}, 0xFF00FF00u, effect);
  DrawAABBWireframe(&r, {-5, -6, -7}, {5, 6, 7}, 0x80FF0000u, -1);
  r.EndScene();
  ASSERT_EQ(r.Draws().size(), 2u);
  const std::vector<uint32_t> lines = {0, 1, 0, 3, 1, 2, 2, 3, 4, 5, 5, 6, 6, 7, 7, 4, 1, 5, 2, 6, 3, 7, 0, 4};
  for (const host::DrawRecord& d : r.Draws()) {
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.slot, 57);
    EXPECT_EQ(d.primitiveType, 2u);  // line list
    EXPECT_EQ(d.minIndex, 0u);
    EXPECT_EQ(d.vertexCount, 8u);
    EXPECT_EQ(d.primitiveCount, 12u);
    EXPECT_EQ(d.stride, 12u);
    EXPECT_EQ(d.state->vertexShader, 2u);
    EXPECT_EQ(d.indices, lines);
  }
  EXPECT_EQ(r.Draws()[0].effect, effect);
  EXPECT_EQ(r.Draws()[1].effect, -1);
  EXPECT_EQ(r.Draws()[0].state->renderState[60], 0xFF00FF00u);
  EXPECT_EQ(r.Draws()[1].state->renderState[60], 0x80FF0000u);
  // The second box is drawn with its own corners, not the first one's.
  const host::DrawRecord& second = r.Draws()[1];
  EXPECT_EQ(second.VertexFloat(0, 0), -5.0f);
  EXPECT_EQ(second.VertexFloat(0, 8), -7.0f);
  EXPECT_EQ(second.VertexFloat(6, 0), 5.0f);
  EXPECT_EQ(second.VertexFloat(6, 4), 6.0f);
  EXPECT_EQ(second.VertexFloat(6, 8), 7.0f);
  EXPECT_EQ(r.Draws()[0].VertexFloat(6, 4), 2.0f);
}

}  // namespace
