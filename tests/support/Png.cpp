// PNG out of stored deflate blocks: no compression, so no zlib, and the checksums by hand.
#include "support/Png.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const uint32_t* pixels, int stride) {
  if (width <= 0 || height <= 0 || !pixels || stride < width) return false;
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    const uint32_t* row = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<uint8_t>(row[x]));
    }
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(pos), raw.begin() + static_cast<ptrdiff_t>(pos + n));
    pos += n;
  } while (pos < raw.size());
  Put32(z, Adler32(raw.data(), raw.size()));

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

namespace {

// Reads a DC's pixels through GDI itself, into a 32-bit top-down DIB section.
bool DumpDc(const std::string& path, HDC source, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  bool ok = BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY) &&
            WritePng(path, width, height, static_cast<const uint32_t*>(bits), width);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(section);
  return ok;
}

}  // namespace

bool WritePngFromDC(const std::string& path, HDC dc) {
  int width = 0, height = 0;
  if (GetObjectType(dc) == OBJ_MEMDC) {
    BITMAP bm{};
    if (!GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bm), &bm)) return false;
    width = bm.bmWidth;
    height = bm.bmHeight;
  } else {
    width = GetDeviceCaps(dc, HORZRES);
    height = GetDeviceCaps(dc, VERTRES);
  }
  if (width <= 0 || height <= 0) return false;
  // The DC's viewport origin would shift the dump; read from its device origin.
  POINT origin{};
  SetViewportOrgEx(dc, 0, 0, &origin);
  bool ok = DumpDc(path, dc, width, height);
  SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
  return ok;
}

bool WritePngFromBitmap(const std::string& path, HBITMAP bitmap) {
  BITMAP bm{};
  if (!GetObjectA(bitmap, sizeof(bm), &bm)) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  bool ok = old && DumpDc(path, dc, bm.bmWidth, bm.bmHeight);
  if (old) SelectObject(dc, old);
  DeleteDC(dc);
  return ok;
}

bool SaveWindowPng(HWND hwnd, const std::string& path) {
  WindowPixels pixels;
  if (!GetWindowPixels(hwnd, &pixels)) return false;
  return WritePng(path, pixels.width, pixels.height, pixels.pixels.data(), pixels.width);
}
