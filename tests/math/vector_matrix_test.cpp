#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "d3dx8/d3dx8math.h"
#include "math/matrix.h"
#include "math/vector.h"
#include "math_test_util.h"

namespace {

using mathtest::Near;

matrix44 FromD3DX(const D3DXMATRIX& m) { return FromD3DMatrix(m); }
D3DXMATRIX ToD3DX(const matrix44& m) { return D3DXMATRIX(ToD3DMatrix(m)); }
vector3 V3(const D3DXVECTOR3& v) { return {v.x, v.y, v.z}; }
D3DXVECTOR3 DX(const vector3& v) { return {v.x, v.y, v.z}; }

std::string Printed(void (*print)(std::FILE*)) {
  std::FILE* f = std::tmpfile();
  print(f);
  std::rewind(f);
  char buf[512] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  return std::string(buf, n);
}

TEST(Vector, ConstructionWidensWithZeroAndOperatorsWorkComponentWise) {
  const vector2 a(1, 2);
  vector3 b = a;
  EXPECT_EQ(b, vector3(1, 2, 0));
  b = vector3(7, 7, 7);
  b = a;
  EXPECT_EQ(b.z, 0.0f);
  vector4 c = vector3(1, 2, 3);
  EXPECT_EQ(c, vector4(1, 2, 3, 0));
  c = vector4(9, 9, 9, 9);
  c = vector3(4, 5, 6);
  EXPECT_EQ(c.w, 0.0f);

  vector3 v(1, 2, 3);
  v[1] = 5;
  EXPECT_EQ(v.y, 5.0f);
  EXPECT_EQ(v + vector3(1, 1, 1), vector3(2, 6, 4));
  EXPECT_EQ(-v, vector3(-1, -5, -3));
  EXPECT_EQ(2.0f * v, v * 2.0f);
  // Division multiplies by the reciprocal, to the bit.
  const float s = 3.0f;
  EXPECT_EQ(v / s, v * (1.0f / s));
  vector3 w = v;
  w /= s;
  EXPECT_EQ(w, v * (1.0f / s));
  EXPECT_NE(w, v);

  vector3 p(1, 0, 0), q(0, 1, 0);
  swap(p, q);
  EXPECT_EQ(p, vector3(0, 1, 0));
  EXPECT_EQ(dot(vector4(1, 2, 3, 4), vector4(1, 1, 1, 1)), 10.0f);
  EXPECT_EQ(len(vector2(3, 4)), 5.0f);
  EXPECT_EQ(len2(vector2(3, 4)), 25.0f);
}

TEST(Vector, NormalizeZeroIsZeroAndApproxEqualIsStrict) {
  vector3 z(0, 0, 0);
  z.normalize();
  EXPECT_TRUE(z.is_zero());
  vector2 z2(0, 0);
  z2.normalize();
  EXPECT_TRUE(z2.is_zero());
  vector4 v(0, 3, 0, 4);
  v.normalize();
  EXPECT_EQ(v, vector4(0, 0.6f, 0, 0.8f));
  EXPECT_FALSE(vector3(1, 0, 0).is_zero());

  const vector3 a(1, 2, 3);
  EXPECT_FALSE(approx_equal(a, a, 0.0f));
  EXPECT_TRUE(approx_equal(a, vector3(1, 2, 3.05f), 0.1f));
  EXPECT_FALSE(approx_equal(a, vector3(1, 2, 3.2f), 0.1f));
}

TEST(Vector, CrossAndDotMatchTheDirect3DFunctions) {
  mathtest::Random rnd(1);
  for (int i = 0; i < 100; ++i) {
    const D3DXVECTOR3 a = rnd.Vec3(), b = rnd.Vec3();
    D3DXVECTOR3 c;
    D3DXVec3Cross(&c, &a, &b);
    EXPECT_EQ(DX(cross(V3(a), V3(b))), c);
    EXPECT_EQ(V3(a).dot(V3(b)), D3DXVec3Dot(&a, &b));
    EXPECT_EQ(Vec3Dot(V3(a), V3(b)), D3DXVec3Dot(&a, &b));
    EXPECT_EQ(Vec3Dot(a, b), D3DXVec3Dot(&a, &b));
    vector3 n = V3(a);
    n.normalize();
    D3DXVECTOR3 dn;
    D3DXVec3Normalize(&dn, &a);
    EXPECT_TRUE(Near(DX(n), dn, 1e-7f));
  }
  vector3 out;
  EXPECT_EQ(MakeVector3(&out, 1, 2, 3), &out);
  EXPECT_EQ(out, vector3(1, 2, 3));
  D3DXVECTOR3 dout;
  EXPECT_EQ(MakeVector3(&dout, 4, 5, 6), &dout);
  EXPECT_EQ(dout, D3DXVECTOR3(4, 5, 6));
}

TEST(Vector, PrintUsesItsFormat) {
  EXPECT_EQ(Printed([](std::FILE* f) { vector2(1, 2).print(f, "> "); }), "> vector2: <1.000000, 2.000000>\n");
  EXPECT_EQ(Printed([](std::FILE* f) { vector3(1, 2, 3).print(f, ""); }), "vector3: <1.000000, 2.000000, 3.000000>\n");
  EXPECT_EQ(Printed([](std::FILE* f) { vector4(1, 2, 3, 4).print(f, "-"); }),
            "-vector4: <1.000000, 2.000000, 3.000000, 4.000000>\n");
  EXPECT_EQ(Printed([](std::FILE* f) { matrix33::identity().print(f, "*"); }),
            "*matrix33:\n*vector3: <1.000000, 0.000000, 0.000000>\n*vector3: <0.000000, 1.000000, 0.000000>\n"
            "*vector3: <0.000000, 0.000000, 1.000000>\n");
}

TEST(Matrix44, ProductAndTransformsMatchTheDirect3DFunctions) {
  mathtest::Random rnd(2);
  for (int i = 0; i < 200; ++i) {
    const D3DXMATRIX a = rnd.Any(), b = rnd.Any();
    D3DXMATRIX ab;
    D3DXMatrixMultiply(&ab, &a, &b);
    const matrix44 ma = FromD3DX(a), mb = FromD3DX(b);
    EXPECT_TRUE(Near(ToD3DX(ma * mb), ab, 1e-5f));
    matrix44 out;
    Matrix4Multiply(&out, &ma, &mb);
    EXPECT_TRUE(Near(ToD3DX(out), ab, 1e-5f));
    matrix44 alias = ma;
    Matrix4Multiply(&alias, &alias, &mb);  // an aliased output still gets the product
    EXPECT_EQ(alias, out);
    D3DMATRIX d;
    Matrix4Multiply(&d, &a, &b);
    EXPECT_TRUE(Near(d, ab, 1e-5f));
    matrix44 compound = ma;
    compound *= mb;
    EXPECT_EQ(compound, ma * mb);

    // v x M through the transpose is the Direct3D transform; M x v dots the rows.
    const vector4 v(rnd.Uniform(-5, 5), rnd.Uniform(-5, 5), rnd.Uniform(-5, 5), 1.0f);
    const D3DXVECTOR4 dv(v.x, v.y, v.z, v.w);
    D3DXVECTOR4 r;
    D3DXVec4Transform(&r, &dv, &a);
    const vector4 vm = v * ma;
    EXPECT_TRUE(Near(D3DXVECTOR3(vm.x, vm.y, vm.z), {r.x, r.y, r.z}, 1e-5f));
    EXPECT_NEAR(vm.w, r.w, 1e-5f);
    const vector4 mv = ma * v;
    EXPECT_EQ(mv.y, ma[1].dot(v));

    const D3DXVECTOR3 axis = rnd.Vec3();
    const float angle = rnd.Uniform(-4, 4);
    D3DXMATRIX rot;
    D3DXMatrixRotationAxis(&rot, &axis, angle);
    EXPECT_TRUE(Near(ToD3DX(matrix44::rotation(V3(axis), angle)), rot, 2e-6f));
    D3DXMatrixRotationX(&rot, angle);
    EXPECT_EQ(ToD3DX(matrix44::rotation('x', angle)), rot);
    EXPECT_EQ(ToD3DX(matrix44::rotation('X', angle)), rot);
    D3DXMatrixRotationY(&rot, angle);
    EXPECT_EQ(ToD3DX(matrix44::rotation('Y', angle)), rot);
    D3DXMatrixRotationZ(&rot, angle);
    EXPECT_EQ(ToD3DX(matrix44::rotation('z', angle)), rot);

    const D3DXVECTOR3 eye = rnd.Vec3(), at = rnd.Vec3(), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    EXPECT_TRUE(Near(ToD3DX(matrix44::look_at(V3(eye), V3(at), V3(up))), view, 1e-5f));
  }
  EXPECT_EQ(matrix44::rotation('q', 1.0f), matrix44::identity());
  EXPECT_EQ(matrix44::rotation(vector3(0, 0, 0), 1.0f), matrix44::identity());

  D3DXMATRIX d;
  D3DXMatrixTranslation(&d, 1, 2, 3);
  EXPECT_EQ(ToD3DX(matrix44::translation(1, 2, 3)), d);
  D3DXMatrixScaling(&d, 1, 2, 3);
  EXPECT_EQ(ToD3DX(matrix44::scaling(1, 2, 3)), d);
  D3DXMatrixPerspectiveFovLH(&d, 1.2f, 1.5f, 0.1f, 500.0f);
  EXPECT_TRUE(Near(ToD3DX(matrix44::perspective(1.2f, 1.5f, 0.1f, 500.0f)), d, 1e-6f));
  D3DXMatrixPerspectiveOffCenterLH(&d, -1, 2, -3, 4, 1, 50);
  EXPECT_TRUE(Near(ToD3DX(matrix44::frustum(-1, 2, -3, 4, 1, 50)), d, 0.0f));
  D3DXMatrixOrthoOffCenterLH(&d, -1, 2, -3, 4, 1, 50);
  EXPECT_TRUE(Near(ToD3DX(matrix44::ortho(-1, 2, -3, 4, 1, 50)), d, 0.0f));
  D3DXMatrixTranspose(&d, &d);
  EXPECT_EQ(ToD3DX(matrix44::ortho(-1, 2, -3, 4, 1, 50).transpose()), d);
}

TEST(Matrix44, GaussJordanInverseAgreesAndExchangesRows) {
  mathtest::Random rnd(4);
  for (int i = 0; i < 200; ++i) {
    const D3DXMATRIX a = rnd.Affine();
    D3DXMATRIX inv;
    ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &a), nullptr);
    matrix44 mi;
    ASSERT_TRUE(FromD3DX(a).inverse(mi));
    EXPECT_TRUE(Near(ToD3DX(mi), inv, 1e-4f));
    EXPECT_TRUE(Near(ToD3DX(mi * FromD3DX(a)), mathtest::Identity(), 2e-5f));
  }
  matrix44 id;
  ASSERT_TRUE(matrix44::identity().inverse(id));
  EXPECT_EQ(id, matrix44::identity());

  // The first column's largest entry is in the last row: the rows must be exchanged, a
  // naive elimination would divide by the zero in the corner.
  const matrix44 m({0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}, {5, 0, 0, 1});
  matrix44 inv;
  ASSERT_TRUE(m.inverse(inv));
  EXPECT_EQ(inv * m, matrix44::identity());
  EXPECT_EQ(m * inv, matrix44::identity());

  const matrix44 singular({1, 2, 3, 4}, {2, 4, 6, 8}, {0, 0, 1, 0}, {0, 0, 0, 1});
  matrix44 untouched = matrix44::scaling(7, 7, 7);
  EXPECT_FALSE(singular.inverse(untouched));
  EXPECT_EQ(untouched, matrix44::scaling(7, 7, 7));
}

TEST(Matrix33, TransformsInThePlaneAndPadsIntoFourByFour) {
  const float angle = 0.7f;
  const matrix33 t = matrix33::scaling(2, 3) * matrix33::rotation(angle) * matrix33::translation(5, -1);
  const vector3 p = vector3(1, 1, 1) * t;
  D3DXMATRIX s, r, tr;
  D3DXMatrixScaling(&s, 2, 3, 1);
  D3DXMatrixRotationZ(&r, angle);
  D3DXMatrixTranslation(&tr, 5, -1, 0);
  const D3DXVECTOR3 q = mathtest::Transform({1, 1, 0}, s * r * tr);
  EXPECT_NEAR(p.x, q.x, 1e-5f);
  EXPECT_NEAR(p.y, q.y, 1e-5f);
  EXPECT_EQ(p.z, 1.0f);

  matrix33 inv;
  ASSERT_TRUE(t.inverse(inv));
  const vector3 back = p * inv;
  EXPECT_NEAR(back.x, 1.0f, 1e-5f);
  EXPECT_NEAR(back.y, 1.0f, 1e-5f);

  const matrix44 padded(t);
  EXPECT_EQ(padded[0], vector4(t[0].x, t[0].y, t[0].z, 0));
  EXPECT_EQ(padded[2], vector4(t[2].x, t[2].y, t[2].z, 0));
  EXPECT_EQ(padded[3], vector4(0, 0, 0, 1));

  matrix33 sum = matrix33::identity() + matrix33::identity();
  EXPECT_EQ(sum, 2.0f * matrix33::identity());
  sum -= matrix33::identity();
  EXPECT_EQ(sum, matrix33::identity());
}

}  // namespace
