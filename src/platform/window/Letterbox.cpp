// Letterboxed scaling: see Letterbox.h.
#include "platform/window/Letterbox.h"

#include <algorithm>
#include <cstring>

namespace window_internal {

namespace {
int CeilDiv(int64_t a, int64_t b) { return static_cast<int>((a + b - 1) / b); }
}  // namespace

const bmp::ScreenRows& XrgbRows() {
  static const bmp::ScreenRows rows(bmp::kRgb888);
  return rows;
}

int Letterbox::FirstColumnOf(int s) const { return CeilDiv(static_cast<int64_t>(s) * width, sourceWidth); }
int Letterbox::FirstRowOf(int s) const { return CeilDiv(static_cast<int64_t>(s) * height, sourceHeight); }

Letterbox FitLetterbox(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight) {
  Letterbox box;
  box.sourceWidth = std::max(sourceWidth, 1);
  box.sourceHeight = std::max(sourceHeight, 1);
  box.screenWidth = std::max(screenWidth, 1);
  box.screenHeight = std::max(screenHeight, 1);
  // The full width or the full height, whichever is tighter.
  if (static_cast<int64_t>(box.screenWidth) * box.sourceHeight <=
      static_cast<int64_t>(box.screenHeight) * box.sourceWidth) {
    box.width = box.screenWidth;
    box.height = static_cast<int>(static_cast<int64_t>(box.sourceHeight) * box.screenWidth / box.sourceWidth);
  } else {
    box.height = box.screenHeight;
    box.width = static_cast<int>(static_cast<int64_t>(box.sourceWidth) * box.screenHeight / box.sourceHeight);
  }
  box.width = std::max(box.width, 1);
  box.height = std::max(box.height, 1);
  box.left = (box.screenWidth - box.width) / 2;
  box.top = (box.screenHeight - box.height) / 2;
  return box;
}

Letterbox AtCorner(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight) {
  Letterbox box;
  box.sourceWidth = box.width = std::max(sourceWidth, 1);
  box.sourceHeight = box.height = std::max(sourceHeight, 1);
  box.screenWidth = std::max(screenWidth, 1);
  box.screenHeight = std::max(screenHeight, 1);
  return box;
}

Letterbox OnWindow(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight, Holds holds) {
  return holds == Holds::Mode ? FitLetterbox(pictureWidth, pictureHeight, windowWidth, windowHeight)
                              : AtCorner(pictureWidth, pictureHeight, windowWidth, windowHeight);
}

void Letterbox::ToSource(int* x, int* y) const {
  *x = std::clamp(static_cast<int>(static_cast<int64_t>(*x - left) * sourceWidth / width), 0, sourceWidth - 1);
  *y = std::clamp(static_cast<int>(static_cast<int64_t>(*y - top) * sourceHeight / height), 0, sourceHeight - 1);
}

void Letterbox::ToScreen(int* x, int* y) const {
  *x = left + static_cast<int>(static_cast<int64_t>(*x) * width / sourceWidth);
  *y = top + static_cast<int>(static_cast<int64_t>(*y) * height / sourceHeight);
}

LetterboxMap::LetterboxMap(const Letterbox& box) : box_(box) {
  const int visible = std::clamp(box.screenWidth - box.left, 0, box.width);
  columns_.resize(static_cast<size_t>(visible));
  for (int i = 0; i < visible; ++i) columns_[static_cast<size_t>(i)] = box.SourceColumn(i);
}

RECT LetterboxMap::OnScreen(const RECT& source) const {
  const Letterbox& b = box_;
  const int x0 = std::clamp<int>(source.left, 0, b.sourceWidth), x1 = std::clamp<int>(source.right, x0, b.sourceWidth);
  const int y0 = std::clamp<int>(source.top, 0, b.sourceHeight), y1 = std::clamp<int>(source.bottom, y0, b.sourceHeight);
  RECT r{b.left + b.FirstColumnOf(x0), b.top + b.FirstRowOf(y0), b.left + b.FirstColumnOf(x1), b.top + b.FirstRowOf(y1)};
  r.right = std::min<LONG>(r.right, b.screenWidth);
  r.bottom = std::min<LONG>(r.bottom, b.screenHeight);
  if (r.right <= r.left || r.bottom <= r.top) return RECT{0, 0, 0, 0};
  return r;
}

RECT LetterboxMap::Draw(const Picture& picture, const RECT& source, uint32_t* screen, ptrdiff_t pitch) const {
  const RECT out = OnScreen(source);
  if (out.right <= out.left) return out;
  const Letterbox& b = box_;
  auto screenRow = [&](int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(screen) + static_cast<ptrdiff_t>(y) * pitch);
  };
  const bmp::ScreenRows& rows = *picture.rows;
  const int bytesPerPixel = rows.Format().BytesPerPixel();
  // The source columns the screen span shows: from the first one's to the last one's.
  const int c0 = out.left - b.left, c1 = out.right - b.left;
  const int x0 = columns_[static_cast<size_t>(c0)], x1 = columns_[static_cast<size_t>(c1 - 1)] + 1;
  const size_t spanBytes = static_cast<size_t>(out.right - out.left) * 4;
  if (b.Unscaled()) {
    rows.Convert(picture.Row(out.top - b.top) + static_cast<ptrdiff_t>(x0) * bytesPerPixel, picture.pitch, x1 - x0,
                 out.bottom - out.top, screenRow(out.top) + out.left, pitch);
    return out;
  }
  row_.resize(static_cast<size_t>(x1 - x0));
  const int* columns = columns_.data();
  int shown = -1;  // the source row the screen row above shows
  for (int y = out.top; y < out.bottom; ++y) {
    const int sy = b.SourceRow(y - b.top);
    uint32_t* to = screenRow(y) + out.left;
    // A screen row showing the same source row as the one above is a copy of it.
    if (sy == shown) {
      std::memcpy(to, screenRow(y - 1) + out.left, spanBytes);
      continue;
    }
    shown = sy;
    rows.Convert(picture.Row(sy) + static_cast<ptrdiff_t>(x0) * bytesPerPixel, x1 - x0, row_.data());
    const uint32_t* from = row_.data() - x0;
    for (int c = c0; c < c1; ++c) *to++ = from[columns[c]];
  }
  return out;
}

void DrawBars(const Letterbox& b, uint32_t* screen, ptrdiff_t pitch) {
  auto fill = [&](int x0, int y0, int x1, int y1) {
    x0 = std::clamp(x0, 0, b.screenWidth);
    x1 = std::clamp(x1, x0, b.screenWidth);
    y0 = std::clamp(y0, 0, b.screenHeight);
    y1 = std::clamp(y1, y0, b.screenHeight);
    for (int y = y0; y < y1; ++y) {
      std::memset(reinterpret_cast<uint8_t*>(screen) + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x0) * 4,
                  0, static_cast<size_t>(x1 - x0) * 4);
    }
  };
  const int right = b.left + b.width, bottom = b.top + b.height;
  fill(0, 0, b.screenWidth, b.top);
  fill(0, bottom, b.screenWidth, b.screenHeight);
  fill(0, b.top, b.left, bottom);
  fill(right, b.top, b.screenWidth, bottom);
}

}  // namespace window_internal
