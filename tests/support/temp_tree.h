// A temporary resource folder, removed at the end.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

class TempTree {
 public:
  TempTree() {
    static int counter = 0;
    root_ = (std::filesystem::temp_directory_path() /
             ("footlight-tree-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
                .string();
    std::filesystem::create_directories(root_);
  }
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  const std::string& Root() const { return root_; }
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const auto path = std::filesystem::path(root_) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void PutText(const std::string& name, const std::string& text) const {
    Put(name, std::vector<uint8_t>(text.begin(), text.end()));
  }

 private:
  std::string root_;
};

}  // namespace testing_support
