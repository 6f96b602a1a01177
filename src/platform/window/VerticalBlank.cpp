// The vertical blank: blanks fall on whole multiples of the refresh period on the clock.
#include "platform/window/VerticalBlank.h"

#include "platform/clock/Clock.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

int GetRefreshRate() {
  State& s = S();
  const int rate = s.presenter ? s.presenter->RefreshRate() : 60;
  return rate > 0 ? rate : 60;
}

void WaitForVerticalBlank() {
  const uint64_t period = 1000000 / static_cast<uint64_t>(GetRefreshRate());  // microseconds
  ClockSource* clock = CurrentClock();
  clock->SleepUntil((clock->Microseconds() / period + 1) * period);
}

BOOL InVerticalBlank() {
  const uint64_t period = 1000000 / static_cast<uint64_t>(GetRefreshRate());
  // The blank takes about the last twentieth of each refresh.
  return (CurrentClock()->Microseconds() % period) >= period - period / 20 ? TRUE : FALSE;
}
