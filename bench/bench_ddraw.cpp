// The display service's hot paths: filling the back surface, a colour-keyed sprite blit,
// and a flip with its presentation (the wait for the blank is taken out by a manual
// clock). Presentation runs on the headless presenter, and on SDL's when DISPLAY is set
// (run under Xvfb for the X11 framebuffer path).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

namespace {

LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// An exclusive 800 x 600 x 16 display with its flipping chain, on a screen of the given
// size, through the headless presenter or SDL's.
struct Display {
  LPDIRECTDRAW dd = nullptr;
  LPDIRECTDRAWSURFACE primary = nullptr;
  LPDIRECTDRAWSURFACE back = nullptr;
  HWND form = nullptr;
  bool ok = false;

  Display(int screenWidth, int screenHeight, bool sdl) {
    ResetWindowSystem();
    if (sdl) {
      if (!UseSdlPresenter()) return;
    } else {
      UseHeadlessPresenter();
      headless::SetScreenSize(screenWidth, screenHeight);
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Bench";
    RegisterClassA(&wc);
    form = CreateWindowExA(0, "Bench", "Bench", WS_POPUP | WS_VISIBLE, 0, 0, screenWidth, screenHeight, nullptr,
                           nullptr, nullptr, nullptr);
    Pump();
    if (DirectDrawCreate(nullptr, &dd, nullptr) != DD_OK) return;
    dd->SetCooperativeLevel(form, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX | DDSCL_ALLOWREBOOT);
    if (dd->SetDisplayMode(800, 600, 16) != DD_OK) return;
    Pump();
    DDSURFACEDESC d;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    if (dd->CreateSurface(&d, &primary, nullptr) != DD_OK) return;
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    ok = primary->GetAttachedSurface(&caps, &back) == DD_OK;
  }
  ~Display() {
    if (dd) dd->Release();
    ResetWindowSystem();
  }
};

DDBLTFX FillEffects(DWORD value) {
  DDBLTFX fx;
  std::memset(&fx, 0, sizeof fx);
  fx.dwSize = sizeof fx;
  fx.dwFillColor = value;
  return fx;
}

void BM_Fill800x600x16(benchmark::State& state) {
  Display display(1920, 1080, false);
  if (!display.ok) return state.SkipWithError("no display");
  DDBLTFX fx = FillEffects(0);
  for (auto _ : state) {
    display.back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Fill800x600x16);

// The ball: a 47 x 47 picture of 256 colours on a black (transparent) background, drawn
// through the GDI onto a 16-bit surface, then blitted with its colour key.
void BM_KeyedSprite47(benchmark::State& state) {
  Display display(1920, 1080, false);
  if (!display.ok) return state.SkipWithError("no display");
  DDSURFACEDESC d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.dwWidth = d.dwHeight = 47;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  LPDIRECTDRAWSURFACE sprite = nullptr;
  if (display.dd->CreateSurface(&d, &sprite, nullptr) != DD_OK) return state.SkipWithError("no sprite");
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info{};
  info.header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 47, 47, 1, 8, BI_RGB, 0, 0, 0, 256, 0};
  for (int i = 0; i < 256; ++i) info.colors[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 200, 0};
  info.colors[0] = RGBQUAD{0, 0, 0, 0};
  std::vector<uint8_t> bits(48 * 47, 0);
  for (int y = 0; y < 47; ++y) {
    for (int x = 0; x < 47; ++x) {
      const int dx = x - 23, dy = y - 23;
      if (dx * dx + dy * dy <= 23 * 23) bits[static_cast<size_t>(y) * 48 + static_cast<size_t>(x)] = static_cast<uint8_t>(1 + (x + y) % 255);
    }
  }
  HDC dc = nullptr;
  sprite->GetDC(&dc);
  StretchDIBits(dc, 0, 0, 47, 47, 0, 0, 47, 47, bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                SRCCOPY);
  sprite->ReleaseDC(dc);
  DDCOLORKEY key{0, 0};
  sprite->SetColorKey(DDCKEY_SRCBLT, &key);
  RECT from{0, 0, 47, 47};
  DWORD x = 0;
  for (auto _ : state) {
    display.back->BltFast(100 + (x & 255), 200, sprite, &from, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT);
    ++x;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_KeyedSprite47);

void FlipAndPresent(benchmark::State& state, bool sdl) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  if (sdl && !std::getenv("DISPLAY")) return state.SkipWithError("no DISPLAY for the SDL presenter");
  ManualClock clock(1000);
  InstallClock(&clock);
  {
    Display display(width, height, sdl);
    if (!display.ok) {
      InstallClock(nullptr);
      return state.SkipWithError("no display");
    }
    headless::ActivateWindow(display.form);
    Pump();
    DDBLTFX fx = FillEffects(0x1234);
    display.back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    for (auto _ : state) {
      if (display.primary->Flip(nullptr, DDFLIP_WAIT) != DD_OK) {
        state.SkipWithError("flip failed");
        break;
      }
    }
  }
  InstallClock(nullptr);
}
// The saver's own loop: one flip per vertical blank on the real clock. Its CPU time over
// its real time is the share of a core that presenting costs this process.
void BM_SaverLoopSdl(benchmark::State& state) {
  if (!std::getenv("DISPLAY")) return state.SkipWithError("no DISPLAY for the SDL presenter");
  Display display(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), true);
  if (!display.ok) return state.SkipWithError("no display");
  headless::ActivateWindow(display.form);
  Pump();
  DDBLTFX fx = FillEffects(0x1234);
  for (auto _ : state) {
    display.back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    display.primary->Flip(nullptr, DDFLIP_WAIT);
    Pump();
  }
}
// The arguments are the X screen's size (start Xvfb with it).
BENCHMARK(BM_SaverLoopSdl)->Args({800, 600})->Args({1920, 1080})->Iterations(300)->Unit(benchmark::kMicrosecond);

void BM_FlipPresentHeadless(benchmark::State& state) { FlipAndPresent(state, false); }
void BM_FlipPresentSdl(benchmark::State& state) { FlipAndPresent(state, true); }
BENCHMARK(BM_FlipPresentHeadless)->Args({800, 600})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlipPresentSdl)->Args({800, 600})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
