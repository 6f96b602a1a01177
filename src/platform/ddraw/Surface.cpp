// Surfaces: making them, blits and fills, locks, device contexts, colour keys, clippers
// and palettes, lost surfaces and flipping.
#include <algorithm>
#include <cstring>

#include "platform/ddraw/DDrawInternal.h"
#include "platform/gdi/BitmapFormat.h"

namespace ddraw_internal {
namespace {

constexpr int kLargestSide = 16384;

SurfaceObject* AsSurface(IDirectDrawSurface* p) {
  return IsLive(p, Kind::Surface) ? static_cast<SurfaceObject*>(p) : nullptr;
}

RECT Bounds(const SurfaceObject& s) { return RECT{0, 0, s.Width(), s.Height()}; }
bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }
bool Inside(const RECT& r, const RECT& bounds) {
  return r.left >= bounds.left && r.top >= bounds.top && r.right <= bounds.right && r.bottom <= bounds.bottom;
}
RECT Intersect(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// The part of a window's client area that shows, in screen coordinates: the client area
// cut by every ancestor's client area, or nothing for a hidden or minimised window.
RECT VisibleClientOnScreen(HWND hwnd) {
  if (!IsWindow(hwnd) || !IsWindowVisible(hwnd) || IsIconic(hwnd)) return RECT{0, 0, 0, 0};
  RECT visible{0, 0, 0, 0};
  bool first = true;
  for (HWND w = hwnd; w; w = (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr) {
    RECT client;
    GetClientRect(w, &client);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    client = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    visible = first ? client : Intersect(visible, client);
    first = false;
  }
  return visible;
}

// Where blits onto `s` may land, in its own coordinates.
RECT ClipArea(const SurfaceObject& s) {
  RECT area = Bounds(s);
  if (s.clipper && s.clipper->hwnd) {
    if (s.IsPrimary() && !s.owner->Exclusive()) {
      // The windowed primary is the whole screen; only the window's visible client area takes pixels.
      area = Intersect(area, VisibleClientOnScreen(s.clipper->hwnd));
    } else {
      RECT client;
      GetClientRect(s.clipper->hwnd, &client);
      area = Intersect(area, client);
    }
  }
  return area;
}

// Cuts the destination to `area` and the source by the same share, so a stretched blit
// keeps its scale. False when nothing is left.
bool ClipPair(RECT* dest, RECT* source, const RECT& area) {
  const RECT cut = Intersect(*dest, area);
  if (Empty(cut)) return false;
  // In 64 bits: a caller's rectangle may span the whole range of LONG.
  const int64_t dw = int64_t{dest->right} - dest->left, dh = int64_t{dest->bottom} - dest->top;
  const int64_t sw = int64_t{source->right} - source->left, sh = int64_t{source->bottom} - source->top;
  RECT s = *source;
  s.left = source->left + static_cast<LONG>((int64_t{cut.left} - dest->left) * sw / dw);
  s.right = source->left + static_cast<LONG>((int64_t{cut.right} - dest->left) * sw / dw);
  s.top = source->top + static_cast<LONG>((int64_t{cut.top} - dest->top) * sh / dh);
  s.bottom = source->top + static_cast<LONG>((int64_t{cut.bottom} - dest->top) * sh / dh);
  if (Empty(s)) return false;
  *dest = cut;
  *source = s;
  return true;
}

// The checks every drawing entry point makes on a surface about to be read or written.
HRESULT Usable(SurfaceObject* s) {
  s->owner->NoticeDeactivation();
  if (s->lost) return DDERR_SURFACELOST;
  if (s->locked || s->dc) return DDERR_SURFACEBUSY;
  return DD_OK;
}

// After drawing onto a primary, the screen shows it.
void Shown(SurfaceObject& dest, const RECT& rect) {
  if (!dest.IsPrimary()) return;
  if (dest.owner->Exclusive()) {
    PresentPrimary(&dest);
  } else {
    PresentWindowedPrimary(&dest, rect);
  }
}

void FillDesc(const SurfaceObject& s, DDSURFACEDESC* d) {
  std::memset(d, 0, sizeof *d);
  d->dwSize = sizeof *d;
  d->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
  d->dwWidth = static_cast<DWORD>(s.Width());
  d->dwHeight = static_cast<DWORD>(s.Height());
  d->lPitch = s.store ? s.store->pitch : 0;
  if (s.backBuffer) {
    d->dwFlags |= DDSD_BACKBUFFERCOUNT;
    d->dwBackBufferCount = 1;
  }
  if (s.hasSourceKey) {
    d->dwFlags |= DDSD_CKSRCBLT;
    d->ddckCKSrcBlt = s.sourceKey;
  }
  d->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d->ddpfPixelFormat.dwFlags = s.format.bitCount == 8 ? DDPF_RGB | DDPF_PALETTEINDEXED8 : DDPF_RGB;
  d->ddpfPixelFormat.dwRGBBitCount = static_cast<DWORD>(s.format.bitCount);
  d->ddpfPixelFormat.dwRBitMask = s.format.masks[0];
  d->ddpfPixelFormat.dwGBitMask = s.format.masks[1];
  d->ddpfPixelFormat.dwBBitMask = s.format.masks[2];
  d->ddsCaps.dwCaps = s.caps;
}

// A restored surface's contents are undefined; debug builds make that visible so a
// missed redraw shows.
void MarkUndefined(SurfaceObject& s) {
  s.store->DrewAnywhere();
#ifndef NDEBUG
  for (int y = 0; y < s.Height(); ++y) {
    uint8_t* row = s.store->Row(y);
    for (int x = 0; x < s.store->pitch; ++x) row[x] = static_cast<uint8_t>(((x / 8 + y / 8) & 1) ? 0xF8 : 0x1F);
  }
#else
  (void)s;
#endif
}

SurfaceObject* NewSurface(DisplayObject* d, DWORD caps, const Format& format, int width, int height) {
  auto* s = new SurfaceObject();
  s->owner = d;
  s->caps = caps;
  s->format = format;
  s->store = MakeStore(width, height, format);
  Register(s, Kind::Surface);
  d->surfaces.push_back(s);
  return s;
}

HRESULT FormatFromDesc(const DDPIXELFORMAT& pf, Format* out) {
  if (pf.dwSize != sizeof(DDPIXELFORMAT) || !(pf.dwFlags & DDPF_RGB)) return DDERR_INVALIDPIXELFORMAT;
  const int bits = static_cast<int>(pf.dwRGBBitCount);
  if (bits == 8) {
    if (!(pf.dwFlags & DDPF_PALETTEINDEXED8)) return DDERR_INVALIDPIXELFORMAT;
    *out = FormatFor(8);
    return DD_OK;
  }
  if (bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
  const uint32_t masks[3] = {pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask};
  if (bits == 24) {
    if (masks[0] != 0xFF0000 || masks[1] != 0x00FF00 || masks[2] != 0x0000FF) return DDERR_INVALIDPIXELFORMAT;
  } else if (bmp::CheckMasks(masks, bits) != bmp::MaskFault::None) {
    return DDERR_INVALIDPIXELFORMAT;
  }
  *out = Format{bits, {masks[0], masks[1], masks[2]}};
  return DD_OK;
}

HRESULT CreatePrimary(DisplayObject* d, const DDSURFACEDESC& desc, SurfaceObject** out) {
  const DWORD caps = desc.ddsCaps.dwCaps;
  if (d->primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
  if (!d->level) return DDERR_NOCOOPERATIVELEVELSET;
  if (desc.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return DDERR_INVALIDPARAMS;
  const bool flipping = (caps & DDSCAPS_FLIP) != 0;
  if (flipping) {
    if (!(caps & DDSCAPS_COMPLEX) || !(desc.dwFlags & DDSD_BACKBUFFERCOUNT) || desc.dwBackBufferCount == 0) {
      return DDERR_INVALIDCAPS;
    }
    if (desc.dwBackBufferCount != 1) return DDERR_UNSUPPORTED;  // one back buffer is all this service keeps
    if (!d->Exclusive()) return DDERR_NOEXCLUSIVEMODE;
  }
  if (caps & DDSCAPS_SYSTEMMEMORY) return DDERR_INVALIDCAPS;
  int width, height;
  if (d->modeSet) {
    width = d->mode.width;
    height = d->mode.height;
  } else {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }
  const Format format = d->DisplayFormat();
  const size_t bytes = static_cast<size_t>((width * format.BytesPerPixel() + 7) & ~7) * static_cast<size_t>(height);
  const size_t total = bytes * (flipping ? 2 : 1);
  if (!TakeVideoMemory(total)) return DDERR_OUTOFVIDEOMEMORY;
  const DWORD placed = DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_VISIBLE;
  SurfaceObject* p = NewSurface(d, caps | placed | (flipping ? DDSCAPS_FRONTBUFFER : 0), format, width, height);
  p->videoBytes = total;
  if (flipping) {
    SurfaceObject* back = NewSurface(
        d, DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM, format,
        width, height);
    back->frontOf = p;
    back->refs = 0;  // held by the chain, not by the caller, until GetAttachedSurface
    p->backBuffer = back;
  }
  d->primary = p;
  *out = p;
  return DD_OK;
}

HRESULT CreateOffscreen(DisplayObject* d, const DDSURFACEDESC& desc, SurfaceObject** out) {
  const DWORD caps = (desc.dwFlags & DDSD_CAPS) ? desc.ddsCaps.dwCaps : DDSCAPS_OFFSCREENPLAIN;
  if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
  if (caps & (DDSCAPS_FLIP | DDSCAPS_BACKBUFFER | DDSCAPS_ZBUFFER | DDSCAPS_OVERLAY)) return DDERR_INVALIDCAPS;
  if (!(desc.dwFlags & DDSD_WIDTH) || !(desc.dwFlags & DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
  if (desc.dwWidth == 0 || desc.dwHeight == 0) return DDERR_INVALIDPARAMS;
  if (desc.dwWidth > kLargestSide) return DDERR_TOOBIGWIDTH;
  if (desc.dwHeight > kLargestSide) return DDERR_TOOBIGHEIGHT;
  Format format = d->DisplayFormat();
  if (desc.dwFlags & DDSD_PIXELFORMAT) {
    if (const HRESULT r = FormatFromDesc(desc.ddpfPixelFormat, &format); r != DD_OK) return r;
  }
  const int width = static_cast<int>(desc.dwWidth), height = static_cast<int>(desc.dwHeight);
  const size_t bytes = static_cast<size_t>((width * format.BytesPerPixel() + 7) & ~7) * static_cast<size_t>(height);
  const bool video = !(caps & DDSCAPS_SYSTEMMEMORY);
  if (video && !TakeVideoMemory(bytes)) return DDERR_OUTOFVIDEOMEMORY;
  const DWORD placed = video ? DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM : DDSCAPS_SYSTEMMEMORY;
  SurfaceObject* s = NewSurface(d, caps | placed, format, width, height);
  s->videoBytes = video ? bytes : 0;
  if (desc.dwFlags & DDSD_CKSRCBLT) {
    s->hasSourceKey = true;
    s->sourceKey = desc.ddckCKSrcBlt;
  }
  *out = s;
  return DD_OK;
}

}  // namespace

void DestroySurface(SurfaceObject* s) {
  if (s->backBuffer) {
    SurfaceObject* back = s->backBuffer;
    s->backBuffer = nullptr;
    DestroySurface(back);
  }
  if (s->frontOf) s->frontOf->backBuffer = nullptr;
  if (s->dc) DeleteDC(s->dc);
  if (s->clipper) s->clipper->Release();
  if (s->palette) s->palette->Release();
  GiveVideoMemory(s->videoBytes);
  DisplayObject* d = s->owner;
  d->surfaces.erase(std::remove(d->surfaces.begin(), d->surfaces.end(), s), d->surfaces.end());
  if (d->primary == s) d->primary = nullptr;
  Unregister(s);
  delete s;
}

}  // namespace ddraw_internal

using namespace ddraw_internal;

// ---------------------------------------------------------------------------------------
// Making surfaces (on the display object).

HRESULT IDirectDraw::CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, void* unkOuter) {
  if (!IsLive(this, Kind::Display)) return DDERR_INVALIDOBJECT;
  auto* d = static_cast<DisplayObject*>(this);
  if (!surface) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC) || unkOuter) return DDERR_INVALIDPARAMS;
  SurfaceObject* made = nullptr;
  const bool primary = (desc->dwFlags & DDSD_CAPS) && (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
  const HRESULT r = primary ? CreatePrimary(d, *desc, &made) : CreateOffscreen(d, *desc, &made);
  if (r == DD_OK) *surface = made;
  return r;
}

HRESULT IDirectDraw::DuplicateSurface(LPDIRECTDRAWSURFACE source, LPDIRECTDRAWSURFACE* copy) {
  if (!IsLive(this, Kind::Display)) return DDERR_INVALIDOBJECT;
  auto* d = static_cast<DisplayObject*>(this);
  if (!copy) return DDERR_INVALIDPARAMS;
  *copy = nullptr;
  SurfaceObject* s = AsSurface(source);
  if (!s || s->owner != d) return DDERR_INVALIDOBJECT;
  // The platform refuses to duplicate the primary chain.
  if (s->IsPrimary() || s->frontOf) return DDERR_CANTDUPLICATE;
  if (s->lost) return DDERR_SURFACELOST;
  // A duplicate shares the original's memory; it takes no more video memory.
  auto* dup = new SurfaceObject();
  dup->owner = d;
  dup->caps = s->caps;
  dup->format = s->format;
  dup->store = s->store;
  dup->hasSourceKey = s->hasSourceKey;
  dup->sourceKey = s->sourceKey;
  Register(dup, Kind::Surface);
  d->surfaces.push_back(dup);
  *copy = dup;
  return DD_OK;
}

// ---------------------------------------------------------------------------------------
// Surfaces.

ULONG IDirectDrawSurface::AddRef() {
  SurfaceObject* s = AsSurface(this);
  return s ? ++s->refs : 0;
}

ULONG IDirectDrawSurface::Release() {
  SurfaceObject* s = AsSurface(this);
  if (!s) return 0;
  if (s->refs == 0) return 0;
  if (--s->refs > 0) return s->refs;
  // A back buffer lives as long as its chain; its own references only come from GetAttachedSurface.
  if (!s->frontOf) DestroySurface(s);
  return 0;
}

HRESULT IDirectDrawSurface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE sourceSurface, LPRECT sourceRect, DWORD flags,
                                LPDDBLTFX fx) {
  SurfaceObject* dest = AsSurface(this);
  if (!dest) return DDERR_INVALIDOBJECT;
  SurfaceObject* source = nullptr;
  if (sourceSurface) {
    source = AsSurface(sourceSurface);
    if (!source) return DDERR_INVALIDOBJECT;
  }
  constexpr DWORD kKnown = DDBLT_COLORFILL | DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE | DDBLT_WAIT | DDBLT_ASYNC;
  if (flags & ~kKnown) return DDERR_UNSUPPORTED;
  if ((flags & (DDBLT_COLORFILL | DDBLT_KEYSRCOVERRIDE)) && (!fx || fx->dwSize != sizeof(DDBLTFX))) {
    return DDERR_INVALIDPARAMS;
  }
  if (const HRESULT r = Usable(dest); r != DD_OK) return r;
  if (source && source != dest) {
    if (const HRESULT r = Usable(source); r != DD_OK) return r;
  }
  RECT to = destRect ? *destRect : Bounds(*dest);
  if (Empty(to)) return DDERR_INVALIDRECT;
  const bool clipped = dest->clipper != nullptr;
  if (!clipped && !Inside(to, Bounds(*dest))) return DDERR_INVALIDRECT;

  if (flags & DDBLT_COLORFILL) {
    if (clipped) {
      to = Intersect(to, ClipArea(*dest));
      if (Empty(to)) return DD_OK;
    }
    FillRect(*dest, to, fx->dwFillColor);
    Shown(*dest, to);
    return DD_OK;
  }

  if (!source) return DDERR_INVALIDPARAMS;
  RECT from = sourceRect ? *sourceRect : Bounds(*source);
  if (Empty(from) || !Inside(from, Bounds(*source))) return DDERR_INVALIDRECT;
  const bool keyed = (flags & (DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE)) != 0;
  if ((flags & DDBLT_KEYSRC) && !(flags & DDBLT_KEYSRCOVERRIDE) && !source->hasSourceKey) return DDERR_NOCOLORKEY;
  if (clipped && !ClipPair(&to, &from, ClipArea(*dest))) return DD_OK;
  if (flags & DDBLT_KEYSRCOVERRIDE) {
    // The override key applies to this blit only.
    const bool had = source->hasSourceKey;
    const DDCOLORKEY old = source->sourceKey;
    source->sourceKey = fx->ddckSrcColorkey;
    BlitRect(*dest, to, *source, from, true);
    source->sourceKey = old;
    source->hasSourceKey = had;
  } else {
    BlitRect(*dest, to, *source, from, keyed);
  }
  Shown(*dest, to);
  return DD_OK;
}

HRESULT IDirectDrawSurface::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE sourceSurface, LPRECT sourceRect, DWORD flags) {
  SurfaceObject* dest = AsSurface(this);
  if (!dest) return DDERR_INVALIDOBJECT;
  SurfaceObject* source = AsSurface(sourceSurface);
  if (!source) return sourceSurface ? DDERR_INVALIDOBJECT : DDERR_INVALIDPARAMS;
  if (flags & ~(DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT)) return DDERR_UNSUPPORTED;
  // BltFast never clips: a clipper on the destination sends the caller to Blt.
  if (dest->clipper) return DDERR_BLTFASTCANTCLIP;
  if (const HRESULT r = Usable(dest); r != DD_OK) return r;
  if (source != dest) {
    if (const HRESULT r = Usable(source); r != DD_OK) return r;
  }
  const RECT from = sourceRect ? *sourceRect : Bounds(*source);
  if (Empty(from) || !Inside(from, Bounds(*source))) return DDERR_INVALIDRECT;
  if (x > static_cast<DWORD>(kLargestSide) || y > static_cast<DWORD>(kLargestSide)) return DDERR_INVALIDRECT;
  const RECT to{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x) + (from.right - from.left),
                static_cast<LONG>(y) + (from.bottom - from.top)};
  if (!Inside(to, Bounds(*dest))) return DDERR_INVALIDRECT;
  const bool keyed = (flags & DDBLTFAST_SRCCOLORKEY) != 0;
  if (keyed && !source->hasSourceKey) return DDERR_NOCOLORKEY;
  BlitRect(*dest, to, *source, from, keyed);
  Shown(*dest, to);
  return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(LPDIRECTDRAWSURFACE override, DWORD flags) {
  SurfaceObject* front = AsSurface(this);
  if (!front) return DDERR_INVALIDOBJECT;
  if (override) return AsSurface(override) ? DDERR_UNSUPPORTED : DDERR_INVALIDOBJECT;
  if (!front->backBuffer) return DDERR_NOTFLIPPABLE;
  if (!front->owner->Exclusive()) return DDERR_NOEXCLUSIVEMODE;
  if (const HRESULT r = Usable(front); r != DD_OK) return r;
  if (const HRESULT r = Usable(front->backBuffer); r != DD_OK) return r;
  if (flags & DDFLIP_WAIT) {
    ::WaitForVerticalBlank();
  } else if (!InVerticalBlank()) {
    return DDERR_WASSTILLDRAWING;
  }
  // The blank may have brought the news that the program lost the screen.
  front->owner->NoticeDeactivation();
  if (front->lost) return DDERR_SURFACELOST;
  std::swap(front->store, front->backBuffer->store);
  ++front->flips;
  PresentPrimary(front);
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!caps || !attached) return DDERR_INVALIDPARAMS;
  *attached = nullptr;
  if (!s->backBuffer || (caps->dwCaps & ~s->backBuffer->caps)) return DDERR_NOTFOUND;
  ++s->backBuffer->refs;
  *attached = s->backBuffer;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetCaps(LPDDSCAPS caps) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!caps) return DDERR_INVALIDPARAMS;
  caps->dwCaps = s->caps;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetClipper(LPDIRECTDRAWCLIPPER* clipper) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!clipper) return DDERR_INVALIDPARAMS;
  *clipper = s->clipper;
  if (!s->clipper) return DDERR_NOCLIPPERATTACHED;
  s->clipper->AddRef();
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetClipper(LPDIRECTDRAWCLIPPER clipper) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  ClipperObject* c = nullptr;
  if (clipper) {
    if (!IsLive(clipper, Kind::Clipper)) return DDERR_INVALIDOBJECT;
    c = static_cast<ClipperObject*>(clipper);
    if (c->owner != s->owner) return DDERR_INVALIDOBJECT;
    c->AddRef();
  }
  if (s->clipper) s->clipper->Release();
  s->clipper = c;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetColorKey(DWORD flags, LPDDCOLORKEY key) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!key || flags != DDCKEY_SRCBLT) return DDERR_INVALIDPARAMS;
  if (!s->hasSourceKey) return DDERR_NOCOLORKEY;
  *key = s->sourceKey;
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  // Only source keys for blits exist here; a range of colours is not kept.
  if ((flags & ~DDCKEY_COLORSPACE) != DDCKEY_SRCBLT) return DDERR_UNSUPPORTED;
  if (key) {
    s->hasSourceKey = true;
    s->sourceKey = DDCOLORKEY{key->dwColorSpaceLowValue, key->dwColorSpaceLowValue};
  } else {
    s->hasSourceKey = false;
    s->sourceKey = DDCOLORKEY{};
  }
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetDC(HDC* dc) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  s->owner->NoticeDeactivation();
  if (s->lost) return DDERR_SURFACELOST;
  if (s->dc) return DDERR_DCALREADYCREATED;
  if (s->locked) return DDERR_SURFACEBUSY;
  RGBQUAD table[256] = {};
  int colors = 0;
  if (s->format.bitCount == 8) {
    if (const PaletteObject* p = s->SeenThrough()) {
      p->ColorTable(table);
      colors = p->count;
    } else {
      // Without a palette of its own or the primary's, the screen's palette.
      PALETTEENTRY system[256];
      HDC screen = CreateCompatibleDC(nullptr);
      colors = static_cast<int>(GetSystemPaletteEntries(screen, 0, 256, system));
      DeleteDC(screen);
      for (int i = 0; i < colors; ++i) table[i] = RGBQUAD{system[i].peBlue, system[i].peGreen, system[i].peRed, 0};
    }
  }
  HDC made = CreateBufferDC(s->store->bytes.data(), s->Width(), s->Height(), s->store->pitch, s->format.bitCount,
                            s->format.Indexed() ? nullptr : s->format.masks, colors ? table : nullptr, colors);
  if (!made) return DDERR_CANTCREATEDC;
  // The GDI says where it drew when the DC is given back.
  SetBoundsRect(made, nullptr, DCB_ENABLE | DCB_RESET);
  s->dc = made;
  *dc = made;
  return DD_OK;
}

HRESULT IDirectDrawSurface::ReleaseDC(HDC dc) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!s->dc || dc != s->dc) return DDERR_NODC;
  RECT drawn{};
  POINT origin{};
  if (GetBoundsRect(s->dc, &drawn, 0) == DCB_SET && GetViewportOrgEx(s->dc, &origin)) {
    s->store->DrewIn(RECT{drawn.left + origin.x, drawn.top + origin.y, drawn.right + origin.x, drawn.bottom + origin.y});
  }
  DeleteDC(s->dc);
  s->dc = nullptr;
  // What the GDI drew on a primary is on the screen now.
  if (!s->lost) Shown(*s, Bounds(*s));
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetPalette(LPDIRECTDRAWPALETTE* palette) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!palette) return DDERR_INVALIDPARAMS;
  *palette = s->palette;
  if (!s->palette) return DDERR_NOPALETTEATTACHED;
  s->palette->AddRef();
  return DD_OK;
}

HRESULT IDirectDrawSurface::SetPalette(LPDIRECTDRAWPALETTE palette) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  PaletteObject* p = nullptr;
  if (palette) {
    if (!IsLive(palette, Kind::Palette)) return DDERR_INVALIDOBJECT;
    p = static_cast<PaletteObject*>(palette);
    if (p->owner != s->owner) return DDERR_INVALIDOBJECT;
    p->AddRef();
  }
  if (s->palette) s->palette->Release();
  s->palette = p;
  // A deeper surface keeps the palette but is not seen through it.
  if (s->IsPrimary() && s->format.bitCount == 8 && !s->lost && s->owner->Exclusive()) PresentPrimary(s);
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetPixelFormat(LPDDPIXELFORMAT format) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!format || format->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
  DDSURFACEDESC d;
  FillDesc(*s, &d);
  *format = d.ddpfPixelFormat;
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetSurfaceDesc(LPDDSURFACEDESC desc) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  FillDesc(*s, desc);
  return DD_OK;
}

HRESULT IDirectDrawSurface::IsLost() {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  s->owner->NoticeDeactivation();
  return s->lost ? DDERR_SURFACELOST : DD_OK;
}

HRESULT IDirectDrawSurface::Restore() {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  DisplayObject* d = s->owner;
  d->NoticeDeactivation();
  if (!s->lost) return DD_OK;
  // The screen comes back only to the program that holds the focus again.
  if (d->Exclusive() && !GetForegroundWindow()) return DDERR_NOEXCLUSIVEMODE;
  // Restoring the front of a chain restores the whole chain, as on the platform.
  SurfaceObject* front = s->frontOf ? s->frontOf : s;
  for (SurfaceObject* part : {front, front->backBuffer}) {
    if (!part || !part->lost) continue;
    part->lost = false;
    MarkUndefined(*part);
  }
  s->lost = false;
  return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD, HANDLE) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  if (const HRESULT r = Usable(s); r != DD_OK) return r;
  const RECT area = rect ? *rect : Bounds(*s);
  if (Empty(area) || !Inside(area, Bounds(*s))) return DDERR_INVALIDRECT;
  FillDesc(*s, desc);
  s->store->DrewIn(area);
  desc->dwFlags |= DDSD_LPSURFACE;
  desc->lpSurface = s->store->Row(area.top) + static_cast<ptrdiff_t>(area.left) * s->format.BytesPerPixel();
  s->locked = true;
  return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  if (!s->locked) return DDERR_NOTLOCKED;
  s->locked = false;
  if (!s->lost) Shown(*s, Bounds(*s));
  return DD_OK;
}

HRESULT IDirectDrawSurface::GetBltStatus(DWORD) {
  return AsSurface(this) ? DD_OK : DDERR_INVALIDOBJECT;  // blits finish before they return
}

HRESULT IDirectDrawSurface::GetFlipStatus(DWORD) {
  SurfaceObject* s = AsSurface(this);
  if (!s) return DDERR_INVALIDOBJECT;
  return InVerticalBlank() ? DD_OK : DDERR_WASSTILLDRAWING;
}
