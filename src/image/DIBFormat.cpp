#include "image/DIBFormat.h"

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

// The run of set bits from the mask's lowest one, which must lie in bits 0 to 30.
int32_t RunLength(uint32_t mask) { return (mask & 0x7FFFFFFFu) != 0 ? bmp::Channel(mask).bits : 0; }

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

bool DIBFormatFits(int32_t bitCount, const DIBPixelFormat& format) {
  if (bitCount == 16) return format.SameMasks(DIBFormat555()) || format.SameMasks(DIBFormat565());
  return format.SameMasks(DIBFormat888());
}

int32_t DIBColorCount(int32_t bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8 ? 1 << bitCount : 0; }
