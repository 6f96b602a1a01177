// The mouse: capture, the pointer's position and the window under it, and cursor shapes.
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

void UpdateCursor() {
  State& s = S();
  if (!s.presenter) return;
  const int id = static_cast<int>(reinterpret_cast<uintptr_t>(s.cursor));
  s.presenter->SetCursorShape(id, s.cursor != nullptr && s.showCount >= 0);
}

}  // namespace window_internal

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
