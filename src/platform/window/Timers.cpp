// Timers, and the clock they run on.
#include <algorithm>
#include <cstdint>

#include "platform/clock/Clock.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

uint64_t NowMs() { return CurrentClock()->Milliseconds(); }

// How long a wait may sleep before a timer comes due (-1: no timer).
int TimerWait() {
  State& s = S();
  if (s.timers.empty()) return -1;
  const uint64_t now = NowMs();
  uint64_t next = UINT64_MAX;
  for (const Timer& t : s.timers) next = std::min(next, t.due);
  return next <= now ? 0 : static_cast<int>(std::min<uint64_t>(next - now, 0x7FFFFFFF));
}

}  // namespace window_internal

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC proc) {
  State& s = S();
  if (hwnd && !Find(hwnd)) return 0;
  if (!hwnd) id = Counters().timer++;
  // The platform's least interval is 10 ms.
  const UINT interval = std::max<UINT>(milliseconds, 10);
  for (Timer& t : s.timers) {
    if (t.window == Id(hwnd) && t.id == id) {
      t.interval = interval;
      t.proc = proc;
      t.due = NowMs() + interval;
      return hwnd ? (id ? id : 1) : id;
    }
  }
  s.timers.push_back(Timer{Id(hwnd), id, interval, proc, NowMs() + interval});
  if (!OnUiThread() && s.presenter) s.presenter->Wake();
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  State& s = S();
  auto it = std::find_if(s.timers.begin(), s.timers.end(),
                         [&](const Timer& t) { return t.window == Id(hwnd) && t.id == id; });
  if (it == s.timers.end()) return FALSE;
  s.timers.erase(it);
  return TRUE;
}
