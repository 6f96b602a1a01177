#pragma once
// The DIB's own record of a 16- or 32-bit pixel format, and which formats its stores take.
// Row sizes, masks and run-length data are the platform's bitmap format (BitmapFormat.h).
#include <cstddef>
#include <cstdint>

#include "platform/gdi/BitmapFormat.h"

// Where red, green and blue sit in a 16- or 32-bit pixel. The twelve fields keep their
// stored order: masks, bit counts, shifts, fill shifts.
struct DIBPixelFormat {
  int32_t RBitMask = 0, GBitMask = 0, BBitMask = 0;
  int32_t RBitCount = 0, GBitCount = 0, BBitCount = 0;
  int32_t RShift = 0, GShift = 0, BShift = 0;
  int32_t RFillShift = 0, GFillShift = 0, BFillShift = 0;

  bool operator==(const DIBPixelFormat&) const = default;
  bool SameMasks(const DIBPixelFormat& other) const {
    return RBitMask == other.RBitMask && GBitMask == other.GBitMask && BBitMask == other.BBitMask;
  }
};
static_assert(sizeof(DIBPixelFormat) == 48);

// Built from three bit counts (red, green, blue from the top down).
DIBPixelFormat MakeDIBPixelFormat(int32_t redBits, int32_t greenBits, int32_t blueBits);
// Built from three masks: each bit count is the run of set bits from the mask's lowest set
// bit (bits 0 to 30 are searched); the masks are then rebuilt from the counts.
DIBPixelFormat MakeDIBPixelFormatMask(uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

const DIBPixelFormat& DIBFormat888();
const DIBPixelFormat& DIBFormat555();
const DIBPixelFormat& DIBFormat565();

// Red, green and blue (0..255) to a pixel value; the top bits of each survive.
uint32_t EncodeDIBPixel(const DIBPixelFormat& format, uint8_t red, uint8_t green, uint8_t blue);
// A pixel value to red, green and blue, the low bits filled from the top ones (31 -> 255).
void DecodeDIBPixel(const DIBPixelFormat& format, uint32_t value, uint8_t& red, uint8_t& green, uint8_t& blue);

// Whether a store of this bit count may use this format: 16 bits need 5-5-5 or 5-6-5, all
// others 8-8-8.
bool DIBFormatFits(int32_t bitCount, const DIBPixelFormat& format);

// 2^bitCount for 1, 4 and 8 bits, else 0.
int32_t DIBColorCount(int32_t bitCount);
