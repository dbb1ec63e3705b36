#include <gtest/gtest.h>

#include <cmath>

#include "d3dx8/d3dx8math.h"
#include "math_test_util.h"

namespace {

using mathtest::Identity;
using mathtest::Near;
using mathtest::Transform;

constexpr float kHalfPi = 1.5707964f;

TEST(D3DXMatrix, MultiplyFollowsTheRowVectorOrderAndAllowsAliasing) {
  D3DXMATRIX s, t;
  D3DXMatrixScaling(&s, 2.0f, 3.0f, 4.0f);
  D3DXMatrixTranslation(&t, 1.0f, -1.0f, 5.0f);
  // Scale first, then move: v x (S x T).
  const D3DXMATRIX st = s * t;
  EXPECT_TRUE(Near(Transform({1, 1, 1}, st), {3, 2, 9}, 0.0f));
  const D3DXMATRIX ts = t * s;
  EXPECT_TRUE(Near(Transform({1, 1, 1}, ts), {4, 0, 24}, 0.0f));

  D3DXMATRIX a = s;
  D3DXMatrixMultiply(&a, &a, &t);  // out is the first input
  EXPECT_EQ(a, st);
  D3DXMATRIX b = s;
  D3DXMatrixMultiply(&b, &t, &b);  // out is the second input
  EXPECT_EQ(b, ts);
  D3DXMATRIX c = s;
  c *= t;
  EXPECT_EQ(c, st);

  D3DXMATRIX tr;
  D3DXMatrixMultiplyTranspose(&tr, &s, &t);
  EXPECT_EQ(tr._14, 1.0f);  // the translation moved into the last column
  EXPECT_EQ(tr._41, 0.0f);
}

TEST(D3DXMatrix, InverseTimesMatrixIsIdentityAndSingularFails) {
  mathtest::Random rnd(7);
  for (int i = 0; i < 200; ++i) {
    const D3DXMATRIX m = rnd.Affine();
    D3DXMATRIX inv;
    float det = 0.0f;
    ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_NEAR(det, D3DXMatrixDeterminant(&m), std::fabs(det) * 1e-5f);
    EXPECT_TRUE(Near(inv * m, Identity(), 2e-5f));
    EXPECT_TRUE(Near(m * inv, Identity(), 2e-5f));
    // In place.
    D3DXMATRIX same = m;
    D3DXMatrixInverse(&same, nullptr, &same);
    EXPECT_EQ(same, inv);
  }
  D3DXMATRIX singular = Identity();
  singular._33 = 0.0f;
  D3DXMATRIX out = Identity();
  out._12 = 7.0f;
  const D3DXMATRIX before = out;
  float det = -1.0f;
  EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(out, before);  // untouched on failure
}

TEST(D3DXMatrix, TransposeDeterminantAndIdentity) {
  const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  D3DXMATRIX t;
  D3DXMatrixTranspose(&t, &m);
  EXPECT_EQ(t._12, 5.0f);
  EXPECT_EQ(t._41, 4.0f);
  EXPECT_EQ(t(3, 2), 12.0f);
  D3DXMATRIX self = m;
  D3DXMatrixTranspose(&self, &self);
  EXPECT_EQ(self, t);
  EXPECT_EQ(D3DXMatrixDeterminant(&m), 0.0f);
  const D3DXMATRIX d(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1);
  EXPECT_EQ(D3DXMatrixDeterminant(&d), 24.0f);
  const D3DXMATRIX id = Identity();
  EXPECT_TRUE(D3DXMatrixIsIdentity(&id));
  EXPECT_FALSE(D3DXMatrixIsIdentity(&d));
}

TEST(D3DXMatrix, RotationsTurnClockwiseLookingTowardsTheOrigin) {
  D3DXMATRIX rx, ry, rz;
  D3DXMatrixRotationX(&rx, kHalfPi);
  D3DXMatrixRotationY(&ry, kHalfPi);
  D3DXMatrixRotationZ(&rz, kHalfPi);
  EXPECT_TRUE(Near(Transform({0, 1, 0}, rx), {0, 0, 1}, 1e-6f));
  EXPECT_TRUE(Near(Transform({0, 0, 1}, ry), {1, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(Transform({1, 0, 0}, ry), {0, 0, -1}, 1e-6f));
  EXPECT_TRUE(Near(Transform({1, 0, 0}, rz), {0, 1, 0}, 1e-6f));

  mathtest::Random rnd(3);
  for (int i = 0; i < 100; ++i) {
    const float angle = rnd.Uniform(-6.0f, 6.0f);
    D3DXMATRIX byAxis, byLetter;
    const D3DXVECTOR3 x(3, 0, 0);  // normalised by the builder
    D3DXMatrixRotationAxis(&byAxis, &x, angle);
    D3DXMatrixRotationX(&byLetter, angle);
    EXPECT_TRUE(Near(byAxis, byLetter, 1e-6f));

    // The quaternion of an axis and angle builds the same matrix.
    const D3DXVECTOR3 axis = rnd.Vec3();
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, angle);
    D3DXMATRIX fromQuat;
    D3DXMatrixRotationAxis(&byAxis, &axis, angle);
    D3DXMatrixRotationQuaternion(&fromQuat, &q);
    EXPECT_TRUE(Near(byAxis, fromQuat, 2e-6f));

    // Yaw, pitch, roll: roll first, then pitch, then yaw; the quaternion form agrees.
    const float yaw = rnd.Uniform(-3, 3), pitch = rnd.Uniform(-3, 3), roll = rnd.Uniform(-3, 3);
    D3DXMATRIX ypr, r, p, y;
    D3DXMatrixRotationYawPitchRoll(&ypr, yaw, pitch, roll);
    D3DXMatrixRotationZ(&r, roll);
    D3DXMatrixRotationX(&p, pitch);
    D3DXMatrixRotationY(&y, yaw);
    EXPECT_TRUE(Near(ypr, r * p * y, 1e-6f));
    D3DXQUATERNION qypr;
    D3DXQuaternionRotationYawPitchRoll(&qypr, yaw, pitch, roll);
    D3DXMatrixRotationQuaternion(&fromQuat, &qypr);
    EXPECT_TRUE(Near(ypr, fromQuat, 2e-6f));
  }
}

TEST(D3DXMatrix, LookAtPutsTheEyeAtTheOriginLookingAlongZ) {
  const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
  D3DXMATRIX v;
  D3DXMatrixLookAtLH(&v, &eye, &at, &up);
  EXPECT_TRUE(Near(Transform(at, v), {0, 0, 5}, 1e-6f));
  EXPECT_TRUE(Near(Transform({1, 2, 0}, v), {1, 2, 5}, 1e-6f));  // x right, y up

  mathtest::Random rnd(11);
  for (int i = 0; i < 50; ++i) {
    const D3DXVECTOR3 e = rnd.Vec3(), a = rnd.Vec3();
    D3DXMatrixLookAtLH(&v, &e, &a, &up);
    const D3DXVECTOR3 d = a - e;
    EXPECT_TRUE(Near(Transform(e, v), {0, 0, 0}, 1e-5f));
    EXPECT_TRUE(Near(Transform(a, v), {0, 0, D3DXVec3Length(&d)}, 1e-4f));
    // The right-handed view looks along -z.
    D3DXMATRIX rh;
    D3DXMatrixLookAtRH(&rh, &e, &a, &up);
    EXPECT_TRUE(Near(Transform(a, rh), {0, 0, -D3DXVec3Length(&d)}, 1e-4f));
  }
}

TEST(D3DXMatrix, ProjectionsMapTheirVolumeOntoTheUnitBox) {
  const float fov = 1.3089969f, aspect = 4.0f / 3.0f, zn = 0.1f, zf = 3000.0f;
  D3DXMATRIX p;
  D3DXMatrixPerspectiveFovLH(&p, fov, aspect, zn, zf);
  EXPECT_NEAR(Transform({0, 0, zn}, p).z, 0.0f, 1e-6f);
  EXPECT_NEAR(Transform({0, 0, zf}, p).z, 1.0f, 1e-6f);
  const float z = 10.0f, h = std::tan(fov / 2) * z;
  EXPECT_TRUE(Near(Transform({h * aspect, h, z}, p), {1, 1, Transform({0, 0, z}, p).z}, 1e-5f));
  EXPECT_EQ(p._34, 1.0f);
  EXPECT_EQ(p._44, 0.0f);
  D3DXMATRIX prh;
  D3DXMatrixPerspectiveFovRH(&prh, fov, aspect, zn, zf);
  EXPECT_NEAR(Transform({h * aspect, h, -z}, prh).x, 1.0f, 1e-5f);
  EXPECT_NEAR(Transform({0, 0, -zf}, prh).z, 1.0f, 1e-5f);

  D3DXMatrixPerspectiveLH(&p, 2.0f, 1.0f, 1.0f, 100.0f);
  EXPECT_TRUE(Near(Transform({1, 0.5f, 1}, p), {1, 1, 0}, 1e-6f));
  D3DXMatrixPerspectiveRH(&p, 2.0f, 1.0f, 1.0f, 100.0f);
  EXPECT_TRUE(Near(Transform({1, 0.5f, -1}, p), {1, 1, 0}, 1e-6f));
  D3DXMatrixPerspectiveOffCenterLH(&p, -1.0f, 3.0f, -2.0f, 1.0f, 1.0f, 10.0f);
  EXPECT_TRUE(Near(Transform({-1, -2, 1}, p), {-1, -1, 0}, 1e-6f));
  EXPECT_TRUE(Near(Transform({30, 10, 10}, p), {1, 1, 1}, 1e-5f));
  D3DXMatrixPerspectiveOffCenterRH(&p, -1.0f, 3.0f, -2.0f, 1.0f, 1.0f, 10.0f);
  EXPECT_TRUE(Near(Transform({30, 10, -10}, p), {1, 1, 1}, 1e-5f));

  D3DXMatrixOrthoLH(&p, 8.0f, 6.0f, 0.0f, 100.0f);
  EXPECT_TRUE(Near(Transform({4, -3, 100}, p), {1, -1, 1}, 1e-6f));
  D3DXMatrixOrthoRH(&p, 8.0f, 6.0f, 0.0f, 100.0f);
  EXPECT_TRUE(Near(Transform({4, -3, -100}, p), {1, -1, 1}, 1e-6f));
  D3DXMatrixOrthoOffCenterLH(&p, 10.0f, 20.0f, -5.0f, 5.0f, 1.0f, 2.0f);
  EXPECT_TRUE(Near(Transform({10, 5, 1}, p), {-1, 1, 0}, 1e-6f));
  EXPECT_TRUE(Near(Transform({20, -5, 2}, p), {1, -1, 1}, 1e-6f));
  D3DXMatrixOrthoOffCenterRH(&p, 10.0f, 20.0f, -5.0f, 5.0f, 1.0f, 2.0f);
  EXPECT_TRUE(Near(Transform({20, -5, -2}, p), {1, -1, 1}, 1e-6f));
}

TEST(D3DXMatrix, ReflectNormalisesThePlaneFirst) {
  const D3DXPLANE plane(0, 2, 0, -2);  // y = 1, not normalised
  D3DXMATRIX r;
  D3DXMatrixReflect(&r, &plane);
  EXPECT_TRUE(Near(Transform({3, 5, 2}, r), {3, -3, 2}, 1e-6f));
  EXPECT_TRUE(Near(r * r, Identity(), 1e-6f));
}

TEST(D3DXVector, NormalisingZeroGivesZero) {
  const D3DXVECTOR2 z2(0, 0);
  const D3DXVECTOR3 z3(0, 0, 0);
  const D3DXVECTOR4 z4(0, 0, 0, 0);
  const D3DXQUATERNION zq(0, 0, 0, 0);
  const D3DXPLANE zp(0, 0, 0, 5);
  D3DXVECTOR2 o2(1, 1);
  D3DXVECTOR3 o3(1, 1, 1);
  D3DXVECTOR4 o4(1, 1, 1, 1);
  D3DXQUATERNION oq(1, 1, 1, 1);
  D3DXPLANE op(1, 1, 1, 1);
  EXPECT_EQ(*D3DXVec2Normalize(&o2, &z2), z2);
  EXPECT_EQ(*D3DXVec3Normalize(&o3, &z3), z3);
  EXPECT_EQ(*D3DXVec4Normalize(&o4, &z4), z4);
  EXPECT_EQ(*D3DXQuaternionNormalize(&oq, &zq), zq);
  EXPECT_EQ(*D3DXPlaneNormalize(&op, &zp), D3DXPLANE(0, 0, 0, 0));

  const D3DXVECTOR3 v(3, 0, 4);
  EXPECT_EQ(*D3DXVec3Normalize(&o3, &v), D3DXVECTOR3(0.6f, 0.0f, 0.8f));
}

TEST(D3DXVector, CrossDotLerpAndTransforms) {
  const D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
  D3DXVECTOR3 c;
  EXPECT_EQ(*D3DXVec3Cross(&c, &x, &y), D3DXVECTOR3(0, 0, 1));
  D3DXVECTOR3 self = x;
  EXPECT_EQ(*D3DXVec3Cross(&self, &self, &y), D3DXVECTOR3(0, 0, 1));  // aliasing
  const D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
  EXPECT_EQ(D3DXVec3Dot(&a, &b), 32.0f);
  EXPECT_EQ(*D3DXVec3Lerp(&c, &a, &b, 0.5f), D3DXVECTOR3(2.5f, 3.5f, 4.5f));

  D3DXMATRIX m = mathtest::Identity();
  m._41 = 10.0f;
  m._14 = 1.0f;  // w = x + 1
  D3DXVECTOR4 h;
  D3DXVec3Transform(&h, &a, &m);
  EXPECT_EQ(h, D3DXVECTOR4(11, 2, 3, 2));
  EXPECT_TRUE(Near(Transform(a, m), {5.5f, 1, 1.5f}, 0.0f));
  D3DXVec3TransformNormal(&c, &a, &m);
  EXPECT_EQ(c, a);  // no translation
  const D3DXVECTOR2 p(1, 2);
  D3DXVECTOR2 p2;
  D3DXVec2TransformCoord(&p2, &p, &m);
  EXPECT_EQ(p2, D3DXVECTOR2(5.5f, 1.0f));
  const D3DXVECTOR4 v4(1, 2, 3, 0);
  D3DXVec4Transform(&h, &v4, &m);
  EXPECT_EQ(h, D3DXVECTOR4(1, 2, 3, 1));
}

TEST(D3DXVector, ProjectAndUnprojectThroughTheViewport) {
  const D3DVIEWPORT8 vp{100, 50, 640, 480, 0.0f, 1.0f};
  const D3DXVECTOR3 eye(0, 0, -10), at(0, 0, 0), up(0, 1, 0);
  D3DXMATRIX view, proj;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&proj, 1.0f, 640.0f / 480.0f, 1.0f, 100.0f);
  D3DXVECTOR3 s;
  D3DXVec3Project(&s, &at, &vp, &proj, &view, nullptr);
  EXPECT_NEAR(s.x, 100 + 320, 1e-3f);
  EXPECT_NEAR(s.y, 50 + 240, 1e-3f);
  const D3DXVECTOR3 upper(0, 2, 0);
  D3DXVec3Project(&s, &upper, &vp, &proj, &view, nullptr);
  EXPECT_LT(s.y, 290.0f);  // screen y grows downwards

  mathtest::Random rnd(5);
  for (int i = 0; i < 20; ++i) {
    const D3DXVECTOR3 w = rnd.Vec3(-3, 3);
    D3DXVECTOR3 back;
    D3DXVec3Project(&s, &w, &vp, &proj, &view, nullptr);
    ASSERT_NE(D3DXVec3Unproject(&back, &s, &vp, &proj, &view, nullptr), nullptr);
    EXPECT_TRUE(Near(back, w, 2e-3f));
  }
}

TEST(D3DXQuaternion, SlerpEndsMidpointAndShorterArc) {
  const D3DXVECTOR3 up(0, 1, 0);
  D3DXQUATERNION a, b, half, out;
  D3DXQuaternionRotationAxis(&a, &up, 0.0f);
  D3DXQuaternionRotationAxis(&b, &up, kHalfPi);
  D3DXQuaternionRotationAxis(&half, &up, kHalfPi / 2);
  D3DXQuaternionSlerp(&out, &a, &b, 0.0f);
  EXPECT_NEAR(D3DXQuaternionDot(&out, &a), 1.0f, 1e-6f);
  D3DXQuaternionSlerp(&out, &a, &b, 1.0f);
  EXPECT_NEAR(D3DXQuaternionDot(&out, &b), 1.0f, 1e-6f);
  D3DXQuaternionSlerp(&out, &a, &b, 0.5f);
  EXPECT_NEAR(D3DXQuaternionDot(&out, &half), 1.0f, 1e-6f);
  EXPECT_NEAR(D3DXQuaternionLength(&out), 1.0f, 1e-6f);
  // -b is the same rotation; the shorter arc still passes through the half turn.
  const D3DXQUATERNION nb = -b;
  D3DXQuaternionSlerp(&out, &a, &nb, 0.5f);
  EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&out, &half)), 1.0f, 1e-6f);
  // Nearly equal inputs fall back to a straight blend without dividing by a tiny sine.
  D3DXQuaternionSlerp(&out, &a, &a, 0.3f);
  EXPECT_NEAR(D3DXQuaternionDot(&out, &a), 1.0f, 1e-6f);
}

TEST(D3DXQuaternion, MultiplyComposesLikeMatricesAndMatrixRoundTrips) {
  mathtest::Random rnd(9);
  for (int i = 0; i < 100; ++i) {
    const D3DXQUATERNION q1 = rnd.UnitQuat(), q2 = rnd.UnitQuat();
    D3DXMATRIX m1, m2, m12;
    D3DXMatrixRotationQuaternion(&m1, &q1);
    D3DXMatrixRotationQuaternion(&m2, &q2);
    const D3DXQUATERNION q12 = q1 * q2;
    D3DXMatrixRotationQuaternion(&m12, &q12);
    EXPECT_TRUE(Near(m12, m1 * m2, 2e-6f));

    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &m1);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&back, &q1)), 1.0f, 1e-5f);

    D3DXQUATERNION inv, prod;
    D3DXQuaternionInverse(&inv, &q1);
    D3DXQuaternionMultiply(&prod, &q1, &inv);
    EXPECT_TRUE(Near(D3DXVECTOR3(prod.x, prod.y, prod.z), {0, 0, 0}, 1e-6f));
    EXPECT_NEAR(prod.w, 1.0f, 1e-6f);
  }
  // Half turns about each axis reach every branch of the matrix conversion.
  for (const D3DXVECTOR3 axis : {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1)}) {
    D3DXQUATERNION q, back;
    D3DXQuaternionRotationAxis(&q, &axis, 3.1415927f);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    D3DXQuaternionRotationMatrix(&back, &m);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&back, &q)), 1.0f, 1e-6f);
  }
  D3DXQUATERNION q;
  D3DXVECTOR3 axis;
  float angle = 0.0f;
  const D3DXVECTOR3 z(0, 0, 2);
  D3DXQuaternionRotationAxis(&q, &z, 1.25f);
  D3DXQuaternionToAxisAngle(&q, &axis, &angle);
  EXPECT_NEAR(angle, 1.25f, 1e-6f);
  EXPECT_NEAR(axis.z, std::sin(0.625f), 1e-6f);
}

TEST(D3DXPlane, FromPointsFromPointNormalAndLines) {
  const D3DXVECTOR3 a(0, 2, 0), b(0, 2, 1), c(1, 2, 0);
  D3DXPLANE p;
  D3DXPlaneFromPoints(&p, &a, &b, &c);
  EXPECT_EQ(p, D3DXPLANE(0, 1, 0, -2));
  D3DXPlaneFromPoints(&p, &a, &c, &b);  // the other winding flips the normal
  EXPECT_EQ(p, D3DXPLANE(0, -1, 0, 2));

  const D3DXVECTOR3 point(1, 2, 3), normal(0, 0, 2);
  D3DXPlaneFromPointNormal(&p, &point, &normal);
  EXPECT_EQ(p, D3DXPLANE(0, 0, 2, -6));
  EXPECT_EQ(D3DXPlaneDotCoord(&p, &point), 0.0f);
  const D3DXVECTOR3 probe(5, 5, 5);
  EXPECT_EQ(D3DXPlaneDotNormal(&p, &probe), 10.0f);
  const D3DXVECTOR4 h(5, 5, 5, 0);
  EXPECT_EQ(D3DXPlaneDot(&p, &h), 10.0f);
  D3DXPLANE n;
  D3DXPlaneNormalize(&n, &p);
  EXPECT_EQ(n, D3DXPLANE(0, 0, 1, -3));

  D3DXVECTOR3 hit(9, 9, 9);
  const D3DXVECTOR3 l0(1, 1, 0), l1(1, 1, 1);
  ASSERT_NE(D3DXPlaneIntersectLine(&hit, &n, &l0, &l1), nullptr);
  EXPECT_TRUE(Near(hit, {1, 1, 3}, 1e-6f));  // beyond the segment: it is a line
  const D3DXVECTOR3 m0(0, 0, 0), m1(1, 0, 0);
  hit = D3DXVECTOR3(9, 9, 9);
  EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &n, &m0, &m1), nullptr);
  EXPECT_EQ(hit, D3DXVECTOR3(9, 9, 9));

  // Transforming a plane by the inverse transpose keeps the transformed points on it.
  D3DXMATRIX t, inv, invT;
  D3DXMatrixTranslation(&t, 0, 0, 4);
  D3DXMatrixInverse(&inv, nullptr, &t);
  D3DXMatrixTranspose(&invT, &inv);
  D3DXPLANE moved;
  D3DXPlaneTransform(&moved, &n, &invT);
  const D3DXVECTOR3 q = Transform(point, t);
  EXPECT_NEAR(D3DXPlaneDotCoord(&moved, &q), 0.0f, 1e-6f);
}

TEST(D3DXIntersectTri, HitsFromBothSidesWithDistanceAlongTheDirection) {
  const D3DXVECTOR3 p0(0, 0, 0), p1(4, 0, 0), p2(0, 4, 0);
  float u = -1, v = -1, t = -1;
  // From the front, with a direction of length 2: t counts direction lengths.
  const D3DXVECTOR3 front(1, 2, -6), dirFront(0, 0, 2);
  ASSERT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &front, &dirFront, &u, &v, &t));
  EXPECT_FLOAT_EQ(t, 3.0f);
  EXPECT_FLOAT_EQ(u, 0.25f);
  EXPECT_FLOAT_EQ(v, 0.5f);
  // From the back side.
  const D3DXVECTOR3 back(1, 2, 5), dirBack(0, 0, -1);
  ASSERT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &back, &dirBack, &u, &v, &t));
  EXPECT_FLOAT_EQ(t, 5.0f);
  EXPECT_FLOAT_EQ(u, 0.25f);
  EXPECT_FLOAT_EQ(v, 0.5f);

  // Misses leave the outputs alone: outside, behind the origin, parallel, degenerate.
  u = v = t = 42.0f;
  const D3DXVECTOR3 outside(3, 3, -1);
  EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &outside, &dirFront, &u, &v, &t));
  EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &back, &dirFront, &u, &v, &t));
  const D3DXVECTOR3 along(1, 0, 0);
  EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p2, &front, &along, &u, &v, &t));
  EXPECT_FALSE(D3DXIntersectTri(&p0, &p1, &p1, &front, &dirFront, &u, &v, &t));
  EXPECT_EQ(t, 42.0f);
  EXPECT_EQ(u, 42.0f);
  EXPECT_TRUE(D3DXIntersectTri(&p0, &p1, &p2, &front, &dirFront, nullptr, nullptr, nullptr));

  // Random rays: the barycentric point equals the ray point.
  mathtest::Random rnd(21);
  int hits = 0;
  for (int i = 0; i < 500; ++i) {
    const D3DXVECTOR3 a = rnd.Vec3(), b = rnd.Vec3(), c = rnd.Vec3(), o = rnd.Vec3(-20, 20);
    const D3DXVECTOR3 target = a + (b - a) * 0.3f + (c - a) * 0.3f;
    const D3DXVECTOR3 dir = target - o;
    if (D3DXIntersectTri(&a, &b, &c, &o, &dir, &u, &v, &t)) {
      ++hits;
      const D3DXVECTOR3 onTri = a + (b - a) * u + (c - a) * v;
      const D3DXVECTOR3 onRay = o + dir * t;
      EXPECT_TRUE(Near(onTri, onRay, 1e-3f));
      EXPECT_NEAR(t, 1.0f, 1e-3f);
    }
  }
  EXPECT_GT(hits, 450);
}

TEST(D3DXColor, PackedConversionsClampAndRound) {
  const D3DXCOLOR c(0x80FF4000u);
  EXPECT_FLOAT_EQ(c.a, 128.0f / 255.0f);
  EXPECT_EQ(c.r, 1.0f);
  EXPECT_FLOAT_EQ(c.g, 64.0f / 255.0f);
  EXPECT_EQ(c.b, 0.0f);
  EXPECT_EQ(static_cast<DWORD>(c), 0x80FF4000u);
  const D3DXCOLOR over(2.0f, -1.0f, 0.5f, 1.0f);
  EXPECT_EQ(static_cast<DWORD>(over), 0xFFFF0080u);
  const D3DCOLORVALUE& base = over;  // the same record
  EXPECT_EQ(base.b, 0.5f);
  D3DXCOLOR lerp;
  const D3DXCOLOR black(0, 0, 0, 0), white(1, 1, 1, 1);
  D3DXColorLerp(&lerp, &black, &white, 0.25f);
  EXPECT_EQ(lerp, D3DXCOLOR(0.25f, 0.25f, 0.25f, 0.25f));
  D3DXCOLOR mod;
  D3DXColorModulate(&mod, &over, &white);
  EXPECT_EQ(mod, over);
}

}  // namespace
