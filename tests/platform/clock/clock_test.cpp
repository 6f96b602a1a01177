#include <gtest/gtest.h>

#include <ctime>

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
