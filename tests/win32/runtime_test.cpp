#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/wait.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace {

TEST(CrtRand, MatchesTheWindowsRuntimeSequence) {
  win32::srand(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int value : expected) EXPECT_EQ(win32::rand(), value);
  win32::srand(1);
  EXPECT_EQ(win32::rand(), 41);
  win32::srand(12345);
  const int a = win32::rand();
  win32::srand(12345);
  EXPECT_EQ(win32::rand(), a);
  for (int i = 0; i < 1000; ++i) {
    const int r = win32::rand();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, win32::kRandMax);
  }
}

TEST(CrtRand, EachThreadStartsWithSeedOne) {
  win32::srand(999);
  win32::rand();
  int first = -1;
  std::thread([&] { first = win32::rand(); }).join();
  EXPECT_EQ(first, 41);
}

TEST(Clock, ManualClockMovesOnlyWhenToldAndWraps) {
  win32::UseManualClock(100);
  EXPECT_EQ(timeGetTime(), 100u);
  Sleep(2);
  EXPECT_EQ(timeGetTime(), 100u);
  win32::AdvanceManualClock(2999);
  EXPECT_EQ(timeGetTime(), 3099u);
  win32::UseManualClock(0xFFFFFFFFu);
  win32::AdvanceManualClock(2);
  EXPECT_EQ(timeGetTime(), 1u);
  EXPECT_EQ(timeGetTime() - 0xFFFFFFFFu, 2u);  // unsigned differences span the wrap
  win32::UseRealClock();
}

TEST(Clock, RealClockFollowsSleep) {
  win32::UseRealClock();
  const DWORD start = timeGetTime();
  Sleep(30);
  const DWORD elapsed = timeGetTime() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, testing_support::WaitDeadline().count());
  Sleep(0);  // only yields
}

TEST(LastError, IsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_INVALID_HANDLE);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Com, InitialisationIsCountedPerThread) {
  EXPECT_EQ(win32::ComInitCount(), 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(win32::ComInitCount(), 2);
  HRESULT other = E_FAIL;
  std::thread([&] {
    other = CoInitialize(nullptr);
    CoUninitialize();
  }).join();
  EXPECT_EQ(other, S_OK);
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one too many does no harm
  EXPECT_EQ(win32::ComInitCount(), 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the owner enters again without blocking
  testing_support::BlockingCall<bool> other([&] {
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    return true;
  });
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(other.Blocks("another thread entering, left once of twice")) << "still held";
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(other.Get());
  DeleteCriticalSection(&cs);
}

TEST(Interlocked, ExchangeReturnsTheOldValueAndMakesASpinLock) {
  LONG volatile word = 5;
  EXPECT_EQ(InterlockedExchange(&word, 9), 5);
  EXPECT_EQ(word, 9);

  LONG volatile lock = 0;
  long counter = 0;  // guarded by the spin lock only
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      while (InterlockedExchange(&lock, 1) != 0) Sleep(0);
      ++counter;
      InterlockedExchange(&lock, 0);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

struct ThreadData {
  testing_support::Steps release;
  std::atomic<int> ran{0};
  LPVOID seenParameter = nullptr;
};

DWORD WINAPI Worker(LPVOID parameter) {
  auto* d = static_cast<ThreadData*>(parameter);
  d->seenParameter = parameter;
  EXPECT_TRUE(d->release.Await(1, "the worker released"));
  ++d->ran;
  return 7;
}

TEST(Threads, RunWaitTimeOutAndClose) {
  ThreadData d;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, &Worker, &d, 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  d.release.Reach(1);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(d.ran, 1);
  EXPECT_EQ(d.seenParameter, &d);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);  // stays signalled
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_FALSE(CloseHandle(t));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
}

TEST(Threads, ClosingTheHandleAtOnceLetsTheThreadFinish) {
  ThreadData d;
  HANDLE t = CreateThread(nullptr, 64 * 1024, &Worker, &d, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(CloseHandle(t));
  d.release.Reach(1);
  EXPECT_TRUE(testing_support::WaitUntil("the worker's run", [&] { return d.ran == 1; }));
}

TEST(Threads, BadRequestsAreRefused) {
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ThreadData d;
  EXPECT_EQ(CreateThread(nullptr, 0, &Worker, &d, CREATE_SUSPENDED, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

}  // namespace
