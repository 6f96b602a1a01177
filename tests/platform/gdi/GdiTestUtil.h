#pragma once
// Small bitmaps for exact pixel tests: a DIB section of any format in its own memory DC.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi/Gdi.h"

struct TestDib {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  int width = 0, height = 0, bpp = 0, stride = 0;
  bool topDown = false;

  // masks: for 16 and 32 bits with BI_BITFIELDS; colors: the table for 8 bits or fewer.
  TestDib(int w, int h, int bitCount, const DWORD* masks = nullptr, const std::vector<RGBQUAD>& colors = {},
          bool top = false)
      : width(w), height(h), bpp(bitCount), topDown(top) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = w;
    bi->bmiHeader.biHeight = top ? -h : h;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = static_cast<WORD>(bitCount);
    bi->bmiHeader.biCompression = masks ? BI_BITFIELDS : BI_RGB;
    if (masks) std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), masks, 12);
    if (!colors.empty()) {
      bi->bmiHeader.biClrUsed = static_cast<DWORD>(colors.size());
      std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), colors.data(), colors.size() * 4);
    }
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    stride = ((w * bitCount + 31) / 32) * 4;
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
  }
  ~TestDib() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  TestDib(const TestDib&) = delete;
  TestDib& operator=(const TestDib&) = delete;

  // Row y counted from the top, wherever the layout keeps it.
  uint8_t* Row(int y) const { return bits + static_cast<size_t>(topDown ? y : height - 1 - y) * stride; }
  uint32_t Raw(int x, int y) const {
    const uint8_t* r = Row(y);
    switch (bpp) {
      case 1: return (r[x / 8] >> (7 - x % 8)) & 1;
      case 4: return x % 2 ? r[x / 2] & 15 : r[x / 2] >> 4;
      case 8: return r[x];
      case 16: return static_cast<uint32_t>(r[2 * x] | r[2 * x + 1] << 8);
      case 24: return static_cast<uint32_t>(r[3 * x] | r[3 * x + 1] << 8 | r[3 * x + 2] << 16);
      default: {
        uint32_t v;
        std::memcpy(&v, r + 4 * x, 4);
        return v;
      }
    }
  }
  void SetRaw(int x, int y, uint32_t v) {
    uint8_t* r = Row(y);
    switch (bpp) {
      case 1: r[x / 8] = static_cast<uint8_t>((r[x / 8] & ~(0x80 >> x % 8)) | ((v & 1) << (7 - x % 8))); break;
      case 4:
        r[x / 2] = x % 2 ? static_cast<uint8_t>((r[x / 2] & 0xF0) | (v & 15))
                         : static_cast<uint8_t>((r[x / 2] & 0x0F) | (v & 15) << 4);
        break;
      case 8: r[x] = static_cast<uint8_t>(v); break;
      case 16: r[2 * x] = static_cast<uint8_t>(v), r[2 * x + 1] = static_cast<uint8_t>(v >> 8); break;
      case 24:
        r[3 * x] = static_cast<uint8_t>(v), r[3 * x + 1] = static_cast<uint8_t>(v >> 8),
        r[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        break;
      default: std::memcpy(r + 4 * x, &v, 4); break;
    }
  }
};

inline RGBQUAD Q(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }
constexpr DWORD kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
