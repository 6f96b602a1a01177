// Letterboxed scaling: see Letterbox.h.
#include "platform/window/Letterbox.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace window_internal {

Letterbox FitLetterbox(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight) {
  Letterbox box;
  box.sourceWidth = std::max(sourceWidth, 1);
  box.sourceHeight = std::max(sourceHeight, 1);
  // The full width or the full height, whichever is tighter.
  if (static_cast<int64_t>(screenWidth) * box.sourceHeight <= static_cast<int64_t>(screenHeight) * box.sourceWidth) {
    box.width = screenWidth;
    box.height = static_cast<int>(static_cast<int64_t>(box.sourceHeight) * screenWidth / box.sourceWidth);
  } else {
    box.height = screenHeight;
    box.width = static_cast<int>(static_cast<int64_t>(box.sourceWidth) * screenHeight / box.sourceHeight);
  }
  box.width = std::max(box.width, 1);
  box.height = std::max(box.height, 1);
  box.left = (screenWidth - box.width) / 2;
  box.top = (screenHeight - box.height) / 2;
  return box;
}

void Letterbox::ToSource(int* x, int* y) const {
  *x = std::clamp(static_cast<int>(static_cast<int64_t>(*x - left) * sourceWidth / width), 0, sourceWidth - 1);
  *y = std::clamp(static_cast<int>(static_cast<int64_t>(*y - top) * sourceHeight / height), 0, sourceHeight - 1);
}

void Letterbox::ToScreen(int* x, int* y) const {
  *x = left + static_cast<int>(static_cast<int64_t>(*x) * width / sourceWidth);
  *y = top + static_cast<int>(static_cast<int64_t>(*y) * height / sourceHeight);
}

void DrawLetterboxed(const uint32_t* source, int sourcePitch, uint32_t* dest, int destPitch, int screenWidth,
                     int screenHeight, const Letterbox& box, Bars bars) {
  auto destRow = [&](int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(dest) + static_cast<ptrdiff_t>(y) * destPitch);
  };
  const int right = std::min(box.left + box.width, screenWidth);
  const int bottom = std::min(box.top + box.height, screenHeight);
  for (int y = 0; bars == Bars::Draw && y < screenHeight; ++y) {
    uint32_t* row = destRow(y);
    if (y < box.top || y >= bottom) {
      std::memset(row, 0, static_cast<size_t>(screenWidth) * 4);
      continue;
    }
    if (box.left > 0) std::memset(row, 0, static_cast<size_t>(box.left) * 4);
    if (right < screenWidth) std::memset(row + right, 0, static_cast<size_t>(screenWidth - right) * 4);
  }
  // Each source column and row once; a screen row that shows the same source row as the
  // one above is a copy of it.
  std::vector<int> columns(static_cast<size_t>(std::max(right - box.left, 0)));
  for (size_t x = 0; x < columns.size(); ++x) {
    columns[x] = static_cast<int>(static_cast<int64_t>(x) * box.sourceWidth / box.width);
  }
  int lastSource = -1;
  for (int y = box.top; y < bottom; ++y) {
    const int sy = static_cast<int>(static_cast<int64_t>(y - box.top) * box.sourceHeight / box.height);
    uint32_t* out = destRow(y) + box.left;
    if (sy == lastSource) {
      std::memcpy(out, destRow(y - 1) + box.left, columns.size() * 4);
      continue;
    }
    lastSource = sy;
    const auto* in = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(source) +
                                                       static_cast<ptrdiff_t>(sy) * sourcePitch);
    for (size_t x = 0; x < columns.size(); ++x) out[x] = in[columns[x]];
  }
}

}  // namespace window_internal
