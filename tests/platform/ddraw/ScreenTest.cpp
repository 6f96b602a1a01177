// What reaches the screen: flips, the palette of an 8-bit screen, the windowed primary,
// lost surfaces, and modes seen by the program while the monitor keeps its own.
#include "platform/ddraw/DDrawTestSupport.h"
#include "platform/window/ModeFrames.h"
#include "support/Png.h"

namespace {
WindowPixels Frame(HWND hwnd) {
  WindowPixels frame;
  EXPECT_TRUE(headless::LastFrame(hwnd, &frame));
  return frame;
}
}  // namespace

TEST_F(DDrawTest, LosingTheFocusLosesTheVideoSurfacesUntilRestoredWhenActiveAgain) {
  HWND hwnd = Exclusive();
  headless::ActivateWindow(hwnd);
  PumpMessages();
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = FlipChain(&back);
  LPDIRECTDRAWSURFACE video = Offscreen(8, 8);
  LPDIRECTDRAWSURFACE system = Offscreen(8, 8, DDSCAPS_SYSTEMMEMORY);
  ASSERT_EQ(primary->IsLost(), DD_OK);

  headless::ActivateOtherApplication();
  PumpMessages();
  EXPECT_EQ(static_cast<uint32_t>(primary->IsLost()), 0x887601C2u);
  EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK) << "system memory is never lost";
  // Every drawing call fails with the code and nothing else happens.
  EXPECT_EQ(Fill(back, 0), DDERR_SURFACELOST);
  EXPECT_EQ(back->BltFast(0, 0, system, nullptr, DDBLTFAST_WAIT), DDERR_SURFACELOST);
  EXPECT_EQ(system->BltFast(0, 0, video, nullptr, DDBLTFAST_WAIT), DDERR_SURFACELOST) << "a lost source too";
  DDSURFACEDESC d = Desc();
  EXPECT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  HDC dc = nullptr;
  EXPECT_EQ(back->GetDC(&dc), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
  // Not while another program has the screen.
  EXPECT_EQ(primary->Restore(), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);

  headless::ActivateWindow(hwnd);
  PumpMessages();
  EXPECT_EQ(primary->Restore(), DD_OK);
  EXPECT_EQ(primary->IsLost(), DD_OK);
  EXPECT_EQ(back->IsLost(), DD_OK) << "restoring the front restores its chain";
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST) << "other surfaces are restored one by one";
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(Fill(back, 0), DD_OK);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
}

TEST_F(DDrawTest, ChangingTheModeLosesTheSurfacesOfTheOldOne) {
  Exclusive(800, 600, 16);
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = FlipChain(&back);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16), DD_OK);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
}

TEST_F(DDrawTest, FlipWaitsForTheBlankSwapsAndPresents) {
  ManualClock clock(1000);
  InstallClock(&clock);
  HWND hwnd = Exclusive();
  headless::ActivateWindow(hwnd);
  PumpMessages();
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = FlipChain(&back);
  ASSERT_EQ(Fill(back, 0xF800), DD_OK);  // red
  ASSERT_EQ(Fill(primary, 0x001F), DD_OK);  // blue
  const int before = headless::PresentCount(hwnd);
  const uint64_t start = clock.Milliseconds();
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_GT(clock.Milliseconds(), start) << "the flip waited for the blank";
  EXPECT_GT(headless::PresentCount(hwnd), before);
  EXPECT_EQ(Pixel(primary, 10, 10), 0xF800u);
  EXPECT_EQ(Pixel(back, 10, 10), 0x001Fu);
  WindowPixels frame = Frame(hwnd);
  EXPECT_EQ(frame.At(frame.width / 2, frame.height / 2), 0xFF0000u);

  // Without the wait flag, a flip asked for away from the blank is refused (the clock
  // stands just after the blank's start).
  ASSERT_FALSE(InVerticalBlank());
  EXPECT_EQ(primary->Flip(nullptr, 0), DDERR_WASSTILLDRAWING);
  // Flipping back to the desktop's store.
  ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
  EXPECT_EQ(Pixel(primary, 10, 10), 0x001Fu);
  EXPECT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
  EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
}

TEST_F(DDrawTest, AnEightBitScreenIsSeenThroughItsPalette) {
  HWND hwnd = Exclusive(800, 600, 8);
  headless::ActivateWindow(hwnd);
  PumpMessages();
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = FlipChain(&back);
  PALETTEENTRY entries[256] = {};
  entries[7] = PALETTEENTRY{10, 200, 30, 0};
  LPDIRECTDRAWPALETTE p = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &p, nullptr), DD_OK);
  ASSERT_EQ(primary->SetPalette(p), DD_OK);
  ASSERT_EQ(Fill(back, 7), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  WindowPixels frame = Frame(hwnd);
  EXPECT_EQ(frame.At(frame.width / 2, frame.height / 2), 0x0AC81Eu);
  // A palette change shows at once, without another flip.
  entries[7] = PALETTEENTRY{255, 255, 0, 0};
  ASSERT_EQ(p->SetEntries(0, 7, 1, &entries[7]), DD_OK);
  frame = Frame(hwnd);
  EXPECT_EQ(frame.At(frame.width / 2, frame.height / 2), 0xFFFF00u);
  p->Release();
}

TEST_F(DDrawTest, TheWindowedPrimaryIsTheScreenAndLandsOnlyInTheClippersWindow) {
  // A popup with its client area at (100, 50) on the screen, 40 x 30.
  HWND hwnd = Window(WS_POPUP | WS_VISIBLE, 100, 50, 40, 30);
  ASSERT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_NORMAL), DD_OK);
  DDSURFACEDESC d = Desc();
  d.dwFlags = DDSD_CAPS;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  LPDIRECTDRAWSURFACE primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  primary->GetSurfaceDesc(&(d = Desc()));
  EXPECT_EQ(d.dwWidth, 1920u);
  EXPECT_EQ(d.dwHeight, 1080u);
  LPDIRECTDRAWCLIPPER c = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &c, nullptr), DD_OK);
  c->SetHWnd(0, hwnd);
  primary->SetClipper(c);
  c->Release();

  LPDIRECTDRAWSURFACE image = Offscreen(60, 60, DDSCAPS_SYSTEMMEMORY);
  Fill(image, 0x00FF00);
  // Across the window's corner: only the part inside its client area takes pixels.
  RECT to{80, 30, 140, 90};
  ASSERT_EQ(primary->Blt(&to, image, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  PumpMessages();
  WindowPixels frame = Frame(hwnd);
  ASSERT_EQ(frame.width, 40);
  EXPECT_EQ(frame.At(0, 0), 0x00FF00u);
  EXPECT_EQ(frame.At(39, 29), 0x00FF00u);
  EXPECT_EQ(Pixel(primary, 100, 50), 0x00FF00u);
  EXPECT_EQ(Pixel(primary, 99, 50), 0u) << "outside the window nothing is drawn";
  EXPECT_EQ(Pixel(primary, 100, 49), 0u);
}

TEST_F(DDrawTest, WhileAModeIsSetTheProgramSeesAScreenOfItsSize) {
  HWND form = Window(WS_POPUP | WS_VISIBLE, 0, 0, 1920, 1080);
  ASSERT_EQ(dd->SetCooperativeLevel(form, 0x53), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(800, 600, 16), DD_OK);
  PumpMessages();
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  EXPECT_TRUE(GetWindowLongA(form, GWL_EXSTYLE) & WS_EX_TOPMOST);
  int w = 0, h = 0;
  GetMonitorSize(&w, &h);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  dd->Release();
  dd = nullptr;
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
}

// 800 x 600 x 16 held by a full-screen form on the 1920 x 1080 monitor, with its flipping
// primary.
class DDrawModeTest : public DDrawTest {
 protected:
  LPDIRECTDRAWSURFACE ModeOnTheMonitor(HWND* form, LPDIRECTDRAWSURFACE* back) {
    *form = Window(WS_POPUP | WS_VISIBLE, 0, 0, 1920, 1080);
    EXPECT_EQ(dd->SetCooperativeLevel(*form, 0x53), DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(800, 600, 16), DD_OK);
    headless::ActivateWindow(*form);
    PumpMessages();
    return FlipChain(back);
  }
};

TEST_F(DDrawModeTest, AModeIsLetterboxedOntoTheMonitorWithExactPixels) {
  HWND form = nullptr;
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = ModeOnTheMonitor(&form, &back);
  ASSERT_NE(primary, nullptr);
  // White, with a red top-left pixel, a blue bottom-right one and a green column at x = 400.
  Fill(back, 0xFFFF);
  SetPixelValue(back, 0, 0, 0xF800);
  SetPixelValue(back, 799, 599, 0x001F);
  RECT column{400, 0, 401, 600};
  Fill(back, 0x07E0, &column);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  WindowPixels frame = Frame(form);
  ASSERT_EQ(frame.width, 1920);
  ASSERT_EQ(frame.height, 1080);
  EXPECT_TRUE(WritePng(PELLORA_BINARY_DIR "/ddraw-letterbox.png", frame.width, frame.height, frame.pixels.data(),
                       frame.width));
  // 800 x 600 scaled by 1.8 is 1440 x 1080, centred: 240-pixel bars left and right.
  for (int y : {0, 540, 1079}) {
    EXPECT_EQ(frame.At(0, y), 0u);
    EXPECT_EQ(frame.At(239, y), 0u);
    EXPECT_EQ(frame.At(1680, y), 0u);
    EXPECT_EQ(frame.At(1919, y), 0u);
  }
  EXPECT_EQ(frame.At(240, 0), 0xFF0000u);
  EXPECT_EQ(frame.At(241, 1), 0xFF0000u) << "a source pixel is 1.8 screen pixels wide: two here";
  EXPECT_EQ(frame.At(242, 0), 0xFFFFFFu);
  // Nearest pixel keeps every source pixel one or two screen pixels wide; the last is one.
  EXPECT_EQ(frame.At(1679, 1079), 0x0000FFu);
  EXPECT_EQ(frame.At(1678, 1079), 0xFFFFFFu);
  // Column 400 lands at 240 + 400 * 1.8 = 960, two pixels wide.
  EXPECT_EQ(frame.At(959, 300), 0xFFFFFFu);
  EXPECT_EQ(frame.At(960, 300), 0x00FF00u);
  EXPECT_EQ(frame.At(961, 300), 0x00FF00u);
  EXPECT_EQ(frame.At(962, 300), 0xFFFFFFu);
  int count = 0;
  for (int x = 0; x < 1920; ++x) count += frame.At(x, 700) == 0u ? 1 : 0;
  EXPECT_EQ(count, 480);

  // Released, the program sees the monitor again, and the form is shown at its own size.
  primary->Release();
  dd->Release();
  dd = nullptr;
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
}

// The screen is sent only what can have changed since the last flip, as the display service
// knows from what was drawn where. Whichever way a frame is drawn (fills of all or part,
// keyed and plain blits, a lock, a device context, a restore), the screen after each flip
// is the whole primary, letterboxed.
TEST_F(DDrawModeTest, EveryWayOfDrawingAFrameReachesTheScreen) {
  HWND form = nullptr;
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = ModeOnTheMonitor(&form, &back);
  ASSERT_NE(primary, nullptr);
  LPDIRECTDRAWSURFACE sprite = Offscreen(30, 20);
  Fill(sprite, 0x07E0);
  RECT hole{10, 5, 20, 15};
  Fill(sprite, 0, &hole);
  Key(sprite, 0);
  // The primary is read through a copy: a lock on it would count as drawing all over it.
  LPDIRECTDRAWSURFACE copy = Offscreen(800, 600, DDSCAPS_SYSTEMMEMORY);
  auto shown = [&](int frame) {
    ASSERT_EQ(copy->Blt(nullptr, primary, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    DDSURFACEDESC d = Desc();
    ASSERT_EQ(copy->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<uint16_t> pixels(800 * 600);
    for (int y = 0; y < 600; ++y)
      std::memcpy(&pixels[static_cast<size_t>(y) * 800], static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch, 1600);
    copy->Unlock(nullptr);
    WindowPixels frameShown;
    ASSERT_TRUE(headless::LastFrame(form, &frameShown));
    ASSERT_EQ(FirstDifference(frameShown.pixels, ExpectedScreen(pixels, 1920, 1080), 1920), "") << "frame " << frame;
  };
  for (int frame = 0; frame < 24; ++frame) {
    // Mostly black, now and then another colour all over.
    ASSERT_EQ(Fill(back, frame % 9 == 4 ? 0x1234 : 0), DD_OK);
    for (int i = 0; i < 12; ++i) {
      const DWORD x = static_cast<DWORD>((i * 61 + frame * 7) % 760), y = static_cast<DWORD>((i * 43 + frame * 5) % 570);
      ASSERT_EQ(back->BltFast(x, y, sprite, nullptr, (i % 2 ? DDBLTFAST_SRCCOLORKEY : 0) | DDBLTFAST_WAIT), DD_OK);
    }
    if (frame % 4 == 1) {
      RECT part{static_cast<LONG>(frame * 11), 300, static_cast<LONG>(frame * 11 + 40), 340};
      ASSERT_EQ(Fill(back, 0xF81F, &part), DD_OK);
    }
    if (frame % 5 == 2) {
      RECT locked{500, 100, 540, 140};
      DDSURFACEDESC d = Desc();
      ASSERT_EQ(back->Lock(&locked, &d, DDLOCK_WAIT, nullptr), DD_OK);
      for (int y = 0; y < 40; ++y) static_cast<uint16_t*>(d.lpSurface)[y * d.lPitch / 2 + (y + frame) % 40] = 0xFFFF;
      back->Unlock(nullptr);
    }
    if (frame % 7 == 3) {
      HDC dc = nullptr;
      ASSERT_EQ(back->GetDC(&dc), DD_OK);
      for (int x = 0; x < 50; ++x) SetPixel(dc, 600 + x, 500 + frame, RGB(255, 255, 0));
      back->ReleaseDC(dc);
    }
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    shown(frame);
    if (frame == 15) {
      // Lost and restored: what the screen shows comes back whole.
      headless::ActivateOtherApplication();
      PumpMessages();
      headless::ActivateWindow(form);
      PumpMessages();
      EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
      ASSERT_EQ(primary->Restore(), DD_OK);
      if (sprite->IsLost() == DDERR_SURFACELOST) {
        ASSERT_EQ(sprite->Restore(), DD_OK);
        Fill(sprite, 0x07E0);
        Fill(sprite, 0, &hole);
      }
    }
  }
  copy->Release();
  sprite->Release();
  primary->Release();
}
