// The value formats every command shares, parsed in process.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "apps/footlight/cli.h"

namespace {

namespace cli = footlight::cli;

std::string Format(const char* format, double a, double b, double c) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// Any three floats printed in full come back exactly, as a point and as either end of a ray.
TEST(CliValues, PrintedPointsAndRaysReadBackExactly) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> any(-1e6f, 1e6f);
  for (int i = 0; i < 200; ++i) {
    const float x = any(random), y = any(random), z = any(random);
    const std::string text = Format("%.9g,%.9g,%.9g", x, y, z);
    cli::Point p;
    ASSERT_TRUE(cli::ParsePoint(text, &p)) << text;
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.z, z);
    cli::Ray r;
    ASSERT_TRUE(cli::ParseRay("0,0,0:" + text, &r));
    EXPECT_EQ(r.to.z, z);
    EXPECT_EQ(r.from.x, 0.0f);
  }
  cli::Point p;
  cli::Ray r;
  for (const char* bad : {"1,2", "1,2,3,4", "1,,3", "1,2,x", "nan,0,0", "1,2,inf", " 1,2,3", "1,2,3 ", "1e39,0,0"})
    EXPECT_FALSE(cli::ParsePoint(bad, &p)) << bad;
  EXPECT_FALSE(cli::ParseRay("1,2,3 4,5,6", &r));
}

// A colour is exactly six hex digits, with or without 0x; a decimal text is refused and the error
// names the same colour in hex.
TEST(CliValues, AColourIsSixHexDigitsAndADecimalOneIsShownInHex) {
  for (uint32_t v = 0; v <= 0xFFFFFF; v += 0x10203) {
    cli::Colour c;
    for (const char* form : {"%06X", "%06x", "0x%06X", "0X%06x"}) {
      char text[16];
      std::snprintf(text, sizeof text, form, v);
      ASSERT_TRUE(cli::ParseColour(text, &c)) << text;
      EXPECT_EQ(c.rgb, v);
    }
    const std::string decimal = std::to_string(v);
    if (decimal.size() != 6) {
      EXPECT_FALSE(cli::ParseColour(decimal, &c)) << decimal;
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%06X", v);
      EXPECT_NE(cli::ColourWants(decimal).find("(" + decimal + " is " + hex + ")"), std::string::npos) << decimal;
    }
  }
  cli::Colour c;
  for (const char* bad : {"", "0x", "12345", "1234567", "GG0000", "0x0000000", "-12345"})
    EXPECT_FALSE(cli::ParseColour(bad, &c)) << bad;
}

TEST(CliValues, SizesPixelsAndWholeNumbersKeepTheirBounds) {
  cli::Size size;
  EXPECT_TRUE(cli::ParseSize("1x4096", 4096, &size));
  EXPECT_EQ(size.height, 4096);
  for (const char* bad : {"0x3", "4097x1", "4x", "x4", "4by4", "4x4x4", "-1x4"})
    EXPECT_FALSE(cli::ParseSize(bad, 4096, &size)) << bad;
  cli::Pixel pixel;
  EXPECT_TRUE(cli::ParsePixel("65535,0", &pixel));
  EXPECT_FALSE(cli::ParsePixel("65536,0", &pixel));
  EXPECT_FALSE(cli::ParsePixel("-1,0", &pixel));
  long long n = 0;
  EXPECT_FALSE(cli::ParseWhole(" 5", 0, 9, &n));
  EXPECT_FALSE(cli::ParseWhole("5x", 0, 9, &n));
  EXPECT_FALSE(cli::ParseWhole("99999999999999999999", 0, 9, &n));
  EXPECT_EQ(cli::WholeWants(1, 100000), "a whole number from 1 to 100000");
  EXPECT_EQ(cli::WholeWants(0, INT32_MAX), "a whole number from 0");
}

}  // namespace
