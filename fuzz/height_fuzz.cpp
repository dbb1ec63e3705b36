// The terrain height file: a file either gives a field of its own side or one line of reason;
// a field written back reads back sample for sample.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "host/height_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  host::HeightField field;
  std::string error;
  if (!host::ParseHeightFile(data, size, &field, &error)) {
    FUZZ_CHECK(!error.empty(), "a refusal without a reason");
    return 0;
  }
  const size_t side = static_cast<size_t>(field.side);
  FUZZ_CHECK(side >= 2 && side <= 2049 && size == 2 * side * side, "a field of a side the size does not give");
  FUZZ_CHECK(field.heights.size() == 2049u * 2049u && field.patches.size() == 64u * 64u, "a field of the wrong size");
  std::vector<int16_t> samples(side * side);
  for (size_t x = 0; x < side; ++x)
    for (size_t z = 0; z < side; ++z) samples[x * side + z] = field.heights[x * 2049 + z];
  const std::vector<uint8_t> again = host::FormatHeightFile(samples.data(), field.side);
  FUZZ_CHECK(again == std::vector<uint8_t>(data, data + size), "a field written back is not the file read");
  return 0;
}
