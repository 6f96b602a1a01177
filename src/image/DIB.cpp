#include "image/DIB.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/DIBBlur.h"
#include "platform/clock/Clock.h"

bool SameColorTable(const TRGBQuads& a, const TRGBQuads& b) {
  return std::memcmp(a.data(), b.data(), sizeof(RGBQUAD) * a.size()) == 0;
}

TRGBQuads GreyRamp() {
  TRGBQuads t{};
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    t[i] = {v, v, v, 0};
  }
  return t;
}

namespace {

TDIBSharedImage* gEmptyImage = nullptr;
TPaletteManager* gPaletteManager = nullptr;

// The one empty store. It holds a reference of its own, so sharers coming and going
// never free it; the unit's shut-down lets go of that reference.
TDIBSharedImage* EmptyImage() {
  if (!gEmptyImage) {
    gEmptyImage = new TDIBSharedImage;
    gEmptyImage->Reference();
  }
  return gEmptyImage;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The store

TDIBSharedImage::TDIBSharedImage() {
  FColorTable = GreyRamp();
  FPixelFormat = DIBFormat888();
  FMemoryImage = true;
  FBitmapInfo.assign(sizeof(BITMAPINFOHEADER), 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biPlanes = 1;
  std::memcpy(FBitmapInfo.data(), &header, sizeof(header));
  FBitmapInfoSize = static_cast<int32_t>(FBitmapInfo.size());
  FColorTablePos = sizeof(BITMAPINFOHEADER);
}

TDIBSharedImage::~TDIBSharedImage() { FreeHandle(); }

void TDIBSharedImage::FreeHandle() {
  if (FHandle) {
    if (FOldHandle) SelectObject(FDC, FOldHandle);
    DeleteObject(FHandle);
    FHandle = nullptr;
    FOldHandle = nullptr;
  }
  FMemory.reset();
  FPBits = nullptr;
  FTopPBits = nullptr;
  if (FPalette) {
    if (gPaletteManager)
      gPaletteManager->ReleasePalette(FPalette);
    else
      FPalette = nullptr;  // the manager is gone and took its palettes with it
  }
  if (FDC) {
    DeleteDC(FDC);
    FDC = nullptr;
  }
}

void TDIBSharedImage::NewImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DIBPixelFormat& PixelFormat,
                               const TRGBQuads& ColorTable, bool MemoryImage, bool Compressed, bool ZeroPixels) {
  if (!bmp::IsBitCount(ABitCount)) throw EInvalidGraphicOperation(SInvalidDIBBitCount, {int64_t{ABitCount}});
  if (!DIBFormatFits(ABitCount, PixelFormat)) throw EInvalidGraphicOperation(SInvalidDIBPixelFormat);
  if (Compressed && ABitCount != 4 && ABitCount != 8) throw EInvalidGraphic(SInvalidDIB);
  const int64_t rowBytes = bmp::RowBytes(ABitCount, AWidth);
  const int64_t imageSize = rowBytes * AHeight;
  if (AWidth <= 0 || AHeight <= 0 || rowBytes < 0 || imageSize > INT32_MAX)
    throw EOutOfResources(SCannotMade, {std::string(SDIB)});

  FBitCount = ABitCount;
  FWidth = AWidth;
  FHeight = AHeight;
  FRowBytes = static_cast<int32_t>(rowBytes);
  FImageSize = static_cast<int32_t>(imageSize);
  FRowStep = -static_cast<ptrdiff_t>(rowBytes);
  FPixelFormat = PixelFormat;
  FColorTable = ColorTable;
  FColorCount = DIBColorCount(ABitCount);
  FCompressed = Compressed;
  FMemoryImage = MemoryImage || Compressed;
  FChangePalette = true;  // no GDI palette yet for this table

  const bool masks = ABitCount == 16 || ABitCount == 32;
  FColorTablePos = sizeof(BITMAPINFOHEADER) + (masks ? 12 : 0);
  FBitmapInfoSize = FColorTablePos + 4 * FColorCount;
  FBitmapInfo.assign(FBitmapInfoSize, 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = AWidth;
  header.biHeight = AHeight;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(ABitCount);
  header.biCompression = masks ? BI_BITFIELDS : !Compressed ? BI_RGB : ABitCount == 4 ? BI_RLE4 : BI_RLE8;
  header.biSizeImage = Compressed ? 0 : static_cast<DWORD>(FImageSize);
  std::memcpy(FBitmapInfo.data(), &header, sizeof(header));
  if (masks) {
    const DWORD m[3] = {static_cast<DWORD>(PixelFormat.RBitMask), static_cast<DWORD>(PixelFormat.GBitMask),
                        static_cast<DWORD>(PixelFormat.BBitMask)};
    std::memcpy(FBitmapInfo.data() + sizeof(header), m, sizeof(m));
  }
  std::memcpy(FBitmapInfo.data() + FColorTablePos, FColorTable.data(), 4 * static_cast<size_t>(FColorCount));

  if (Compressed) return;  // the reader supplies the encoded data
  if (FMemoryImage) {
    FMemory.reset(ZeroPixels ? new (std::nothrow) uint8_t[static_cast<size_t>(FImageSize)]()
                             : new (std::nothrow) uint8_t[static_cast<size_t>(FImageSize)]);
    if (!FMemory) throw EOutOfMemory("Out of memory");
    FPBits = FMemory.get();
  } else {
    FDC = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    if (FDC)
      FHandle = CreateDIBSection(FDC, reinterpret_cast<const BITMAPINFO*>(FBitmapInfo.data()), DIB_RGB_COLORS, &bits,
                                 nullptr, 0);
    if (!FHandle || !bits) throw EOutOfResources(SCannotMade, {std::string(SDIB)});
    FOldHandle = SelectObject(FDC, FHandle);
    FPBits = static_cast<uint8_t*>(bits);
    if (ZeroPixels) std::memset(FPBits, 0, static_cast<size_t>(FImageSize));
  }
  FTopPBits = FPBits + static_cast<ptrdiff_t>(FHeight - 1) * FRowBytes;
  if (!ZeroPixels) {
    // No stale bytes may reach a stream: the padding, and a last byte that holds fewer
    // pixels than it could, start at zero.
    const size_t whole = static_cast<size_t>(int64_t{FBitCount} * FWidth / 8);
    for (int32_t y = 0; y < FHeight; ++y)
      std::memset(FPBits + static_cast<size_t>(y) * FRowBytes + whole, 0, static_cast<size_t>(FRowBytes) - whole);
  }
}

void TDIBSharedImage::Duplicate(const TDIBSharedImage& Source, bool MemoryImage) {
  NewImage(Source.FWidth, Source.FHeight, Source.FBitCount, Source.FPixelFormat, Source.FColorTable, MemoryImage,
           false);
  if (Source.FCompressed) {
    // The data was checked when it was read, so it stays inside the picture.
    if (Source.FPBits)
      bmp::DecodeRunLength({Source.FPBits, static_cast<size_t>(Source.FCompressedSize)}, FBitCount, FWidth, FHeight,
                           static_cast<size_t>(FRowBytes), FPBits, bmp::RunLengthEdges::RefusePixels);
  } else {
    std::memcpy(FPBits, Source.FPBits, static_cast<size_t>(FImageSize));
  }
}

void TDIBSharedImage::SetCompressedData(std::unique_ptr<uint8_t[]> Data, int32_t Size) {
  FMemory = std::move(Data);
  FPBits = FMemory.get();
  FTopPBits = nullptr;  // encoded rows have no address until decoded
  FCompressedSize = Size;
  UpdateHeaderSizeImage();
}

void TDIBSharedImage::UpdateHeaderSizeImage() {
  const DWORD size = static_cast<DWORD>(DataSize());
  std::memcpy(FBitmapInfo.data() + offsetof(BITMAPINFOHEADER, biSizeImage), &size, sizeof(size));
}

void TDIBSharedImage::SetColorTable(const TRGBQuads& Table) {
  FColorTable = Table;
  FChangePalette = true;
  if (FPBits && FColorCount > 0) {
    if (FDC) SetDIBColorTable(FDC, 0, 256, FColorTable.data());
    std::memcpy(FBitmapInfo.data() + FColorTablePos, FColorTable.data(), 4 * static_cast<size_t>(FColorCount));
  }
}

// ---------------------------------------------------------------------------------------
// The palette manager

TPaletteManager::~TPaletteManager() {
  for (auto& item : FList) DeleteObject(item->Palette);
}

HPALETTE TPaletteManager::AcquirePalette(const RGBQUAD* Entries, int32_t Count) {
  if (!Entries || Count <= 0) return nullptr;
  Count = std::min(Count, 256);
  uint32_t key = static_cast<uint32_t>(Count);
  for (int32_t i = 0; i < Count; ++i) key += Entries[i].rgbRed + Entries[i].rgbGreen + Entries[i].rgbBlue;
  for (auto& item : FList) {
    if (item->Id == key && item->ColorTableCount == Count &&
        std::memcmp(item->ColorTable.data(), Entries, sizeof(RGBQUAD) * static_cast<size_t>(Count)) == 0) {
      ++item->RefCount;
      return item->Palette;
    }
  }
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * static_cast<size_t>(Count));
  auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = static_cast<WORD>(Count);
  for (int32_t i = 0; i < Count; ++i)
    logical->palPalEntry[i] = {Entries[i].rgbRed, Entries[i].rgbGreen, Entries[i].rgbBlue, 0};
  HPALETTE palette = CreatePalette(logical);
  if (!palette) return nullptr;
  auto item = std::make_unique<TPaletteItem>();
  item->Id = key;
  item->RefCount = 1;
  item->Palette = palette;
  item->ColorTable.assign(Entries, Entries + Count);
  item->ColorTableCount = Count;
  FList.push_back(std::move(item));
  return palette;
}

void TPaletteManager::ReleasePalette(HPALETTE& Palette) {
  if (!Palette) return;
  for (auto it = FList.begin(); it != FList.end(); ++it) {
    if ((*it)->Palette != Palette) continue;
    if (--(*it)->RefCount <= 0) {
      DeleteObject((*it)->Palette);
      FList.erase(it);
    }
    break;
  }
  Palette = nullptr;
}

TPaletteManager& PaletteManager() {
  if (!gPaletteManager) gPaletteManager = new TPaletteManager;
  return *gPaletteManager;
}

// ---------------------------------------------------------------------------------------
// The DIB

TDIB::TDIB() { SetImage(EmptyImage()); }

TDIB::~TDIB() {
  SetImage(EmptyImage());
  FCanvas.reset();
  TDIBSharedImage* image = FImage;
  FImage = nullptr;
  image->Release();
}

void TDIB::SetImage(TDIBSharedImage* Value) {
  if (FImage == Value) return;
  if (FCanvas) FCanvas->SetHandle(nullptr);
  if (FImage) FImage->Release();
  FImage = Value;
  FImage->Reference();
  if (FCanvas) FCanvas->SetHandle(FImage->DC());
  FColorTable = FImage->ColorTable();
  FNowPixelFormat = FImage->PixelFormat();
  FPixelFormat = FNowPixelFormat;
  RefreshCopies();
}

void TDIB::RefreshCopies() {
  FBitCount = FImage->BitCount();
  FHeight = FImage->Height();
  FNextLine = FImage->RowStep();
  FImageSize = FImage->ImageSize();
  FWidth = FImage->Width();
  FWidthBytes = FImage->RowBytes();
  // A compressed store has only encoded bytes; its rows get addresses once decoded.
  FPBits = FImage->Compressed() ? nullptr : FImage->PBits();
  FTopPBits = FImage->Compressed() ? nullptr : FImage->TopRow();
}

TDIBSharedImage* TDIB::MakeStore(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DIBPixelFormat& Format,
                                 const TRGBQuads& Table, bool MemoryImage, bool Compressed, bool ZeroPixels) {
  auto* image = new TDIBSharedImage;
  try {
    image->NewImage(AWidth, AHeight, ABitCount, Format, Table, MemoryImage, Compressed, ZeroPixels);
  } catch (...) {
    delete image;
    throw;
  }
  return image;
}

void TDIB::Clear() { SetImage(EmptyImage()); }

void TDIB::MakeWritable(bool KeepMemoryOnly) {
  // The empty store has nothing to write and is never copied: it is every empty DIB's.
  if (FImage->ImageSize() == 0) return;
  if (FImage->RefCount() > 1 || FImage->Compressed()) {
    auto* copy = new TDIBSharedImage;
    try {
      copy->Duplicate(*FImage, KeepMemoryOnly && FImage->MemoryOnly());
    } catch (...) {
      delete copy;
      throw;
    }
    SetImage(copy);
  }
}

void TDIB::Decompress() {
  if (!FImage->Compressed()) return;
  auto* copy = new TDIBSharedImage;
  try {
    copy->Duplicate(*FImage, true);
  } catch (...) {
    delete copy;
    throw;
  }
  SetImage(copy);
}

void TDIB::Reformat(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (AWidth == FWidth && AHeight == FHeight && ABitCount == FBitCount && FNowPixelFormat.SameMasks(FPixelFormat))
    return;
  if (AWidth <= 0 || AHeight <= 0) {
    Clear();
    return;
  }
  SetImage(MakeStore(AWidth, AHeight, ABitCount, FPixelFormat, FColorTable, FImage->MemoryOnly(), false));
  SetPaletteModified(true);
}

void TDIB::ChangeWidth(int32_t Value) {
  if (Value <= 0)
    Clear();
  else if (IsEmpty())
    Reformat(Value, std::max(FHeight, 1), 8);
  else
    Reformat(Value, FHeight, FBitCount);
}

void TDIB::ChangeHeight(int32_t Value) {
  if (Value <= 0)
    Clear();
  else if (IsEmpty())
    Reformat(std::max(FWidth, 1), Value, 8);
  else
    Reformat(FWidth, Value, FBitCount);
}

uint8_t* TDIB::ScanLine(int32_t Y) {
  MakeWritable(true);
  if (Y < 0 || Y >= FHeight) throw EInvalidGraphicOperation(SScanLineRangeError, {int64_t{Y}});
  return FTopPBits + static_cast<ptrdiff_t>(Y) * FNextLine;
}

uint32_t TDIB::ReadPixel(int32_t X, int32_t Y) {
  Decompress();
  if (X < 0 || X >= FWidth || Y < 0 || Y >= FHeight) return 0;
  const uint8_t* row = FTopPBits + static_cast<ptrdiff_t>(Y) * FNextLine;
  switch (FBitCount) {
    case 1: return (row[X >> 3] >> (7 - (X & 7))) & 1;
    case 4: return (X & 1) ? row[X >> 1] & 0x0F : row[X >> 1] >> 4;
    case 8: return row[X];
    case 16: return static_cast<uint32_t>(row[2 * X] | (row[2 * X + 1] << 8));
    case 24: return row[3 * X + 2] | (row[3 * X + 1] << 8) | (static_cast<uint32_t>(row[3 * X]) << 16);
    case 32: {
      uint32_t v;
      std::memcpy(&v, row + 4 * X, 4);
      return v;
    }
  }
  return 0;
}

void TDIB::WritePixel(int32_t X, int32_t Y, uint32_t Value) {
  MakeWritable(true);
  if (X < 0 || X >= FWidth || Y < 0 || Y >= FHeight) return;
  uint8_t* row = FTopPBits + static_cast<ptrdiff_t>(Y) * FNextLine;
  switch (FBitCount) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (X & 7));
      row[X >> 3] = static_cast<uint8_t>((Value & 1) ? row[X >> 3] | bit : row[X >> 3] & ~bit);
      break;
    }
    case 4:
      row[X >> 1] = static_cast<uint8_t>((X & 1) ? (row[X >> 1] & 0xF0) | (Value & 0x0F)
                                                 : (row[X >> 1] & 0x0F) | ((Value & 0x0F) << 4));
      break;
    case 8: row[X] = static_cast<uint8_t>(Value); break;
    case 16:
      row[2 * X] = static_cast<uint8_t>(Value);
      row[2 * X + 1] = static_cast<uint8_t>(Value >> 8);
      break;
    case 24:
      row[3 * X + 2] = static_cast<uint8_t>(Value);
      row[3 * X + 1] = static_cast<uint8_t>(Value >> 8);
      row[3 * X] = static_cast<uint8_t>(Value >> 16);
      break;
    case 32: std::memcpy(row + 4 * X, &Value, 4); break;
  }
}

void TDIB::ApplyColorTable() {
  if (SameColorTable(FColorTable, FImage->ColorTable())) return;
  if (FImage->ImageSize() == 0) {
    // The shared empty store keeps its grey ramp; the table waits here for the next store.
    SetPaletteModified(true);
    return;
  }
  const TRGBQuads wanted = FColorTable;
  MakeWritable(true);
  FColorTable = wanted;
  FImage->SetColorTable(FColorTable);
  SetPaletteModified(true);
}

HPALETTE TDIB::PaletteHandle() {
  if (FImage->ColorCount() == 0) return nullptr;
  if (FImage->FChangePalette) {
    FImage->FChangePalette = false;
    PaletteManager().ReleasePalette(FImage->FPalette);
    // The store's own table: the palette belongs to the store, which other DIBs share.
    FImage->FPalette = PaletteManager().AcquirePalette(FImage->ColorTable().data(), FImage->ColorCount());
  }
  return FImage->FPalette;
}

void TDIB::SetPaletteHandle(HPALETTE Value) {
  PALETTEENTRY entries[256] = {};
  const UINT count = Value ? GetPaletteEntries(Value, 0, 256, entries) : 0;
  for (UINT i = 0; i < count && i < 256; ++i)
    FColorTable[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  // The handle is handed over and deleted, unless it is the palette this DIB's store
  // already shares through the manager, which others still use.
  if (Value && Value != FImage->FPalette) DeleteObject(Value);
  ApplyColorTable();
}

// A canvas draws through a DC, which a plain-memory store does not have.
void TDIB::MakeGDIBacked() {
  if (!IsEmpty() && FImage->MemoryOnly()) {
    auto* copy = new TDIBSharedImage;
    try {
      copy->Duplicate(*FImage, false);
    } catch (...) {
      delete copy;
      throw;
    }
    SetImage(copy);
  }
}

TCanvas* TDIB::Canvas() {
  if (!FCanvas) {
    MakeGDIBacked();
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->SetHandle(FImage->DC());
    FCanvas->SetOnChanging([this](TObject* Sender) { CanvasChanging(Sender); });
  }
  return FCanvas.get();
}

void TDIB::CanvasChanging(TObject*) {
  MakeWritable(false);
  // A store that went plain-memory since the canvas was made (a read, a shared plain
  // store) has no DC to draw on; give this DIB a GDI copy.
  MakeGDIBacked();
}

void TDIB::DrawTo(TCanvas* ACanvas, const TRect& Rect) {
  if (FImageSize < 1 || !ACanvas) return;
  Decompress();  // neither blit reads run-length data
  ACanvas->Changing();
  HDC dc = ACanvas->Handle();
  HPALETTE oldPalette = nullptr;
  bool paletteSelected = false;
  if (ColorCount() >= 1) {
    oldPalette = SelectPalette(dc, PaletteHandle(), FALSE);
    RealizePalette(dc);
    paletteSelected = true;
  }
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  auto restore = [&] {
    SetStretchBltMode(dc, oldMode);
    if (paletteSelected) SelectPalette(dc, oldPalette, FALSE);
  };
  try {
    const DWORD rop = static_cast<DWORD>(ACanvas->CopyMode());
    if (FImage->MemoryOnly())
      StretchDIBits(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, 0, 0, FWidth, FHeight,
                    FImage->PBits(), reinterpret_cast<const BITMAPINFO*>(FImage->HeaderBlock().data()),
                    DIB_RGB_COLORS, rop);
    else
      StretchBlt(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, FImage->DC(), 0, 0, FWidth,
                 FHeight, rop);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  ACanvas->Changed();
}

void TDIB::DefineProperties(TFiler& Filer) {
  TGraphic::DefineProperties(Filer);
  Filer.DefineBinaryProperty(
      "DIB", [this](TStream& Stream) { LoadFromFileStream(Stream); }, nullptr, false);
}

void TDIB::AssignFrom(const TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (const auto* dib = dynamic_cast<const TDIB*>(Source)) {
    if (dib != this) SetImage(dib->FImage);
    return;
  }
  if (const auto* picture = dynamic_cast<const TPicture*>(Source)) {
    if (picture->Graphic())
      ConvertGraphic(picture->Graphic());
    else
      Clear();
    return;
  }
  if (const auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    ConvertGraphic(const_cast<TGraphic*>(graphic));
    return;
  }
  TGraphic::AssignFrom(Source);
}

void TDIB::ConvertGraphic(TGraphic* G) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(G)) {
    PALETTEENTRY entries[256] = {};
    HPALETTE palette = bitmap->PaletteHandle();
    const UINT count = palette ? GetPaletteEntries(palette, 0, 256, entries) : 0;
    for (UINT i = 0; i < count && i < 256; ++i)
      FColorTable[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    ApplyColorTable();

    DIBSECTION ds{};
    const int got = GetObjectA(bitmap->Handle(), sizeof(ds), &ds);
    const int bits = ds.dsBm.bmBitsPixel;
    if (got == static_cast<int>(sizeof(BITMAP)))
      FPixelFormat = bits == 16 ? DIBFormat555() : DIBFormat888();
    else if (got == static_cast<int>(sizeof(DIBSECTION)))
      FPixelFormat = bits >= 24  ? DIBFormat888()
                     : bits > 8 ? MakeDIBPixelFormatMask(ds.dsBitfields[0], ds.dsBitfields[1], ds.dsBitfields[2])
                                : DIBFormat888();
    else
      return;
    Reformat(ds.dsBm.bmWidth, std::abs(ds.dsBm.bmHeight), bits);
  } else {
    // Drawn at 24 bits, which needs the 8-8-8 format whatever this DIB held before.
    FPixelFormat = DIBFormat888();
    Reformat(G->Width(), G->Height(), 24);
  }
  if (IsEmpty()) return;
  TCanvas* canvas = Canvas();
  MakeWritable(false);
  std::memset(FPBits, 0, static_cast<size_t>(FImageSize));
  canvas->Draw(0, 0, G);
}

// ---------------------------------------------------------------------------------------
// Progress and blur

void TDIB::BeginProgress(const std::string& Msg) {
  FProgressName = Msg;
  FProgressOld = 0;
  FProgressOldTime = GetTickCount();
  FProgressY = 0;
  FProgressOldY = 0;
  Progress(this, psStarting, 0, false, Rect(0, 0, FWidth, FHeight), FProgressName);
}

void TDIB::StepProgress(int32_t Y) {
  const DWORD now = GetTickCount();
  const bool redraw = (now - FProgressOldTime > 200) && (FProgressY - FProgressOldY > 32) &&
                      ((FProgressY < FHeight / 3) || FProgressOldY != 0);
  const int32_t percent = FHeight > 0 ? static_cast<int32_t>(int64_t{Y} * 100 / FHeight) : 0;
  if (percent != FProgressOld || redraw) {
    Progress(this, psRunning, static_cast<uint8_t>(percent), redraw, Rect(0, FProgressOldY, FWidth, FProgressY),
             FProgressName);
    if (redraw) {
      FProgressOldY = FProgressY;
      FProgressOldTime = now;
    }
    FProgressOld = percent;
  }
  ++FProgressY;
}

void TDIB::EndProgress() {
  Progress(this, psEnding, 100, true, Rect(0, FProgressOldY, FWidth, FHeight), FProgressName);
}

void TDIB::Blur(int32_t ABitCount, int32_t Radius) {
  if (FImageSize == 0 || Radius == 0) return;
  BeginProgress(SBlur);
  try {
    TDIB source;
    source.AssignFrom(this);
    // The pass reads rows by address, which run-length data does not have.
    source.Decompress();
    Reformat(FWidth, FHeight, ABitCount);
    if (ABitCount <= 8) {
      FColorTable.fill(RGBQUAD{0, 0, 0, 0});
      for (int32_t i = 0; i < (1 << ABitCount); ++i) {
        const int32_t v = i << (8 - ABitCount);
        const auto g = static_cast<uint8_t>(v | (v >> ABitCount));
        FColorTable[i] = {g, g, g, 0};
      }
      ApplyColorTable();
    }
    // Every pixel of D is about to be written, so a store D still shares (with the source,
    // or with an earlier holder) is swapped for a fresh one rather than copied first.
    if (FImage->RefCount() > 1 || FImage->Compressed())
      SetImage(MakeStore(FWidth, FHeight, FBitCount, FNowPixelFormat, FImage->ColorTable(), FImage->MemoryOnly(),
                         false, false));
    DIBBlurSource s;
    s.Width = source.Width();
    s.Height = source.Height();
    s.BitCount = source.BitCount();
    s.TopRow = source.TopRow();
    s.RowStep = source.RowStep();
    s.ColorTable = source.ColorTable().data();
    s.PixelFormat = source.PixelFormat();
    DIBBlurTarget t;
    t.BitCount = FBitCount;
    t.PixelFormat = FNowPixelFormat;
    t.ScanLine = [this](int32_t y) { return ScanLine(y); };
    t.RowDone = [this](int32_t y) { StepProgress(y); };
    DIBBoxBlur(s, t, Radius);
  } catch (...) {
    EndProgress();
    throw;
  }
  EndProgress();
}

// ---------------------------------------------------------------------------------------
// The unit

namespace {
bool gInitialized = false;

struct TDIBUnit {
  TDIBUnit() { InitializeDIBUnit(); }
  ~TDIBUnit() { FinalizeDIBUnit(); }
} gDIBUnit;
}  // namespace

void InitializeDIBUnit() {
  if (gInitialized) return;
  gInitialized = true;
  const TGraphicClass dib = TGraphicClass::Of<TDIB>();
  TPicture::RegisterFileFormat("dib", "Device Independent Bitmap", dib);
  TPicture::RegisterClipboardFormat(CF_DIB_FORMAT, dib);
}

void FinalizeDIBUnit() {
  if (!gInitialized) return;
  gInitialized = false;
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TDIB>());
  if (gEmptyImage) {
    TDIBSharedImage* empty = gEmptyImage;
    gEmptyImage = nullptr;
    empty->Release();
  }
  delete gPaletteManager;
  gPaletteManager = nullptr;
}
