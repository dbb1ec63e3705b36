#include "sample_generator.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "host/height_file.h"
#include "host/mask_file.h"
#include "terrain/terrain_patch_lists.h"

namespace terrain_samples {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

// A rounded bump: height (1 - d^2 / r^2)^2 inside the radius, in integers.
int64_t Bump(int x, int z, int cx, int cz, int r, int height) {
  const int64_t d2 = static_cast<int64_t>(x - cx) * (x - cx) + static_cast<int64_t>(z - cz) * (z - cz);
  const int64_t r2 = static_cast<int64_t>(r) * r;
  if (d2 >= r2) return 0;
  const int64_t f = r2 - d2;
  return height * f / r2 * f / r2;
}

}  // namespace

std::vector<int16_t> HillHeights() {
  constexpr int kSide = 513;
  std::vector<int16_t> h(static_cast<size_t>(kSide) * kSide);
  for (int x = 0; x < kSide; ++x) {
    for (int z = 0; z < kSide; ++z) {
      int64_t v = 20;
      v += Bump(x, z, 120, 140, 110, 90);
      v += Bump(x, z, 390, 100, 90, 60);
      v += Bump(x, z, 140, 400, 100, 75);
      v += Bump(x, z, 420, 430, 80, 50);
      // A ridge along the diagonal, across the block seams at x = 256 and z = 256.
      const int off = std::abs(x - z);
      if (off < 40) v += (40 - off) * 3;
      // A ripple of one unit so that neighbouring quads differ.
      v += ((x * 7 + z * 13) % 3) - 1;
      h[static_cast<size_t>(x) * kSide + z] = static_cast<int16_t>(v);
    }
  }
  return h;
}

std::vector<uint8_t> CheckerDds(int side, uint32_t a, uint32_t b) {
  std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
  Put32(&out, 124);
  Put32(&out, 0x100F);  // caps, height, width, pitch, pixel format
  Put32(&out, static_cast<uint32_t>(side));
  Put32(&out, static_cast<uint32_t>(side));
  Put32(&out, static_cast<uint32_t>(side * 4));
  Put32(&out, 0);  // depth
  Put32(&out, 0);  // levels
  for (int i = 0; i < 11; ++i) Put32(&out, 0);
  Put32(&out, 32);    // pixel format size
  Put32(&out, 0x41);  // RGB with alpha
  Put32(&out, 0);
  Put32(&out, 32);
  Put32(&out, 0x00FF0000u);
  Put32(&out, 0x0000FF00u);
  Put32(&out, 0x000000FFu);
  Put32(&out, 0xFF000000u);
  Put32(&out, 0x1000);  // a texture
  for (int i = 0; i < 4; ++i) Put32(&out, 0);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) Put32(&out, ((x / 2 + y / 2) % 2) != 0 ? a : b);
  return out;
}

std::vector<uint8_t> PatchIndexFile() {
  std::vector<uint16_t> indices;
  std::vector<uint8_t> first, second;
  auto add = [&](int family, int level, int neighbour, int triangles, auto build) {
    const auto start = static_cast<uint32_t>(indices.size());
    indices.resize(indices.size() + static_cast<size_t>(triangles) * 3);
    if (triangles > 0) build(indices.data() + start);
    return std::array<uint32_t, 5>{start, static_cast<uint32_t>(triangles), static_cast<uint32_t>(family),
                                   static_cast<uint32_t>(level), static_cast<uint32_t>(neighbour)};
  };
  std::vector<std::array<uint32_t, 5>> records;
  for (int level = 0; level < kPatchLevels; ++level)
    records.push_back(add(4, level, level, InteriorListTriangles(level),
                          [level](uint16_t* out) { BuildInteriorList(level, out); }));
  for (int family = 0; family < kPatchEdgeFamilies; ++family)
    for (int level = 0; level < kPatchLevels; ++level)
      for (int n = 0; n < kPatchLevels; ++n)
        records.push_back(add(family, level, n, EdgeListTriangles(level, n),
                              [=](uint16_t* out) { BuildEdgeList(family, level, n, out); }));
  // First table: start and triangle count of each edge list (144 x 8 bytes). Second: family,
  // level and neighbour of each (144 x 12 bytes). The interior lists lead the index block.
  for (size_t i = kPatchLevels; i < records.size(); ++i) {
    Put32(&first, records[i][0]);
    Put32(&first, records[i][1]);
    Put32(&second, records[i][2]);
    Put32(&second, records[i][3]);
    Put32(&second, records[i][4]);
  }
  std::vector<uint8_t> out;
  Put32(&out, static_cast<uint32_t>(indices.size() * 2));
  for (uint16_t i : indices) Put16(&out, i);
  out.insert(out.end(), first.begin(), first.end());
  out.insert(out.end(), second.begin(), second.end());
  return out;
}

std::vector<uint8_t> BrushMask() {
  std::vector<uint8_t> samples;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int d2 = (2 * x - 15) * (2 * x - 15) + (2 * y - 15) * (2 * y - 15);  // 4 x squared distance
      samples.push_back(static_cast<uint8_t>(std::max(0, 255 - d2 * 255 / 450)));
    }
  return host::FormatMaskFile(samples.data(), 16, 16);
}

std::vector<uint8_t> WalkPatch(const std::vector<int16_t>& hills) {
  constexpr int kSide = 513, kStep = 8, kPoints = (kSide - 1) / kStep + 1;
  std::string text =
      "# A walk patch for the terrain editor: the ground of resource/terrain/hills.r16 (at height\n"
      "# scale 1) every 8 samples, each square cut along the ridge's diagonal, so that the walker the\n"
      "# editor puts at (222, 0, 333) stands and walks on the field's surface. scripts/editor.sh puts\n"
      "# it in place of scene 1's stage walk patch in a copy of the sample tree. Made by\n"
      "# tests/terrain/sample_generator.cpp.\n";
  for (int i = 0; i < kPoints; ++i)
    for (int j = 0; j < kPoints; ++j) {
      const int x = i * kStep, z = j * kStep;
      text += "v " + std::to_string(x) + " " + std::to_string(hills[static_cast<size_t>(x) * kSide + z]) + " " +
              std::to_string(z) + "\n";
    }
  auto at = [](int i, int j) { return std::to_string(i * kPoints + j + 1); };
  for (int i = 0; i + 1 < kPoints; ++i)
    for (int j = 0; j + 1 < kPoints; ++j) {
      text += "f " + at(i, j) + " " + at(i + 1, j) + " " + at(i + 1, j + 1) + "\n";
      text += "f " + at(i, j) + " " + at(i + 1, j + 1) + " " + at(i, j + 1) + "\n";
    }
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::map<std::string, std::vector<uint8_t>> AllSamples() {
  const auto hills = HillHeights();
  return {
      {"editor/walk_patch.obj", WalkPatch(hills)},
      {"TerrainPatchIndexInfo.dat", PatchIndexFile()},
      {"resource/terrain/hills.r16", host::FormatHeightFile(hills.data(), 513)},
      {"resource/terrain/grass.dds", CheckerDds(8, 0xFF3A7D2Cu, 0xFF4F9A3Au)},
      {"resource/terrain/rock.dds", CheckerDds(8, 0xFF6E6A64u, 0xFF8C877Fu)},
      {"resource/terrain/mask16.pgm", BrushMask()},
  };
}

}  // namespace terrain_samples
