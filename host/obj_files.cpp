#include "host/obj_files.h"

#include <sstream>

#include "host/file_bytes.h"
#include "win32/file_system.h"
#include "win32/win32.h"

namespace host {

MtlLibraryReader::MtlLibraryReader(const std::string& objPath) {
  const size_t cut = objPath.find_last_of("\\/");
  if (cut != std::string::npos) folder_ = objPath.substr(0, cut + 1);
}

bool MtlLibraryReader::operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                                  std::map<std::string, int>* map, std::string* warn, std::string* err) {
  const std::string path = folder_ + name;
  const std::string file = win32::ResolvePath(win32::GetResourceRoot(), path.c_str(), win32::PathMode::Read);
  if (file.empty()) {
    if (GetLastError() == ERROR_ACCESS_DENIED) {
      if (refusal_.empty()) refusal_ = "the material library " + path + " leads out of the resource root";
    } else if (warn != nullptr) {
      *warn += "material library " + name + " not found\n";
    }
    return false;
  }
  std::vector<uint8_t> bytes;
  std::string line;
  if (!ReadFileBytes(file, "material", kMtlFileMaxBytes, &bytes, &line)) {
    if (refusal_.empty()) refusal_ = line;
    return false;
  }
  texts_.emplace_back(bytes.begin(), bytes.end());
  std::istringstream text(texts_.back());
  tinyobj::LoadMtl(map, materials, &text, warn, err);
  return true;
}

}  // namespace host
