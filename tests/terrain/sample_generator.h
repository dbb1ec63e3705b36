// The generator of the terrain samples in samples/: deterministic, integer arithmetic only, so
// that a test can make them again and compare them byte for byte with the committed files.
//
// To write them into the tree: FOOTLIGHT_WRITE_SAMPLES=1 build/tests/test_terrain
//   --gtest_filter=TerrainSamples.*
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace terrain_samples {

// The hills: 513 x 513 samples, X-major.
std::vector<int16_t> HillHeights();
// An uncompressed 32-bit DDS of side x side texels, a checker of two colours (ARGB).
std::vector<uint8_t> CheckerDds(int side, uint32_t a, uint32_t b);
// The patch index file: the project's own lists (interior, then each edge family by level and
// neighbour) and two tables that name where each list starts and what it is.
std::vector<uint8_t> PatchIndexFile();
// A 16 x 16 binary PGM brush mask that falls off from the middle.
std::vector<uint8_t> BrushMask();

// The terrain editor's walk patch: an OBJ of the hills' ground every 8 samples.
std::vector<uint8_t> WalkPatch(const std::vector<int16_t>& hills);

// Every sample file by its path below samples/.
std::map<std::string, std::vector<uint8_t>> AllSamples();

}  // namespace terrain_samples
