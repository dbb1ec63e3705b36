// The terrain height file: raw signed 16-bit little-endian samples, X-major (sample (x, z) at
// x side + z), side x side of them, the side (2..2049) given by the file size alone. A field
// read from it stands at the origin of the terrain's 2049 x 2049 grid; the rest is 0 and every
// patch is on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "terrain/terrain_edit.h"

namespace host {

inline constexpr int kHeightFieldSide = 2049;
// The largest height file: 2049 x 2049 samples.
inline constexpr uint64_t kHeightFileMaxBytes = 2ull * kHeightFieldSide * kHeightFieldSide;

struct HeightField {
  int side = 0;                  // of the file
  std::vector<int16_t> heights;  // 2049 x 2049, X-major
  std::vector<uint8_t> patches;  // 64 x 64, all 1

  // The view UpdateAllBlocks takes; valid while the field lives.
  TerrainHeightMap Map() const { return TerrainHeightMap{heights.data(), patches.data()}; }
};

// The file's bytes into a field. False with a one-line reason for a size that is not
// 2 x side^2 with side 2..2049.
bool ParseHeightFile(const uint8_t* bytes, size_t size, HeightField* out, std::string* error);
// Reads a file of this system.
bool ReadHeightFile(const std::string& path, HeightField* out, std::string* error);
// The file's bytes for side x side samples (X-major).
std::vector<uint8_t> FormatHeightFile(const int16_t* samples, int side);

}  // namespace host
