// The brush mask file: a file either gives a mask of sides 1..4096 with every sample there, or
// one line of reason; a mask written back reads back byte for byte.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "host/mask_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  host::MaskImage mask;
  std::string error;
  if (!host::ParseMaskFile(data, size, &mask, &error)) {
    FUZZ_CHECK(!error.empty(), "a refusal without a reason");
    return 0;
  }
  FUZZ_CHECK(mask.width >= 1 && mask.width <= host::kMaskFileMaxSide && mask.height >= 1 &&
                 mask.height <= host::kMaskFileMaxSide,
             "a mask of a side out of range");
  FUZZ_CHECK(mask.bytes.size() == static_cast<size_t>(mask.width) * static_cast<size_t>(mask.height),
             "a mask without all its samples");
  FUZZ_CHECK(mask.bytes.size() <= size, "more samples than the file has bytes");
  const std::vector<uint8_t> again = host::FormatMaskFile(mask.bytes.data(), mask.width, mask.height);
  host::MaskImage reread;
  FUZZ_CHECK(host::ParseMaskFile(again.data(), again.size(), &reread, &error), "a mask written back does not read");
  FUZZ_CHECK(reread.width == mask.width && reread.height == mask.height && reread.bytes == mask.bytes,
             "a mask written back reads back otherwise");
  return 0;
}
