// TBitmap: the bitmap graphic on a DIB section (or a device-dependent bitmap), its canvas,
// and its file, design and clipboard forms.
#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/BitmapFile.h"
#include "runtime/GlobalMemory.h"
#include "runtime/Graphics.h"

namespace {

constexpr const DWORD* Masks555 = bmp::kRgb555.masks;
constexpr const DWORD* Masks565 = bmp::kRgb565.masks;
constexpr const DWORD* Masks888 = bmp::kRgb888.masks;


// Every bitmap canvas holding a DC, with the bitmap selected into it, so a bitmap about
// to be selected into another DC can first be taken out (a bitmap lives in one DC at a
// time).
std::vector<std::pair<TBitmapCanvas*, HBITMAP>>& CanvasList() {
  static auto* list = new std::vector<std::pair<TBitmapCanvas*, HBITMAP>>;
  return *list;
}

void DeselectBitmap(HBITMAP bitmap, const TBitmapCanvas* except = nullptr) {
  if (bitmap == nullptr) return;
  const auto holders = CanvasList();
  for (const auto& [canvas, selected] : holders) {
    if (selected == bitmap && canvas != except) canvas->FreeContext();
  }
}

// The colour table a new paletted picture starts with.
std::vector<RGBQUAD> DefaultColors(int32_t bitCount) {
  std::vector<RGBQUAD> colors;
  auto add = [&](BYTE r, BYTE g, BYTE b) { colors.push_back(RGBQUAD{b, g, r, 0}); };
  if (bitCount == 1) {
    add(0, 0, 0);
    add(255, 255, 255);
  } else if (bitCount == 4) {
    static constexpr BYTE vga[16][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                        {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                        {192, 192, 192}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                                        {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (const auto& c : vga) add(c[0], c[1], c[2]);
  } else if (bitCount == 8) {
    // A 6 x 6 x 6 colour cube, then a grey ramp for the rest.
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) add(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51));
    for (int i = 0; colors.size() < 256; ++i) {
      const BYTE v = static_cast<BYTE>(8 + i * 6);
      add(v, v, v);
    }
  }
  return colors;
}

HPALETTE PaletteFromColors(const RGBQUAD* colors, int32_t count) {
  if (colors == nullptr || count <= 0) return nullptr;
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * static_cast<size_t>(count));
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(count);
  for (int32_t i = 0; i < count; ++i) {
    lp->palPalEntry[i] = PALETTEENTRY{colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
  }
  return CreatePalette(lp);
}

HPALETTE CopyPalette(HPALETTE palette) {
  if (palette == nullptr) return nullptr;
  PALETTEENTRY entries[256];
  const UINT n = GetPaletteEntries(palette, 0, 256, entries);
  if (n == 0) return nullptr;
  std::vector<RGBQUAD> colors(n);
  for (UINT i = 0; i < n; ++i) colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  return PaletteFromColors(colors.data(), static_cast<int32_t>(n));
}

// A DIB section of the given shape, pixels zero. Fails with EOutOfResources.
HBITMAP MakeSection(int32_t width, int32_t height, int32_t bitCount, const DWORD* masks, const RGBQUAD* colors,
                    int32_t colorCount, void** bits) {
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bitCount);
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(bmp::RowBytes(bitCount, width)) * static_cast<DWORD>(height < 0 ? -height : height);
  uint8_t* tail = block.data() + sizeof(BITMAPINFOHEADER);
  if (bitCount == 16 || bitCount == 32) {
    const DWORD* m = masks != nullptr ? masks : (bitCount == 16 ? Masks555 : Masks888);
    h.biCompression = BI_BITFIELDS;
    std::memcpy(tail, m, 12);
  } else if (bitCount <= 8) {
    const int32_t full = 1 << bitCount;
    const int32_t n = std::clamp(colorCount, 0, full);
    if (n > 0) std::memcpy(tail, colors, sizeof(RGBQUAD) * static_cast<size_t>(n));
    h.biClrUsed = 0;
  }
  void* p = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &p, nullptr, 0);
  if (section == nullptr || p == nullptr) {
    if (section != nullptr) DeleteObject(section);
    throw EOutOfResources(SOutOfResources);
  }
  std::memset(p, 0, h.biSizeImage);
  if (bits != nullptr) *bits = p;
  return section;
}

// Copies width x height pixels between two bitmaps through two memory DCs; GDI converts
// between depths.
void BlitBitmaps(HBITMAP source, HBITMAP dest, int32_t width, int32_t height) {
  DeselectBitmap(source);
  DeselectBitmap(dest);
  HDC src = CreateCompatibleDC(nullptr);
  HDC dst = CreateCompatibleDC(nullptr);
  HGDIOBJ oldSrc = SelectObject(src, source);
  HGDIOBJ oldDst = SelectObject(dst, dest);
  BitBlt(dst, 0, 0, width, height, src, 0, 0, SRCCOPY);
  SelectObject(src, oldSrc);
  SelectObject(dst, oldDst);
  DeleteDC(src);
  DeleteDC(dst);
}

void QueryImage(TBitmapImage& image) {
  image.FDIB = DIBSECTION{};
  image.FDIBSection = false;
  if (image.FHandle == nullptr) return;
  const int got = GetObjectA(image.FHandle, sizeof(DIBSECTION), &image.FDIB);
  image.FDIBSection = got == static_cast<int>(sizeof(DIBSECTION)) && image.FDIB.dsBm.bmBits != nullptr;
  if (got == 0) throw EInvalidGraphic(SInvalidImage);
}

std::vector<RGBQUAD> SectionColors(HBITMAP section, int32_t bitCount) {
  std::vector<RGBQUAD> colors;
  if (bitCount > 8) return colors;
  colors.resize(size_t{1} << bitCount);
  DeselectBitmap(section);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  const UINT n = GetDIBColorTable(dc, 0, static_cast<UINT>(colors.size()), colors.data());
  SelectObject(dc, old);
  DeleteDC(dc);
  colors.resize(n);
  return colors;
}

}  // namespace

// Image

TBitmapImage::~TBitmapImage() { FreeHandle(); }

void TBitmapImage::FreeHandle() {
  if (FHandle != nullptr) DeleteObject(FHandle);
  if (FPalette != nullptr) DeleteObject(FPalette);
  FHandle = nullptr;
  FPalette = nullptr;
  FDIB = DIBSECTION{};
  FDIBSection = false;
}

// Canvas

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::FreeContext() {
  HDC dc = PeekHandle();
  if (dc == nullptr) return;
  SetHandle(nullptr);
  if (FOldBitmap != nullptr) SelectObject(dc, FOldBitmap);
  if (FOldPalette != nullptr) SelectPalette(dc, FOldPalette, TRUE);
  DeleteDC(dc);
  FOldBitmap = nullptr;
  FOldPalette = nullptr;
  std::erase_if(CanvasList(), [this](const auto& entry) { return entry.first == this; });
}

void TBitmapCanvas::CreateHandle() {
  if (FBitmap == nullptr) return;
  HBITMAP bitmap = FBitmap->FImage->FHandle;
  DeselectBitmap(bitmap, this);
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) throw EOutOfResources(SOutOfResources);
  FOldBitmap = bitmap != nullptr ? SelectObject(dc, bitmap) : nullptr;
  if (FBitmap->FImage->FPalette != nullptr) {
    FOldPalette = SelectPalette(dc, FBitmap->FImage->FPalette, TRUE);
    RealizePalette(dc);
  }
  SetHandle(dc);
  if (bitmap != nullptr) CanvasList().push_back({this, bitmap});
}

// Bitmap

TBitmap::TBitmap() {
  FImage = new TBitmapImage;
  FImage->Reference();
}

TBitmap::~TBitmap() {
  FCanvas.reset();
  FImage->Release();
}

void TBitmap::NewImage(TBitmapImage* Image) {
  if (Image == FImage) return;
  if (FCanvas) FCanvas->FreeContext();
  Image->Reference();
  FImage->Release();
  FImage = Image;
}

void TBitmap::FreeImage() { NewImage(new TBitmapImage); }

bool TBitmap::IsEmpty() const { return FImage->FHandle == nullptr; }

int32_t TBitmap::Width() const { return FImage->FDIB.dsBm.bmWidth; }

int32_t TBitmap::Height() const { return FImage->FDIB.dsBm.bmHeight; }

int32_t TBitmap::BitCount() const { return FImage->FHandle != nullptr ? FImage->FDIB.dsBm.bmBitsPixel : 0; }

TBitmapHandleType TBitmap::HandleType() const {
  if (FImage->FHandle == nullptr) return FPixelFormat == pfDevice ? bmDDB : bmDIB;
  return FImage->FDIBSection ? bmDIB : bmDDB;
}

TPixelFormat TBitmap::PixelFormat() const {
  if (FImage->FHandle == nullptr) return FPixelFormat;
  if (!FImage->FDIBSection) return pfDevice;
  const DWORD* m = FImage->FDIB.dsBitfields;
  switch (BitCount()) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
      if (FImage->FDIB.dsBmih.biCompression != BI_BITFIELDS || std::equal(m, m + 3, Masks555)) return pf15bit;
      return std::equal(m, m + 3, Masks565) ? pf16bit : pfCustom;
    case 24: return pf24bit;
    case 32:
      if (FImage->FDIB.dsBmih.biCompression != BI_BITFIELDS || std::equal(m, m + 3, Masks888)) return pf32bit;
      return pfCustom;
    default: return pfCustom;
  }
}

void TBitmap::NewDIB(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DWORD* Masks, const RGBQUAD* Colors,
                     int32_t ColorCount) {
  std::vector<RGBQUAD> colors;
  if (ABitCount <= 8) {
    colors = Colors != nullptr && ColorCount > 0 ? std::vector<RGBQUAD>(Colors, Colors + ColorCount) : DefaultColors(ABitCount);
    colors.resize(std::min<size_t>(colors.size(), size_t{1} << ABitCount));
  }
  auto* image = new TBitmapImage;
  try {
    image->FHandle = MakeSection(AWidth, AHeight, ABitCount, Masks, colors.data(), static_cast<int32_t>(colors.size()), nullptr);
    if (!colors.empty()) image->FPalette = PaletteFromColors(colors.data(), static_cast<int32_t>(colors.size()));
    QueryImage(*image);
  } catch (...) {
    delete image;
    throw;
  }
  NewImage(image);
  switch (ABitCount) {
    case 1: FPixelFormat = pf1bit; break;
    case 4: FPixelFormat = pf4bit; break;
    case 8: FPixelFormat = pf8bit; break;
    case 16: FPixelFormat = Masks != nullptr && std::equal(Masks, Masks + 3, Masks565) ? pf16bit : pf15bit; break;
    case 24: FPixelFormat = pf24bit; break;
    default: FPixelFormat = pf32bit; break;
  }
  FPaletteModified = image->FPalette != nullptr;
}

void TBitmap::Unshare() {
  if (FImage->RefCount() <= 1 || FImage->FHandle == nullptr) return;
  // Someone else still holds these pixels; this bitmap gets its own copy before changing.
  CopyImage(Width(), Height(), 0, nullptr);
}

void TBitmap::CopyImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DWORD* Masks) {
  TBitmapImage* old = FImage;
  old->Reference();  // keep the old pixels alive while they are copied
  try {
    const int32_t oldWidth = Width(), oldHeight = Height();
    if (old->FDIBSection) {
      const int32_t bpp = ABitCount > 0 ? ABitCount : BitCount();
      const DWORD* masks = Masks != nullptr ? Masks : (old->FDIB.dsBmih.biCompression == BI_BITFIELDS ? old->FDIB.dsBitfields : nullptr);
      if (FCanvas) FCanvas->FreeContext();
      std::vector<RGBQUAD> colors = SectionColors(old->FHandle, BitCount());
      // Another depth starts from its own default colours, which the blit maps onto.
      if (bpp != BitCount()) colors.clear();
      const bool sameLayout = bpp == BitCount() && (bpp <= 8 || bpp == 24 || masks == old->FDIB.dsBitfields ||
                                                    (masks == nullptr && old->FDIB.dsBmih.biCompression != BI_BITFIELDS));
      if (FCanvas) FCanvas->FreeContext();
      NewDIB(AWidth, AHeight, bpp, masks, colors.empty() ? nullptr : colors.data(), static_cast<int32_t>(colors.size()));
      GdiFlush();
      if (sameLayout) {
        // Same depth: copy the overlapping rows byte for byte, keeping palette indices.
        const int64_t oldRow = bmp::RowBytes(bpp, oldWidth), newRow = bmp::RowBytes(bpp, AWidth);
        const int64_t bytes = std::min(oldRow, newRow);
        const int32_t rows = std::min(oldHeight, AHeight);
        const auto* src = static_cast<const uint8_t*>(old->FDIB.dsBm.bmBits);
        auto* dst = static_cast<uint8_t*>(FImage->FDIB.dsBm.bmBits);
        for (int32_t y = 0; y < rows; ++y) {
          // Rows are bottom-up: top row y is at (height - 1 - y).
          std::memcpy(dst + static_cast<size_t>(AHeight - 1 - y) * newRow,
                      src + static_cast<size_t>(oldHeight - 1 - y) * oldRow, static_cast<size_t>(bytes));
        }
      } else {
        BlitBitmaps(old->FHandle, FImage->FHandle, std::min(oldWidth, AWidth), std::min(oldHeight, AHeight));
      }
      if (old->FPalette != nullptr && BitCount() <= 8 && bpp == static_cast<int32_t>(old->FDIB.dsBm.bmBitsPixel)) {
        HPALETTE copy = CopyPalette(old->FPalette);
        if (copy != nullptr) {
          if (FImage->FPalette != nullptr) DeleteObject(FImage->FPalette);
          FImage->FPalette = copy;
        }
      }
    } else {
      // A device-dependent bitmap stays one.
      if (FCanvas) FCanvas->FreeContext();
      auto* image = new TBitmapImage;
      image->FHandle = CreateBitmap(AWidth, AHeight, 1, old->FDIB.dsBm.bmBitsPixel, nullptr);
      if (image->FHandle == nullptr) {
        delete image;
        throw EOutOfResources(SOutOfResources);
      }
      QueryImage(*image);
      BlitBitmaps(old->FHandle, image->FHandle, std::min(oldWidth, AWidth), std::min(oldHeight, AHeight));
      image->FPalette = CopyPalette(old->FPalette);
      NewImage(image);
    }
  } catch (...) {
    old->Release();
    throw;
  }
  old->Release();
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == Width() && AHeight == Height()) return;
  if (AWidth <= 0 || AHeight <= 0) {
    FreeImage();
    Changed(this);
    return;
  }
  if (int64_t{AWidth} * AHeight > bmp::kMaxPixels) throw EOutOfResources(SOutOfResources);
  if (IsEmpty()) {
    switch (FPixelFormat) {
      case pfDevice: {
        auto* image = new TBitmapImage;
        image->FHandle = CreateBitmap(AWidth, AHeight, 1, static_cast<UINT>(GetScreenBitCount()), nullptr);
        if (image->FHandle == nullptr) {
          delete image;
          throw EOutOfResources(SOutOfResources);
        }
        QueryImage(*image);
        NewImage(image);
        break;
      }
      case pf1bit: NewDIB(AWidth, AHeight, 1, nullptr, nullptr, 0); break;
      case pf4bit: NewDIB(AWidth, AHeight, 4, nullptr, nullptr, 0); break;
      case pf8bit: NewDIB(AWidth, AHeight, 8, nullptr, nullptr, 0); break;
      case pf15bit: NewDIB(AWidth, AHeight, 16, Masks555, nullptr, 0); break;
      case pf16bit: NewDIB(AWidth, AHeight, 16, Masks565, nullptr, 0); break;
      case pf24bit: NewDIB(AWidth, AHeight, 24, nullptr, nullptr, 0); break;
      default: NewDIB(AWidth, AHeight, 32, nullptr, nullptr, 0); break;
    }
  } else {
    CopyImage(AWidth, AHeight, 0, nullptr);
  }
  Changed(this);
}

void TBitmap::ChangeWidth(int32_t Value) { SetSize(Value, Height() > 0 ? Height() : (Value > 0 ? 1 : 0)); }

void TBitmap::ChangeHeight(int32_t Value) { SetSize(Width() > 0 ? Width() : (Value > 0 ? 1 : 0), Value); }

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == PixelFormat()) return;
  if (IsEmpty()) {
    FPixelFormat = Value;
    return;
  }
  switch (Value) {
    case pfDevice: SetHandleType(bmDDB); return;
    case pf1bit: CopyImage(Width(), Height(), 1, nullptr); break;
    case pf4bit: CopyImage(Width(), Height(), 4, nullptr); break;
    case pf8bit: CopyImage(Width(), Height(), 8, nullptr); break;
    case pf15bit: CopyImage(Width(), Height(), 16, Masks555); break;
    case pf16bit: CopyImage(Width(), Height(), 16, Masks565); break;
    case pf24bit: CopyImage(Width(), Height(), 24, nullptr); break;
    case pf32bit: CopyImage(Width(), Height(), 32, Masks888); break;
    default: throw EInvalidGraphicOperation(SInvalidPixelFormat);
  }
  Changed(this);
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == HandleType()) return;
  if (IsEmpty()) {
    FPixelFormat = Value == bmDDB ? pfDevice : pf24bit;
    return;
  }
  TBitmapImage* old = FImage;
  old->Reference();
  try {
    if (FCanvas) FCanvas->FreeContext();
    const int32_t w = Width(), h = Height();
    if (Value == bmDIB) {
      const int32_t bpp = old->FDIB.dsBm.bmBitsPixel;
      const int32_t depth = bpp == 1 ? 1 : bpp == 16 ? 16 : bpp == 32 ? 32 : 24;
      NewDIB(w, h, depth, depth == 16 ? Masks565 : nullptr, nullptr, 0);
      BlitBitmaps(old->FHandle, FImage->FHandle, w, h);
    } else {
      auto* image = new TBitmapImage;
      image->FHandle = CreateBitmap(w, h, 1, static_cast<UINT>(GetScreenBitCount()), nullptr);
      if (image->FHandle == nullptr) {
        delete image;
        throw EOutOfResources(SOutOfResources);
      }
      QueryImage(*image);
      BlitBitmaps(old->FHandle, image->FHandle, w, h);
      image->FPalette = CopyPalette(old->FPalette);
      NewImage(image);
      FPixelFormat = pfDevice;
    }
  } catch (...) {
    old->Release();
    throw;
  }
  old->Release();
  Changed(this);
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TBitmapCanvas>(this);
    FCanvas->SetOnChanging([this](TObject* s) { CanvasChanging(s); });
    FCanvas->SetOnChange([this](TObject* s) { Changed(s); });
  }
  return FCanvas.get();
}

void TBitmap::CanvasChanging(TObject* Sender) {
  (void)Sender;
  Unshare();
}

HBITMAP TBitmap::Handle() {
  Unshare();
  // Whoever asks for the handle may select it into a DC of their own, which only works
  // while no canvas holds it; the canvas takes it back on its next drawing call.
  DeselectBitmap(FImage->FHandle);
  return FImage->FHandle;
}

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FImage->FHandle && Value != nullptr) return;
  auto* image = new TBitmapImage;
  image->FHandle = Value;
  try {
    QueryImage(*image);
  } catch (...) {
    image->FHandle = nullptr;  // not ours to delete when it is not a bitmap
    delete image;
    throw;
  }
  NewImage(image);
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  Unshare();
  if (FCanvas) FCanvas->FreeContext();
  HBITMAP handle = FImage->FHandle;
  FImage->FHandle = nullptr;
  FImage->FDIB = DIBSECTION{};
  FImage->FDIBSection = false;
  return handle;
}

HPALETTE TBitmap::ReleasePalette() {
  Unshare();
  HPALETTE palette = FImage->FPalette;
  FImage->FPalette = nullptr;
  return palette;
}

HPALETTE TBitmap::PaletteHandle() { return FImage->FPalette; }

void TBitmap::SetPaletteHandle(HPALETTE Value) {
  if (Value == FImage->FPalette) return;
  Unshare();
  if (FCanvas) FCanvas->FreeContext();
  if (FImage->FDIBSection && BitCount() <= 8 && Value != nullptr) {
    // A paletted section takes the palette's colours as its colour table.
    PALETTEENTRY entries[256];
    const UINT n = GetPaletteEntries(Value, 0, 256, entries);
    RGBQUAD colors[256];
    for (UINT i = 0; i < n; ++i) colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    DeselectBitmap(FImage->FHandle);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FImage->FHandle);
    SetDIBColorTable(dc, 0, std::min<UINT>(n, 1u << BitCount()), colors);
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  if (FImage->FPalette != nullptr) DeleteObject(FImage->FPalette);
  FImage->FPalette = Value;
  FPaletteModified = true;
  Changed(this);
}

void* TBitmap::ScanLine(int32_t Row) {
  if (IsEmpty() || Row < 0 || Row >= Height()) throw EInvalidGraphicOperation(SScanLine);
  Unshare();
  if (!FImage->FDIBSection) SetHandleType(bmDIB);
  GdiFlush();
  auto* bits = static_cast<uint8_t*>(FImage->FDIB.dsBm.bmBits);
  const auto rowBytes = static_cast<int32_t>(bmp::RowBytes(BitCount(), Width()));
  const bool bottomUp = FImage->FDIB.dsBmih.biHeight >= 0;
  return bits + static_cast<size_t>(bottomUp ? Height() - 1 - Row : Row) * rowBytes;
}

TColor TBitmap::TransparentColor() {
  if (FTransparentColor != clDefault) return static_cast<TColor>(ColorToRGB(FTransparentColor));
  if (IsEmpty()) return clDefault;
  // The bottom-left pixel, as pictures drawn on a plain background expect.
  return Canvas()->Pixels(0, Height() - 1);
}

void TBitmap::DrawTo(TCanvas* ACanvas, const TRect& Rect) {
  if (ACanvas == nullptr || IsEmpty()) return;
  HDC dest = ACanvas->Handle();
  HDC source = Canvas()->Handle();
  HPALETTE oldPalette = nullptr;
  if (FImage->FPalette != nullptr) {
    oldPalette = SelectPalette(dest, FImage->FPalette, TRUE);
    RealizePalette(dest);
  }
  const int oldMode = SetStretchBltMode(dest, COLORONCOLOR);
  const int32_t dw = Rect.right - Rect.left, dh = Rect.bottom - Rect.top;
  if (!Transparent() || dw <= 0 || dh <= 0) {
    StretchBlt(dest, Rect.left, Rect.top, dw, dh, source, 0, 0, Width(), Height(),
               static_cast<DWORD>(ACanvas->CopyMode()));
  } else {
    // Transparent drawing: bring the picture and the destination into 32-bit memory,
    // keep the destination where the picture has its transparent colour, and put the
    // mixture back.
    const COLORREF key = static_cast<COLORREF>(TransparentColor());
    void* picBits = nullptr;
    void* dstBits = nullptr;
    HBITMAP pic = MakeSection(dw, -dh, 32, Masks888, nullptr, 0, &picBits);
    HBITMAP dst = MakeSection(dw, -dh, 32, Masks888, nullptr, 0, &dstBits);
    HDC picDC = CreateCompatibleDC(nullptr);
    HDC dstDC = CreateCompatibleDC(nullptr);
    HGDIOBJ oldPic = SelectObject(picDC, pic);
    HGDIOBJ oldDst = SelectObject(dstDC, dst);
    SetStretchBltMode(picDC, COLORONCOLOR);
    StretchBlt(picDC, 0, 0, dw, dh, source, 0, 0, Width(), Height(), SRCCOPY);
    BitBlt(dstDC, 0, 0, dw, dh, dest, Rect.left, Rect.top, SRCCOPY);
    GdiFlush();
    const DWORD keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    auto* p = static_cast<DWORD*>(picBits);
    auto* d = static_cast<DWORD*>(dstBits);
    for (int64_t i = 0; i < int64_t{dw} * dh; ++i) {
      if ((p[i] & 0xFFFFFF) != keyPixel) d[i] = p[i];
    }
    BitBlt(dest, Rect.left, Rect.top, dw, dh, dstDC, 0, 0, SRCCOPY);
    SelectObject(picDC, oldPic);
    SelectObject(dstDC, oldDst);
    DeleteDC(picDC);
    DeleteDC(dstDC);
    DeleteObject(pic);
    DeleteObject(dst);
  }
  SetStretchBltMode(dest, oldMode);
  if (oldPalette != nullptr) SelectPalette(dest, oldPalette, TRUE);
}

void TBitmap::AssignFrom(const TPersistent* Source) {
  if (Source == nullptr) {
    FreeImage();
    Changed(this);
    return;
  }
  if (const auto* b = dynamic_cast<const TBitmap*>(Source)) {
    if (b == this) return;
    // Share the pixels; whichever bitmap changes first copies them.
    NewImage(b->FImage);
    FPixelFormat = b->FPixelFormat;
    FTransparent = b->FTransparent;
    FTransparentColor = b->FTransparentColor;
    FCompression = b->FCompression;
    FPaletteModified = FImage->FPalette != nullptr;
    Changed(this);
    return;
  }
  const TGraphic* graphic = dynamic_cast<const TGraphic*>(Source);
  if (const auto* picture = dynamic_cast<const TPicture*>(Source)) {
    graphic = picture->Graphic();
    if (graphic == nullptr) {
      FreeImage();
      Changed(this);
      return;
    }
    if (dynamic_cast<const TBitmap*>(graphic) != nullptr) {
      AssignFrom(graphic);
      return;
    }
  }
  if (graphic != nullptr) {
    // Any other graphic is drawn onto a true-colour bitmap of its size.
    if (graphic->IsEmpty()) {
      FreeImage();
      Changed(this);
      return;
    }
    NewDIB(graphic->Width(), graphic->Height(), 24, nullptr, nullptr, 0);
    Canvas()->Draw(0, 0, const_cast<TGraphic*>(graphic));
    Changed(this);
    return;
  }
  TGraphic::AssignFrom(Source);
}

void TBitmap::Changed(TObject* Sender) { TGraphic::Changed(Sender); }

// The file format's side

TBitmapData TBitmap::GetBitmapData() {
  TBitmapData d;
  if (IsEmpty()) return d;
  if (!FImage->FDIBSection) {
    // A device-dependent bitmap is written through a true-colour copy.
    TBitmap copy;
    copy.AssignFrom(this);
    copy.SetHandleType(bmDIB);
    return copy.GetBitmapData();
  }
  if (FCanvas) FCanvas->FreeContext();
  GdiFlush();
  d.Width = Width();
  d.Height = Height();
  d.BitCount = BitCount();
  if (d.BitCount == 16 || d.BitCount == 32) {
    const DWORD* natural = d.BitCount == 16 ? Masks555 : Masks888;
    const DWORD* m = FImage->FDIB.dsBmih.biCompression == BI_BITFIELDS ? FImage->FDIB.dsBitfields : natural;
    std::copy(m, m + 3, d.Masks);
  }
  d.Colors = SectionColors(FImage->FHandle, d.BitCount);
  const size_t bytes = static_cast<size_t>(d.RowBytes()) * d.Height;
  const auto* bits = static_cast<const uint8_t*>(FImage->FDIB.dsBm.bmBits);
  d.Bits.resize(bytes);
  if (FImage->FDIB.dsBmih.biHeight >= 0) {
    std::memcpy(d.Bits.data(), bits, bytes);
  } else {
    for (int32_t y = 0; y < d.Height; ++y) std::memcpy(d.Row(y), bits + static_cast<size_t>(y) * d.RowBytes(), d.RowBytes());
  }
  return d;
}

void TBitmap::SetBitmapData(const TBitmapData& Data) {
  if (Data.Width <= 0 || Data.Height <= 0 || Data.Bits.size() < static_cast<size_t>(Data.RowBytes()) * Data.Height) {
    throw EInvalidGraphic(SInvalidImage);
  }
  const bool masked = Data.BitCount == 16 || Data.BitCount == 32;
  NewDIB(Data.Width, Data.Height, Data.BitCount, masked ? Data.Masks : nullptr,
         Data.Colors.empty() ? nullptr : Data.Colors.data(), static_cast<int32_t>(Data.Colors.size()));
  if (Data.BitCount <= 8 && Data.Colors.empty()) {
    // A picture without colours is black, not whatever our default table would make it.
    std::vector<RGBQUAD> black(size_t{1} << Data.BitCount, RGBQUAD{0, 0, 0, 0});
    DeselectBitmap(FImage->FHandle);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, FImage->FHandle);
    SetDIBColorTable(dc, 0, static_cast<UINT>(black.size()), black.data());
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  GdiFlush();
  std::memcpy(FImage->FDIB.dsBm.bmBits, Data.Bits.data(), static_cast<size_t>(Data.RowBytes()) * Data.Height);
  if (Data.BitCount == 16 && std::equal(Data.Masks, Data.Masks + 3, Masks565)) FPixelFormat = pf16bit;
}

void TBitmap::ReadDIBStream(TStream& Stream, int64_t Size, bool HasFileHeader) {
  const TBitmapData data = HasFileHeader ? ReadBitmapFile(Stream, Size) : ReadBitmapInfo(Stream, Size);
  // Only a picture read in full replaces the current one.
  TBitmap fresh;
  fresh.SetBitmapData(data);
  AssignFrom(&fresh);
}

void TBitmap::WriteDIBStream(TStream& Stream, bool WithFileHeader) {
  if (IsEmpty()) return;
  const TBitmapData data = GetBitmapData();
  if (WithFileHeader) {
    WriteBitmapFile(Stream, data, FCompression);
  } else {
    WriteBitmapInfo(Stream, data, FCompression);
  }
}

void TBitmap::LoadFromFileStream(TStream& Stream) {
  const int64_t remaining = Stream.Size() - Stream.Position();
  ReadDIBStream(Stream, std::max<int64_t>(remaining, 0), true);
}

void TBitmap::SaveToFileStream(TStream& Stream) { WriteDIBStream(Stream, true); }

void TBitmap::ReadImageData(TStream& Stream) {
  uint32_t size = 0;
  Stream.ReadBuffer(&size, sizeof size);
  if (size == 0) {
    FreeImage();
    Changed(this);
    return;
  }
  const int64_t start = Stream.Position();
  if (static_cast<int64_t>(size) > Stream.Size() - start) throw EReadError(SReadError);
  ReadDIBStream(Stream, size, true);
  Stream.SetPosition(start + size);
}

void TBitmap::WriteImageData(TStream& Stream) {
  TMemoryStream file;
  WriteDIBStream(file, true);
  const uint32_t size = static_cast<uint32_t>(file.Size());
  Stream.WriteBuffer(&size, sizeof size);
  if (size > 0) Stream.WriteBuffer(file.Memory(), size);
}

void TBitmap::ReadClipboardData(uint16_t Format, HGLOBAL Data, HPALETTE Palette) {
  (void)Palette;  // the block carries its own colour table
  if (Format != 8 /* CF_DIB */) throw EInvalidGraphic(SUnknownClipboardFormat);
  TGlobalMemoryStream stream(Data);
  if (stream.Size() == 0) throw EInvalidGraphic(SInvalidImage);
  ReadDIBStream(stream, stream.Size(), false);
}

void TBitmap::WriteClipboardData(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) {
  Format = 8;  // CF_DIB
  Data = nullptr;
  Palette = nullptr;
  TMemoryStream body;
  WriteDIBStream(body, false);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(body.Size()));
  if (block == nullptr) throw EOutOfMemory("Out of memory");
  void* p = GlobalLock(block);
  if (body.Size() > 0) std::memcpy(p, body.Memory(), static_cast<size_t>(body.Size()));
  GlobalUnlock(block);
  Data = block;
  // The receiver owns what it is given, so it gets its own palette.
  Palette = CopyPalette(FImage->FPalette);
}
