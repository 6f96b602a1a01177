// Random blits of random formats and coordinates, including negative and oversized
// extents, into buffers fenced with guard bytes. Run under the sanitizers this also
// proves no read leaves the source.
#include <random>

#include "platform/gdi/GdiTestUtil.h"

namespace {

constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};

TEST(GdiRobustness, RandomBlitsNeverWriteOutsideTheirBuffer) {
  std::mt19937 rng(12345);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = Q(static_cast<BYTE>(i), static_cast<BYTE>(i * 3), static_cast<BYTE>(i * 7));
  for (int round = 0; round < 3000; ++round) {
    int dbpp = kDepths[pick(0, 5)], sbpp = kDepths[pick(0, 5)];
    int dw = pick(1, 9), dh = pick(1, 9), sw = pick(1, 9), sh = pick(1, 9);
    int pitch = static_cast<int>(((dw * dbpp + 7) / 8)) + pick(0, 3);
    const int guard = 16;
    std::vector<uint8_t> memory(static_cast<size_t>(pitch * dh + 2 * guard), 0x5C);
    bool bottomUp = pick(0, 1) == 1;
    uint8_t* first = memory.data() + guard + (bottomUp ? pitch * (dh - 1) : 0);
    HDC dc = CreateBufferDC(first, dw, dh, bottomUp ? -pitch : pitch, dbpp, nullptr, table.data(), 256);
    ASSERT_NE(dc, nullptr);
    std::vector<uint8_t> frame(memory);

    // The source: a caller's DIB of exactly its own size.
    int stride = ((sw * sbpp + 31) / 32) * 4;
    std::vector<uint8_t> bits(static_cast<size_t>(stride * sh));
    for (auto& b : bits) b = static_cast<uint8_t>(pick(0, 255));
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = sw;
    bi->bmiHeader.biHeight = pick(0, 1) ? sh : -sh;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = static_cast<WORD>(sbpp);
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), table.data(), 1024);
    DWORD rops[] = {SRCCOPY, SRCINVERT, PATCOPY, NOTSRCERASE, 0x00B8074A};
    DWORD rop = rops[pick(0, 4)];
    int x = pick(-12, 14), y = pick(-12, 14), w = pick(-15, 15), h = pick(-15, 15);
    int sx = pick(-5, 12), sy = pick(-5, 12), ssw = pick(-12, 12), ssh = pick(-12, 12);
    if (pick(0, 3) == 0) IntersectClipRect(dc, pick(-2, 5), pick(-2, 5), pick(0, 10), pick(0, 10));
    SetViewportOrgEx(dc, pick(-3, 3), pick(-3, 3), nullptr);
    StretchDIBits(dc, x, y, w, h, sx, sy, ssw, ssh, bits.data(), bi, DIB_RGB_COLORS, rop);

    // And a section in a memory DC as the source of BitBlt and StretchBlt.
    TestDib src(sw, sh, sbpp, nullptr, sbpp <= 8 ? std::vector<RGBQUAD>(table.begin(), table.begin() + (1 << sbpp))
                                                 : std::vector<RGBQUAD>{});
    BitBlt(dc, x, y, w, h, src.dc, sx, sy, rop);
    StretchBlt(dc, x, y, w, h, src.dc, sx, sy, ssw, ssh, rop);
    TextOutA(dc, x, y, "Wg", 2);
    RECT r{x, y, x + w, y + h};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    DrawFocusRect(dc, &r);
    MoveToEx(dc, x, y, nullptr);
    LineTo(dc, x + w * 3, y - h * 2);
    DeleteDC(dc);

    for (int i = 0; i < guard; ++i) {
      ASSERT_EQ(memory[static_cast<size_t>(i)], 0x5C) << "round " << round;
      ASSERT_EQ(memory[memory.size() - 1 - static_cast<size_t>(i)], 0x5C) << "round " << round;
    }
    // Padding bytes at the end of each row stay as they were (for 1 and 4 bits the
    // unused low bits of the last byte may belong to the row's own pixels).
    int used = (dw * dbpp + 7) / 8;
    for (int row = 0; row < dh; ++row)
      for (int c = used; c < pitch; ++c)
        ASSERT_EQ(memory[static_cast<size_t>(guard + row * pitch + c)], 0x5C) << "round " << round;
  }
}

TEST(GdiRobustness, MalformedHeadersAreRefused) {
  std::mt19937 rng(99);
  uint8_t pixels[256] = {};
  TestDib dst(4, 4, 32);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> info(2048);
    for (auto& b : info) b = static_cast<uint8_t>(rng());
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = (rng() % 4 == 0) ? static_cast<DWORD>(rng()) : sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biWidth = static_cast<LONG>(rng() % 16) - 2;
    bi->bmiHeader.biHeight = static_cast<LONG>(rng() % 16) - 8;
    const WORD depths[] = {0, 1, 2, 4, 8, 15, 16, 24, 32, 64};
    bi->bmiHeader.biBitCount = depths[rng() % 10];
    bi->bmiHeader.biCompression = rng() % 5;
    bi->bmiHeader.biSizeImage = rng() % 300;
    // The caller's buffer holds only 256 bytes; a header that needs more than that for
    // its declared size is the caller's error, so keep the shapes small.
    int w = bi->bmiHeader.biWidth, h = bi->bmiHeader.biHeight < 0 ? -bi->bmiHeader.biHeight : bi->bmiHeader.biHeight;
    if (w > 0 && ((w * 32 + 31) / 32) * 4 * h > 256) continue;
    if (bi->bmiHeader.biSizeImage > sizeof(pixels)) bi->bmiHeader.biSizeImage = sizeof(pixels);
    if (bi->bmiHeader.biSize > sizeof(BITMAPINFOHEADER) + 12) continue;  // keep reads in the buffer
    StretchDIBits(dst.dc, 0, 0, 4, 4, 0, 0, 4, 4, pixels, bi, DIB_RGB_COLORS, SRCCOPY);
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (b) {
      EXPECT_NE(bits, nullptr);
      DeleteObject(b);
    }
  }
}

}  // namespace

namespace {

TEST(GdiRobustness, ExtremeCoordinatesNeitherOverflowNorHang) {
  TestDib d(8, 8, 16);
  TestDib src(4, 4, 8, nullptr, {Q(0, 0, 0), Q(255, 255, 255)});
  const int big = 0x7FFFFFFF, small = static_cast<int>(0x80000000u);
  const int values[] = {small, small + 1, -1000000, 0, 3, 1000000, big - 1, big};
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  HGDIOBJ old = SelectObject(d.dc, font);
  for (int a : values) {
    for (int b : values) {
      SetViewportOrgEx(d.dc, a % 7, b % 5, nullptr);
      BitBlt(d.dc, a, b, b, a, src.dc, b, a, SRCCOPY);
      StretchBlt(d.dc, a, b, b, a, src.dc, a, b, b, a, SRCCOPY);
      StretchBlt(d.dc, 0, 0, 8, 8, src.dc, a, b, a, b, NOTSRCCOPY);
      PatBlt(d.dc, a, b, a, b, PATINVERT);
      RECT r{a, b, b, a};
      FillRect(d.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      FrameRect(d.dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      InvertRect(d.dc, &r);
      Rectangle(d.dc, a, b, b, a);
      MoveToEx(d.dc, a, b, nullptr);
      LineTo(d.dc, b, a);
      TextOutA(d.dc, a, b, "Wide", 4);
      ExtTextOutA(d.dc, a, b, ETO_OPAQUE | ETO_CLIPPED, &r, "Wide", 4, nullptr);
      GetPixel(d.dc, a, b);
      IntersectClipRect(d.dc, a, b, b, a);
      SelectClipRect(d.dc, nullptr);
    }
  }
  // A line between far corners still draws its visible part: the main diagonal.
  SetViewportOrgEx(d.dc, 0, 0, nullptr);
  RECT all{0, 0, 8, 8};
  FillRect(d.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(d.dc, white);
  MoveToEx(d.dc, -1000000000, -1000000000, nullptr);
  LineTo(d.dc, 1000000000, 1000000000);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(GetPixel(d.dc, i, i), RGB(255, 255, 255)) << i;
  EXPECT_EQ(GetPixel(d.dc, 1, 0), RGB(0, 0, 0));
  SelectObject(d.dc, oldPen);
  DeleteObject(white);
  SelectObject(d.dc, old);
  DeleteObject(font);
}

}  // namespace
