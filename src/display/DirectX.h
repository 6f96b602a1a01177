#pragma once
// The object layer over the display service: the DirectDraw object that owns everything
// made on it, its surfaces with fills, clipped colour-keyed blits and pixel access, and a
// canvas on a surface's device context for text and pictures.
//
// Blits, fills, locks, restores and attachments never raise: they record the service's
// result in LastResult and answer whether it was DD_OK. Real errors (a service that cannot
// be reached, a surface that cannot be made) are exceptions.
#include <cstdint>
#include <string>
#include <vector>
#include "platform/ddraw/DDraw.h"
#include "runtime/Classes.h"
#include "runtime/Graphics.h"
#include "runtime/SysUtils.h"

PELLORA_EXCEPTION(EDirectXError, Exception);
PELLORA_EXCEPTION(EDirectDrawError, EDirectXError);
PELLORA_EXCEPTION(EDirectDrawSurfaceError, EDirectDrawError);

// The address of Function in Library. Loaded libraries stay listed under their lower-case
// name until ReleaseLibraries; a library or function that is not there raises Exception
// "%s not loaded" with the library name.
void* GetLibraryFunction(const std::string& Library, const std::string& Function);
void ReleaseLibraries();

// Clips a blit before the service sees it: D (destination) against DB (destination
// bounds) and S (source) against SB (source bounds), moving the other rectangle by the
// same amount. Answers whether anything is left to draw.
bool ClipBlitRects(RECT& D, RECT& S, const RECT& DB, const RECT& SB);

// One pixel of a locked row, at the depths a surface may have (1, 4, 8, 16, 24, 32 bits):
// 1 and 4 bits most significant first; 16, 24 and 32 bits little-endian, so a value is the
// pixel as the surface's channel masks describe it, the same value Fill and colour keys
// take. Other depths read 0 and write nothing.
DWORD ReadSurfacePixel(const uint8_t* Row, int32_t BitCount, int32_t X);
void WriteSurfacePixel(uint8_t* Row, int32_t BitCount, int32_t X, DWORD Value);

class TDirectX : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TDirectX)
  HRESULT LastResult() const { return FLastResult; }
  // Records a service result; a failure goes through CheckResult.
  void SetLastResult(HRESULT Value);

 protected:
  // Where a subclass could turn failures into exceptions; none of ours does.
  virtual void CheckResult() {}

 private:
  HRESULT FLastResult = DD_OK;
};

class TDirectDraw;
class TDirectDrawSurfaceCanvas;

// Something made on a TDirectDraw: it is listed there while it lives, and the TDirectDraw
// frees whatever is still listed when it goes itself. Surfaces, palettes and clippers are
// kept in separate lists because they are freed in that order.
class TDirectDrawObject : public TDirectX {
 public:
  PELLORA_CLASS_NAME(TDirectDrawObject)
  enum class TKind : uint8_t { Surface, Palette, Clipper };
  ~TDirectDrawObject() override;
  TDirectDrawObject(const TDirectDrawObject&) = delete;
  TDirectDrawObject& operator=(const TDirectDrawObject&) = delete;
  TDirectDraw* DXDraw() const { return FDXDraw; }

 protected:
  TDirectDrawObject(TDirectDraw* ADirectDraw, TKind Kind);
  // The owner, or EDirectDrawError "IDirectDraw not made" for an object made on none.
  TDirectDraw* RequireDirectDraw() const;

 private:
  TDirectDraw* FDXDraw;
  TKind FKind;
};

class TDirectDrawSurface;

class TDirectDraw : public TDirectX {
 public:
  PELLORA_CLASS_NAME(TDirectDraw)
  // Makes the service's DirectDraw object for the driver (nullptr: the default one).
  // Raises EDirectDrawError "DirectDraw cannot be initialized" when the service refuses.
  explicit TDirectDraw(GUID* DriverGUID);
  // Frees every surface still made on it (last first), then the palettes, then the
  // clippers, then lets go of the service's object.
  ~TDirectDraw() override;
  TDirectDraw(const TDirectDraw&) = delete;
  TDirectDraw& operator=(const TDirectDraw&) = delete;

  const DDCAPS& DriverCaps() const { return FDriverCaps; }
  IDirectDraw* IDraw() const { return FIDDraw; }
  // The service's object, or EDirectDrawError "IDirectDraw not made".
  IDirectDraw* RequireInterface() const;

  int32_t SurfaceCount() const { return static_cast<int32_t>(FSurfaces.size()); }
  TDirectDrawSurface* Surfaces(int32_t Index) const;
  const std::vector<TDirectDrawObject*>& Palettes() const { return FPalettes; }
  const std::vector<TDirectDrawObject*>& Clippers() const { return FClippers; }

 private:
  friend class TDirectDrawObject;
  std::vector<TDirectDrawObject*>& ListFor(TDirectDrawObject::TKind Kind);

  DDCAPS FDriverCaps{};
  std::vector<TDirectDrawObject*> FClippers;
  IDirectDraw* FIDDraw = nullptr;
  std::vector<TDirectDrawObject*> FPalettes;
  std::vector<TDirectDrawObject*> FSurfaces;
};

class TDirectDrawSurface : public TDirectDrawObject {
 public:
  PELLORA_CLASS_NAME(TDirectDrawSurface)
  explicit TDirectDrawSurface(TDirectDraw* ADirectDraw);
  ~TDirectDrawSurface() override;

  // Copies the surface into a TDIB; anything else gets the assignment error.
  void AssignTo(TPersistent* Dest) const override { const_cast<TDirectDrawSurface*>(this)->CopyToDIB(Dest); }
  // From nothing, a graphic, a picture or another surface.
  void Assign(const TPersistent* Source) override { AssignFrom(Source); }
  void AssignFrom(const TPersistent* Source);
  void CopyToDIB(TPersistent* Dest);

  // Takes Value (which may be nullptr) in place of the current service surface and reads
  // its description and whether a clipper is attached. The surface takes over the
  // caller's reference.
  void SetInterface(IDirectDrawSurface* Value);
  IDirectDrawSurface* ISurface() const { return FIDDSurface; }
  // The service surface, or EDirectDrawSurfaceError "IDirectDrawSurface not made".
  IDirectDrawSurface* RequireInterface() const;
  bool CreateSurface(DDSURFACEDESC& SurfaceDesc);
  // An off-screen surface of the display's format, in video memory when it fits and in
  // system memory otherwise; w or h of 0 or less leaves no surface at all.
  void Resize(int32_t AWidth, int32_t AHeight);

  // AWidth or AHeight 0 means the rectangle's.
  void LoadPicture(TGraphic* Graphic, int32_t AWidth, const TRect& SrcRect, int32_t AHeight);

  // Fills the whole surface with a value already in the surface's pixel format.
  void Fill(DWORD DevColor);
  void Draw(int32_t X, int32_t Y, const TRect& SrcRect, TDirectDrawSurface* Source, bool Transparent);
  bool BlitRect(const TRect& DestRect, TDirectDrawSurface* Source, const TRect& SrcRect, DWORD Flags,
                DDBLTFX& BltFx);
  bool BlitFast(int32_t X, int32_t Y, TDirectDrawSurface* Source, const TRect& SrcRect, DWORD Flags);

  // The surface's pixel value for Color, converted by the surface's own device context.
  DWORD MatchColor(TColor Color);
  void SetColorKey(DWORD Value);

  bool Lock(const TRect* Rect, DDSURFACEDESC& SurfaceDesc);
  void Unlock(void* Data);
  DWORD GetPixel(int32_t X, int32_t Y);
  void SetPixel(int32_t X, int32_t Y, DWORD Value);

  bool Restore();
  // Clipper and palette are the service's objects (nullptr detaches).
  void AttachClipper(IDirectDrawClipper* Clipper);
  void AttachPalette(IDirectDrawPalette* Palette);

  TDirectDrawSurfaceCanvas* Canvas();
  bool HasClipper() const { return FHasClipper; }
  bool SystemMemory() const { return FSystemMemory; }
  void SetSystemMemory(bool Value) { FSystemMemory = Value; }
  const DDSURFACEDESC& SurfaceDesc() const { return FSurfaceDesc; }
  int32_t Width() const { return static_cast<int32_t>(FSurfaceDesc.dwWidth); }
  int32_t Height() const { return static_cast<int32_t>(FSurfaceDesc.dwHeight); }
  int32_t BitCount() const { return static_cast<int32_t>(FSurfaceDesc.ddpfPixelFormat.dwRGBBitCount); }
  TRect ClientRect() const { return TRect{0, 0, Width(), Height()}; }

 private:
  friend class TDirectDrawSurfaceCanvas;

  TDirectDrawSurfaceCanvas* FCanvas = nullptr;
  bool FHasClipper = false;
  IDirectDrawSurface* FIDDSurface = nullptr;
  bool FSystemMemory = false;
  DDSURFACEDESC FSurfaceDesc{};
};

// A canvas that draws on its surface's device context. It takes the context on the first
// drawing call and holds it until ReleaseCanvas: the surface cannot be blitted, locked or
// presented meanwhile, so every user releases it when done drawing.
class TDirectDrawSurfaceCanvas : public TCanvas {
 public:
  PELLORA_CLASS_NAME(TDirectDrawSurfaceCanvas)
  explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface* ASurface) : FSurface(ASurface) {}
  ~TDirectDrawSurfaceCanvas() override;
  void ReleaseCanvas();
  TDirectDrawSurface* Surface() const { return FSurface; }
  HDC DC() const { return FDC; }

 protected:
  void CreateHandle() override;

 private:
  HDC FDC = nullptr;
  TDirectDrawSurface* FSurface;
};
