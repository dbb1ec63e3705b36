#include "host/height_file.h"

#include <cstdio>

#include "host/file_bytes.h"

namespace host {

bool ParseHeightFile(const uint8_t* bytes, size_t size, HeightField* out, std::string* error) {
  int side = 0;
  if (size % 2 == 0) {
    const size_t samples = size / 2;
    for (size_t s = 2; s <= static_cast<size_t>(kHeightFieldSide) && s * s <= samples; ++s)
      if (s * s == samples) side = static_cast<int>(s);
  }
  if (side == 0) {
    *error = "a height file holds side x side 16-bit samples with side 2 to 2049; " + std::to_string(size) +
             " bytes is no such size";
    return false;
  }
  HeightField field;
  field.side = side;
  field.heights.assign(static_cast<size_t>(kHeightFieldSide) * kHeightFieldSide, 0);
  field.patches.assign(64 * 64, 1);
  for (int x = 0; x < side; ++x) {
    for (int z = 0; z < side; ++z) {
      const size_t at = (static_cast<size_t>(x) * side + z) * 2;
      field.heights[static_cast<size_t>(x) * kHeightFieldSide + z] =
          static_cast<int16_t>(static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
    }
  }
  *out = std::move(field);
  return true;
}

bool ReadHeightFile(const std::string& path, HeightField* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, "height", kHeightFileMaxBytes, &bytes, error)) return false;
  return ParseHeightFile(bytes.data(), bytes.size(), out, error);
}

std::vector<uint8_t> FormatHeightFile(const int16_t* samples, int side) {
  std::vector<uint8_t> bytes(static_cast<size_t>(side) * side * 2);
  for (size_t i = 0; i < static_cast<size_t>(side) * side; ++i) {
    const auto v = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return bytes;
}

}  // namespace host
