// Pixels, brushes, pens, fills, rectangles, lines and the DC's clip and origin.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gdi/GdiInternal.h"

using namespace gdi;

namespace {

// A DC's surface with its clip, ready to draw on in device coordinates.
struct Target {
  Dc* dc = nullptr;
  Surface s;
  RECT clip{};
  bool ok = false;
};

Target Open(HDC h) {
  Target t;
  t.dc = GetDc(h);
  if (!t.dc || !SurfaceOfDc(*t.dc, t.s)) return t;
  t.clip = DeviceClip(*t.dc, t.s);
  t.ok = true;
  return t;
}

RECT ToDevice(const Dc& dc, const RECT& r) {
  return RECT{ClampCoord(int64_t{r.left} + dc.st.origin.x), ClampCoord(int64_t{r.top} + dc.st.origin.y),
              ClampCoord(int64_t{r.right} + dc.st.origin.x), ClampCoord(int64_t{r.bottom} + dc.st.origin.y)};
}

void PutPixel(Target& t, int x, int y, uint32_t raw, int rop2) {
  FillRaw(t.s, t.clip, RECT{x, y, x + 1, y + 1}, raw, rop2);
}

// Bresenham from (x0, y0) towards (x1, y1), leaving out the end point as the platform does.
template <class Plot>
void Line(int x0, int y0, int x1, int y1, Plot plot) {
  int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  while (x != x1 || y != y1) {
    plot(x, y);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += stepX;
    }
    if (e2 <= dx) {
      err += dx;
      y += stepY;
    }
  }
}

// A line much longer than the surface is first cut down to the part near the clip, so
// that a line between far-away points costs no more than one across the surface. Short
// lines are left alone so their pixels are exactly the platform's.
bool ClipLongLine(const RECT& clip, int64_t& ax, int64_t& ay, int64_t& bx, int64_t& by) {
  // A line whose bounding box misses the clip draws nothing, however far away it is.
  if (std::max(ax, bx) < clip.left || std::min(ax, bx) >= clip.right || std::max(ay, by) < clip.top ||
      std::min(ay, by) >= clip.bottom)
    return false;
  int64_t span = std::max<int64_t>(std::abs(bx - ax), std::abs(by - ay));
  int64_t size = std::max<int64_t>(clip.right - clip.left, clip.bottom - clip.top);
  if (span <= 4 * size + 64) return true;
  // Liang-Barsky against the clip widened by a margin.
  double x0 = static_cast<double>(ax), y0 = static_cast<double>(ay);
  double dx = static_cast<double>(bx - ax), dy = static_cast<double>(by - ay);
  double lo = 0, hi = 1;
  const double m = 2;
  double p[4] = {-dx, dx, -dy, dy};
  double q[4] = {x0 - (clip.left - m), (clip.right + m) - x0, y0 - (clip.top - m), (clip.bottom + m) - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double r = q[i] / p[i];
    if (p[i] < 0) {
      lo = std::max(lo, r);
    } else {
      hi = std::min(hi, r);
    }
    if (lo > hi) return false;
  }
  int64_t nax = std::llround(x0 + lo * dx), nay = std::llround(y0 + lo * dy);
  int64_t nbx = std::llround(x0 + hi * dx), nby = std::llround(y0 + hi * dy);
  ax = nax;
  ay = nay;
  bx = nbx;
  by = nby;
  return true;
}

}  // namespace

UINT SetBoundsRect(HDC h, const RECT* rect, UINT flags) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return 0;
  const UINT before =
      (dc->accumulate ? DCB_ENABLE : DCB_DISABLE) | (dc->bounds.left < dc->bounds.right ? DCB_SET : DCB_RESET);
  if (flags & DCB_RESET) dc->bounds = RECT{0, 0, 0, 0};
  if ((flags & DCB_ACCUMULATE) && rect) {
    Surface s;
    s.bounds = &dc->bounds;
    s.Drew(ToDevice(*dc, *rect));
  }
  if (flags & DCB_ENABLE) dc->accumulate = true;
  if (flags & DCB_DISABLE) dc->accumulate = false;
  return before;
}

UINT GetBoundsRect(HDC h, RECT* rect, UINT flags) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !rect) return 0;
  const bool set = dc->bounds.left < dc->bounds.right;
  *rect = set ? RECT{dc->bounds.left - dc->st.origin.x, dc->bounds.top - dc->st.origin.y,
                     dc->bounds.right - dc->st.origin.x, dc->bounds.bottom - dc->st.origin.y}
              : RECT{0, 0, 0, 0};
  if (flags & DCB_RESET) dc->bounds = RECT{0, 0, 0, 0};
  return set ? DCB_SET : DCB_RESET;
}

COLORREF GetPixel(HDC h, int x, int y) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.ok) return CLR_INVALID;
  x = ClampCoord(int64_t{x} + t.dc->st.origin.x);
  y = ClampCoord(int64_t{y} + t.dc->st.origin.y);
  if (x < t.clip.left || y < t.clip.top || x >= t.clip.right || y >= t.clip.bottom) return CLR_INVALID;
  Format f(t.s);
  uint32_t raw;
  const uint8_t* row = t.s.Row(y);
  switch (t.s.bpp) {
    case 1: raw = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
    case 4: raw = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4); break;
    case 8: raw = row[x]; break;
    case 16: raw = static_cast<uint32_t>(row[2 * x] | (row[2 * x + 1] << 8)); break;
    case 24: raw = static_cast<uint32_t>(row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16)); break;
    default: std::memcpy(&raw, row + 4 * x, 4); break;
  }
  return f.ToRgb(raw);
}

COLORREF SetPixel(HDC h, int x, int y, COLORREF color) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.ok) return CLR_INVALID;
  x = ClampCoord(int64_t{x} + t.dc->st.origin.x);
  y = ClampCoord(int64_t{y} + t.dc->st.origin.y);
  if (x < t.clip.left || y < t.clip.top || x >= t.clip.right || y >= t.clip.bottom) return CLR_INVALID;
  Format f(t.s);
  uint32_t raw = f.FromRgb(ResolveColor(*t.dc, color));
  PutPixel(t, x, y, raw, R2_COPYPEN);
  return f.ToRgb(raw);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  GDI_LOCK;
  if (!brush || (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL)) return nullptr;
  auto b = std::make_unique<Brush>();
  b->style = brush->lbStyle;
  b->color = brush->lbColor;
  return static_cast<HBRUSH>(InsertObject(std::move(b)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
  GDI_LOCK;
  if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL) return nullptr;
  auto p = std::make_unique<Pen>();
  p->style = style;
  p->width = std::max(width, 1);
  p->color = color;
  return static_cast<HPEN>(InsertObject(std::move(p)));
}

int FillRect(HDC h, const RECT* rect, HBRUSH brush) {
  GDI_LOCK;
  Target t = Open(h);
  Brush* b = GetBrush(brush);
  if (!t.ok || !rect || !b) return 0;
  if (b->style == BS_NULL) return 1;
  uint32_t raw = ColorToRaw(t.s, ResolveColor(*t.dc, b->color));
  FillRaw(t.s, t.clip, ToDevice(*t.dc, *rect), raw, R2_COPYPEN);
  return 1;
}

int FrameRect(HDC h, const RECT* rect, HBRUSH brush) {
  GDI_LOCK;
  Target t = Open(h);
  Brush* b = GetBrush(brush);
  if (!t.ok || !rect || !b) return 0;
  RECT r = ToDevice(*t.dc, *rect);
  if (b->style == BS_NULL || r.left >= r.right || r.top >= r.bottom) return 1;
  uint32_t raw = ColorToRaw(t.s, ResolveColor(*t.dc, b->color));
  FillRaw(t.s, t.clip, RECT{r.left, r.top, r.right, r.top + 1}, raw, R2_COPYPEN);
  FillRaw(t.s, t.clip, RECT{r.left, r.bottom - 1, r.right, r.bottom}, raw, R2_COPYPEN);
  FillRaw(t.s, t.clip, RECT{r.left, r.top, r.left + 1, r.bottom}, raw, R2_COPYPEN);
  FillRaw(t.s, t.clip, RECT{r.right - 1, r.top, r.right, r.bottom}, raw, R2_COPYPEN);
  return 1;
}

BOOL Rectangle(HDC h, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.ok) return FALSE;
  RECT r = ToDevice(*t.dc, RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                                std::max(top, bottom)});
  // Coordinates that were clamped are off the surface; the outline there is never seen.
  if (r.right - r.left < 2 || r.bottom - r.top < 2) return TRUE;
  Pen* pen = GetPen(t.dc->st.pen);
  Brush* brush = GetBrush(t.dc->st.brush);
  int rop2 = t.dc->st.rop2;
  bool outline = pen && pen->style != PS_NULL;
  RECT inner = outline ? RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1} : r;
  if (brush && brush->style == BS_SOLID)
    FillRaw(t.s, t.clip, inner, ColorToRaw(t.s, ResolveColor(*t.dc, brush->color)), rop2);
  if (outline) {
    uint32_t raw = ColorToRaw(t.s, ResolveColor(*t.dc, pen->color));
    FillRaw(t.s, t.clip, RECT{r.left, r.top, r.right, r.top + 1}, raw, rop2);
    FillRaw(t.s, t.clip, RECT{r.left, r.bottom - 1, r.right, r.bottom}, raw, rop2);
    FillRaw(t.s, t.clip, RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1}, raw, rop2);
    FillRaw(t.s, t.clip, RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}, raw, rop2);
  }
  return TRUE;
}

BOOL MoveToEx(HDC h, int x, int y, POINT* previous) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return FALSE;
  if (previous) *previous = dc->st.position;
  dc->st.position = POINT{x, y};
  return TRUE;
}

BOOL LineTo(HDC h, int x, int y) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.dc) return FALSE;
  POINT from = t.dc->st.position;
  t.dc->st.position = POINT{x, y};
  if (!t.ok) return FALSE;
  Pen* pen = GetPen(t.dc->st.pen);
  if (!pen || pen->style == PS_NULL) return TRUE;
  uint32_t raw = ColorToRaw(t.s, ResolveColor(*t.dc, pen->color));
  int64_t ox = t.dc->st.origin.x, oy = t.dc->st.origin.y;
  int64_t ax = from.x + ox, ay = from.y + oy, bx = x + ox, by = y + oy;
  if (!ClipLongLine(t.clip, ax, ay, bx, by)) return TRUE;
  int rop2 = t.dc->st.rop2;
  int step = 0;
  Line(static_cast<int>(ax), static_cast<int>(ay), static_cast<int>(bx), static_cast<int>(by), [&](int px, int py) {
    // Styled pens: dashes of 18 on, 6 off; dots alternate.
    bool on = pen->style == PS_SOLID || (pen->style == PS_DASH && step % 24 < 18) ||
              (pen->style == PS_DOT && step % 2 == 0);
    ++step;
    if (on) PutPixel(t, px, py, raw, rop2);
  });
  return TRUE;
}

BOOL DrawFocusRect(HDC h, const RECT* rect) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.ok || !rect) return FALSE;
  RECT r = ToDevice(*t.dc, *rect);
  if (r.left >= r.right || r.top >= r.bottom) return TRUE;
  // Every other pixel of the outline is inverted, so drawing it twice takes it away again.
  uint32_t ones = 0xFFFFFFFFu;
  for (int x = r.left; x < r.right; ++x) {
    if (((x - r.left) & 1) == 0) {
      PutPixel(t, x, r.top, ones, R2_XORPEN);
      if (r.bottom - 1 > r.top) PutPixel(t, x, r.bottom - 1, ones, R2_XORPEN);
    }
  }
  for (int y = r.top + 1; y < r.bottom - 1; ++y) {
    if (((y - r.top) & 1) == 0) {
      PutPixel(t, r.left, y, ones, R2_XORPEN);
      if (r.right - 1 > r.left) PutPixel(t, r.right - 1, y, ones, R2_XORPEN);
    }
  }
  return TRUE;
}

BOOL InvertRect(HDC h, const RECT* rect) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.ok || !rect) return FALSE;
  FillRaw(t.s, t.clip, ToDevice(*t.dc, *rect), 0, R2_NOT);
  return TRUE;
}

int SetROP2(HDC h, int mode) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
  int previous = dc->st.rop2;
  dc->st.rop2 = mode;
  return previous;
}

int IntersectClipRect(HDC h, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return ERROR_REGION;
  RECT r = ToDevice(*dc, RECT{left, top, right, bottom});
  if (dc->st.hasClip) {
    r.left = std::max(r.left, dc->st.clip.left);
    r.top = std::max(r.top, dc->st.clip.top);
    r.right = std::min(r.right, dc->st.clip.right);
    r.bottom = std::min(r.bottom, dc->st.clip.bottom);
  }
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  dc->st.hasClip = true;
  dc->st.clip = r;
  return r.left < r.right && r.top < r.bottom ? SIMPLEREGION : NULLREGION;
}

int SelectClipRect(HDC h, const RECT* rect) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return ERROR_REGION;
  if (!rect) {
    dc->st.hasClip = false;
    return SIMPLEREGION;
  }
  // Like a selected clip region, the rectangle is in device coordinates.
  RECT r = *rect;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  dc->st.hasClip = true;
  dc->st.clip = r;
  return r.left < r.right && r.top < r.bottom ? SIMPLEREGION : NULLREGION;
}

BOOL SetViewportOrgEx(HDC h, int x, int y, POINT* previous) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return FALSE;
  if (previous) *previous = dc->st.origin;
  dc->st.origin = POINT{ClampCoord(x), ClampCoord(y)};
  return TRUE;
}

BOOL GetViewportOrgEx(HDC h, POINT* origin) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !origin) return FALSE;
  *origin = dc->st.origin;
  return TRUE;
}

BOOL OffsetViewportOrgEx(HDC h, int dx, int dy, POINT* previous) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return FALSE;
  if (previous) *previous = dc->st.origin;
  dc->st.origin.x = ClampCoord(int64_t{dc->st.origin.x} + dx);
  dc->st.origin.y = ClampCoord(int64_t{dc->st.origin.y} + dy);
  return TRUE;
}

int GetClipBox(HDC h, RECT* rect) {
  GDI_LOCK;
  Target t = Open(h);
  if (!t.dc || !rect) return ERROR_REGION;
  RECT r = t.ok ? t.clip : (t.dc->st.hasClip ? t.dc->st.clip : RECT{0, 0, 0, 0});
  r.left -= t.dc->st.origin.x;
  r.right -= t.dc->st.origin.x;
  r.top -= t.dc->st.origin.y;
  r.bottom -= t.dc->st.origin.y;
  *rect = r;
  return r.left < r.right && r.top < r.bottom ? SIMPLEREGION : NULLREGION;
}
