#pragma once
// The runtime's drawing classes: colours, fonts, pens and brushes, the canvas on a device
// context, the graphic base class with its registry of graphic classes, the picture
// container, the reference-counted shared image, and the bitmap graphic TBitmap.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/window/Window.h"  // GetSysColor and the colour indexes
#include "runtime/BitmapFile.h"
#include "runtime/Classes.h"

// Messages of this unit.
inline constexpr const char* SInvalidImage = "Bitmap image is not valid";
inline constexpr const char* SUnknownExtension = "Unknown picture file extension (.%s)";
inline constexpr const char* SUnknownClipboardFormat = "Unsupported clipboard format";
inline constexpr const char* SUnknownGraphicClass = "Unknown graphic class %s";
inline constexpr const char* SNoCanvas = "Canvas does not allow drawing";
inline constexpr const char* SOutOfResources = "Out of system resources";
inline constexpr const char* SInvalidPixelFormat = "Invalid pixel format";
inline constexpr const char* SScanLine = "Scan line index out of range";

PELLORA_EXCEPTION(EInvalidGraphic, Exception);
PELLORA_EXCEPTION(EInvalidGraphicOperation, Exception);
PELLORA_EXCEPTION(EOutOfResources, Exception);

// Colours: 0x00BBGGRR, or a system colour as 0x80000000 + the platform's colour index
// (the window system's COLOR_ values, written as numbers here).
using TColor = int32_t;
inline constexpr int32_t clSystemColor = static_cast<int32_t>(0x80000000u);


inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clInactiveCaption = clSystemColor | 3;
inline constexpr TColor clMenu = clSystemColor | 4;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowFrame = clSystemColor | 6;
inline constexpr TColor clMenuText = clSystemColor | 7;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clCaptionText = clSystemColor | 9;
inline constexpr TColor clActiveBorder = clSystemColor | 10;
inline constexpr TColor clInactiveBorder = clSystemColor | 11;
inline constexpr TColor clAppWorkSpace = clSystemColor | 12;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clInactiveCaptionText = clSystemColor | 19;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;
inline constexpr TColor clInfoText = clSystemColor | 23;
inline constexpr TColor clInfoBk = clSystemColor | 24;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clLtGray = 0xC0C0C0;
inline constexpr TColor clDkGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The plain 0x00BBGGRR value of a colour: system colours through the window system's
// GetSysColor, others unchanged.
COLORREF ColorToRGB(TColor Color);

class TGraphic;
class TBitmap;
class TPicture;
class TCanvas;

// Fonts, pens and brushes tell their owner (the canvas) when they change, so it can pick
// a fresh GDI object before its next drawing call.
class TGraphicsObject : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TGraphicsObject)
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }

 protected:
  virtual void Changed();
  TNotifyEvent FOnChange;
};

enum TFontStyle : uint8_t { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };
// A set of font styles.
class TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
    for (TFontStyle s : styles) FBits |= static_cast<uint8_t>(1u << s);
  }
  constexpr bool Contains(TFontStyle s) const { return (FBits >> s) & 1u; }
  constexpr TFontStyles& Include(TFontStyle s) { FBits |= static_cast<uint8_t>(1u << s); return *this; }
  constexpr TFontStyles& Exclude(TFontStyle s) { FBits &= static_cast<uint8_t>(~(1u << s)); return *this; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool operator==(const TFontStyles&) const = default;

 private:
  uint8_t FBits = 0;
};

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
 public:
  PELLORA_CLASS_NAME(TFont)
  TFont();
  ~TFont() override;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  void Assign(const TPersistent* Source) override;

  // A GDI font for the current attributes, made on first request and owned by the font.
  HFONT Handle();
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  // Size in points; Height in pixels, negative for the character height without leading.
  int32_t Size() const;
  void SetSize(int32_t Value);
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t Value) { FPixelsPerInch = Value > 0 ? Value : 96; }

 protected:
  void Changed() override;

 private:
  void FreeHandle();
  std::string FName = "MS Sans Serif";
  int32_t FHeight;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  TFontPitch FPitch = fpDefault;
  int32_t FPixelsPerInch = 96;
  HFONT FHandle = nullptr;
};

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPen : public TGraphicsObject {
 public:
  PELLORA_CLASS_NAME(TPen)
  TPen() = default;
  ~TPen() override;
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  void Assign(const TPersistent* Source) override;
  HPEN Handle();
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);

 protected:
  void Changed() override;

 private:
  void FreeHandle();
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  TPenStyle FStyle = psSolid;
  HPEN FHandle = nullptr;
};

enum TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  PELLORA_CLASS_NAME(TBrush)
  TBrush() = default;
  ~TBrush() override;
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  void Assign(const TPersistent* Source) override;
  HBRUSH Handle();
  TColor Color() const { return FColor; }
  // Setting a colour on a clear brush makes it solid again, as people expect.
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);

 protected:
  void Changed() override;

 private:
  void FreeHandle();
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  HBRUSH FHandle = nullptr;
};

using TCopyMode = int32_t;
inline constexpr TCopyMode cmBlackness = static_cast<TCopyMode>(BLACKNESS);
inline constexpr TCopyMode cmDstInvert = static_cast<TCopyMode>(DSTINVERT);
inline constexpr TCopyMode cmMergeCopy = static_cast<TCopyMode>(MERGECOPY);
inline constexpr TCopyMode cmMergePaint = static_cast<TCopyMode>(MERGEPAINT);
inline constexpr TCopyMode cmNotSrcCopy = static_cast<TCopyMode>(NOTSRCCOPY);
inline constexpr TCopyMode cmNotSrcErase = static_cast<TCopyMode>(NOTSRCERASE);
inline constexpr TCopyMode cmPatCopy = static_cast<TCopyMode>(PATCOPY);
inline constexpr TCopyMode cmPatInvert = static_cast<TCopyMode>(PATINVERT);
inline constexpr TCopyMode cmPatPaint = static_cast<TCopyMode>(PATPAINT);
inline constexpr TCopyMode cmSrcAnd = static_cast<TCopyMode>(SRCAND);
inline constexpr TCopyMode cmSrcCopy = static_cast<TCopyMode>(SRCCOPY);
inline constexpr TCopyMode cmSrcErase = static_cast<TCopyMode>(SRCERASE);
inline constexpr TCopyMode cmSrcInvert = static_cast<TCopyMode>(SRCINVERT);
inline constexpr TCopyMode cmSrcPaint = static_cast<TCopyMode>(SRCPAINT);
inline constexpr TCopyMode cmWhiteness = static_cast<TCopyMode>(WHITENESS);

// A canvas draws on a device context with its font, pen and brush. Every drawing call
// first raises OnChanging (a bitmap uses it to copy shared pixels before they change),
// then makes sure it has a handle (CreateHandle, which a subclass overrides to fetch one
// on demand) and that the current font, pen and brush are selected, draws, and raises
// OnChange.
class TCanvas : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TCanvas)
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The device context, fetched through CreateHandle when the canvas has none.
  HDC Handle();
  // Takes a device context (nullptr lets go of it, putting the DC's own objects back).
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TFont* Font() { return FFont.get(); }
  void SetFont(const TFont* Value) { FFont->Assign(Value); }
  TPen* Pen() { return FPen.get(); }
  void SetPen(const TPen* Value) { FPen->Assign(Value); }
  TBrush* Brush() { return FBrush.get(); }
  void SetBrush(const TBrush* Value) { FBrush->Assign(Value); }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(TPoint Value) { MoveTo(Value.x, Value.y); }

  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  SIZE TextExtent(const std::string& Text);
  int32_t TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int32_t TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  void FillRect(const TRect& Rect);
  void FrameRect(const TRect& Rect);
  void DrawFocusRect(const TRect& Rect);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& Rect) { Rectangle(Rect.left, Rect.top, Rect.right, Rect.bottom); }
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  TColor Pixels(int32_t X, int32_t Y);
  void SetPixels(int32_t X, int32_t Y, TColor Value);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TNotifyEvent& OnChanging() const { return FOnChanging; }
  void SetOnChanging(TNotifyEvent Value) { FOnChanging = std::move(Value); }

  // Raised around every drawing call; public so graphics drawing straight onto the DC
  // (DrawTo) can announce their change too.
  virtual void Changing();
  virtual void Changed();

 protected:
  // Asked for a device context when a drawing call finds none. The default has no way
  // to make one and raises EInvalidOperation "Canvas does not allow drawing".
  virtual void CreateHandle();
  enum TCanvasState : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
  static constexpr uint8_t csAllValid = csHandleValid | csFontValid | csPenValid | csBrushValid;
  void RequiredState(uint8_t ReqState);
  // The device context without asking for one.
  HDC PeekHandle() const { return FHandle; }

 private:
  void CreateFont();
  void CreatePen();
  void CreateBrush();
  void DeselectHandles();
  void FontChanged(TObject* Sender);
  void PenChanged(TObject* Sender);
  void BrushChanged(TObject* Sender);

  HDC FHandle = nullptr;
  uint8_t FState = 0;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  TPoint FPenPos{0, 0};
  TCopyMode FCopyMode = cmSrcCopy;
  TNotifyEvent FOnChange;
  TNotifyEvent FOnChanging;
  // What the DC held before our objects went in, put back when we let go of it.
  HGDIOBJ FOldFont = nullptr;
  HGDIOBJ FOldPen = nullptr;
  HGDIOBJ FOldBrush = nullptr;
};

enum TProgressStage : uint8_t { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

// A class reference for graphics: the class's name and how to make one. C++ has no
// metaclasses, so the picture's registry keeps these. Two references are the same class
// when their names match (case-insensitively, as class names do in stored designs).
class TGraphicClass {
 public:
  using TCreate = std::function<std::unique_ptr<TGraphic>()>;
  TGraphicClass() = default;
  TGraphicClass(std::string ClassName, TCreate Create) : FClassName(std::move(ClassName)), FCreate(std::move(Create)) {}
  const std::string& ClassName() const { return FClassName; }
  std::unique_ptr<TGraphic> Create() const;
  bool Assigned() const { return static_cast<bool>(FCreate); }
  bool operator==(const TGraphicClass& Other) const;

  // The class reference of T, which must have StaticClassName() and a default constructor.
  template <class T>
  static TGraphicClass Of() {
    return TGraphicClass(T::StaticClassName(), [] { return std::unique_ptr<TGraphic>(new T()); });
  }

 private:
  std::string FClassName;
  TCreate FCreate;
};

// The base of all graphics. Operations named as the runtime's callers know them
// (LoadFromStream, SaveToStream, LoadFromClipboardFormat, SaveToClipboardFormat, Draw,
// SetWidth) call the overridable slots (LoadFromFileStream, SaveToFileStream,
// ReadClipboardData, WriteClipboardData, DrawTo, ChangeWidth).
class TGraphic : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TGraphic)
  TGraphic() = default;
  ~TGraphic() override = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  // Assign is AssignFrom; a graphic overrides AssignFrom.
  void Assign(const TPersistent* Source) final { AssignFrom(Source); }
  virtual void AssignFrom(const TPersistent* Source) { TPersistent::Assign(Source); }
  // A new, empty graphic of the same class; the default asks the registry by class name.
  virtual std::unique_ptr<TGraphic> NewInstance() const;
  // Defines "Data" (the ReadImageData / WriteImageData body) unless the graphic is empty
  // or equal to the filer's ancestor.
  void DefineProperties(TFiler& Filer) override;
  // Same class and same stored bytes; two empty graphics of one class are equal.
  virtual bool Equals(const TGraphic* Graphic) const;

  void Draw(TCanvas* ACanvas, const TRect& Rect) { DrawTo(ACanvas, Rect); }
  virtual void DrawTo(TCanvas* ACanvas, const TRect& Rect) = 0;
  virtual bool IsEmpty() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  void SetWidth(int32_t Value) { ChangeWidth(Value); }
  void SetHeight(int32_t Value) { ChangeHeight(Value); }
  virtual void ChangeWidth(int32_t Value) = 0;
  virtual void ChangeHeight(int32_t Value) = 0;
  virtual HPALETTE PaletteHandle() { return nullptr; }
  virtual void SetPaletteHandle(HPALETTE Value) { (void)Value; }
  HPALETTE Palette() { return PaletteHandle(); }
  void SetPalette(HPALETTE Value) { SetPaletteHandle(Value); }
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  // The "Data" property's body. The default is the file form.
  virtual void ReadImageData(TStream& Stream) { LoadFromFileStream(Stream); }
  virtual void WriteImageData(TStream& Stream) { SaveToFileStream(Stream); }
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromFileStream(TStream& Stream) = 0;
  virtual void SaveToFileStream(TStream& Stream) = 0;
  void LoadFromStream(TStream& Stream) { LoadFromFileStream(Stream); }
  void SaveToStream(TStream& Stream) { SaveToFileStream(Stream); }
  virtual void ReadClipboardData(uint16_t Format, HGLOBAL Data, HPALETTE Palette) = 0;
  virtual void WriteClipboardData(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) = 0;
  void LoadFromClipboardFormat(uint16_t Format, HGLOBAL Data, HPALETTE Palette) {
    ReadClipboardData(Format, Data, Palette);
  }
  void SaveToClipboardFormat(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) {
    WriteClipboardData(Format, Data, Palette);
  }

  bool Modified() const { return FModified; }
  void SetModified(bool Value);
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }

  // Sets Modified and raises OnChange when one is assigned.
  virtual void Changed(TObject* Sender);
  // Raises OnProgress when one is assigned.
  virtual void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg);

 protected:
  bool FModified = false;
  bool FPaletteModified = false;
  bool FTransparent = false;
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
};

// Holds one graphic of any registered class, owns it, and knows the graphic classes by
// file extension, clipboard format and class name.
class TPicture : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TPicture)
  TPicture() = default;
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TGraphic* Graphic() const { return FGraphic.get(); }
  // Keeps a copy of Value (a new graphic of its class, assigned from it); nullptr empties.
  void SetGraphic(const TGraphic* Value);
  // The graphic as a TBitmap, replacing any other kind by an empty bitmap first.
  TBitmap* Bitmap();
  void SetBitmap(const TBitmap* Value);
  int32_t Width() const;
  int32_t Height() const;

  void Assign(const TPersistent* Source) override;
  void AssignTo(TPersistent* Dest) const override;
  void DefineProperties(TFiler& Filer) override;
  // The "Data" property: the class name as one length byte and its characters, then the
  // graphic's image data; an empty picture is a zero length byte.
  void ReadData(TStream& Stream);
  void WriteData(TStream& Stream) const;

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  void LoadFromClipboardFormat(uint16_t Format, HGLOBAL Data, HPALETTE Palette);
  void SaveToClipboardFormat(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) const;
  static bool SupportsClipboardFormat(uint16_t Format);

  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 const TGraphicClass& GraphicClass);
  static void RegisterClipboardFormat(uint16_t Format, const TGraphicClass& GraphicClass);
  static void UnregisterGraphicClass(const TGraphicClass& GraphicClass);
  // The class registered under this name (by file or clipboard format, or TBitmap);
  // an unassigned reference when none is.
  static TGraphicClass FindGraphicClass(const std::string& ClassName);
  // Adds a class known by name only (for stored designs) without a file or clipboard form.
  static void RegisterClass(const TGraphicClass& GraphicClass);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }

 protected:
  virtual void Changed(TObject* Sender);
  virtual void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg);

 private:
  void TakeGraphic(std::unique_ptr<TGraphic> Value);
  std::unique_ptr<TGraphic> FGraphic;
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
};

// The open dialog's filter for the registered file formats of a class (all classes when
// GraphicClass is unassigned): "All (*.a;*.b)|*.a;*.b|Desc (*.a)|*.a|...".
std::string GraphicFilter(const TGraphicClass& GraphicClass = TGraphicClass());
// The first registered extension of a class, without the dot ("" when none).
std::string GraphicExtension(const TGraphicClass& GraphicClass);
// "*.a;*.b" for a class (all classes when unassigned).
std::string GraphicFileMask(const TGraphicClass& GraphicClass = TGraphicClass());

// A reference-counted image shared between graphics until one of them is about to change
// it. Release frees the image at the last reference; FreeHandle lets go of its handles.
class TSharedImage {
 public:
  TSharedImage() = default;
  virtual ~TSharedImage() = default;
  TSharedImage(const TSharedImage&) = delete;
  TSharedImage& operator=(const TSharedImage&) = delete;
  void Reference() { ++FRefCount; }
  void Release();
  int32_t RefCount() const { return FRefCount; }

 protected:
  virtual void FreeHandle() = 0;

 private:
  int32_t FRefCount = 0;
};

enum TBitmapHandleType : uint8_t { bmDIB, bmDDB };
enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// The pixels of a TBitmap: a DIB section (or a device-dependent bitmap) and its palette.
class TBitmapImage : public TSharedImage {
 public:
  ~TBitmapImage() override;
  HBITMAP FHandle = nullptr;
  HPALETTE FPalette = nullptr;
  DIBSECTION FDIB{};          // valid when FHandle is a DIB section
  bool FDIBSection = false;

 protected:
  void FreeHandle() override;
};

class TBitmap;
// The canvas of a bitmap: a memory DC made on demand with the bitmap and its palette
// selected, released when the bitmap changes its handle or is freed.
class TBitmapCanvas : public TCanvas {
 public:
  PELLORA_CLASS_NAME(TBitmapCanvas)
  explicit TBitmapCanvas(TBitmap* Bitmap) : FBitmap(Bitmap) {}
  ~TBitmapCanvas() override;
  void FreeContext();

 protected:
  void CreateHandle() override;

 private:
  TBitmap* FBitmap;
  HGDIOBJ FOldBitmap = nullptr;
  HPALETTE FOldPalette = nullptr;
};

// The runtime's bitmap graphic: reads and writes bitmap files of every depth and
// compression, holds a DIB section, and draws through its canvas's memory DC.
class TBitmap : public TGraphic {
 public:
  PELLORA_CLASS_NAME(TBitmap)
  TBitmap();
  ~TBitmap() override;

  void AssignFrom(const TPersistent* Source) override;
  std::unique_ptr<TGraphic> NewInstance() const override { return std::make_unique<TBitmap>(); }
  void DrawTo(TCanvas* ACanvas, const TRect& Rect) override;
  bool IsEmpty() const override;
  int32_t Width() const override;
  int32_t Height() const override;
  void ChangeWidth(int32_t Value) override;
  void ChangeHeight(int32_t Value) override;
  void SetSize(int32_t AWidth, int32_t AHeight);
  HPALETTE PaletteHandle() override;
  void SetPaletteHandle(HPALETTE Value) override;
  // The "Data" body: a 32-bit byte count, then the bitmap file.
  void ReadImageData(TStream& Stream) override;
  void WriteImageData(TStream& Stream) override;
  void LoadFromFileStream(TStream& Stream) override;
  void SaveToFileStream(TStream& Stream) override;
  // CF_DIB: a global block holding the info header, colours or masks, and the pixels.
  void ReadClipboardData(uint16_t Format, HGLOBAL Data, HPALETTE Palette) override;
  void WriteClipboardData(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) override;

  TCanvas* Canvas();
  // The bitmap handle, this bitmap's own (not shared) and selected into no canvas, so it
  // can go into a DC of the caller's; the bitmap keeps owning it.
  HBITMAP Handle();
  // Takes ownership of a bitmap handle (a DIB section or a device-dependent bitmap).
  void SetHandle(HBITMAP Value);
  // Gives up ownership of the handle to the caller; the bitmap becomes empty.
  HBITMAP ReleaseHandle();
  HPALETTE ReleasePalette();
  TBitmapHandleType HandleType() const;
  void SetHandleType(TBitmapHandleType Value);
  TPixelFormat PixelFormat() const;
  // Converts the pixels to the new depth (a paletted depth gets a palette fitting the
  // old colours where it can).
  void SetPixelFormat(TPixelFormat Value);
  int32_t BitCount() const;
  // Address of row Row (0 is the top row) of the DIB section; raises
  // EInvalidGraphicOperation "Scan line index out of range" outside the picture.
  void* ScanLine(int32_t Row);
  TColor TransparentColor();
  void SetTransparentColor(TColor Value) {
    if (Value == FTransparentColor) return;
    FTransparentColor = Value;
    Changed(this);
  }
  // How SaveToFileStream writes 4- and 8-bit pictures (others are always written plain).
  TBitmapCompression Compression() const { return FCompression; }
  void SetCompression(TBitmapCompression Value) { FCompression = Value; }
  // The pixels as the file format sees them (rows bottom-up), and back.
  TBitmapData GetBitmapData();
  void SetBitmapData(const TBitmapData& Data);
  // Lets go of the pixels; the bitmap is empty afterwards (its pixel format stays).
  void FreeImage();

  // Builds a DIB section of the given size and depth; masks for 16 and 32 bits (nullptr
  // means 5-5-5 and 8-8-8), colours for 8 bits and fewer. Pixels are zero.
  void NewDIB(int32_t AWidth, int32_t AHeight, int32_t BitCount, const DWORD* Masks, const RGBQUAD* Colors,
              int32_t ColorCount);

  void Changed(TObject* Sender) override;

 private:
  friend class TBitmapCanvas;
  void NewImage(TBitmapImage* Image);
  void Unshare();
  void CanvasChanging(TObject* Sender);
  void ReadDIBStream(TStream& Stream, int64_t Size, bool HasFileHeader);
  void WriteDIBStream(TStream& Stream, bool WithFileHeader);
  void CopyImage(int32_t AWidth, int32_t AHeight, int32_t BitCount, const DWORD* Masks);

  TBitmapImage* FImage = nullptr;
  std::unique_ptr<TBitmapCanvas> FCanvas;
  TColor FTransparentColor = clDefault;
  TPixelFormat FPixelFormat = pfDevice;
  TBitmapCompression FCompression = bcNatural;
};

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterGraphicsClasses();
