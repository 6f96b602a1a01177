// Text: metrics, extents, transparent and opaque output, crisp text on 8-bit targets.
#include <set>

#include "platform/gdi/GdiTestUtil.h"

namespace {

struct FontIn {
  HDC dc;
  HFONT font;
  HGDIOBJ old;
  FontIn(HDC d, int height, int weight, const char* face)
      : dc(d), font(CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face)),
        old(SelectObject(d, font)) {}
  ~FontIn() {
    SelectObject(dc, old);
    DeleteObject(font);
  }
};

int Width(HDC dc, const char* text) {
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size));
  return size.cx;
}

TEST(GdiText, MetricsFollowTheRequestedHeight) {
  TestDib d(4, 4, 32);
  {
    FontIn f(d.dc, -16, FW_NORMAL, "MS Sans Serif");
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(d.dc, &tm));
    // A negative height is the character height: the cell adds the internal leading.
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 16);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 4);
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(d.dc, "Hi", 2, &size));
    EXPECT_EQ(size.cy, tm.tmHeight);
  }
  {
    FontIn f(d.dc, 20, FW_NORMAL, "Times New Roman");
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(d.dc, &tm));
    EXPECT_EQ(tm.tmHeight, 20);  // a positive height is the whole cell
  }
}

TEST(GdiText, ExtentGrowsWithLengthAndBoldIsWider) {
  TestDib d(4, 4, 32);
  int regular, bold, mono1, mono2;
  {
    FontIn f(d.dc, -16, FW_NORMAL, "Arial");
    EXPECT_EQ(Width(d.dc, ""), 0);
    EXPECT_LT(Width(d.dc, "Pell"), Width(d.dc, "Pellora"));
    EXPECT_EQ(Width(d.dc, "ab") + Width(d.dc, "cd"), Width(d.dc, "abcd"));
    regular = Width(d.dc, "Pellora saver");
  }
  {
    FontIn f(d.dc, -16, FW_BOLD, "Arial");
    bold = Width(d.dc, "Pellora saver");
  }
  EXPECT_GT(bold, regular);
  {
    FontIn f(d.dc, -16, FW_NORMAL, "Courier New");
    mono1 = Width(d.dc, "iiii");
    mono2 = Width(d.dc, "WWWW");
  }
  EXPECT_EQ(mono1, mono2);  // the fixed-pitch face really is fixed
}

TEST(GdiText, TransparentLeavesTheBackgroundAndOpaqueFillsTheCell) {
  TestDib d(80, 30, 32);
  FontIn f(d.dc, -16, FW_NORMAL, "MS Sans Serif");
  RECT all{0, 0, 80, 30};
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  FillRect(d.dc, &all, green);
  SetTextColor(d.dc, RGB(0, 0, 255));
  SetBkMode(d.dc, TRANSPARENT);
  ASSERT_TRUE(TextOutA(d.dc, 2, 2, "HH", 2));
  int text = 0, untouched = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 80; ++x) {
      COLORREF c = GetPixel(d.dc, x, y);
      if (c == RGB(0, 255, 0)) ++untouched;
      if (c == RGB(0, 0, 255)) ++text;
    }
  }
  EXPECT_GT(text, 20);  // the stems of the H's are solid
  // The gap between the stems of an H keeps the background.
  SIZE h{};
  GetTextExtentPoint32A(d.dc, "H", 1, &h);
  TEXTMETRICA tm{};
  GetTextMetricsA(d.dc, &tm);
  EXPECT_EQ(GetPixel(d.dc, 2 + h.cx / 2, 2 + tm.tmAscent - 10), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(d.dc, 2 + h.cx / 2, 2 + tm.tmAscent - 3), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(d.dc, 1, 1), RGB(0, 255, 0));

  FillRect(d.dc, &all, green);
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, RGB(255, 255, 255));
  ASSERT_TRUE(TextOutA(d.dc, 2, 2, "HH", 2));
  SIZE cell{};
  GetTextExtentPoint32A(d.dc, "HH", 2, &cell);
  for (int y = 2; y < 2 + cell.cy; ++y) {
    for (int x = 2; x < 2 + cell.cx; ++x) EXPECT_NE(GetPixel(d.dc, x, y), RGB(0, 255, 0)) << x << "," << y;
  }
  EXPECT_EQ(GetPixel(d.dc, 2 + cell.cx, 2), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(d.dc, 2, 2 + cell.cy), RGB(0, 255, 0));
  DeleteObject(green);
}

TEST(GdiText, SmoothOnTruecolourCrispOnEightBits) {
  std::vector<RGBQUAD> table = {Q(0, 0, 0), Q(0, 0, 255), Q(255, 255, 255), Q(128, 128, 128)};
  TestDib d8(60, 24, 8, nullptr, table);
  TestDib d32(60, 24, 32);
  for (HDC dc : {d8.dc, d32.dc}) {
    FontIn f(dc, -16, FW_NORMAL, "Arial");
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    ASSERT_TRUE(TextOutA(dc, 1, 1, "Sag", 3));
  }
  std::set<uint32_t> indexes, colours;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 60; ++x) {
      indexes.insert(d8.Raw(x, y));
      colours.insert(d32.Raw(x, y) & 0xFFFFFF);
    }
  }
  EXPECT_EQ(indexes, (std::set<uint32_t>{0, 1}));  // only black and the text colour
  EXPECT_GT(colours.size(), 4u);                   // blended edges in between
}

TEST(GdiText, ClipsGlyphsAtTheSurfaceEdges) {
  std::vector<uint32_t> memory(12 * 12 + 24, 0xDEADBEEF);
  HDC dc = CreateBufferDC(memory.data() + 12, 10, 10, 12 * 4, 32, nullptr, nullptr, 0);
  ASSERT_NE(dc, nullptr);
  FontIn f(dc, -24, FW_BOLD, "Arial");
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkColor(dc, RGB(1, 1, 1));
  for (int x : {-7, 3, 8}) {
    EXPECT_TRUE(TextOutA(dc, x, -5, "Wg", 2));
    EXPECT_TRUE(TextOutA(dc, x, 6, "Wg", 2));
  }
  for (int i = 0; i < 12; ++i) EXPECT_EQ(memory[static_cast<size_t>(i)], 0xDEADBEEFu);
  for (int y = 0; y < 10; ++y)
    for (int x = 10; x < 12; ++x) EXPECT_EQ(memory[static_cast<size_t>(12 + y * 12 + x)], 0xDEADBEEFu);
  for (size_t i = 12 + 120; i < memory.size(); ++i) EXPECT_EQ(memory[i], 0xDEADBEEFu);
  DeleteDC(dc);
}

}  // namespace

namespace {

TEST(GdiText, ExtTextOutFillsAndClipsToItsRectangle) {
  TestDib d(60, 24, 32);
  FontIn f(d.dc, -20, FW_BOLD, "Arial");
  SetBkMode(d.dc, TRANSPARENT);
  SetBkColor(d.dc, RGB(255, 0, 0));
  SetTextColor(d.dc, RGB(255, 255, 255));
  RECT box{4, 4, 14, 14};
  ASSERT_TRUE(ExtTextOutA(d.dc, 0, 0, ETO_OPAQUE | ETO_CLIPPED, &box, "WWW", 3, nullptr));
  bool white = false;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 60; ++x) {
      COLORREF c = GetPixel(d.dc, x, y);
      bool inside = x >= 4 && x < 14 && y >= 4 && y < 14;
      if (!inside) {
        EXPECT_EQ(c, RGB(0, 0, 0)) << x << "," << y;
      } else {
        EXPECT_NE(c, RGB(0, 0, 0)) << x << "," << y;  // red box, or text on it
        white = white || c == RGB(255, 255, 255);
      }
    }
  }
  EXPECT_TRUE(white);
}

TEST(GdiText, AlignmentMovesTheReferencePoint) {
  TestDib d(80, 40, 32);
  FontIn f(d.dc, -16, FW_NORMAL, "Arial");
  SIZE size{};
  GetTextExtentPoint32A(d.dc, "II", 2, &size);
  TEXTMETRICA tm{};
  GetTextMetricsA(d.dc, &tm);
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, RGB(0, 0, 255));
  EXPECT_EQ(SetTextAlign(d.dc, TA_RIGHT | TA_BASELINE), TA_LEFT | TA_TOP);
  ASSERT_TRUE(TextOutA(d.dc, 70, 30, "II", 2));
  // The opaque cell ends at x = 70 and its baseline is at y = 30.
  EXPECT_EQ(GetPixel(d.dc, 69, 30 - tm.tmAscent), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(d.dc, 70, 30 - tm.tmAscent), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(d.dc, 70 - size.cx, 29), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(d.dc, 69 - size.cx, 29), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(d.dc, 69, 30 - tm.tmAscent - 1), RGB(0, 0, 0));
}

}  // namespace

namespace {

// The columns holding ink of a text drawn in white at x = 0 on black, and how many
// separate runs of inked columns there are.
struct Ink {
  int left = -1, right = -1, runs = 0;
};

Ink InkOf(const TestDib& d) {
  Ink ink;
  bool previous = false;
  for (int x = 0; x < d.width; ++x) {
    bool any = false;
    for (int y = 0; y < d.height && !any; ++y) any = d.Raw(x, y) != 0;
    if (any) {
      if (ink.left < 0) ink.left = x;
      ink.right = x;
      if (!previous) ++ink.runs;
    }
    previous = any;
  }
  return ink;
}

// The range messages of the Options dialog lost their last "!" on screen: measured on a
// memory DC (crisp text, fully hinted advances) and drawn on a window (smooth text), the
// same text came out four pixels wider than its label.
TEST(GdiText, ExtentsAreTheSameOnEveryTargetAndTheInkEndsWhereABCWidthsSay) {
  const std::vector<RGBQUAD> blackWhite = {Q(0, 0, 0), Q(255, 255, 255)};
  const char* texts[] = {"Number of balls 0<..<101 !!!", "Balls max speed 0<..<101 !!!", "ill!", "Wolf", "OK"};
  struct Style {
    int height, weight;
    DWORD italic;
  } styles[] = {{-11, FW_NORMAL, 0}, {-11, FW_BOLD, 0}, {-19, FW_BOLD, 0}, {-32, FW_NORMAL, 0}, {-13, FW_NORMAL, 1}};
  for (const Style& style : styles) {
    for (const char* text : texts) {
      const int length = static_cast<int>(std::strlen(text));
      int firstExtent = -1;
      for (int bpp : {1, 8, 32}) {
        TestDib d(600, 50, bpp, nullptr, bpp <= 8 ? blackWhite : std::vector<RGBQUAD>{});
        HFONT font = CreateFontA(style.height, 0, 0, 0, style.weight, style.italic, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                                 0, "MS Sans Serif");
        HGDIOBJ old = SelectObject(d.dc, font);
        SCOPED_TRACE(std::string(text) + " at " + std::to_string(style.height) + "/" + std::to_string(style.weight) +
                     (style.italic ? " italic" : "") + " on " + std::to_string(bpp) + " bits");
        SIZE size{};
        ASSERT_TRUE(GetTextExtentPoint32A(d.dc, text, length, &size));
        if (firstExtent < 0) firstExtent = size.cx;
        EXPECT_EQ(size.cx, firstExtent);
        ABC last{};
        const auto lastCode = static_cast<unsigned char>(text[length - 1]);
        ASSERT_TRUE(GetCharABCWidthsA(d.dc, lastCode, lastCode, &last));
        SetTextColor(d.dc, RGB(255, 255, 255));
        SetBkMode(d.dc, TRANSPARENT);
        ASSERT_TRUE(TextOutA(d.dc, 0, 0, text, length));
        const Ink ink = InkOf(d);
        EXPECT_EQ(ink.right + 1, size.cx - last.abcC);
        SelectObject(d.dc, old);
        DeleteObject(font);
      }
    }
  }
}

TEST(GdiText, ThreeNarrowGlyphsAtTheEndAreThreeInkRunsOnEveryTarget) {
  const std::vector<RGBQUAD> blackWhite = {Q(0, 0, 0), Q(255, 255, 255)};
  for (int bpp : {1, 8, 16, 32}) {
    SCOPED_TRACE(bpp);
    TestDib d(40, 20, bpp, nullptr, bpp <= 8 ? blackWhite : std::vector<RGBQUAD>{});
    FontIn f(d.dc, -11, FW_NORMAL, "MS Sans Serif");
    SetTextColor(d.dc, RGB(255, 255, 255));
    SetBkMode(d.dc, TRANSPARENT);
    ASSERT_TRUE(TextOutA(d.dc, 0, 0, "!!!", 3));
    SIZE size{};
    GetTextExtentPoint32A(d.dc, "!!!", 3, &size);
    const Ink ink = InkOf(d);
    EXPECT_EQ(ink.runs, 3);
    EXPECT_LT(ink.right, size.cx);
  }
}

TEST(GdiText, ABCWidthsAddUpToTheAdvanceAndRefuseBadRanges) {
  TestDib d(4, 4, 32);
  FontIn f(d.dc, -16, FW_NORMAL, "Arial");
  ABC abc[3]{};
  ASSERT_TRUE(GetCharABCWidthsA(d.dc, 'a', 'c', abc));
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>('a' + i);
    EXPECT_GT(abc[i].abcB, 0u);
    EXPECT_EQ(abc[i].abcA + static_cast<int>(abc[i].abcB) + abc[i].abcC, Width(d.dc, std::string(1, c).c_str()));
  }
  ABC space{};
  ASSERT_TRUE(GetCharABCWidthsA(d.dc, ' ', ' ', &space));
  EXPECT_EQ(space.abcB, 0u);
  EXPECT_EQ(space.abcC, Width(d.dc, " "));
  EXPECT_FALSE(GetCharABCWidthsA(d.dc, 'c', 'a', abc));
  EXPECT_FALSE(GetCharABCWidthsA(d.dc, 0xFF, 0x100, abc));
  EXPECT_FALSE(GetCharABCWidthsA(d.dc, 'a', 'a', nullptr));
  EXPECT_FALSE(GetCharABCWidthsA(nullptr, 'a', 'a', abc));
}

}  // namespace
