// Blits between every pixel format, stretching, clipping and raster operations, on tiny
// bitmaps with exact expected values.
#include <array>
#include <string>

#include "platform/gdi/GdiTestUtil.h"

namespace {

struct Fmt {
  const char* name;
  int bpp;
  const DWORD* masks;
};
const Fmt kFormats[] = {{"1", 1, nullptr},  {"4", 4, nullptr},           {"8", 8, nullptr},
                        {"555", 16, nullptr}, {"565", 16, kMasks565}, {"24", 24, nullptr},
                        {"32", 32, nullptr}};

// Colours every format can hold exactly; the two-colour table holds only black and white.
std::vector<RGBQUAD> TableFor(int bpp) {
  if (bpp == 1) return {Q(0, 0, 0), Q(255, 255, 255)};
  if (bpp <= 8) return {Q(0, 0, 0), Q(255, 0, 0), Q(0, 0, 255), Q(255, 255, 255)};
  return {};
}

TEST(GdiBlit, EveryFormatPairCopiesThroughRgb) {
  const COLORREF four[4] = {RGB(0, 0, 0), RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
  for (const Fmt& s : kFormats) {
    for (const Fmt& d : kFormats) {
      SCOPED_TRACE(std::string(s.name) + " -> " + d.name);
      TestDib src(2, 2, s.bpp, s.masks, TableFor(s.bpp));
      TestDib dst(2, 2, d.bpp, d.masks, TableFor(d.bpp));
      ASSERT_TRUE(src.bitmap && dst.bitmap);
      COLORREF expected[4];
      for (int i = 0; i < 4; ++i) {
        // A two-colour source shows only black and white; a two-colour destination takes
        // the nearer of the two, which for pure red and blue is black.
        COLORREF c = s.bpp == 1 ? (i == 0 || i == 3 ? four[i] : RGB(255, 255, 255)) : four[i];
        ASSERT_NE(SetPixel(src.dc, i % 2, i / 2, c), CLR_INVALID);
        expected[i] = d.bpp == 1 && c != RGB(255, 255, 255) ? RGB(0, 0, 0) : c;
      }
      ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 2, src.dc, 0, 0, SRCCOPY));
      for (int i = 0; i < 4; ++i) EXPECT_EQ(GetPixel(dst.dc, i % 2, i / 2), expected[i]) << "pixel " << i;
    }
  }
}

TEST(GdiBlit, FiveAndSixBitChannelsExpandByReplication) {
  TestDib src555(2, 1, 16);
  TestDib src565(2, 1, 16, kMasks565);
  TestDib dst(2, 1, 32);
  src555.SetRaw(0, 0, 0x7FFF);
  src555.SetRaw(1, 0, (16u << 10) | (8u << 5) | 1u);
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, src555.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.Raw(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(dst.Raw(1, 0) & 0xFFFFFF, 0x844208u);
  src565.SetRaw(0, 0, 32u << 5);  // green 32 of 63
  src565.SetRaw(1, 0, 0xFFFF);
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, src565.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.Raw(0, 0) & 0xFFFFFF, 0x008200u);
  EXPECT_EQ(dst.Raw(1, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(GetPixel(src565.dc, 0, 0), RGB(0, 130, 0));
}

TEST(GdiBlit, TruecolourToSixteenBitsTruncatesEachChannel) {
  TestDib src(1, 1, 32);
  TestDib d565(1, 1, 16, kMasks565);
  TestDib d555(1, 1, 16);
  src.SetRaw(0, 0, 0x123456);
  ASSERT_TRUE(BitBlt(d565.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  ASSERT_TRUE(BitBlt(d555.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(d565.Raw(0, 0), (2u << 11) | (13u << 5) | 10u);
  EXPECT_EQ(d555.Raw(0, 0), (2u << 10) | (6u << 5) | 10u);
}

TEST(GdiBlit, EightBitDestinationTakesTheNearestTableEntry) {
  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(200, 0, 0), Q(0, 0, 200), Q(255, 255, 255)};
  TestDib src(3, 1, 32);
  TestDib dst(3, 1, 8, nullptr, table);
  src.SetRaw(0, 0, 0xB4140A);  // (180, 20, 10): the dark red
  src.SetRaw(1, 0, 0x5A5A5A);  // (90, 90, 90): black
  src.SetRaw(2, 0, 0x1010F0);  // (16, 16, 240): the blue
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.Raw(0, 0), 1u);
  EXPECT_EQ(dst.Raw(1, 0), 0u);
  EXPECT_EQ(dst.Raw(2, 0), 2u);

  // Between two 8-bit tables the index follows the colour, not the number.
  std::vector<RGBQUAD> reversed(table.rbegin(), table.rend());
  TestDib other(3, 1, 8, nullptr, reversed);
  ASSERT_TRUE(BitBlt(other.dc, 0, 0, 3, 1, dst.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(other.Raw(0, 0), 2u);
  EXPECT_EQ(other.Raw(1, 0), 3u);
  EXPECT_EQ(other.Raw(2, 0), 1u);
}

TEST(GdiBlit, MonochromeDeviceBitmapsUseTextAndBackgroundColours) {
  HBITMAP mono = CreateBitmap(2, 1, 1, 1, nullptr);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  ASSERT_NE(SetPixel(mdc, 1, 0, RGB(255, 255, 255)), CLR_INVALID);
  TestDib dst(2, 1, 32);
  SetTextColor(dst.dc, RGB(10, 20, 30));
  SetBkColor(dst.dc, RGB(200, 100, 50));
  ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, mdc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(10, 20, 30));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(200, 100, 50));

  // Colour to monochrome: the source DC's background colour becomes white, the rest black.
  SetPixel(dst.dc, 0, 0, RGB(1, 2, 3));
  SetPixel(dst.dc, 1, 0, RGB(9, 9, 9));
  SetBkColor(dst.dc, RGB(1, 2, 3));
  ASSERT_TRUE(BitBlt(mdc, 0, 0, 2, 1, dst.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
  SelectObject(mdc, old);
  DeleteDC(mdc);
  DeleteObject(mono);
}

TEST(GdiBlit, StretchIsNearestPixelAndMirrorsOnNegativeExtents) {
  TestDib src(2, 2, 32);
  src.SetRaw(0, 0, 1);
  src.SetRaw(1, 0, 2);
  src.SetRaw(0, 1, 3);
  src.SetRaw(1, 1, 4);
  TestDib dst(4, 4, 32);
  ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
  const uint32_t twice[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Raw(x, y), twice[y][x]) << x << "," << y;

  // A negative destination width runs leftwards from x: (x + w, x] is covered, mirrored.
  ASSERT_TRUE(StretchBlt(dst.dc, 3, 0, -4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Raw(x, y), twice[y][3 - x]) << x << "," << y;
  // Both signs negative cancel out; a negative source height flips vertically.
  ASSERT_TRUE(StretchBlt(dst.dc, 3, 0, -4, 4, src.dc, 1, 0, -2, 2, SRCCOPY));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Raw(x, 0), twice[0][x]);
  ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 4, src.dc, 0, 1, 2, -2, SRCCOPY));
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.Raw(0, y), twice[3 - y][0]);

  // Shrinking samples each destination pixel's centre: columns 1 and 3 of four.
  TestDib wide(4, 1, 8, nullptr, {Q(0, 0, 0), Q(1, 1, 1), Q(2, 2, 2), Q(3, 3, 3)});
  for (int x = 0; x < 4; ++x) wide.SetRaw(x, 0, static_cast<uint32_t>(x));
  TestDib narrow(2, 1, 32);
  ASSERT_TRUE(StretchBlt(narrow.dc, 0, 0, 2, 1, wide.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(narrow.Raw(0, 0) & 0xFF, 1u);
  EXPECT_EQ(narrow.Raw(1, 0) & 0xFF, 3u);
}

TEST(GdiBlit, EightBitStretchOntoSixteenAndThirtyTwoBits) {
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = Q(static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 0);
  TestDib src(3, 2, 8, nullptr, table);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src.SetRaw(x, y, static_cast<uint32_t>(y * 200 + x * 8));
  TestDib d16(6, 4, 16, kMasks565);
  TestDib d32(6, 4, 32);
  ASSERT_TRUE(StretchBlt(d16.dc, 0, 0, 6, 4, src.dc, 0, 0, 3, 2, SRCCOPY));
  ASSERT_TRUE(StretchBlt(d32.dc, 0, 0, 6, 4, src.dc, 0, 0, 3, 2, SRCCOPY));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      uint32_t i = static_cast<uint32_t>((y / 2) * 200 + (x / 2) * 8);
      EXPECT_EQ(d32.Raw(x, y) & 0xFFFFFF, (i << 16) | ((255 - i) << 8));
      EXPECT_EQ(d16.Raw(x, y), ((i >> 3) << 11) | (((255 - i) >> 2) << 5));
    }
  }
}

// A buffer DC inside guard bytes: a row has spare bytes at its end, and whole guard rows
// lie above and below.
struct Guarded {
  static constexpr int W = 3, H = 3, Pitch = 20;
  std::vector<uint8_t> memory = std::vector<uint8_t>(Pitch * (H + 2), 0xAB);
  HDC dc = CreateBufferDC(memory.data() + Pitch, W, H, Pitch, 32, nullptr, nullptr, 0);
  ~Guarded() { DeleteDC(dc); }
  bool GuardsIntact() const {
    for (int i = 0; i < static_cast<int>(memory.size()); ++i) {
      int row = i / Pitch - 1, col = i % Pitch;
      bool inside = row >= 0 && row < H && col < 4 * W;
      if (!inside && memory[static_cast<size_t>(i)] != 0xAB) return false;
    }
    return true;
  }
  uint32_t At(int x, int y) const {
    uint32_t v;
    std::memcpy(&v, memory.data() + Pitch * (y + 1) + 4 * x, 4);
    return v;
  }
};

TEST(GdiBlit, ClipsAtEveryEdgeWithoutTouchingGuardBytes) {
  TestDib src(4, 4, 32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.SetRaw(x, y, static_cast<uint32_t>(0x100 * y + x));
  const int places[][2] = {{-2, -2}, {2, -3}, {-3, 2}, {2, 2}, {-100, 0}, {0, 100}, {-1, 1}};
  for (auto& p : places) {
    Guarded g;
    ASSERT_NE(g.dc, nullptr);
    ASSERT_TRUE(BitBlt(g.dc, p[0], p[1], 4, 4, src.dc, 0, 0, SRCCOPY));
    ASSERT_TRUE(StretchBlt(g.dc, p[0], p[1], 8, 8, src.dc, 0, 0, 4, 4, SRCCOPY));
    EXPECT_TRUE(g.GuardsIntact()) << p[0] << "," << p[1];
  }
  Guarded g;
  ASSERT_TRUE(BitBlt(g.dc, -2, -1, 4, 4, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(g.At(0, 0), 0x102u);
  EXPECT_EQ(g.At(1, 2), 0x303u);
  EXPECT_EQ(g.At(2, 0), 0xABABABABu);  // beyond the source's right edge: untouched

  // Source rectangles that hang off the source leave the matching destination alone.
  Guarded h;
  ASSERT_TRUE(BitBlt(h.dc, 0, 0, 3, 3, src.dc, -1, 3, SRCCOPY));
  EXPECT_EQ(h.At(0, 0), 0xABABABABu);
  EXPECT_EQ(h.At(1, 0), 0x300u);
  EXPECT_EQ(h.At(1, 1), 0xABABABABu);
  EXPECT_TRUE(h.GuardsIntact());
}

TEST(GdiBlit, ClipRectangleAndViewportOriginConfineDrawing) {
  Guarded g;
  TestDib src(3, 3, 32);
  PatBlt(src.dc, 0, 0, 3, 3, WHITENESS);
  SetViewportOrgEx(g.dc, 1, 1, nullptr);
  EXPECT_EQ(IntersectClipRect(g.dc, 0, 0, 1, 1), SIMPLEREGION);  // device (1,1)-(2,2)
  ASSERT_TRUE(BitBlt(g.dc, -1, -1, 3, 3, src.dc, 0, 0, SRCCOPY));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(g.At(x, y), x == 1 && y == 1 ? 0xFFFFFFFFu : 0xABABABABu);
  EXPECT_EQ(SelectClipRect(g.dc, nullptr), SIMPLEREGION);
  EXPECT_NE(GetPixel(g.dc, 1, 1), CLR_INVALID);  // device (2,2)
  EXPECT_EQ(GetPixel(g.dc, 2, 2), CLR_INVALID);  // device (3,3): outside
  EXPECT_TRUE(g.GuardsIntact());
}

// With pattern 0xF0, source 0xCC and destination 0xAA in every bit, the result of a
// ternary raster operation is its own index byte.
TEST(GdiBlit, RasterOperationsFollowTheirTruthTables) {
  const DWORD rops[] = {SRCCOPY,    SRCPAINT, SRCAND,     SRCINVERT, SRCERASE, NOTSRCCOPY,
                        NOTSRCERASE, MERGECOPY, MERGEPAINT, PATCOPY,   PATPAINT, PATINVERT,
                        DSTINVERT,  BLACKNESS, WHITENESS,  0x00B8074A, 0x00E20746};
  std::vector<RGBQUAD> grey(256);
  for (int i = 0; i < 256; ++i) grey[static_cast<size_t>(i)] = Q(static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i));
  for (int bpp : {8, 32}) {
    TestDib src(1, 1, bpp, nullptr, bpp == 8 ? grey : std::vector<RGBQUAD>{});
    TestDib dst(1, 1, bpp, nullptr, bpp == 8 ? grey : std::vector<RGBQUAD>{});
    SetPixel(src.dc, 0, 0, RGB(0xCC, 0xCC, 0xCC));
    HBRUSH brush = CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0));
    HGDIOBJ oldBrush = SelectObject(dst.dc, brush);
    for (DWORD rop : rops) {
      SetPixel(dst.dc, 0, 0, RGB(0xAA, 0xAA, 0xAA));
      ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, rop));
      BYTE expected = static_cast<BYTE>(rop >> 16);
      EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(expected, expected, expected)) << std::hex << rop << " at " << bpp;
    }
    SelectObject(dst.dc, oldBrush);
    DeleteObject(brush);
  }
}

TEST(GdiBlit, PatBltRefusesSourceOperationsAndFillsWithTheBrush) {
  TestDib dst(2, 2, 16, kMasks565);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(dst.dc, red);
  EXPECT_FALSE(PatBlt(dst.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_TRUE(PatBlt(dst.dc, 0, 0, 2, 1, PATCOPY));
  EXPECT_EQ(dst.Raw(1, 0), 0xF800u);
  EXPECT_EQ(dst.Raw(1, 1), 0u);
  EXPECT_TRUE(PatBlt(dst.dc, 0, 0, 2, 2, DSTINVERT));
  EXPECT_EQ(dst.Raw(1, 0), 0x07FFu);
  EXPECT_EQ(dst.Raw(1, 1), 0xFFFFu);
  SelectObject(dst.dc, old);
  DeleteObject(red);
}

std::vector<uint8_t> InfoFor(int w, int h, int bpp, DWORD compression, const std::vector<RGBQUAD>& colors) {
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = w;
  bi->bmiHeader.biHeight = h;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = static_cast<WORD>(bpp);
  bi->bmiHeader.biCompression = compression;
  bi->bmiHeader.biClrUsed = static_cast<DWORD>(colors.size());
  if (!colors.empty()) std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), colors.data(), colors.size() * 4);
  return info;
}

TEST(GdiBlit, StretchDibitsReadsBottomUpAndTopDownCallerBits) {
  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(255, 0, 0), Q(0, 255, 0), Q(0, 0, 255)};
  // 4 bits, 2 x 2: bottom row first in memory for a positive height.
  const uint8_t bits[8] = {0x12, 0, 0, 0, 0x30, 0, 0, 0};
  auto info = InfoFor(2, 2, 4, BI_RGB, table);
  TestDib dst(2, 2, 32);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  ASSERT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, bits, bi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 1), RGB(0, 255, 0));
  // The source y of a bottom-up DIB counts from its bottom row.
  PatBlt(dst.dc, 0, 0, 2, 2, BLACKNESS);
  ASSERT_NE(StretchDIBits(dst.dc, 0, 0, 2, 1, 0, 0, 2, 1, bits, bi, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  bi->bmiHeader.biHeight = -2;
  ASSERT_NE(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, bits, bi, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), RGB(0, 0, 255));
}

TEST(GdiBlit, StretchDibitsDecodesRunLengthDataAndRefusesBrokenHeaders) {
  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(255, 0, 0), Q(0, 255, 0)};
  // Bottom row: three of index 1; top row: absolute run 2, 1, 2; end of bitmap.
  const uint8_t rle[] = {3, 1, 0, 0, 0, 3, 2, 1, 2, 0, 0, 1};
  auto info = InfoFor(3, 2, 8, BI_RLE8, table);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSizeImage = sizeof(rle);
  TestDib dst(3, 2, 32);
  ASSERT_EQ(StretchDIBits(dst.dc, 0, 0, 3, 2, 0, 0, 3, 2, rle, bi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 0, 0));
  // An absolute run that claims more bytes than there are is refused, not read past.
  const uint8_t broken[] = {0, 200, 1, 2};
  bi->bmiHeader.biSizeImage = sizeof(broken);
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 3, 2, 0, 0, 3, 2, broken, bi, DIB_RGB_COLORS, SRCCOPY), 0);
  bi->bmiHeader.biSizeImage = 0;  // no size: nothing to bound the reads by
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 3, 2, 0, 0, 3, 2, rle, bi, DIB_RGB_COLORS, SRCCOPY), 0);

  uint8_t pixels[16] = {};
  auto bad = InfoFor(2, 2, 7, BI_RGB, {});
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, pixels, reinterpret_cast<BITMAPINFO*>(bad.data()),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  auto badMasks = InfoFor(2, 2, 16, BI_BITFIELDS, {});
  const DWORD overlapping[3] = {0xFF00, 0x0FF0, 0x000F};
  std::memcpy(badMasks.data() + sizeof(BITMAPINFOHEADER), overlapping, 12);
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, pixels, reinterpret_cast<BITMAPINFO*>(badMasks.data()),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  // Masks reaching past a 16-bit pixel would read a channel that is never there.
  const DWORD wide[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  std::memcpy(badMasks.data() + sizeof(BITMAPINFOHEADER), wide, 12);
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 2, 2, 0, 0, 2, 2, pixels, reinterpret_cast<BITMAPINFO*>(badMasks.data()),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(badMasks.data()), DIB_RGB_COLORS, nullptr,
                             nullptr, 0),
            nullptr);
  // Run-length data is decoded into memory of our own, so its picture keeps to the
  // readers' pixel limit however few bytes describe it (this one: 2^32 pixels in 4 bytes).
  auto huge = InfoFor(65536, 65536, 8, BI_RLE8, table);
  bi = reinterpret_cast<BITMAPINFO*>(huge.data());
  const uint8_t tiny[] = {1, 1, 0, 1};
  bi->bmiHeader.biSizeImage = sizeof(tiny);
  EXPECT_EQ(StretchDIBits(dst.dc, 0, 0, 3, 2, 0, 0, 3, 2, tiny, bi, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(GdiBlit, GetAndSetDibitsConvertBetweenLayouts) {
  TestDib section(2, 2, 16, kMasks565);
  SetPixel(section.dc, 0, 0, RGB(255, 0, 0));
  SetPixel(section.dc, 1, 1, RGB(0, 0, 255));
  auto info = InfoFor(2, 2, 24, BI_RGB, {});
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  uint8_t out[16] = {};
  // The selected bitmap may be read; lines count from the bottom.
  EXPECT_EQ(GetDIBits(section.dc, section.bitmap, 0, 2, out, bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(out[8 + 0], 0);  // top row (last in memory), pixel 0: blue, green, red
  EXPECT_EQ(out[8 + 2], 255);
  EXPECT_EQ(out[3], 255);  // bottom row, pixel 1: blue
  // A header with no bit count asks what the bitmap is.
  std::vector<uint8_t> query(sizeof(BITMAPINFOHEADER) + 12);
  auto* q = reinterpret_cast<BITMAPINFO*>(query.data());
  q->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  EXPECT_NE(GetDIBits(section.dc, section.bitmap, 0, 2, nullptr, q, DIB_RGB_COLORS), 0);
  EXPECT_EQ(q->bmiHeader.biBitCount, 16);
  EXPECT_EQ(q->bmiHeader.biWidth, 2);

  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(0, 255, 0)};
  auto in8 = InfoFor(2, 1, 8, BI_RGB, table);
  const uint8_t one[4] = {1, 0, 0, 0};
  // Line 1 from the bottom is the top row.
  EXPECT_EQ(SetDIBits(section.dc, section.bitmap, 1, 1, one, reinterpret_cast<BITMAPINFO*>(in8.data()),
                      DIB_RGB_COLORS),
            1);
  EXPECT_EQ(GetPixel(section.dc, 0, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(section.dc, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(section.dc, 1, 1), RGB(0, 0, 255));
}

}  // namespace

namespace {

TEST(GdiBlit, OverlappingCopyWithinOneSurfaceMovesEveryRowIntact) {
  TestDib d(3, 4, 32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) d.SetRaw(x, y, static_cast<uint32_t>(10 * y + x));
  ASSERT_TRUE(BitBlt(d.dc, 1, 1, 2, 3, d.dc, 0, 0, SRCCOPY));  // down and right by one
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 3; ++x) EXPECT_EQ(d.Raw(x, y), static_cast<uint32_t>(10 * (y - 1) + x - 1)) << x << "," << y;
  ASSERT_TRUE(BitBlt(d.dc, 0, 0, 2, 3, d.dc, 1, 1, SRCCOPY));  // and back up
  EXPECT_EQ(d.Raw(0, 0), 0u);
  EXPECT_EQ(d.Raw(1, 2), 21u);
}

TEST(GdiBlit, SixteenBitBuffersAndDeviceBitmapsDefaultToFiveSixFive) {
  uint16_t px[2] = {};
  HDC dc = CreateBufferDC(px, 2, 1, 4, 16, nullptr, nullptr, 0);
  SetPixel(dc, 0, 0, RGB(0, 255, 0));
  EXPECT_EQ(px[0], 0x07E0);
  DeleteDC(dc);
  SetScreenBitCount(16);
  HBITMAP ddb = CreateCompatibleBitmap(nullptr, 1, 1);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, ddb);
  SetPixel(mem, 0, 0, RGB(0, 130, 0));
  EXPECT_EQ(GetPixel(mem, 0, 0), RGB(0, 130, 0));  // six bits of green keep 130 exactly
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(ddb);
  SetScreenBitCount(32);
}

}  // namespace

namespace {

TEST(GdiBlit, StretchDibitsDecodesFourBitRuns) {
  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(255, 0, 0), Q(0, 255, 0), Q(0, 0, 255)};
  // Bottom row: run of 4 alternating 1 and 2; top row: delta right by 1, absolute 3, 3, 1.
  const uint8_t rle[] = {4, 0x12, 0, 0, 0, 2, 1, 0, 0, 3, 0x33, 0x10, 0, 1};
  auto info = InfoFor(4, 2, 4, BI_RLE4, table);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSizeImage = sizeof(rle);
  TestDib dst(4, 2, 32);
  PatBlt(dst.dc, 0, 0, 4, 2, WHITENESS);
  ASSERT_EQ(StretchDIBits(dst.dc, 0, 0, 4, 2, 0, 0, 4, 2, rle, bi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(dst.dc, 0, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 1), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 0, 0));  // skipped by the delta: index 0
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dst.dc, 3, 0), RGB(255, 0, 0));
}

TEST(GdiBlit, ClipBoxIsInLogicalCoordinates) {
  TestDib d(10, 8, 32);
  RECT box{};
  EXPECT_EQ(GetClipBox(d.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 10);
  SetViewportOrgEx(d.dc, 2, 3, nullptr);
  IntersectClipRect(d.dc, 0, 0, 4, 4);
  GetClipBox(d.dc, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.bottom, 4);
  OffsetViewportOrgEx(d.dc, 1, 1, nullptr);
  GetClipBox(d.dc, &box);
  EXPECT_EQ(box.left, -1);
  EXPECT_EQ(IntersectClipRect(d.dc, 100, 100, 101, 101), NULLREGION);
  EXPECT_TRUE(BitBlt(d.dc, 0, 0, 10, 8, nullptr, 0, 0, WHITENESS));
  EXPECT_EQ(GetPixel(d.dc, -3, -4), CLR_INVALID);
  SelectClipRect(d.dc, nullptr);
  EXPECT_EQ(GetPixel(d.dc, -3, -4), RGB(0, 0, 0));  // nothing was drawn
}

}  // namespace

namespace {

TEST(GdiBlit, ColourChangesOnEitherSideTakeEffectOnTheNextBlit) {
  TestDib src(1, 1, 8, nullptr, {Q(10, 20, 30)});
  TestDib d32(1, 1, 32);
  TestDib d8(1, 1, 8, nullptr, {Q(0, 0, 0), Q(255, 0, 0), Q(0, 255, 0)});
  ASSERT_TRUE(BitBlt(d32.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(d32.Raw(0, 0) & 0xFFFFFF, 0x0A141Eu);
  RGBQUAD green = Q(0, 250, 0);
  SetDIBColorTable(src.dc, 0, 1, &green);
  ASSERT_TRUE(BitBlt(d32.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(d32.Raw(0, 0) & 0xFFFFFF, 0x00FA00u);
  ASSERT_TRUE(BitBlt(d8.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(d8.Raw(0, 0), 2u);
  RGBQUAD swapped[2] = {Q(0, 255, 0), Q(255, 0, 0)};
  SetDIBColorTable(d8.dc, 1, 2, swapped);
  ASSERT_TRUE(BitBlt(d8.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(d8.Raw(0, 0), 1u);
}

}  // namespace
