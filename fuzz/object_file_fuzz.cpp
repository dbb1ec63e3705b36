// The object file a "Renderable" loads: the input is the file. Whatever it holds, the reader takes
// it whole or refuses it, and what it took writes out into a file that reads back the same.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "host/object_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  host::ObjectFile file;
  std::string error;
  if (!host::ParseObjectFile(fuzz::AsText(data, size), &file, &error)) {
    FUZZ_CHECK(!error.empty(), "a refusal gave no reason");
    return 0;
  }
  FUZZ_CHECK(file.height >= 0.0f && file.radius >= 0.0f, "a negative height or radius was taken");
  for (int i = 0; i < 3; ++i) FUZZ_CHECK(file.boxMin[i] <= file.boxMax[i], "an inside-out box was taken");
  const std::string text = host::WriteObjectFile(file);
  host::ObjectFile again;
  FUZZ_CHECK(host::ParseObjectFile(text, &again, &error), "what was written does not read back");
  FUZZ_CHECK(host::WriteObjectFile(again) == text, "what was written reads back different");
  FUZZ_CHECK(again.parts.size() == file.parts.size() && again.bones.size() == file.bones.size() &&
                 again.parameters.size() == file.parameters.size(),
             "the counts changed through a write");
  return 0;
}
