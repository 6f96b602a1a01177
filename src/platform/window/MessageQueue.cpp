// The message queue: posting, sending, taking and waiting for messages, and turning keys
// into characters.
#include <algorithm>
#include <vector>

#include "platform/clock/Clock.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

bool OnUiThread() { return S().uiThread == std::this_thread::get_id(); }

}  // namespace window_internal

namespace {

bool Matches(const MSG& m, HWND filter, UINT min, UINT max) {
  if (min || max) {
    if (m.message < min || m.message > max) return false;
  }
  if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return m.hwnd == nullptr;
  if (!filter) return true;
  return m.hwnd == filter || IsChild(filter, m.hwnd);
}

bool RangeHas(UINT message, UINT min, UINT max) { return (!min && !max) || (message >= min && message <= max); }

void TookMessage(const MSG& m) {
  State& s = S();
  s.lastMessageTime = static_cast<LONG>(m.time);
  s.lastMessagePos = static_cast<DWORD>(MAKELPARAM(m.pt.x, m.pt.y));
  if (IsKeyMessage(m.message) && m.message != WM_CHAR && m.message != WM_SYSCHAR) {
    const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    UINT vk = static_cast<UINT>(m.wParam);
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU) {
      // The side is not in wParam: the right Shift has its own scan code, the right Ctrl
      // and Alt are extended keys.
      const UINT scan = static_cast<UINT>((m.lParam >> 16) & 0xFF);
      const bool right = vk == VK_SHIFT ? scan == 0x36 : (m.lParam & KF_EXTENDED_BIT) != 0;
      SetKeyWithGeneric(s.keyState, SideVk(vk) + (right ? 1 : 0), down);
    } else {
      SetKey(s.keyState, vk, down);
    }
  } else if (IsMouseMessage(m.message)) {
    for (UINT vk : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON}) s.keyState[vk] = s.asyncState[vk];
  }
}

// One look at the queue in the platform's order.
bool Fetch(MSG* out, HWND filter, UINT min, UINT max, bool remove) {
  State& s = S();
  PumpNative();
  bool found = false;
  {
    std::lock_guard lock(QueueMutex());
    for (auto it = s.posted.begin(); it != s.posted.end(); ++it) {
      if (Matches(*it, filter, min, max)) {
        *out = *it;
        if (remove) s.posted.erase(it);
        found = true;
        break;
      }
    }
  }
  if (found) {
    if (remove) TookMessage(*out);
    return true;
  }
  for (auto it = s.input.begin(); it != s.input.end(); ++it) {
    if (Matches(*it, filter, min, max)) {
      *out = *it;
      if (remove) {
        s.input.erase(it);
        TookMessage(*out);
      }
      return true;
    }
  }
  if (s.quitPosted && RangeHas(WM_QUIT, min, max)) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, timeGetTime(), s.cursorPos, 0};
    if (remove) s.quitPosted = false;
    return true;
  }
  if (RangeHas(WM_PAINT, min, max)) {
    if (Window* w = FindPaintable(Id(filter))) {
      *out = MSG{H(w->id), WM_PAINT, 0, 0, timeGetTime(), s.cursorPos, 0};
      return true;
    }
  }
  if (RangeHas(WM_TIMER, min, max)) {
    const uint64_t now = NowMs();
    Timer* due = nullptr;
    for (Timer& t : s.timers) {
      if (t.due <= now && (!filter || H(t.window) == filter) && (!due || t.due < due->due)) due = &t;
    }
    if (due) {
      *out = MSG{H(due->window), WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), timeGetTime(), s.cursorPos, 0};
      if (remove) due->due = now + due->interval;
      return true;
    }
  }
  return false;
}

bool HasMessage() {
  MSG m{};
  return Fetch(&m, nullptr, 0, 0, false);
}

}  // namespace

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  State& s = S();
  // The pointer position belongs to the user-interface thread; other threads post without it.
  const bool ui = OnUiThread();
  const POINT pt = ui ? s.cursorPos : POINT{0, 0};
  {
    std::lock_guard lock(QueueMutex());
    if (hwnd == HWND_BROADCAST) {
      for (uintptr_t id : s.liveIds) {
        s.posted.push_back(MSG{H(id), message, wParam, lParam, timeGetTime(), pt, 0});
      }
    } else {
      if (hwnd && !s.liveIds.count(Id(hwnd))) return FALSE;
      s.posted.push_back(MSG{hwnd, message, wParam, lParam, timeGetTime(), pt, 0});
    }
  }
  if (!ui && s.presenter) s.presenter->Wake();
  return TRUE;
}

BOOL PostThreadMessageA(DWORD, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(nullptr, message, wParam, lParam);
}

void WakeMessageQueue() {
  if (S().presenter) S().presenter->Wake();
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd == HWND_BROADCAST) {
    const std::vector<uintptr_t> tops = S().topOrder;
    for (uintptr_t id : tops) Send(id, message, wParam, lParam);
    return 0;
  }
  return Send(Id(hwnd), message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  S().quitPosted = true;
  S().quitCode = exitCode;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
  if (!msg) return FALSE;
  *msg = MSG{};
  if (Fetch(msg, hwnd, filterMin, filterMax, (remove & PM_REMOVE) != 0)) return TRUE;
  *msg = MSG{};
  FlushPresents();
  return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !Find(hwnd)) return -1;
  for (;;) {
    *msg = MSG{};
    if (Fetch(msg, hwnd, filterMin, filterMax, true)) return msg->message == WM_QUIT ? 0 : 1;
    FlushPresents();
    if (!S().presenter) return -1;
    S().presenter->WaitForEvent(TimerWait());
  }
}

BOOL WaitMessageTimeout(DWORD milliseconds) {
  State& s = S();
  if (milliseconds == INFINITE) return WaitMessage();
  const uint64_t deadline = NowMs() + milliseconds;
  for (;;) {
    if (HasMessage()) return TRUE;
    const uint64_t now = NowMs();
    if (now >= deadline) return FALSE;
    FlushPresents();
    if (!s.presenter) return FALSE;
    int wait = static_cast<int>(deadline - now);
    const int timer = TimerWait();
    if (timer >= 0) wait = std::min(wait, std::max(timer, 1));
    s.presenter->WaitForEvent(wait);
  }
}

BOOL WaitMessage() {
  State& s = S();
  for (;;) {
    if (HasMessage()) return TRUE;
    FlushPresents();
    if (!s.presenter) return FALSE;
    s.presenter->WaitForEvent(TimerWait());
  }
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE*, BOOL, DWORD milliseconds, DWORD) {
  // There are no kernel objects to wait on here, only the queue.
  if (count != 0) return WAIT_FAILED;
  return WaitMessageTimeout(milliseconds) ? WAIT_OBJECT_0 + count : WAIT_TIMEOUT;
}

DWORD GetQueueStatus(UINT flags) {
  State& s = S();
  PumpNative();
  DWORD status = 0;
  {
    std::lock_guard lock(QueueMutex());
    if (!s.posted.empty()) status |= QS_POSTMESSAGE;
  }
  for (const MSG& m : s.input) {
    if (IsKeyMessage(m.message)) status |= QS_KEY;
    if (m.message == WM_MOUSEMOVE) status |= QS_MOUSEMOVE;
    else if (IsMouseMessage(m.message)) status |= QS_MOUSEBUTTON;
  }
  if (FindPaintable(0)) status |= QS_PAINT;
  if (TimerWait() == 0) status |= QS_TIMER;
  status &= flags;
  return (status << 16) | status;
}

BOOL InSendMessage() { return FALSE; }
LONG GetMessageTime() { return S().lastMessageTime; }
DWORD GetMessagePos() { return S().lastMessagePos; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    if (Find(msg->hwnd)) proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  return Send(Id(msg->hwnd), msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
    return (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) ? TRUE : FALSE;
  }
  State& s = S();
  if (msg->lPrivate == kCharacterFollows) return TRUE;
  char ch = static_cast<char>(msg->lPrivate);
  if (!ch) {
    ch = VirtualKeyToChar(static_cast<UINT>(msg->wParam), Down(s.keyState, VK_SHIFT), (s.keyState[VK_CAPITAL] & 1) != 0,
                          Down(s.keyState, VK_CONTROL));
  }
  if (ch) {
    const UINT message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    std::lock_guard lock(QueueMutex());
    // The character is the next message taken, before anything posted earlier.
    s.posted.push_front(MSG{msg->hwnd, message, static_cast<unsigned char>(ch), msg->lParam, msg->time, msg->pt, 0});
  }
  return TRUE;
}

BOOL IsDialogMessageA(HWND dialog, MSG* msg) {
  Window* d = Find(dialog);
  if (!d || !msg || (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))) return FALSE;
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB &&
      !(SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)) &
        (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
    std::vector<uintptr_t> stops;
    EnumChildWindows(
        dialog,
        [](HWND h, LPARAM list) -> BOOL {
          Window* w = Find(h);
          if (w && (w->style & WS_TABSTOP) && Visible(*w) && EnabledChain(*w)) {
            reinterpret_cast<std::vector<uintptr_t>*>(list)->push_back(Id(h));
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&stops));
    // Children are kept front first; the tab order is the order they were made in.
    std::reverse(stops.begin(), stops.end());
    if (!stops.empty()) {
      auto at = std::find(stops.begin(), stops.end(), S().focus);
      const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
      size_t index;
      if (at == stops.end()) {
        index = back ? stops.size() - 1 : 0;
      } else {
        const size_t here = static_cast<size_t>(at - stops.begin());
        index = back ? (here + stops.size() - 1) % stops.size() : (here + 1) % stops.size();
      }
      SetFocus(H(stops[index]));
    }
    return TRUE;
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}
