// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput, for the normal builds where
// libFuzzer is not linked: every file named, and every file below every folder named, once
// each in name order. A failing input aborts the target, which fails the test; a folder that
// holds no input fails too, so a corpus that went missing is noticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> inputs;
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) inputs.push_back(it->path());
      if (ec || inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs in %s\n", argv[i]);
        return 1;
      }
      std::sort(inputs.begin(), inputs.end());
    } else {
      inputs.emplace_back(argv[i]);
    }
    for (const fs::path& input : inputs) {
      std::ifstream in(input, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
        return 1;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
      // A copy of exactly the input's size, so a read past its end is caught by the sanitizer.
      std::vector<uint8_t> data(bytes.begin(), bytes.end());
      LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  return 0;
}
