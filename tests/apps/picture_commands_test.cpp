// --png and --size on the commands that draw, run as processes on a copy of the sample tree.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <filesystem>
#include <string>

#include "support/run_footlight.h"
#include "support/temp_tree.h"

namespace {

using footlight_testing::Lines;
using footlight_testing::Result;
using footlight_testing::RunFootlight;

struct PictureCase {
  const char* name;
  const char* before;  // a command that makes what this one reads, or ""
  const char* args;
  // A pixel of the 96 x 72 picture that what the command draws makes white, or -1.
  int whiteX = -1, whiteY = -1;
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class PictureCommand : public ::testing::TestWithParam<PictureCase> {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples", tree_.Root(),
                          std::filesystem::copy_options::recursive);
    if (*GetParam().before != '\0') {
      const Result made = Run(GetParam().before);
      ASSERT_EQ(made.status, 0) << made.out;
    }
  }
  Result Run(const std::string& args) const {
    return RunFootlight(args + " --resource " + tree_.Root(), tree_.Root());
  }
  std::string Picture(const std::string& name) const { return tree_.Root() + "/" + name; }

 private:
  testing_support::TempTree tree_;
};

// The picture is the size asked and its middle, where each command puts what it draws, is not
// all the black each frame is cleared to.
TEST_P(PictureCommand, WritesThePictureOfWhatItDrewAtTheSizeAsked) {
  const Result r = Run(std::string(GetParam().args) + " --size 96x72 --png shot.png");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("wrote shot.png\n"), std::string::npos) << r.out;
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load(Picture("shot.png").c_str(), &width, &height, &channels, 3);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(width, 96);
  EXPECT_EQ(height, 72);
  int drawn = 0;
  for (int y = height / 3; y < 2 * height / 3; ++y)
    for (int x = width / 3; x < 2 * width / 3; ++x) {
      const unsigned char* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
      drawn += p[0] != 0 || p[1] != 0 || p[2] != 0 ? 1 : 0;
    }
  if (GetParam().whiteX >= 0) {
    const unsigned char* p = rgb + (static_cast<size_t>(GetParam().whiteY) * width + GetParam().whiteX) * 3;
    EXPECT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255) << +p[0] << "," << +p[1] << "," << +p[2];
  }
  stbi_image_free(rgb);
  EXPECT_GT(drawn, 0);
}

TEST_P(PictureCommand, ABadSizeOrAMissingFolderIsOneErrorLineAndNoPicture) {
  const Result zero = Run(std::string(GetParam().args) + " --size 0x0 --png shot.png");
  EXPECT_EQ(zero.status, 2) << zero.out;
  EXPECT_EQ(Lines(zero.out),
            std::vector<std::string>{"footlight: option --size takes a size WxH, each 1 to 4096, got \"0x0\""});
  EXPECT_FALSE(std::filesystem::exists(Picture("shot.png")));

  // A folder that is not there is found before the frames: the reason is the only line.
  const Result missing = Run(std::string(GetParam().args) + " --size 8x8 --png missing/shot.png");
  EXPECT_EQ(missing.status, 2) << missing.out;
  EXPECT_EQ(Lines(missing.out), std::vector<std::string>{"footlight: cannot write missing/shot.png: no such folder"});
  EXPECT_FALSE(std::filesystem::exists(Picture("missing")));

}

INSTANTIATE_TEST_SUITE_P(
    , PictureCommand,
    ::testing::Values(
        PictureCase{"tree_run", "tree build resource/models/tree/stage.obj out/stage",
                    "tree run out/stage.geo --eye 10,1.5,-8 --at 10,1.5,12"},
        PictureCase{"portals", "", "portals resource/models/rooms.obj --frames 2 --next-cell 2"},
        // The object's white box stands below its head, which the command prints at 48,37.
        PictureCase{"object_draw", "", "object 10005 --scene 1 --draw --box --frames 2", 48, 40},
        PictureCase{"camera", "", "camera --scene 1 --mode look --frames 2"}),
    [](const ::testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

}  // namespace
