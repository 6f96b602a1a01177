#pragma once
// The box pass of the blur, over plain rows: no store, graphic or GDI object, so it can be
// tested and measured on its own. TDIB::Blur wraps it with the store handling.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/DIBFormat.h"
#include "platform/gdi/Gdi.h"

struct DIBBlurSource {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;        // 1, 4, 8, 16, 24 or 32
  const uint8_t* TopRow = nullptr;
  ptrdiff_t RowStep = 0;        // from one row to the row below it
  const RGBQUAD* ColorTable = nullptr;  // 256 entries, used for 8 bits or less
  DIBPixelFormat PixelFormat;   // used for 16 and 32 bits
};

struct DIBBlurTarget {
  int32_t BitCount = 0;         // the same width and height as the source
  DIBPixelFormat PixelFormat;   // used for 16 and 32 bits
  // Called once per row, top to bottom, before the row is written; it may make the
  // target's pixels private first, so the address is asked for row by row.
  std::function<uint8_t*(int32_t y)> ScanLine;
  std::function<void(int32_t y)> RowDone;  // may be empty
};

// Every target pixel becomes the mean of the source pixels in the (2r+1) x (2r+1) box
// around it, clipped to the picture (r = |radius|), each channel truncated once. For
// targets of 8 bits or less the mean is grey ((R+G+B) div n) div 3, stored as an index into
// a grey ramp. Throws std::invalid_argument for bit counts or formats a store cannot have.
void DIBBoxBlur(const DIBBlurSource& source, const DIBBlurTarget& target, int32_t radius);
