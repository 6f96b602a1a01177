#pragma once
// A fresh headless window system and display service per test, with helpers to make
// surfaces and read their pixels.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/ScreenMode.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

inline LRESULT DDrawTestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline void PumpMessages() {
  MSG msg;
  for (int n = 0; n < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class DDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWindowSystem();
    UseHeadlessPresenter();
    headless::SetScreenSize(1920, 1080);
    ddraw::ResetDirectDrawSettings();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DDrawTestWindowProc;
    wc.lpszClassName = "DDrawTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  }
  void TearDown() override {
    if (dd) dd->Release();
    EndScreenMode();
    InstallClock(nullptr);
    ddraw::ResetDirectDrawSettings();
    ResetWindowSystem();
    EXPECT_EQ(ddraw::LiveObjectCount(), 0) << "objects outlived their display object";
  }

  HWND Window(DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int x = 100, int y = 100, int w = 400, int h = 300) {
    HWND hwnd = CreateWindowExA(0, "DDrawTest", "Test", style, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
    PumpMessages();
    return hwnd;
  }

  // The exclusive level on a window of its own, with the mode set.
  HWND Exclusive(int width = 800, int height = 600, int bits = 16) {
    HWND hwnd = Window();
    EXPECT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX | DDSCL_ALLOWREBOOT),
              DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<DWORD>(bits)),
              DD_OK);
    PumpMessages();
    return hwnd;
  }

  static DDSURFACEDESC Desc() {
    DDSURFACEDESC d;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    return d;
  }

  LPDIRECTDRAWSURFACE Offscreen(int width, int height, DWORD extraCaps = 0, int bits = 0) {
    DDSURFACEDESC d = Desc();
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = static_cast<DWORD>(width);
    d.dwHeight = static_cast<DWORD>(height);
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | extraCaps;
    if (bits) {
      d.dwFlags |= DDSD_PIXELFORMAT;
      d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
      d.ddpfPixelFormat.dwFlags = bits == 8 ? DDPF_RGB | DDPF_PALETTEINDEXED8 : DDPF_RGB;
      d.ddpfPixelFormat.dwRGBBitCount = static_cast<DWORD>(bits);
      if (bits == 16) {
        d.ddpfPixelFormat.dwRBitMask = 0xF800;
        d.ddpfPixelFormat.dwGBitMask = 0x07E0;
        d.ddpfPixelFormat.dwBBitMask = 0x001F;
      } else if (bits > 16) {
        d.ddpfPixelFormat.dwRBitMask = 0xFF0000;
        d.ddpfPixelFormat.dwGBitMask = 0x00FF00;
        d.ddpfPixelFormat.dwBBitMask = 0x0000FF;
      }
    }
    LPDIRECTDRAWSURFACE s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    return s;
  }

  // The flipping primary and its back buffer.
  LPDIRECTDRAWSURFACE FlipChain(LPDIRECTDRAWSURFACE* back) {
    DDSURFACEDESC d = Desc();
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    LPDIRECTDRAWSURFACE primary = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    if (primary) {
      EXPECT_EQ(primary->GetAttachedSurface(&caps, back), DD_OK);
    }
    return primary;
  }

  static DWORD Pixel(LPDIRECTDRAWSURFACE s, int x, int y) {
    DDSURFACEDESC d = Desc();
    if (s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr) != DD_OK) return 0xDEADBEEF;
    const auto* row = static_cast<const uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch;
    DWORD v = 0;
    const int bytes = static_cast<int>(d.ddpfPixelFormat.dwRGBBitCount / 8);
    std::memcpy(&v, row + x * bytes, static_cast<size_t>(bytes));
    s->Unlock(nullptr);
    return v;
  }

  static void SetPixelValue(LPDIRECTDRAWSURFACE s, int x, int y, DWORD v) {
    DDSURFACEDESC d = Desc();
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    auto* row = static_cast<uint8_t*>(d.lpSurface) + static_cast<ptrdiff_t>(y) * d.lPitch;
    const int bytes = static_cast<int>(d.ddpfPixelFormat.dwRGBBitCount / 8);
    std::memcpy(row + x * bytes, &v, static_cast<size_t>(bytes));
    s->Unlock(nullptr);
  }

  static HRESULT Fill(LPDIRECTDRAWSURFACE s, DWORD value, RECT* rect = nullptr) {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = value;
    return s->Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
  }

  static void Key(LPDIRECTDRAWSURFACE s, DWORD value) {
    DDCOLORKEY key{value, value};
    ASSERT_EQ(s->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  }

  LPDIRECTDRAW dd = nullptr;
};
