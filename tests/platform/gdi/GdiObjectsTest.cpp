// Device contexts, bitmap records, palettes and handle checking.
#include <functional>

#include "platform/gdi/GdiTestUtil.h"

namespace {

TEST(GdiObjects, DibSectionRowsSitWhereThePlatformPutsThem) {
  TestDib up(3, 2, 8, nullptr, {Q(0, 0, 0), Q(255, 255, 255)});
  TestDib down(3, 2, 8, nullptr, {Q(0, 0, 0), Q(255, 255, 255)}, true);
  SetPixel(up.dc, 0, 0, RGB(255, 255, 255));
  SetPixel(down.dc, 0, 0, RGB(255, 255, 255));
  // Rows are padded to 4 bytes; a positive height keeps the top row last.
  EXPECT_EQ(up.bits[4], 1);
  EXPECT_EQ(up.bits[0], 0);
  EXPECT_EQ(down.bits[0], 1);
  EXPECT_EQ(down.bits[4], 0);

  TestDib mono(9, 1, 1, nullptr, {Q(0, 0, 0), Q(255, 255, 255)});
  SetPixel(mono.dc, 8, 0, RGB(255, 255, 255));
  EXPECT_EQ(mono.bits[1], 0x80);  // the leftmost pixel is the top bit
  TestDib nib(3, 1, 4, nullptr, {Q(0, 0, 0), Q(255, 255, 255)});
  SetPixel(nib.dc, 1, 0, RGB(255, 255, 255));
  EXPECT_EQ(nib.bits[0], 0x01);
  TestDib rgb(1, 1, 24);
  SetPixel(rgb.dc, 0, 0, RGB(1, 2, 3));
  EXPECT_EQ(rgb.bits[0], 3);
  EXPECT_EQ(rgb.bits[2], 1);
}

TEST(GdiObjects, GetObjectDescribesBitmapsAndSections) {
  TestDib s(5, 3, 16, kMasks565);
  DIBSECTION ds{};
  EXPECT_EQ(GetObjectA(s.bitmap, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
  EXPECT_EQ(ds.dsBm.bmWidth, 5);
  EXPECT_EQ(ds.dsBm.bmHeight, 3);
  EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 16);
  EXPECT_EQ(ds.dsBm.bmBits, s.bits);
  EXPECT_EQ(ds.dsBmih.biSize, sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(ds.dsBmih.biCompression, BI_BITFIELDS);
  EXPECT_EQ(ds.dsBitfields[0], 0xF800u);
  EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
  TestDib plain(2, 2, 16);
  GetObjectA(plain.bitmap, sizeof(ds), &ds);
  EXPECT_EQ(ds.dsBitfields[0], 0x7C00u);  // BI_RGB at 16 bits means 5-5-5

  BITMAP bm{};
  EXPECT_EQ(GetObjectA(s.bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(GetObjectA(s.bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  HBITMAP ddb = CreateCompatibleBitmap(nullptr, 7, 2);
  EXPECT_EQ(GetObjectA(ddb, sizeof(ds), &ds), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
  EXPECT_EQ(ds.dsBm.bmBits, nullptr);
  DeleteObject(ddb);

  HFONT font = CreateFontA(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  LOGFONTA lf{};
  EXPECT_EQ(GetObjectA(font, sizeof(lf), &lf), static_cast<int>(sizeof(LOGFONTA)));
  EXPECT_EQ(lf.lfHeight, -16);
  EXPECT_STREQ(lf.lfFaceName, "Arial");
  DeleteObject(font);
}

TEST(GdiObjects, FreshMemoryDcHoldsAMonochromeBitmapAndCompatibleFollowsIt) {
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAP bm{};
  ASSERT_TRUE(GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bm), &bm));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  HBITMAP same = CreateCompatibleBitmap(dc, 4, 4);  // like what is selected: monochrome
  GetObjectA(same, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  EXPECT_EQ(GetObjectType(dc), OBJ_MEMDC);
  DeleteObject(same);
  DeleteDC(dc);

  SetScreenBitCount(16);
  dc = CreateCompatibleDC(nullptr);
  HBITMAP screen = CreateCompatibleBitmap(nullptr, 2, 2);
  GetObjectA(screen, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 16);
  EXPECT_EQ(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  SetScreenBitCount(8);
  EXPECT_NE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 256);
  EXPECT_EQ(GetDeviceCaps(dc, NUMRESERVED), 20);
  SetScreenBitCount(32);
  DeleteObject(screen);
  DeleteDC(dc);
}

TEST(GdiObjects, SelectionRulesAndSavedStates) {
  TestDib a(2, 2, 32);
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, a.bitmap), nullptr);  // already in a.dc
  EXPECT_FALSE(DeleteObject(a.bitmap));              // selected: refused
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_EQ(SelectObject(a.dc, red), white);
  EXPECT_FALSE(DeleteObject(red));
  int saved = SaveDC(a.dc);
  EXPECT_EQ(saved, 1);
  SelectObject(a.dc, white);
  SetTextColor(a.dc, RGB(1, 2, 3));
  SetViewportOrgEx(a.dc, 5, 5, nullptr);
  EXPECT_TRUE(RestoreDC(a.dc, -1));
  EXPECT_EQ(GetCurrentObject(a.dc, OBJ_BRUSH), red);
  EXPECT_EQ(GetTextColor(a.dc), RGB(0, 0, 0));
  POINT origin{};
  SetViewportOrgEx(a.dc, 0, 0, &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_FALSE(RestoreDC(a.dc, 1));  // nothing saved any more
  SelectObject(a.dc, white);
  EXPECT_TRUE(DeleteObject(red));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));  // ignored, as the platform does
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), OBJ_PEN);
  DeleteDC(other);
}

TEST(GdiObjects, BadAndDeletedHandlesFailQuietly) {
  HDC dc = CreateCompatibleDC(nullptr);
  DeleteDC(dc);
  HDC bogus = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x12345));
  for (HDC h : {dc, bogus, static_cast<HDC>(nullptr)}) {
    EXPECT_EQ(GetPixel(h, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(h, 0, 0, 0), CLR_INVALID);
    EXPECT_FALSE(BitBlt(h, 0, 0, 1, 1, h, 0, 0, SRCCOPY));
    EXPECT_EQ(SelectObject(h, GetStockObject(WHITE_BRUSH)), nullptr);
    EXPECT_FALSE(DeleteDC(h));
    EXPECT_EQ(GetDeviceCaps(h, BITSPIXEL), 0);
    EXPECT_EQ(SetTextColor(h, 0), CLR_INVALID);
    EXPECT_FALSE(TextOutA(h, 0, 0, "x", 1));
    EXPECT_EQ(RealizePalette(h), GDI_ERROR);
    EXPECT_EQ(GetObjectType(h), 0u);
  }
  EXPECT_EQ(GetObjectA(bogus, 4, nullptr), 0);
  EXPECT_FALSE(DeleteObject(bogus));
  HBRUSH b = CreateSolidBrush(0);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_FALSE(DeleteObject(b));
  EXPECT_EQ(GetNearestPaletteIndex(reinterpret_cast<HPALETTE>(b), 0), CLR_INVALID);

  // A BITMAPINFO that would be read past its end or overflow sizes is refused.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 0x7FFFFFFF;
  info.bmiHeader.biHeight = 0x7FFFFFFF;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  info.bmiHeader.biWidth = 2;
  info.bmiHeader.biHeight = 2;
  info.bmiHeader.biBitCount = 12;
  EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(CreateBufferDC(nullptr, 2, 2, 8, 32, nullptr, nullptr, 0), nullptr);
  uint32_t px[4];
  EXPECT_EQ(CreateBufferDC(px, 2, 2, 4, 32, nullptr, nullptr, 0), nullptr);  // pitch too short
}

TEST(GdiObjects, PalettesRoundTripAndFindTheNearestEntry) {
  std::vector<uint8_t> memory(sizeof(LOGPALETTE) + 3 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(memory.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 3;
  lp->palPalEntry[0] = {0, 0, 0, 0};
  lp->palPalEntry[1] = {250, 10, 10, 0};
  lp->palPalEntry[2] = {10, 10, 250, 0};
  HPALETTE pal = CreatePalette(lp);
  ASSERT_NE(pal, nullptr);
  WORD count = 0;
  EXPECT_EQ(GetObjectA(pal, sizeof(count), &count), 2);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(200, 0, 0)), 1u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 0, 200)), 2u);
  PALETTEENTRY e{1, 2, 3, 0};
  EXPECT_EQ(SetPaletteEntries(pal, 2, 5, &e), 1u);
  PALETTEENTRY back[3];
  EXPECT_EQ(GetPaletteEntries(pal, 0, 3, back), 3u);
  EXPECT_EQ(back[2].peRed, 1);
  EXPECT_EQ(back[1].peRed, 250);
  EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 3u);
  lp->palVersion = 0x200;
  EXPECT_EQ(CreatePalette(lp), nullptr);

  // A buffer DC without colours of its own draws with the selected palette.
  uint8_t px[4] = {};
  HDC buffer = CreateBufferDC(px, 4, 1, 4, 8, nullptr, nullptr, 0);
  HPALETTE previous = SelectPalette(buffer, pal, FALSE);
  EXPECT_EQ(previous, GetStockObject(DEFAULT_PALETTE));
  SetPixel(buffer, 0, 0, RGB(255, 0, 0));
  EXPECT_EQ(px[0], 1);
  EXPECT_FALSE(DeleteObject(pal));
  SelectPalette(buffer, previous, FALSE);
  DeleteDC(buffer);
  EXPECT_TRUE(DeleteObject(pal));
}

TEST(GdiObjects, SystemPaletteHasTheStaticsAndTakesAForegroundPalette) {
  SetScreenBitCount(8);
  HDC dc = CreateCompatibleDC(nullptr);
  PALETTEENTRY sys[256];
  ASSERT_EQ(GetSystemPaletteEntries(dc, 0, 256, sys), 256u);
  EXPECT_EQ(sys[7].peRed, 192);
  EXPECT_EQ(sys[8].peGreen, 220);
  EXPECT_EQ(sys[9].peBlue, 240);
  EXPECT_EQ(sys[246].peGreen, 251);
  EXPECT_EQ(sys[249].peRed, 255);
  EXPECT_EQ(sys[249].peGreen, 0);
  EXPECT_EQ(sys[255].peBlue, 255);
  EXPECT_EQ(sys[100].peRed, 0);

  // An identity palette: statics at both ends, 236 of its own colours in between.
  std::vector<uint8_t> memory(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(memory.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    if (i < 10 || i >= 246) {
      lp->palPalEntry[i] = sys[i];
    } else {
      lp->palPalEntry[i] = {static_cast<BYTE>(i), 0, static_cast<BYTE>(255 - i), PC_NOCOLLAPSE};
    }
  }
  lp->palPalEntry[20].peRed = 255;  // equal to a static colour but marked: keeps its slot
  lp->palPalEntry[20].peGreen = 0;
  lp->palPalEntry[20].peBlue = 0;
  HPALETTE pal = CreatePalette(lp);
  HPALETTE old = SelectPalette(dc, pal, FALSE);
  EXPECT_EQ(RealizePalette(dc), 236u);
  GetSystemPaletteEntries(dc, 0, 256, sys);
  EXPECT_EQ(sys[10].peRed, 10);
  EXPECT_EQ(sys[245].peBlue, 10);
  EXPECT_EQ(sys[20].peRed, 255);
  EXPECT_EQ(sys[0].peRed, 0);
  EXPECT_EQ(sys[255].peRed, 255);
  SelectPalette(dc, old, FALSE);
  DeleteObject(pal);
  DeleteDC(dc);
  SetScreenBitCount(32);
}

TEST(GdiObjects, DibColorTableFollowsTheSelectedSection) {
  TestDib s(1, 1, 8, nullptr, {Q(0, 0, 0), Q(10, 20, 30)});
  s.SetRaw(0, 0, 1);
  EXPECT_EQ(GetPixel(s.dc, 0, 0), RGB(10, 20, 30));
  RGBQUAD green = Q(0, 255, 0);
  EXPECT_EQ(SetDIBColorTable(s.dc, 1, 1, &green), 1u);
  EXPECT_EQ(GetPixel(s.dc, 0, 0), RGB(0, 255, 0));
  RGBQUAD table[256];
  EXPECT_EQ(GetDIBColorTable(s.dc, 0, 300, table), 256u);
  EXPECT_EQ(table[1].rgbGreen, 255);
  EXPECT_EQ(SetDIBColorTable(s.dc, 256, 1, &green), 0u);
  TestDib truecolour(1, 1, 32);
  EXPECT_EQ(GetDIBColorTable(truecolour.dc, 0, 1, table), 0u);
}

TEST(GdiObjects, ShapesFillOutlineAndLines) {
  TestDib d(6, 6, 8, nullptr, {Q(0, 0, 0), Q(255, 0, 0), Q(0, 0, 255), Q(255, 255, 255)});
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(d.dc, blue), op = SelectObject(d.dc, red);
  // Right and bottom are exclusive: the outline is at columns 1 and 4.
  EXPECT_TRUE(Rectangle(d.dc, 1, 1, 5, 5));
  EXPECT_EQ(d.Raw(1, 1), 1u);
  EXPECT_EQ(d.Raw(4, 4), 1u);
  EXPECT_EQ(d.Raw(2, 2), 2u);
  EXPECT_EQ(d.Raw(5, 5), 0u);
  RECT r{0, 0, 6, 6};
  FillRect(d.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  MoveToEx(d.dc, 0, 0, nullptr);
  EXPECT_TRUE(LineTo(d.dc, 3, 3));
  EXPECT_EQ(d.Raw(2, 2), 1u);
  EXPECT_EQ(d.Raw(3, 3), 0u);  // the end point is left out
  RECT f{0, 0, 4, 3};
  FillRect(d.dc, &f, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_TRUE(DrawFocusRect(d.dc, &f));
  EXPECT_EQ(d.Raw(0, 0), 255u);  // the bits of index 0, inverted
  EXPECT_EQ(d.Raw(1, 0), 0u);
  EXPECT_TRUE(DrawFocusRect(d.dc, &f));
  EXPECT_EQ(d.Raw(0, 0), 0u);  // drawn twice it is gone
  SelectObject(d.dc, ob);
  SelectObject(d.dc, op);
  DeleteObject(blue);
  DeleteObject(red);
}

}  // namespace

namespace {

TEST(GdiObjects, TheFirstBitmapOfEveryMemoryDcIsOneSharedStockBitmap) {
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HGDIOBJ stock = GetCurrentObject(a, OBJ_BITMAP);
  EXPECT_EQ(GetCurrentObject(b, OBJ_BITMAP), stock);
  TestDib section(2, 2, 32);
  SelectObject(section.dc, stock);  // hand the section's DC the stock bitmap too
  DeleteDC(a);
  EXPECT_EQ(GetObjectType(stock), OBJ_BITMAP);  // still there for the others
  EXPECT_TRUE(DeleteObject(stock));            // a stock object: deleting does nothing
  EXPECT_EQ(GetObjectType(stock), OBJ_BITMAP);
  EXPECT_NE(GetPixel(b, 0, 0), CLR_INVALID);
  SelectObject(section.dc, section.bitmap);
  DeleteDC(b);
}

}  // namespace

namespace {

TEST(GdiObjects, MemoryDcMadeForABufferReportsThatBuffersDepth) {
  uint16_t px[4] = {};
  HDC buffer = CreateBufferDC(px, 2, 2, 4, 16, nullptr, nullptr, 0);
  HDC mem = CreateCompatibleDC(buffer);
  EXPECT_EQ(GetDeviceCaps(buffer, BITSPIXEL), 16);
  EXPECT_EQ(GetDeviceCaps(mem, BITSPIXEL), 16);
  HBITMAP like = CreateCompatibleBitmap(buffer, 3, 3);
  BITMAP bm{};
  GetObjectA(like, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 16);
  DeleteObject(like);
  DeleteDC(mem);
  DeleteDC(buffer);
}

}  // namespace

namespace {

// What SetBoundsRect collects: the rectangle around everything drawn through the DC, in
// logical coordinates, for every way of drawing; nothing for drawing clipped away.
TEST(GdiObjects, ADcCollectsTheBoundsOfWhatItDraws) {
  std::vector<uint16_t> pixels(100 * 60, 0);
  HDC dc = CreateBufferDC(pixels.data(), 100, 60, 200, 16, kMasks565, nullptr, 0);
  ASSERT_NE(dc, nullptr);
  TestDib source(8, 6, 16, kMasks565);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  struct Case {
    const char* what;
    std::function<void()> draw;
    RECT bounds;  // empty: nothing
  };
  const Case cases[] = {
      {"FillRect", [&] { RECT r{10, 5, 20, 15}; FillRect(dc, &r, red); }, {10, 5, 20, 15}},
      {"SetPixel", [&] { SetPixel(dc, 50, 40, RGB(0, 255, 0)); }, {50, 40, 51, 41}},
      {"BitBlt", [&] { BitBlt(dc, 30, 20, 8, 6, source.dc, 0, 0, SRCCOPY); }, {30, 20, 38, 26}},
      {"StretchBlt", [&] { StretchBlt(dc, 0, 0, 16, 12, source.dc, 0, 0, 8, 6, SRCCOPY); }, {0, 0, 16, 12}},
      {"LineTo", [&] { MoveToEx(dc, 2, 50, nullptr); LineTo(dc, 12, 50); }, {2, 50, 12, 51}},
      {"off the buffer", [&] { RECT r{200, 200, 210, 210}; FillRect(dc, &r, red); }, {0, 0, 0, 0}},
      {"after moving the origin", [&] {
         SetViewportOrgEx(dc, 5, 7, nullptr);
         RECT r{0, 0, 2, 3};
         FillRect(dc, &r, red);
       }, {0, 0, 2, 3}},
  };
  RECT got{};
  EXPECT_EQ(GetBoundsRect(dc, &got, 0), DCB_RESET) << "collecting is off at first";
  FillRect(dc, &cases[0].bounds, red);
  EXPECT_EQ(GetBoundsRect(dc, &got, 0), DCB_RESET);
  EXPECT_EQ(SetBoundsRect(dc, nullptr, DCB_ENABLE | DCB_RESET), DCB_DISABLE | DCB_RESET);
  for (const Case& c : cases) {
    SetBoundsRect(dc, nullptr, DCB_RESET);
    c.draw();
    const bool drawn = c.bounds.right > c.bounds.left;
    EXPECT_EQ(GetBoundsRect(dc, &got, 0), drawn ? DCB_SET : DCB_RESET) << c.what;
    EXPECT_TRUE(got.left == c.bounds.left && got.top == c.bounds.top && got.right == c.bounds.right &&
                got.bottom == c.bounds.bottom)
        << c.what << ": " << got.left << "," << got.top << " " << got.right << "," << got.bottom;
  }
  // Text lands inside its cell; the bounds grow to take in each thing drawn, and reading
  // with DCB_RESET empties them.
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetBoundsRect(dc, nullptr, DCB_RESET);
  SetBkMode(dc, TRANSPARENT);
  ASSERT_TRUE(TextOutA(dc, 20, 30, "Pe", 2));
  SetPixel(dc, 90, 2, RGB(0, 0, 255));
  ASSERT_EQ(GetBoundsRect(dc, &got, DCB_RESET), DCB_SET);
  EXPECT_EQ(got.top, 2);
  EXPECT_EQ(got.right, 91);
  EXPECT_GE(got.left, 20);
  EXPECT_GT(got.bottom, 32);
  EXPECT_LE(got.bottom, 60);
  EXPECT_EQ(GetBoundsRect(dc, &got, 0), DCB_RESET);
  EXPECT_EQ(SetBoundsRect(dc, nullptr, DCB_DISABLE), DCB_ENABLE | DCB_RESET);
  SetPixel(dc, 1, 1, RGB(0, 0, 255));
  EXPECT_EQ(GetBoundsRect(dc, &got, 0), DCB_RESET);
  EXPECT_EQ(SetBoundsRect(nullptr, nullptr, DCB_ENABLE), 0u);
  EXPECT_EQ(GetBoundsRect(nullptr, &got, 0), 0u);
  DeleteObject(red);
  DeleteDC(dc);
}

}  // namespace
