#pragma once
// The screen's refresh, which paces page flips.
#include "platform/WinTypes.h"

// The vertical blank of the screen the windows are on: about 60 Hz (the SDL display's own
// refresh rate when it reports one). The wait sleeps until the next blank starts: on the
// real clock it sleeps, on a ManualClock it advances the clock to the blank.
void WaitForVerticalBlank();
BOOL InVerticalBlank();
int GetRefreshRate();
