#include "win32/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "win32/crt_string.h"
#include "win32/win32.h"

namespace win32 {
namespace {

std::mutex g_rootLock;
std::string g_root;  // "" : the current directory

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `dir` that `name` matches: the exact name when it exists, else the
// case-insensitive match that sorts first; "" for none.
std::string FindEntry(const std::string& dir, const std::string& name) {
  if (Exists(dir + "/" + name)) return name;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return std::string();
  std::string best;
  while (dirent* e = readdir(d)) {
    const std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (_stricmp(entry.c_str(), name.c_str()) == 0 && (best.empty() || entry < best)) best = entry;
  }
  closedir(d);
  return best;
}

std::string Fail(DWORD error) {
  SetLastError(error);
  return std::string();
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The real path of `path`; "" when it has none (it or a link on the way dangles).
std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  return real ? std::string(real.get()) : std::string();
}

bool Within(const std::string& real, const std::string& realRoot) {
  if (real == realRoot) return true;
  const std::string prefix = realRoot == "/" ? realRoot : realRoot + "/";
  return real.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool PathComponents(const char* path, std::vector<std::string>* parts) {
  parts->clear();
  if (path == nullptr) return true;
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) return false;
  if (p.rfind("//", 0) == 0) return false;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    const std::string part = p.substr(start, end - start);
    if (part == "..") {
      if (parts->empty()) return false;  // would leave the root
      parts->pop_back();
    } else if (!part.empty() && part != ".") {
      parts->push_back(part);
    }
    start = end + 1;
  }
  return true;
}

std::string ResolvePath(const std::string& root, const char* path, PathMode mode) {
  if (path == nullptr || *path == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  std::vector<std::string> parts;
  if (!PathComponents(path, &parts)) return Fail(ERROR_ACCESS_DENIED);

  std::string current = root.empty() ? std::string(".") : root;
  while (current.size() > 1 && current.back() == '/') current.pop_back();
  // Components matched by name never climb, so only a link can lead out of the root.
  std::string realRoot;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const std::string match = FindEntry(current, parts[i]);
    if (!match.empty()) {
      current += (current == "/" ? "" : "/") + match;
      if (IsLink(current)) {
        if (realRoot.empty()) realRoot = RealPath(root.empty() ? std::string(".") : root);
        const std::string real = RealPath(current);
        if (realRoot.empty() || real.empty() || !Within(real, realRoot)) return Fail(ERROR_ACCESS_DENIED);
      }
      if (!last && !IsDirectory(current)) return Fail(ERROR_PATH_NOT_FOUND);
      continue;
    }
    if (mode == PathMode::Read) return Fail(last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    current += (current == "/" ? "" : "/") + parts[i];
    if (!last) {
      // ERROR_ACCESS_DENIED is kept for paths that leave the root.
      if (mkdir(current.c_str(), 0755) != 0 && errno != EEXIST) return Fail(ERROR_PATH_NOT_FOUND);
      if (!IsDirectory(current)) return Fail(ERROR_PATH_NOT_FOUND);
    }
  }
  return current;
}

namespace {

// Opens `path` by the read step's rules; Read with the open descriptor in *fd and the size in
// *size, or the refusal with its reason.
FileRead OpenRegular(const std::string& path, uint64_t limit, int* fd, uint64_t* size, std::string* reason) {
  *fd = -1;
  auto fail = [&](FileRead status, const std::string& why) {
    if (reason != nullptr) *reason = why;
    return status;
  };
  // Not blocking: a pipe with no writer would hold the open forever.
  const int opened = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (opened < 0) return fail(FileRead::NotOpened, std::strerror(errno));
  struct stat st {};
  FileRead status = FileRead::Read;
  std::string why;
  if (fstat(opened, &st) != 0) {
    status = FileRead::Failed;
    why = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    status = FileRead::NotAFile;
    why = "is a folder";
  } else if (!S_ISREG(st.st_mode)) {
    status = FileRead::NotAFile;
    why = "is not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > limit) {
    status = FileRead::TooLarge;
    why = "holds " + std::to_string(st.st_size) + " bytes, more than the " + std::to_string(limit) + " it may";
  }
  if (status != FileRead::Read) {
    close(opened);
    return fail(status, why);
  }
  *fd = opened;
  *size = static_cast<uint64_t>(st.st_size);
  return FileRead::Read;
}

}  // namespace

FileRead CheckRegularFile(const std::string& path, uint64_t limit, std::string* reason) {
  int fd = -1;
  uint64_t size = 0;
  const FileRead status = OpenRegular(path, limit, &fd, &size, reason);
  if (fd >= 0) close(fd);
  return status;
}

FileRead ReadRegularFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* out, std::string* reason) {
  out->clear();
  int fd = -1;
  uint64_t size = 0;
  const FileRead status = OpenRegular(path, limit, &fd, &size, reason);
  if (status != FileRead::Read) return status;
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  out->resize(static_cast<size_t>(size));
  // A file that shrinks meanwhile gives what it still holds; one that grows, its size when opened.
  size_t done = 0;
  while (done < out->size()) {
    const ssize_t n = read(fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      out->clear();
      if (reason != nullptr) *reason = std::strerror(error);
      return FileRead::Failed;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out->resize(done);
  return FileRead::Read;
}

void SetResourceRoot(const std::string& root) {
  std::lock_guard<std::mutex> hold(g_rootLock);
  g_root = root;
}

std::string GetResourceRoot() {
  std::lock_guard<std::mutex> hold(g_rootLock);
  return g_root.empty() ? std::string(".") : g_root;
}

}  // namespace win32
