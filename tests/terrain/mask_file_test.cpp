// The brush mask file: PGM headers, sizes and samples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/footlight/terrain_command.h"
#include "host/mask_file.h"
#include "sample_generator.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& header, size_t samples, uint8_t value = 7) {
  std::vector<uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), samples, value);
  return out;
}

bool Parse(const std::vector<uint8_t>& bytes, host::MaskImage* image, std::string* error) {
  return host::ParseMaskFile(bytes.data(), bytes.size(), image, error);
}

}  // namespace

TEST(MaskFile, WritesAndReadsBackByteForByte) {
  const std::vector<uint8_t> committed = terrain_samples::BrushMask();
  host::MaskImage image;
  std::string error;
  ASSERT_TRUE(Parse(committed, &image, &error)) << error;
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 16);
  EXPECT_EQ(image.bytes[0], 0);          // a corner lies beyond the fall-off
  EXPECT_EQ(image.bytes[7 * 16 + 7], 254);  // 255 - 2 x 255 / 450 in whole numbers
  EXPECT_EQ(host::FormatMaskFile(image.bytes.data(), 16, 16), committed);
}

TEST(MaskFile, HeadersWithCommentsAndOtherLargestValuesRead) {
  host::MaskImage image;
  std::string error;
  ASSERT_TRUE(Parse(Bytes("P5 # made by hand\n3\t2 # w h\n# the largest\n1\r", 6, 1), &image, &error)) << error;
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.bytes, std::vector<uint8_t>(6, 255));  // scaled to full alpha
  std::vector<uint8_t> half = Bytes("P5\n2 1\n100\n", 0);
  half.push_back(50);
  half.push_back(0);
  half.push_back(99);  // after the image: ignored
  ASSERT_TRUE(Parse(half, &image, &error)) << error;
  EXPECT_EQ(image.bytes, (std::vector<uint8_t>{128, 0}));  // 50 x 255 / 100, rounded
}

TEST(MaskFile, EveryBadHeaderSizeAndSampleIsRefused) {
  host::MaskImage image;
  image.width = 99;
  for (const auto& bytes : std::vector<std::vector<uint8_t>>{
           {},
           {'P'},
           Bytes("P2\n1 1\n255\n", 1),           // text samples
           Bytes("P5\n", 0),                     // no size
           Bytes("P5\n0 4\n255\n", 0),           // empty
           Bytes("P5\n4097 1\n255\n", 4097),     // too wide
           Bytes("P5\n99999999999999999999 1\n255\n", 1),
           Bytes("P5\n2 2\n256\n", 8),           // 16-bit samples
           Bytes("P5\n2 2\n0\n", 4),
           Bytes("P5\n2 2\n255", 0),             // no byte after the header
           Bytes("P5\n2 2\n255x", 4),
           Bytes("P5\n2 2\n255\n", 3),           // short by one sample
           Bytes("P5\n2 2\n200\n", 4, 201),      // above the largest value
           Bytes("P5\n-2 2\n255\n", 4),
       }) {
    std::string error;
    EXPECT_FALSE(Parse(bytes, &image, &error)) << std::string(bytes.begin(), bytes.end());
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  EXPECT_EQ(image.width, 99);  // a refused file leaves the image alone
}

TEST(ConeWeights, OneAtTheHotSpotAndNoneAtTheRim) {
  const std::vector<float> w = footlight::ConeWeights(5, 3, 2, 2);
  ASSERT_EQ(w.size(), 15u);
  auto at = [&](int i, int j) { return w[static_cast<size_t>(i * 3 + j)]; };
  EXPECT_FLOAT_EQ(at(1, 1), 1.0f);
  // Toward x: one cell to the near edge, three to the far one.
  EXPECT_FLOAT_EQ(at(0, 1), 0.0f);
  EXPECT_FLOAT_EQ(at(2, 1), 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(at(3, 1), 1.0f / 3.0f);
  EXPECT_FLOAT_EQ(at(4, 1), 0.0f);
  EXPECT_FLOAT_EQ(at(1, 0), 0.0f);
  EXPECT_FLOAT_EQ(at(1, 2), 0.0f);
  EXPECT_NEAR(at(2, 0), 0.0f, 1e-7);  // sqrt(1/9 + 1) is past the rim
  EXPECT_EQ(footlight::ConeWeights(1, 1, 1, 1), std::vector<float>{1.0f});
}
