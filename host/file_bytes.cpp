#include "host/file_bytes.h"

#include <fstream>
#include <iterator>

namespace host {

bool ReadFileBytes(const std::string& path, const char* what, std::vector<uint8_t>* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot open ") + what + " file " + path;
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = std::string("cannot read ") + what + " file " + path;
    return false;
  }
  return true;
}

}  // namespace host
