#include "display/DirectX.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <utility>

#include "display/DXConsts.h"
#include "image/DIB.h"
#include "platform/ddraw/Libraries.h"

// ---------------------------------------------------------------------------------------
// The library list

namespace {

struct TLibrary {
  std::string Name;  // lower case
  HMODULE Handle;
};

std::vector<TLibrary>& Libraries() {
  static std::vector<TLibrary> list;
  return list;
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void* GetLibraryFunction(const std::string& Library, const std::string& Function) {
  const std::string key = LowerCase(Library);
  auto& list = Libraries();
  auto it = std::find_if(list.begin(), list.end(), [&](const TLibrary& l) { return l.Name == key; });
  if (it == list.end()) {
    HMODULE handle = LoadLibraryA(Library.c_str());
    if (handle == nullptr) throw Exception(DXConsts::SNotLoaded, {Library});
    list.push_back({key, handle});
    it = list.end() - 1;
  }
  FARPROC address = GetProcAddress(it->Handle, Function.c_str());
  if (address == nullptr) throw Exception(DXConsts::SNotLoaded, {Library});
  return reinterpret_cast<void*>(address);
}

void ReleaseLibraries() {
  auto& list = Libraries();
  for (const TLibrary& l : list) FreeLibrary(l.Handle);
  list.clear();
}

// ---------------------------------------------------------------------------------------
// Clipping

namespace {

// Moves edge Low of one rectangle in to Bound, and the matching edge of the other by as much.
void ClipLow(LONG& Low, LONG& Other, LONG Bound) {
  if (Bound > Low) {
    Other += Bound - Low;
    Low = Bound;
  }
}

void ClipHigh(LONG& High, LONG& Other, LONG Bound) {
  if (Bound < High) {
    Other -= High - Bound;
    High = Bound;
  }
}

}  // namespace

bool ClipBlitRects(RECT& D, RECT& S, const RECT& DB, const RECT& SB) {
  ClipLow(D.left, S.left, DB.left);
  ClipLow(D.top, S.top, DB.top);
  ClipLow(S.left, D.left, SB.left);
  ClipLow(S.top, D.top, SB.top);
  ClipHigh(D.right, S.right, DB.right);
  ClipHigh(D.bottom, S.bottom, DB.bottom);
  ClipHigh(S.right, D.right, SB.right);
  ClipHigh(S.bottom, D.bottom, SB.bottom);
  return D.left < D.right && D.top < D.bottom && S.left < S.right && S.top < S.bottom;
}

// ---------------------------------------------------------------------------------------
// TDirectX

void TDirectX::SetLastResult(HRESULT Value) {
  FLastResult = Value;
  if (Value != DD_OK) CheckResult();
}

// ---------------------------------------------------------------------------------------
// TDirectDrawObject

TDirectDrawObject::TDirectDrawObject(TDirectDraw* ADirectDraw, TKind Kind) : FDXDraw(ADirectDraw), FKind(Kind) {
  if (FDXDraw) FDXDraw->ListFor(FKind).push_back(this);
}

TDirectDraw* TDirectDrawObject::RequireDirectDraw() const {
  if (!FDXDraw) throw EDirectDrawError(DXConsts::SNotMade, {DXConsts::SIDirectDraw});
  return FDXDraw;
}

TDirectDrawObject::~TDirectDrawObject() {
  if (!FDXDraw) return;
  auto& list = FDXDraw->ListFor(FKind);
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

// ---------------------------------------------------------------------------------------
// TDirectDraw

TDirectDraw::TDirectDraw(GUID* DriverGUID) {
  auto create = reinterpret_cast<LPDIRECTDRAWCREATE>(
      GetLibraryFunction(DXConsts::SDDrawLibrary, DXConsts::SDirectDrawCreate));
  IDirectDraw* dd = nullptr;
  SetLastResult(create(DriverGUID, &dd, nullptr));
  if (LastResult() != DD_OK || dd == nullptr) throw EDirectDrawError(DXConsts::SCannotInitialized, {DXConsts::SDirectDraw});
  FIDDraw = dd;
  FDriverCaps.dwSize = sizeof(DDCAPS);
  DDCAPS emulation{};
  emulation.dwSize = sizeof(DDCAPS);
  FIDDraw->GetCaps(&FDriverCaps, &emulation);
}

TDirectDraw::~TDirectDraw() {
  while (!FSurfaces.empty()) delete FSurfaces.back();
  while (!FPalettes.empty()) delete FPalettes.back();
  while (!FClippers.empty()) delete FClippers.back();
  if (FIDDraw) FIDDraw->Release();
}

std::vector<TDirectDrawObject*>& TDirectDraw::ListFor(TDirectDrawObject::TKind Kind) {
  switch (Kind) {
    case TDirectDrawObject::TKind::Surface: return FSurfaces;
    case TDirectDrawObject::TKind::Palette: return FPalettes;
    case TDirectDrawObject::TKind::Clipper: break;
  }
  return FClippers;
}

TDirectDrawSurface* TDirectDraw::Surfaces(int32_t Index) const {
  if (Index < 0 || Index >= SurfaceCount()) throw EListError(SListIndexError, {Index});
  return static_cast<TDirectDrawSurface*>(FSurfaces[static_cast<size_t>(Index)]);
}

IDirectDraw* TDirectDraw::RequireInterface() const {
  if (!FIDDraw) throw EDirectDrawError(DXConsts::SNotMade, {DXConsts::SIDirectDraw});
  return FIDDraw;
}

// ---------------------------------------------------------------------------------------
// TDirectDrawSurface

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* ADirectDraw) : TDirectDrawObject(ADirectDraw, TKind::Surface) {}

TDirectDrawSurface::~TDirectDrawSurface() {
  delete FCanvas;  // clears FCanvas through the canvas's destructor
  SetInterface(nullptr);
}

void TDirectDrawSurface::SetInterface(IDirectDrawSurface* Value) {
  if (FCanvas) FCanvas->ReleaseCanvas();
  if (FIDDSurface) FIDDSurface->Release();
  FIDDSurface = Value;
  FHasClipper = false;
  FSurfaceDesc = DDSURFACEDESC{};
  if (!FIDDSurface) return;
  IDirectDrawClipper* clipper = nullptr;
  if (FIDDSurface->GetClipper(&clipper) == DD_OK && clipper != nullptr) {
    FHasClipper = true;
    clipper->Release();
  }
  FSurfaceDesc.dwSize = sizeof(DDSURFACEDESC);
  FIDDSurface->GetSurfaceDesc(&FSurfaceDesc);
}

IDirectDrawSurface* TDirectDrawSurface::RequireInterface() const {
  if (!FIDDSurface) throw EDirectDrawSurfaceError(DXConsts::SNotMade, {DXConsts::SIDirectDrawSurface});
  return FIDDSurface;
}

bool TDirectDrawSurface::CreateSurface(DDSURFACEDESC& SurfaceDesc) {
  SetInterface(nullptr);
  IDirectDrawSurface* surface = nullptr;
  TDirectDraw* owner = RequireDirectDraw();
  owner->SetLastResult(owner->RequireInterface()->CreateSurface(&SurfaceDesc, &surface, nullptr));
  SetLastResult(owner->LastResult());
  if (LastResult() == DD_OK) {
    SetInterface(surface);
    SetColorKey(0);
  }
  return LastResult() == DD_OK;
}

void TDirectDrawSurface::Resize(int32_t AWidth, int32_t AHeight) {
  if (AWidth <= 0 || AHeight <= 0) {
    SetInterface(nullptr);
    return;
  }
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(DDSURFACEDESC);
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  if (FSystemMemory) desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = static_cast<DWORD>(AWidth);
  desc.dwHeight = static_cast<DWORD>(AHeight);
  if (CreateSurface(desc)) return;
  if (!FSystemMemory) {
    desc.ddsCaps.dwCaps = (desc.ddsCaps.dwCaps & ~DDSCAPS_VIDEOMEMORY) | DDSCAPS_SYSTEMMEMORY;
    if (CreateSurface(desc)) {
      FSystemMemory = true;
      return;
    }
  }
  throw EDirectDrawSurfaceError(DXConsts::SCannotMade, {DXConsts::SDirectDrawSurface});
}

// ---------------------------------------------------------------------------------------
// Pictures

namespace {

// Drawing through a surface's canvas within one operation: the device context goes back
// however the drawing ends, so the surface can be blitted and locked again.
class TCanvasUse {
 public:
  explicit TCanvasUse(TDirectDrawSurfaceCanvas* Canvas) : FCanvas(Canvas) {}
  ~TCanvasUse() { FCanvas->ReleaseCanvas(); }
  TCanvasUse(const TCanvasUse&) = delete;
  TCanvasUse& operator=(const TCanvasUse&) = delete;
  TDirectDrawSurfaceCanvas* operator->() const { return FCanvas; }
  TDirectDrawSurfaceCanvas* Get() const { return FCanvas; }

 private:
  TDirectDrawSurfaceCanvas* FCanvas;
};

}  // namespace

void TDirectDrawSurface::LoadPicture(TGraphic* Graphic, int32_t AWidth, const TRect& SrcRect, int32_t AHeight) {
  const int32_t rw = SrcRect.right - SrcRect.left;
  const int32_t rh = SrcRect.bottom - SrcRect.top;
  if (AWidth == 0) AWidth = rw;
  if (AHeight == 0) AHeight = rh;
  Resize(AWidth, AHeight);
  if (!FIDDSurface || Graphic == nullptr) return;

  TCanvasUse canvas(Canvas());
  if (auto* dib = dynamic_cast<TDIB*>(Graphic)) {
    // The DIB's own canvas stretch-copies straight from its section.
    HDC dc = canvas->Handle();
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, AWidth, AHeight, dib->Canvas()->Handle(), SrcRect.left, SrcRect.top, rw, rh, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
  } else if (AWidth == rw && AHeight == rh) {
    canvas->Draw(-SrcRect.left, -SrcRect.top, Graphic);
  } else {
    TDIB temp;
    temp.Reformat(rw, rh, 24);
    temp.Canvas()->Draw(-SrcRect.left, -SrcRect.top, Graphic);
    canvas->StretchDraw(TRect{0, 0, AWidth, AHeight}, &temp);
  }
}

void TDirectDrawSurface::AssignFrom(const TPersistent* Source) {
  if (Source == nullptr) {
    SetInterface(nullptr);
  } else if (auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    LoadPicture(const_cast<TGraphic*>(graphic), 0, TRect{0, 0, graphic->Width(), graphic->Height()}, 0);
  } else if (auto* picture = dynamic_cast<const TPicture*>(Source)) {
    TGraphic* g = const_cast<TPicture*>(picture)->Graphic();
    if (g == nullptr) {
      SetInterface(nullptr);
      return;
    }
    LoadPicture(g, 0, TRect{0, 0, g->Width(), g->Height()}, 0);
  } else if (auto* surface = dynamic_cast<const TDirectDrawSurface*>(Source)) {
    if (surface->FIDDSurface == nullptr) {
      SetInterface(nullptr);
      return;
    }
    TDirectDraw* owner = RequireDirectDraw();
    IDirectDrawSurface* copy = nullptr;
    owner->SetLastResult(owner->RequireInterface()->DuplicateSurface(surface->FIDDSurface, &copy));
    SetInterface(owner->LastResult() == DD_OK ? copy : nullptr);
  } else {
    TPersistent::Assign(Source);
  }
}

void TDirectDrawSurface::CopyToDIB(TPersistent* Dest) {
  auto* dib = dynamic_cast<TDIB*>(Dest);
  if (dib == nullptr) {
    TPersistent::AssignTo(Dest);
    return;
  }
  dib->Reformat(Width(), Height(), 24);
  if (dib->IsEmpty()) return;
  TCanvasUse canvas(Canvas());
  dib->Canvas()->CopyRect(ClientRect(), canvas.Get(), ClientRect());
}

// ---------------------------------------------------------------------------------------
// Fills and blits

void TDirectDrawSurface::Fill(DWORD DevColor) {
  if (!FIDDSurface) return;
  DDBLTFX fx{};
  fx.dwSize = sizeof(DDBLTFX);
  fx.dwFillColor = DevColor;
  SetLastResult(FIDDSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
}

void TDirectDrawSurface::Draw(int32_t X, int32_t Y, const TRect& SrcRect, TDirectDrawSurface* Source,
                              bool Transparent) {
  if (Source == nullptr) return;
  TRect src = SrcRect;
  TRect dest{X, Y, X + (SrcRect.right - SrcRect.left), Y + (SrcRect.bottom - SrcRect.top)};
  if (!ClipBlitRects(dest, src, ClientRect(), Source->ClientRect())) return;

  auto blitRect = [&] {
    DDBLTFX fx{};
    fx.dwSize = sizeof(DDBLTFX);
    BlitRect(dest, Source, src, DDBLT_WAIT | (Transparent ? DDBLT_KEYSRC : 0), fx);
  };
  if (FHasClipper) {
    blitRect();
    return;
  }
  const DWORD fastFlags = DDBLTFAST_WAIT | (Transparent ? DDBLTFAST_SRCCOLORKEY : 0);
  if (!BlitFast(dest.left, dest.top, Source, src, fastFlags) && FIDDSurface && LastResult() == DDERR_BLTFASTCANTCLIP) {
    // Someone attached a clipper behind our back; from now on go through the clipped blit.
    IDirectDrawClipper* clipper = nullptr;
    if (FIDDSurface->GetClipper(&clipper) == DD_OK && clipper != nullptr) {
      FHasClipper = true;
      clipper->Release();
    }
    blitRect();
  }
}

bool TDirectDrawSurface::BlitRect(const TRect& DestRect, TDirectDrawSurface* Source, const TRect& SrcRect,
                                  DWORD Flags, DDBLTFX& BltFx) {
  if (!FIDDSurface) return false;
  RECT d = DestRect;
  RECT s = SrcRect;
  SetLastResult(FIDDSurface->Blt(&d, Source ? Source->FIDDSurface : nullptr, &s, Flags, &BltFx));
  return LastResult() == DD_OK;
}

bool TDirectDrawSurface::BlitFast(int32_t X, int32_t Y, TDirectDrawSurface* Source, const TRect& SrcRect,
                                  DWORD Flags) {
  if (!FIDDSurface) return false;
  RECT s = SrcRect;
  SetLastResult(FIDDSurface->BltFast(static_cast<DWORD>(X), static_cast<DWORD>(Y),
                                     Source ? Source->FIDDSurface : nullptr, &s, Flags));
  return LastResult() == DD_OK;
}

// ---------------------------------------------------------------------------------------
// Colours and pixels

DWORD TDirectDrawSurface::MatchColor(TColor Color) {
  if (!FIDDSurface) return 0;
  const DWORD saved = GetPixel(0, 0);
  const COLORREF rgb = ColorToRGB(Color);
  TDIB dib;
  dib.ColorTable()[0] = RGBQUAD{GetBValue(rgb), GetGValue(rgb), GetRValue(rgb), 0};
  dib.Reformat(1, 1, 8);
  dib.ApplyColorTable();
  dib.WritePixel(0, 0, 0);
  TCanvasUse(Canvas())->Draw(0, 0, &dib);
  const DWORD value = GetPixel(0, 0);
  SetPixel(0, 0, saved);
  return value;
}

void TDirectDrawSurface::SetColorKey(DWORD Value) {
  if (!FIDDSurface) return;
  DDCOLORKEY key{Value, Value};
  SetLastResult(FIDDSurface->SetColorKey(DDCKEY_SRCBLT, &key));
}

bool TDirectDrawSurface::Lock(const TRect* Rect, DDSURFACEDESC& SurfaceDesc) {
  if (!FIDDSurface) return false;
  RECT r{};
  if (Rect) r = *Rect;
  SurfaceDesc.dwSize = sizeof(DDSURFACEDESC);
  SetLastResult(FIDDSurface->Lock(Rect ? &r : nullptr, &SurfaceDesc, DDLOCK_WAIT, nullptr));
  return LastResult() == DD_OK;
}

void TDirectDrawSurface::Unlock(void* Data) {
  if (!FIDDSurface) return;
  SetLastResult(FIDDSurface->Unlock(Data));
}

DWORD ReadSurfacePixel(const uint8_t* Row, int32_t BitCount, int32_t X) {
  switch (BitCount) {
    case 1: return (Row[X / 8] >> (7 - X % 8)) & 1u;
    case 4: return (X % 2 == 0) ? (Row[X / 2] >> 4) : (Row[X / 2] & 0x0Fu);
    case 8: return Row[X];
    case 16: {
      uint16_t v;
      std::memcpy(&v, Row + 2 * X, 2);
      return v;
    }
    case 24: {
      const uint8_t* p = Row + 3 * X;
      return p[0] | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16);
    }
    case 32: {
      uint32_t v;
      std::memcpy(&v, Row + 4 * X, 4);
      return v;
    }
    default: return 0;
  }
}

void WriteSurfacePixel(uint8_t* Row, int32_t BitCount, int32_t X, DWORD Value) {
  switch (BitCount) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80u >> (X % 8));
      Row[X / 8] = static_cast<uint8_t>((Value & 1u) ? (Row[X / 8] | bit) : (Row[X / 8] & ~bit));
      break;
    }
    case 4:
      if (X % 2 == 0)
        Row[X / 2] = static_cast<uint8_t>((Row[X / 2] & 0x0Fu) | ((Value & 0x0Fu) << 4));
      else
        Row[X / 2] = static_cast<uint8_t>((Row[X / 2] & 0xF0u) | (Value & 0x0Fu));
      break;
    case 8: Row[X] = static_cast<uint8_t>(Value); break;
    case 16: {
      const uint16_t v = static_cast<uint16_t>(Value);
      std::memcpy(Row + 2 * X, &v, 2);
      break;
    }
    case 24: {
      uint8_t* p = Row + 3 * X;
      p[0] = static_cast<uint8_t>(Value);
      p[1] = static_cast<uint8_t>(Value >> 8);
      p[2] = static_cast<uint8_t>(Value >> 16);
      break;
    }
    case 32: std::memcpy(Row + 4 * X, &Value, 4); break;
    default: break;
  }
}

DWORD TDirectDrawSurface::GetPixel(int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return 0;
  DDSURFACEDESC desc{};
  if (!Lock(nullptr, desc)) return 0;
  const auto* row = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(Y) * desc.lPitch;
  const DWORD value = ReadSurfacePixel(row, static_cast<int32_t>(desc.ddpfPixelFormat.dwRGBBitCount), X);
  Unlock(desc.lpSurface);
  return value;
}

void TDirectDrawSurface::SetPixel(int32_t X, int32_t Y, DWORD Value) {
  if (X < 0 || Y < 0 || X >= Width() || Y >= Height()) return;
  DDSURFACEDESC desc{};
  if (!Lock(nullptr, desc)) return;
  auto* row = static_cast<uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(Y) * desc.lPitch;
  WriteSurfacePixel(row, static_cast<int32_t>(desc.ddpfPixelFormat.dwRGBBitCount), X, Value);
  Unlock(desc.lpSurface);
}

// ---------------------------------------------------------------------------------------
// Restoring and attachments

bool TDirectDrawSurface::Restore() {
  if (!FIDDSurface) return false;
  SetLastResult(FIDDSurface->Restore());
  return LastResult() == DD_OK;
}

void TDirectDrawSurface::AttachClipper(IDirectDrawClipper* Clipper) {
  if (FIDDSurface) SetLastResult(FIDDSurface->SetClipper(Clipper));
  FHasClipper = Clipper != nullptr && LastResult() == DD_OK;
}

void TDirectDrawSurface::AttachPalette(IDirectDrawPalette* Palette) {
  if (FIDDSurface) SetLastResult(FIDDSurface->SetPalette(Palette));
}

// ---------------------------------------------------------------------------------------
// The canvas

TDirectDrawSurfaceCanvas* TDirectDrawSurface::Canvas() {
  if (!FCanvas) FCanvas = new TDirectDrawSurfaceCanvas(this);
  return FCanvas;
}

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() {
  ReleaseCanvas();
  if (FSurface->FCanvas == this) FSurface->FCanvas = nullptr;
}

void TDirectDrawSurfaceCanvas::CreateHandle() {
  HDC dc = nullptr;
  FSurface->SetLastResult(FSurface->RequireInterface()->GetDC(&dc));
  if (FSurface->LastResult() == DD_OK) {
    FDC = dc;
    SetHandle(dc);
  }
}

void TDirectDrawSurfaceCanvas::ReleaseCanvas() {
  if (FDC == nullptr) return;
  SetHandle(nullptr);
  if (FSurface->FIDDSurface) FSurface->FIDDSurface->ReleaseDC(FDC);
  FDC = nullptr;
}
