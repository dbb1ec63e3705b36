#include "host/runtime_files.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "win32/win32.h"

namespace host {
namespace {

// A folder (not a link) of this user with no access for group or others.
bool Private(const std::string& path, std::string* why) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) *why = "is no folder";
  else if (st.st_uid != geteuid()) *why = "belongs to another user";
  else if ((st.st_mode & 077) != 0) *why = "may be entered by others";
  else return true;
  return false;
}

}  // namespace

std::string RuntimeFolderIn(const char* xdgRuntimeDir, const std::string& parent, std::string* error) {
  std::string why;
  if (xdgRuntimeDir != nullptr && xdgRuntimeDir[0] == '/' && Private(xdgRuntimeDir, &why)) return xdgRuntimeDir;
  const std::string own = parent + "/footlight-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) why = std::strerror(errno);
  else if (Private(own, &why)) return own;
  if (error != nullptr) *error = "no private runtime folder: " + own + " " + why;
  return std::string();
}

std::string RuntimeFolder(std::string* error) { return RuntimeFolderIn(std::getenv("XDG_RUNTIME_DIR"), "/tmp", error); }

std::string FilmPlayerPidFile(int64_t window, std::string* error) {
  const std::string folder = RuntimeFolder(error);
  if (folder.empty()) return folder;
  return folder + "/" + win32::IpcPrefix() + "footlight-filmplayer-" + std::to_string(window) + ".pid";
}

std::string FilmMappingFile() {
  std::string name = win32::IpcPrefix() + "KelvoraVideo";
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return "/dev/shm/" + name;
}

bool FilmMappingLeftBehind() {
  struct stat st {};
  if (stat(FilmMappingFile().c_str(), &st) != 0) return false;
  // Every holder keeps a shared lock on the memory while it lives (win32.h, CreateFileMappingA).
  // The kernel's list of locks shows them; taking a lock to find out would keep the last holder
  // from removing the name as it leaves.
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, pid, where;
    fields >> number >> kind;
    if (kind == "->") fields >> kind;  // one waiting for the lock
    fields >> advisory >> mode >> pid >> where;
    if (kind == "FLOCK" && where == file) return false;
  }
  return true;
}

}  // namespace host
