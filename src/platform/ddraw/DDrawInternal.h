#pragma once
// The display service's objects and shared state, for its own source files only.
#include <memory>
#include <vector>

#include "platform/ddraw/DDraw.h"
#include "platform/gdi/BitmapFormat.h"
#include "platform/window/ScreenMode.h"

namespace ddraw_internal {

using ddraw::DisplayMode;

// A pixel layout: 8 bits through a palette, or 16 / 24 / 32 bits with channel masks.
using Format = bmp::PixelFormat;
Format FormatFor(int bitCount);  // 8, 16 (5-6-5), 24 or 32 (8-8-8)

// What was drawn into a store since it was last filled whole with one value: that value and
// the rectangles drawn over it since, or unknown once something drew where it cannot say (a
// device context). Two pictures filled with the same value can only differ where either
// was drawn on, so presenting one after the other need look nowhere else.
struct Drawn {
  bool known = true;  // a new store is all zero
  DWORD fill = 0;
  std::vector<RECT> rects;
};

// A surface's pixels. Duplicated surfaces share one store, and a flip swaps the stores of
// the front and back surfaces.
struct PixelStore {
  int width = 0;
  int height = 0;
  int pitch = 0;
  std::vector<uint8_t> bytes;
  Drawn drawn;
  uint8_t* Row(int y) { return bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch); }
  // Every write to the bytes says where it went through one of these.
  void Filled(DWORD value) { drawn = Drawn{true, value, {}}; }
  void DrewIn(const RECT& r);
  void DrewAnywhere() { drawn.known = false; }
};
std::shared_ptr<PixelStore> MakeStore(int width, int height, const Format& format);

class DisplayObject;
class SurfaceObject;
class PaletteObject;
class ClipperObject;

enum class Kind { Display, Surface, Palette, Clipper };

// Live objects by address; every entry point looks its object up here first.
void Register(const void* object, Kind kind);
void Unregister(const void* object);
bool IsLive(const void* object, Kind kind);

class PaletteObject : public IDirectDrawPalette {
 public:
  DisplayObject* owner = nullptr;
  ULONG refs = 1;
  DWORD caps = 0;
  int count = 256;
  PALETTEENTRY entries[256] = {};
  // Bumped on every change, so blit routines and presentation know their tables are stale.
  uint32_t version = 1;
  void ColorTable(RGBQUAD* out) const;  // `count` entries
};

class ClipperObject : public IDirectDrawClipper {
 public:
  DisplayObject* owner = nullptr;
  ULONG refs = 1;
  HWND hwnd = nullptr;
};

class SurfaceObject : public IDirectDrawSurface {
 public:
  DisplayObject* owner = nullptr;
  ULONG refs = 1;
  DWORD caps = 0;  // as the caller sees them, with the memory placement filled in
  Format format;
  std::shared_ptr<PixelStore> store;
  size_t videoBytes = 0;  // what this surface holds of the video memory budget
  bool lost = false;
  bool locked = false;
  HDC dc = nullptr;
  bool hasSourceKey = false;
  DDCOLORKEY sourceKey{};
  ClipperObject* clipper = nullptr;
  PaletteObject* palette = nullptr;
  SurfaceObject* backBuffer = nullptr;  // of a flipping primary
  SurfaceObject* frontOf = nullptr;     // the primary a back buffer belongs to
  int flips = 0;                        // parity tells FlipToGDISurface where the desktop's store is

  int Width() const { return store ? store->width : 0; }
  int Height() const { return store ? store->height : 0; }
  bool IsPrimary() const { return (caps & DDSCAPS_PRIMARYSURFACE) != 0; }
  bool InVideoMemory() const { return (caps & DDSCAPS_VIDEOMEMORY) != 0; }
  // The colour table an 8-bit surface is seen through: its own palette, else the primary's.
  const PaletteObject* SeenThrough() const;
};

// The last picture a display showed on its window, and what it was drawn from.
struct ShownPicture {
  uint64_t number = 0;  // as numbered for the window system; 0: none
  int width = 0;
  int height = 0;
  Drawn drawn;
};

class DisplayObject : public IDirectDraw {
 public:
  ULONG refs = 1;
  HWND window = nullptr;
  DWORD level = 0;
  bool modeSet = false;
  DisplayMode mode;
  SurfaceObject* primary = nullptr;
  std::vector<SurfaceObject*> surfaces;
  std::vector<PaletteObject*> palettes;
  std::vector<ClipperObject*> clippers;
  uint32_t seenDeactivations = 0;
  ShownPicture shown;

  bool Exclusive() const { return (level & DDSCL_EXCLUSIVE) != 0; }
  Format DisplayFormat() const;
  // Marks the primary chain and every video-memory surface lost.
  void LoseSurfaces();
  // Loses the surfaces when the exclusive window's program has lost the focus since the
  // last look.
  void NoticeDeactivation();
  void DestroyEverything();
};

// Shared state of the service.
struct Settings {
  DWORD videoMemory = 32u << 20;
  size_t videoUsed = 0;
  bool customModes = false;
  std::vector<DisplayMode> modes;
  DisplayObject* exclusiveOwner = nullptr;
};
Settings& Shared();

bool TakeVideoMemory(size_t bytes);
void GiveVideoMemory(size_t bytes);

// Destroys a surface (and a primary's back buffer), whatever its reference count.
void DestroySurface(SurfaceObject* surface);
void DestroyPalette(PaletteObject* palette);
void DestroyClipper(ClipperObject* clipper);

// Shows what a primary holds: through the exclusive window when the level is exclusive.
void PresentPrimary(SurfaceObject* primary);
// Puts `rect` (screen coordinates) of a windowed primary into the clipper's window.
void PresentWindowedPrimary(SurfaceObject* primary, const RECT& rect);

// Blits. Rectangles are already checked and clipped; sizes may differ (stretch).
void FillRect(SurfaceObject& dest, const RECT& rect, DWORD value);
void BlitRect(SurfaceObject& dest, const RECT& destRect, SurfaceObject& source, const RECT& sourceRect, bool keyed);

}  // namespace ddraw_internal
