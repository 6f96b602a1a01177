// The turning of native input and window events into messages.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/clock/Clock.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace {

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
  if (!s.capture && (top->style & WS_DISABLED)) return;
  POINT client{};
  const uintptr_t target = MouseTarget(*top, POINT{e.x, e.y}, &client);
  if (!target) return;
  if (e.kind == NativeEvent::Wheel) {
    // The wheel scrolls what is under the pointer, as people expect of a desktop today,
    // not whatever has the focus; its place is given on the screen.
    const auto delta = static_cast<SHORT>(std::clamp(e.wheel, -32768, 32767));
    QueueInput(target, WM_MOUSEWHEEL,
               (MouseKeys(s.asyncState) & 0xFFFF) | (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16),
               MAKELPARAM(s.cursorPos.x, s.cursorPos.y));
    return;
  }
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

}  // namespace window_internal
