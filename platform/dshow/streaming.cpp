// The registry of streaming threads, their common wake-up, and the reference clock.
#include "dshow/streaming.h"

#include <chrono>
#include <condition_variable>
#include <set>

#include "win32/win32.h"
#include "win32/win32_state.h"

namespace dshow {

// Each thread sleeps on its own condition: one thread's change of state wakes only those
// waiting for idleness, not every other streaming thread (which would mark itself again and
// wake the first, round and round, while neither has anything to do).
struct StreamThread {
  StreamWait wait = StreamWait::Busy;
  IReferenceClock* clock = nullptr;
  REFERENCE_TIME due = 0;
  std::condition_variable wake;
};

namespace {

thread_local StreamThread* t_thread = nullptr;

struct Schedule {
  std::mutex mutex;
  std::condition_variable wake;     // waits outside a streaming thread
  std::condition_variable changed;  // whoever waits for idleness
  std::set<StreamThread*> threads;

  Schedule() {
    win32::AddClockListener([] {
      std::lock_guard<std::mutex> lock(Get().mutex);
      WakeStreaming();
    });
  }
  static Schedule& Get() {
    static Schedule schedule;
    return schedule;
  }
};

bool Idle(const StreamThread& thread) {
  switch (thread.wait) {
    case StreamWait::Busy:
      return false;
    case StreamWait::Clock: {
      REFERENCE_TIME now = 0;
      return thread.clock && SUCCEEDED(thread.clock->GetTime(&now)) && now < thread.due;
    }
    case StreamWait::Held:
    case StreamWait::Ended:
      return true;
  }
  return false;
}

}  // namespace

std::mutex& ScheduleMutex() { return Schedule::Get().mutex; }

// Every waiting thread looks at its state again; until it has, it is not idle.
void WakeStreaming() {
  Schedule& schedule = Schedule::Get();
  for (StreamThread* thread : schedule.threads) {
    if (thread->wait != StreamWait::Ended) thread->wait = StreamWait::Busy;
    thread->wake.notify_one();
  }
  schedule.wake.notify_all();
  schedule.changed.notify_all();
}

StreamThread* BeginStreamThread() {
  auto* thread = new StreamThread;
  std::lock_guard<std::mutex> lock(ScheduleMutex());
  Schedule::Get().threads.insert(thread);
  return thread;
}

void EndStreamThread(StreamThread* thread) {
  {
    std::lock_guard<std::mutex> lock(ScheduleMutex());
    Schedule::Get().threads.erase(thread);
    WakeStreaming();
  }
  delete thread;
}

void AttachStreamThread(StreamThread* thread) { t_thread = thread; }

void MarkStreamThread(StreamWait wait, IReferenceClock* clock, REFERENCE_TIME due) {
  if (!t_thread) return;
  t_thread->wait = wait;
  t_thread->clock = clock;
  t_thread->due = due;
  // Whoever waits for idleness looks again.
  if (wait != StreamWait::Busy) Schedule::Get().changed.notify_all();
}

void WaitStreaming(std::unique_lock<std::mutex>& lock, IReferenceClock* clock, REFERENCE_TIME due) {
  std::condition_variable& wake = t_thread ? t_thread->wake : Schedule::Get().wake;
  REFERENCE_TIME now = 0;
  if (clock && SUCCEEDED(clock->GetTime(&now))) {
    // A real clock reaches the time by itself; a manual one wakes us when moved.
    const auto rest = std::chrono::microseconds((due - now + 9) / 10);
    wake.wait_for(lock, rest);
  } else {
    wake.wait(lock);
  }
}

bool WaitForStreamingIdle(DWORD timeoutMs) {
  Schedule& schedule = Schedule::Get();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(schedule.mutex);
  for (;;) {
    bool idle = true;
    for (const StreamThread* thread : schedule.threads) idle = idle && Idle(*thread);
    if (idle) return true;
    // A thread waiting for a time the clock has passed may not have run yet: look again soon.
    if (schedule.changed.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      for (const StreamThread* thread : schedule.threads) idle = idle && Idle(*thread);
      return idle;
    }
  }
}

size_t StreamingThreadCount() {
  std::lock_guard<std::mutex> lock(ScheduleMutex());
  return Schedule::Get().threads.size();
}

namespace {

// Reference time from the platform's millisecond clock, carried on past its 32-bit wrap.
class SystemClock final : public CUnknown, public IReferenceClock {
 public:
  SystemClock() : CUnknown(nullptr), last_(timeGetTime()), elapsed_(last_) {}
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    const DWORD now = timeGetTime();
    elapsed_ += static_cast<int32_t>(now - last_);
    last_ = now;
    *time = elapsed_ * 10000;
    return S_OK;
  }

 protected:
  IUnknown* OwnUnknown() override { return static_cast<IReferenceClock*>(this); }

 private:
  std::mutex mutex_;
  DWORD last_;
  int64_t elapsed_;
};

}  // namespace

IReferenceClock* CreateSystemClock() {
  auto* clock = new SystemClock;
  clock->AddRef();
  return clock;
}

}  // namespace dshow
