// footlight run as a process: its exit status and everything it printed.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace footlight_testing {

struct Result {
  int status = -1;
  std::string out;
};

// footlight with these arguments, run in `directory` ("" : the test's own); `environment` goes
// before the command ("NAME=value ...").
inline Result RunFootlight(const std::string& args, const std::string& directory = "",
                           const std::string& environment = "") {
  const std::string cmd = (directory.empty() ? std::string() : "cd '" + directory + "' && ") + environment +
                          (environment.empty() ? "" : " ") + std::string(FOOTLIGHT_BINARY_DIR) + "/footlight " + args +
                          " 2>&1";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace footlight_testing
