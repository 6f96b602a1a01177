// Showing a primary surface: through the exclusive window, or, for the windowed primary
// that stands for the whole screen, in the clipper's window.
#include "platform/ddraw/DDrawInternal.h"

namespace ddraw_internal {

void PresentPrimary(SurfaceObject* primary) {
  DisplayObject* d = primary->owner;
  if (!d->window || !IsWindow(d->window)) return;
  RGBQUAD table[256] = {};
  int colors = 0;
  if (primary->format.bitCount == 8) {
    // Without a palette an 8-bit screen shows its indexes as greys rather than nothing.
    if (const PaletteObject* p = primary->palette) {
      p->ColorTable(table);
      colors = p->count;
    } else {
      for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
      colors = 256;
    }
  }
  // Pictures filled with the same value differ only where either was drawn on.
  static uint64_t pictures = 0;
  const Drawn& drawn = primary->store->drawn;
  ShownPicture& last = d->shown;
  std::vector<RECT> within;
  PictureChanges changes{++pictures, 0, nullptr, 0};
  if (drawn.known && last.drawn.known && drawn.fill == last.drawn.fill && last.width == primary->Width() &&
      last.height == primary->Height()) {
    within = drawn.rects;
    within.insert(within.end(), last.drawn.rects.begin(), last.drawn.rects.end());
    changes = PictureChanges{changes.picture, last.number, within.data(), static_cast<int>(within.size())};
  }
  last = ShownPicture{changes.picture, primary->Width(), primary->Height(), drawn};
  PresentWindowPixels(d->window, primary->store->bytes.data(), primary->Width(), primary->Height(),
                      primary->store->pitch, primary->format.bitCount,
                      primary->format.Indexed() ? nullptr : primary->format.masks, colors ? table : nullptr, colors,
                      &changes);
}

void PresentWindowedPrimary(SurfaceObject* primary, const RECT& rect) {
  if (!primary->clipper || !primary->clipper->hwnd) return;
  const HWND hwnd = primary->clipper->hwnd;
  if (!IsWindow(hwnd)) return;
  // The window's own DC keeps the pixels inside its visible client area.
  HDC window = ::GetDC(hwnd);
  if (!window) return;
  RGBQUAD table[256] = {};
  int colors = 0;
  if (primary->format.bitCount == 8 && primary->palette) {
    primary->palette->ColorTable(table);
    colors = primary->palette->count;
  }
  HDC screen = CreateBufferDC(primary->store->bytes.data(), primary->Width(), primary->Height(), primary->store->pitch,
                              primary->format.bitCount, primary->format.Indexed() ? nullptr : primary->format.masks,
                              colors ? table : nullptr, colors);
  if (screen) {
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    BitBlt(window, rect.left - origin.x, rect.top - origin.y, rect.right - rect.left, rect.bottom - rect.top, screen,
           rect.left, rect.top, SRCCOPY);
    DeleteDC(screen);
  }
  ::ReleaseDC(hwnd, window);
}

}  // namespace ddraw_internal
