// Renders to look at: written as PNGs under the build tree's renders/ folder, with a few
// checks that the drawing landed where it should.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/gdi/GdiTestUtil.h"
#include "support/Png.h"

namespace {

std::string RenderPath(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(PELLORA_BINARY_DIR) / "renders";
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

TEST(GdiRender, CreditCaptionInBlueOnABlackSixteenBitBuffer) {
  const int w = 200, h = 60;
  std::vector<uint16_t> pixels(static_cast<size_t>(w) * h, 0);
  HDC dc = CreateBufferDC(pixels.data(), w, h, w * 2, 16, kMasks565, nullptr, 0);
  ASSERT_NE(dc, nullptr);
  HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 255));
  ASSERT_TRUE(TextOutA(dc, 20, 20, "Pellora", 7));
  // Only shades of blue, and nothing above or left of the cell.
  int blue = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint16_t v = pixels[static_cast<size_t>(y) * w + x];
      EXPECT_EQ(v & 0xFFE0, 0) << x << "," << y;
      if (v == 0x001F) ++blue;
      if (y < 20 || x < 19) {
        EXPECT_EQ(v, 0) << x << "," << y;
      }
    }
  }
  EXPECT_GT(blue, 40);
  EXPECT_TRUE(WritePngFromDC(RenderPath("caption_565.png"), dc));
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

TEST(GdiRender, EightBitPictureStretchedOntoSixteenAndThirtyTwoBits) {
  const int w = 48, h = 32;
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) {
    // A colour wheel of sorts: hue in the index, with black and white at the ends.
    int seg = i / 43, f = (i % 43) * 6;
    BYTE r = 0, g = 0, b = 0;
    switch (seg) {
      case 0: r = 255, g = static_cast<BYTE>(f); break;
      case 1: r = static_cast<BYTE>(255 - f), g = 255; break;
      case 2: g = 255, b = static_cast<BYTE>(f); break;
      case 3: g = static_cast<BYTE>(255 - f), b = 255; break;
      case 4: r = static_cast<BYTE>(f), b = 255; break;
      default: r = 255, b = static_cast<BYTE>(255 - f); break;
    }
    table[static_cast<size_t>(i)] = Q(r, g, b);
  }
  table[0] = Q(0, 0, 0);
  table[255] = Q(255, 255, 255);
  TestDib picture(w, h, 8, nullptr, table);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int dx = x - w / 2, dy = y - h / 2;
      bool ring = dx * dx + dy * dy < 14 * 14 && dx * dx + dy * dy > 9 * 9;
      picture.SetRaw(x, y, ring ? 255u : (x + y < 6 ? 0u : static_cast<uint32_t>((x * 5 + y) % 254 + 1)));
    }
  for (int bpp : {16, 32}) {
    TestDib out(2 * w + 8, 2 * h + 8, bpp, bpp == 16 ? kMasks565 : nullptr);
    PatBlt(out.dc, 0, 0, 2 * w + 8, 2 * h + 8, BLACKNESS);
    ASSERT_TRUE(StretchBlt(out.dc, 4, 4, 2 * w, 2 * h, picture.dc, 0, 0, w, h, SRCCOPY));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        COLORREF c = GetPixel(picture.dc, x, y);
        COLORREF got = GetPixel(out.dc, 4 + 2 * x + 1, 4 + 2 * y + 1);
        if (bpp == 32) {
          ASSERT_EQ(got, c) << x << "," << y;
        } else {
          ASSERT_LE(std::abs(GetRValue(got) - GetRValue(c)), 7);
          ASSERT_LE(std::abs(GetGValue(got) - GetGValue(c)), 3);
          ASSERT_LE(std::abs(GetBValue(got) - GetBValue(c)), 7);
        }
      }
    }
    EXPECT_EQ(GetPixel(out.dc, 3, 3), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(out.dc, 4 + 2 * w, 4 + 2 * h), RGB(0, 0, 0));
    EXPECT_TRUE(WritePngFromDC(RenderPath("stretch_8_to_" + std::to_string(bpp) + ".png"), out.dc));
  }
  EXPECT_TRUE(WritePngFromDC(RenderPath("stretch_source_8.png"), picture.dc));
}

TEST(GdiRender, DialogTextIsLegibleOnLightGrey) {
  TestDib out(320, 96, 32);
  RECT all{0, 0, 320, 96};
  HBRUSH grey = CreateSolidBrush(RGB(192, 192, 192));
  FillRect(out.dc, &all, grey);
  HFONT ui = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HFONT bold = CreateFontA(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(out.dc, ui);
  SetBkMode(out.dc, TRANSPARENT);
  SetTextColor(out.dc, RGB(0, 0, 0));
  const char* lines[] = {"Number of balls:  Speed of balls:", "Picture...  Default  Ok  Cancel  About",
                         "Enter password \xAB\xE9\xE8\xFC\xBB  0123456789 \x80 \x93quoted\x94"};
  int y = 6;
  for (const char* line : lines) {
    ASSERT_TRUE(TextOutA(out.dc, 8, y, line, static_cast<int>(std::strlen(line))));
    y += 16;
  }
  SelectObject(out.dc, bold);
  TextOutA(out.dc, 8, y, "Set Password", 12);
  y += 16;
  SelectObject(out.dc, ui);
  SetBkMode(out.dc, OPAQUE);
  SetBkColor(out.dc, RGB(255, 255, 255));
  TextOutA(out.dc, 8, y, "Opaque white cell", 17);
  EXPECT_TRUE(WritePngFromDC(RenderPath("dialog_text.png"), out.dc));
  SelectObject(out.dc, old);
  DeleteObject(ui);
  DeleteObject(bold);
  DeleteObject(grey);
}

}  // namespace

namespace {

TEST(GdiRender, CaptionOnAnEightBitBufferUsesOnlyTableColours) {
  const int w = 120, h = 40;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h, 0);
  std::vector<RGBQUAD> table(256, Q(0, 0, 0));
  table[252] = Q(0, 0, 255);
  table[255] = Q(255, 255, 255);
  HDC dc = CreateBufferDC(pixels.data(), w, h, w, 8, nullptr, table.data(), 256);
  HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 255));
  ASSERT_TRUE(TextOutA(dc, 10, 10, "Pellora", 7));
  int blue = 0;
  for (uint8_t v : pixels) {
    EXPECT_TRUE(v == 0 || v == 252);
    blue += v == 252;
  }
  EXPECT_GT(blue, 40);
  EXPECT_TRUE(WritePngFromDC(RenderPath("caption_8bit.png"), dc));
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

TEST(GdiRender, PngFilesHaveTheStandardFraming) {
  const uint32_t px[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x123456};
  std::string path = RenderPath("tiny.png");
  ASSERT_TRUE(WritePng(path, 3, 2, px, 3));
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> data(4096);
  data.resize(std::fread(data.data(), 1, data.size(), f));
  std::fclose(f);
  ASSERT_GT(data.size(), 57u);
  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_EQ(std::memcmp(data.data(), signature, 8), 0);
  EXPECT_EQ(std::memcmp(data.data() + 12, "IHDR", 4), 0);
  EXPECT_EQ(data[19], 3);  // width
  EXPECT_EQ(data[23], 2);  // height
  // The IEND chunk and its well-known checksum close the file.
  const uint8_t iend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(std::memcmp(data.data() + data.size() - 12, iend, 12), 0);
  // The IHDR checksum for 3 x 2, 8-bit RGB, as zlib computes it.
  EXPECT_EQ(data[29] << 24 | data[30] << 16 | data[31] << 8 | data[32], 0x1216F14D);
  const uint8_t row1[10] = {0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  EXPECT_NE(std::search(data.begin(), data.end(), row1, row1 + 10), data.end());
  EXPECT_FALSE(WritePng(path, 0, 2, px, 3));
  EXPECT_FALSE(WritePng("/nonexistent-dir/x.png", 3, 2, px, 3));
}

}  // namespace
