// Time, last error, the C runtime's generator, COM counting, locks and atomics.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <string>
#include <cerrno>
#include <mutex>
#include <vector>

#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;
thread_local unsigned int t_randSeed = 1;
thread_local int t_comCount = 0;

std::atomic<bool> g_manualClock{false};
std::atomic<DWORD> g_manualNow{0};

struct ClockListeners {
  std::mutex mutex;
  std::vector<void (*)()> listeners;
};

ClockListeners& Listeners() {
  static ClockListeners listeners;
  return listeners;
}

// Threads that wait for a time on the manual clock learn of every move.
void ClockMoved() {
  ClockListeners& all = Listeners();
  std::lock_guard<std::mutex> lock(all.mutex);
  for (auto listener : all.listeners) listener();
}

struct DebugLines {
  std::mutex mutex;
  std::deque<std::string> lines;
};

DebugLines& Debug() {
  static DebugLines debug;
  return debug;
}

}  // namespace

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  DebugLines& debug = Debug();
  std::lock_guard<std::mutex> lock(debug.mutex);
  if (debug.lines.size() == 256) debug.lines.pop_front();
  debug.lines.emplace_back(text);
}

namespace win32 {

std::vector<std::string> DebugOutput() {
  DebugLines& debug = Debug();
  std::lock_guard<std::mutex> lock(debug.mutex);
  return {debug.lines.begin(), debug.lines.end()};
}

void ClearDebugOutput() {
  DebugLines& debug = Debug();
  std::lock_guard<std::mutex> lock(debug.mutex);
  debug.lines.clear();
}

}  // namespace win32

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) ::pause();
  }
  timespec rest{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

DWORD timeGetTime() {
  if (g_manualClock.load(std::memory_order_acquire)) return g_manualNow.load(std::memory_order_acquire);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

namespace win32 {

void UseManualClock(DWORD nowMs) {
  g_manualNow.store(nowMs, std::memory_order_release);
  g_manualClock.store(true, std::memory_order_release);
  ClockMoved();
}

void AdvanceManualClock(DWORD ms) {
  g_manualNow.fetch_add(ms, std::memory_order_acq_rel);
  ClockMoved();
}

void UseRealClock() {
  g_manualClock.store(false, std::memory_order_release);
  ClockMoved();
}

void AddClockListener(void (*listener)()) {
  ClockListeners& all = Listeners();
  std::lock_guard<std::mutex> lock(all.mutex);
  all.listeners.push_back(listener);
}

int rand() {
  t_randSeed = t_randSeed * 214013u + 2531011u;
  return static_cast<int>((t_randSeed >> 16) & 0x7fffu);
}

void srand(unsigned int seed) { t_randSeed = seed; }

int ComInitCount() { return t_comCount; }

}  // namespace win32

HRESULT CoInitialize(LPVOID) { return t_comCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_comCount > 0) --t_comCount;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }

LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
