#include "platform/clock/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace {

class MachineClock : public ClockSource {
 public:
  uint64_t Milliseconds() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SystemTime(SYSTEMTIME* time) override {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    time->wYear = static_cast<WORD>(utc.tm_year + 1900);
    time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    time->wDay = static_cast<WORD>(utc.tm_mday);
    time->wHour = static_cast<WORD>(utc.tm_hour);
    time->wMinute = static_cast<WORD>(utc.tm_min);
    time->wSecond = static_cast<WORD>(utc.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ms);
  }
  void Sleep(DWORD milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
  uint64_t Microseconds() override {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void SleepUntil(uint64_t momentUs) override {
    using namespace std::chrono;
    std::this_thread::sleep_until(steady_clock::time_point(microseconds(momentUs)));
  }
  void WaitFor(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
               const std::function<bool()>& woken) override {
    wake.wait_for(lock, std::chrono::milliseconds(milliseconds), woken);
  }
};

MachineClock machineClock;
ClockSource* installed = nullptr;

}  // namespace

void ClockSource::SleepUntil(uint64_t momentUs) {
  const uint64_t now = Microseconds();
  if (momentUs > now) Sleep(static_cast<DWORD>((momentUs - now + 999) / 1000));
}

void ClockSource::WaitFor(std::condition_variable&, std::unique_lock<std::mutex>&, DWORD milliseconds,
                          const std::function<bool()>& woken) {
  if (!woken()) Sleep(milliseconds);
}

void ManualClock::SystemTime(SYSTEMTIME* time) { *time = system_; }

void InstallClock(ClockSource* clock) { installed = clock; }
ClockSource* CurrentClock() { return installed ? installed : &machineClock; }

// Both counters wrap at 2^32 ms, as the platform's do.
DWORD timeGetTime() { return static_cast<DWORD>(CurrentClock()->Milliseconds()); }
DWORD GetTickCount() { return static_cast<DWORD>(CurrentClock()->Milliseconds()); }
void GetSystemTime(SYSTEMTIME* time) { CurrentClock()->SystemTime(time); }
void Sleep(DWORD milliseconds) { CurrentClock()->Sleep(milliseconds); }
