// The display object, palettes, clippers, the shared video memory and the mode list.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/ddraw/DDrawInternal.h"

namespace ddraw_internal {

// ---------------------------------------------------------------------------------------
// Shared state.

namespace {
std::unordered_map<const void*, Kind>& Live() {
  static std::unordered_map<const void*, Kind> live;
  return live;
}
}  // namespace

void Register(const void* object, Kind kind) { Live()[object] = kind; }
void Unregister(const void* object) { Live().erase(object); }
bool IsLive(const void* object, Kind kind) {
  if (!object) return false;
  auto it = Live().find(object);
  return it != Live().end() && it->second == kind;
}

Settings& Shared() {
  static Settings settings;
  return settings;
}

bool TakeVideoMemory(size_t bytes) {
  Settings& s = Shared();
  if (s.videoUsed + bytes > s.videoMemory) return false;
  s.videoUsed += bytes;
  return true;
}

void GiveVideoMemory(size_t bytes) {
  Settings& s = Shared();
  s.videoUsed = bytes > s.videoUsed ? 0 : s.videoUsed - bytes;
}

Format FormatFor(int bitCount) { return bitCount == 16 ? bmp::kRgb565 : bmp::DefaultFormat(bitCount); }

std::shared_ptr<PixelStore> MakeStore(int width, int height, const Format& format) {
  auto store = std::make_shared<PixelStore>();
  store->width = width;
  store->height = height;
  // Rows start on 8-byte boundaries, as display memory's do.
  store->pitch = (width * format.BytesPerPixel() + 7) & ~7;
  store->bytes.assign(static_cast<size_t>(store->pitch) * static_cast<size_t>(height), 0);
  return store;
}

void PixelStore::DrewIn(const RECT& r) {
  // A picture drawn in many pieces is as good as unknown: looking everywhere costs less.
  constexpr size_t kMostPieces = 1024;
  if (!drawn.known) return;
  if (drawn.rects.size() >= kMostPieces) {
    DrewAnywhere();
    return;
  }
  drawn.rects.push_back(r);
}

void PaletteObject::ColorTable(RGBQUAD* out) const {
  for (int i = 0; i < count; ++i) out[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
}

const PaletteObject* SurfaceObject::SeenThrough() const {
  if (palette) return palette;
  if (owner && owner->primary && owner->primary->palette) return owner->primary->palette;
  return nullptr;
}

// ---------------------------------------------------------------------------------------
// Modes.

namespace {

ddraw::DisplayMode ScreenSize() {
  // The monitor's own size, whatever mode a display object has set.
  ddraw::DisplayMode m;
  GetMonitorSize(&m.width, &m.height);
  return m;
}

std::vector<ddraw::DisplayMode> DefaultModes() {
  static const int kClassic[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}, {1600, 1200}};
  const ddraw::DisplayMode screen = ScreenSize();
  std::vector<std::pair<int, int>> sizes;
  for (const auto& c : kClassic) {
    if (c[0] <= screen.width && c[1] <= screen.height) sizes.emplace_back(c[0], c[1]);
  }
  if (std::find(sizes.begin(), sizes.end(), std::make_pair(screen.width, screen.height)) == sizes.end()) {
    sizes.emplace_back(screen.width, screen.height);
  }
  std::sort(sizes.begin(), sizes.end(), [](auto a, auto b) {
    return static_cast<int64_t>(a.first) * a.second < static_cast<int64_t>(b.first) * b.second ||
           (static_cast<int64_t>(a.first) * a.second == static_cast<int64_t>(b.first) * b.second && a.first < b.first);
  });
  std::vector<ddraw::DisplayMode> modes;
  for (auto [w, h] : sizes) {
    for (int bits : {8, 16, 32}) modes.push_back({w, h, bits});
  }
  return modes;
}

std::vector<ddraw::DisplayMode> CurrentModes() {
  Settings& s = Shared();
  return s.customModes ? s.modes : DefaultModes();
}

void FillModeDesc(const ddraw::DisplayMode& m, DDSURFACEDESC* d) {
  std::memset(d, 0, sizeof *d);
  d->dwSize = sizeof *d;
  d->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
  d->dwWidth = static_cast<DWORD>(m.width);
  d->dwHeight = static_cast<DWORD>(m.height);
  const Format f = FormatFor(m.bitCount);
  d->lPitch = (m.width * f.BytesPerPixel() + 7) & ~7;
  d->dwRefreshRate = static_cast<DWORD>(GetRefreshRate());
  d->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d->ddpfPixelFormat.dwFlags = m.bitCount == 8 ? DDPF_RGB | DDPF_PALETTEINDEXED8 : DDPF_RGB;
  d->ddpfPixelFormat.dwRGBBitCount = static_cast<DWORD>(m.bitCount);
  d->ddpfPixelFormat.dwRBitMask = f.masks[0];
  d->ddpfPixelFormat.dwGBitMask = f.masks[1];
  d->ddpfPixelFormat.dwBBitMask = f.masks[2];
}

}  // namespace

Format DisplayObject::DisplayFormat() const {
  if (modeSet) return FormatFor(mode.bitCount);
  return FormatFor(GetScreenBitCount());
}

void DisplayObject::LoseSurfaces() {
  for (SurfaceObject* s : surfaces) {
    if (s->InVideoMemory() || s->IsPrimary() || s->frontOf) s->lost = true;
  }
  // Whatever the screen shows from now on starts from nothing the presenter kept.
  if (window) ForgetPresentedPicture(window);
}

void DisplayObject::NoticeDeactivation() {
  if (!Exclusive()) return;
  const uint32_t now = GetDeactivationCount();
  if (now != seenDeactivations) {
    seenDeactivations = now;
    LoseSurfaces();
  }
}

void DisplayObject::DestroyEverything() {
  // Surfaces first (they hold references to palettes and clippers), the last made first.
  while (!surfaces.empty()) DestroySurface(surfaces.back());
  while (!palettes.empty()) DestroyPalette(palettes.back());
  while (!clippers.empty()) DestroyClipper(clippers.back());
}

void DestroyPalette(PaletteObject* p) {
  DisplayObject* d = p->owner;
  d->palettes.erase(std::remove(d->palettes.begin(), d->palettes.end(), p), d->palettes.end());
  for (SurfaceObject* s : d->surfaces) {
    if (s->palette == p) s->palette = nullptr;
  }
  Unregister(p);
  delete p;
}

void DestroyClipper(ClipperObject* c) {
  DisplayObject* d = c->owner;
  d->clippers.erase(std::remove(d->clippers.begin(), d->clippers.end(), c), d->clippers.end());
  for (SurfaceObject* s : d->surfaces) {
    if (s->clipper == c) s->clipper = nullptr;
  }
  Unregister(c);
  delete c;
}

namespace {

DisplayObject* AsDisplay(IDirectDraw* p) {
  return IsLive(p, Kind::Display) ? static_cast<DisplayObject*>(p) : nullptr;
}
PaletteObject* AsPalette(IDirectDrawPalette* p) {
  return IsLive(p, Kind::Palette) ? static_cast<PaletteObject*>(p) : nullptr;
}
ClipperObject* AsClipper(IDirectDrawClipper* p) {
  return IsLive(p, Kind::Clipper) ? static_cast<ClipperObject*>(p) : nullptr;
}

// Ends the exclusive level and any mode: the program sees the monitor's size again.
void LeaveExclusive(DisplayObject* d) {
  Settings& s = Shared();
  if (d->modeSet) {
    d->modeSet = false;
    EndScreenMode();
  }
  if (s.exclusiveOwner == d) s.exclusiveOwner = nullptr;
}

}  // namespace
}  // namespace ddraw_internal

using namespace ddraw_internal;

// ---------------------------------------------------------------------------------------
// The entry point.

HRESULT DirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, void* unkOuter) {
  if (!directDraw) return DDERR_INVALIDPARAMS;
  *directDraw = nullptr;
  if (unkOuter) return DDERR_INVALIDPARAMS;
  if (guid) return DDERR_INVALIDDIRECTDRAWGUID;
  auto* d = new DisplayObject();
  Register(d, Kind::Display);
  *directDraw = d;
  return DD_OK;
}

// ---------------------------------------------------------------------------------------
// The display object.

ULONG IDirectDraw::AddRef() {
  DisplayObject* d = AsDisplay(this);
  return d ? ++d->refs : 0;
}

ULONG IDirectDraw::Release() {
  DisplayObject* d = AsDisplay(this);
  if (!d) return 0;
  if (--d->refs > 0) return d->refs;
  d->DestroyEverything();
  LeaveExclusive(d);
  Unregister(d);
  delete d;
  return 0;
}

HRESULT IDirectDraw::GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) {
  if (!AsDisplay(this)) return DDERR_INVALIDOBJECT;
  if (!driverCaps && !emulationCaps) return DDERR_INVALIDPARAMS;
  for (DDCAPS* caps : {driverCaps, emulationCaps}) {
    if (caps && caps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
  }
  for (DDCAPS* caps : {driverCaps, emulationCaps}) {
    if (!caps) continue;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = sizeof *caps;
    caps->dwCaps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_GDI | DDCAPS_PALETTE | DDCAPS_PALETTEVSYNC |
                   DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL | DDCAPS_CANCLIP | DDCAPS_CANCLIPSTRETCHED |
                   DDCAPS_CANBLTSYSMEM;
    caps->dwCKeyCaps = DDCKEYCAPS_SRCBLT;
    caps->dwPalCaps = DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256 | DDPCAPS_VSYNC;
    caps->dwVidMemTotal = Shared().videoMemory;
    caps->dwVidMemFree = ddraw::VideoMemoryFree();
    caps->ddsOldCaps.dwCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                           DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE | DDSCAPS_PRIMARYSURFACE |
                           DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY | DDSCAPS_VISIBLE;
  }
  return DD_OK;
}

HRESULT IDirectDraw::SetCooperativeLevel(HWND hwnd, DWORD flags) {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  const bool normal = (flags & DDSCL_NORMAL) != 0;
  const bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0, fullScreen = (flags & DDSCL_FULLSCREEN) != 0;
  // Exactly one of the windowed level and the exclusive full-screen pair.
  if (normal == (exclusive || fullScreen) || exclusive != fullScreen) return DDERR_INVALIDPARAMS;
  if (hwnd && !IsWindow(hwnd)) return DDERR_INVALIDPARAMS;
  Settings& s = Shared();
  if (exclusive) {
    if (!hwnd || GetParent(hwnd)) return DDERR_INVALIDPARAMS;  // a top-level window holds the screen
    if (s.exclusiveOwner && s.exclusiveOwner != d) return DDERR_EXCLUSIVEMODEALREADYSET;
    s.exclusiveOwner = d;
    d->seenDeactivations = GetDeactivationCount();
  } else if (d->Exclusive()) {
    LeaveExclusive(d);
  }
  d->window = hwnd;
  d->level = flags;
  return DD_OK;
}

HRESULT IDirectDraw::EnumDisplayModes(DWORD, LPDDSURFACEDESC filter, void* context, LPDDENUMMODESCALLBACK callback) {
  if (!AsDisplay(this)) return DDERR_INVALIDOBJECT;
  if (!callback) return DDERR_INVALIDPARAMS;
  if (filter && filter->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  for (const ddraw::DisplayMode& m : CurrentModes()) {
    if (filter) {
      if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != static_cast<DWORD>(m.width)) continue;
      if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != static_cast<DWORD>(m.height)) continue;
      if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
          filter->ddpfPixelFormat.dwRGBBitCount != static_cast<DWORD>(m.bitCount)) {
        continue;
      }
    }
    // The callback gets a copy, so whatever it does to the record changes nothing here.
    DDSURFACEDESC desc;
    FillModeDesc(m, &desc);
    if (callback(&desc, context) == DDENUMRET_CANCEL) break;
  }
  return DD_OK;
}

HRESULT IDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitCount) {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  if (!d->Exclusive()) return DDERR_NOEXCLUSIVEMODE;
  const auto modes = CurrentModes();
  const auto it = std::find_if(modes.begin(), modes.end(), [&](const ddraw::DisplayMode& m) {
    return static_cast<DWORD>(m.width) == width && static_cast<DWORD>(m.height) == height &&
           static_cast<DWORD>(m.bitCount) == bitCount;
  });
  if (it == modes.end()) return DDERR_INVALIDMODE;
  // Surfaces made for the old mode are gone from the screen, as after a real change.
  if (d->modeSet) d->LoseSurfaces();
  d->mode = *it;
  d->modeSet = true;
  BeginScreenMode(d->window, it->width, it->height, it->bitCount);
  return DD_OK;
}

HRESULT IDirectDraw::RestoreDisplayMode() {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  if (d->modeSet) {
    d->LoseSurfaces();
    d->modeSet = false;
    EndScreenMode();
  }
  return DD_OK;
}

HRESULT IDirectDraw::GetDisplayMode(LPDDSURFACEDESC desc) {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  if (!desc || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  if (d->modeSet) {
    FillModeDesc(d->mode, desc);
  } else {
    const ddraw::DisplayMode screen = ScreenSize();
    FillModeDesc({screen.width, screen.height, GetScreenBitCount()}, desc);
  }
  return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette, void* unkOuter) {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  if (!palette) return DDERR_INVALIDPARAMS;
  *palette = nullptr;
  if (unkOuter || !entries) return DDERR_INVALIDPARAMS;
  int count;
  switch (flags & (DDPCAPS_1BIT | DDPCAPS_2BIT | DDPCAPS_4BIT | DDPCAPS_8BIT)) {
    case DDPCAPS_1BIT: count = 2; break;
    case DDPCAPS_2BIT: count = 4; break;
    case DDPCAPS_4BIT: count = 16; break;
    case DDPCAPS_8BIT: count = 256; break;
    default: return DDERR_INVALIDPARAMS;
  }
  auto* p = new PaletteObject();
  p->owner = d;
  p->caps = flags;
  p->count = count;
  std::memcpy(p->entries, entries, sizeof(PALETTEENTRY) * static_cast<size_t>(count));
  // Without ALLOW256 the first and last entries stay black and white, as the platform keeps them.
  if (count == 256 && !(flags & DDPCAPS_ALLOW256)) {
    p->entries[0] = PALETTEENTRY{0, 0, 0, 0};
    p->entries[255] = PALETTEENTRY{255, 255, 255, 0};
  }
  Register(p, Kind::Palette);
  d->palettes.push_back(p);
  *palette = p;
  return DD_OK;
}

HRESULT IDirectDraw::CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, void* unkOuter) {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  if (!clipper) return DDERR_INVALIDPARAMS;
  *clipper = nullptr;
  if (flags || unkOuter) return DDERR_INVALIDPARAMS;
  auto* c = new ClipperObject();
  c->owner = d;
  Register(c, Kind::Clipper);
  d->clippers.push_back(c);
  *clipper = c;
  return DD_OK;
}

HRESULT IDirectDraw::FlipToGDISurface() {
  DisplayObject* d = AsDisplay(this);
  if (!d) return DDERR_INVALIDOBJECT;
  SurfaceObject* p = d->primary;
  if (!p || !p->backBuffer) return DDERR_NOTFOUND;
  // After an odd number of flips the desktop's store is the back buffer's.
  if (p->flips % 2 != 0) {
    std::swap(p->store, p->backBuffer->store);
    ++p->flips;
    if (!p->lost) PresentPrimary(p);
  }
  return DD_OK;
}

HRESULT IDirectDraw::WaitForVerticalBlank(DWORD flags, HANDLE) {
  if (!AsDisplay(this)) return DDERR_INVALIDOBJECT;
  switch (flags) {
    case DDWAITVB_BLOCKBEGIN:
      ::WaitForVerticalBlank();
      return DD_OK;
    case DDWAITVB_BLOCKEND:
      // The blank has ended one blank-length after it began.
      ::WaitForVerticalBlank();
      while (InVerticalBlank()) ::WaitForVerticalBlank();
      return DD_OK;
    default:
      return DDERR_UNSUPPORTED;  // no events to signal
  }
}

HRESULT IDirectDraw::GetVerticalBlankStatus(BOOL* inBlank) {
  if (!AsDisplay(this)) return DDERR_INVALIDOBJECT;
  if (!inBlank) return DDERR_INVALIDPARAMS;
  *inBlank = InVerticalBlank();
  return DD_OK;
}

// ---------------------------------------------------------------------------------------
// Palettes.

ULONG IDirectDrawPalette::AddRef() {
  PaletteObject* p = AsPalette(this);
  return p ? ++p->refs : 0;
}

ULONG IDirectDrawPalette::Release() {
  PaletteObject* p = AsPalette(this);
  if (!p) return 0;
  if (--p->refs > 0) return p->refs;
  DestroyPalette(p);
  return 0;
}

HRESULT IDirectDrawPalette::GetCaps(DWORD* caps) {
  PaletteObject* p = AsPalette(this);
  if (!p) return DDERR_INVALIDOBJECT;
  if (!caps) return DDERR_INVALIDPARAMS;
  *caps = p->caps;
  return DD_OK;
}

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD start, DWORD count, LPPALETTEENTRY entries) {
  PaletteObject* p = AsPalette(this);
  if (!p) return DDERR_INVALIDOBJECT;
  if (!entries || start > static_cast<DWORD>(p->count) || count > static_cast<DWORD>(p->count) - start) {
    return DDERR_INVALIDPARAMS;
  }
  std::memcpy(entries, p->entries + start, sizeof(PALETTEENTRY) * count);
  return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD, DWORD start, DWORD count, LPPALETTEENTRY entries) {
  PaletteObject* p = AsPalette(this);
  if (!p) return DDERR_INVALIDOBJECT;
  if (!entries || start > static_cast<DWORD>(p->count) || count > static_cast<DWORD>(p->count) - start) {
    return DDERR_INVALIDPARAMS;
  }
  for (DWORD i = 0; i < count; ++i) {
    const DWORD at = start + i;
    if (p->count == 256 && !(p->caps & DDPCAPS_ALLOW256) && (at == 0 || at == 255)) continue;
    p->entries[at] = entries[i];
  }
  ++p->version;
  // An 8-bit primary is seen through its palette: a change shows at once.
  DisplayObject* d = p->owner;
  if (d->primary && d->primary->palette == p && d->primary->format.bitCount == 8 && !d->primary->lost) {
    PresentPrimary(d->primary);
  }
  return DD_OK;
}

// ---------------------------------------------------------------------------------------
// Clippers.

ULONG IDirectDrawClipper::AddRef() {
  ClipperObject* c = AsClipper(this);
  return c ? ++c->refs : 0;
}

ULONG IDirectDrawClipper::Release() {
  ClipperObject* c = AsClipper(this);
  if (!c) return 0;
  if (--c->refs > 0) return c->refs;
  DestroyClipper(c);
  return 0;
}

HRESULT IDirectDrawClipper::GetHWnd(HWND* hwnd) {
  ClipperObject* c = AsClipper(this);
  if (!c) return DDERR_INVALIDOBJECT;
  if (!hwnd) return DDERR_INVALIDPARAMS;
  *hwnd = c->hwnd;
  return DD_OK;
}

HRESULT IDirectDrawClipper::SetHWnd(DWORD flags, HWND hwnd) {
  ClipperObject* c = AsClipper(this);
  if (!c) return DDERR_INVALIDOBJECT;
  if (flags || (hwnd && !IsWindow(hwnd))) return DDERR_INVALIDPARAMS;
  c->hwnd = hwnd;
  return DD_OK;
}

// ---------------------------------------------------------------------------------------
// Settings for tests.

namespace ddraw {

void SetVideoMemory(DWORD bytes) { Shared().videoMemory = bytes; }

DWORD VideoMemoryFree() {
  const Settings& s = Shared();
  return s.videoUsed >= s.videoMemory ? 0 : static_cast<DWORD>(s.videoMemory - s.videoUsed);
}

void SetDisplayModes(const std::vector<DisplayMode>& modes) {
  Shared().customModes = true;
  Shared().modes = modes;
}

std::vector<DisplayMode> DisplayModes() { return CurrentModes(); }

void ResetDirectDrawSettings() {
  Settings& s = Shared();
  s.videoMemory = 32u << 20;
  s.customModes = false;
  s.modes.clear();
}

int LiveObjectCount() { return static_cast<int>(Live().size()); }

}  // namespace ddraw
