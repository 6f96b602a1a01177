#include "image/DIBFormat.h"

#include <limits>

namespace {

// Shifts whose distance may be negative or past the word: a bit count read from a stream
// can make either, and a format made from one is refused before it touches a pixel, but it
// must be built without undefined behaviour first.
uint32_t ShiftLeft(uint32_t value, int32_t distance) {
  if (distance < 0) return distance <= -32 ? 0 : value >> -distance;
  return distance >= 32 ? 0 : value << distance;
}
uint32_t ShiftRight(uint32_t value, int32_t distance) { return ShiftLeft(value, distance == INT32_MIN ? 32 : -distance); }

uint32_t LowBits(int32_t count) {
  if (count <= 0) return 0;
  return count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1;
}

int32_t RunLength(uint32_t mask) {
  int32_t low = 0;
  while (low <= 30 && !(mask & (1u << low))) ++low;
  if (low > 30) return 0;
  int32_t count = 0;
  while (low + count < 32 && (mask & (1u << (low + count)))) ++count;
  return count;
}

int32_t Clamp(int32_t bits) { return bits < 0 ? 0 : bits > 32 ? 32 : bits; }

}  // namespace

DIBPixelFormat MakeDIBPixelFormat(int32_t redBits, int32_t greenBits, int32_t blueBits) {
  const int32_t r = Clamp(redBits), g = Clamp(greenBits), b = Clamp(blueBits);
  DIBPixelFormat f;
  f.RBitMask = static_cast<int32_t>(ShiftLeft(LowBits(r), g + b));
  f.GBitMask = static_cast<int32_t>(ShiftLeft(LowBits(g), b));
  f.BBitMask = static_cast<int32_t>(LowBits(b));
  f.RBitCount = r;
  f.GBitCount = g;
  f.BBitCount = b;
  f.RShift = r + g + b - 8;
  f.GShift = g + b - 8;
  f.BShift = 8 - b;
  f.RFillShift = 8 - r;
  f.GFillShift = 8 - g;
  f.BFillShift = 8 - b;
  return f;
}

DIBPixelFormat MakeDIBPixelFormatMask(uint32_t redMask, uint32_t greenMask, uint32_t blueMask) {
  return MakeDIBPixelFormat(RunLength(redMask), RunLength(greenMask), RunLength(blueMask));
}

const DIBPixelFormat& DIBFormat888() {
  static const DIBPixelFormat f = MakeDIBPixelFormat(8, 8, 8);
  return f;
}
const DIBPixelFormat& DIBFormat555() {
  static const DIBPixelFormat f = MakeDIBPixelFormat(5, 5, 5);
  return f;
}
const DIBPixelFormat& DIBFormat565() {
  static const DIBPixelFormat f = MakeDIBPixelFormat(5, 6, 5);
  return f;
}

uint32_t EncodeDIBPixel(const DIBPixelFormat& f, uint8_t red, uint8_t green, uint8_t blue) {
  return (ShiftLeft(red, f.RShift) & static_cast<uint32_t>(f.RBitMask)) |
         (ShiftLeft(green, f.GShift) & static_cast<uint32_t>(f.GBitMask)) |
         (ShiftRight(blue, f.BShift) & static_cast<uint32_t>(f.BBitMask));
}

void DecodeDIBPixel(const DIBPixelFormat& f, uint32_t value, uint8_t& red, uint8_t& green, uint8_t& blue) {
  // The channel's bits land at the top of the byte and are repeated below themselves,
  // shifted down by the channel's own bit count. (Shifting by the fill shift instead, as
  // the field's name suggests, overlaps the copies for 5 and 6 bits and decodes 17 of 31
  // brighter than 18.)
  uint32_t r = ShiftRight(value & static_cast<uint32_t>(f.RBitMask), f.RShift);
  r |= ShiftRight(r, f.RBitCount);
  uint32_t g = ShiftRight(value & static_cast<uint32_t>(f.GBitMask), f.GShift);
  g |= ShiftRight(g, f.GBitCount);
  uint32_t b = ShiftLeft(value & static_cast<uint32_t>(f.BBitMask), f.BShift);
  b |= ShiftRight(b, f.BBitCount);
  red = static_cast<uint8_t>(r);
  green = static_cast<uint8_t>(g);
  blue = static_cast<uint8_t>(b);
}

bool IsDIBBitCount(int32_t bitCount) {
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

bool DIBFormatFits(int32_t bitCount, const DIBPixelFormat& format) {
  if (bitCount == 16) return format.SameMasks(DIBFormat555()) || format.SameMasks(DIBFormat565());
  return format.SameMasks(DIBFormat888());
}

int64_t DIBRowBytes(int32_t bitCount, int64_t width) {
  if (bitCount < 0 || width < 0 || width > (int64_t{1} << 40)) return -1;
  const int64_t bytes = (static_cast<int64_t>(bitCount) * width + 31) / 32 * 4;
  return bytes > std::numeric_limits<int32_t>::max() ? -1 : bytes;
}

int32_t DIBColorCount(int32_t bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8 ? 1 << bitCount : 0; }

bool DecodeDIBRunLength(const uint8_t* data, size_t size, int32_t bitCount, int32_t width, int32_t height,
                        size_t rowBytes, uint8_t* pixels) {
  if (bitCount != 4 && bitCount != 8) return false;
  const bool eight = bitCount == 8;
  int64_t x = 0, y = 0;  // y counts rows up from the bottom, as the data does

  auto put = [&](uint8_t value) {
    if (x >= width || y >= height) return false;
    if (pixels) {
      uint8_t* row = pixels + static_cast<size_t>(y) * rowBytes;
      if (eight) {
        row[x] = value;
      } else {
        uint8_t& byte = row[x / 2];
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (value & 0x0F))
                       : static_cast<uint8_t>((byte & 0x0F) | (value << 4));
      }
    }
    ++x;
    return true;
  };

  size_t i = 0;
  while (size - i >= 2) {
    const uint8_t count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) {
        const uint8_t v = eight ? value : (k & 1) ? (value & 0x0F) : (value >> 4);
        if (!put(v)) return false;
      }
      continue;
    }
    switch (value) {
      case 0:  // end of row
        x = 0;
        ++y;
        break;
      case 1:  // end of picture
        return true;
      case 2:  // move right and up
        if (size - i < 2) return false;
        x += data[i];
        y += data[i + 1];
        i += 2;
        break;
      default: {  // literal pixels, padded to a 16-bit boundary
        const size_t bytes = eight ? value : (value + 1u) / 2u;
        if (size - i < bytes) return false;
        for (int k = 0; k < value; ++k) {
          const uint8_t b = data[i + (eight ? k : k / 2)];
          const uint8_t v = eight ? b : (k & 1) ? (b & 0x0F) : (b >> 4);
          if (!put(v)) return false;
        }
        i += bytes + (bytes & 1);
        if (i > size) i = size;
        break;
      }
    }
  }
  return true;
}
