// The generator of the tree's sample stage in samples/: three OBJ meshes with their MTL
// libraries and the textures they name, made with fixed formatting so that a test can make them
// again and compare them byte for byte with the committed files.
//
//   stage.obj: the floor, two rooms joined by a doorway in the wall between them, a free wall in
//     the right room hiding three columns behind it, and a dome of 912 triangles in the left room;
//   fence.obj: an alpha-tested fence (blend class 1); pane.obj: a blended glass pane (class 2).
//
// To write them into the tree: FOOTLIGHT_WRITE_SAMPLES=1 build/tests/test_visibility
//   --gtest_filter=TreeSamples.*
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tree_samples {

// The free wall's box and the columns' box behind it, for the tests.
inline constexpr float kWallMin[3] = {4.0f, 0.0f, 4.9f}, kWallMax[3] = {16.0f, 4.0f, 5.1f};
inline constexpr float kColumnsMin[3] = {5.5f, 0.0f, 11.5f}, kColumnsMax[3] = {14.5f, 3.0f, 12.5f};
inline constexpr int kDomeTriangles = 912;

// Every sample file by its path below samples/.
std::map<std::string, std::vector<uint8_t>> AllSamples();

}  // namespace tree_samples
