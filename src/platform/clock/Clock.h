#pragma once
// The platform's clocks: the multimedia millisecond clock, the tick count and the system
// time. Tests install a manual clock so that time only moves when they say so.
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/WinTypes.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

DWORD timeGetTime();
DWORD GetTickCount();
void GetSystemTime(SYSTEMTIME* time);  // UTC
void Sleep(DWORD milliseconds);

// A source of time. The default one reads the machine's clocks; a test installs its own.
// Whoever waits asks the clock to do the waiting, so a clock that a test drives passes the
// time at once instead of sleeping, and no caller needs to know which kind it has.
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  virtual uint64_t Milliseconds() = 0;           // monotonic, for timeGetTime and GetTickCount
  virtual void SystemTime(SYSTEMTIME* time) = 0;  // wall clock, UTC
  virtual void Sleep(DWORD milliseconds) = 0;
  // The monotonic time in microseconds; a clock without finer steps gives whole milliseconds.
  virtual uint64_t Microseconds() { return Milliseconds() * 1000; }
  // Sleeps until the clock reads `momentUs` (no later than the whole millisecond after it).
  virtual void SleepUntil(uint64_t momentUs);
  // Sleeps until `woken` holds (asked with `lock` held, at once and whenever `wake` is
  // notified) or `milliseconds` have passed. A clock that moves only when told has nothing
  // to wait for: it passes the whole time at once unless already woken, keeping the lock.
  virtual void WaitFor(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
                       const std::function<bool()>& woken);
};

// Time that moves only by Advance, and by every wait, which advances instead of sleeping.
class ManualClock : public ClockSource {
 public:
  explicit ManualClock(uint64_t startMs = 0) : now_(startMs) {}
  uint64_t Milliseconds() override { return now_; }
  void SystemTime(SYSTEMTIME* time) override;
  void Sleep(DWORD milliseconds) override { now_ += milliseconds; }
  void Advance(uint64_t milliseconds) { now_ += milliseconds; }
  void SetSystemTime(const SYSTEMTIME& time) { system_ = time; }

 private:
  uint64_t now_;
  SYSTEMTIME system_{2026, 1, 4, 1, 0, 0, 0, 0};
};

// Installs a clock for the whole process (nullptr restores the machine's). Not owned.
void InstallClock(ClockSource* clock);
ClockSource* CurrentClock();
