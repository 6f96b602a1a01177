#pragma once
// Pixel formats of 16- and 32-bit DIB pixels, row geometry, and the run-length decoder.
// These are free of any store or graphic, so the blur and the stream readers share them.
#include <cstddef>
#include <cstdint>

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

// True for the bit counts a store can have.
bool IsDIBBitCount(int32_t bitCount);
// Whether a store of this bit count may use this format: 16 bits need 5-5-5 or 5-6-5, all
// others 8-8-8.
bool DIBFormatFits(int32_t bitCount, const DIBPixelFormat& format);

// Bytes of one row, padded to 4 bytes; -1 when it does not fit in 32 bits.
int64_t DIBRowBytes(int32_t bitCount, int64_t width);
// 2^bitCount for 1, 4 and 8 bits, else 0.
int32_t DIBColorCount(int32_t bitCount);

// Run-length data (8 bits: 1, 4 bits: 2) decoded into a bottom-up picture whose rows are
// rowBytes apart, starting at the bottom row. With pixels null nothing is written and only
// the data is checked. False when the data would write outside the picture or stops in the
// middle of a run; the data need not end with an end-of-picture mark. Pixels the data
// never reaches keep what they held.
bool DecodeDIBRunLength(const uint8_t* data, size_t size, int32_t bitCount, int32_t width, int32_t height,
                        size_t rowBytes, uint8_t* pixels);
