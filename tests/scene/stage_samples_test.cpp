// The committed pictures and models of sample stage 1 are what the generator makes, and its
// light maps hold the light of the stage's spots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "stage_samples.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(StageSamples, CommittedFilesAreTheGeneratorsOutput) {
  const std::filesystem::path root = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples";
  const bool write = std::getenv("FOOTLIGHT_WRITE_SAMPLES") != nullptr;
  for (const auto& [name, bytes] : scene_samples::AllSamples()) {
    if (write) {
      std::filesystem::create_directories((root / name).parent_path());
      std::ofstream out(root / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(ReadAll(root / name), bytes) << name << " differs from what the generator makes";
  }
}

// The red of a light map's texel (x, y), first row at the top, from the committed file.
int LightMapRed(const std::string& name, int x, int y) {
  const auto bytes = ReadAll(std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples/resource/models/stage/textures" / name);
  const int width = bytes.size() > 13 ? bytes[12] | bytes[13] << 8 : 0;
  const size_t at = 18 + (static_cast<size_t>(y) * width + x) * 4 + 2;
  return at < bytes.size() ? bytes[at] : -1;
}

TEST(StageSamples, TheBackWallIsBrightestWhereTheRightSpotMeetsItAndFallsOffAway) {
  // The back wall's map runs from x = 10 on its left to x = -10 on its right (as the room sees
  // it), 64 x 32 texels over 20 x 10 units. The right spot meets it at (4, 2.5): texel
  // ((10 - 4) x 3.2, (10 - 2.5) x 3.2) = (19, 24).
  const int centre = LightMapRed("wall_light.tga", 19, 24);
  const int edge = LightMapRed("wall_light.tga", 19, 4);  // 6.25 units above, outside the cone
  const int far = LightMapRed("wall_light.tga", 60, 24);  // 18.75 units along, at x -8.75
  EXPECT_GT(centre, 140);
  EXPECT_LT(edge, centre - 40);
  EXPECT_LT(far, centre - 40);
  // Unlit, a wall keeps the base of 0.14: 36.
  EXPECT_EQ(far, 36);
  // The floor's map, 64 x 64 over x -10..10 and z 10..-10, is bright under the left spot's aim,
  // (-4, 0, -3): texel (19, 22); at (5.8, 0, -3), texel (50, 22), neither spot reaches.
  EXPECT_GT(LightMapRed("floor_light.tga", 19, 22), 140);
  EXPECT_EQ(LightMapRed("floor_light.tga", 50, 22), 36);
}

}  // namespace
