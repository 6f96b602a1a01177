// Painting: update regions, WM_PAINT, device contexts over the top-level's back buffer,
// presenting the dirty part, and pictures put on a window from outside (the display).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/window/Letterbox.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

// Invalidating a window reaches its visible children too, so that what the parent paints
// over them is painted again by them afterwards.
void InvalidateTree(Window& w, const RECT& local, bool erase) {
  const RECT r = Intersect(local, ClientRectLocal(w));
  if (RectEmpty(r)) return;
  w.update = w.hasUpdate ? Union(w.update, r) : r;
  w.hasUpdate = true;
  w.erase = w.erase || erase;
  for (uintptr_t id : w.children) {
    Window* c = Find(id);
    if (!c || !(c->style & WS_VISIBLE)) continue;
    const RECT in = NonClientInsets(c->style, c->exStyle);
    InvalidateTree(*c, Offset(r, -(c->rect.left + in.left), -(c->rect.top + in.top)), erase);
  }
}

void MarkDirty(Window& top, const RECT& bufferRect) {
  const RECT r = Intersect(bufferRect, RECT{0, 0, top.buffer->width, top.buffer->height});
  if (RectEmpty(r)) return;
  top.dirtyRect = top.dirty ? Union(top.dirtyRect, r) : r;
  top.dirty = true;
}

namespace {

void PresentBuffer(Window& top) {
  top.dirty = false;
  const BackBuffer& b = *top.buffer;
  const Picture picture{reinterpret_cast<const uint8_t*>(b.pixels.data()), b.width, b.height,
                        static_cast<ptrdiff_t>(b.width) * 4, &XrgbRows()};
  S().presenter->Present(top.id, picture, std::span<const RECT>(&top.dirtyRect, 1));
  // The screen shows the buffer now, not the last picture from outside.
  if (top.picture) top.picture->Forget();
}

// The window lost what it showed while it still shows the last picture from outside:
// that picture, whole, without going through the buffer.
void PresentKeptPicture(Window& top) {
  top.dirty = false;
  const RECT all = top.picture->Kept().Bounds();
  S().presenter->Present(top.id, top.picture->Kept(), std::span<const RECT>(&all, 1));
}

}  // namespace

void FlushPresents() {
  State& s = S();
  if (!s.presenter) return;
  for (uintptr_t id : s.topOrder) {
    Window* w = Find(id);
    if (!w || !w->dirty) continue;
    if (!(w->style & WS_VISIBLE) || w->minimized) {
      w->dirty = false;
      continue;
    }
    if (w->bufferOwesPicture) {
      PresentKeptPicture(*w);
    } else {
      PresentBuffer(*w);
    }
  }
}

void SettlePicture(Window& top) {
  if (!top.bufferOwesPicture) return;
  top.bufferOwesPicture = false;
  BackBuffer& b = *top.buffer;
  const Picture kept = top.picture->Kept();
  LetterboxMap(AtCorner(kept.width, kept.height, b.width, b.height))
      .Draw(kept, kept.Bounds(), b.pixels.data(), static_cast<ptrdiff_t>(b.width) * 4);
}

namespace {
Window* PaintableIn(Window& w) {
  if (!(w.style & WS_VISIBLE) || w.minimized) return nullptr;
  if (w.hasUpdate) return &w;
  // Back to front, so that a child painted later lies on top.
  for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
    if (Window* c = Find(*it)) {
      if (Window* hit = PaintableIn(*c)) return hit;
    }
  }
  return nullptr;
}
}  // namespace

Window* FindPaintable(uintptr_t filter) {
  State& s = S();
  if (filter) {
    Window* w = Find(filter);
    return (w && Visible(*w)) ? PaintableIn(*w) : nullptr;
  }
  for (auto it = s.topOrder.rbegin(); it != s.topOrder.rend(); ++it) {
    if (Window* w = Find(*it)) {
      if (Window* hit = PaintableIn(*w)) return hit;
    }
  }
  return nullptr;
}

}  // namespace window_internal

namespace {

// A DC over the top-level's back buffer, clipped to `clip` (buffer coordinates) and with
// its origin at `origin`.
HDC MakeBufferDc(Window& w, POINT origin, RECT clip) {
  Window* top = Root(&w);
  if (!top || !top->buffer) return nullptr;
  SettlePicture(*top);
  std::shared_ptr<BackBuffer> buffer = top->buffer;
  HDC dc = CreateBufferDC(buffer->pixels.data(), buffer->width, buffer->height, buffer->width * 4, 32, nullptr,
                          nullptr, 0);
  if (!dc) return nullptr;
  // The clip is given while the origin is still the buffer's corner, so it reads the same
  // whether the GDI takes it in device or in logical units.
  if (RectEmpty(clip)) clip = RECT{0, 0, 0, 0};
  SelectClipRect(dc, &clip);
  SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
  S().dcs[dc] = DcRecord{w.id, std::move(buffer), clip};
  return dc;
}

void Paint(uintptr_t id) {
  Window* w = Find(id);
  if (!w || !Visible(*w)) return;
  if (w->hasUpdate) Send(id, WM_PAINT, 0, 0);
  if (!(w = Find(id))) return;
  const std::vector<uintptr_t> children(w->children.rbegin(), w->children.rend());
  for (uintptr_t c : children) Paint(c);
}

// With PELLORA_DEBUG set, the moment the first picture from outside (a display's first
// frame) reaches the screen, on the machine's monotonic clock: what a start-up measurement
// compares with the moment it started the program.
void NoteFirstPicture() {
  static bool noted = false;
  if (noted) return;
  noted = true;
  if (!std::getenv("PELLORA_DEBUG")) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "pellora: first frame presented at %lld.%06ld s (monotonic)\n", static_cast<long long>(now.tv_sec),
               now.tv_nsec / 1000);
}

}  // namespace

HDC GetDC(HWND hwnd) {
  if (!hwnd) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc) S().dcs[dc] = DcRecord{0, nullptr, RECT{}};
    return dc;
  }
  Window* w = Find(hwnd);
  if (!w) return nullptr;
  return MakeBufferDc(*w, ClientOriginInBuffer(*w), VisibleClientInBuffer(*w));
}

HDC GetWindowDC(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return GetDC(hwnd);
  const RECT in = NonClientInsets(w->style, w->exStyle);
  const POINT client = ClientOriginInBuffer(*w);
  const POINT origin{client.x - in.left, client.y - in.top};
  RECT clip = Offset(RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}, origin.x, origin.y);
  if (!Visible(*w)) clip = RECT{};
  for (Window* p = w->IsChild() ? Find(w->parent) : nullptr; p; p = p->IsChild() ? Find(p->parent) : nullptr) {
    const POINT po = ClientOriginInBuffer(*p);
    clip = Intersect(clip, Offset(ClientRectLocal(*p), po.x, po.y));
  }
  if (!w->IsChild()) clip = Intersect(clip, RECT{0, 0, w->buffer->width, w->buffer->height});
  return MakeBufferDc(*w, origin, clip);
}

int ReleaseDC(HWND, HDC dc) {
  State& s = S();
  auto it = s.dcs.find(dc);
  if (it == s.dcs.end()) return 0;
  const DcRecord record = it->second;
  s.dcs.erase(it);
  DeleteDC(dc);
  if (Window* w = Find(record.window)) {
    Window* top = Root(w);
    if (top && top->buffer == record.buffer) MarkDirty(*top, record.visible);
  }
  return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
  Window* w = Find(hwnd);
  if (!w || !paint) return nullptr;
  const uintptr_t id = w->id;
  std::memset(paint, 0, sizeof(*paint));
  paint->rcPaint = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
  const bool erase = w->erase;
  w->hasUpdate = false;
  w->erase = false;
  const POINT origin = ClientOriginInBuffer(*w);
  const RECT clip = Intersect(VisibleClientInBuffer(*w), Offset(paint->rcPaint, origin.x, origin.y));
  HDC dc = MakeBufferDc(*w, origin, clip);
  paint->hdc = dc;
  paint->fErase = TRUE;
  if (dc && erase) paint->fErase = Send(id, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  if (!paint || !paint->hdc) return FALSE;
  ReleaseDC(hwnd, paint->hdc);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  if (!hwnd) {
    for (uintptr_t id : S().topOrder) {
      if (Window* w = Find(id)) InvalidateTree(*w, ClientRectLocal(*w), erase != FALSE);
    }
    return TRUE;
  }
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  InvalidateTree(*w, rect ? *rect : ClientRectLocal(*w), erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  // One rectangle cannot hold a hole, so only a rectangle covering the whole update area
  // validates it.
  if (!rect || (rect->left <= w->update.left && rect->top <= w->update.top && rect->right >= w->update.right &&
                rect->bottom >= w->update.bottom)) {
    w->hasUpdate = false;
    w->erase = false;
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  if (rect) *rect = w->hasUpdate ? w->update : RECT{0, 0, 0, 0};
  return w->hasUpdate ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (!w) return FALSE;
  Paint(w->id);
  FlushPresents();
  return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN, UINT flags) {
  if (hwnd && !Find(hwnd)) return FALSE;
  if (flags & RDW_INVALIDATE) InvalidateRect(hwnd, rect, (flags & RDW_ERASE) ? TRUE : FALSE);
  if ((flags & RDW_VALIDATE) && hwnd) ValidateRect(hwnd, rect);
  if (flags & RDW_UPDATENOW) {
    if (hwnd) {
      UpdateWindow(hwnd);
    } else {
      const std::vector<uintptr_t> tops = S().topOrder;
      for (uintptr_t id : tops) UpdateWindow(H(id));
    }
  }
  return TRUE;
}

namespace {

// A picture from a caller, its sizes and format checked before a byte of it is read.
struct Outside {
  Picture picture;  // without rows yet
  bmp::PixelFormat format;
  uint32_t colors[256] = {};
  int colorCount = 0;
};

bool ReadOutside(const void* pixels, int width, int height, int pitch, int bitCount, const DWORD* masks,
                 const RGBQUAD* colors, int colorCount, Outside* out) {
  if (!pixels || width <= 0 || height <= 0 || width > kMaxWindowExtent || height > kMaxWindowExtent) return false;
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
  const int64_t rowBytes = static_cast<int64_t>(width) * (bitCount / 8);
  if (pitch == 0 || (pitch > 0 ? pitch : -static_cast<int64_t>(pitch)) < rowBytes) return false;
  out->format = bitCount == 8 ? bmp::kIndexed8 : bitCount == 16 ? bmp::kRgb565 : bmp::DefaultFormat(bitCount);
  if (masks && (bitCount == 16 || bitCount == 32)) {
    std::copy(masks, masks + 3, out->format.masks);
    if (bmp::CheckMasks(out->format.masks, bitCount) != bmp::MaskFault::None) return false;
  }
  if (bitCount == 8) {
    if (!colors || colorCount <= 0) return false;
    out->colorCount = std::min(colorCount, 256);
    for (int i = 0; i < out->colorCount; ++i) out->colors[i] = bmp::kRgb888.Pack(colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue);
  }
  out->picture = Picture{static_cast<const uint8_t*>(pixels), width, height, pitch, nullptr};
  return true;
}

// A top-level's picture that fills its client area is shown as it is: the parts that
// changed go straight to the presenter, and the back buffer is left to take it later.
bool FillsClient(const Window& w, const Picture& picture) {
  return !w.IsChild() && picture.width == w.buffer->width && picture.height == w.buffer->height &&
         ClientRectLocal(w).right == picture.width && ClientRectLocal(w).bottom == picture.height;
}

void ShowOutside(Window& top, Outside& outside, const PictureChanges* changes) {
  if (!top.picture) top.picture = std::make_unique<KeptPicture>();
  KeptPicture& kept = *top.picture;
  outside.picture.rows = &kept.Rows(outside.format, outside.colors, outside.colorCount);
  // What the caller says of where the picture can differ holds only against its own last one.
  const bool hinted = changes && changes->after != 0 && changes->after == kept.Number() &&
                      (changes->count == 0 || changes->within) && changes->count >= 0;
  const std::vector<RECT>& changed =
      hinted ? kept.Take(outside.picture, std::span<const RECT>(changes->within, static_cast<size_t>(changes->count)))
             : kept.Take(outside.picture);
  kept.SetNumber(changes ? changes->picture : 0);
  top.bufferOwesPicture = true;
  // What the buffer held is covered by the picture, whatever of it waited to be shown.
  top.dirty = false;
  if (!Visible(top) || top.minimized || !S().presenter) {
    kept.Forget();  // never reached the screen
    return;
  }
  S().presenter->Present(top.id, outside.picture, changed);
  NoteFirstPicture();
}

// Any other picture is scaled into the window's region of the back buffer, letterboxed in
// its client area, and only the visible part of it is written.
void DrawOutsideInBuffer(Window& w, Outside& outside) {
  const bmp::ScreenRows rows(outside.format, outside.colors, outside.colorCount);
  outside.picture.rows = &rows;
  Window& top = *Root(&w);
  SettlePicture(top);
  BackBuffer& b = *top.buffer;
  const RECT client = ClientRectLocal(w);
  const POINT at = ClientOriginInBuffer(w);
  const RECT visible = w.IsChild() ? VisibleClientInBuffer(w) : RECT{0, 0, b.width, b.height};
  if (client.right <= 0 || client.bottom <= 0 || RectEmpty(visible)) return;
  const Letterbox box = FitLetterbox(outside.picture.width, outside.picture.height, client.right, client.bottom);
  std::vector<uint32_t> scaled(static_cast<size_t>(client.right) * static_cast<size_t>(client.bottom));
  const ptrdiff_t pitch = static_cast<ptrdiff_t>(client.right) * 4;
  DrawBars(box, scaled.data(), pitch);
  LetterboxMap(box).Draw(outside.picture, outside.picture.Bounds(), scaled.data(), pitch);
  for (LONG y = visible.top; y < visible.bottom; ++y) {
    std::copy_n(scaled.begin() + (y - at.y) * client.right + (visible.left - at.x), visible.right - visible.left,
                b.pixels.begin() + static_cast<ptrdiff_t>(y) * b.width + visible.left);
  }
  MarkDirty(top, visible);
  if (Visible(w) && !top.minimized && S().presenter && top.dirty) {
    PresentBuffer(top);
    NoteFirstPicture();
  }
}

}  // namespace

BOOL PresentWindowPixels(HWND hwnd, const void* pixels, int width, int height, int pitch, int bitCount,
                         const DWORD* masks, const RGBQUAD* colors, int colorCount, const PictureChanges* changes) {
  Window* w = Find(hwnd);
  Outside outside;
  if (!w || !ReadOutside(pixels, width, height, pitch, bitCount, masks, colors, colorCount, &outside)) return FALSE;
  if (FillsClient(*w, outside.picture)) {
    ShowOutside(*w, outside, changes);
  } else {
    DrawOutsideInBuffer(*w, outside);
  }
  return TRUE;
}

void ForgetPresentedPicture(HWND hwnd) {
  Window* w = Find(hwnd);
  if (Window* top = w ? Root(w) : nullptr; top && top->picture) top->picture->Forget();
}

BOOL GetWindowPixels(HWND hwnd, WindowPixels* out) {
  Window* w = Find(hwnd);
  if (!w || w->IsChild() || !out) return FALSE;
  SettlePicture(*w);
  const RECT client = ClientRectLocal(*w);
  out->width = std::min<int>(client.right, w->buffer->width);
  out->height = std::min<int>(client.bottom, w->buffer->height);
  out->pixels.resize(static_cast<size_t>(out->width) * static_cast<size_t>(out->height));
  for (int y = 0; y < out->height; ++y) {
    std::copy_n(w->buffer->pixels.begin() + static_cast<ptrdiff_t>(y) * w->buffer->width, out->width,
                out->pixels.begin() + static_cast<ptrdiff_t>(y) * out->width);
  }
  return TRUE;
}
