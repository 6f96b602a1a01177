// Painting: update regions, WM_PAINT, device contexts over the top-level's back buffer,
// presenting the dirty part, and pictures put on a window from outside (the display).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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

void FlushPresents() {
  State& s = S();
  if (!s.presenter) return;
  for (uintptr_t id : s.topOrder) {
    Window* w = Find(id);
    if (!w || !w->dirty) continue;
    w->dirty = false;
    if (!(w->style & WS_VISIBLE) || w->minimized) continue;
    const BackBuffer& b = *w->buffer;
    s.presenter->Present(id, b.pixels.data(), b.width, b.height, b.width * 4, w->dirtyRect);
  }
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

// Pixel conversion for pictures put on a window from outside.
struct Channel {
  int shift = 0;
  int bits = 0;
};

Channel ChannelOf(DWORD mask) {
  Channel c;
  if (!mask) return c;
  while (!(mask & 1)) {
    mask >>= 1;
    ++c.shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++c.bits;
  }
  return c;
}

uint32_t Expand(uint32_t value, const Channel& c) {
  if (c.bits == 0) return 0;
  const uint32_t v = (value >> c.shift) & ((1u << c.bits) - 1);
  return c.bits >= 8 ? (v >> (c.bits - 8)) : (v * 255 + ((1u << c.bits) - 1) / 2) / ((1u << c.bits) - 1);
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

// Expand's rounding for 5 and 6 bits as one multiply, add and shift in 16 bits, which
// gives the same value for every input: (v * 255 + 15) / 31 and (v * 255 + 31) / 63.
constexpr uint32_t Widen5(uint32_t v) { return (v * 527 + 23) >> 6; }
constexpr uint32_t Widen6(uint32_t v) { return (v * 259 + 33) >> 6; }
constexpr bool WidensAsExpand() {
  for (uint32_t v = 0; v < 64; ++v) {
    if (v < 32 && Widen5(v) != (v * 255 + 15) / 31) return false;
    if (Widen6(v) != (v * 255 + 31) / 63) return false;
  }
  return true;
}
static_assert(WidensAsExpand());

#if defined(__x86_64__) || defined(__i386__)
// Sixteen at a time where the processor has AVX2 (most made since 2013).
__attribute__((target("avx2"))) int Convert565Avx2(const uint8_t* row, uint32_t* out, int count) {
  const __m256i mul5 = _mm256_set1_epi16(527), add5 = _mm256_set1_epi16(23);
  const __m256i mul6 = _mm256_set1_epi16(259), add6 = _mm256_set1_epi16(33);
  const __m256i low5 = _mm256_set1_epi16(31), low6 = _mm256_set1_epi16(63);
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x * 2));
    const __m256i r = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(v, 11), mul5), add5), 6);
    const __m256i g = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(v, 5), low6), mul6), add6), 6);
    const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(v, low5), mul5), add5), 6);
    const __m256i gb = _mm256_or_si256(_mm256_slli_epi16(g, 8), b);
    // Unpacking works within each 128-bit half: pixels 0-3 and 8-11, then 4-7 and 12-15.
    const __m256i low = _mm256_unpacklo_epi16(gb, r), high = _mm256_unpackhi_epi16(gb, r);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 8), _mm256_permute2x128_si256(low, high, 0x31));
  }
  return x;
}
bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

// A row of 5-6-5 pixels as XRGB: the layout of nearly every 16-bit display, and its
// frames are presented sixty times a second, so pixels go in blocks instead of one by
// one through a table too large for the first-level cache.
void Convert565(const uint8_t* row, uint32_t* out, int count) {
  int x = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (HasAvx2()) x = Convert565Avx2(row, out, count);
#endif
#if defined(__SSE2__)
  const __m128i mul5 = _mm_set1_epi16(527), add5 = _mm_set1_epi16(23);
  const __m128i mul6 = _mm_set1_epi16(259), add6 = _mm_set1_epi16(33);
  const __m128i low5 = _mm_set1_epi16(31), low6 = _mm_set1_epi16(63);
  for (; x + 8 <= count; x += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x * 2));
    const __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(v, 11), mul5), add5), 6);
    const __m128i g = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(v, 5), low6), mul6), add6), 6);
    const __m128i b = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(v, low5), mul5), add5), 6);
    const __m128i gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(gb, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(gb, r));
  }
#endif
  for (; x < count; ++x) {
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    out[x] = (Widen5(v >> 11u) << 16) | (Widen6((v >> 5u) & 63u) << 8) | Widen5(v & 31u);
  }
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

BOOL PresentWindowPixels(HWND hwnd, const void* pixels, int width, int height, int pitch, int bitCount,
                         const DWORD* masks, const RGBQUAD* colors, int colorCount) {
  Window* w = Find(hwnd);
  if (!w || !pixels || width <= 0 || height <= 0 || width > kMaxWindowExtent ||
      height > kMaxWindowExtent) {
    return FALSE;
  }
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return FALSE;
  const int64_t rowBytes = static_cast<int64_t>(width) * (bitCount / 8);
  if (pitch == 0 || (pitch > 0 ? pitch : -static_cast<int64_t>(pitch)) < rowBytes) return FALSE;
  if (bitCount == 8 && (!colors || colorCount <= 0)) return FALSE;
  colorCount = std::min(colorCount, 256);

  Window* top = Root(w);
  BackBuffer& b = *top->buffer;
  // The picture fills the window's client area; for a child that is its region of the
  // top-level's buffer, and only its visible part is written.
  const RECT client = ClientRectLocal(*w);
  const POINT at = ClientOriginInBuffer(*w);
  const RECT visible = w->IsChild() ? VisibleClientInBuffer(*w) : RECT{0, 0, b.width, b.height};
  const int W = w->IsChild() ? client.right : b.width, Hh = w->IsChild() ? client.bottom : b.height;
  if (W <= 0 || Hh <= 0) return TRUE;
  // Fit with the aspect kept: the full width or the full height, whichever is tighter.
  int outW, outH;
  if (static_cast<int64_t>(W) * height <= static_cast<int64_t>(Hh) * width) {
    outW = W;
    outH = std::max<int>(1, static_cast<int>(static_cast<int64_t>(height) * W / width));
  } else {
    outH = Hh;
    outW = std::max<int>(1, static_cast<int>(static_cast<int64_t>(width) * Hh / height));
  }
  const int offX = at.x + (W - outW) / 2, offY = at.y + (Hh - outH) / 2;
  // Black bars only where the picture leaves room for them.
  if (outW != W || outH != Hh) {
    for (int y = visible.top; y < visible.bottom; ++y) {
      std::fill_n(b.pixels.begin() + static_cast<ptrdiff_t>(y) * b.width + visible.left, visible.right - visible.left,
                  0u);
    }
  }

  std::vector<int> sourceX(static_cast<size_t>(outW));
  for (int x = 0; x < outW; ++x) sourceX[static_cast<size_t>(x)] = static_cast<int>(static_cast<int64_t>(x) * width / outW);
  uint32_t table[256] = {};
  if (bitCount == 8) {
    for (int i = 0; i < colorCount; ++i) {
      table[i] = (static_cast<uint32_t>(colors[i].rgbRed) << 16) | (static_cast<uint32_t>(colors[i].rgbGreen) << 8) |
                 colors[i].rgbBlue;
    }
  }
  Channel red, green, blue;
  if (bitCount == 16 || bitCount == 32) {
    const DWORD def16[3] = {0xF800, 0x07E0, 0x001F};
    const DWORD def32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const DWORD* m = masks ? masks : (bitCount == 16 ? def16 : def32);
    red = ChannelOf(m[0]);
    green = ChannelOf(m[1]);
    blue = ChannelOf(m[2]);
  }
  // The 16-bit table is made once per layout: a display presents every frame in the same one.
  static std::vector<uint32_t> lut;
  static DWORD lutMasks[3] = {0, 0, 0};
  if (bitCount == 16) {
    const DWORD def16[3] = {0xF800, 0x07E0, 0x001F};
    const DWORD* m = masks ? masks : def16;
    if (lut.empty() || !std::equal(m, m + 3, lutMasks)) {
      lut.resize(65536);
      for (uint32_t v = 0; v < 65536; ++v) lut[v] = (Expand(v, red) << 16) | (Expand(v, green) << 8) | Expand(v, blue);
      std::copy(m, m + 3, lutMasks);
    }
  }
  const bool plain32 = bitCount == 32 && red.shift == 16 && red.bits == 8 && green.shift == 8 && green.bits == 8 &&
                       blue.shift == 0 && blue.bits == 8;
  const auto* base = static_cast<const uint8_t*>(pixels);
  const int firstX = std::max(0, visible.left - offX), lastX = std::min(outW, visible.right - offX);
  const int firstY = std::max(0, visible.top - offY), lastY = std::min(outH, visible.bottom - offY);
  // A display's frame at the window's own size, the usual case, goes without any column
  // arithmetic: 5-6-5 in blocks, other 16-bit layouts through the table.
  const bool unscaled16 = bitCount == 16 && outW == width && outH == height;
  const bool is565 = red.shift == 11 && red.bits == 5 && green.shift == 5 && green.bits == 6 && blue.shift == 0 &&
                     blue.bits == 5;
  for (int y = firstY; y < lastY; ++y) {
    const int sy = static_cast<int>(static_cast<int64_t>(y) * height / outH);
    const uint8_t* row = base + static_cast<int64_t>(sy) * pitch;
    uint32_t* out = b.pixels.data() + static_cast<size_t>(offY + y) * static_cast<size_t>(b.width) + offX;
    if (unscaled16 && is565) {
      Convert565(row + firstX * 2, out + firstX, lastX - firstX);
      continue;
    }
    if (unscaled16) {
      const uint32_t* table16 = lut.data();
      for (int x = firstX; x < lastX; ++x) {
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        out[x] = table16[v];
      }
      continue;
    }
    for (int x = firstX; x < lastX; ++x) {
      const int sx = sourceX[static_cast<size_t>(x)];
      uint32_t value;
      switch (bitCount) {
        case 8: {
          const uint8_t index = row[sx];
          value = index < colorCount ? table[index] : 0;
          break;
        }
        case 16: {
          uint16_t v;
          std::memcpy(&v, row + sx * 2, 2);
          value = lut[v];
          break;
        }
        case 24:
          value = (static_cast<uint32_t>(row[sx * 3 + 2]) << 16) | (static_cast<uint32_t>(row[sx * 3 + 1]) << 8) |
                  row[sx * 3];
          break;
        default: {
          uint32_t v;
          std::memcpy(&v, row + sx * 4, 4);
          value = plain32 ? (v & 0xFFFFFF) : (Expand(v, red) << 16) | (Expand(v, green) << 8) | Expand(v, blue);
          break;
        }
      }
      out[x] = value;
    }
  }
  MarkDirty(*top, visible);
  if (Visible(*w) && !top->minimized && S().presenter && top->dirty) {
    top->dirty = false;
    S().presenter->Present(top->id, b.pixels.data(), b.width, b.height, b.width * 4, top->dirtyRect);
    NoteFirstPicture();
  }
  return TRUE;
}

BOOL GetWindowPixels(HWND hwnd, WindowPixels* out) {
  Window* w = Find(hwnd);
  if (!w || w->IsChild() || !out) return FALSE;
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
