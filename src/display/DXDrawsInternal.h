#pragma once
// What the display component and its drivers both do to the surfaces they hold.
#include "display/DXDraws.h"

inline void FillBlack(TDirectDrawSurface* S) {
  if (S != nullptr && S->ISurface() != nullptr) S->Fill(0);
}

inline void AttachPaletteTo(TDirectDrawSurface* S, TDirectDrawPalette* P) {
  if (S != nullptr && S->ISurface() != nullptr && P != nullptr) S->AttachPalette(P->IPalette());
}
