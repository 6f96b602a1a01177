#pragma once
// A fresh headless window system and display service per test, with one top-level window
// that holds the display and a TDirectDraw on it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "display/DirectX.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

inline LRESULT DisplayTestWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Takes and dispatches everything waiting, so injected activations take effect.
inline void PumpMessages() {
  MSG msg;
  for (int n = 0; n < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWindowSystem();
    UseHeadlessPresenter();
    headless::SetScreenSize(1024, 768);
    ddraw::ResetDirectDrawSettings();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DisplayTestWndProc;
    wc.lpszClassName = "DisplayTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    Window = CreateWindowExA(0, "DisplayTest", "Display", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(Window, nullptr);
    DD = std::make_unique<TDirectDraw>(nullptr);
  }

  void TearDown() override {
    DD.reset();
    ddraw::ResetDirectDrawSettings();
    ReleaseLibraries();
    ResetWindowSystem();
  }

  // Takes the screen exclusively at the given mode, so off-screen surfaces get its format.
  void Exclusive(int Width, int Height, int BitCount) {
    ASSERT_EQ(DD->IDraw()->SetCooperativeLevel(Window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX), DD_OK);
    ASSERT_EQ(DD->IDraw()->SetDisplayMode(static_cast<DWORD>(Width), static_cast<DWORD>(Height),
                                          static_cast<DWORD>(BitCount)),
              DD_OK);
  }

  // An off-screen surface of the current mode's format, owned by DD.
  TDirectDrawSurface* NewSurface(int Width, int Height) {
    auto* s = new TDirectDrawSurface(DD.get());
    s->Resize(Width, Height);
    return s;
  }

  // An off-screen surface of 24 bits (8-8-8), which no mode has, under a 32-bit mode.
  TDirectDrawSurface* NewTwentyFourBitSurface(int Width, int Height) {
    Exclusive(800, 600, 32);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.dwWidth = static_cast<DWORD>(Width);
    desc.dwHeight = static_cast<DWORD>(Height);
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = 24;
    desc.ddpfPixelFormat.dwRBitMask = 0xFF0000;
    desc.ddpfPixelFormat.dwGBitMask = 0x00FF00;
    desc.ddpfPixelFormat.dwBBitMask = 0x0000FF;
    auto* s = new TDirectDrawSurface(DD.get());
    EXPECT_TRUE(s->CreateSurface(desc));
    return s;
  }

  HWND Window = nullptr;
  std::unique_ptr<TDirectDraw> DD;
};
