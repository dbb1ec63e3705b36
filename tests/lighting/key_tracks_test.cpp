#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "lighting/key_tracks.h"

namespace {

CFloatKeyTrack FloatTrack(std::initializer_list<std::pair<int, float>> keys, int interpolation, int wrap) {
  CFloatKeyTrack t;
  for (const auto& [time, value] : keys) t.AddKey(time, value);
  t.SetInterpolation(interpolation);
  t.SetWrap(wrap);
  return t;
}

TEST(KeyTrack, AddKeyInsertsInTimeOrderAndReplacesEqualTimes) {
  CFloatKeyTrack t;
  EXPECT_EQ(t.AddKey(300, 3.0f), 0);
  EXPECT_EQ(t.AddKey(100, 1.0f), 0);
  EXPECT_EQ(t.AddKey(200, 2.0f), 1);
  int32_t time = -1;
  EXPECT_EQ(t.GetKey(0, &time), 1.0f);
  EXPECT_EQ(time, 100);
  EXPECT_EQ(t.GetKey(2, &time), 3.0f);
  EXPECT_EQ(time, 300);
  EXPECT_EQ(t.AddKey(200, 9.0f), 1);  // same time: value replaced, count kept
  EXPECT_EQ(t.GetKeyCount(), 3u);
  EXPECT_EQ(t.GetKey(1, &time), 9.0f);
  // Out-of-range indices answer a zero value and change nothing.
  EXPECT_EQ(t.GetKey(7, &time), 0.0f);
  EXPECT_EQ(time, 0);
  t.RemoveKey(7);
  EXPECT_EQ(t.GetKeyCount(), 3u);
  t.RemoveKey(0);
  EXPECT_EQ(t.GetKey(0, &time), 9.0f);
}

TEST(KeyTrack, SetKeysCopiesKeysAndModesAndFromItselfKeepsTheTrack) {
  CFloatKeyTrack a = FloatTrack({{0, 1.0f}, {500, 2.0f}}, kInterpolateLinear, kWrapClamp);
  CFloatKeyTrack b;
  b.AddKey(42, 7.0f);
  b.SetKeys(a);
  EXPECT_EQ(b.GetKeyCount(), 2u);
  EXPECT_EQ(b.GetInterpolation(), kInterpolateLinear);
  EXPECT_EQ(b.GetWrap(), kWrapClamp);
  a.SetKeys(a);
  EXPECT_EQ(a.GetKeyCount(), 2u);
  int32_t time;
  EXPECT_EQ(a.GetKey(1, &time), 2.0f);
}

TEST(KeyTrack, OneKeyGivesItsValueInEveryMode) {
  for (int mode = 0; mode < 3; ++mode) {
    CFloatKeyTrack t = FloatTrack({{250, 4.5f}}, mode, kWrapLoop);
    float v = 0;
    for (int time : {-1000, 0, 250, 99999}) {
      ASSERT_TRUE(t.Sample(time, &v));
      EXPECT_EQ(v, 4.5f);
    }
  }
  CFloatKeyTrack empty;
  float keep = 3.0f;
  EXPECT_FALSE(empty.Sample(10, &keep));
  EXPECT_EQ(keep, 3.0f);
}

TEST(KeyTrack, StepNeverReturnsTheLastKey) {
  CFloatKeyTrack t = FloatTrack({{0, 10.0f}, {1000, 11.0f}, {2000, 12.0f}}, kInterpolateStep, 5);
  float v = 0;
  for (int time : {0, 999}) {
    t.Sample(time, &v);
    EXPECT_EQ(v, 10.0f) << time;
  }
  for (int time : {1000, 1999, 2000, 5000}) {
    t.Sample(time, &v);
    EXPECT_EQ(v, 11.0f) << time;
  }
}

TEST(KeyTrack, LoopWrapBringsTimesIntoTheSpan) {
  CFloatKeyTrack t = FloatTrack({{0, 0.0f}, {1000, 1.0f}}, kInterpolateLinear, kWrapLoop);
  EXPECT_EQ(t.WrapTime(1000), 1000);
  EXPECT_EQ(t.WrapTime(1001), 1);
  EXPECT_EQ(t.WrapTime(2500), 500);
  EXPECT_EQ(t.WrapTime(-300), 700);
  CFloatKeyTrack u = FloatTrack({{500, 0.0f}, {1500, 1.0f}}, kInterpolateLinear, kWrapLoop);
  EXPECT_EQ(u.WrapTime(100), 1100);
}

TEST(KeyTrack, ClampHoldsTheEndValuesAndNoWrapExtrapolates) {
  for (int mode : {kInterpolateLinear, kInterpolateSpline}) {
    CFloatKeyTrack t = FloatTrack({{100, 1.0f}, {200, 3.0f}, {400, 2.0f}}, mode, kWrapClamp);
    float v = 0;
    t.Sample(-50, &v);
    EXPECT_FLOAT_EQ(v, 1.0f);
    t.Sample(9000, &v);
    EXPECT_FLOAT_EQ(v, 2.0f);
  }
  CFloatKeyTrack lin = FloatTrack({{0, 0.0f}, {100, 1.0f}}, kInterpolateLinear, 7);
  float v = 0;
  lin.Sample(300, &v);
  EXPECT_FLOAT_EQ(v, 3.0f);
  lin.Sample(-100, &v);
  EXPECT_FLOAT_EQ(v, -1.0f);
}

TEST(KeyTrack, SplineWithTwoKeysIsLinear) {
  CFloatKeyTrack s = FloatTrack({{0, 2.0f}, {400, 6.0f}}, kInterpolateSpline, kWrapClamp);
  CFloatKeyTrack l = FloatTrack({{0, 2.0f}, {400, 6.0f}}, kInterpolateLinear, kWrapClamp);
  for (int time = 0; time <= 400; time += 37) {
    float a = 0, b = 0;
    s.Sample(time, &a);
    l.Sample(time, &b);
    EXPECT_EQ(a, b) << time;
  }
}

TEST(KeyTrack, SplinePassesThroughEveryKeyWithNaturalEnds) {
  CVec3KeyTrack t;
  t.AddKey(0, D3DXVECTOR3(0, 1, 2));
  t.AddKey(300, D3DXVECTOR3(5, -1, 2));
  t.AddKey(500, D3DXVECTOR3(2, 4, 0));
  t.AddKey(1200, D3DXVECTOR3(-3, 0, 1));
  t.SetWrap(kWrapClamp);
  for (const auto& k : t.keys) {
    D3DXVECTOR3 v(0, 0, 0);
    ASSERT_TRUE(t.Sample(k.timeMs, &v));
    EXPECT_NEAR(v.x, k.value.x, 1e-4f) << k.timeMs;
    EXPECT_NEAR(v.y, k.value.y, 1e-4f);
    EXPECT_NEAR(v.z, k.value.z, 1e-4f);
  }
  ASSERT_EQ(t.secondDerivatives.size(), 4u);
  EXPECT_EQ(t.secondDerivatives.front().x, 0.0f);
  EXPECT_EQ(t.secondDerivatives.back().y, 0.0f);
  EXPECT_FALSE(t.dirty);
  // Between keys the curve is smooth: the slopes either side of a key agree.
  D3DXVECTOR3 before(0, 0, 0), at(0, 0, 0), after(0, 0, 0);
  t.Sample(299, &before);
  t.Sample(300, &at);
  t.Sample(301, &after);
  EXPECT_NEAR(at.x - before.x, after.x - at.x, 1e-3f);
  // A change of keys marks the spline stale until the next evaluation.
  t.AddKey(700, D3DXVECTOR3(1, 1, 1));
  EXPECT_TRUE(t.dirty);
  t.Sample(700, &at);
  EXPECT_NEAR(at.x, 1.0f, 1e-4f);
}

TEST(KeyTrack, ColorKeysFromPackedARGB) {
  CColorKeyTrack t;
  t.AddColorKeyARGB(0, 0x80FF4000u);
  int32_t time;
  const D3DXCOLOR c = t.GetKey(0, &time);
  EXPECT_FLOAT_EQ(c.a, 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(c.r, 1.0f);
  EXPECT_FLOAT_EQ(c.g, 64.0f / 255.0f);
  EXPECT_EQ(c.b, 0.0f);
}

TEST(QuatTrack, SlerpsAroundTheSpan) {
  CQuatKeyTrack t;
  const D3DXVECTOR3 up(0, 1, 0);
  D3DXQUATERNION a(0, 0, 0, 1), b;
  D3DXQuaternionRotationAxis(&b, &up, 1.0f);
  t.AddKey(0, a);
  t.AddKey(1000, b);
  D3DXQUATERNION q;
  for (int time : {0, 1000, 2000}) {
    ASSERT_TRUE(t.Sample(time, &q));
    EXPECT_EQ(q.w, 1.0f) << time;
    EXPECT_EQ(q.y, 0.0f) << time;
  }
  D3DXQUATERNION half;
  D3DXQuaternionRotationAxis(&half, &up, 0.5f);
  for (int time : {500, 1500}) {
    t.Sample(time, &q);
    EXPECT_NEAR(q.y, half.y, 1e-5f) << time;
    EXPECT_NEAR(q.w, half.w, 1e-5f) << time;
  }
  CQuatKeyTrack none;
  EXPECT_FALSE(none.Sample(5, &q));
}

TEST(KeyTrack, KeysAtTheEndsOfTheClockRangeWrapAndEvaluateWithoutOverflow) {
  constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  // A span of 2^31 + 9 ms: INT32_MIN lies one span below 9.
  CFloatKeyTrack loop = FloatTrack({{-10, 0.0f}, {kMax, 1.0f}}, kInterpolateLinear, kWrapLoop);
  EXPECT_EQ(loop.WrapTime(kMin), 9);
  EXPECT_EQ(loop.WrapTime(kMax), kMax);
  CFloatKeyTrack clamp = FloatTrack({{-10, 0.0f}, {kMax, 1.0f}}, kInterpolateLinear, kWrapClamp);
  EXPECT_EQ(clamp.WrapTime(kMin), -10);

  // Halfway across the whole range.
  CFloatKeyTrack wide = FloatTrack({{kMin, 0.0f}, {kMax, 1.0f}}, kInterpolateLinear, kWrapLoop);
  float v = -1.0f;
  ASSERT_TRUE(wide.Sample(0, &v));
  EXPECT_NEAR(v, 0.5f, 1e-6f);
  // No wrap: extrapolated from the last segment, far outside it.
  CFloatKeyTrack none = FloatTrack({{kMin, 0.0f}, {kMin + 2, 2.0f}}, kInterpolateLinear, 7);
  ASSERT_TRUE(none.Sample(kMax, &v));
  EXPECT_NEAR(v, 4294967295.0f, 1024.0f);

  // A spline whose intervals are 2^32 - 2 and 1 still passes through its middle key.
  CFloatKeyTrack spline = FloatTrack({{kMin, 0.0f}, {kMax - 1, 1.0f}, {kMax, 0.0f}}, kInterpolateSpline, 7);
  ASSERT_TRUE(spline.Sample(kMax - 1, &v));
  EXPECT_NEAR(v, 1.0f, 1e-3f);
  EXPECT_TRUE(std::isfinite(v));

  // Rotations: at 0 the time is halfway through the span; 45 degrees about y between 0 and 90.
  CQuatKeyTrack turn;
  const float s45 = std::sqrt(0.5f);
  turn.AddKey(kMin, D3DXQUATERNION(0, 0, 0, 1));
  turn.AddKey(kMax, D3DXQUATERNION(0, s45, 0, s45));
  D3DXQUATERNION q;
  ASSERT_TRUE(turn.Sample(0, &q));
  EXPECT_NEAR(q.y, std::sin(0.3926991f), 1e-4f);
  EXPECT_NEAR(q.w, std::cos(0.3926991f), 1e-4f);
}

TEST(KeyTrack, AFloatTrackOfAnUnknownModeGivesZero) {
  CFloatKeyTrack f = FloatTrack({{0, 2.0f}, {100, 4.0f}}, 9, kWrapLoop);
  float v = 5.0f;
  ASSERT_TRUE(f.Sample(50, &v));
  EXPECT_EQ(v, 0.0f);
  // The other kinds keep the value they had.
  CVec3KeyTrack p;
  p.AddKey(0, D3DXVECTOR3(1, 1, 1));
  p.AddKey(100, D3DXVECTOR3(3, 3, 3));
  p.SetInterpolation(9);
  D3DXVECTOR3 held(7, 8, 9);
  ASSERT_TRUE(p.Sample(50, &held));
  EXPECT_EQ(held, D3DXVECTOR3(7, 8, 9));
}

}  // namespace
