// What the display is made of while it runs, and how frames reach the screen: the palette
// and clipper wrappers, and the two drivers (a flipping chain, or a back surface blitted
// onto the primary).
#include <algorithm>
#include <utility>

#include "display/DXConsts.h"
#include "display/DXDraws.h"
#include "display/DXDrawsInternal.h"

// ---- TDirectDrawPalette ----

TDirectDrawPalette::TDirectDrawPalette(TDirectDraw* ADirectDraw)
    : TDirectDrawObject(ADirectDraw, TKind::Palette) {}

TDirectDrawPalette::~TDirectDrawPalette() {
  if (FIDDPalette != nullptr) FIDDPalette->Release();
}

IDirectDrawPalette* TDirectDrawPalette::RequireInterface() const {
  if (FIDDPalette == nullptr) throw EDirectDrawPaletteError(Format(DXConsts::SNotMade, {DXConsts::SIDirectDrawPalette}));
  return FIDDPalette;
}

bool TDirectDrawPalette::CreatePalette(DWORD Caps, const PALETTEENTRY* Entries) {
  if (FIDDPalette != nullptr) {
    FIDDPalette->Release();
    FIDDPalette = nullptr;
  }
  IDirectDrawPalette* made = nullptr;
  std::array<PALETTEENTRY, 256> copy{};
  std::copy(Entries, Entries + 256, copy.begin());
  SetLastResult(RequireDirectDraw()->RequireInterface()->CreatePalette(Caps, copy.data(), &made, nullptr));
  if (LastResult() != DD_OK) return false;
  FIDDPalette = made;
  return true;
}

bool TDirectDrawPalette::SetEntries(int32_t StartIndex, int32_t Count, const PALETTEENTRY* Entries) {
  if (FIDDPalette == nullptr) return false;
  std::vector<PALETTEENTRY> copy(Entries, Entries + Count);
  SetLastResult(FIDDPalette->SetEntries(0, static_cast<DWORD>(StartIndex), static_cast<DWORD>(Count), copy.data()));
  return LastResult() == DD_OK;
}

bool TDirectDrawPalette::GetEntries(int32_t StartIndex, int32_t Count, PALETTEENTRY* Entries) {
  if (FIDDPalette == nullptr) return false;
  SetLastResult(FIDDPalette->GetEntries(0, static_cast<DWORD>(StartIndex), static_cast<DWORD>(Count), Entries));
  return LastResult() == DD_OK;
}

// ---- TDirectDrawClipper ----

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw* ADirectDraw) : TDirectDrawObject(ADirectDraw, TKind::Clipper) {
  IDirectDrawClipper* made = nullptr;
  SetLastResult(RequireDirectDraw()->RequireInterface()->CreateClipper(0, &made, nullptr));
  if (LastResult() != DD_OK) throw EDirectDrawClipperError(Format(DXConsts::SCannotMade, {DXConsts::SDirectDrawClipper}));
  FIDDClipper = made;
}

TDirectDrawClipper::~TDirectDrawClipper() {
  if (FIDDClipper != nullptr) FIDDClipper->Release();
}

IDirectDrawClipper* TDirectDrawClipper::RequireInterface() const {
  if (FIDDClipper == nullptr) throw EDirectDrawClipperError(Format(DXConsts::SNotMade, {DXConsts::SIDirectDrawClipper}));
  return FIDDClipper;
}

void TDirectDrawClipper::AttachWindow(HWND Window) { SetLastResult(RequireInterface()->SetHWnd(0, Window)); }

// ---- Drivers ----

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw* ADXDraw) : FDXDraw(ADXDraw) {
  // The default driver: this program never picks another, nor asks for 3D.
  ADXDraw->FDirectDraw = new TDirectDraw(nullptr);
}

TDXDrawDriver::~TDXDrawDriver() {
  ReleaseObjects();
  delete FDXDraw->FDirectDraw;
  FDXDraw->FDirectDraw = nullptr;
}

void TDXDrawDriver::ReleaseObjects() {
  TCustomDXDraw* d = FDXDraw;
  delete std::exchange(d->FClipper, nullptr);
  delete std::exchange(d->FPalette, nullptr);
  delete std::exchange(d->FSurface, nullptr);
  delete std::exchange(d->FPrimarySurface, nullptr);
}

bool TDXDrawDriver::ResizeSurface(int32_t AWidth, int32_t AHeight) {
  (void)AWidth;
  (void)AHeight;
  return false;
}

void TDXDrawDriverFlip::CreateObjects() {
  TCustomDXDraw* d = FDXDraw;
  TDirectDraw* dd = d->FDirectDraw;
  d->FPrimarySurface = new TDirectDrawSurface(dd);
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  desc.dwBackBufferCount = 1;
  if (!d->FPrimarySurface->CreateSurface(desc))
    throw EDXDrawError(Format(DXConsts::SCannotMade, {DXConsts::SDirectDrawPrimarySurface}));

  d->FSurface = new TDirectDrawSurface(dd);
  DDSCAPS caps{};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  IDirectDrawSurface* back = nullptr;
  if (d->FPrimarySurface->ISurface()->GetAttachedSurface(&caps, &back) == DD_OK) d->FSurface->SetInterface(back);

  d->FEffectiveOptions &= ~doSystemMemory;
  if (d->FSurface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) d->FEffectiveOptions |= doSystemMemory;

  d->FClipper = new TDirectDrawClipper(dd);

  d->FPalette = new TDirectDrawPalette(dd);
  const DWORD paletteCaps = DDPCAPS_8BIT | ((d->FOptions & doAllowPalette256) ? DDPCAPS_ALLOW256 : 0);
  const TDXDrawPaletteEntries entries = d->MakePaletteEntries(d->FColorTable);
  d->FPalette->CreatePalette(paletteCaps, entries.data());
  AttachPaletteTo(d->FPrimarySurface, d->FPalette);
  AttachPaletteTo(d->FSurface, d->FPalette);
}

void TDXDrawDriverFlip::Present() {
  TCustomDXDraw* d = FDXDraw;
  if (d->FForm != nullptr && d->FForm->Active()) {
    d->FPrimarySurface->SetLastResult(d->FPrimarySurface->ISurface()->Flip(nullptr, DDFLIP_WAIT));
    return;
  }
  // Nothing is shown, but the wait for the blank still paces the caller: frames computed
  // behind another window would otherwise run the processor flat out.
  d->FDirectDraw->RequireInterface()->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  d->FPrimarySurface->SetLastResult(DD_OK);
}

void TDXDrawDriverBlt::CreateObjects() {
  TCustomDXDraw* d = FDXDraw;
  TDirectDraw* dd = d->FDirectDraw;
  d->FPrimarySurface = new TDirectDrawSurface(dd);
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (!d->FPrimarySurface->CreateSurface(desc))
    throw EDXDrawError(Format(DXConsts::SCannotMade, {DXConsts::SDirectDrawPrimarySurface}));

  d->FSurface = new TDirectDrawSurface(dd);
  d->FClipper = new TDirectDrawClipper(dd);
  d->FClipper->AttachWindow(d->Handle());
  d->FPrimarySurface->AttachClipper(d->FClipper->IClipper());

  d->FPalette = new TDirectDrawPalette(dd);
  const DWORD paletteCaps =
      DDPCAPS_8BIT | DDPCAPS_INITIALIZE | ((d->FEffectiveOptions & doAllowPalette256) ? DDPCAPS_ALLOW256 : 0);
  const TDXDrawPaletteEntries entries = d->MakePaletteEntries(d->FColorTable);
  d->FPalette->CreatePalette(paletteCaps, entries.data());
  AttachPaletteTo(d->FPrimarySurface, d->FPalette);

  CreateBackSurface();
}

void TDXDrawDriverBlt::CreateBackSurface() {
  TCustomDXDraw* d = FDXDraw;
  d->FSurface->SetInterface(nullptr);
  d->FEffectiveOptions &= ~doSystemMemory;
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = static_cast<DWORD>(std::max(d->FSurfaceWidth, 1));
  desc.dwHeight = static_cast<DWORD>(std::max(d->FSurfaceHeight, 1));
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  if (d->FOptions & doSystemMemory) desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
  if (!d->FSurface->CreateSurface(desc)) {
    desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (!d->FSurface->CreateSurface(desc))
      throw EDXDrawError(Format(DXConsts::SCannotMade, {DXConsts::SDirectDrawSurface}));
  }
  if (!(d->FSurface->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY)) d->FEffectiveOptions |= doSystemMemory;
  AttachPaletteTo(d->FSurface, d->FPalette);
  FillBlack(d->FSurface);
}

void TDXDrawDriverBlt::Present() {
  TCustomDXDraw* d = FDXDraw;
  const TDXDrawOptions o = d->FEffectiveOptions;
  TPoint origin = d->ClientToScreen(TPoint{0, 0});
  const int32_t sw = d->FSurface->Width();
  const int32_t sh = d->FSurface->Height();
  RECT target{};
  if (o & doStretch) {
    target = RECT{origin.x, origin.y, origin.x + d->Width(), origin.y + d->Height()};
  } else {
    if (o & doCenter) {
      origin.x += (d->Width() - sw) / 2;
      origin.y += (d->Height() - sh) / 2;
    }
    target = RECT{origin.x, origin.y, origin.x + sw, origin.y + sh};
  }
  if (o & doWaitVBlank) d->FDirectDraw->RequireInterface()->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  RECT source{0, 0, sw, sh};
  d->FPrimarySurface->SetLastResult(
      d->FPrimarySurface->ISurface()->Blt(&target, d->FSurface->ISurface(), &source, DDBLT_WAIT, nullptr));
}

bool TDXDrawDriverBlt::ResizeSurface(int32_t AWidth, int32_t AHeight) {
  TCustomDXDraw* d = FDXDraw;
  d->FSurfaceWidth = std::max(AWidth, 1);
  d->FSurfaceHeight = std::max(AHeight, 1);
  d->FEventDepth++;
  try {
    d->NotifyListeners(DisplayNotice::SurfaceStopping);
    if (d->FSurfaceEventFired) {
      d->FSurfaceEventFired = false;
      d->DoFinalizeSurface();
    }
    CreateBackSurface();
    d->NotifyListeners(DisplayNotice::SurfaceStarted);
    d->FSurfaceEventFired = true;
    d->DoInitializeSurface();
  } catch (...) {
    d->FEventDepth--;
    throw;
  }
  d->FEventDepth--;
  d->Restore();
  FillBlack(d->FSurface);
  return true;
}
