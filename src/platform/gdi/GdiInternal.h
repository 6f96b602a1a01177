#pragma once
// Shared internals of the software GDI: the handle table, the objects behind the handles,
// and the "surface" view through which every drawing call reaches pixel memory.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/gdi/BitmapFormat.h"
#include "platform/gdi/Gdi.h"

namespace gdi {

enum class Kind { Dc, Bitmap, Palette, Font, Brush, Pen };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  bool stock = false;
};

struct Bitmap : Object {
  Bitmap() : Object(Kind::Bitmap) {}
  int width = 0;
  int height = 0;  // always positive
  int bpp = 0;
  DWORD masks[3] = {0, 0, 0};
  bool bitfields = false;  // a DIB section made with BI_BITFIELDS
  std::vector<RGBQUAD> colors;
  bool systemPalette = false;  // an 8-bit device bitmap follows the system palette
  bool dibSection = false;
  bool topDown = false;
  bool ownsMemory = true;
  std::unique_ptr<uint8_t[]> storage;
  uint8_t* memory = nullptr;  // first byte of the pixel memory as the platform lays it out
  int stride = 0;             // bytes per row, padded to 4 (DIBs) or 2 (device bitmaps)
  size_t size = 0;
  BITMAPINFOHEADER header{};
  HDC selectedIn = nullptr;
};

struct Palette : Object {
  Palette() : Object(Kind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

struct Font : Object {
  Font() : Object(Kind::Font) {}
  LOGFONTA lf{};
};

struct Brush : Object {
  Brush() : Object(Kind::Brush) {}
  UINT style = BS_SOLID;
  COLORREF color = 0;
};

struct Pen : Object {
  Pen() : Object(Kind::Pen) {}
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

struct DcState {
  HBITMAP bitmap = nullptr;
  HFONT font = nullptr;
  HBRUSH brush = nullptr;
  HPEN pen = nullptr;
  HPALETTE palette = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  int stretchMode = BLACKONWHITE;
  int rop2 = 13;  // R2_COPYPEN
  UINT textAlign = 0;
  POINT position{0, 0};
  bool hasClip = false;
  RECT clip{0, 0, 0, 0};  // device coordinates
  POINT origin{0, 0};
};

struct Dc : Object {
  Dc() : Object(Kind::Dc) {}
  bool buffer = false;
  DcState st;
  std::vector<DcState> saved;
  HBITMAP defaultBitmap = nullptr;  // the 1 x 1 monochrome bitmap a memory DC starts with
  int deviceBits = 0;  // bit count of the device a memory DC was made for; 0: the screen
  // Buffer DCs only.
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;
  int bpp = 0;
  DWORD masks[3] = {0, 0, 0};
  std::vector<RGBQUAD> colors;
  // SetBoundsRect: whether the DC collects the rectangle around what is drawn through it,
  // and that rectangle in device coordinates (empty while nothing was).
  bool accumulate = false;
  RECT bounds{0, 0, 0, 0};
};

// The recursive lock that every entry point takes: the presenter thread of the window
// system may draw while the UI thread does.
std::recursive_mutex& Mutex();
#define GDI_LOCK std::lock_guard<std::recursive_mutex> gdiLock_(::gdi::Mutex())

Object* Lookup(const void* handle);
HGDIOBJ InsertObject(std::unique_ptr<Object> object);
template <class T>
T* Get(const void* handle, Kind kind) {
  Object* o = Lookup(handle);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
inline Dc* GetDc(HDC h) { return Get<Dc>(h, Kind::Dc); }
inline Bitmap* GetBitmap(const void* h) { return Get<Bitmap>(h, Kind::Bitmap); }
inline Palette* GetPalette(const void* h) { return Get<Palette>(h, Kind::Palette); }
inline Font* GetFont(const void* h) { return Get<Font>(h, Kind::Font); }
inline Brush* GetBrush(const void* h) { return Get<Brush>(h, Kind::Brush); }
inline Pen* GetPen(const void* h) { return Get<Pen>(h, Kind::Pen); }

// The 256-entry system palette (statics at 0-9 and 246-255).
const PALETTEENTRY* SystemPalette();

// A view of pixel memory: rows from the top, with the colours needed to read and write it.
struct Surface {
  uint8_t* top = nullptr;  // first byte of the top row
  ptrdiff_t pitch = 0;     // byte step from a row to the one below it
  int width = 0;
  int height = 0;
  int bpp = 0;
  DWORD masks[3] = {0, 0, 0};  // for 16, 24 and 32 bits
  const RGBQUAD* colors = nullptr;
  int colorCount = 0;
  bool monoDevice = false;  // a monochrome device bitmap: text/background colour rules
  std::vector<RGBQUAD> ownColors;
  RECT* bounds = nullptr;  // of the DC that collects where it draws, if it does

  uint8_t* Row(int y) const { return top + static_cast<ptrdiff_t>(y) * pitch; }
  // Every write to the pixels says where it went: Blit, WriteSpan and FillRaw.
  void Drew(const RECT& r) {
    if (!bounds || r.left >= r.right || r.top >= r.bottom) return;
    if (bounds->left >= bounds->right) {
      *bounds = r;
      return;
    }
    bounds->left = std::min(bounds->left, r.left);
    bounds->top = std::min(bounds->top, r.top);
    bounds->right = std::max(bounds->right, r.right);
    bounds->bottom = std::max(bounds->bottom, r.bottom);
  }
  bool Indexed() const { return bpp <= 8; }
};

bool SurfaceOfBitmap(const Bitmap& bitmap, Surface& surface);
// The DC's drawing surface: a buffer DC's memory or the bitmap selected into a memory DC.
bool SurfaceOfDc(Dc& dc, Surface& surface);
// A caller's DIB (header + colour table + bits) as a surface; false for a layout we cannot
// read safely. The colour table of DIB_PAL_COLORS goes through the DC's palette.
bool SurfaceOfDib(const BITMAPINFO* info, UINT usage, const void* bits, Dc* dc, Surface& surface,
                  std::vector<uint8_t>* decoded);
// A caller's BITMAPINFO after the checks GDI makes: its header, its pixel format and how
// many colour-table entries it brings.
struct DibInfo {
  bmp::Header header;
  bmp::PixelFormat format;
  int colorCount = 0;
};
bool ReadDibInfo(const BITMAPINFO* info, DibInfo& dib);
// Its colour table, 2^bitCount entries; DIB_PAL_COLORS go through the DC's palette.
std::vector<RGBQUAD> DibColors(const BITMAPINFO* info, const DibInfo& dib, UINT usage, Dc* dc);

// Pixel conversion between raw values and COLORREF.
struct Format {
  explicit Format(const Surface& s);
  int bpp;
  bool indexed;
  const RGBQUAD* colors;
  int colorCount;
  bmp::Channel channel[3];
  uint8_t expand[3][256];  // Channel::Expand of every value of a channel of 8 bits or fewer
  mutable bool cacheReady = false;  // filled on the first nearest-colour lookup
  mutable uint32_t cacheKey[1024];
  mutable uint32_t cacheValue[1024];

  COLORREF ToRgb(uint32_t raw) const {
    if (indexed) {
      if (static_cast<int>(raw) >= colorCount) return 0;
      const RGBQUAD& q = colors[raw];
      return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    return RGB(Channel(raw, 0), Channel(raw, 1), Channel(raw, 2));
  }
  uint8_t Channel(uint32_t raw, int c) const {
    const bmp::Channel& ch = channel[c];
    return ch.bits <= 8 ? expand[c][(raw & ch.mask) >> ch.shift] : ch.Expand(raw);
  }
  uint32_t FromRgb(COLORREF c) const {
    if (indexed) return Nearest(c);
    return Pack(GetRValue(c), 0) | Pack(GetGValue(c), 1) | Pack(GetBValue(c), 2);
  }
  uint32_t Pack(uint8_t v, int c) const { return channel[c].Reduce(v); }
  uint32_t Nearest(COLORREF c) const;
};

// The nearest colour-table entry by squared distance; the first of equals wins.
int NearestIndex(const RGBQUAD* colors, int count, COLORREF c);

// Colour references that name a palette index resolve through the DC's palette.
COLORREF ResolveColor(Dc& dc, COLORREF c);

// The blit engine. Rectangles are device coordinates; clip is already inside the destination.
struct BlitColors {
  COLORREF destText = 0;       // what a monochrome device source's 0 bits become
  COLORREF destBk = 0xFFFFFF;  // ... and its 1 bits
  COLORREF sourceBk = 0xFFFFFF;  // which source colour becomes 1 on a monochrome destination
  bool hasPattern = false;
  COLORREF pattern = 0;
};
// Coordinates are 64-bit so that extreme caller values cannot overflow on the way to the clip.
bool Blit(Surface& dst, const RECT& clip, int64_t dx, int64_t dy, int64_t dw, int64_t dh, Surface* src, int64_t sx,
          int64_t sy, int64_t sw, int64_t sh, DWORD rop, const BlitColors& colors);
bool RopNeedsSource(DWORD rop);
bool RopNeedsPattern(DWORD rop);
// Device coordinates far outside any surface, kept small enough that adding an extent or
// an origin to them cannot overflow.
inline int ClampCoord(int64_t v) {
  constexpr int64_t limit = int64_t{1} << 29;
  return static_cast<int>(v < -limit ? -limit : (v > limit ? limit : v));
}
// The clip rectangle of a DC in device coordinates, inside its surface.
RECT DeviceClip(const Dc& dc, const Surface& s);
// Fills a rectangle (device coordinates, clipped to clip) with a colour through a binary
// raster operation on raw values.
void FillRaw(Surface& s, const RECT& clip, RECT r, uint32_t raw, int rop2);
uint32_t ColorToRaw(const Surface& s, COLORREF c);

// Raw values of pixels [x0, x0 + n) of row y; the caller keeps the span inside the surface.
void ReadSpan(const Surface& s, int y, int x0, int n, uint32_t* out);
void WriteSpan(Surface& s, int y, int x0, int n, const uint32_t* in);

void DeleteFontCache(Font* font);

}  // namespace gdi
