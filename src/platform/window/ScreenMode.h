#pragma once
// Display modes without touching the monitor. While a mode is set, the program sees a
// screen of the mode's size (screen metrics, maximised and full-screen windows, pointer
// positions), and the window holding the mode covers that screen borderless and topmost;
// the presenter shows it scaled onto the monitor with the aspect kept (letterboxed). Only
// the presenter knows the monitor's size; GetMonitorSize asks it.
#include "platform/WinTypes.h"
#include "platform/window/Window.h"

// The monitor's own size, whatever mode is set.
void GetMonitorSize(int* width, int* height);
// Sets a mode held by `holder` (a top-level window). FALSE for a bad window or size.
BOOL BeginScreenMode(HWND holder, int width, int height, int bitCount);
// The program sees the monitor's own size again. Nothing when no mode is set.
void EndScreenMode();
// The mode's size, or FALSE while none is set.
BOOL GetScreenMode(int* width, int* height, int* bitCount);
// How many times activation has left this program for another one; a display service
// compares it with what it saw last to notice a deactivation it did not watch happen.
DWORD GetDeactivationCount();

namespace window_internal {
// The screen size the program sees: the mode's while one is set, else the monitor's.
void ProgramScreenSize(int* width, int* height);
void NoteAppDeactivated();
// With the presenter gone (ResetWindowSystem), no mode is held any more.
void ForgetScreenMode();
}  // namespace window_internal
