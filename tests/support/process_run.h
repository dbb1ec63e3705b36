// Runs a shell command and collects its standard output (with standard error when the command
// redirects it) and its exit status.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testing_support {

struct ProcessRun {
  int status = -1;
  std::string out;
};

inline ProcessRun RunProcess(const std::string& command) {
  ProcessRun r;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

}  // namespace testing_support
