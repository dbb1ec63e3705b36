// footlight video and footlight-makeclip, run as processes on the sample clip and on clips
// made for the test.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/process_run.h"

namespace {

using testing_support::ProcessRun;

ProcessRun Program(const std::string& program, const std::string& args) {
  return testing_support::RunProcess(std::string(FOOTLIGHT_BINARY_DIR) + "/" + program + " " + args + " 2>&1");
}

std::string Temp(const std::string& name) {
  return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + name)).string();
}

const std::string kSamples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource";

// Mean colour of a block of the image.
struct Mean {
  double r = 0, g = 0, b = 0;
};
Mean MeanOf(const unsigned char* rgb, int width, int x0, int y0, int x1, int y1) {
  Mean m;
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x, ++n) {
      const unsigned char* p = rgb + 3 * (static_cast<size_t>(y) * width + x);
      m.r += p[0], m.g += p[1], m.b += p[2];
    }
  m.r /= n, m.g /= n, m.b /= n;
  return m;
}

TEST(VideoCommand, PlaysTheSampleClipAndWritesTheUprightPicture) {
  for (const char* path : {"", "--reader"}) {
    const std::string png = Temp("video.png");
    const ProcessRun r = Program("footlight", std::string("video 'Video\\Sample.wmv' ") + path + " --resource " + kSamples +
                                           " --frames 60 --elapsed 5 --png " + png);
    ASSERT_EQ(r.status, 0) << r.out;
    // 30 frames at 15 a second; the sound's last block may run a little longer.
    const size_t at = r.out.find("duration ");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(r.out.substr(at + 9)), 2.0, 0.1);
    EXPECT_NE(r.out.find("live host blocks: 0"), std::string::npos);
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load(png.c_str(), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    const Mean top = MeanOf(rgb, width, 40, 4, 156, 26);
    const Mean bottom = MeanOf(rgb, width, 40, 94, 156, 116);
    EXPECT_GT(top.r, 220);
    EXPECT_LT(top.b, 35);
    EXPECT_GT(bottom.b, 220);
    EXPECT_LT(bottom.r, 35);
    stbi_image_free(rgb);
    std::filesystem::remove(png);
  }
}

TEST(VideoCommand, AFileThatDoesNotOpenIsOneErrorLine) {
  const ProcessRun r = Program("footlight", "video 'video\\none.wmv' --resource " + kSamples);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "footlight: cannot open video\\none.wmv below the resource root \"" + kSamples + "\": no such file\n");
}

TEST(VideoCommand, TheClipMakerRefusesAnOddWidthForWmv2) {
  const std::string out = Temp("odd.asf");
  const ProcessRun r = Program("footlight-makeclip", out + " --size 101x75");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "footlight-makeclip: WMV2 takes even sizes only: 101x75\n");
  EXPECT_FALSE(std::filesystem::exists(out));
  const ProcessRun fine = Program("footlight-makeclip", Temp("odd.mkv") + " --size 101x75 --frames 2");
  EXPECT_EQ(fine.status, 0) << fine.out;
  std::filesystem::remove(Temp("odd.mkv"));
}

}  // namespace
