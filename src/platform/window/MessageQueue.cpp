// The message queue, the turning of native input into messages, timers, the keyboard map,
// the mouse, cursors, the choice of presenter and the vertical blank.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/clock/Clock.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

uint64_t NowMs() { return CurrentClock()->Milliseconds(); }

bool EnsurePresenterNow() {
  State& s = S();
  if (s.presenter) return true;
  const char* headlessVar = std::getenv("PELLORA_HEADLESS");
  if (headlessVar && std::strcmp(headlessVar, "1") == 0) {
    UseHeadlessPresenter();
    return true;
  }
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    s.presenterError =
        "No display to show windows on: DISPLAY is not set (set PELLORA_HEADLESS=1 to run without a display)";
    return false;
  }
  return UseSdlPresenter() != FALSE;
}

}  // namespace window_internal

namespace {

HeadlessControls* Headless() { return dynamic_cast<HeadlessControls*>(S().presenter.get()); }

bool OnUiThread() { return S().uiThread == std::this_thread::get_id(); }

bool Down(const std::array<BYTE, 256>& state, UINT vk) { return (state[vk & 0xFF] & 0x80) != 0; }

void SetKey(std::array<BYTE, 256>& state, UINT vk, bool down) {
  BYTE& b = state[vk & 0xFF];
  if (down && !(b & 0x80)) b ^= 0x01;  // each press flips the toggle, as Caps Lock shows
  b = static_cast<BYTE>(down ? (b | 0x80) : (b & ~0x80));
}

// Side-specific modifier keys also set their generic state.
void SetKeyWithGeneric(std::array<BYTE, 256>& state, UINT vk, bool down) {
  SetKey(state, vk, down);
  auto generic = [&](UINT left, UINT right, UINT both) {
    if (vk == left || vk == right) {
      const bool any = Down(state, left) || Down(state, right);
      BYTE& b = state[both];
      b = static_cast<BYTE>(any ? (b | 0x80) : (b & ~0x80));
    }
  };
  generic(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
  generic(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
  generic(VK_LMENU, VK_RMENU, VK_MENU);
}

UINT GenericVk(UINT vk) {
  switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
      return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
      return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
      return VK_MENU;
    default:
      return vk;
  }
}

UINT SideVk(UINT vk) {
  switch (vk) {
    case VK_SHIFT:
      return VK_LSHIFT;
    case VK_CONTROL:
      return VK_LCONTROL;
    case VK_MENU:
      return VK_LMENU;
    default:
      return vk;
  }
}

bool IsKeyMessage(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }
bool IsMouseMessage(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST; }

WPARAM MouseKeys(const std::array<BYTE, 256>& state) {
  WPARAM keys = 0;
  if (Down(state, VK_LBUTTON)) keys |= MK_LBUTTON;
  if (Down(state, VK_RBUTTON)) keys |= MK_RBUTTON;
  if (Down(state, VK_MBUTTON)) keys |= MK_MBUTTON;
  if (Down(state, VK_SHIFT)) keys |= MK_SHIFT;
  if (Down(state, VK_CONTROL)) keys |= MK_CONTROL;
  return keys;
}

void QueueInput(uintptr_t hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD character = 0) {
  State& s = S();
  MSG m{H(hwnd), message, wParam, lParam, timeGetTime(), s.cursorPos, character};
  s.input.push_back(m);
}

// The key messages' scan codes: the PC keyboard's set 1, enough for the keys we name.
UINT ScanCodeFor(UINT vk) {
  static const char* row1 = "QWERTYUIOP";
  static const char* row2 = "ASDFGHJKL";
  static const char* row3 = "ZXCVBNM";
  if (vk >= 'A' && vk <= 'Z') {
    if (const char* p = std::strchr(row1, static_cast<int>(vk))) return static_cast<UINT>(0x10 + (p - row1));
    if (const char* p = std::strchr(row2, static_cast<int>(vk))) return static_cast<UINT>(0x1E + (p - row2));
    if (const char* p = std::strchr(row3, static_cast<int>(vk))) return static_cast<UINT>(0x2C + (p - row3));
  }
  if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
  if (vk >= VK_F1 && vk <= VK_F10) return 0x3B + (vk - VK_F1);
  switch (vk) {
    case '0': return 0x0B;
    case VK_ESCAPE: return 0x01;
    case VK_BACK: return 0x0E;
    case VK_TAB: return 0x0F;
    case VK_RETURN: return 0x1C;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return 0x1D;
    case VK_SHIFT: case VK_LSHIFT: return 0x2A;
    case VK_RSHIFT: return 0x36;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return 0x38;
    case VK_SPACE: return 0x39;
    case VK_CAPITAL: return 0x3A;
    case VK_F11: return 0x57;
    case VK_F12: return 0x58;
    case VK_HOME: return 0x47;
    case VK_UP: return 0x48;
    case VK_PRIOR: return 0x49;
    case VK_LEFT: return 0x4B;
    case VK_RIGHT: return 0x4D;
    case VK_END: return 0x4F;
    case VK_DOWN: return 0x50;
    case VK_NEXT: return 0x51;
    case VK_INSERT: return 0x52;
    case VK_DELETE: return 0x53;
    case VK_OEM_MINUS: return 0x0C;
    case VK_OEM_PLUS: return 0x0D;
    case VK_OEM_4: return 0x1A;
    case VK_OEM_6: return 0x1B;
    case VK_OEM_1: return 0x27;
    case VK_OEM_7: return 0x28;
    case VK_OEM_3: return 0x29;
    case VK_OEM_5: return 0x2B;
    case VK_OEM_COMMA: return 0x33;
    case VK_OEM_PERIOD: return 0x34;
    case VK_OEM_2: return 0x35;
    default: return 0;
  }
}

bool ExtendedKey(UINT vk) {
  switch (vk) {
    case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME: case VK_LEFT: case VK_UP: case VK_RIGHT:
    case VK_DOWN: case VK_INSERT: case VK_DELETE: case VK_RCONTROL: case VK_RMENU: case VK_DIVIDE:
      return true;
    default:
      return false;
  }
}

uintptr_t KeyTarget() {
  State& s = S();
  if (!s.appActive) return 0;
  uintptr_t target = s.focus ? s.focus : s.active;
  Window* w = Find(target);
  if (!w) return 0;
  Window* root = Root(w);
  if (!root || (root->style & WS_DISABLED)) return 0;
  return target;
}

void ConvertKey(const NativeEvent& e, bool down) {
  State& s = S();
  const UINT side = SideVk(e.vk);
  const UINT vk = GenericVk(side);
  const bool wasDown = Down(s.asyncState, side);
  SetKeyWithGeneric(s.asyncState, side, down);
  const uintptr_t target = KeyTarget();
  if (!target) return;
  const bool alt = Down(s.asyncState, VK_MENU);
  const bool ctrl = Down(s.asyncState, VK_CONTROL);
  const UINT scan = e.scanCode ? e.scanCode : ScanCodeFor(side);
  LPARAM lParam = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
  if (e.extended || ExtendedKey(side)) lParam |= KF_EXTENDED_BIT;
  const bool sys = (alt && !ctrl) || vk == VK_F10 || (vk == VK_MENU && !ctrl);
  if (alt) lParam |= KF_ALTDOWN_BIT;
  if (down) {
    if (wasDown || e.repeat) lParam |= KF_REPEAT_BIT;
    // The character is fixed now, with the modifiers as they were when the key went down.
    char ch = e.character;
    if (ch && ctrl && std::isalpha(static_cast<unsigned char>(ch))) ch = static_cast<char>(ch & 0x1F);
    if (!ch) ch = VirtualKeyToChar(vk, Down(s.asyncState, VK_SHIFT), (s.asyncState[VK_CAPITAL] & 1) != 0, ctrl);
    // The layout's own text, when it comes, wins over our Latin map; Ctrl combinations
    // bring no text and keep the map's control codes.
    const DWORD character = (e.textFollows && !ctrl) ? kCharacterFollows : static_cast<unsigned char>(ch);
    if (character == kCharacterFollows) s.textTarget = target;
    QueueInput(target, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lParam, character);
  } else {
    lParam |= KF_REPEAT_BIT | KF_UP_BIT;
    QueueInput(target, sys ? WM_SYSKEYUP : WM_KEYUP, vk, lParam);
  }
}

// The window a mouse event belongs to, or 0 when a disabled window swallows it.
uintptr_t MouseTarget(Window& top, POINT clientOfTop, POINT* targetClient) {
  State& s = S();
  Window* target = nullptr;
  if (Window* c = Find(s.capture)) {
    target = c;
  } else {
    target = HitTest(top, clientOfTop);
    if (!target || !EnabledChain(*target)) return 0;
  }
  const POINT topOrigin = ClientOriginOnScreen(top);
  const POINT origin = ClientOriginOnScreen(*target);
  *targetClient = POINT{clientOfTop.x + topOrigin.x - origin.x, clientOfTop.y + topOrigin.y - origin.y};
  return target->id;
}

void ConvertMouse(const NativeEvent& e) {
  State& s = S();
  Window* top = Find(e.window);
  if (top) {
    const POINT origin = ClientOriginOnScreen(*top);
    s.cursorPos = POINT{origin.x + e.x, origin.y + e.y};
  }
  UINT buttonVk = 0;
  UINT downMessage = 0;
  if (e.kind == NativeEvent::ButtonDown || e.kind == NativeEvent::ButtonUp) {
    switch (e.button) {
      case 1: buttonVk = VK_LBUTTON; downMessage = WM_LBUTTONDOWN; break;
      case 2: buttonVk = VK_MBUTTON; downMessage = WM_MBUTTONDOWN; break;
      case 3: buttonVk = VK_RBUTTON; downMessage = WM_RBUTTONDOWN; break;
      default: return;
    }
    SetKey(s.asyncState, buttonVk, e.kind == NativeEvent::ButtonDown);
  }
  if (!top) return;
  const uintptr_t topId = top->id;
  if (e.kind == NativeEvent::Wheel) {
    const uintptr_t target = KeyTarget();
    if (target) {
      QueueInput(target, WM_MOUSEWHEEL,
                 (MouseKeys(s.asyncState) & 0xFFFF) | (static_cast<WPARAM>(static_cast<WORD>(e.wheel * 120)) << 16),
                 MAKELPARAM(s.cursorPos.x, s.cursorPos.y));
    }
    return;
  }
  if (!s.capture && (top->style & WS_DISABLED)) return;
  POINT client{};
  const uintptr_t target = MouseTarget(*top, POINT{e.x, e.y}, &client);
  if (!target) return;
  const LPARAM where = MAKELPARAM(client.x, client.y);
  if (e.kind == NativeEvent::MouseMove) {
    SendMessageA(H(target), WM_SETCURSOR, static_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    if (Find(target)) QueueInput(target, WM_MOUSEMOVE, MouseKeys(s.asyncState), where);
    return;
  }
  if (e.kind == NativeEvent::ButtonDown) {
    SendMessageA(H(target), WM_SETCURSOR, static_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, downMessage));
    if (!Find(target)) return;
    // A click on an inactive window of ours activates it first.
    if (s.active != topId || !s.appActive) {
      const LRESULT how = SendMessageA(H(target), WM_MOUSEACTIVATE, static_cast<WPARAM>(topId),
                                       MAKELPARAM(HTCLIENT, downMessage));
      if (how != MA_NOACTIVATE && how != MA_NOACTIVATEANDEAT) Activate(topId, WA_CLICKACTIVE, false);
      if (how == MA_ACTIVATEANDEAT || how == MA_NOACTIVATEANDEAT) return;
    }
    Window* tw = Find(target);
    if (!tw) return;
    UINT message = downMessage;
    const uint64_t now = NowMs();
    Window* rootWindow = Root(tw);
    if (rootWindow && (tw->cls->wc.style & CS_DBLCLKS) && rootWindow->lastClickButton == e.button &&
        now - rootWindow->lastClickTime <= 500 && std::abs(rootWindow->lastClickPos.x - s.cursorPos.x) <= 4 &&
        std::abs(rootWindow->lastClickPos.y - s.cursorPos.y) <= 4) {
      message = downMessage + 2;  // the double-click form follows the up message's number
      rootWindow->lastClickButton = 0;
    } else if (rootWindow) {
      rootWindow->lastClickButton = e.button;
      rootWindow->lastClickTime = now;
      rootWindow->lastClickPos = s.cursorPos;
    }
    QueueInput(target, message, MouseKeys(s.asyncState), where);
    return;
  }
  QueueInput(target, downMessage + 1, MouseKeys(s.asyncState), where);
}

// The window of ours that activation goes to when a native window gains the focus: a
// disabled owner passes it on to its enabled owned window, as a modal dialog's owner does.
uintptr_t FocusRedirect(uintptr_t id) {
  State& s = S();
  Window* w = Find(id);
  if (!w || !(w->style & WS_DISABLED)) return id;
  for (uintptr_t other : s.topOrder) {
    Window* o = Find(other);
    if (o && o->owner == id && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) return other;
  }
  return 0;
}

void ConvertNative(const NativeEvent& e) {
  State& s = S();
  switch (e.kind) {
    case NativeEvent::KeyDown:
      ConvertKey(e, true);
      break;
    case NativeEvent::KeyUp:
      ConvertKey(e, false);
      break;
    case NativeEvent::Text: {
      // The text belongs to the key that made it, even if that key's message has since
      // moved the focus (a key that opens a dialog does not type into the dialog).
      const uintptr_t target = Find(s.textTarget) ? s.textTarget : KeyTarget();
      s.textTarget = 0;
      if (target) {
        for (char c : e.text) QueueInput(target, WM_CHAR, static_cast<unsigned char>(c), 1);
      }
      break;
    }
    case NativeEvent::MouseMove:
    case NativeEvent::ButtonDown:
    case NativeEvent::ButtonUp:
    case NativeEvent::Wheel:
      ConvertMouse(e);
      break;
    case NativeEvent::FocusGained: {
      s.pendingDeactivate = false;
      Window* w = Find(e.window);
      if (!w || w->destroying) break;
      const uintptr_t to = FocusRedirect(e.window);
      if (to == 0) break;
      Activate(to, WA_ACTIVE, to == e.window);
      break;
    }
    case NativeEvent::FocusLost:
      if (e.window == s.active) s.pendingDeactivate = true;
      break;
    case NativeEvent::AppDeactivated:
      Activate(0, WA_INACTIVE, true);
      break;
    case NativeEvent::CloseRequest:
      if (Window* w = Find(e.window); w && !(w->style & WS_DISABLED)) {
        SendMessageA(H(e.window), WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      break;
    case NativeEvent::MinimizeRequest:
      if (Window* w = Find(e.window); w && !(w->style & WS_DISABLED)) {
        SendMessageA(H(e.window), WM_SYSCOMMAND, SC_MINIMIZE, 0);
      }
      break;
    case NativeEvent::Minimized:
      if (Window* w = Find(e.window); w && !w->minimized) {
        w->minimized = true;
        SendMessageA(H(e.window), WM_SIZE, SIZE_MINIMIZED, 0);
      }
      break;
    case NativeEvent::Restored:
      if (Window* w = Find(e.window); w && w->minimized) {
        w->minimized = false;
        const RECT client = ClientRectLocal(*w);
        SendMessageA(H(e.window), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
        if ((w = Find(e.window))) InvalidateTree(*w, ClientRectLocal(*w), true);
      }
      break;
    case NativeEvent::Moved:
      if (Window* w = Find(e.window)) {
        const RECT in = NonClientInsets(w->style, w->exStyle);
        const POINT origin = ClientOriginOnScreen(*w);
        if (origin.x != e.x || origin.y != e.y) {
          const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
          w->rect = RECT{e.x - in.left, e.y - in.top, e.x - in.left + width, e.y - in.top + height};
          WINDOWPOS pos{H(w->id), nullptr, w->rect.left, w->rect.top, width, height,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE};
          SendMessageA(H(e.window), WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
        }
      }
      break;
    case NativeEvent::Resized:
      if (Window* w = Find(e.window)) {
        const RECT client = ClientRectLocal(*w);
        if (e.x > 0 && e.y > 0 && (client.right != e.x || client.bottom != e.y)) {
          const RECT in = NonClientInsets(w->style, w->exStyle);
          w->rect.right = w->rect.left + e.x + in.left + in.right;
          w->rect.bottom = w->rect.top + e.y + in.top + in.bottom;
          ResizeBuffer(*w);
          InvalidateTree(*w, ClientRectLocal(*w), true);
          WINDOWPOS pos{H(w->id), nullptr, w->rect.left, w->rect.top, w->rect.right - w->rect.left,
                        w->rect.bottom - w->rect.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE};
          SendMessageA(H(e.window), WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
        }
      }
      break;
    case NativeEvent::Exposed:
      if (Window* w = Find(e.window)) MarkDirty(*w, RECT{0, 0, w->buffer->width, w->buffer->height});
      break;
    case NativeEvent::Wake:
      break;
  }
}

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
    std::lock_guard lock(s.queueMutex);
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

// How long a wait may sleep before a timer comes due (-1: no timer).
int TimerWait() {
  State& s = S();
  if (s.timers.empty()) return -1;
  const uint64_t now = NowMs();
  uint64_t next = UINT64_MAX;
  for (const Timer& t : s.timers) next = std::min(next, t.due);
  return next <= now ? 0 : static_cast<int>(std::min<uint64_t>(next - now, 0x7FFFFFFF));
}

bool HasMessage() {
  MSG m{};
  return Fetch(&m, nullptr, 0, 0, false);
}

}  // namespace

namespace window_internal {

Window* HitTest(Window& top, POINT p) {
  Window* w = &top;
  for (;;) {
    Window* hit = nullptr;
    for (uintptr_t id : w->children) {
      Window* c = Find(id);
      if (c && (c->style & WS_VISIBLE) && Contains(c->rect, p)) {
        hit = c;
        break;
      }
    }
    if (!hit) return w;
    const RECT in = NonClientInsets(hit->style, hit->exStyle);
    p = POINT{p.x - hit->rect.left - in.left, p.y - hit->rect.top - in.top};
    w = hit;
  }
}

void PumpNative() {
  State& s = S();
  if (!s.presenter) return;
  NativeEvent e;
  while (s.presenter && s.presenter->NextEvent(&e)) ConvertNative(e);
  if (s.pendingDeactivate && s.presenter) {
    s.pendingDeactivate = false;
    // A focus change between two of our own windows is not a deactivation.
    if (!s.presenter->AnyWindowFocused()) Activate(0, WA_INACTIVE, true);
  }
}

void UpdateCursor() {
  State& s = S();
  if (!s.presenter) return;
  const int id = static_cast<int>(reinterpret_cast<uintptr_t>(s.cursor));
  s.presenter->SetCursorShape(id, s.cursor != nullptr && s.showCount >= 0);
}

}  // namespace window_internal

// ---------------------------------------------------------------------------------------
// Presenters.

void UseHeadlessPresenter() {
  State& s = S();
  if (s.kind == PresenterKind::Headless) return;
  if (s.presenter) ResetWindowSystem();
  s.presenter = MakeHeadlessPresenter();
  s.kind = PresenterKind::Headless;
  s.uiThread = std::this_thread::get_id();
  s.presenterError.clear();
}

BOOL UseSdlPresenter() {
  State& s = S();
  if (s.kind == PresenterKind::Sdl) return TRUE;
  if (s.presenter) ResetWindowSystem();
  std::string error;
  auto presenter = MakeSdlPresenter(&error);
  if (!presenter) {
    s.presenterError = error;
    return FALSE;
  }
  s.presenter = std::move(presenter);
  s.kind = PresenterKind::Sdl;
  s.uiThread = std::this_thread::get_id();
  s.presenterError.clear();
  return TRUE;
}

BOOL EnsurePresenter() { return EnsurePresenterNow() ? TRUE : FALSE; }
PresenterKind CurrentPresenterKind() { return S().kind; }
const std::string& PresenterError() { return S().presenterError; }

void ResetWindowSystem() {
  State& s = S();
  const std::vector<uintptr_t> tops = s.topOrder;
  for (uintptr_t id : tops) DestroyWindow(H(id));
  while (!s.windows.empty()) ForgetWindow(s.windows.begin()->first);
  for (auto& [dc, record] : s.dcs) DeleteDC(dc);
  s.dcs.clear();
  s.classes.clear();
  s.timers.clear();
  {
    std::lock_guard lock(s.queueMutex);
    s.posted.clear();
    s.liveIds.clear();
  }
  s.input.clear();
  s.topOrder.clear();
  s.quitPosted = false;
  s.quitCode = 0;
  s.focus = s.active = s.lastActive = s.capture = 0;
  s.appActive = false;
  s.pendingDeactivate = false;
  s.textTarget = 0;
  s.keyState.fill(0);
  s.asyncState.fill(0);
  s.cursor = nullptr;
  s.cursorSet = false;
  s.showCount = 0;
  s.presenter.reset();
  s.kind = PresenterKind::None;
  s.presenterError.clear();
}

// ---------------------------------------------------------------------------------------
// The queue.

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  State& s = S();
  // The pointer position belongs to the user-interface thread; other threads post without it.
  const bool ui = OnUiThread();
  const POINT pt = ui ? s.cursorPos : POINT{0, 0};
  {
    std::lock_guard lock(s.queueMutex);
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
    std::lock_guard lock(s.queueMutex);
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
    std::lock_guard lock(s.queueMutex);
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

// ---------------------------------------------------------------------------------------
// Timers.

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT milliseconds, TIMERPROC proc) {
  State& s = S();
  if (hwnd && !Find(hwnd)) return 0;
  if (!hwnd) id = s.nextTimerId++;
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

// ---------------------------------------------------------------------------------------
// Keyboard.

SHORT GetKeyState(int vk) {
  const BYTE b = S().keyState[static_cast<UINT>(vk) & 0xFF];
  return static_cast<SHORT>(static_cast<USHORT>(((b & 0x80) ? 0x8000 : 0) | (b & 1)));
}

SHORT GetAsyncKeyState(int vk) {
  const BYTE b = S().asyncState[static_cast<UINT>(vk) & 0xFF];
  return static_cast<SHORT>(static_cast<USHORT>((b & 0x80) ? 0x8000 : 0));
}

BOOL GetKeyboardState(BYTE* state) {
  if (!state) return FALSE;
  std::copy(S().keyState.begin(), S().keyState.end(), state);
  return TRUE;
}

UINT MapVirtualKeyA(UINT code, UINT mapType) {
  switch (mapType) {
    case 0:  // virtual key to scan code
      return ScanCodeFor(code);
    case 2: {  // virtual key to unshifted character
      const char c = VirtualKeyToChar(code, false, false, false);
      return (code >= 'A' && code <= 'Z') ? code : static_cast<unsigned char>(c);
    }
    default:
      return 0;
  }
}

char VirtualKeyToChar(UINT vk, bool shift, bool capsLock, bool control) {
  if (control) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 1);
    if (vk == VK_BACK) return 0x7F;
    if (vk == VK_RETURN) return '\n';
    if (vk == VK_ESCAPE) return 0x1B;
    if (vk == VK_OEM_4) return 0x1B;
    if (vk == VK_OEM_5) return 0x1C;
    if (vk == VK_OEM_6) return 0x1D;
    return 0;
  }
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>((shift != capsLock) ? vk : vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char>('0' + (vk - VK_NUMPAD0));
  switch (vk) {
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return 0x1B;
    case VK_SPACE: return ' ';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_OEM_1: return shift ? ':' : ';';
    case VK_OEM_PLUS: return shift ? '+' : '=';
    case VK_OEM_COMMA: return shift ? '<' : ',';
    case VK_OEM_MINUS: return shift ? '_' : '-';
    case VK_OEM_PERIOD: return shift ? '>' : '.';
    case VK_OEM_2: return shift ? '?' : '/';
    case VK_OEM_3: return shift ? '~' : '`';
    case VK_OEM_4: return shift ? '{' : '[';
    case VK_OEM_5: return shift ? '|' : '\\';
    case VK_OEM_6: return shift ? '}' : ']';
    case VK_OEM_7: return shift ? '"' : '\'';
    case VK_OEM_102: return shift ? '|' : '\\';
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------
// Mouse.

HWND SetCapture(HWND hwnd) {
  State& s = S();
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  const uintptr_t old = s.capture;
  if (old == w->id) return H(old);
  s.capture = w->id;
  if (s.presenter) s.presenter->SetCapture(Root(w)->id, true);
  if (old) Send(old, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(w->id));
  return H(old);
}

BOOL ReleaseCapture() {
  State& s = S();
  const uintptr_t old = s.capture;
  if (!old) return TRUE;
  s.capture = 0;
  if (s.presenter) s.presenter->SetCapture(old, false);
  Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return H(S().capture); }

HWND WindowFromPoint(POINT p) {
  for (uintptr_t id : S().topOrder) {
    Window* w = Find(id);
    if (!w || !(w->style & WS_VISIBLE) || w->minimized || !Contains(w->rect, p)) continue;
    const POINT origin = ClientOriginOnScreen(*w);
    const POINT local{p.x - origin.x, p.y - origin.y};
    if (!Contains(ClientRectLocal(*w), local)) return H(id);
    return H(HitTest(*w, local)->id);
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT p) {
  Window* w = Find(parent);
  if (!w || !Contains(ClientRectLocal(*w), p)) return nullptr;
  for (uintptr_t id : w->children) {
    Window* c = Find(id);
    if (c && Contains(c->rect, p)) return H(id);
  }
  return parent;
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  State& s = S();
  int x = 0, y = 0;
  if (s.presenter && s.kind == PresenterKind::Sdl && s.presenter->PointerPosition(&x, &y)) s.cursorPos = POINT{x, y};
  *point = s.cursorPos;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  State& s = S();
  s.cursorPos = POINT{x, y};
  if (s.presenter) s.presenter->WarpPointer(x, y);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Cursors: a predefined cursor's handle is its resource number.

HCURSOR LoadCursorA(HINSTANCE, const char* name) {
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id >= 32512 && id <= 32651) return reinterpret_cast<HCURSOR>(id);
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  State& s = S();
  HCURSOR old = s.cursor;
  s.cursor = cursor;
  s.cursorSet = true;
  UpdateCursor();
  return old;
}

HCURSOR GetCursor() { return S().cursor; }

int ShowCursor(BOOL show) {
  State& s = S();
  s.showCount += show ? 1 : -1;
  UpdateCursor();
  return s.showCount;
}

// ---------------------------------------------------------------------------------------
// The vertical blank: blanks fall on whole multiples of the refresh period on the clock.

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

// ---------------------------------------------------------------------------------------
// Headless controls.

namespace headless {
namespace {

void Inject(NativeEvent e) {
  if (HeadlessControls* h = Headless()) h->Inject(e);
}

// The top-level of ours under a screen point, with the point in its client coordinates.
uintptr_t TopAt(int sx, int sy, int* cx, int* cy) {
  State& s = S();
  uintptr_t id = 0;
  if (Window* c = Find(s.capture)) {
    id = Root(c)->id;
  } else {
    for (uintptr_t t : s.topOrder) {
      Window* w = Find(t);
      if (!w || !(w->style & WS_VISIBLE) || w->minimized) continue;
      const POINT o = ClientOriginOnScreen(*w);
      if (Contains(Offset(ClientRectLocal(*w), o.x, o.y), POINT{sx, sy})) {
        id = t;
        break;
      }
    }
  }
  if (Window* w = Find(id)) {
    const POINT o = ClientOriginOnScreen(*w);
    *cx = sx - o.x;
    *cy = sy - o.y;
  }
  return id;
}

bool CharToKey(char c, UINT* vk, bool* shift) {
  *shift = false;
  if (c >= 'a' && c <= 'z') {
    *vk = static_cast<UINT>(c - 'a' + 'A');
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    *vk = static_cast<UINT>(c);
    *shift = true;
    return true;
  }
  if (c == '\n') {
    *vk = VK_RETURN;
    return true;
  }
  static const UINT candidates[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', VK_SPACE, VK_RETURN, VK_BACK,
                                    VK_TAB, VK_ESCAPE, VK_OEM_1, VK_OEM_PLUS, VK_OEM_COMMA, VK_OEM_MINUS,
                                    VK_OEM_PERIOD, VK_OEM_2, VK_OEM_3, VK_OEM_4, VK_OEM_5, VK_OEM_6, VK_OEM_7};
  for (UINT candidate : candidates) {
    for (bool s : {false, true}) {
      if (VirtualKeyToChar(candidate, s, false, false) == c) {
        *vk = candidate;
        *shift = s;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

void SetScreenSize(int width, int height) {
  if (S().kind == PresenterKind::None) UseHeadlessPresenter();
  if (HeadlessControls* h = Headless()) h->SetScreen(std::max(width, 1), std::max(height, 1));
}

void KeyDown(UINT vk, char character) {
  NativeEvent e;
  e.kind = NativeEvent::KeyDown;
  e.vk = vk;
  e.character = character;
  Inject(e);
}

void KeyDownWithText(UINT vk) {
  NativeEvent e;
  e.kind = NativeEvent::KeyDown;
  e.vk = vk;
  e.textFollows = true;
  Inject(e);
}

void LayoutText(const std::string& text) {
  NativeEvent e;
  e.kind = NativeEvent::Text;
  e.text = text;
  Inject(e);
}

void KeyUp(UINT vk) {
  NativeEvent e;
  e.kind = NativeEvent::KeyUp;
  e.vk = vk;
  Inject(e);
}

void KeyPress(UINT vk, char character) {
  KeyDown(vk, character);
  KeyUp(vk);
}

void TypeText(const std::string& text) {
  for (char c : text) {
    UINT vk = 0;
    bool shift = false;
    if (!CharToKey(c, &vk, &shift)) {
      NativeEvent e;
      e.kind = NativeEvent::Text;
      e.text = std::string(1, c);
      Inject(e);
      continue;
    }
    if (shift) KeyDown(VK_LSHIFT);
    KeyPress(vk);
    if (shift) KeyUp(VK_LSHIFT);
  }
}

void MouseMove(int screenX, int screenY) {
  NativeEvent e;
  e.kind = NativeEvent::MouseMove;
  e.window = TopAt(screenX, screenY, &e.x, &e.y);
  if (!e.window) {
    S().cursorPos = POINT{screenX, screenY};
    return;
  }
  Inject(e);
}

void MouseMoveClient(HWND hwnd, int x, int y) {
  POINT p{x, y};
  if (!ClientToScreen(hwnd, &p)) return;
  MouseMove(p.x, p.y);
}

void MouseButton(int button, bool down, int screenX, int screenY) {
  NativeEvent e;
  e.kind = down ? NativeEvent::ButtonDown : NativeEvent::ButtonUp;
  e.button = button;
  e.window = TopAt(screenX, screenY, &e.x, &e.y);
  if (!e.window) {
    // Outside our windows the button still changes the mouse's state.
    SetKey(S().asyncState, button == 1 ? VK_LBUTTON : button == 2 ? VK_MBUTTON : VK_RBUTTON, down);
    return;
  }
  Inject(e);
}

void Click(HWND hwnd, int clientX, int clientY, int button) {
  POINT p{clientX, clientY};
  if (!ClientToScreen(hwnd, &p)) return;
  MouseMove(p.x, p.y);
  MouseButton(button, true, p.x, p.y);
  MouseButton(button, false, p.x, p.y);
}

void ActivateWindow(HWND topLevel) {
  NativeEvent e;
  e.kind = NativeEvent::FocusGained;
  e.window = Id(topLevel);
  Inject(e);
}

void ActivateOtherApplication() {
  NativeEvent e;
  e.kind = NativeEvent::AppDeactivated;
  Inject(e);
}

void RequestClose(HWND topLevel) {
  NativeEvent e;
  e.kind = NativeEvent::CloseRequest;
  e.window = Id(topLevel);
  Inject(e);
}

void Minimize(HWND topLevel) {
  NativeEvent e;
  e.kind = NativeEvent::MinimizeRequest;
  e.window = Id(topLevel);
  Inject(e);
}

BOOL LastFrame(HWND topLevel, WindowPixels* out) {
  HeadlessControls* h = Headless();
  Window* w = Find(topLevel);
  if (!h || !w || w->IsChild() || !out) return FALSE;
  FlushPresents();
  int count = 0;
  return h->Frame(w->id, &out->width, &out->height, &out->pixels, &count) ? TRUE : FALSE;
}

int PresentCount(HWND topLevel) {
  HeadlessControls* h = Headless();
  Window* w = Find(topLevel);
  if (!h || !w) return 0;
  WindowPixels ignored;
  int count = 0;
  h->Frame(w->id, &ignored.width, &ignored.height, &ignored.pixels, &count);
  return count;
}

bool CursorVisible() {
  HeadlessControls* h = Headless();
  return h ? h->CursorShown() : true;
}

size_t PendingEvents() {
  HeadlessControls* h = Headless();
  return h ? h->Pending() : 0;
}

}  // namespace headless
