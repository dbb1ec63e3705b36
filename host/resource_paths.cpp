#include "host/resource_paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "win32/crt_string.h"

namespace host {
namespace {

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

}  // namespace

std::string ResolveResourcePath(const std::string& root, const char* path, bool forWriting) {
  if (root.empty() || path == nullptr || *path == '\0') return std::string();
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) return std::string();
  if (p.rfind("//", 0) == 0) return std::string();

  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    const std::string part = p.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return std::string();  // would leave the root
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }

  std::string current = root;
  while (current.size() > 1 && current.back() == '/') current.pop_back();
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const std::string match = FindEntry(current, parts[i]);
    if (!match.empty()) {
      current += "/" + match;
      if (!last && !IsDirectory(current)) return std::string();
      continue;
    }
    if (!forWriting) return std::string();
    current += "/" + parts[i];
    if (!last) {
      if (mkdir(current.c_str(), 0755) != 0 && errno != EEXIST) return std::string();
      if (!IsDirectory(current)) return std::string();
    }
  }
  return current;
}

}  // namespace host
