#pragma once
// The display layer above the surfaces: the wanted full-screen mode with its fall-back
// rules and the modes the display service offers (TDirectDrawDisplay, in DXDrawsModes.cpp),
// and the display component (TCustomDXDraw) that brings the display up and down, owns the
// primary and back surfaces, the palette and the clipper, tells its listeners when surfaces
// come and go, and presents each frame through one of two drivers (DXDrawsDrivers.cpp).
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "display/DirectX.h"
#include "runtime/Classes.h"
#include "runtime/Components.h"
#include "runtime/Controls.h"
#include "runtime/Forms.h"

// What the mode choice needs of the display control that holds it: the DirectDraw object
// while the display is up (nullptr otherwise).
class TDirectDrawDisplayHost {
 public:
  virtual TDirectDraw* DirectDraw() const = 0;

 protected:
  ~TDirectDrawDisplayHost() = default;
};

// One mode as the display service reported it.
class TDirectDrawDisplayMode : public TCollectionItem {
 public:
  PELLORA_CLASS_NAME(TDirectDrawDisplayMode)
  explicit TDirectDrawDisplayMode(TCollection* Collection) : TCollectionItem(Collection) {}
  const DDSURFACEDESC& SurfaceDesc() const { return FSurfaceDesc; }
  void SetSurfaceDesc(const DDSURFACEDESC& Value) { FSurfaceDesc = Value; }
  int32_t Width() const { return static_cast<int32_t>(FSurfaceDesc.dwWidth); }
  int32_t Height() const { return static_cast<int32_t>(FSurfaceDesc.dwHeight); }
  int32_t BitCount() const { return static_cast<int32_t>(FSurfaceDesc.ddpfPixelFormat.dwRGBBitCount); }

 private:
  DDSURFACEDESC FSurfaceDesc{};
};

// The wanted display mode and how far the display may stray from it. Width, Height and
// BitCount are the wish until a mode is set, then the mode really in force.
class TDirectDrawDisplay : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TDirectDrawDisplay)
  explicit TDirectDrawDisplay(TDirectDrawDisplayHost* ADXDraw);
  ~TDirectDrawDisplay() override;
  TDirectDrawDisplay(const TDirectDrawDisplay&) = delete;
  TDirectDrawDisplay& operator=(const TDirectDrawDisplay&) = delete;

  // Copies the six published values from another display.
  void Assign(const TPersistent* Source) override;

  int32_t BitCount() const { return FBitCount; }
  // Only 8, 16, 24 or 32; anything else raises EDirectDrawError and keeps the old value.
  void SetBitCount(int32_t Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value) { FWidth = Value < 0 ? 0 : Value; }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value) { FHeight = Value < 0 ? 0 : Value; }
  bool FixedBitCount() const { return FFixedBitCount; }
  void SetFixedBitCount(bool Value) { FFixedBitCount = Value; }
  bool FixedRatio() const { return FFixedRatio; }
  void SetFixedRatio(bool Value) { FFixedRatio = Value; }
  bool FixedSize() const { return FFixedSize; }
  void SetFixedSize(bool Value) { FFixedSize = Value; }

  // The service's modes, asked for on first use after a clear.
  int32_t Count();
  TDirectDrawDisplayMode* Modes(int32_t Index);
  void EnumerateModes();
  void ClearModes() { FModes.Clear(); }
  // The modes listed so far, without asking the service.
  int32_t KnownModeCount() const { return FModes.Count(); }
  int32_t IndexOfMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount);

  // Sets exactly this mode; on success Width, Height and BitCount become it.
  bool TrySetMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  // Sets the wanted mode or the nearest acceptable one; never raises on its own.
  bool SelectMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount);

  TDirectDrawDisplayHost* DXDraw() const { return FDXDraw; }

 private:
  bool FindNearestMode(int32_t AWidth, int32_t AHeight, int32_t ABitCount, bool RatioWanted);
  TDirectDraw* DirectDraw() const { return FDXDraw ? FDXDraw->DirectDraw() : nullptr; }

  int32_t FBitCount = 8;
  TDirectDrawDisplayHost* FDXDraw;
  int32_t FHeight = 480;
  TCollection FModes;
  int32_t FWidth = 640;
  bool FFixedBitCount = true;
  bool FFixedRatio = true;
  bool FFixedSize = false;
};

// =======================================================================================
// The display component: palettes, clippers, drivers and TCustomDXDraw / TDXDraw.

PELLORA_EXCEPTION(EDXDrawError, Exception);
PELLORA_EXCEPTION(EDirectDrawPaletteError, EDirectDrawError);
PELLORA_EXCEPTION(EDirectDrawClipperError, EDirectDrawError);

// A palette made on a TDirectDraw (freed by it if still alive when it goes).
class TDirectDrawPalette : public TDirectDrawObject {
 public:
  PELLORA_CLASS_NAME(TDirectDrawPalette)
  explicit TDirectDrawPalette(TDirectDraw* ADirectDraw);
  ~TDirectDrawPalette() override;
  // Drops any old palette and asks the service for a new one; keeps it on success.
  bool CreatePalette(DWORD Caps, const PALETTEENTRY* Entries);
  // False without a service palette.
  bool SetEntries(int32_t StartIndex, int32_t Count, const PALETTEENTRY* Entries);
  bool GetEntries(int32_t StartIndex, int32_t Count, PALETTEENTRY* Entries);
  IDirectDrawPalette* IPalette() const { return FIDDPalette; }
  // The service palette, or EDirectDrawPaletteError "IDirectDrawPalette not made".
  IDirectDrawPalette* RequireInterface() const;

 private:
  IDirectDrawPalette* FIDDPalette = nullptr;
};

// A clipper made on a TDirectDraw; the service clipper is made at once.
class TDirectDrawClipper : public TDirectDrawObject {
 public:
  PELLORA_CLASS_NAME(TDirectDrawClipper)
  // Raises EDirectDrawClipperError "Clipper cannot be made" when the service refuses.
  explicit TDirectDrawClipper(TDirectDraw* ADirectDraw);
  ~TDirectDrawClipper() override;
  void AttachWindow(HWND Window);
  IDirectDrawClipper* IClipper() const { return FIDDClipper; }
  IDirectDrawClipper* RequireInterface() const;

 private:
  IDirectDrawClipper* FIDDClipper = nullptr;
};

// The option set: bit n is option n.
using TDXDrawOptions = uint32_t;
inline constexpr TDXDrawOptions doFullScreen = 1u << 0;
inline constexpr TDXDrawOptions doNoWindowChange = 1u << 1;
inline constexpr TDXDrawOptions doAllowReboot = 1u << 2;
inline constexpr TDXDrawOptions doWaitVBlank = 1u << 3;
inline constexpr TDXDrawOptions doAllowPalette256 = 1u << 4;
inline constexpr TDXDrawOptions doSystemMemory = 1u << 5;
inline constexpr TDXDrawOptions doStretch = 1u << 6;
inline constexpr TDXDrawOptions doCenter = 1u << 7;
inline constexpr TDXDrawOptions doFlip = 1u << 8;
inline constexpr TDXDrawOptions do3D = 1u << 9;
inline constexpr TDXDrawOptions doHardware = 1u << 10;
inline constexpr TDXDrawOptions doRetainedMode = 1u << 11;
inline constexpr TDXDrawOptions doDrawPrimitive = 1u << 12;
inline constexpr TDXDrawOptions doSelectDriver = 1u << 13;
inline constexpr TDXDrawOptions doZBuffer = 1u << 14;
inline constexpr TDXDrawOptions doTexture = 1u << 15;
inline constexpr TDXDrawOptions doRGB = 1u << 16;
inline constexpr TDXDrawOptions doMono = 1u << 17;
inline constexpr TDXDrawOptions doDither = 1u << 18;
// The 3D sub-options (doHardware to doDither).
inline constexpr TDXDrawOptions DXDraw3DSubOptions = 0x7FC00u;

// What the display tells its listeners.
enum class DisplayNotice : uint8_t {
  Destroying = 0,
  Starting = 1,
  Started = 2,
  SurfaceStarted = 3,
  Stopping = 4,
  SurfaceStopping = 5,
  Restored = 6,
  SurfaceSized = 7,
};

class TCustomDXDraw;
// A listener: a plain callback with its own data pointer; (callback, data) identifies it.
using TDXDrawNotifyEvent = void (*)(void* Data, TCustomDXDraw* Sender, DisplayNotice Notice);

// 256 entries of blue, green, red, reserved.
using TDXDrawColorTable = std::array<RGBQUAD, 256>;
using TDXDrawPaletteEntries = std::array<PALETTEENTRY, 256>;

// How frames reach the screen; owns the TDirectDraw and everything made on it.
class TDXDrawDriver {
 public:
  explicit TDXDrawDriver(TCustomDXDraw* ADXDraw);
  virtual ~TDXDrawDriver();
  TDXDrawDriver(const TDXDrawDriver&) = delete;
  TDXDrawDriver& operator=(const TDXDrawDriver&) = delete;
  virtual void ReleaseObjects();
  virtual void Present() = 0;
  virtual void CreateObjects() = 0;
  // False: this driver cannot change the surface size while running.
  virtual bool ResizeSurface(int32_t AWidth, int32_t AHeight);
  TCustomDXDraw* DXDraw() const { return FDXDraw; }

 protected:
  TCustomDXDraw* FDXDraw;
};

// A back surface blitted onto the primary, in a window or full screen.
class TDXDrawDriverBlt : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Present() override;
  void CreateObjects() override;
  bool ResizeSurface(int32_t AWidth, int32_t AHeight) override;
  void CreateBackSurface();
};

// A full-screen flipping chain with one back buffer.
class TDXDrawDriverFlip : public TDXDrawDriver {
 public:
  using TDXDrawDriver::TDXDrawDriver;
  void Present() override;
  void CreateObjects() override;
};

// Puts its own procedure in front of a control's window procedure for as long as it lives.
class TControlSubClass {
 public:
  using THandler = std::function<void(TMessage& Message, const TWndMethod& DefWindowProc)>;
  TControlSubClass(TControl* Control, THandler Handler);
  ~TControlSubClass();
  TControlSubClass(const TControlSubClass&) = delete;
  TControlSubClass& operator=(const TControlSubClass&) = delete;
  TControl* Control() const { return FControl; }

 private:
  TControl* FControl;
  TWndMethod FDefWindowProc;
};

class TCustomDXDraw : public TCustomControl, public TDirectDrawDisplayHost {
 public:
  PELLORA_CLASS_NAME(TCustomDXDraw)
  explicit TCustomDXDraw(TComponent* AOwner);
  ~TCustomDXDraw() override;

  void Initialize();
  void Finalize();
  bool ReadyToDraw();
  void PresentFrame();
  void Restore();
  bool CheckSurfaceLost();
  void ApplyPaletteTable(const TDXDrawColorTable& Table);
  TDXDrawPaletteEntries MakePaletteEntries(const TDXDrawColorTable& Table) const;
  void SetSurfaceSize(int32_t AWidth, int32_t AHeight);
  void ApplyCooperativeLevel();
  // Back to the desktop's surface when running full screen with flipping.
  void FlipToDesktop();

  void AddListener(TDXDrawNotifyEvent Callback, void* Data);
  void RemoveListener(TDXDrawNotifyEvent Callback, void* Data);
  void NotifyListeners(DisplayNotice Notice);

  bool AutoInitialize() const { return FAutoInitialize; }
  void SetAutoInitialize(bool Value) { FAutoInitialize = Value; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  TDirectDrawDisplay* Display() const { return FDisplay.get(); }
  TDXDrawOptions Options() const { return FOptions; }
  void SetOptions(TDXDrawOptions Value);
  TDXDrawOptions EffectiveOptions() const { return FEffectiveOptions; }
  int32_t SurfaceWidth() const;
  void SetSurfaceWidth(int32_t Value);
  int32_t SurfaceHeight() const;
  void SetSurfaceHeight(int32_t Value);

  TDXDrawColorTable& ColorTable() { return FColorTable; }
  TDXDrawColorTable& DefaultColorTable() { return FDefaultColorTable; }

  bool Initialized() const { return FInitialized; }
  bool InitializeAttempted() const { return FInitializeAttempted; }
  bool HasObjects() const { return FHasObjects; }
  bool Busy() const { return FBusy; }
  TCustomForm* Form() const { return FForm; }
  TDXDrawDriver* Driver() const { return FDriver.get(); }
  TDirectDraw* DirectDraw() const override { return FDirectDraw; }
  TDirectDrawSurface* PrimarySurface() const { return FPrimarySurface; }
  TDirectDrawSurface* Surface() const { return FSurface; }
  TDirectDrawPalette* Palette() const { return FPalette; }
  TDirectDrawClipper* Clipper() const { return FClipper; }
  // The last cooperative level asked for (recorded only, like its result).
  DWORD CooperativeLevel() const { return FCooperativeLevel; }

  const TNotifyEvent& OnFinalize() const { return FOnFinalize; }
  void SetOnFinalize(TNotifyEvent Value) { FOnFinalize = std::move(Value); }
  const TNotifyEvent& OnFinalizeSurface() const { return FOnFinalizeSurface; }
  void SetOnFinalizeSurface(TNotifyEvent Value) { FOnFinalizeSurface = std::move(Value); }
  const TNotifyEvent& OnInitialize() const { return FOnInitialize; }
  void SetOnInitialize(TNotifyEvent Value) { FOnInitialize = std::move(Value); }
  const TNotifyEvent& OnInitializeSurface() const { return FOnInitializeSurface; }
  void SetOnInitializeSurface(TNotifyEvent Value) { FOnInitializeSurface = std::move(Value); }
  const TNotifyEvent& OnInitializing() const { return FOnInitializing; }
  void SetOnInitializing(TNotifyEvent Value) { FOnInitializing = std::move(Value); }
  const TNotifyEvent& OnRestoreSurface() const { return FOnRestoreSurface; }
  void SetOnRestoreSurface(TNotifyEvent Value) { FOnRestoreSurface = std::move(Value); }

  void Loaded() override;

 protected:
  virtual void DoFinalize();
  virtual void DoFinalizeSurface();
  virtual void DoInitialize();
  virtual void DoInitializeSurface();
  virtual void DoInitializing();
  virtual void DoRestoreSurface();

  void ParentChanged() override;
  void BoundsChanged() override;
  void PaintWindow(HDC DC) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;

 private:
  friend class TDXDrawDriver;
  friend class TDXDrawDriverBlt;
  friend class TDXDrawDriverFlip;

  void FormWndProc(TMessage& Message, const TWndMethod& DefWindowProc);
  void UpdateForm();
  TDXDrawOptions OptionsWhenStopped(TDXDrawOptions Value) const;
  bool RestoreSurfaces();
  void ReleaseDriver();

  bool FAutoInitialize = true;
  bool FAutoSize = true;
  bool FInitializeEventFired = false;
  bool FSurfaceEventFired = false;
  TCustomForm* FForm = nullptr;
  struct Listener {
    TDXDrawNotifyEvent Callback;
    void* Data;
  };
  std::vector<Listener> FListeners;
  bool FInitialized = false;
  bool FInitializeAttempted = false;
  bool FHasObjects = false;
  bool FBusy = false;
  std::unique_ptr<TControlSubClass> FFormHook;
  TDXDrawOptions FEffectiveOptions = 0;
  TDXDrawOptions FOptions = 0;
  TNotifyEvent FOnFinalize;
  TNotifyEvent FOnFinalizeSurface;
  TNotifyEvent FOnInitialize;
  TNotifyEvent FOnInitializeSurface;
  TNotifyEvent FOnInitializing;
  TNotifyEvent FOnRestoreSurface;
  int32_t FEventDepth = 0;
  TDirectDrawClipper* FClipper = nullptr;
  TDirectDraw* FDirectDraw = nullptr;
  std::unique_ptr<TDirectDrawDisplay> FDisplay;
  std::unique_ptr<TDXDrawDriver> FDriver;
  TDirectDrawPalette* FPalette = nullptr;
  TDirectDrawSurface* FPrimarySurface = nullptr;
  TDirectDrawSurface* FSurface = nullptr;
  int32_t FSurfaceWidth = 640;
  int32_t FSurfaceHeight = 480;
  TDXDrawColorTable FColorTable{};
  TDXDrawColorTable FDefaultColorTable{};
  DWORD FCooperativeLevel = 0;
};

// The display as designs store it.
class TDXDraw : public TCustomDXDraw {
 public:
  PELLORA_CLASS_NAME(TDXDraw)
  explicit TDXDraw(TComponent* AOwner) : TCustomDXDraw(AOwner) {}
};

// End of the display component.
// =======================================================================================

// Registers the published properties of this unit's persistent classes for stored designs.
void RegisterDXDrawsClasses();
