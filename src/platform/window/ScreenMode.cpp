// Display modes as the program sees them: see ScreenMode.h.
#include "platform/window/ScreenMode.h"

#include "platform/window/WindowState.h"

using namespace window_internal;

namespace {

struct ModeState {
  bool set = false;
  int width = 0;
  int height = 0;
  int bitCount = 0;
  HWND holder = nullptr;
  DWORD deactivations = 0;
};

ModeState& Mode() {
  static ModeState mode;
  return mode;
}

}  // namespace

namespace window_internal {

void ProgramScreenSize(int* width, int* height) {
  const ModeState& m = Mode();
  if (m.set) {
    *width = m.width;
    *height = m.height;
    return;
  }
  GetMonitorSize(width, height);
}

void NoteAppDeactivated() { ++Mode().deactivations; }

void ForgetScreenMode() {
  Mode().set = false;
  Mode().holder = nullptr;
}

}  // namespace window_internal

void GetMonitorSize(int* width, int* height) {
  *width = 0;
  *height = 0;
  if (!EnsurePresenterNow()) return;
  S().presenter->ScreenSize(width, height);
}

BOOL BeginScreenMode(HWND holder, int width, int height, int bitCount) {
  if (!IsWindow(holder) || (GetWindowLongA(holder, GWL_STYLE) & WS_CHILD) || width <= 0 || height <= 0) return FALSE;
  if (!EnsurePresenterNow()) return FALSE;
  ModeState& m = Mode();
  m.set = true;
  m.width = width;
  m.height = height;
  m.bitCount = bitCount;
  m.holder = holder;
  S().presenter->SetLogicalScreen(width, height);
  // The holder becomes a borderless, topmost window over the whole (mode-sized) screen,
  // which the presenter shows full-screen.
  const LONG style = GetWindowLongA(holder, GWL_STYLE);
  SetWindowLongA(holder, GWL_STYLE, (style & ~(WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) | WS_POPUP);
  SetWindowPos(holder, HWND_TOPMOST, 0, 0, width, height, SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return TRUE;
}

void EndScreenMode() {
  ModeState& m = Mode();
  if (!m.set) return;
  m.set = false;
  if (S().presenter) S().presenter->SetLogicalScreen(0, 0);
  // The holder keeps its place; the presenter sees it on the monitor's own screen again.
  if (IsWindow(m.holder)) {
    RECT r;
    GetWindowRect(m.holder, &r);
    SetWindowPos(m.holder, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  m.holder = nullptr;
}

BOOL GetScreenMode(int* width, int* height, int* bitCount) {
  const ModeState& m = Mode();
  if (!m.set) return FALSE;
  if (width) *width = m.width;
  if (height) *height = m.height;
  if (bitCount) *bitCount = m.bitCount;
  return TRUE;
}

DWORD GetDeactivationCount() { return Mode().deactivations; }
