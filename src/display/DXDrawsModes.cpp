// The display mode: the wanted one, the modes the display service offers, and the choice of
// the nearest acceptable one when the wanted one cannot be set.
#include <climits>

#include "display/DXConsts.h"
#include "display/DXDraws.h"

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
