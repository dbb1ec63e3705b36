#include "host/file_bytes.h"

#include "win32/file_system.h"

namespace host {

bool ReadFileBytes(const std::string& path, const char* what, uint64_t limit, std::vector<uint8_t>* out,
                   std::string* error) {
  std::string reason;
  const win32::FileRead status = win32::ReadRegularFile(path, limit, out, &reason);
  if (status == win32::FileRead::Read) return true;
  *error = std::string(status == win32::FileRead::NotOpened ? "cannot open " : "cannot read ") + what + " file " +
           path + ": " + reason;
  return false;
}

}  // namespace host
