#include "host/mask_file.h"

#include "host/file_bytes.h"

namespace host {

namespace {

// Reads the header's numbers through one cursor that never passes the end.
class HeaderCursor {
 public:
  HeaderCursor(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  size_t Offset() const { return at_; }

  // Whitespace and comments, then a decimal number of at most `most`; -1 when there is none.
  long Number(long most) {
    for (;;) {
      while (at_ < size_ && IsSpace(bytes_[at_])) ++at_;
      if (at_ < size_ && bytes_[at_] == '#') {
        while (at_ < size_ && bytes_[at_] != '\n' && bytes_[at_] != '\r') ++at_;
        continue;
      }
      break;
    }
    long value = -1;
    while (at_ < size_ && bytes_[at_] >= '0' && bytes_[at_] <= '9') {
      value = (value < 0 ? 0 : value) * 10 + (bytes_[at_++] - '0');
      if (value > most) return -1;
    }
    return value;
  }
  // The one whitespace byte that ends the header.
  bool EndOfHeader() {
    if (at_ >= size_ || !IsSpace(bytes_[at_])) return false;
    ++at_;
    return true;
  }

 private:
  static bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
  const uint8_t* bytes_;
  size_t size_;
  size_t at_ = 2;  // past the magic
};

}  // namespace

bool ParseMaskFile(const uint8_t* bytes, size_t size, MaskImage* out, std::string* error) {
  if (size < 2 || bytes[0] != 'P' || bytes[1] != '5') {
    *error = "a mask is a binary PGM that starts with P5";
    return false;
  }
  HeaderCursor cursor(bytes, size);
  const long width = cursor.Number(kMaskFileMaxSide);
  const long height = cursor.Number(kMaskFileMaxSide);
  if (width < 1 || height < 1) {
    *error = "the mask's width and height must be 1 to " + std::to_string(kMaskFileMaxSide);
    return false;
  }
  const long largest = cursor.Number(65535);
  if (largest < 1 || largest > 255) {
    *error = "the mask's largest value must be 1 to 255 (8-bit samples)";
    return false;
  }
  if (!cursor.EndOfHeader()) {
    *error = "the mask's header does not end in one whitespace byte";
    return false;
  }
  const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (size - cursor.Offset() < samples) {
    *error = "the mask names " + std::to_string(width) + " x " + std::to_string(height) + " samples but holds " +
             std::to_string(size - cursor.Offset()) + " bytes";
    return false;
  }
  MaskImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.bytes.resize(samples);
  const uint8_t* raster = bytes + cursor.Offset();
  for (size_t i = 0; i < samples; ++i) {
    if (raster[i] > largest) {
      *error = "mask sample " + std::to_string(i) + " is " + std::to_string(raster[i]) + ", above the largest value " +
               std::to_string(largest);
      return false;
    }
    image.bytes[i] = static_cast<uint8_t>((raster[i] * 255 + largest / 2) / largest);
  }
  *out = std::move(image);
  return true;
}

bool ReadMaskFile(const std::string& path, MaskImage* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, "mask", kMaskFileMaxBytes, &bytes, error)) return false;
  return ParseMaskFile(bytes.data(), bytes.size(), out, error);
}

std::vector<uint8_t> FormatMaskFile(const uint8_t* samples, int width, int height) {
  const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), samples, samples + static_cast<size_t>(width) * static_cast<size_t>(height));
  return out;
}

}  // namespace host
