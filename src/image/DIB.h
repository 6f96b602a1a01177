#pragma once
// The device-independent bitmap graphic: 1, 4, 8, 16, 24 or 32 bits per pixel with a
// 256-entry colour table, its pixels in plain memory or in a GDI section. Pixel stores are
// shared by reference count and copied only when a sharer is about to change pixels.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/DIBFormat.h"
#include "platform/gdi/Gdi.h"
#include "runtime/Classes.h"
#include "runtime/Graphics.h"

// Messages of this unit.
inline constexpr const char* SInvalidDIB = "DIB is invalid";
inline constexpr const char* SInvalidDIBBitCount = "Bitcount in invalid (%d)";
inline constexpr const char* SInvalidDIBPixelFormat = "PixelFormat in invalid";
inline constexpr const char* SScanLineRangeError = "Index of the scanning line exceeded the range. (%d)";
inline constexpr const char* SCannotMade = "%s cannot be made";
inline constexpr const char* SDIB = "DIB";
inline constexpr const char* SBlur = "Blur";

inline constexpr uint16_t CF_DIB_FORMAT = 8;  // the clipboard's device-independent bitmap

using TRGBQuads = std::array<RGBQUAD, 256>;
bool SameColorTable(const TRGBQuads& a, const TRGBQuads& b);
// Entry i = (i, i, i): the empty store's table.
TRGBQuads GreyRamp();

// A pixel store. Stores are made through TDIB; a store never changes size or bit count
// once made, only its pixels and colour table.
class TDIBSharedImage : public TSharedImage {
 public:
  // The empty store: no pixels, grey ramp, 8-8-8.
  TDIBSharedImage();
  ~TDIBSharedImage() override;

  int32_t BitCount() const { return FBitCount; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t RowBytes() const { return FRowBytes; }
  int32_t ImageSize() const { return FImageSize; }
  int32_t ColorCount() const { return FColorCount; }
  ptrdiff_t RowStep() const { return FRowStep; }
  bool Compressed() const { return FCompressed; }
  bool MemoryOnly() const { return FMemoryImage; }
  uint8_t* PBits() const { return FPBits; }
  uint8_t* TopRow() const { return FTopPBits; }
  const DIBPixelFormat& PixelFormat() const { return FPixelFormat; }
  const TRGBQuads& ColorTable() const { return FColorTable; }
  // Header, masks for 16 and 32 bits, ColorCount colour entries.
  const std::vector<uint8_t>& HeaderBlock() const { return FBitmapInfo; }
  int32_t ColorTablePos() const { return FColorTablePos; }
  // Bytes held in PBits: ImageSize, or the encoded size of a compressed store.
  int32_t DataSize() const { return FCompressed ? FCompressedSize : FImageSize; }
  HDC DC() const { return FDC; }
  HBITMAP Handle() const { return FHandle; }
  HPALETTE Palette() const { return FPalette; }
  bool ChangePalette() const { return FChangePalette; }

 protected:
  void FreeHandle() override;

 private:
  friend class TDIB;
  // Fills in the fields and makes the pixel memory; on an error the store is left as an
  // unusable shell for the caller to release.
  // ZeroPixels false is for a caller about to write every pixel: only the bytes past
  // each row's last whole pixel are cleared.
  void NewImage(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DIBPixelFormat& PixelFormat,
                const TRGBQuads& ColorTable, bool MemoryImage, bool Compressed, bool ZeroPixels = true);
  // A copy of Source (decoded when Source is compressed).
  void Duplicate(const TDIBSharedImage& Source, bool MemoryImage);
  // Takes the encoded pixels of a compressed store.
  void SetCompressedData(std::unique_ptr<uint8_t[]> Data, int32_t Size);
  void SetColorTable(const TRGBQuads& Table);
  void UpdateHeaderSizeImage();

  int32_t FBitCount = 0;
  std::vector<uint8_t> FBitmapInfo;
  int32_t FBitmapInfoSize = 0;
  bool FChangePalette = false;
  TRGBQuads FColorTable{};
  int32_t FColorTablePos = 0;
  bool FCompressed = false;
  HDC FDC = nullptr;
  HBITMAP FHandle = nullptr;
  int32_t FHeight = 0;
  bool FMemoryImage = true;
  ptrdiff_t FRowStep = 0;
  HGDIOBJ FOldHandle = nullptr;
  HPALETTE FPalette = nullptr;
  int32_t FColorCount = 0;
  uint8_t* FPBits = nullptr;
  std::unique_ptr<uint8_t[]> FMemory;  // plain pixel memory or encoded data
  int32_t FCompressedSize = 0;
  DIBPixelFormat FPixelFormat;
  int32_t FImageSize = 0;
  uint8_t* FTopPBits = nullptr;
  int32_t FWidth = 0;
  int32_t FRowBytes = 0;
};

class TDIB : public TGraphic {
 public:
  PELLORA_CLASS_NAME(TDIB)
  TDIB();
  ~TDIB() override;

  void DefineProperties(TFiler& Filer) override;
  void AssignFrom(const TPersistent* Source) override;
  std::unique_ptr<TGraphic> NewInstance() const override { return std::make_unique<TDIB>(); }
  void DrawTo(TCanvas* ACanvas, const TRect& Rect) override;
  bool IsEmpty() const override { return FImageSize == 0; }
  int32_t Height() const override { return FHeight; }
  HPALETTE PaletteHandle() override;
  int32_t Width() const override { return FWidth; }
  void ReadImageData(TStream& Stream) override;
  void ChangeHeight(int32_t Value) override;
  void SetPaletteHandle(HPALETTE Value) override;
  void ChangeWidth(int32_t Value) override;
  void WriteImageData(TStream& Stream) override;
  void LoadFromFileStream(TStream& Stream) override;
  void SaveToFileStream(TStream& Stream) override;
  void ReadClipboardData(uint16_t Format, HGLOBAL Data, HPALETTE Palette) override;
  void WriteClipboardData(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) override;
  virtual void Clear();

  void Reformat(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  // Address of row Y counted from the top; the pixels become this DIB's own first.
  uint8_t* ScanLine(int32_t Y);
  uint32_t ReadPixel(int32_t X, int32_t Y);
  void WritePixel(int32_t X, int32_t Y, uint32_t Value);
  // The working colour table; changes take effect through ApplyColorTable.
  TRGBQuads& ColorTable() { return FColorTable; }
  const TRGBQuads& ColorTable() const { return FColorTable; }
  void ApplyColorTable();
  TCanvas* Canvas();
  void Blur(int32_t ABitCount, int32_t Radius);

  int32_t BitCount() const { return FBitCount; }
  int32_t RowBytes() const { return FWidthBytes; }
  int32_t ImageSize() const { return FImageSize; }
  ptrdiff_t RowStep() const { return FNextLine; }
  uint8_t* TopRow() const { return FTopPBits; }
  uint8_t* PBits() const { return FPBits; }
  int32_t ColorCount() const { return FImage->ColorCount(); }
  const DIBPixelFormat& PixelFormat() const { return FNowPixelFormat; }
  const DIBPixelFormat& PendingPixelFormat() const { return FPixelFormat; }
  void SetPendingPixelFormat(const DIBPixelFormat& Value) { FPixelFormat = Value; }
  // The store in use (never null), for callers that look at sharing.
  const TDIBSharedImage* Image() const { return FImage; }

 protected:
  void BeginProgress(const std::string& Msg);
  void StepProgress(int32_t Y);
  void EndProgress();

 private:
  void SetImage(TDIBSharedImage* Value);
  // Gives this DIB a store of its own (and a decoded one) before its pixels change.
  void MakeWritable(bool KeepMemoryOnly);
  // A compressed store is swapped for a decoded copy; other stores are left shared.
  void Decompress();
  void CanvasChanging(TObject* Sender);
  void MakeGDIBacked();
  void ReadBody(TStream& Stream, bool MemoryImage);
  void ConvertGraphic(TGraphic* G);
  // A store made here and not yet owned by a DIB is released on the way out of an error.
  TDIBSharedImage* MakeStore(int32_t AWidth, int32_t AHeight, int32_t ABitCount, const DIBPixelFormat& Format,
                             const TRGBQuads& Table, bool MemoryImage, bool Compressed, bool ZeroPixels = true);
  void RefreshCopies();

  TDIBSharedImage* FImage = nullptr;
  std::unique_ptr<TCanvas> FCanvas;
  std::string FProgressName;
  int32_t FProgressOld = 0;
  DWORD FProgressOldTime = 0;
  int32_t FProgressY = 0;
  int32_t FProgressOldY = 0;

  int32_t FBitCount = 0;
  int32_t FHeight = 0;
  ptrdiff_t FNextLine = 0;
  DIBPixelFormat FNowPixelFormat;
  uint8_t* FPBits = nullptr;
  int32_t FImageSize = 0;
  uint8_t* FTopPBits = nullptr;
  int32_t FWidth = 0;
  int32_t FWidthBytes = 0;
  TRGBQuads FColorTable{};
  DIBPixelFormat FPixelFormat;
};

// GDI palettes for colour tables, shared between identical tables.
class TPaletteManager {
 public:
  TPaletteManager() = default;
  ~TPaletteManager();
  TPaletteManager(const TPaletteManager&) = delete;
  TPaletteManager& operator=(const TPaletteManager&) = delete;
  HPALETTE AcquirePalette(const RGBQUAD* Entries, int32_t Count);
  // Drops one reference to the palette in Palette and sets it to 0.
  void ReleasePalette(HPALETTE& Palette);
  int32_t Count() const { return static_cast<int32_t>(FList.size()); }

 private:
  struct TPaletteItem {
    uint32_t Id = 0;
    int32_t RefCount = 0;
    HPALETTE Palette = nullptr;
    std::vector<RGBQUAD> ColorTable;
    int32_t ColorTableCount = 0;
  };
  std::vector<std::unique_ptr<TPaletteItem>> FList;
};

// The process's palette manager, made on first use.
TPaletteManager& PaletteManager();

// The unit's start-up and shut-down: registration with the picture container (extension
// "dib", clipboard format 8, class name "TDIB"), and at shut-down unregistration and the
// freeing of the shared empty store and the palette manager. The program's list of units
// calls both; they are idempotent, so tests may call them to check the registration.
void InitializeDIBUnit();
void FinalizeDIBUnit();
