// The brush mask file: an 8-bit binary PGM ("P5", width, height, a largest value of 1..255, each
// separated by whitespace, '#' comments to the end of a line allowed between them, one whitespace
// byte, then width x height bytes row by row). Rows run along z and columns along x, as the
// terrain's paint mask takes them; samples are scaled to 0..255 by the largest value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

inline constexpr int kMaskFileMaxSide = 4096;
// The largest mask file read: the largest image and room for a header with comments.
inline constexpr uint64_t kMaskFileMaxBytes = static_cast<uint64_t>(kMaskFileMaxSide) * kMaskFileMaxSide + 65536;

struct MaskImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bytes;  // width x height, row-major
};

// False with a one-line reason for a bad header, a side outside 1..4096, a sample above the
// largest value or fewer sample bytes than the header names. Bytes after the image are ignored.
bool ParseMaskFile(const uint8_t* bytes, size_t size, MaskImage* out, std::string* error);
bool ReadMaskFile(const std::string& path, MaskImage* out, std::string* error);
// The file's bytes, largest value 255.
std::vector<uint8_t> FormatMaskFile(const uint8_t* samples, int width, int height);

}  // namespace host
