// The streaming threads of every graph, the one lock their waits share, a wake-up of each
// thread's own, and the reference clock. A streaming thread is idle when it waits for a time
// the clock has not reached, is held by a paused renderer, or has nothing more to deliver;
// tests wait for every thread to be idle before they look at what was rendered.
#pragma once
#include <mutex>

#include "dshow/interfaces.h"

namespace dshow {

// True when every streaming thread became idle within the timeout (real milliseconds).
FOOTLIGHT_PLATFORM_API bool WaitForStreamingIdle(DWORD timeoutMs);
// Streaming threads that exist now.
FOOTLIGHT_PLATFORM_API size_t StreamingThreadCount();

// A reference clock on the platform clock (timeGetTime: real or manual), with one reference.
FOOTLIGHT_PLATFORM_API IReferenceClock* CreateSystemClock();

// What follows is for the layer's own filters.

// The lock of every wait of a streaming thread and of the state those waits look at.
std::mutex& ScheduleMutex();
// Wakes every waiting streaming thread; the caller holds ScheduleMutex.
void WakeStreaming();

struct StreamThread;
// Registered busy by the thread that is about to start it.
StreamThread* BeginStreamThread();
void EndStreamThread(StreamThread* thread);
// Called first on the streaming thread itself.
void AttachStreamThread(StreamThread* thread);

enum class StreamWait { Busy, Clock, Held, Ended };
// Marks the calling streaming thread (nothing on other threads); ScheduleMutex held.
void MarkStreamThread(StreamWait wait, IReferenceClock* clock = nullptr, REFERENCE_TIME due = 0);
// Waits to be woken, at most until the clock could have reached `due` (clock null: until
// woken); ScheduleMutex held through `lock`.
void WaitStreaming(std::unique_lock<std::mutex>& lock, IReferenceClock* clock = nullptr, REFERENCE_TIME due = 0);

}  // namespace dshow
