#include "host/file_bytes.h"

#include <cstdint>

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

bool ReadServiceFile(IIniService& files, const char* path, const char* what, uint64_t limit,
                     std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  const std::string head = std::string(what) + " file " + path;
  const HANDLE file = files.OpenFile(path, kFileAccessRead, kFileShareRead, kFileOpenExisting);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) {
    *error = "cannot open " + head;
    return false;
  }
  uint32_t high = 0;
  const uint64_t size = files.GetFileSize(file, &high) | static_cast<uint64_t>(high) << 32;
  // One ReadFile moves at most 4 GiB.
  bool ok = size <= limit && size <= UINT32_MAX;
  if (!ok) {
    *error = "cannot read " + head + ": holds " + std::to_string(size) + " bytes, more than the " +
             std::to_string(limit) + " it may";
  } else {
    out->resize(static_cast<size_t>(size));
    uint32_t got = 0;
    ok = size == 0 || (files.ReadFile(file, out->data(), static_cast<uint32_t>(size), &got) != 0 && got == size);
    if (!ok) {
      out->clear();
      *error = "cannot read " + head + ": it does not read whole";
    }
  }
  files.CloseFile(file);
  return ok;
}

}  // namespace host
