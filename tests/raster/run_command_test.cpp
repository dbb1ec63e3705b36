// `footlight run` with its drawing options, run as a process.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

int RunFootlight(const std::string& args, std::string* out = nullptr) {
  const std::string cmd = std::string(FOOTLIGHT_BINARY_DIR) + "/footlight run " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buffer[4096];
  size_t n;
  std::string text;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  const int raw = pclose(p);
  if (out) *out = text;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string TempPng(const char* name) {
  return ::testing::TempDir() + "/" + name + "_" + std::to_string(getpid()) + ".png";
}

// Every pixel of the picture at `path` has `rgb`; its size is w x h.
void ExpectPicture(const std::string& path, int w, int h, uint32_t rgb) {
  int width = 0, height = 0, channels = 0;
  unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr) << path;
  EXPECT_EQ(width, w);
  EXPECT_EQ(height, h);
  int wrong = 0;
  for (int i = 0; i < width * height; ++i) {
    const uint32_t c = static_cast<uint32_t>(pixels[3 * i]) << 16 | pixels[3 * i + 1] << 8 | pixels[3 * i + 2];
    wrong += c != rgb ? 1 : 0;
  }
  EXPECT_EQ(wrong, 0);
  stbi_image_free(pixels);
  std::remove(path.c_str());
}

TEST(RunCommand, WritesTheClearedFrameAtTheChosenSize) {
  const std::string png = TempPng("cleared");
  std::string out;
  ASSERT_EQ(RunFootlight("--frames 2 --size 64x48 --clear 336699 --png " + png, &out), 0) << out;
  ExpectPicture(png, 64, 48, 0x336699);
  EXPECT_NE(out.find("frames per second: "), std::string::npos) << out;
  EXPECT_NE(out.find("rasterised: "), std::string::npos) << out;
  EXPECT_NE(out.find("texts: "), std::string::npos) << out;
}

TEST(RunCommand, WithoutRasterisingTheClearStillReachesThePicture) {
  const std::string png = TempPng("unrasterised");
  std::string out;
  ASSERT_EQ(RunFootlight("--frames 1 --size 8x4 --clear A0B1C2 --no-raster --png " + png, &out), 0) << out;
  ExpectPicture(png, 8, 4, 0xA0B1C2);
}

TEST(RunCommand, BadDrawingOptionsGiveStatusTwo) {
  for (const char* bad : {"--size 0x48", "--size 64", "--size 64x48x2", "--size x", "--size 5000x10",
                          "--clear 33669", "--clear GG0000", "--clear", "--png"}) {
    std::string out;
    EXPECT_EQ(RunFootlight(bad, &out), 2) << bad << ": " << out;
    EXPECT_NE(out.find("footlight: "), std::string::npos) << bad;
  }
  EXPECT_EQ(RunFootlight("--png /nonexistent-dir/x.png --frames 1 --size 4x4"), 1);
}

}  // namespace
