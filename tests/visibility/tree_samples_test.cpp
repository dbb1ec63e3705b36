// The committed sample stage is what the generator makes, and it holds what the tree's tools
// are shown with: a record over 800 triangles, a wall in front of the columns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/build_input_writer.h"
#include "stage_samples.h"
#include "win32/file_system.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(TreeSamples, CommittedFilesAreTheGeneratorsOutput) {
  const std::filesystem::path root = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples";
  const bool write = std::getenv("FOOTLIGHT_WRITE_SAMPLES") != nullptr;
  for (const auto& [name, bytes] : tree_samples::AllSamples()) {
    if (write) {
      std::filesystem::create_directories((root / name).parent_path());
      std::ofstream out(root / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(ReadAll(root / name), bytes) << name << " differs from what the generator makes";
  }
}

TEST(TreeSamples, TheStageHasItsFiveObjectsAndADomeOverTheBatchLimit) {
  win32::SetResourceRoot(std::string(FOOTLIGHT_SOURCE_DIR) + "/samples/resource");
  host::BuildInput in;
  std::string error;
  ASSERT_TRUE(host::BuildInputFromObj("models\\tree\\stage.obj", &in, &error)) << error;
  win32::SetResourceRoot("");
  // floor, walls, hiding wall, columns, dome: one record each, in file order.
  ASSERT_EQ(in.records.size(), 5u);
  EXPECT_EQ(in.records[0].triangleCount, 2u);
  EXPECT_EQ(in.records[1].triangleCount, 6u * 12u);
  EXPECT_EQ(in.records[2].triangleCount, 12u);
  EXPECT_EQ(in.records[3].triangleCount, 3u * 12u);
  EXPECT_EQ(in.records[4].triangleCount, static_cast<uint32_t>(tree_samples::kDomeTriangles));
  EXPECT_GT(tree_samples::kDomeTriangles, 800);
  // The wall spans the columns across and stands taller, in front of them seen from -z.
  EXPECT_LT(tree_samples::kWallMin[0], tree_samples::kColumnsMin[0]);
  EXPECT_GT(tree_samples::kWallMax[0], tree_samples::kColumnsMax[0]);
  EXPECT_GT(tree_samples::kWallMax[1], tree_samples::kColumnsMax[1]);
  EXPECT_LT(tree_samples::kWallMax[2], tree_samples::kColumnsMin[2]);
  // Four textured materials and the plain one for faces without a material; the scene is the box
  // of the rooms.
  EXPECT_EQ(in.names, (std::vector<std::string>{"floor.tga", "wall.tga", "column.tga", "dome.tga"}));
  EXPECT_EQ(in.materials.size(), 5u);
  EXPECT_FLOAT_EQ(in.size[0], 40.4f);
  EXPECT_FLOAT_EQ(in.centre[2], 5.1f);
}

}  // namespace
