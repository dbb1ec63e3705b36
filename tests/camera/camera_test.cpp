// What the scene system relies on of the camera: its field of view, eye and look-at points, the
// eye adjuster, the borrowed mouse-look points; and the matrix product kept with it.
#include <gtest/gtest.h>

#include "camera/base_camera.h"
#include "support/component_host.h"

namespace {

struct CameraHost : testing_support::ComponentHost<CBaseCamera> {
  CBaseCamera*& camera = object;
  CameraHost() : ComponentHost("CBaseCamera") {}
};

TEST(Camera, FieldOfViewStartsAtItsConstructionValueAndIsKept) {
  CameraHost c;
  ASSERT_NE(c.camera, nullptr);
  EXPECT_FLOAT_EQ(c.camera->GetFieldOfView(), 51.481f);
  c.camera->SetFieldOfView(60.0f);
  EXPECT_EQ(c.camera->GetFieldOfView(), 60.0f);
}

TEST(Camera, SetLookAtReachesTheRendererAndReadsBack) {
  CameraHost c;
  const D3DXVECTOR3 eye(1.0f, 2.0f, 3.0f), at(4.0f, 5.0f, 6.0f);
  c.camera->SetLookAt(&eye, &at);
  D3DXVECTOR3 gotEye, gotAt;
  c.camera->GetLookAt(&gotEye, &gotAt);
  EXPECT_EQ(gotEye, eye);
  EXPECT_EQ(gotAt, at);
  D3DVECTOR rEye{}, rAt{}, rUp{};
  c.standard.renderer.GetLookAt(&rEye, &rAt, &rUp);
  EXPECT_EQ(rEye.x, 1.0f);
  EXPECT_EQ(rAt.z, 6.0f);
  EXPECT_EQ(rUp.y, 1.0f);
}

TEST(Camera, MouseLookPointsAreBorrowedNotCopied) {
  CameraHost c;
  D3DXVECTOR3 eye(0.0f, 1.0f, 0.0f), at(0.0f, 1.0f, 5.0f);
  c.camera->SetMouseLookPoints(&eye, &at);
  eye.x = 9.0f;
  EXPECT_EQ(c.camera->mouseLookEye, &eye);
  EXPECT_EQ(c.camera->mouseLookEye->x, 9.0f);
  EXPECT_EQ(c.camera->mouseLookAt, &at);
  // Outside mouse look the view is not touched.
  D3DXVECTOR3 gotEye;
  c.camera->GetLookAt(&gotEye, nullptr);
  EXPECT_EQ(gotEye, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

TEST(Camera, Matrix4MultiplyIsTheRowMajorProduct) {
  D3DXMATRIX a, b, out;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      a.m[i][j] = static_cast<float>(i * 4 + j + 1);
      b.m[i][j] = static_cast<float>((i == j ? 2 : 0) + (j == 3 ? i : 0));
    }
  Matrix4Multiply(&out, &a, &b);
  // b is 2 on the diagonal with column 3 = (0, 1, 2, 5). Row 0 of a is (1, 2, 3, 4): columns 0-2
  // double, column 3 = 2*1 + 3*2 + 4*5.
  EXPECT_EQ(out.m[0][0], 2.0f);
  EXPECT_EQ(out.m[0][2], 6.0f);
  EXPECT_EQ(out.m[0][3], 28.0f);
  // Row 3 of a is (13, 14, 15, 16): column 3 = 14*1 + 15*2 + 16*5.
  EXPECT_EQ(out.m[3][3], 124.0f);
  EXPECT_EQ(out.m[3][1], 28.0f);
}

}  // namespace
