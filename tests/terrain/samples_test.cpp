// The committed terrain samples are what the generator makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/height_file.h"
#include "sample_generator.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(TerrainSamples, CommittedFilesAreTheGeneratorsOutput) {
  const std::filesystem::path root = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples";
  const bool write = std::getenv("FOOTLIGHT_WRITE_SAMPLES") != nullptr;
  for (const auto& [name, bytes] : terrain_samples::AllSamples()) {
    if (write) {
      std::filesystem::create_directories((root / name).parent_path());
      std::ofstream out(root / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(ReadAll(root / name), bytes) << name << " differs from what the generator makes";
  }
}

TEST(TerrainSamples, TheHillsAreA513FieldWithARidgeAcrossTheSeams) {
  host::HeightField field;
  std::string error;
  ASSERT_TRUE(host::ReadHeightFile(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource/terrain/hills.r16", &field,
                                   &error))
      << error;
  EXPECT_EQ(field.side, 513);
  auto at = [&](int x, int z) { return field.heights[static_cast<size_t>(x) * 2049 + z]; };
  // On the ridge at the block corner the ground stands well above the flats beside it.
  EXPECT_GT(at(256, 256), at(256, 330) + 80);
  EXPECT_EQ(at(600, 600), 0);
}
