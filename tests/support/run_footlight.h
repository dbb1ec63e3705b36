// footlight run as a process: its exit status and everything it printed.
#pragma once
#include <string>
#include <vector>

#include "support/process_run.h"

namespace footlight_testing {

using Result = testing_support::ProcessRun;

// footlight with these arguments, run in `directory` ("" : the test's own); `environment` goes
// before the command ("NAME=value ...").
inline Result RunFootlight(const std::string& args, const std::string& directory = "",
                           const std::string& environment = "") {
  return testing_support::RunProcess((directory.empty() ? std::string() : "cd '" + directory + "' && ") +
                                     environment + (environment.empty() ? "" : " ") +
                                     std::string(FOOTLIGHT_BINARY_DIR) + "/footlight " + args + " 2>&1");
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

inline bool HasLine(const std::string& out, const std::string& line) {
  for (const std::string& l : Lines(out))
    if (l == line) return true;
  return false;
}

// How many lines begin with `prefix`.
inline size_t CountLines(const std::string& out, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& l : Lines(out)) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

}  // namespace footlight_testing
