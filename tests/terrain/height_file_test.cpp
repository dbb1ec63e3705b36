// The host's height file.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/height_file.h"
#include "host/mask_file.h"

TEST(HeightFile, RoundTripsAndStandsAtTheOrigin) {
  const int16_t samples[9] = {-32768, -1, 0, 1, 258, 32767, 7, -300, 4096};
  const auto bytes = host::FormatHeightFile(samples, 3);
  ASSERT_EQ(bytes.size(), 18u);
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[1], 0x80);
  EXPECT_EQ(bytes[8], 0x02);  // 258 little-endian
  EXPECT_EQ(bytes[9], 0x01);
  host::HeightField field;
  std::string error;
  ASSERT_TRUE(host::ParseHeightFile(bytes.data(), bytes.size(), &field, &error)) << error;
  EXPECT_EQ(field.side, 3);
  for (int x = 0; x < 3; ++x)
    for (int z = 0; z < 3; ++z) EXPECT_EQ(field.heights[static_cast<size_t>(x) * 2049 + z], samples[x * 3 + z]);
  EXPECT_EQ(field.heights[3], 0);
  EXPECT_EQ(field.heights[3 * 2049], 0);
  EXPECT_EQ(field.patches.size(), 4096u);
  EXPECT_EQ(std::count(field.patches.begin(), field.patches.end(), 1), 4096);
  std::vector<int16_t> back(9);
  for (int i = 0; i < 9; ++i) back[static_cast<size_t>(i)] = field.heights[static_cast<size_t>(i / 3) * 2049 + i % 3];
  EXPECT_EQ(host::FormatHeightFile(back.data(), 3), bytes);
}

TEST(HeightFile, SizesThatAreNoSquareFieldAreRefused) {
  host::HeightField field;
  std::string error;
  const std::vector<uint8_t> big(2049u * 2049u * 2u, 0);
  EXPECT_TRUE(host::ParseHeightFile(big.data(), big.size(), &field, &error));
  EXPECT_EQ(field.side, 2049);
  for (size_t size : {size_t{0}, size_t{2}, size_t{7}, size_t{10}, size_t{2050} * 2050 * 2, size_t{3 * 4 * 2}}) {
    const std::vector<uint8_t> bytes(size, 1);
    error.clear();
    EXPECT_FALSE(host::ParseHeightFile(bytes.data(), bytes.size(), &field, &error)) << size;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  EXPECT_FALSE(host::ReadHeightFile("/nonexistent/hills.r16", &field, &error));
}

// Both terrain files are read by the host's one step: only a regular file, and never one above
// the format's largest, whose bytes are not read at all.
TEST(HeightFile, FoldersDevicesAndOversizeFilesAreOneLineEach) {
  char pattern[] = "/tmp/footlight-height-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string huge = dir + "/huge.r16";
  { std::ofstream(huge) << ""; }
  std::filesystem::resize_file(huge, host::kHeightFileMaxBytes + 2);  // sparse: nothing is written
  host::HeightField field;
  host::MaskImage mask;
  std::string error;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir, "cannot read height file " + dir + ": is a folder"},
      {"/dev/zero", "cannot read height file /dev/zero: is not a regular file"},
      {huge, "cannot read height file " + huge + ": holds 8396804 bytes, more than the 8396802 it may"}};
  for (const auto& [path, line] : cases) {
    EXPECT_FALSE(host::ReadHeightFile(path, &field, &error));
    EXPECT_EQ(error, line);
  }
  EXPECT_FALSE(host::ReadMaskFile(dir, &mask, &error));
  EXPECT_EQ(error, "cannot read mask file " + dir + ": is a folder");
  EXPECT_FALSE(host::ReadMaskFile("/dev/zero", &mask, &error));
  EXPECT_EQ(error, "cannot read mask file /dev/zero: is not a regular file");
  std::filesystem::remove_all(dir);
}
