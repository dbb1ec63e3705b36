#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "d3dx8/d3dx8math.h"
#include "math/angles.h"
#include "math/crt_rand.h"
#include "math/random.h"
#include "math/vector.h"

namespace {

TEST(Angles, WrapAngleStaysInOneTurn) {
  EXPECT_EQ(WrapAngle(-0.5f), 6.2831855f - 0.5f);
  EXPECT_EQ(WrapAngle(7.0f), 7.0f - 6.2831855f);
  EXPECT_EQ(WrapAngle(0.0f), 0.0f);
  EXPECT_EQ(WrapAngle(6.2831855f), 0.0f);
  EXPECT_EQ(WrapAngle(-6.2831855f), 0.0f);
  EXPECT_NEAR(WrapAngle(-20.0f), -20.0f + 4 * 6.2831855f, 1e-5f);
  // A hair below zero would round up to a whole turn; it wraps to 0 instead.
  const float tiny = WrapAngle(-1e-9f);
  EXPECT_GE(tiny, 0.0f);
  EXPECT_LT(tiny, 6.2831855f);
  for (float a = -40.0f; a < 40.0f; a += 0.173f) {
    const float w = WrapAngle(a);
    EXPECT_GE(w, 0.0f);
    EXPECT_LT(w, 6.2831855f);
  }
}

TEST(Angles, HeadingInTheXZPlane) {
  const float pi = 3.1415927f;
  EXPECT_EQ(VectorHeadingXZ(D3DXVECTOR3(0, 5, 0)), 0.0f);  // zero in x and z
  EXPECT_EQ(VectorHeadingXZ(D3DXVECTOR3(0, 0, 2)), 0.0f);
  EXPECT_FLOAT_EQ(VectorHeadingXZ(D3DXVECTOR3(0, 0, -2)), pi);
  // Along the x axis the heading is a quarter turn, not 0.
  EXPECT_FLOAT_EQ(VectorHeadingXZ(D3DXVECTOR3(3, 0, 0)), pi / 2);
  EXPECT_FLOAT_EQ(VectorHeadingXZ(vector3(-3, 1, 0)), -pi / 2);
  EXPECT_FLOAT_EQ(VectorHeadingXZ(D3DXVECTOR3(1, 0, 1)), pi / 4);
  EXPECT_FLOAT_EQ(VectorHeadingXZ(D3DXVECTOR3(-1, 0, -1)), -3 * pi / 4);
  EXPECT_FLOAT_EQ(VectorHeadingXZ(1e30f, 1e30f), pi / 4);  // no overflow in the length
  // The heading turns +z into the direction: (sin h, cos h).
  for (float h = -3.0f; h < 3.1f; h += 0.25f) {
    const float got = VectorHeadingXZ(std::sin(h) * 4, std::cos(h) * 4);
    EXPECT_NEAR(got, h, 1e-5f);
  }
}

TEST(CrtRand, SequenceOfTheWindowsRuntime) {
  CrtSrand(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int e : expected) EXPECT_EQ(CrtRand(), e);
  CrtSrand(1);
  EXPECT_EQ(CrtRand(), 41);
  CrtSrand(12345);
  const int a = CrtRand();
  CrtSrand(12345);
  EXPECT_EQ(CrtRand(), a);
  for (int i = 0; i < 100000; ++i) {
    const int v = CrtRand();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, kCrtRandMax);
  }
  // A new thread starts from seed 1, whatever this thread did.
  int first = -1;
  std::thread([&] { first = CrtRand(); }).join();
  EXPECT_EQ(first, 41);
}

TEST(CrtRand, RandomFloatScalesTheRuntimeValue) {
  CrtSrand(1);
  EXPECT_EQ(RandomFloat(10.0f), static_cast<float>(41 / 32767.0 * 10.0));
  EXPECT_EQ(RandomFloat(1.0f), static_cast<float>(18467 / 32767.0));
  const float half = RandomFloatHalfToFull(8.0f);
  EXPECT_EQ(half, 4.0f + static_cast<float>(6334 / 32767.0 * 4.0));
  CrtSrand(7);
  for (int i = 0; i < 1000; ++i) {
    const float r = RandomFloatHalfToFull(3.0f);
    EXPECT_GE(r, 1.5f);
    EXPECT_LE(r, 3.0f);
  }
}

}  // namespace
