#pragma once
// The screen's refresh, which paces page flips.
#include "platform/WinTypes.h"

// The vertical blank of the screen the windows are on: about 60 Hz (the SDL display's own
// refresh rate when it reports one). The wait sleeps on the installed clock until the next
// blank starts (a clock that a test drives moves to the blank at once).
void WaitForVerticalBlank();
BOOL InVerticalBlank();
int GetRefreshRate();
