// A device that fills up, for tests of writers: a file-size limit makes every write past it
// fail as a full device would, in this process only.
#pragma once
#include <signal.h>
#include <sys/resource.h>

namespace testing_support {

// Runs `write` with writes past `bytes` bytes of a file failing; the limit and the handling of
// the limit's signal are restored afterwards. Returns what `write` returns.
template <class Write>
auto WithFullDevice(rlim_t bytes, Write write) {
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &small);
  const auto result = write();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  return result;
}

}  // namespace testing_support
