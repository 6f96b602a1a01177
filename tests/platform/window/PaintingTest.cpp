// Painting: WM_PAINT when the queue is otherwise empty, children drawn as clipped regions
// of their top-level's back buffer, presentation of what was painted, and pictures put on
// a window from outside, letterboxed.
#include <unistd.h>

#include "WindowTestSupport.h"
#include "support/Png.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kWhite = 0xFFFFFF;

// A window class whose painting fills its whole client area with its user-data colour.
LRESULT FillProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Log().push_back({hwnd, message, wParam, lParam});
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const COLORREF c = static_cast<COLORREF>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    HBRUSH brush = CreateSolidBrush(c);
    // Deliberately larger than the client area: the clip must keep it inside.
    RECT everything{-1000, -1000, 1000, 1000};
    FillRect(dc, &everything, brush);
    DeleteObject(brush);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class PaintingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WNDCLASSA wc{};
    wc.lpfnWndProc = FillProc;
    wc.lpszClassName = "Filler";
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  HWND Filler(DWORD style, int x, int y, int w, int h, HWND parent, COLORREF colour) {
    HWND hwnd = CreateWindowExA(0, "Filler", "", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
    return hwnd;
  }
};

TEST_F(PaintingTest, ChildrenPaintOnlyInsideTheirClippedRegion) {
  HWND top = Filler(WS_POPUP, 0, 0, 40, 30, nullptr, RGB(255, 255, 255));
  HWND panel = Filler(WS_CHILD | WS_VISIBLE, 10, 5, 20, 20, top, RGB(255, 0, 0));
  // This child reaches past its parent's right and bottom edges.
  Filler(WS_CHILD | WS_VISIBLE, 15, 15, 10, 10, panel, RGB(0, 0, 255));
  ShowWindow(top, SW_SHOW);
  Pump();

  WindowPixels frame;
  ASSERT_TRUE(headless::LastFrame(top, &frame));
  ASSERT_EQ(frame.width, 40);
  ASSERT_EQ(frame.height, 30);
  EXPECT_EQ(frame.At(0, 0), kWhite);
  EXPECT_EQ(frame.At(9, 5), kWhite);
  EXPECT_EQ(frame.At(10, 5), kRed);
  EXPECT_EQ(frame.At(24, 19), kRed);
  EXPECT_EQ(frame.At(25, 20), kBlue);   // the inner child's corner, at 10+15, 5+15
  EXPECT_EQ(frame.At(29, 24), kBlue);   // its last pixel inside the panel
  EXPECT_EQ(frame.At(30, 24), kWhite);  // clipped away by the panel's right edge
  EXPECT_EQ(frame.At(29, 25), kWhite);  // and by its bottom edge
  EXPECT_EQ(frame.At(39, 29), kWhite);

  // With nothing invalid, the queue has no WM_PAINT to give.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(PaintingTest, PaintComesAfterPostedMessagesAndOnlyForInvalidWindows) {
  HWND top = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, RGB(0, 0, 255));
  HWND left = Filler(WS_CHILD | WS_VISIBLE, 0, 0, 10, 20, top, RGB(255, 0, 0));
  HWND right = Filler(WS_CHILD | WS_VISIBLE, 10, 0, 10, 20, top, RGB(255, 0, 0));
  Pump();
  Log().clear();
  InvalidateRect(right, nullptr, TRUE);
  PostMessageA(top, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_PAINT);
  EXPECT_EQ(msg.hwnd, right);
  DispatchMessageA(&msg);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(CountOf(left, WM_PAINT), 0);
  EXPECT_EQ(CountOf(top, WM_PAINT), 0);
}

TEST_F(PaintingTest, EraseUsesTheClassBrushAndUpdateWindowPaintsAtOnce) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CALLBACK_Record;
  wc.lpszClassName = "Greyed";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND top = CreateWindowExA(0, "Greyed", "", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(UpdateWindow(top));
  EXPECT_EQ(CountOf(top, WM_ERASEBKGND), 1);
  WindowPixels pixels;
  ASSERT_TRUE(GetWindowPixels(top, &pixels));
  EXPECT_EQ(pixels.At(3, 3), 0xC0C0C0u);
  EXPECT_GE(headless::PresentCount(top), 1);
}

TEST_F(PaintingTest, ADcFromGetDcDrawsAtTheChildsOrigin) {
  HWND top = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 30, 30, nullptr, RGB(0, 0, 0));
  HWND child = Filler(WS_CHILD | WS_VISIBLE, 10, 10, 5, 5, top, RGB(0, 0, 0));
  Pump();
  HDC dc = GetDC(child);
  ASSERT_NE(dc, nullptr);
  SetPixel(dc, 0, 0, RGB(255, 0, 0));
  SetPixel(dc, 5, 0, RGB(255, 0, 0));  // just outside the child: clipped
  EXPECT_EQ(ReleaseDC(child, dc), 1);
  EXPECT_EQ(ReleaseDC(child, dc), 0);  // a DC is released once
  Pump();
  WindowPixels frame;
  ASSERT_TRUE(headless::LastFrame(top, &frame));
  EXPECT_EQ(frame.At(10, 10), kRed);
  EXPECT_EQ(frame.At(15, 10), 0u);
}

TEST_F(PaintingTest, OutsidePicturesAreScaledToFitWithBlackBars) {
  headless::SetScreenSize(40, 20);
  HWND screen = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 40, 20, nullptr, RGB(255, 255, 255));
  Pump();
  // A 4 × 2 picture at 16 bits (5-6-5): left half red, right half blue.
  const uint16_t red = 0xF800, blue = 0x001F;
  const uint16_t picture[2][4] = {{red, red, blue, blue}, {red, red, blue, blue}};
  ASSERT_TRUE(PresentWindowPixels(screen, picture, 4, 2, 8, 16, nullptr, nullptr, 0));
  WindowPixels frame;
  ASSERT_TRUE(headless::LastFrame(screen, &frame));
  // 40 × 20 takes 4 × 2 as 40 × 20 exactly: no bars.
  EXPECT_EQ(frame.At(0, 0), kRed);
  EXPECT_EQ(frame.At(19, 19), kRed);
  EXPECT_EQ(frame.At(20, 0), kBlue);

  // A square picture on the 2:1 window gets bars left and right.
  const uint32_t square[2][2] = {{kRed, kRed}, {kBlue, kBlue}};
  ASSERT_TRUE(PresentWindowPixels(screen, square, 2, 2, 8, 32, nullptr, nullptr, 0));
  ASSERT_TRUE(headless::LastFrame(screen, &frame));
  EXPECT_EQ(frame.At(9, 5), 0u);
  EXPECT_EQ(frame.At(10, 5), kRed);
  EXPECT_EQ(frame.At(29, 15), kBlue);
  EXPECT_EQ(frame.At(30, 15), 0u);

  // An 8-bit picture reads its colour table; an index past the table is black.
  const uint8_t indexed[1][2] = {{1, 7}};
  const RGBQUAD table[2] = {{0, 0, 0, 0}, {0, 255, 0, 0}};
  ASSERT_TRUE(PresentWindowPixels(screen, indexed, 2, 1, 4, 8, nullptr, table, 2));
  ASSERT_TRUE(headless::LastFrame(screen, &frame));
  EXPECT_EQ(frame.At(5, 10), 0x00FF00u);
  EXPECT_EQ(frame.At(35, 10), 0u);

  // Pictures whose sizes do not add up are refused, not read past their end.
  EXPECT_FALSE(PresentWindowPixels(screen, square, 2, 2, 4, 32, nullptr, nullptr, 0));  // pitch too small
  EXPECT_FALSE(PresentWindowPixels(screen, square, 0, 2, 8, 32, nullptr, nullptr, 0));
  EXPECT_FALSE(PresentWindowPixels(screen, square, 2, 2, 8, 12, nullptr, nullptr, 0));
  EXPECT_FALSE(PresentWindowPixels(screen, indexed, 2, 1, 4, 8, nullptr, nullptr, 0));  // no colour table
  EXPECT_FALSE(PresentWindowPixels(screen, nullptr, 2, 2, 8, 32, nullptr, nullptr, 0));
}

// Every 16-bit value, at the window's own size, widened with rounding: 5 bits v to
// (v * 255 + 15) / 31, 6 bits to (v * 255 + 31) / 63. Rows of 269 pixels are 16 blocks of
// 16, one of 8 and 5 single pixels, so every way pixels are taken is checked.
TEST_F(PaintingTest, SixteenBitPicturesShowEveryValueRounded) {
  constexpr int kWidth = 269, kHeight = 244;  // 65,636 pixels: every value, and some twice
  auto widen = [](uint32_t v, uint32_t bits) {
    const uint32_t top = (1u << bits) - 1;
    return (v * 255 + top / 2) / top;
  };
  std::vector<uint16_t> picture(static_cast<size_t>(kWidth) * kHeight);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint16_t>(i * 40503u);  // odd: a permutation
  HWND screen = Filler(WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr, RGB(255, 255, 255));
  Pump();

  struct Layout {
    DWORD masks[3];
    uint32_t bits[3];
  };
  for (const Layout& layout : {Layout{{0xF800, 0x07E0, 0x001F}, {5, 6, 5}}, Layout{{0x7C00, 0x03E0, 0x001F}, {5, 5, 5}}}) {
    ASSERT_TRUE(PresentWindowPixels(screen, picture.data(), kWidth, kHeight, kWidth * 2, 16, layout.masks, nullptr, 0));
    WindowPixels frame;
    ASSERT_TRUE(headless::LastFrame(screen, &frame));
    ASSERT_EQ(frame.width, kWidth);
    ASSERT_EQ(frame.height, kHeight);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t v = picture[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)];
        const uint32_t gShift = layout.bits[2], rShift = gShift + layout.bits[1];
        const uint32_t want = (widen((v >> rShift) & ((1u << layout.bits[0]) - 1), layout.bits[0]) << 16) |
                              (widen((v >> gShift) & ((1u << layout.bits[1]) - 1), layout.bits[1]) << 8) |
                              widen(v & 31u, 5);
        if (frame.At(x, y) != want && ++wrong <= 3)
          ADD_FAILURE() << "value " << std::hex << v << " at " << std::dec << x << "," << y << " shows " << std::hex
                        << frame.At(x, y) << " instead of " << want;
      }
    }
    EXPECT_EQ(wrong, 0) << "masks " << std::hex << layout.masks[0];
  }
}

TEST_F(PaintingTest, AChildsOutsidePictureStaysInItsRegion) {
  HWND top = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, RGB(255, 255, 255));
  // The display control: 20 × 10 at (10, 5), reaching past nothing.
  HWND control = Filler(WS_CHILD | WS_VISIBLE, 10, 5, 20, 10, top, RGB(255, 255, 255));
  Pump();
  const uint32_t picture[1][2] = {{kRed, kBlue}};
  ASSERT_TRUE(PresentWindowPixels(control, picture, 2, 1, 8, 32, nullptr, nullptr, 0));
  WindowPixels frame;
  ASSERT_TRUE(headless::LastFrame(top, &frame));
  EXPECT_EQ(frame.At(10, 5), kRed);
  EXPECT_EQ(frame.At(19, 14), kRed);
  EXPECT_EQ(frame.At(20, 5), kBlue);
  EXPECT_EQ(frame.At(29, 14), kBlue);
  EXPECT_EQ(frame.At(9, 5), kWhite);
  EXPECT_EQ(frame.At(30, 5), kWhite);
  EXPECT_EQ(frame.At(10, 15), kWhite);
}

TEST_F(PaintingTest, HidingAChildRepaintsWhatItCovered) {
  HWND top = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, RGB(255, 255, 255));
  HWND child = Filler(WS_CHILD | WS_VISIBLE, 5, 5, 5, 5, top, RGB(255, 0, 0));
  Pump();
  WindowPixels frame;
  headless::LastFrame(top, &frame);
  EXPECT_EQ(frame.At(6, 6), kRed);
  ShowWindow(child, SW_HIDE);
  Pump();
  headless::LastFrame(top, &frame);
  EXPECT_EQ(frame.At(6, 6), kWhite);
}

}  // namespace

namespace {

TEST_F(PaintingTest, APngOfAWindowReadsBackWithItsPixels) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
  // Large enough that the picture needs more than one stored block.
  HWND top = Filler(WS_POPUP | WS_VISIBLE, 0, 0, 200, 150, nullptr, RGB(10, 20, 30));
  Pump();
  HDC dc = GetDC(top);
  SetPixel(dc, 199, 149, RGB(200, 100, 50));
  ReleaseDC(top, dc);
  // The folder is shared with every other test program on the machine.
  const std::string path = ::testing::TempDir() + "window-png-test-" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(SaveWindowPng(top, path.c_str()));
  FILE* p = popen(("convert " + path + " -depth 8 txt:- 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buffer[256];
  while (size_t n = fread(buffer, 1, sizeof buffer, p)) text.append(buffer, n);
  pclose(p);
  std::remove(path.c_str());
  EXPECT_NE(text.find("0,0: (10,20,30)"), std::string::npos) << text.substr(0, 300);
  EXPECT_NE(text.find("199,149: (200,100,50)"), std::string::npos);
  EXPECT_EQ(text.find("error"), std::string::npos) << text.substr(0, 300);
  EXPECT_FALSE(SaveWindowPng(top, "/nonexistent-dir/x.png"));
}

}  // namespace
