// Fills, blits, locks and device contexts, checked pixel by pixel on small surfaces.
#include <cstdint>

#include "platform/ddraw/DDrawTestSupport.h"

class DDrawBlitTest : public DDrawTest {
 protected:
  void SetUp() override {
    DDrawTest::SetUp();
    Exclusive(800, 600, 16);
  }
};

TEST_F(DDrawBlitTest, FillCoversTheRectangleOnlyAndTakesTheRawValue) {
  LPDIRECTDRAWSURFACE s = Offscreen(6, 4);
  ASSERT_EQ(Fill(s, 0x1234), DD_OK);
  RECT r{1, 1, 3, 2};
  ASSERT_EQ(Fill(s, 0xF800, &r), DD_OK);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 3 && y == 1;
      EXPECT_EQ(Pixel(s, x, y), inside ? 0xF800u : 0x1234u) << x << "," << y;
    }
  }
  // An effects record of the wrong size, a rectangle off the surface: refused, nothing drawn.
  DDBLTFX fx{};
  fx.dwSize = 64;
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
  RECT off{4, 2, 7, 4};
  EXPECT_EQ(Fill(s, 0, &off), DDERR_INVALIDRECT);
  EXPECT_EQ(Pixel(s, 5, 3), 0x1234u);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDPARAMS) << "a copy needs a source";
}

TEST_F(DDrawBlitTest, CopyStretchAndSourceKey) {
  LPDIRECTDRAWSURFACE src = Offscreen(2, 2);
  SetPixelValue(src, 0, 0, 0x0001);
  SetPixelValue(src, 1, 0, 0x0002);
  SetPixelValue(src, 0, 1, 0x0003);
  SetPixelValue(src, 1, 1, 0x0000);  // the key
  Key(src, 0);
  LPDIRECTDRAWSURFACE dst = Offscreen(6, 6);
  Fill(dst, 0x7777);

  RECT to{1, 1, 3, 3};
  ASSERT_EQ(dst->Blt(&to, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(Pixel(dst, 1, 1), 0x0001u);
  EXPECT_EQ(Pixel(dst, 2, 2), 0x0000u) << "without the key flag the key colour is copied";

  // Doubled: every source pixel becomes a 2 x 2 block; the keyed one leaves the background.
  Fill(dst, 0x7777);
  RECT big{2, 2, 6, 6};
  ASSERT_EQ(dst->Blt(&big, src, nullptr, DDBLT_WAIT | DDBLT_KEYSRC, nullptr), DD_OK);
  const DWORD expected[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 0x7777, 0x7777}, {3, 3, 0x7777, 0x7777}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(dst, 2 + x, 2 + y), expected[y][x]) << x << "," << y;
  }
  EXPECT_EQ(Pixel(dst, 1, 1), 0x7777u);

  // BltFast with the key, then without it.
  Fill(dst, 0x7777);
  ASSERT_EQ(dst->BltFast(4, 4, src, nullptr, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
  EXPECT_EQ(Pixel(dst, 5, 5), 0x7777u);
  EXPECT_EQ(Pixel(dst, 4, 5), 0x0003u);
  ASSERT_EQ(dst->BltFast(0, 0, src, nullptr, DDBLTFAST_WAIT), DD_OK);
  EXPECT_EQ(Pixel(dst, 1, 1), 0x0000u);
  // BltFast never clips: off the edge is an error, not a cut.
  EXPECT_EQ(dst->BltFast(5, 5, src, nullptr, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
  RECT outside{1, 1, 3, 3};
  EXPECT_EQ(dst->BltFast(0, 0, src, &outside, DDBLTFAST_WAIT), DDERR_INVALIDRECT);
  // A key asked for on a surface without one.
  LPDIRECTDRAWSURFACE plain = Offscreen(2, 2);
  EXPECT_EQ(dst->BltFast(0, 0, plain, nullptr, DDBLTFAST_SRCCOLORKEY), DDERR_NOCOLORKEY);
}

TEST_F(DDrawBlitTest, OverlappingBlitsWithinOneSurfaceReadTheOriginal) {
  LPDIRECTDRAWSURFACE s = Offscreen(5, 1);
  for (int x = 0; x < 5; ++x) SetPixelValue(s, x, 0, static_cast<DWORD>(x + 1));
  RECT from{0, 0, 4, 1};
  ASSERT_EQ(s->BltFast(1, 0, s, &from, DDBLTFAST_WAIT), DD_OK);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(s, x, 0), static_cast<DWORD>(x == 0 ? 1 : x)) << x;
}

TEST_F(DDrawBlitTest, AClipperMakesBltCutAndBltFastRefuse) {
  HWND hwnd = Window(WS_POPUP | WS_VISIBLE, 0, 0, 4, 4);
  LPDIRECTDRAWSURFACE src = Offscreen(4, 4);
  Fill(src, 0x00AA);
  LPDIRECTDRAWSURFACE dst = Offscreen(8, 8);
  Fill(dst, 0x5555);
  LPDIRECTDRAWCLIPPER c = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &c, nullptr), DD_OK);
  ASSERT_EQ(dst->SetClipper(c), DD_OK);
  EXPECT_EQ(dst->BltFast(0, 0, src, nullptr, DDBLTFAST_WAIT), DDERR_BLTFASTCANTCLIP);
  EXPECT_EQ(static_cast<uint32_t>(dst->BltFast(0, 0, src, nullptr, DDBLTFAST_WAIT)), 0x8876023Eu);

  // Half off the left and bottom: the part inside lands, the source cut by the same amount.
  SetPixelValue(src, 2, 0, 0x00BB);
  RECT to{-2, 6, 2, 10};
  ASSERT_EQ(dst->Blt(&to, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(Pixel(dst, 0, 6), 0x00BBu);
  EXPECT_EQ(Pixel(dst, 1, 7), 0x00AAu);
  EXPECT_EQ(Pixel(dst, 2, 6), 0x5555u);
  // Wholly off: nothing, and no error.
  RECT gone{8, 0, 12, 4};
  EXPECT_EQ(dst->Blt(&gone, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  // A rectangle over the whole range of coordinates is stretched and cut, not overflowed.
  RECT huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_EQ(dst->Blt(&huge, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
  RECT inverted{4, 4, 2, 2};
  EXPECT_EQ(dst->Blt(&inverted, src, nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);

  // Bound to a window, the clipper keeps blits inside the window's client area.
  ASSERT_EQ(c->SetHWnd(0, hwnd), DD_OK);
  HWND got = nullptr;
  c->GetHWnd(&got);
  EXPECT_EQ(got, hwnd);
  Fill(dst, 0x5555);
  ASSERT_EQ(Fill(dst, 0x1111), DD_OK);
  EXPECT_EQ(Pixel(dst, 3, 3), 0x1111u);
  EXPECT_EQ(Pixel(dst, 4, 4), 0x5555u);
  c->Release();
}

TEST_F(DDrawBlitTest, LocksAndDeviceContextsExcludeEachOther) {
  LPDIRECTDRAWSURFACE s = Offscreen(10, 3);
  DDSURFACEDESC d = Desc();
  RECT part{2, 1, 4, 2};
  ASSERT_EQ(s->Lock(&part, &d, DDLOCK_WAIT, nullptr), DD_OK);
  DDSURFACEDESC whole = Desc();
  EXPECT_EQ(s->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  HDC dc = nullptr;
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
  EXPECT_EQ(Fill(s, 0), DDERR_SURFACEBUSY);
  static_cast<uint16_t*>(d.lpSurface)[0] = 0xABCD;  // the lock's pointer is at (2, 1)
  ASSERT_EQ(s->Unlock(d.lpSurface), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
  EXPECT_EQ(Pixel(s, 2, 1), 0xABCDu);
  RECT bad{8, 0, 11, 1};
  EXPECT_EQ(s->Lock(&bad, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);

  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  HDC again = nullptr;
  EXPECT_EQ(s->GetDC(&again), DDERR_DCALREADYCREATED);
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->ReleaseDC(reinterpret_cast<HDC>(&again)), DDERR_NODC);
  ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(s->ReleaseDC(dc), DDERR_NODC);
}

// The GDI draws straight into the surface's memory in the surface's own format.
TEST_F(DDrawBlitTest, DeviceContextsDrawInEveryFormat) {
  struct Case {
    int bits;
    DWORD red;
  } cases[] = {{16, 0xF800}, {24, 0xFF0000}, {32, 0xFF0000}};
  for (const Case& c : cases) {
    LPDIRECTDRAWSURFACE s = Offscreen(5, 5, DDSCAPS_SYSTEMMEMORY, c.bits);
    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{1, 1, 3, 3};
    ::FillRect(dc, &r, red);
    DeleteObject(red);
    EXPECT_EQ(::GetPixel(dc, 2, 2), RGB(255, 0, 0));
    ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(Pixel(s, 2, 2), c.red) << c.bits << " bits";
    EXPECT_EQ(Pixel(s, 3, 3), 0u) << c.bits << " bits";
    s->Release();
  }
  // 8 bits: the GDI picks the nearest entry of the surface's palette.
  PALETTEENTRY entries[256] = {};
  entries[7] = PALETTEENTRY{0, 0, 255, 0};
  LPDIRECTDRAWPALETTE p = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &p, nullptr), DD_OK);
  LPDIRECTDRAWSURFACE s = Offscreen(4, 4, DDSCAPS_SYSTEMMEMORY, 8);
  ASSERT_EQ(s->SetPalette(p), DD_OK);
  p->Release();
  HDC dc = nullptr;
  ASSERT_EQ(s->GetDC(&dc), DD_OK);
  ::SetPixel(dc, 1, 2, RGB(0, 0, 250));
  s->ReleaseDC(dc);
  EXPECT_EQ(Pixel(s, 1, 2), 7u);
}

TEST_F(DDrawBlitTest, BlitsBetweenFormatsGoThroughColour) {
  LPDIRECTDRAWSURFACE deep = Offscreen(2, 1, DDSCAPS_SYSTEMMEMORY, 32);
  SetPixelValue(deep, 0, 0, 0xFF0000);
  SetPixelValue(deep, 1, 0, 0x00FF00);
  LPDIRECTDRAWSURFACE shallow = Offscreen(2, 1);
  ASSERT_EQ(shallow->BltFast(0, 0, deep, nullptr, DDBLTFAST_WAIT), DD_OK);
  EXPECT_EQ(Pixel(shallow, 0, 0), 0xF800u);
  EXPECT_EQ(Pixel(shallow, 1, 0), 0x07E0u);
}

TEST_F(DDrawBlitTest, PalettesKeepTheirEndsUnlessAllowedAll256) {
  PALETTEENTRY entries[256];
  for (int i = 0; i < 256; ++i) entries[i] = PALETTEENTRY{static_cast<BYTE>(i), 1, 2, 0};
  LPDIRECTDRAWPALETTE p = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &p, nullptr), DD_OK);
  PALETTEENTRY got[256];
  ASSERT_EQ(p->GetEntries(0, 0, 256, got), DD_OK);
  EXPECT_EQ(got[0].peRed, 0);
  EXPECT_EQ(got[0].peGreen, 0);
  EXPECT_EQ(got[255].peGreen, 255);
  EXPECT_EQ(got[100].peRed, 100);
  EXPECT_EQ(p->SetEntries(0, 250, 7, entries), DDERR_INVALIDPARAMS);
  EXPECT_EQ(p->GetEntries(0, 0xFFFFFFFF, 2, got), DDERR_INVALIDPARAMS);
  LPDIRECTDRAWPALETTE all = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &all, nullptr), DD_OK);
  all->GetEntries(0, 0, 256, got);
  EXPECT_EQ(got[0].peGreen, 1);
  EXPECT_EQ(dd->CreatePalette(0, entries, &all, nullptr), DDERR_INVALIDPARAMS);
}
