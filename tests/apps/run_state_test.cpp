// What footlight run parses for --keys and --clock, and how it reports the gamma ramp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/footlight/run_state.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

TEST(RunOptions, VirtualKeysAreDecimalOrHexAndStayInRange) {
  std::vector<int> keys;
  std::string error;
  ASSERT_TRUE(footlight::ParseVirtualKeys("0x24,36,0X25,254,1", &keys, &error)) << error;
  EXPECT_EQ(keys, (std::vector<int>{0x24, 36, 0x25, 254, 1}));
  for (const char* bad : {"", "0", "255", "0x100", "0x", "36,", ",36", "-1", "+5", " 5", "0x1G", "1e3", "010x", "abc"}) {
    std::vector<int> none;
    error.clear();
    EXPECT_FALSE(footlight::ParseVirtualKeys(bad, &none, &error)) << bad;
    EXPECT_NE(error.find("--keys"), std::string::npos) << bad;
  }
}

TEST(RunOptions, TheClockTakesAnyThirtyTwoBitMillisecondCount) {
  DWORD ms = 7;
  std::string error;
  ASSERT_TRUE(footlight::ParseMilliseconds("0", &ms, &error));
  EXPECT_EQ(ms, 0u);
  ASSERT_TRUE(footlight::ParseMilliseconds("4294967295", &ms, &error));
  EXPECT_EQ(ms, 0xFFFFFFFFu);
  for (const char* bad : {"", "4294967296", "-1", "1.5", "0x10", "12ms", "99999999999999999999999"}) {
    EXPECT_FALSE(footlight::ParseMilliseconds(bad, &ms, &error)) << bad;
    EXPECT_NE(error.find("--clock"), std::string::npos) << bad;
  }
}

// The ramp a module sets is reported by its entries 0, 128 and 255 even after the module has
// put the identity back; an identity ramp all along is not reported at all.
TEST(RunOptions, TheGammaRampIsReportedWhenItLeftTheIdentity) {
  win32::ResetState();
  footlight::GammaWatch watch;
  watch.Sample();
  watch.Sample();
  EXPECT_FALSE(watch.Changed());
  EXPECT_EQ(watch.Summary(), "");

  WORD ramp[768];
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) ramp[c * 256 + i] = static_cast<WORD>((c + 1) * 100 + i * 200);
  HDC dc = GetWindowDC(nullptr);
  ASSERT_TRUE(SetDeviceGammaRamp(dc, ramp));
  watch.Sample();
  for (int i = 0; i < 768; ++i) ramp[i] = static_cast<WORD>((i % 256) * 257);
  ASSERT_TRUE(SetDeviceGammaRamp(dc, ramp));
  ReleaseDC(nullptr, dc);
  watch.Sample();
  EXPECT_TRUE(watch.Changed());
  EXPECT_EQ(watch.Summary(),
            "gamma ramp (entries 0, 128, 255): red 100 25700 51100, green 200 25800 51200, blue 300 25900 51300");
  win32::ResetState();
}

}  // namespace
