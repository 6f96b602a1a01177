#pragma once
// A picture on its way to the screen: the top-level's back buffer, or a picture put on a
// window from outside (a display's frame) in its own pixel format, which reaches the
// presenter without being widened into the back buffer first.
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/gdi/BitmapFormat.h"

namespace window_internal {

struct Picture {
  const uint8_t* bytes = nullptr;  // the top row's first pixel
  int width = 0;
  int height = 0;
  ptrdiff_t pitch = 0;  // bytes from a row to the one below; negative for bottom-up rows
  const bmp::ScreenRows* rows = nullptr;  // its format, as screen values

  const uint8_t* Row(int y) const { return bytes + static_cast<ptrdiff_t>(y) * pitch; }
  RECT Bounds() const { return RECT{0, 0, width, height}; }
};

// The XRGB rows of back buffers and of the screen itself.
const bmp::ScreenRows& XrgbRows();

}  // namespace window_internal
