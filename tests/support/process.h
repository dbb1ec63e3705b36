// Runs a program of the build as a process and collects what it printed.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testing_support {

struct ProcessResult {
  int status = -1;  // the exit status, -1 when it did not exit
  std::string out;  // stdout and stderr together
};

// `command` is run by the shell, stderr joined to stdout.
inline ProcessResult RunProcess(const std::string& command) {
  ProcessResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

}  // namespace testing_support
