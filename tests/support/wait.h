// Every wait of the tests. A test waits for something the code signals (a socket or inotify
// turning readable, a condition variable, a blocking call of the code under test), never for
// a stretch of time, and gives up only at one generous deadline shared by the whole suite: a
// busy machine makes a test slower, not red. A wait that gives up names what never happened.
#pragma once
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

namespace testing_support {

using Clock = std::chrono::steady_clock;

// 60 s, times FOOTLIGHT_TEST_TIME_SCALE when that is set (the sanitizer builds run several
// times slower).
inline std::chrono::milliseconds WaitDeadline() {
  double scale = 1;
  if (const char* s = std::getenv("FOOTLIGHT_TEST_TIME_SCALE")) scale = std::max(1.0, std::atof(s));
  return std::chrono::milliseconds(static_cast<long long>(60000 * scale));
}

inline ::testing::AssertionResult NeverHappened(const std::string& what) {
  return ::testing::AssertionFailure() << "never happened within " << WaitDeadline().count() / 1000
                                       << " s: " << what;
}

// `block` is a call that waits at most the milliseconds it is given and says whether what it
// waited for came (WaitForSingleObject, GetEvent, the idle wait of the streaming threads).
inline ::testing::AssertionResult Await(const std::string& what, const std::function<bool(uint32_t)>& block) {
  if (block(static_cast<uint32_t>(WaitDeadline().count()))) return ::testing::AssertionSuccess();
  return NeverHappened(what);
}

// Until `done()`, looking again each time `fd` turns readable (`done` drains it), or, with no
// descriptor, for state nothing signals (a child reaped by another thread, a thread gone to
// sleep, frames paced by the real clock), after a pause that grows to 10 ms.
inline ::testing::AssertionResult WaitUntil(const std::string& what, const std::function<bool()>& done,
                                            int fd = -1) {
  const Clock::time_point end = Clock::now() + WaitDeadline();
  std::chrono::microseconds pause(100);
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return NeverHappened(what);
    if (fd >= 0) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    } else {
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
  }
  return ::testing::AssertionSuccess();
}

// Until `done()` holds under `lock`, woken through `changed`.
template <class Done>
::testing::AssertionResult WaitUntil(const std::string& what, std::condition_variable& changed,
                                     std::unique_lock<std::mutex>& lock, Done done) {
  if (changed.wait_for(lock, WaitDeadline(), done)) return ::testing::AssertionSuccess();
  return NeverHappened(what);
}

// Until nothing is left at `path`: inotify on its folder wakes the wait.
inline ::testing::AssertionResult WaitUntilGone(const std::string& path) {
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0) return ::testing::AssertionFailure() << "no inotify to watch " << path;
  ::inotify_add_watch(watch, std::filesystem::path(path).parent_path().c_str(), IN_DELETE | IN_MOVED_FROM);
  const auto gone = [&] {
    char events[4096];
    while (::read(watch, events, sizeof events) > 0) {
    }
    std::error_code ignored;
    return !std::filesystem::exists(path, ignored);
  };
  ::testing::AssertionResult r = WaitUntil(path + " removed", gone, watch);
  ::close(watch);
  return r;
}

// A step two threads of a test hand each other: one reaches it, the other waits for it.
class Steps {
 public:
  void Reach(int step) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      step_ = step;
    }
    changed_.notify_all();
  }
  ::testing::AssertionResult Await(int step, const std::string& what) {
    std::unique_lock<std::mutex> lock(mutex_);
    return WaitUntil(what, changed_, lock, [&] { return step_ >= step; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int step_ = 0;
};

// A call on a thread of its own that should block until the test lets it go.
template <class Result>
class BlockingCall {
 public:
  explicit BlockingCall(std::function<Result()> call)
      : result_(std::async(std::launch::async, [this, call = std::move(call)] {
          tid_ = ::gettid();
          started_.Reach(1);
          return call();
        })) {}
  BlockingCall(const BlockingCall&) = delete;
  BlockingCall& operator=(const BlockingCall&) = delete;

  // Until the call sleeps in a futex wait (it reached a lock or a condition and blocks there),
  // and has not returned: what it must not have done yet, it could not have done.
  ::testing::AssertionResult Blocks(const std::string& what) {
    if (::testing::AssertionResult r = started_.Await(1, "the thread of " + what + " started"); !r) return r;
    const std::string task = "/proc/self/task/" + std::to_string(tid_) + "/syscall";
    const auto returned = [&] { return result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (::testing::AssertionResult r = WaitUntil(what + " blocking",
                                                 [&] {
                                                   long number = -1;
                                                   std::ifstream(task) >> number;
                                                   return number == SYS_futex || returned();
                                                 });
        !r)
      return r;
    if (returned()) return ::testing::AssertionFailure() << what << " returned without waiting";
    return ::testing::AssertionSuccess();
  }
  Result Get() { return result_.get(); }

 private:
  Steps started_;
  pid_t tid_ = 0;
  std::future<Result> result_;
};

}  // namespace testing_support
