#pragma once
// A deliberately plain box blur for checking the real one: every target pixel sums its
// clipped box directly, with 64-bit sums, and channels are unpacked by their masks without
// the store's pixel-format record.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace blurref {

struct Masks {
  uint32_t r = 0xFF0000, g = 0xFF00, b = 0xFF;
};
inline Masks Masks555() { return {0x7C00, 0x3E0, 0x1F}; }
inline Masks Masks565() { return {0xF800, 0x7E0, 0x1F}; }

// A picture as rows from the top down, each rowBytes long.
struct Picture {
  int w = 0, h = 0, bits = 0;
  size_t rowBytes = 0;
  std::vector<uint8_t> bytes;
  RGBQUAD table[256] = {};
  Masks masks;
  uint8_t* Row(int y) { return bytes.data() + static_cast<size_t>(y) * rowBytes; }
  const uint8_t* Row(int y) const { return bytes.data() + static_cast<size_t>(y) * rowBytes; }
};

inline size_t RowBytesOf(int bits, int w) { return static_cast<size_t>((bits * w + 31) / 32 * 4); }

inline Picture RandomPicture(int w, int h, int bits, Masks masks, std::mt19937& rng) {
  Picture p;
  p.w = w;
  p.h = h;
  p.bits = bits;
  p.masks = masks;
  p.rowBytes = RowBytesOf(bits, w);
  p.bytes.resize(p.rowBytes * h);
  for (auto& b : p.bytes) b = static_cast<uint8_t>(rng());
  for (auto& e : p.table) e = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), 0};
  return p;
}

inline uint8_t Unpack(uint32_t word, uint32_t mask) {
  const int low = std::countr_zero(mask), bits = std::popcount(mask);
  uint32_t v = (word & mask) >> low;
  if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
  v <<= 8 - bits;
  return static_cast<uint8_t>(v | (v >> bits));
}
inline uint32_t Pack(uint8_t value, uint32_t mask) {
  const int low = std::countr_zero(mask), bits = std::popcount(mask);
  return (static_cast<uint32_t>(value) >> (8 - bits)) << low;
}

inline void Rgb(const Picture& p, int x, int y, int& r, int& g, int& b) {
  const uint8_t* row = p.Row(y);
  int index = -1;
  switch (p.bits) {
    case 1: index = (row[x / 8] >> (7 - x % 8)) & 1; break;
    case 4: index = x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 15; break;
    case 8: index = row[x]; break;
    case 24: b = row[3 * x]; g = row[3 * x + 1]; r = row[3 * x + 2]; return;
    case 16:
    case 32: {
      uint32_t word = 0;
      std::memcpy(&word, row + x * (p.bits / 8), p.bits / 8);
      r = Unpack(word, p.masks.r);
      g = Unpack(word, p.masks.g);
      b = Unpack(word, p.masks.b);
      return;
    }
  }
  r = p.table[index].rgbRed;
  g = p.table[index].rgbGreen;
  b = p.table[index].rgbBlue;
}

// Blurs src into dst (same size, dst's bits and masks, dst's bytes as the starting
// contents that bits outside the written pixels keep).
inline void Blur(const Picture& src, Picture& dst, int radius) {
  const long long r = radius < 0 ? -static_cast<long long>(radius) : radius;
  for (int y = 0; y < src.h; ++y) {
    uint8_t* row = dst.Row(y);
    for (int x = 0; x < src.w; ++x) {
      long long sr = 0, sg = 0, sb = 0, n = 0;
      const long long y0 = std::max(0LL, y - r), y1 = std::min<long long>(src.h - 1, y + r);
      const long long x0 = std::max(0LL, x - r), x1 = std::min<long long>(src.w - 1, x + r);
      for (long long yy = y0; yy <= y1; ++yy)
        for (long long xx = x0; xx <= x1; ++xx) {
          int pr, pg, pb;
          Rgb(src, static_cast<int>(xx), static_cast<int>(yy), pr, pg, pb);
          sr += pr;
          sg += pg;
          sb += pb;
          ++n;
        }
      const int grey = static_cast<int>((sr + sg + sb) / n / 3);
      const uint8_t mr = static_cast<uint8_t>(sr / n), mg = static_cast<uint8_t>(sg / n), mb = static_cast<uint8_t>(sb / n);
      switch (dst.bits) {
        case 1:
          row[x / 8] = static_cast<uint8_t>(grey > 127 ? row[x / 8] | (0x80 >> (x % 8)) : row[x / 8] & ~(0x80 >> (x % 8)));
          break;
        case 4:
          row[x / 2] = static_cast<uint8_t>(x % 2 == 0 ? (row[x / 2] & 0x0F) | ((grey >> 4) << 4)
                                                       : (row[x / 2] & 0xF0) | (grey >> 4));
          break;
        case 8: row[x] = static_cast<uint8_t>(grey); break;
        case 24: row[3 * x] = mb; row[3 * x + 1] = mg; row[3 * x + 2] = mr; break;
        case 16:
        case 32: {
          const uint32_t word = Pack(mr, dst.masks.r) | Pack(mg, dst.masks.g) | Pack(mb, dst.masks.b);
          std::memcpy(row + x * (dst.bits / 8), &word, dst.bits / 8);
          break;
        }
      }
    }
  }
}

}  // namespace blurref
