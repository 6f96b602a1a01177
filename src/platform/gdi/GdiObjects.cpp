// Handles, device contexts, bitmaps, palettes and the other GDI objects.
#include <algorithm>
#include <limits>
#include <unordered_map>

#include "platform/gdi/GdiInternal.h"

namespace gdi {
namespace {

struct Table {
  std::unordered_map<uintptr_t, std::unique_ptr<Object>> objects;
  uintptr_t next = 1;
  HGDIOBJ stock[18] = {};
  HBITMAP stockBitmap = nullptr;
  int screenBits = 32;
  PALETTEENTRY system[256] = {};
};

constexpr PALETTEENTRY kStatics[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

void ResetSystemPalette(PALETTEENTRY* system) {
  for (int i = 0; i < 256; ++i) system[i] = PALETTEENTRY{0, 0, 0, 0};
  for (int i = 0; i < 10; ++i) system[i] = kStatics[i];
  for (int i = 0; i < 10; ++i) system[246 + i] = kStatics[10 + i];
}

Table& T() {
  static Table* table = [] {
    auto* t = new Table;
    ResetSystemPalette(t->system);
    return t;
  }();
  return *table;
}

HGDIOBJ Insert(std::unique_ptr<Object> object) {
  Table& t = T();
  // Handles are never reused, so a stale handle can never reach a newer object. They start
  // well away from zero and keep their low bits clear so they look like the platform's.
  uintptr_t key = 0x10000 + (t.next++ << 4);
  t.objects.emplace(key, std::move(object));
  return reinterpret_cast<HGDIOBJ>(key);
}

void Erase(const void* handle) { T().objects.erase(reinterpret_cast<uintptr_t>(handle)); }

HGDIOBJ CreateStock(int which) {
  std::unique_ptr<Object> o;
  auto brush = [](UINT style, COLORREF c) {
    auto b = std::make_unique<Brush>();
    b->style = style;
    b->color = c;
    return b;
  };
  auto pen = [](int style, COLORREF c) {
    auto p = std::make_unique<Pen>();
    p->style = style;
    p->color = c;
    return p;
  };
  auto font = [](LONG height, LONG weight, const char* face) {
    auto f = std::make_unique<Font>();
    f->lf.lfHeight = height;
    f->lf.lfWeight = weight;
    f->lf.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(f->lf.lfFaceName, face, LF_FACESIZE - 1);
    return f;
  };
  switch (which) {
    case WHITE_BRUSH: o = brush(BS_SOLID, RGB(255, 255, 255)); break;
    case LTGRAY_BRUSH: o = brush(BS_SOLID, RGB(192, 192, 192)); break;
    case GRAY_BRUSH: o = brush(BS_SOLID, RGB(128, 128, 128)); break;
    case DKGRAY_BRUSH: o = brush(BS_SOLID, RGB(64, 64, 64)); break;
    case BLACK_BRUSH: o = brush(BS_SOLID, RGB(0, 0, 0)); break;
    case NULL_BRUSH: o = brush(BS_NULL, 0); break;
    case WHITE_PEN: o = pen(PS_SOLID, RGB(255, 255, 255)); break;
    case BLACK_PEN: o = pen(PS_SOLID, RGB(0, 0, 0)); break;
    case NULL_PEN: o = pen(PS_NULL, 0); break;
    case SYSTEM_FONT: o = font(16, FW_BOLD, "System"); break;
    case DEFAULT_GUI_FONT: o = font(-11, FW_NORMAL, "MS Shell Dlg"); break;
    case DEFAULT_PALETTE: {
      auto p = std::make_unique<Palette>();
      p->entries.assign(kStatics, kStatics + 20);
      o = std::move(p);
      break;
    }
    default: return nullptr;
  }
  o->stock = true;
  return Insert(std::move(o));
}

// Deselects a bitmap from whatever DC held it.
void SetSelected(HBITMAP h, HDC dc) {
  Bitmap* b = GetBitmap(h);
  if (b && !b->stock) b->selectedIn = dc;
}

std::unique_ptr<Bitmap> NewBitmap(int width, int height, int bpp, bool dib) {
  if (width <= 0 || height <= 0) return nullptr;
  const int64_t rowBytes = bmp::RowBytes(bpp, width);
  if (rowBytes <= 0 || rowBytes > bmp::kMaxRowBytes) return nullptr;
  const auto stride = static_cast<size_t>(rowBytes);
  // Refuse sizes no caller could mean (and that would overflow int arithmetic later).
  if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) > (uint64_t{1} << 30)) return nullptr;
  auto b = std::make_unique<Bitmap>();
  b->width = width;
  b->height = height;
  b->bpp = bpp;
  b->stride = static_cast<int>(stride);
  b->size = stride * static_cast<size_t>(height);
  b->storage.reset(new (std::nothrow) uint8_t[b->size]());
  if (!b->storage) return nullptr;
  b->memory = b->storage.get();
  b->dibSection = dib;
  const bmp::PixelFormat format = bmp::DefaultFormat(bpp);
  std::copy(format.masks, format.masks + 3, b->masks);
  return b;
}

std::vector<RGBQUAD> MonoColors() { return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}}; }

HBITMAP MakeDeviceBitmap(int width, int height, int bpp) {
  auto b = NewBitmap(width, height, bpp, false);
  if (!b) return nullptr;
  if (bpp == 1) b->colors = MonoColors();
  if (bpp == 8) b->systemPalette = true;
  // Device bitmaps take the screen's 16-bit layout, which is 5-6-5.
  if (bpp == 16) std::copy(bmp::kRgb565.masks, bmp::kRgb565.masks + 3, b->masks);
  return static_cast<HBITMAP>(Insert(std::move(b)));
}

// A bitmap like the one selected into dc (or like the screen).
HBITMAP MakeCompatible(Dc* dc, int width, int height) {
  if (!dc) return MakeDeviceBitmap(width, height, T().screenBits);
  if (dc->buffer) {
    auto b = NewBitmap(width, height, dc->bpp, true);
    if (!b) return nullptr;
    std::copy(dc->masks, dc->masks + 3, b->masks);
    b->colors = dc->colors;
    b->dibSection = false;
    if (dc->bpp == 8 && b->colors.empty()) b->systemPalette = true;
    return static_cast<HBITMAP>(Insert(std::move(b)));
  }
  Bitmap* cur = GetBitmap(dc->st.bitmap);
  if (!cur) return MakeDeviceBitmap(width, height, 1);
  if (!cur->dibSection) return MakeDeviceBitmap(width, height, cur->bpp);
  // A DC holding a DIB section makes sections of the same format.
  auto b = NewBitmap(width, height, cur->bpp, true);
  if (!b) return nullptr;
  std::copy(cur->masks, cur->masks + 3, b->masks);
  b->bitfields = cur->bitfields;
  b->colors = cur->colors;
  b->header = cur->header;
  b->header.biWidth = width;
  b->header.biHeight = cur->topDown ? -height : height;
  b->header.biSizeImage = static_cast<DWORD>(b->size);
  b->topDown = cur->topDown;
  return static_cast<HBITMAP>(Insert(std::move(b)));
}

}  // namespace

std::recursive_mutex& Mutex() {
  static std::recursive_mutex m;
  return m;
}

Object* Lookup(const void* handle) {
  if (!handle) return nullptr;
  auto& objects = T().objects;
  auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == objects.end() ? nullptr : it->second.get();
}

const PALETTEENTRY* SystemPalette() { return T().system; }

HGDIOBJ InsertObject(std::unique_ptr<Object> object) { return Insert(std::move(object)); }

COLORREF ResolveColor(Dc& dc, COLORREF c) {
  if ((c >> 24) == 0x01) {
    Palette* p = GetPalette(dc.st.palette);
    UINT index = c & 0xFFFF;
    if (p && index < p->entries.size()) {
      const PALETTEENTRY& e = p->entries[index];
      return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    return 0;
  }
  return c & 0x00FFFFFF;
}

bool SurfaceOfBitmap(const Bitmap& b, Surface& s) {
  s.width = b.width;
  s.height = b.height;
  s.bpp = b.bpp;
  std::copy(b.masks, b.masks + 3, s.masks);
  if (b.topDown || !b.dibSection) {
    s.top = b.memory;
    s.pitch = b.stride;
  } else {
    s.top = b.memory + static_cast<size_t>(b.height - 1) * b.stride;
    s.pitch = -static_cast<ptrdiff_t>(b.stride);
  }
  s.monoDevice = !b.dibSection && b.bpp == 1;
  if (b.systemPalette) {
    s.ownColors.resize(256);
    const PALETTEENTRY* sys = SystemPalette();
    for (int i = 0; i < 256; ++i) s.ownColors[i] = RGBQUAD{sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0};
    s.colors = s.ownColors.data();
    s.colorCount = 256;
  } else {
    s.colors = b.colors.data();
    s.colorCount = static_cast<int>(b.colors.size());
  }
  return true;
}

bool SurfaceOfDc(Dc& dc, Surface& s) {
  if (!dc.buffer) {
    Bitmap* b = GetBitmap(dc.st.bitmap);
    if (dc.accumulate) s.bounds = &dc.bounds;
    return b && SurfaceOfBitmap(*b, s);
  }
  if (!dc.pixels) return false;
  if (dc.accumulate) s.bounds = &dc.bounds;
  s.top = dc.pixels;
  s.pitch = dc.pitch;
  s.width = dc.width;
  s.height = dc.height;
  s.bpp = dc.bpp;
  std::copy(dc.masks, dc.masks + 3, s.masks);
  if (dc.bpp <= 8) {
    if (!dc.colors.empty()) {
      s.colors = dc.colors.data();
      s.colorCount = static_cast<int>(dc.colors.size());
    } else {
      // Without a colour table of its own, the buffer shows the DC's palette, or the
      // system palette while the default one is selected.
      Palette* p = GetPalette(dc.st.palette);
      if (p && !p->stock) {
        for (const PALETTEENTRY& e : p->entries) s.ownColors.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
      } else {
        const PALETTEENTRY* sys = SystemPalette();
        for (int i = 0; i < 256; ++i) s.ownColors.push_back(RGBQUAD{sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0});
      }
      s.colors = s.ownColors.data();
      s.colorCount = static_cast<int>(s.ownColors.size());
    }
  }
  return true;
}

}  // namespace gdi

using namespace gdi;

void SetScreenBitCount(int bitCount) {
  GDI_LOCK;
  if (bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32) {
    T().screenBits = bitCount;
    ResetSystemPalette(T().system);
  }
}

int GetScreenBitCount() {
  GDI_LOCK;
  return T().screenBits;
}

int LiveGdiObjectCount() {
  GDI_LOCK;
  const auto& objects = T().objects;
  return static_cast<int>(std::count_if(objects.begin(), objects.end(), [](const auto& o) { return !o.second->stock; }));
}

HGDIOBJ GetStockObject(int which) {
  GDI_LOCK;
  if (which < 0 || which >= 18) return nullptr;
  Table& t = T();
  if (!t.stock[which]) t.stock[which] = CreateStock(which);
  return t.stock[which];
}

HDC CreateCompatibleDC(HDC reference) {
  GDI_LOCK;
  if (reference && !GetDc(reference)) return nullptr;
  auto dc = std::make_unique<Dc>();
  // Every memory DC starts on the same stock 1 x 1 monochrome bitmap, as on the platform,
  // so handing it from one DC to another never leaves a DC holding a deleted bitmap.
  Table& t = T();
  if (!t.stockBitmap) {
    t.stockBitmap = MakeDeviceBitmap(1, 1, 1);
    if (!t.stockBitmap) return nullptr;
    GetBitmap(t.stockBitmap)->stock = true;
  }
  HBITMAP mono = t.stockBitmap;
  // A memory DC made for another DC reports that device's capabilities.
  if (Dc* ref = GetDc(reference)) dc->deviceBits = ref->buffer ? ref->bpp : ref->deviceBits;
  dc->defaultBitmap = mono;
  dc->st.bitmap = mono;
  dc->st.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  dc->st.brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  dc->st.pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  dc->st.palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  HDC h = static_cast<HDC>(Insert(std::move(dc)));
  SetSelected(mono, h);
  return h;
}

HDC CreateBufferDC(void* pixels, int width, int height, int pitch, int bitCount, const DWORD* masks,
                   const RGBQUAD* colors, int colorCount) {
  GDI_LOCK;
  if (!pixels || width <= 0 || height <= 0) return nullptr;
  if (!bmp::IsBitCount(static_cast<int32_t>(bitCount))) return nullptr;
  size_t minRow = (static_cast<size_t>(width) * bitCount + 7) / 8;
  size_t absPitch = static_cast<size_t>(pitch < 0 ? -static_cast<int64_t>(pitch) : pitch);
  if (absPitch < minRow) return nullptr;
  auto dc = std::make_unique<Dc>();
  dc->buffer = true;
  dc->pixels = static_cast<uint8_t*>(pixels);
  dc->width = width;
  dc->height = height;
  dc->pitch = pitch;
  dc->bpp = bitCount;
  if (masks && (bitCount == 16 || bitCount == 32)) {
    std::copy(masks, masks + 3, dc->masks);
    if (bmp::CheckMasks(dc->masks, bitCount) != bmp::MaskFault::None) return nullptr;
  } else {
    // Display surfaces and window buffers at 16 bits are 5-6-5 unless told otherwise.
    const bmp::PixelFormat format = bitCount == 16 ? bmp::kRgb565 : bmp::DefaultFormat(bitCount);
    std::copy(format.masks, format.masks + 3, dc->masks);
  }
  if (bitCount <= 8 && colors && colorCount > 0)
    dc->colors.assign(colors, colors + std::min(colorCount, 1 << bitCount));
  dc->st.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  dc->st.brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  dc->st.pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  dc->st.palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  return static_cast<HDC>(Insert(std::move(dc)));
}

BOOL SetBufferDCColors(HDC h, const RGBQUAD* colors, int colorCount) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !dc->buffer || colorCount < 0 || (colorCount > 0 && !colors)) return FALSE;
  if (dc->bpp > 8) return FALSE;
  dc->colors.assign(colors, colors + std::min(colorCount, 1 << dc->bpp));
  return TRUE;
}

BOOL SetBufferDCPixels(HDC h, void* pixels, int pitch) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !dc->buffer || !pixels) return FALSE;
  size_t minRow = (static_cast<size_t>(dc->width) * dc->bpp + 7) / 8;
  size_t absPitch = static_cast<size_t>(pitch < 0 ? -static_cast<int64_t>(pitch) : pitch);
  if (absPitch < minRow) return FALSE;
  dc->pixels = static_cast<uint8_t*>(pixels);
  dc->pitch = pitch;
  return TRUE;
}

BOOL DeleteDC(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return FALSE;
  SetSelected(dc->st.bitmap, nullptr);
  Erase(h);
  return TRUE;
}

namespace {

HGDIOBJ SelectInto(Dc& dc, HDC h, HGDIOBJ object) {
  Object* o = Lookup(object);
  if (!o) return nullptr;
  switch (o->kind) {
    case Kind::Bitmap: {
      if (dc.buffer) return nullptr;
      auto* b = static_cast<Bitmap*>(o);
      if (b->selectedIn && b->selectedIn != h) return nullptr;  // a bitmap lives in one DC
      HBITMAP previous = dc.st.bitmap;
      SetSelected(previous, nullptr);
      dc.st.bitmap = static_cast<HBITMAP>(object);
      SetSelected(dc.st.bitmap, h);
      return previous;
    }
    case Kind::Font: {
      HGDIOBJ previous = dc.st.font;
      dc.st.font = static_cast<HFONT>(object);
      return previous;
    }
    case Kind::Brush: {
      HGDIOBJ previous = dc.st.brush;
      dc.st.brush = static_cast<HBRUSH>(object);
      return previous;
    }
    case Kind::Pen: {
      HGDIOBJ previous = dc.st.pen;
      dc.st.pen = static_cast<HPEN>(object);
      return previous;
    }
    case Kind::Palette: {
      // The platform wants SelectPalette here; taking it as a foreground selection is
      // kinder than failing.
      HGDIOBJ previous = dc.st.palette;
      dc.st.palette = static_cast<HPALETTE>(object);
      return previous;
    }
    default: return nullptr;
  }
}

}  // namespace

HGDIOBJ SelectObject(HDC h, HGDIOBJ object) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return nullptr;
  return SelectInto(*dc, h, object);
}

BOOL DeleteObject(HGDIOBJ object) {
  GDI_LOCK;
  Object* o = Lookup(object);
  if (!o || o->kind == Kind::Dc) return FALSE;
  if (o->stock) return TRUE;  // the platform ignores deleting a stock object
  // An object still selected into a DC stays alive; the platform refuses to delete it.
  for (auto& [key, other] : T().objects) {
    if (other->kind != Kind::Dc) continue;
    auto* dc = static_cast<Dc*>(other.get());
    const DcState& s = dc->st;
    if (s.bitmap == object || s.font == object || s.brush == object || s.pen == object || s.palette == object)
      return FALSE;
  }
  if (o->kind == Kind::Font) DeleteFontCache(static_cast<Font*>(o));
  Erase(object);
  return TRUE;
}

UINT GetObjectType(HGDIOBJ object) {
  GDI_LOCK;
  Object* o = Lookup(object);
  if (!o) return 0;
  switch (o->kind) {
    case Kind::Dc: return static_cast<Dc*>(o)->buffer ? OBJ_DC : OBJ_MEMDC;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Palette: return OBJ_PAL;
    case Kind::Font: return OBJ_FONT;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
  }
  return 0;
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_BITMAP: return dc->st.bitmap;
    case OBJ_FONT: return dc->st.font;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_PEN: return dc->st.pen;
    case OBJ_PAL: return dc->st.palette;
    default: return nullptr;
  }
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
  GDI_LOCK;
  Object* o = Lookup(object);
  if (!o || size < 0) return 0;
  auto copyOut = [&](const void* record, int recordSize) -> int {
    if (!buffer) return recordSize;
    int n = std::min(size, recordSize);
    std::memcpy(buffer, record, static_cast<size_t>(n));
    return n;
  };
  switch (o->kind) {
    case Kind::Bitmap: {
      auto* b = static_cast<Bitmap*>(o);
      DIBSECTION ds{};
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = b->width;
      ds.dsBm.bmHeight = b->height;
      ds.dsBm.bmWidthBytes = b->dibSection ? b->stride : ((b->width * b->bpp + 15) / 16) * 2;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = static_cast<WORD>(b->bpp);
      ds.dsBm.bmBits = b->dibSection ? b->memory : nullptr;
      if (!b->dibSection || size < static_cast<int>(sizeof(DIBSECTION)))
        return copyOut(&ds.dsBm, static_cast<int>(sizeof(BITMAP)));
      ds.dsBmih = b->header;
      if (b->bpp == 16 || b->bpp == 32) std::copy(b->masks, b->masks + 3, ds.dsBitfields);
      ds.dshSection = nullptr;
      ds.dsOffset = 0;
      return copyOut(&ds, static_cast<int>(sizeof(DIBSECTION)));
    }
    case Kind::Palette: {
      WORD count = static_cast<WORD>(static_cast<Palette*>(o)->entries.size());
      return copyOut(&count, static_cast<int>(sizeof(WORD)));
    }
    case Kind::Font: return copyOut(&static_cast<Font*>(o)->lf, static_cast<int>(sizeof(LOGFONTA)));
    case Kind::Brush: {
      auto* b = static_cast<Brush*>(o);
      LOGBRUSH lb{b->style, b->color, 0};
      return copyOut(&lb, static_cast<int>(sizeof(LOGBRUSH)));
    }
    case Kind::Pen: {
      auto* p = static_cast<Pen*>(o);
      LOGPEN lp{static_cast<UINT>(p->style), POINT{p->width, 0}, p->color};
      return copyOut(&lp, static_cast<int>(sizeof(LOGPEN)));
    }
    case Kind::Dc: return 0;
  }
  return 0;
}

int GetDeviceCaps(HDC h, int index) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return 0;
  int bits = dc->buffer ? dc->bpp : (dc->deviceBits ? dc->deviceBits : T().screenBits);
  switch (index) {
    case BITSPIXEL: return bits;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case RASTERCAPS: return 0x7E99 | (bits == 8 ? RC_PALETTE : 0);
    case SIZEPALETTE: return bits == 8 ? 256 : 0;
    case NUMRESERVED: return bits == 8 ? 20 : 0;
    case NUMCOLORS: return bits <= 8 ? 20 : -1;
    case HORZRES: return dc->buffer ? dc->width : 0;
    case VERTRES: return dc->buffer ? dc->height : 0;
    default: return 0;
  }
}

int SaveDC(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC h, int level) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return FALSE;
  int depth = static_cast<int>(dc->saved.size());
  if (level < 0) level = depth + 1 + level;
  if (level < 1 || level > depth) return FALSE;
  DcState target = dc->saved[static_cast<size_t>(level - 1)];
  dc->saved.resize(static_cast<size_t>(level - 1));
  // Objects deleted since the save cannot come back; keep what is selected instead.
  HBITMAP bitmap = target.bitmap;
  target.bitmap = dc->st.bitmap;
  if (!GetFont(target.font)) target.font = dc->st.font;
  if (!GetBrush(target.brush)) target.brush = dc->st.brush;
  if (!GetPen(target.pen)) target.pen = dc->st.pen;
  if (!GetPalette(target.palette)) target.palette = dc->st.palette;
  dc->st = target;
  if (bitmap != dc->st.bitmap && GetBitmap(bitmap)) SelectInto(*dc, h, bitmap);
  return TRUE;
}

HBITMAP CreateDIBSection(HDC h, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
  GDI_LOCK;
  if (bits) *bits = nullptr;
  if (!info || section || offset != 0) return nullptr;
  if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return nullptr;
  Dc* dc = h ? GetDc(h) : nullptr;
  if (h && !dc) return nullptr;
  DibInfo dib;
  if (!ReadDibInfo(info, dib)) return nullptr;
  const bmp::Header& header = dib.header;
  if (header.compression != BI_RGB && header.compression != BI_BITFIELDS) return nullptr;
  auto b = NewBitmap(header.width, static_cast<int>(header.Rows()), header.bitCount, true);
  if (!b) return nullptr;
  b->topDown = header.TopDown();
  std::copy(dib.format.masks, dib.format.masks + 3, b->masks);
  b->bitfields = header.compression == BI_BITFIELDS;
  if (header.bitCount <= 8) b->colors = DibColors(info, dib, usage, dc);
  b->header = info->bmiHeader;
  b->header.biSize = sizeof(BITMAPINFOHEADER);
  b->header.biSizeImage = static_cast<DWORD>(b->size);
  if (bits) *bits = b->memory;
  return static_cast<HBITMAP>(Insert(std::move(b)));
}

HBITMAP CreateCompatibleBitmap(HDC h, int width, int height) {
  GDI_LOCK;
  Dc* dc = h ? GetDc(h) : nullptr;
  if (h && !dc) return nullptr;
  // The platform hands out a 1 x 1 monochrome bitmap for a zero size.
  if (width == 0 || height == 0) return MakeDeviceBitmap(1, 1, 1);
  return MakeCompatible(dc, width, height);
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
  GDI_LOCK;
  if (planes != 1) return nullptr;
  if (!bmp::IsBitCount(static_cast<int32_t>(bitCount))) return nullptr;
  if (width == 0 || height == 0) return MakeDeviceBitmap(1, 1, 1);
  HBITMAP h = MakeDeviceBitmap(width, height, static_cast<int>(bitCount));
  Bitmap* b = GetBitmap(h);
  if (!b) return nullptr;
  if (b->bpp == 4) {
    b->colors.clear();
    for (int i = 0; i < 16; ++i) {
      int j = i < 8 ? i : i + 240;  // the sixteen VGA colours of the system palette
      const PALETTEENTRY& e = SystemPalette()[j];
      b->colors.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    }
  }
  if (bits) {
    // The caller's rows are padded to 2 bytes, as device bitmaps are; ours to 4.
    size_t srcStride = ((static_cast<size_t>(width) * bitCount + 15) / 16) * 2;
    for (int y = 0; y < height; ++y)
      std::memcpy(b->memory + static_cast<size_t>(y) * b->stride,
                  static_cast<const uint8_t*>(bits) + static_cast<size_t>(y) * srcStride, srcStride);
  }
  return h;
}

UINT SetDIBColorTable(HDC h, UINT start, UINT count, const RGBQUAD* colors) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !colors || dc->buffer) return 0;
  Bitmap* b = GetBitmap(dc->st.bitmap);
  if (!b || !b->dibSection || b->bpp > 8) return 0;
  UINT size = static_cast<UINT>(b->colors.size());
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  for (UINT i = 0; i < n; ++i) {
    b->colors[start + i] = colors[i];
    b->colors[start + i].rgbReserved = 0;
  }
  return n;
}

UINT GetDIBColorTable(HDC h, UINT start, UINT count, RGBQUAD* colors) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !colors || dc->buffer) return 0;
  Bitmap* b = GetBitmap(dc->st.bitmap);
  if (!b || !b->dibSection || b->bpp > 8) return 0;
  UINT size = static_cast<UINT>(b->colors.size());
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  for (UINT i = 0; i < n; ++i) colors[i] = b->colors[start + i];
  return n;
}

BOOL GdiFlush() { return TRUE; }

// Palettes.

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  GDI_LOCK;
  if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0 || palette->palNumEntries > 1024)
    return nullptr;
  auto p = std::make_unique<Palette>();
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return static_cast<HPALETTE>(Insert(std::move(p)));
}

HPALETTE SelectPalette(HDC h, HPALETTE palette, BOOL forceBackground) {
  GDI_LOCK;
  // Every DC is treated as the foreground one: there is a single screen and the saver is
  // the only program that realizes palettes on it.
  (void)forceBackground;
  Dc* dc = GetDc(h);
  if (!dc || !GetPalette(palette)) return nullptr;
  HPALETTE previous = dc->st.palette;
  dc->st.palette = palette;
  return previous;
}

UINT RealizePalette(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return GDI_ERROR;
  Palette* p = GetPalette(dc->st.palette);
  if (!p) return GDI_ERROR;
  Table& t = T();
  if (t.screenBits != 8 || p->stock) return 0;
  // A foreground palette takes the free system slots 10-245 in its own order. Colours that
  // equal a static colour collapse onto it unless the entry asks not to.
  PALETTEENTRY* sys = t.system;
  for (int i = 10; i < 246; ++i) sys[i] = PALETTEENTRY{0, 0, 0, 0};
  int next = 10;
  UINT mapped = 0;
  for (const PALETTEENTRY& e : p->entries) {
    if (e.peFlags & PC_EXPLICIT) continue;
    bool collapse = false;
    if (!(e.peFlags & (PC_NOCOLLAPSE | PC_RESERVED))) {
      for (int i = 0; i < 256 && !collapse; ++i) {
        if (i >= 10 && i < next) continue;
        if (i >= next && i < 246) continue;
        collapse = sys[i].peRed == e.peRed && sys[i].peGreen == e.peGreen && sys[i].peBlue == e.peBlue;
      }
      for (int i = 10; i < next && !collapse; ++i)
        collapse = sys[i].peRed == e.peRed && sys[i].peGreen == e.peGreen && sys[i].peBlue == e.peBlue;
    }
    if (collapse) continue;
    if (next >= 246) break;
    sys[next] = PALETTEENTRY{e.peRed, e.peGreen, e.peBlue, 0};
    ++next;
    ++mapped;
  }
  return mapped;
}

UINT GetPaletteEntries(HPALETTE h, UINT start, UINT count, PALETTEENTRY* entries) {
  GDI_LOCK;
  Palette* p = GetPalette(h);
  if (!p) return 0;
  UINT size = static_cast<UINT>(p->entries.size());
  if (!entries) return size;
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  std::copy(p->entries.begin() + start, p->entries.begin() + start + n, entries);
  return n;
}

UINT SetPaletteEntries(HPALETTE h, UINT start, UINT count, const PALETTEENTRY* entries) {
  GDI_LOCK;
  Palette* p = GetPalette(h);
  if (!p || !entries || p->stock) return 0;
  UINT size = static_cast<UINT>(p->entries.size());
  if (start >= size) return 0;
  UINT n = std::min(count, size - start);
  std::copy(entries, entries + n, p->entries.begin() + start);
  return n;
}

UINT GetNearestPaletteIndex(HPALETTE h, COLORREF color) {
  GDI_LOCK;
  Palette* p = GetPalette(h);
  if (!p || p->entries.empty()) return CLR_INVALID;
  std::vector<RGBQUAD> q;
  q.reserve(p->entries.size());
  for (const PALETTEENTRY& e : p->entries) q.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  return static_cast<UINT>(NearestIndex(q.data(), static_cast<int>(q.size()), color & 0xFFFFFF));
}

UINT GetSystemPaletteEntries(HDC h, UINT start, UINT count, PALETTEENTRY* entries) {
  GDI_LOCK;
  if (!GetDc(h)) return 0;
  if (!entries) return 256;
  if (start >= 256) return 0;
  UINT n = std::min(count, 256 - start);
  std::copy(T().system + start, T().system + start + n, entries);
  return n;
}
