#pragma once
// The platform's clocks: the multimedia millisecond clock, the tick count and the system
// time. Tests install a manual clock so that time only moves when they say so.
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
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  virtual uint64_t Milliseconds() = 0;           // monotonic, for timeGetTime and GetTickCount
  virtual void SystemTime(SYSTEMTIME* time) = 0;  // wall clock, UTC
  virtual void Sleep(DWORD milliseconds) = 0;
};

// Time that moves only by Advance (and by Sleep, which advances instead of waiting).
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
