#pragma once
// Shared pieces of the window system's tests: a fresh headless window system per test,
// a window procedure that records what it is sent, and a message pump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock/Clock.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

struct Received {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  UINT posFlags = 0;  // WM_WINDOWPOSCHANGED's flags, read while the record still exists
};

inline std::vector<Received>& Log() {
  static std::vector<Received> log;
  return log;
}

inline LRESULT CALLBACK_Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Received r{hwnd, message, wParam, lParam};
  if (message == WM_WINDOWPOSCHANGED && lParam) r.posFlags = reinterpret_cast<const WINDOWPOS*>(lParam)->flags;
  Log().push_back(r);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The messages of interest sent to one window, in order.
inline std::vector<UINT> MessagesOf(HWND hwnd, std::initializer_list<UINT> interesting) {
  std::vector<UINT> out;
  for (const Received& r : Log()) {
    if (r.hwnd != hwnd) continue;
    for (UINT m : interesting) {
      if (m == r.message) out.push_back(m);
    }
  }
  return out;
}

inline int CountOf(HWND hwnd, UINT message) {
  int n = 0;
  for (const Received& r : Log()) n += (r.hwnd == hwnd && r.message == message) ? 1 : 0;
  return n;
}

// Takes and dispatches everything waiting, WM_PAINT included, as a message loop would.
inline int Pump() {
  MSG msg;
  int n = 0;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (++n > 10000) break;  // a fault that keeps producing messages must not hang the test
  }
  return n;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWindowSystem();
    UseHeadlessPresenter();
    Log().clear();
    WNDCLASSA wc{};
    wc.lpfnWndProc = CALLBACK_Record;
    wc.lpszClassName = "Recorder";
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  void TearDown() override {
    InstallClock(nullptr);
    ResetWindowSystem();
  }

  HWND TopLevel(DWORD style = WS_OVERLAPPEDWINDOW, int x = 100, int y = 100, int w = 300, int h = 200,
                HWND owner = nullptr) {
    return CreateWindowExA(0, "Recorder", "Top", style, x, y, w, h, owner, nullptr, nullptr, nullptr);
  }
  HWND Child(HWND parent, int x, int y, int w, int h, int id = 1, DWORD style = WS_CHILD | WS_VISIBLE) {
    return CreateWindowExA(0, "Recorder", "", style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }
};
