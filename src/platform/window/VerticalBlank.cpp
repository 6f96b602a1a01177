// The vertical blank: blanks fall on whole multiples of the refresh period on the clock.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/clock/Clock.h"
#include "platform/window/VerticalBlank.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

int GetRefreshRate() {
  State& s = S();
  const int rate = s.presenter ? s.presenter->RefreshRate() : 60;
  return rate > 0 ? rate : 60;
}

void WaitForVerticalBlank() {
  const int64_t period = 1000000 / GetRefreshRate();  // microseconds
  if (auto* manual = dynamic_cast<ManualClock*>(CurrentClock())) {
    const int64_t nowUs = static_cast<int64_t>(manual->Milliseconds()) * 1000;
    const int64_t next = (nowUs / period + 1) * period;
    const int64_t aheadMs = (next + 999) / 1000 - nowUs / 1000;
    manual->Advance(static_cast<uint64_t>(std::max<int64_t>(aheadMs, 1)));
    return;
  }
  using namespace std::chrono;
  const int64_t nowUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
  const int64_t next = (nowUs / period + 1) * period;
  std::this_thread::sleep_until(steady_clock::time_point(microseconds(next)));
}

BOOL InVerticalBlank() {
  const int64_t period = 1000000 / GetRefreshRate();
  int64_t nowUs;
  if (auto* manual = dynamic_cast<ManualClock*>(CurrentClock())) {
    nowUs = static_cast<int64_t>(manual->Milliseconds()) * 1000;
  } else {
    using namespace std::chrono;
    nowUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
  }
  // The blank takes about the last twentieth of each refresh.
  return (nowUs % period) >= period - period / 20 ? TRUE : FALSE;
}
