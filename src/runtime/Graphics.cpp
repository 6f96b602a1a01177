#include "runtime/Graphics.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "runtime/DesignsRegistry.h"

// Colours

COLORREF ColorToRGB(TColor Color) {
  if (Color < 0) return GetSysColor(Color & 0xFF);
  return static_cast<COLORREF>(Color) & 0x00FFFFFF;
}

namespace {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t p = static_cast<int64_t>(a) * b;
  const int64_t half = (c > 0 ? c : -c) / 2;
  const int64_t q = (p >= 0) == (c > 0) ? (std::llabs(p) + half) / std::llabs(c) : -((std::llabs(p) + half) / std::llabs(c));
  return static_cast<int32_t>(q);
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

// Fonts, pens, brushes

void TGraphicsObject::Changed() {
  if (FOnChange) FOnChange(this);
}

TFont::TFont() : FHeight(-MulDiv(8, 96, 72)) {}

TFont::~TFont() { FreeHandle(); }

void TFont::FreeHandle() {
  if (FHandle != nullptr) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TFont::Changed() {
  // The owner lets go of the old font first; only then may it be deleted.
  TGraphicsObject::Changed();
  FreeHandle();
}

void TFont::Assign(const TPersistent* Source) {
  if (const auto* f = dynamic_cast<const TFont*>(Source)) {
    if (f == this) return;
    FName = f->FName;
    FPixelsPerInch = f->FPixelsPerInch;
    FHeight = f->FHeight;
    FColor = f->FColor;
    FStyle = f->FStyle;
    FPitch = f->FPitch;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HFONT TFont::Handle() {
  if (FHandle == nullptr) {
    LOGFONTA lf{};
    lf.lfHeight = FHeight;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = FStyle.Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = static_cast<BYTE>(FPitch);
    std::strncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
    FHandle = CreateFontIndirectA(&lf);
  }
  return FHandle;
}

void TFont::SetName(const std::string& Value) {
  if (Value.empty() || Value == FName) return;
  FName = Value;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

void TFont::SetHeight(int32_t Value) {
  if (Value == FHeight) return;
  FHeight = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  // The colour is not part of the GDI font; the canvas re-reads it on next use.
  TGraphicsObject::Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Changed();
}

void TFont::SetPitch(TFontPitch Value) {
  if (Value == FPitch) return;
  FPitch = Value;
  Changed();
}

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
  if (FHandle != nullptr) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TPen::Changed() {
  TGraphicsObject::Changed();
  FreeHandle();
}

void TPen::Assign(const TPersistent* Source) {
  if (const auto* p = dynamic_cast<const TPen*>(Source)) {
    if (p == this) return;
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HPEN TPen::Handle() {
  if (FHandle == nullptr) {
    static constexpr int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASH, PS_DOT, PS_NULL, PS_SOLID};
    FHandle = CreatePen(styles[FStyle], FWidth, ColorToRGB(FColor));
  }
  return FHandle;
}

void TPen::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  Changed();
}

void TPen::SetWidth(int32_t Value) {
  if (Value < 0 || Value == FWidth) return;
  FWidth = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Changed();
}

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
  if (FHandle != nullptr) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TBrush::Changed() {
  TGraphicsObject::Changed();
  FreeHandle();
}

void TBrush::Assign(const TPersistent* Source) {
  if (const auto* b = dynamic_cast<const TBrush*>(Source)) {
    if (b == this) return;
    FColor = b->FColor;
    FStyle = b->FStyle;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HBRUSH TBrush::Handle() {
  if (FHandle == nullptr) {
    LOGBRUSH lb{};
    // The software GDI has no hatch patterns; hatched brushes paint solid.
    lb.lbStyle = FStyle == bsClear ? BS_NULL : BS_SOLID;
    lb.lbColor = ColorToRGB(FColor);
    FHandle = CreateBrushIndirect(&lb);
  }
  return FHandle;
}

void TBrush::SetColor(TColor Value) {
  if (Value == FColor && FStyle != bsClear) return;
  FColor = Value;
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Changed();
}

// Canvas

TCanvas::TCanvas() : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FFont->SetOnChange([this](TObject* s) { FontChanged(s); });
  FPen->SetOnChange([this](TObject* s) { PenChanged(s); });
  FBrush->SetOnChange([this](TObject* s) { BrushChanged(s); });
}

TCanvas::~TCanvas() {
  // Subclasses free their own contexts in their destructors; this only lets go.
  SetHandle(nullptr);
}

HDC TCanvas::Handle() {
  RequiredState(csHandleValid);
  return FHandle;
}

void TCanvas::SetHandle(HDC Value) {
  if (FHandle == Value) return;
  if (FHandle != nullptr) DeselectHandles();
  FHandle = Value;
  FState = Value != nullptr ? csHandleValid : 0;
}

void TCanvas::CreateHandle() {}

void TCanvas::RequiredState(uint8_t ReqState) {
  const uint8_t needed = ReqState & ~FState;
  if (needed == 0) return;
  if (needed & csHandleValid) {
    CreateHandle();
    if (FHandle == nullptr) throw EInvalidOperation(SNoCanvas);
    FState |= csHandleValid;
  }
  if (needed & csFontValid) CreateFont();
  if (needed & csPenValid) CreatePen();
  if (needed & csBrushValid) CreateBrush();
}

void TCanvas::CreateFont() {
  HGDIOBJ old = SelectObject(FHandle, FFont->Handle());
  if (FOldFont == nullptr) FOldFont = old;
  SetTextColor(FHandle, ColorToRGB(FFont->Color()));
  FState |= csFontValid;
}

void TCanvas::CreatePen() {
  HGDIOBJ old = SelectObject(FHandle, FPen->Handle());
  if (FOldPen == nullptr) FOldPen = old;
  FState |= csPenValid;
}

void TCanvas::CreateBrush() {
  HGDIOBJ old = SelectObject(FHandle, FBrush->Handle());
  if (FOldBrush == nullptr) FOldBrush = old;
  if (FBrush->Style() == bsSolid) {
    SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
    SetBkMode(FHandle, OPAQUE);
  } else {
    SetBkColor(FHandle, ~ColorToRGB(FBrush->Color()) & 0x00FFFFFF);
    SetBkMode(FHandle, TRANSPARENT);
  }
  FState |= csBrushValid;
}

void TCanvas::DeselectHandles() {
  if (FHandle == nullptr) return;
  // Put back what the DC held, so our objects can be deleted while the DC lives on.
  if (FOldFont != nullptr) SelectObject(FHandle, FOldFont);
  if (FOldPen != nullptr) SelectObject(FHandle, FOldPen);
  if (FOldBrush != nullptr) SelectObject(FHandle, FOldBrush);
  FOldFont = FOldPen = FOldBrush = nullptr;
  FState &= static_cast<uint8_t>(~(csFontValid | csPenValid | csBrushValid));
}

void TCanvas::FontChanged(TObject* Sender) {
  (void)Sender;
  if ((FState & csFontValid) && FHandle != nullptr) {
    if (FOldFont != nullptr) SelectObject(FHandle, FOldFont);
    FOldFont = nullptr;
    FState &= static_cast<uint8_t>(~csFontValid);
  }
}

void TCanvas::PenChanged(TObject* Sender) {
  (void)Sender;
  if ((FState & csPenValid) && FHandle != nullptr) {
    if (FOldPen != nullptr) SelectObject(FHandle, FOldPen);
    FOldPen = nullptr;
    FState &= static_cast<uint8_t>(~csPenValid);
  }
}

void TCanvas::BrushChanged(TObject* Sender) {
  (void)Sender;
  if ((FState & csBrushValid) && FHandle != nullptr) {
    if (FOldBrush != nullptr) SelectObject(FHandle, FOldBrush);
    FOldBrush = nullptr;
    FState &= static_cast<uint8_t>(~csBrushValid);
  }
}

void TCanvas::Changing() {
  if (FOnChanging) FOnChanging(this);
}

void TCanvas::Changed() {
  if (FOnChange) FOnChange(this);
}

void TCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  TextOutA(FHandle, X, Y, Text.data(), static_cast<int>(Text.size()));
  SIZE extent{};
  GetTextExtentPoint32A(FHandle, Text.data(), static_cast<int>(Text.size()), &extent);
  MoveTo(X + extent.cx, Y);
  Changed();
}

SIZE TCanvas::TextExtent(const std::string& Text) {
  RequiredState(csHandleValid | csFontValid);
  SIZE extent{0, 0};
  GetTextExtentPoint32A(FHandle, Text.data(), static_cast<int>(Text.size()), &extent);
  return extent;
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FillRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FrameRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::DrawFocusRect(FHandle, &Rect);
  Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  RequiredState(csHandleValid | csBrushValid | csPenValid);
  ::Rectangle(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  MoveToEx(FHandle, X, Y, nullptr);
  FPenPos = TPoint{X, Y};
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::LineTo(FHandle, X, Y);
  FPenPos = TPoint{X, Y};
  Changed();
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->IsEmpty()) return;
  Changing();
  RequiredState(csHandleValid);
  SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
  Graphic->Draw(this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (Graphic == nullptr || Graphic->IsEmpty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (Canvas == nullptr) return;
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  Canvas->RequiredState(csHandleValid | csBrushValid);
  StretchBlt(FHandle, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, Canvas->FHandle,
             Source.left, Source.top, Source.right - Source.left, Source.bottom - Source.top,
             static_cast<DWORD>(FCopyMode));
  Changed();
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  return static_cast<TColor>(GetPixel(FHandle, X, Y));
}

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Value) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  SetPixel(FHandle, X, Y, ColorToRGB(Value));
  Changed();
}

// Graphic class references

std::unique_ptr<TGraphic> TGraphicClass::Create() const {
  if (!FCreate) throw EInvalidGraphic(SUnknownGraphicClass, {FClassName});
  return FCreate();
}

bool TGraphicClass::operator==(const TGraphicClass& Other) const {
  return LowerCase(FClassName) == LowerCase(Other.FClassName);
}

// Graphic

std::unique_ptr<TGraphic> TGraphic::NewInstance() const {
  const TGraphicClass cls = TPicture::FindGraphicClass(ClassName());
  if (!cls.Assigned()) throw EInvalidGraphic(SUnknownGraphicClass, {ClassName()});
  return cls.Create();
}

void TGraphic::DefineProperties(TFiler& Filer) {
  bool hasData = !IsEmpty();
  if (auto* ancestor = dynamic_cast<TGraphic*>(Filer.Ancestor())) {
    hasData = !Equals(ancestor);
  } else if (Filer.Ancestor() != nullptr) {
    hasData = true;
  }
  Filer.DefineBinaryProperty(
      "Data", [this](TStream& s) { ReadImageData(s); }, [this](TStream& s) { WriteImageData(s); }, hasData);
}

bool TGraphic::Equals(const TGraphic* Graphic) const {
  if (Graphic == nullptr || Graphic->ClassName() != ClassName()) return false;
  if (IsEmpty() || Graphic->IsEmpty()) return IsEmpty() && Graphic->IsEmpty();
  if (Graphic == this) return true;
  // Writing does not change a graphic; the slots are not const only because some
  // graphics decode or build handles lazily while they write.
  TMemoryStream mine, theirs;
  const_cast<TGraphic*>(this)->WriteImageData(mine);
  const_cast<TGraphic*>(Graphic)->WriteImageData(theirs);
  return mine.Size() == theirs.Size() &&
         (mine.Size() == 0 || std::memcmp(mine.Memory(), theirs.Memory(), static_cast<size_t>(mine.Size())) == 0);
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromFileStream(stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToFileStream(stream);
}

void TGraphic::SetModified(bool Value) {
  if (Value) {
    Changed(this);
  } else {
    FModified = false;
  }
}

void TGraphic::Changed(TObject* Sender) {
  (void)Sender;
  FModified = true;
  if (FOnChange) FOnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg) {
  if (FOnProgress) FOnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

// The registry of graphic classes

namespace {

struct TFileFormat {
  std::string Extension;  // lower case, no dot
  std::string Description;
  TGraphicClass GraphicClass;
};

struct TGraphicRegistry {
  std::vector<TFileFormat> FileFormats;
  std::vector<std::pair<uint16_t, TGraphicClass>> ClipboardFormats;
  std::vector<TGraphicClass> Classes;

  TGraphicRegistry() {
    const TGraphicClass bitmap = TGraphicClass::Of<TBitmap>();
    Classes.push_back(bitmap);
    FileFormats.push_back({"bmp", "Bitmaps", bitmap});
    ClipboardFormats.push_back({8 /* CF_DIB */, bitmap});
  }

  void AddClass(const TGraphicClass& c) {
    for (TGraphicClass& known : Classes) {
      if (known == c) {
        known = c;
        return;
      }
    }
    Classes.push_back(c);
  }
};

TGraphicRegistry& Registry() {
  // Never destroyed: graphics may be unregistered by other objects' destructors at exit.
  static TGraphicRegistry* registry = new TGraphicRegistry;
  return *registry;
}

std::string NormalExtension(const std::string& ext) {
  return LowerCase(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
}

// The extension of a file name: after the last dot of its last path part.
std::string ExtractExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return fileName.substr(dot + 1);
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  const TGraphicClass& GraphicClass) {
  TGraphicRegistry& r = Registry();
  r.AddClass(GraphicClass);
  r.FileFormats.push_back({NormalExtension(Extension), Description, GraphicClass});
}

void TPicture::RegisterClipboardFormat(uint16_t Format, const TGraphicClass& GraphicClass) {
  TGraphicRegistry& r = Registry();
  r.AddClass(GraphicClass);
  r.ClipboardFormats.push_back({Format, GraphicClass});
}

void TPicture::RegisterClass(const TGraphicClass& GraphicClass) { Registry().AddClass(GraphicClass); }

void TPicture::UnregisterGraphicClass(const TGraphicClass& GraphicClass) {
  TGraphicRegistry& r = Registry();
  std::erase_if(r.FileFormats, [&](const TFileFormat& f) { return f.GraphicClass == GraphicClass; });
  std::erase_if(r.ClipboardFormats, [&](const auto& f) { return f.second == GraphicClass; });
  std::erase_if(r.Classes, [&](const TGraphicClass& c) { return c == GraphicClass; });
}

TGraphicClass TPicture::FindGraphicClass(const std::string& ClassName) {
  for (const TGraphicClass& c : Registry().Classes) {
    if (c == TGraphicClass(ClassName, nullptr)) return c;
  }
  return TGraphicClass();
}

bool TPicture::SupportsClipboardFormat(uint16_t Format) {
  for (const auto& f : Registry().ClipboardFormats) {
    if (f.first == Format) return true;
  }
  return false;
}

std::string GraphicFileMask(const TGraphicClass& GraphicClass) {
  std::string mask;
  for (const TFileFormat& f : Registry().FileFormats) {
    if (GraphicClass.ClassName().empty() || f.GraphicClass == GraphicClass) {
      if (!mask.empty()) mask += ';';
      mask += "*." + f.Extension;
    }
  }
  return mask;
}

std::string GraphicFilter(const TGraphicClass& GraphicClass) {
  std::string filters;
  int count = 0;
  for (const TFileFormat& f : Registry().FileFormats) {
    if (GraphicClass.ClassName().empty() || f.GraphicClass == GraphicClass) {
      filters += "|" + f.Description + " (*." + f.Extension + ")|*." + f.Extension;
      ++count;
    }
  }
  if (count == 0) return std::string();
  const std::string mask = GraphicFileMask(GraphicClass);
  if (count == 1) return filters.substr(1);
  return "All (" + mask + ")|" + mask + filters;
}

std::string GraphicExtension(const TGraphicClass& GraphicClass) {
  for (const TFileFormat& f : Registry().FileFormats) {
    if (f.GraphicClass == GraphicClass) return f.Extension;
  }
  return std::string();
}

// Picture

TPicture::~TPicture() = default;

void TPicture::TakeGraphic(std::unique_ptr<TGraphic> Value) {
  FGraphic = std::move(Value);
  if (FGraphic) {
    FGraphic->SetOnChange([this](TObject* s) { Changed(s); });
    FGraphic->SetOnProgress([this](TObject* s, TProgressStage st, uint8_t p, bool r, const TRect& rc,
                                   const std::string& m) { Progress(s, st, p, r, rc, m); });
  }
  Changed(this);
}

void TPicture::SetGraphic(const TGraphic* Value) {
  if (Value == FGraphic.get() && Value != nullptr) return;
  if (Value == nullptr) {
    TakeGraphic(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> copy = Value->NewInstance();
  copy->Assign(Value);
  TakeGraphic(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
  if (dynamic_cast<TBitmap*>(FGraphic.get()) == nullptr) TakeGraphic(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(FGraphic.get());
}

void TPicture::SetBitmap(const TBitmap* Value) { SetGraphic(Value); }

int32_t TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }

int32_t TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    SetGraphic(nullptr);
  } else if (const auto* p = dynamic_cast<const TPicture*>(Source)) {
    if (p != this) SetGraphic(p->Graphic());
  } else if (const auto* g = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::AssignTo(TPersistent* Dest) const {
  if (FGraphic && Dest != nullptr && Dest->ClassName() == FGraphic->ClassName()) {
    Dest->Assign(FGraphic.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TPicture::DefineProperties(TFiler& Filer) {
  bool hasData = FGraphic != nullptr;
  if (auto* ancestor = dynamic_cast<TPicture*>(Filer.Ancestor())) {
    const TGraphic* theirs = ancestor->Graphic();
    hasData = !(FGraphic.get() == theirs || (FGraphic && theirs && FGraphic->Equals(theirs)));
  } else if (Filer.Ancestor() != nullptr) {
    hasData = true;
  }
  Filer.DefineBinaryProperty(
      "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); }, hasData);
}

void TPicture::ReadData(TStream& Stream) {
  uint8_t length = 0;
  if (Stream.Read(&length, 1) != 1 || length == 0) {
    // No class name: the picture holds nothing.
    TakeGraphic(nullptr);
    return;
  }
  std::string name(length, '\0');
  Stream.ReadBuffer(name.data(), length);
  const TGraphicClass cls = FindGraphicClass(name);
  if (!cls.Assigned()) throw EInvalidGraphic(SUnknownGraphicClass, {name});
  std::unique_ptr<TGraphic> graphic = cls.Create();
  graphic->ReadImageData(Stream);
  TakeGraphic(std::move(graphic));
}

void TPicture::WriteData(TStream& Stream) const {
  if (!FGraphic) {
    const uint8_t none = 0;
    Stream.WriteBuffer(&none, 1);
    return;
  }
  const std::string name = FGraphic->ClassName();
  const uint8_t length = static_cast<uint8_t>(std::min<size_t>(name.size(), 255));
  Stream.WriteBuffer(&length, 1);
  Stream.WriteBuffer(name.data(), length);
  FGraphic->WriteImageData(Stream);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = ExtractExtension(FileName);
  const std::string key = LowerCase(ext);
  const auto& formats = Registry().FileFormats;
  // The latest registration of an extension wins.
  for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
    if (it->Extension == key) {
      std::unique_ptr<TGraphic> graphic = it->GraphicClass.Create();
      graphic->SetOnProgress([this](TObject* s, TProgressStage st, uint8_t p, bool r, const TRect& rc,
                                    const std::string& m) { Progress(s, st, p, r, rc, m); });
      graphic->LoadFromFile(FileName);
      TakeGraphic(std::move(graphic));
      return;
    }
  }
  throw EInvalidGraphic(SUnknownExtension, {ext});
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(uint16_t Format, HGLOBAL Data, HPALETTE Palette) {
  const auto& formats = Registry().ClipboardFormats;
  for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
    if (it->first == Format) {
      std::unique_ptr<TGraphic> graphic = it->second.Create();
      graphic->LoadFromClipboardFormat(Format, Data, Palette);
      TakeGraphic(std::move(graphic));
      return;
    }
  }
  throw EInvalidGraphic(SUnknownClipboardFormat);
}

void TPicture::SaveToClipboardFormat(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) const {
  if (FGraphic) FGraphic->SaveToClipboardFormat(Format, Data, Palette);
}

void TPicture::Changed(TObject* Sender) {
  (void)Sender;
  if (FOnChange) FOnChange(this);
}

void TPicture::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg) {
  if (FOnProgress) FOnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

// Shared images

void TSharedImage::Release() {
  if (FRefCount > 0) --FRefCount;
  if (FRefCount == 0) {
    FreeHandle();
    delete this;
  }
}

// ---- the drawing classes' published properties ----

namespace {
void SetFontStyleBits(TFont* f, uint32_t bits) {
  TFontStyles s;
  for (int i = 0; i < 4; ++i) {
    if (bits & (1u << i)) s.Include(static_cast<TFontStyle>(i));
  }
  f->SetStyle(s);
}
}  // namespace

void RegisterGraphicsClasses() {
  RegisterClassInfo("TGraphicsObject", "TPersistent");
  RegisterPersistentClass<TFont, TGraphicsObject>()
      .Str("Name", &TFont::SetName)
      .Int("Size", &TFont::SetSize)
      .Int("Height", &TFont::SetHeight)
      .Color("Color", &TFont::SetColor)
      .Enum("Pitch", &TFont::SetPitch, {{"fpDefault", fpDefault}, {"fpVariable", fpVariable}, {"fpFixed", fpFixed}});
  // A set setter wants a plain bit set; the font's style set is built from it.
  TClassInfo& font = *const_cast<TClassInfo*>(FindClassInfo("TFont"));
  TPropInfo style;
  style.Name = "Style";
  style.Kind = TPropKind::Set;
  style.Names = {{"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}, {"fsStrikeOut", 3}};
  style.SetOrdinal = [](TPersistent* o, int64_t v) {
    if (auto* f = dynamic_cast<TFont*>(o)) SetFontStyleBits(f, static_cast<uint32_t>(v));
  };
  font.Properties.push_back(std::move(style));
  // Text is 8-bit throughout, so a stored character set changes nothing; designs may
  // still name one.
  TPropInfo charset;
  charset.Name = "Charset";
  charset.Kind = TPropKind::Enumeration;
  charset.Names = {{"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}, {"OEM_CHARSET", 255}};
  charset.SetOrdinal = [](TPersistent*, int64_t) {};
  font.Properties.push_back(std::move(charset));
  RegisterPersistentClass<TBrush, TGraphicsObject>()
      .Color("Color", &TBrush::SetColor)
      .Enum("Style", &TBrush::SetStyle, {{"bsSolid", bsSolid}, {"bsClear", bsClear}});
  RegisterPersistentClass<TPen, TGraphicsObject>()
      .Color("Color", &TPen::SetColor)
      .Int("Width", &TPen::SetWidth);
  // A picture's contents come through its "Data" binary property (DefineProperties).
  RegisterPersistentClass<TPicture, TPersistent>();
}
