// What the fuzz targets share: a failed check that stops the run with a message (a finding
// like a crash), and a private resource folder per process for the readers that take files.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

// Not assert(): it must hold in every build type.
#define FUZZ_CHECK(condition, what)                                                    \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "fuzz check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, \
                   what, #condition);                                                  \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace fuzz {

// A fresh folder below the temporary directory, removed when the process ends normally.
class ScratchRoot {
 public:
  ScratchRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "footlight-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("fuzz: mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~ScratchRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchRoot(const ScratchRoot&) = delete;
  ScratchRoot& operator=(const ScratchRoot&) = delete;

  const std::string& path() const { return path_; }

  // Writes `bytes` at `relative` (a '/' path below the root), replacing what was there.
  void Put(const std::string& relative, std::string_view bytes) const {
    const std::filesystem::path file = std::filesystem::path(path_) / relative;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good(), "the scratch file could not be written");
  }

  // The bytes at `relative`; "" when there is no such file.
  std::string Get(const std::string& relative) const {
    std::ifstream in(std::filesystem::path(path_) / relative, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz
