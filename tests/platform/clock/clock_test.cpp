#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock/Clock.h"

namespace {

struct ClockGuard {
  explicit ClockGuard(ClockSource* clock) { InstallClock(clock); }
  ~ClockGuard() { InstallClock(nullptr); }
};

TEST(Clock, ManualClockDrivesEveryCounterAndSleepAdvancesInsteadOfWaiting) {
  ManualClock manual(1000);
  ClockGuard guard(&manual);
  EXPECT_EQ(timeGetTime(), 1000u);
  EXPECT_EQ(GetTickCount(), 1000u);
  manual.Advance(25);
  EXPECT_EQ(timeGetTime(), 1025u);
  Sleep(10'000);  // returns at once: the manual clock moves instead
  EXPECT_EQ(GetTickCount(), 11'025u);

  SYSTEMTIME set{2026, 12, 1, 7, 23, 59, 58, 999};
  manual.SetSystemTime(set);
  SYSTEMTIME got{};
  GetSystemTime(&got);
  EXPECT_EQ(got.wHour, 23);
  EXPECT_EQ(got.wMinute, 59);
  EXPECT_EQ(got.wSecond, 58);
  EXPECT_EQ(got.wMilliseconds, 999);
}

// Whoever waits asks the clock: a manual one moves to the moment (to the whole millisecond
// at or after it) and never sleeps; a wake already given ends a wait before it starts.
TEST(Clock, ManualClockWaitsByMovingToTheMoment) {
  ManualClock manual(1000);
  EXPECT_EQ(manual.Microseconds(), 1'000'000u);
  manual.SleepUntil(1'016'667);
  EXPECT_EQ(manual.Milliseconds(), 1017u);
  manual.SleepUntil(1'000'000);  // already past: no move
  EXPECT_EQ(manual.Milliseconds(), 1017u);

  std::mutex mutex;
  std::condition_variable wake;
  std::unique_lock lock(mutex);
  bool woken = false;
  manual.WaitFor(wake, lock, 250, [&] { return woken; });
  EXPECT_EQ(manual.Milliseconds(), 1267u);
  EXPECT_TRUE(lock.owns_lock());
  woken = true;
  manual.WaitFor(wake, lock, 250, [&] { return woken; });
  EXPECT_EQ(manual.Milliseconds(), 1267u);
}

TEST(Clock, MachineClockSleepsToTheMomentAndAWakeCutsAWaitShort) {
  InstallClock(nullptr);
  ClockSource* clock = CurrentClock();
  const uint64_t moment = clock->Microseconds() + 15'000;
  clock->SleepUntil(moment);
  EXPECT_GE(clock->Microseconds(), moment);

  std::mutex mutex;
  std::condition_variable wake;
  bool woken = false;
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
      std::lock_guard guard(mutex);
      woken = true;
    }
    wake.notify_all();
  });
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock lock(mutex);
  clock->WaitFor(wake, lock, 60'000, [&] { return woken; });
  EXPECT_TRUE(woken);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  lock.unlock();
  waker.join();
}

TEST(Clock, CountersWrapAtThirtyTwoBitsLikeThePlatform) {
  ManualClock manual((uint64_t{1} << 32) + 5);
  ClockGuard guard(&manual);
  EXPECT_EQ(timeGetTime(), 5u);
  EXPECT_EQ(GetTickCount(), 5u);
}

TEST(Clock, MachineClockReportsUtcAndMovesForward) {
  InstallClock(nullptr);
  const std::time_t before = std::time(nullptr);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  std::tm utc{};
  gmtime_r(&before, &utc);
  EXPECT_EQ(now.wYear, utc.tm_year + 1900);
  EXPECT_LT(now.wMilliseconds, 1000);
  const DWORD start = timeGetTime();
  Sleep(20);
  EXPECT_GE(timeGetTime() - start, 20u);
}

}  // namespace
