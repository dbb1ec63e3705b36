// PNG files of all-zero pixels made in a few milliseconds whatever their sides: the image data
// is one fixed-code deflate block of a zero byte and then copies of 258 bytes a distance of 1
// back, 13 bits each, so a file declaring 16 million pixels holds about 100 KB.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void Chunk(std::vector<uint8_t>& out, const char* kind, const std::vector<uint8_t>& body) {
  PutBe32(out, static_cast<uint32_t>(body.size()));
  std::vector<uint8_t> typed(kind, kind + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBe32(out, Crc32(typed.data(), typed.size()));
}

// A zlib stream of `count` zero bytes (count >= 1).
inline std::vector<uint8_t> ZlibZeros(uint64_t count) {
  std::vector<uint8_t> out = {0x78, 0x01};
  uint32_t bits = 0;
  int used = 0;
  auto put = [&](uint32_t value, int n) {  // value's low n bits, first bit first
    for (int i = 0; i < n; ++i) {
      bits |= ((value >> i) & 1u) << used;
      if (++used == 8) {
        out.push_back(static_cast<uint8_t>(bits));
        bits = 0;
        used = 0;
      }
    }
  };
  auto code = [&](uint32_t value, int n) {  // a Huffman code, its highest bit first
    for (int i = n - 1; i >= 0; --i) put((value >> i) & 1u, 1);
  };
  put(1, 1);  // the last block
  put(1, 2);  // fixed codes
  code(0x30, 8);  // a literal 0
  uint64_t left = count - 1;
  for (; left >= 258; left -= 258) {
    code(0xC5, 8);  // length 258
    code(0, 5);     // distance 1
  }
  for (; left > 0; --left) code(0x30, 8);
  code(0, 7);  // end of block
  if (used > 0) out.push_back(static_cast<uint8_t>(bits));
  PutBe32(out, static_cast<uint32_t>((count % 65521) << 16 | 1));  // Adler-32 of zeros
  return out;
}

// A PNG of `width` x `height` zero pixels of bit depth `depth` and colour kind `colour` (0 grey,
// 2 colour, 4 grey and alpha, 6 colour and alpha). With `cut` the image data stops after that
// many bytes, a header that promises far more than it holds.
inline std::vector<uint8_t> ZeroPng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour,
                                    size_t cut = SIZE_MAX) {
  const uint32_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  const uint64_t rowBytes = 1 + (static_cast<uint64_t>(width) * channels * depth + 7) / 8;
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> header;
  PutBe32(header, width);
  PutBe32(header, height);
  header.insert(header.end(), {depth, colour, 0, 0, 0});
  Chunk(out, "IHDR", header);
  std::vector<uint8_t> data = ZlibZeros(rowBytes * height);
  if (data.size() > cut) data.resize(cut);
  Chunk(out, "IDAT", data);
  Chunk(out, "IEND", {});
  return out;
}

}  // namespace testpng
