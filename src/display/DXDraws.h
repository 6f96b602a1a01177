#pragma once
// The display layer above the surfaces: the wanted full-screen mode with its fall-back
// rules (TDirectDrawDisplay) and the modes the display service offers.
#include <cstdint>

#include "display/DirectX.h"
#include "runtime/Classes.h"
#include "runtime/Components.h"

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

// Registers the published properties of this unit's persistent classes for stored designs.
void RegisterDXDrawsClasses();
