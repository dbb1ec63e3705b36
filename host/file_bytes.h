// A whole file's bytes for the host's readers of small formats.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// False with "cannot open/read <what> file <path>" when the file cannot be read whole.
bool ReadFileBytes(const std::string& path, const char* what, std::vector<uint8_t>* out, std::string* error);

}  // namespace host
