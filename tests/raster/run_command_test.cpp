// `footlight run` with its drawing options, run as a process.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

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
  EXPECT_NE(out.find("\nwrote " + png + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("frames per second: "), std::string::npos) << out;
  EXPECT_NE(out.find("rasterised: "), std::string::npos) << out;
  EXPECT_NE(out.find("texts: "), std::string::npos) << out;
}

TEST(RunCommand, WithoutRasterisingTheClearStillReachesThePicture) {
  const std::string png = TempPng("unrasterised");
  std::string out;
  ASSERT_EQ(RunFootlight("--frames 1 --size 8x4 --clear 0xA0B1C2 --no-raster --png " + png, &out), 0) << out;
  ExpectPicture(png, 8, 4, 0xA0B1C2);
}

// A device that takes no bytes fails the write only after the frames; the line says why.
TEST(RunCommand, APictureThatCannotBeWrittenIsStatusOne) {
  std::string out;
  EXPECT_EQ(RunFootlight("--png /dev/full --frames 1 --size 4x4", &out), 1);
  EXPECT_NE(out.find("\nlive host blocks: 0\nfootlight: cannot write /dev/full: no space left on device\n"),
            std::string::npos)
      << out;
}

// ---- The glow options ----

const std::string kBackdrop = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/textures/backdrop.tga";

struct Picture {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  uint32_t At(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
  }
  int Sum(int x, int y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
    return p[0] + p[1] + p[2];
  }
};

// Reads the picture a run wrote and removes the file.
Picture TakePicture(const std::string& png, const std::string& options) {
  Picture picture;
  int channels = 0;
  unsigned char* pixels = stbi_load(png.c_str(), &picture.w, &picture.h, &channels, 3);
  if (pixels == nullptr) {
    ADD_FAILURE() << "no picture for " << options;
    return picture;
  }
  picture.rgb.assign(pixels, pixels + static_cast<size_t>(picture.w) * picture.h * 3);
  stbi_image_free(pixels);
  std::remove(png.c_str());
  return picture;
}

// footlight run with the glow alone, 400 x 300 (the glow needs 256 in both directions), the
// sample backdrop, and the options given; the picture of its last frame.
Picture RunBackdrop(const std::string& options) {
  const std::string png = TempPng("glow");
  std::string out;
  const int status =
      RunFootlight("--class CGlow --frames 2 --size 400x300 --backdrop " + kBackdrop + " --png " + png + " " + options,
                   &out);
  EXPECT_EQ(status, 0) << options << ": " << out;
  return TakePicture(png, options);
}

TEST(RunCommand, TheBackdropFillsTheFrameScaledToTheBackBuffer) {
  const Picture p = RunBackdrop("");
  ASSERT_EQ(p.w, 400);
  ASSERT_EQ(p.h, 300);
  // The sample is 200 x 150: each of its pixels is a 2 x 2 block here.
  EXPECT_EQ(p.At(80, 80), 0xFFFFFFu);    // the white square's corner (40, 40)
  EXPECT_EQ(p.At(139, 139), 0xFFFFFFu);  // and its last pixel (69, 69)
  EXPECT_EQ(p.At(140, 110), 0u);
  EXPECT_EQ(p.At(79, 110), 0u);
  EXPECT_EQ(p.At(260, 110), 0xFFDC3Cu);  // the yellow disc's centre (130, 55)
  EXPECT_EQ(p.At(200, 225), 0x3CE6FFu);  // the cyan bar
  EXPECT_EQ(p.At(0, 0), 0u);
  EXPECT_EQ(p.At(399, 299), 0u);
}

TEST(RunCommand, TheGlowBrightensNearTheShapesAndLeavesTheGroundFarFromThem) {
  const Picture plain = RunBackdrop("");
  const Picture glow = RunBackdrop("--glow");
  const Picture strong = RunBackdrop("--glow --glow-strength 100");
  ASSERT_EQ(glow.rgb.size(), plain.rgb.size());
  ASSERT_EQ(strong.rgb.size(), plain.rgb.size());
  // Just outside the square's left and top edges, the disc's right edge and below the bar.
  for (auto [x, y] : {std::pair<int, int>{79, 110}, {110, 79}, {301, 110}, {200, 237}}) {
    EXPECT_GT(glow.Sum(x, y), plain.Sum(x, y)) << x << "," << y;
    EXPECT_GT(strong.Sum(x, y), glow.Sum(x, y)) << x << "," << y;
  }
  // Far from every shape the ground stays black, and nothing gets darker anywhere.
  for (auto [x, y] : {std::pair<int, int>{10, 10}, {390, 10}, {200, 160}, {10, 290}, {390, 290}}) {
    EXPECT_EQ(glow.At(x, y), plain.At(x, y)) << x << "," << y;
    EXPECT_EQ(strong.At(x, y), plain.At(x, y)) << x << "," << y;
  }
  int darker = 0;
  for (size_t i = 0; i < plain.rgb.size(); ++i) darker += glow.rgb[i] < plain.rgb[i] ? 1 : 0;
  EXPECT_EQ(darker, 0);
}

TEST(RunCommand, GlowStrengthZeroOrABackBufferUnder256LeavesTheBackdropAsItIs) {
  const Picture plain = RunBackdrop("");
  EXPECT_EQ(RunBackdrop("--glow --glow-strength 0").rgb, plain.rgb);
  EXPECT_EQ(RunBackdrop("--glow --glow-blend 0").rgb, plain.rgb);
  // 320 x 240: the 256 x 256 targets cannot share the frame's depth surface.
  const Picture small = RunBackdrop("--size 320x240");
  EXPECT_EQ(RunBackdrop("--size 320x240 --glow").rgb, small.rgb);
  EXPECT_EQ(small.w, 320);
}

TEST(RunCommand, BadGlowOptionsAreRefused) {
  for (const char* bad : {"--glow --class CBaseCamera", "--backdrop x.tga --clear 000000"}) {
    std::string out;
    EXPECT_EQ(RunFootlight(bad, &out), 2) << bad << ": " << out;
    EXPECT_NE(out.find("footlight: "), std::string::npos) << bad;
  }
  std::string out;
  EXPECT_EQ(RunFootlight("--backdrop /nonexistent-dir/x.tga --class CGlow", &out), 1) << out;
  EXPECT_EQ(out, "footlight: cannot open /nonexistent-dir/x.tga: no such file or directory\n");
  EXPECT_EQ(RunFootlight("--backdrop " + std::string(FOOTLIGHT_SOURCE_DIR) + "/README.md --class CGlow", &out), 1);
  EXPECT_NE(out.find("not a picture"), std::string::npos) << out;
}

}  // namespace

namespace {

// The picture of `footlight run --scene 1` on the sample tree, 400 x 300, cleared to black first.
Picture RunStage(const std::string& options) {
  const std::string png = TempPng("stage");
  std::string out;
  const int status = RunFootlight("--scene 1 --resource " + std::string(FOOTLIGHT_SOURCE_DIR) +
                                      "/samples --frames 2 --size 400x300 --clear 000000 --png " + png + " " + options,
                                  &out);
  EXPECT_EQ(status, 0) << options << ": " << out;
  EXPECT_NE(out.find("wrote " + png), std::string::npos) << out;
  EXPECT_NE(out.find("live host blocks: 0"), std::string::npos) << out;
  return TakePicture(png, options);
}

// Over 20 s under the thread checker: two runs of the instrumented program that draw the
// sample stage through the software rasteriser, plain and with the glow's extra passes.
TEST(RunCommand, TheSceneRunDrawsTheStageIntoThePictureAndTheGlowBrightensIt) {
  const Picture plain = RunStage("");
  ASSERT_EQ(plain.w, 400);
  ASSERT_EQ(plain.h, 300);
  long lit = 0, plainSum = 0;
  for (int y = 0; y < plain.h; ++y)
    for (int x = 0; x < plain.w; ++x) {
      lit += plain.At(x, y) != 0 ? 1 : 0;
      plainSum += plain.Sum(x, y);
    }
  // The stage fills most of the view from the origin camera.
  EXPECT_GT(lit, plain.w * plain.h / 2);
  const Picture glowing = RunStage("--glow");
  ASSERT_EQ(glowing.w, 400);
  long glowSum = 0;
  for (int y = 0; y < glowing.h; ++y)
    for (int x = 0; x < glowing.w; ++x) glowSum += glowing.Sum(x, y);
  EXPECT_GT(glowSum, plainSum);

  std::string out;
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  EXPECT_EQ(RunFootlight("--scene 1 --resource " + samples + " --frames 1 --png /dev/full", &out), 1) << out;
}

}  // namespace
