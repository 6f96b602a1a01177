// The headless presenter's controls for tests: injected input, the screen's size and the
// frames shown.
#include <algorithm>
#include <string>

#include "platform/window/Headless.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace {

HeadlessControls* Headless() { return dynamic_cast<HeadlessControls*>(S().presenter.get()); }

}  // namespace

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

void Wheel(HWND hwnd, int clientX, int clientY, int delta) {
  POINT p{clientX, clientY};
  if (!ClientToScreen(hwnd, &p)) return;
  MouseMove(p.x, p.y);
  NativeEvent e;
  e.kind = NativeEvent::Wheel;
  e.wheel = delta;
  e.window = TopAt(p.x, p.y, &e.x, &e.y);
  if (e.window) Inject(e);
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
