// The display component: it brings the display up and down with its driver, hooks its form
// for activation, tells its listeners, and presents frames. The mode choice and the drivers
// have files of their own (DXDrawsModes.cpp, DXDrawsDrivers.cpp).
#include "display/DXDraws.h"

#include <algorithm>
#include <utility>

#include "display/DXClass.h"
#include "display/DXConsts.h"
#include "display/DXDrawsInternal.h"
#include "runtime/DesignsRegistry.h"

// ---- TControlSubClass ----

TControlSubClass::TControlSubClass(TControl* Control, THandler Handler)
    : FControl(Control), FDefWindowProc(Control->WindowProc()) {
  TWndMethod saved = FDefWindowProc;
  Control->SetWindowProc([Handler = std::move(Handler), saved](TMessage& m) { Handler(m, saved); });
}

TControlSubClass::~TControlSubClass() { FControl->SetWindowProc(FDefWindowProc); }

// ---- TCustomDXDraw ----

namespace {

// The cooperative level of the exclusive full screen, with or without leave to change the
// window.
constexpr DWORD FullScreenLevel = DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX;
constexpr DWORD FullScreenKeepingTheWindowLevel = FullScreenLevel | DDSCL_NOWINDOWCHANGES;
// The twenty colours the desktop keeps for itself: the first and the last ten entries.
constexpr size_t StaticColorsAtEachEnd = 10;
// The flag every entry of the display's palettes carries: read-only to 3D rendering, which
// this program never does.
constexpr BYTE PaletteEntryFlags = 0x40;

TDXDrawPaletteEntries SystemPalette() {
  TDXDrawPaletteEntries entries{};
  HDC dc = GetDC(nullptr);
  GetSystemPaletteEntries(dc, 0, 256, entries.data());
  ReleaseDC(nullptr, dc);
  return entries;
}

// The screen's system palette in colour-table order (blue, green, red, 0).
TDXDrawColorTable SystemColorTable() {
  TDXDrawColorTable table{};
  const TDXDrawPaletteEntries entries = SystemPalette();
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
    level = (FEffectiveOptions & doNoWindowChange) ? FullScreenKeepingTheWindowLevel : FullScreenLevel;
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
    // The colours the desktop keeps for itself stay as the screen has them.
    const TDXDrawPaletteEntries system = SystemPalette();
    std::copy_n(system.begin(), StaticColorsAtEachEnd, entries.begin());
    std::copy_n(system.end() - StaticColorsAtEachEnd, StaticColorsAtEachEnd, entries.end() - StaticColorsAtEachEnd);
  }
  for (PALETTEENTRY& e : entries) e.peFlags = PaletteEntryFlags;
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
      if (LOWORD(Message.WParam) == WA_INACTIVE) FlipToDesktop();
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

// ---- Stored designs ----

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
