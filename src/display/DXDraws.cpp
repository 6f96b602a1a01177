#include "display/DXDraws.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "display/DXClass.h"
#include "display/DXConsts.h"
#include "runtime/DesignsRegistry.h"

// ---------------------------------------------------------------------------------------
// TDirectDrawDisplay

TDirectDrawDisplay::TDirectDrawDisplay(TDirectDrawDisplayHost* ADXDraw)
    : FDXDraw(ADXDraw), FModes(TCollection::ItemClass<TDirectDrawDisplayMode>()) {}

TDirectDrawDisplay::~TDirectDrawDisplay() = default;

void TDirectDrawDisplay::Assign(const TPersistent* Source) {
  if (Source == this) return;
  if (auto* other = dynamic_cast<const TDirectDrawDisplay*>(Source)) {
    FBitCount = other->FBitCount;
    FHeight = other->FHeight;
    FWidth = other->FWidth;
    FFixedBitCount = other->FFixedBitCount;
    FFixedRatio = other->FFixedRatio;
    FFixedSize = other->FFixedSize;
    return;
  }
  TPersistent::Assign(Source);
}

void TDirectDrawDisplay::SetBitCount(int32_t Value) {
  if (Value != 8 && Value != 16 && Value != 24 && Value != 32)
    throw EDirectDrawError(DXConsts::SInvalidDisplayBitCount);
  FBitCount = Value;
}

int32_t TDirectDrawDisplay::Count() {
  if (FModes.Count() == 0) EnumerateModes();
  return FModes.Count();
}

TDirectDrawDisplayMode* TDirectDrawDisplay::Modes(int32_t Index) {
  if (FModes.Count() == 0) EnumerateModes();
  return static_cast<TDirectDrawDisplayMode*>(FModes.Items(Index));
}

namespace {

HRESULT AddMode(LPDDSURFACEDESC Desc, void* Context) {
  auto* modes = static_cast<TCollection*>(Context);
  static_cast<TDirectDrawDisplayMode*>(modes->Add())->SetSurfaceDesc(*Desc);
  return DDENUMRET_OK;
}

}  // namespace

void TDirectDrawDisplay::EnumerateModes() {
  FModes.Clear();
  if (TDirectDraw* dd = DirectDraw()) dd->RequireInterface()->EnumDisplayModes(0, nullptr, &FModes, AddMode);
}

int32_t TDirectDrawDisplay::IndexOfMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  const int32_t n = Count();
  for (int32_t i = 0; i < n; ++i) {
    TDirectDrawDisplayMode* m = Modes(i);
    if (m->Width() == AWidth && m->Height() == AHeight && m->BitCount() == ABitCount) return i;
  }
  return -1;
}

bool TDirectDrawDisplay::TrySetMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  TDirectDraw* dd = DirectDraw();
  if (dd == nullptr) return false;
  dd->SetLastResult(dd->RequireInterface()->SetDisplayMode(static_cast<DWORD>(AWidth), static_cast<DWORD>(AHeight),
                                                           static_cast<DWORD>(ABitCount)));
  if (dd->LastResult() != DD_OK) return false;
  FWidth = AWidth;
  FHeight = AHeight;
  FBitCount = ABitCount;
  return true;
}

bool TDirectDrawDisplay::SelectMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (AWidth <= 0 || AHeight <= 0) return false;
  if (ABitCount != 8 && ABitCount != 16 && ABitCount != 24 && ABitCount != 32) return false;
  if (TrySetMode(AWidth, AHeight, ABitCount)) return true;
  if (FFixedRatio && FindNearestMode(AWidth, AHeight, ABitCount, true)) return true;
  return FindNearestMode(AWidth, AHeight, ABitCount, false);
}

// The smallest listed mode not smaller than the wish that the rules accept; at that size
// the wanted depth is preferred when it is listed too.
bool TDirectDrawDisplay::FindNearestMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount, bool RatioWanted) {
  int32_t bestW = INT32_MAX;
  int32_t bestH = INT32_MAX;
  int32_t bestBits = ABitCount;
  bool found = false;
  const double ratio = static_cast<double>(AWidth) / static_cast<double>(AHeight);
  const int32_t n = Count();
  for (int32_t i = 0; i < n; ++i) {
    const TDirectDrawDisplayMode* m = Modes(i);
    const int32_t w = m->Width();
    const int32_t h = m->Height();
    const int32_t bits = m->BitCount();
    if (w > bestW || h > bestH) continue;
    if (RatioWanted && (h == 0 || static_cast<double>(w) / static_cast<double>(h) != ratio)) continue;
    if (FFixedSize ? (w != AWidth || h != AHeight) : (w < AWidth || h < AHeight)) continue;
    if (FFixedBitCount) {
      if (bits != ABitCount) continue;
    } else if ((bits <= 8 || ABitCount <= 8) && bits < ABitCount) {
      continue;
    }
    bestW = w;
    bestH = h;
    bestBits = bits;
    found = true;
  }
  if (!found) return false;
  if (bestBits != ABitCount && IndexOfMode(bestW, bestH, ABitCount) >= 0) bestBits = ABitCount;
  return TrySetMode(bestW, bestH, bestBits);
}

// =======================================================================================
// The display component

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

namespace {

void FillBlack(TDirectDrawSurface* S) {
  if (S != nullptr && S->ISurface() != nullptr) S->Fill(0);
}

void AttachPaletteTo(TDirectDrawSurface* S, TDirectDrawPalette* P) {
  if (S != nullptr && S->ISurface() != nullptr && P != nullptr) S->AttachPalette(P->IPalette());
}

}  // namespace

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw* ADXDraw) : FDXDraw(ADXDraw) {
  // No 3D start-up: this program never asks for do3D.
  const TDXDrawOptions o = ADXDraw->FOptions;
  GUID* guid = nullptr;
  if ((o & doFullScreen) && (o & doHardware) && !(o & doSystemMemory)) guid = ADXDraw->FDriverGuid.get();
  ADXDraw->FDirectDraw = new TDirectDraw(guid);
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
  const DWORD paletteCaps = (d->FOptions & doAllowPalette256) ? 0x44 : 0x04;
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
  const DWORD paletteCaps = (d->FEffectiveOptions & doAllowPalette256) ? 76 : 12;
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

// ---- TControlSubClass ----

TControlSubClass::TControlSubClass(TControl* Control, THandler Handler)
    : FControl(Control), FDefWindowProc(Control->WindowProc()) {
  TWndMethod saved = FDefWindowProc;
  Control->SetWindowProc([Handler = std::move(Handler), saved](TMessage& m) { Handler(m, saved); });
}

TControlSubClass::~TControlSubClass() { FControl->SetWindowProc(FDefWindowProc); }

// ---- TCustomDXDraw ----

namespace {

// The screen's system palette in colour-table order (blue, green, red, 0).
TDXDrawColorTable SystemColorTable() {
  TDXDrawColorTable table{};
  std::array<PALETTEENTRY, 256> entries{};
  HDC dc = GetDC(nullptr);
  GetSystemPaletteEntries(dc, 0, 256, entries.data());
  ReleaseDC(nullptr, dc);
  for (size_t i = 0; i < 256; ++i) {
    table[i].rgbBlue = entries[i].peBlue;
    table[i].rgbGreen = entries[i].peGreen;
    table[i].rgbRed = entries[i].peRed;
    table[i].rgbReserved = 0;
  }
  return table;
}

}  // namespace

TCustomDXDraw::TCustomDXDraw(TComponent* AOwner)
    : TCustomControl(AOwner), FDisplay(std::make_unique<TDirectDrawDisplay>(this)) {
  SetParentColor(false);
  SetColor(clBtnFace);
  SetBounds(Left(), Top(), 100, 100);
  SetOptions(doAllowReboot | doWaitVBlank | doCenter | doHardware | doRetainedMode | doDrawPrimitive |
             doSelectDriver | doTexture | doRGB | doMono | doDither);
  FColorTable = SystemColorTable();
  FDefaultColorTable = FColorTable;
}

TCustomDXDraw::~TCustomDXDraw() {
  // The handlers belong to the form; while it is going, the members of its own class are
  // already gone, so they must not run (its components, the frame timer among them, go with
  // it anyway).
  if (FForm != nullptr && FForm->IsDestroying()) {
    FOnFinalize = nullptr;
    FOnFinalizeSurface = nullptr;
  }
  Finalize();
  NotifyListeners(DisplayNotice::Destroying);
  FFormHook.reset();
}

void TCustomDXDraw::DoFinalize() {
  if (FOnFinalize) FOnFinalize(this);
}
void TCustomDXDraw::DoFinalizeSurface() {
  if (FOnFinalizeSurface) FOnFinalizeSurface(this);
}
void TCustomDXDraw::DoInitialize() {
  if (FOnInitialize) FOnInitialize(this);
}
void TCustomDXDraw::DoInitializeSurface() {
  if (FOnInitializeSurface) FOnInitializeSurface(this);
}
void TCustomDXDraw::DoInitializing() {
  if (FOnInitializing) FOnInitializing(this);
}
void TCustomDXDraw::DoRestoreSurface() {
  if (FOnRestoreSurface) FOnRestoreSurface(this);
}

void TCustomDXDraw::Initialize() {
  FInitializeAttempted = true;
  Finalize();
  if (FForm == nullptr) throw EDXDrawError(DXConsts::SNotFoundForm);
  try {
    DoInitializing();
    FBusy = true;
    FHasObjects = true;
    try {
      NotifyListeners(DisplayNotice::Starting);
      if (FEffectiveOptions & doFlip) {
        FDriver = std::make_unique<TDXDrawDriverFlip>(this);
      } else {
        FDriver = std::make_unique<TDXDrawDriverBlt>(this);
      }
      ApplyCooperativeLevel();
      if (FEffectiveOptions & doFullScreen) {
        if (!FDisplay->SelectMode(FDisplay->Width(), FDisplay->Height(), FDisplay->BitCount()))
          throw EDXDrawError(
              Format(DXConsts::SDisplaymodeChange, {FDisplay->Width(), FDisplay->Height(), FDisplay->BitCount()}));
      }
      if (FAutoSize) {
        FSurfaceWidth = Width();
        FSurfaceHeight = Height();
      }
      FDriver->CreateObjects();
    } catch (...) {
      FBusy = false;
      throw;
    }
    FBusy = false;
  } catch (...) {
    Finalize();
    throw;
  }
  FInitialized = true;
  FEventDepth++;
  try {
    NotifyListeners(DisplayNotice::SurfaceSized);
    NotifyListeners(DisplayNotice::Started);
    FInitializeEventFired = true;
    DoInitialize();
    NotifyListeners(DisplayNotice::SurfaceStarted);
    FSurfaceEventFired = true;
    DoInitializeSurface();
  } catch (...) {
    FEventDepth--;
    throw;
  }
  FEventDepth--;
  Restore();
}

void TCustomDXDraw::Finalize() {
  if (!FHasObjects) return;
  FSurfaceWidth = SurfaceWidth();
  FSurfaceHeight = SurfaceHeight();
  FDisplay->ClearModes();
  FBusy = true;
  try {
    try {
      if (FSurfaceEventFired) {
        FSurfaceEventFired = false;
        DoFinalizeSurface();
      }
    } catch (...) {
      NotifyListeners(DisplayNotice::SurfaceStopping);
      throw;
    }
    NotifyListeners(DisplayNotice::SurfaceStopping);
    try {
      if (FInitializeEventFired) {
        FInitializeEventFired = false;
        DoFinalize();
      }
    } catch (...) {
      NotifyListeners(DisplayNotice::Stopping);
      throw;
    }
    NotifyListeners(DisplayNotice::Stopping);
  } catch (...) {
    ReleaseDriver();
    throw;
  }
  ReleaseDriver();
}

void TCustomDXDraw::ReleaseDriver() {
  FHasObjects = false;
  FInitialized = false;
  FEffectiveOptions = OptionsWhenStopped(FOptions);
  FDriver.reset();
  FBusy = false;
}

void TCustomDXDraw::ApplyCooperativeLevel() {
  DWORD level = DDSCL_NORMAL;
  if (FEffectiveOptions & doFullScreen) {
    level = (FEffectiveOptions & doNoWindowChange) ? 0x55 : 0x51;
    if (FEffectiveOptions & doAllowReboot) level |= DDSCL_ALLOWREBOOT;
  }
  HWND window = FForm != nullptr ? FForm->Handle() : Handle();
  FCooperativeLevel = level;
  FDirectDraw->SetLastResult(FDirectDraw->RequireInterface()->SetCooperativeLevel(window, level));
}

bool TCustomDXDraw::CheckSurfaceLost() {
  if (!FInitialized || FBusy || FPrimarySurface == nullptr || FPrimarySurface->ISurface() == nullptr) return false;
  if (FPrimarySurface->ISurface()->IsLost() != DDERR_SURFACELOST) return true;
  Restore();
  return FPrimarySurface->ISurface()->IsLost() == DD_OK;
}

bool TCustomDXDraw::ReadyToDraw() {
  return FInitialized && !FBusy && FSurface != nullptr && FSurface->ISurface() != nullptr && CheckSurfaceLost();
}

void TCustomDXDraw::PresentFrame() {
  if (FInitialized && !FBusy && CheckSurfaceLost()) FDriver->Present();
}

bool TCustomDXDraw::RestoreSurfaces() {
  const bool ok = FPrimarySurface->Restore() && FSurface->Restore();
  if (ok) {
    FillBlack(FPrimarySurface);
    FillBlack(FSurface);
  }
  return ok;
}

void TCustomDXDraw::Restore() {
  if (!FInitialized || FBusy) return;
  FBusy = true;
  try {
    if (RestoreSurfaces()) {
      AttachPaletteTo(FPrimarySurface, FPalette);
      AttachPaletteTo(FSurface, FPalette);
      ApplyPaletteTable(FDefaultColorTable);
      NotifyListeners(DisplayNotice::Restored);
      DoRestoreSurface();
      ApplyPaletteTable(FColorTable);
    }
  } catch (...) {
    FBusy = false;
    throw;
  }
  FBusy = false;
}

void TCustomDXDraw::ApplyPaletteTable(const TDXDrawColorTable& Table) {
  if (!FInitialized || FPalette == nullptr) return;
  const TDXDrawPaletteEntries entries = MakePaletteEntries(Table);
  FPalette->SetEntries(0, 256, entries.data());
}

TDXDrawPaletteEntries TCustomDXDraw::MakePaletteEntries(const TDXDrawColorTable& Table) const {
  TDXDrawPaletteEntries entries{};
  for (size_t i = 0; i < 256; ++i) {
    entries[i].peRed = Table[i].rgbRed;
    entries[i].peGreen = Table[i].rgbGreen;
    entries[i].peBlue = Table[i].rgbBlue;
  }
  if (!(FEffectiveOptions & doAllowPalette256)) {
    // The twenty colours the desktop keeps for itself stay as the screen has them.
    std::array<PALETTEENTRY, 256> system{};
    HDC dc = GetDC(nullptr);
    GetSystemPaletteEntries(dc, 0, 256, system.data());
    ReleaseDC(nullptr, dc);
    for (size_t i = 0; i < 10; ++i) entries[i] = system[i];
    for (size_t i = 246; i < 256; ++i) entries[i] = system[i];
  }
  for (PALETTEENTRY& e : entries) e.peFlags = 0x40;
  return entries;
}

void TCustomDXDraw::FlipToDesktop() {
  if (FInitialized && (FEffectiveOptions & doFullScreen) && (FEffectiveOptions & doFlip))
    FDirectDraw->SetLastResult(FDirectDraw->RequireInterface()->FlipToGDISurface());
}

int32_t TCustomDXDraw::SurfaceWidth() const {
  return (FSurface != nullptr && FSurface->ISurface() != nullptr) ? FSurface->Width() : FSurfaceWidth;
}

int32_t TCustomDXDraw::SurfaceHeight() const {
  return (FSurface != nullptr && FSurface->ISurface() != nullptr) ? FSurface->Height() : FSurfaceHeight;
}

void TCustomDXDraw::SetSurfaceWidth(int32_t Value) {
  if (IsLoading()) {
    FSurfaceWidth = Value;
    return;
  }
  SetSurfaceSize(Value, SurfaceHeight());
}

void TCustomDXDraw::SetSurfaceHeight(int32_t Value) {
  if (IsLoading()) {
    FSurfaceHeight = Value;
    return;
  }
  SetSurfaceSize(SurfaceWidth(), Value);
}

void TCustomDXDraw::SetSurfaceSize(int32_t AWidth, int32_t AHeight) {
  if ((AWidth == SurfaceWidth() && AHeight == SurfaceHeight()) || FBusy) return;
  if (FInitialized) {
    bool resized = false;
    try {
      resized = FDriver->ResizeSurface(AWidth, AHeight);
    } catch (...) {
      Finalize();
      throw;
    }
    if (!resized) return;
  } else {
    FSurfaceWidth = AWidth;
    FSurfaceHeight = AHeight;
  }
  NotifyListeners(DisplayNotice::SurfaceSized);
}

void TCustomDXDraw::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  if (FAutoSize && !IsLoading()) SetSurfaceSize(Width(), Height());
}

TDXDrawOptions TCustomDXDraw::OptionsWhenStopped(TDXDrawOptions Value) const {
  TDXDrawOptions o = Value;
  if (!(o & doFullScreen)) o &= ~(doNoWindowChange | doAllowReboot | doAllowPalette256 | doFlip);
  if (!(o & do3D)) o &= ~DXDraw3DSubOptions;
  if (o & doSystemMemory) o &= ~doFlip;
  o &= ~doHardware;
  return o;
}

void TCustomDXDraw::SetOptions(TDXDrawOptions Value) {
  FOptions = Value;
  if (!FInitialized) {
    FEffectiveOptions = OptionsWhenStopped(Value);
    return;
  }
  constexpr TDXDrawOptions changeable = doWaitVBlank | doStretch | doCenter | doDither;
  FEffectiveOptions = (FEffectiveOptions & ~changeable) | (Value & changeable);
  if (!(FEffectiveOptions & do3D)) FEffectiveOptions &= ~DXDraw3DSubOptions;
}

void TCustomDXDraw::AddListener(TDXDrawNotifyEvent Callback, void* Data) {
  RemoveListener(Callback, Data);
  FListeners.push_back({Callback, Data});
  Callback(Data, this, DisplayNotice::SurfaceSized);
  if (FInitialized) {
    Callback(Data, this, DisplayNotice::Started);
    if (FEventDepth == 0) Callback(Data, this, DisplayNotice::Restored);
  }
}

void TCustomDXDraw::RemoveListener(TDXDrawNotifyEvent Callback, void* Data) {
  for (auto it = FListeners.begin(); it != FListeners.end(); ++it) {
    if (it->Callback == Callback && it->Data == Data) {
      FListeners.erase(it);
      if (FInitialized) Callback(Data, this, DisplayNotice::Stopping);
      return;
    }
  }
}

void TCustomDXDraw::NotifyListeners(DisplayNotice Notice) {
  // A listener may remove itself (or others) while being told; go by index from the end.
  for (size_t i = FListeners.size(); i-- > 0;) {
    if (i >= FListeners.size()) continue;
    const Listener l = FListeners[i];
    l.Callback(l.Data, this, Notice);
  }
}

void TCustomDXDraw::Loaded() {
  TCustomControl::Loaded();
  if (FAutoSize) {
    FSurfaceWidth = Width();
    FSurfaceHeight = Height();
    NotifyListeners(DisplayNotice::SurfaceSized);
  }
  if (FAutoInitialize && !IsDesigning() && FFormHook == nullptr) Initialize();
}

void TCustomDXDraw::UpdateForm() {
  FFormHook.reset();
  FForm = nullptr;
  if (IsDesigning()) return;
  for (TWinControl* p = Parent(); p != nullptr; p = p->Parent()) {
    if (auto* f = dynamic_cast<TCustomForm*>(p)) {
      FForm = f;
      break;
    }
  }
  if (FForm != nullptr)
    FFormHook = std::make_unique<TControlSubClass>(
        FForm, [this](TMessage& m, const TWndMethod& def) { FormWndProc(m, def); });
}

void TCustomDXDraw::ParentChanged() {
  TCustomControl::ParentChanged();
  UpdateForm();
}

void TCustomDXDraw::FormWndProc(TMessage& Message, const TWndMethod& DefWindowProc) {
  switch (Message.Msg) {
    case WM_ACTIVATE:
      if ((Message.WParam & 0xFFFF) == WA_INACTIVE) FlipToDesktop();
      DefWindowProc(Message);
      return;
    case WM_INITMENU:
    case WM_INITMENUPOPUP:
      FlipToDesktop();
      DefWindowProc(Message);
      return;
    case WM_WINDOWPOSCHANGED: {
      DefWindowProc(Message);
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(Message.LParam);
      if (pos != nullptr && (pos->flags & SWP_SHOWWINDOW) && FAutoInitialize && !FInitializeAttempted) Initialize();
      return;
    }
    default:
      DefWindowProc(Message);
  }
}

void TCustomDXDraw::BoundsChanged() {
  TCustomControl::BoundsChanged();
  if (FAutoSize && !FBusy && !IsLoading()) SetSurfaceSize(Width(), Height());
}

void TCustomDXDraw::PaintWindow(HDC DC) {
  (void)DC;
  if (IsDesigning()) return;
  // A repaint shows the last frame again at once, without pacing by the blank.
  const TDXDrawOptions saved = FEffectiveOptions;
  FEffectiveOptions &= ~doWaitVBlank;
  try {
    PresentFrame();
  } catch (...) {
    FEffectiveOptions = saved;
    throw;
  }
  FEffectiveOptions = saved;
}

void TCustomDXDraw::CreateWnd() {
  TCustomControl::CreateWnd();
  if (FInitialized && !FBusy) {
    if (FClipper != nullptr) FClipper->AttachWindow(Handle());
    ApplyCooperativeLevel();
  }
}

void TCustomDXDraw::WndProc(TMessage& Message) {
  TCustomControl::WndProc(Message);
  // The program's palette is about to be realized in front again: bring the surfaces back.
  if (Message.Msg == WM_QUERYNEWPALETTE) Restore();
}

// End of the display component.
// =======================================================================================

// ---------------------------------------------------------------------------------------
// Stored designs

void RegisterDXDrawsClasses() {
  RegisterPersistentClass<TDirectDrawDisplay, TPersistent>()
      .Int("BitCount", &TDirectDrawDisplay::SetBitCount)
      .Bool("FixedBitCount", &TDirectDrawDisplay::SetFixedBitCount)
      .Bool("FixedRatio", &TDirectDrawDisplay::SetFixedRatio)
      .Bool("FixedSize", &TDirectDrawDisplay::SetFixedSize)
      .Int("Height", &TDirectDrawDisplay::SetHeight)
      .Int("Width", &TDirectDrawDisplay::SetWidth);
  RegisterPersistentClass<TCustomDXDraw, TCustomControl>();
  RegisterComponentClass<TDXDraw, TCustomDXDraw>()
      .Bool("AutoInitialize", &TDXDraw::SetAutoInitialize)
      .Bool("AutoSize", &TDXDraw::SetAutoSize)
      .Object("Display", &TDXDraw::Display)
      .Set("Options", &TDXDraw::SetOptions,
           {"doFullScreen", "doNoWindowChange", "doAllowReboot", "doWaitVBlank", "doAllowPalette256", "doSystemMemory",
            "doStretch", "doCenter", "doFlip", "do3D", "doHardware", "doRetainedMode", "doDrawPrimitive",
            "doSelectDriver", "doZBuffer", "doTexture", "doRGB", "doMono", "doDither"})
      .Int("SurfaceWidth", &TDXDraw::SetSurfaceWidth)
      .Int("SurfaceHeight", &TDXDraw::SetSurfaceHeight)
      .Event("OnFinalize", &TDXDraw::SetOnFinalize)
      .Event("OnFinalizeSurface", &TDXDraw::SetOnFinalizeSurface)
      .Event("OnInitialize", &TDXDraw::SetOnInitialize)
      .Event("OnInitializeSurface", &TDXDraw::SetOnInitializeSurface)
      .Event("OnInitializing", &TDXDraw::SetOnInitializing)
      .Event("OnRestoreSurface", &TDXDraw::SetOnRestoreSurface);
}
