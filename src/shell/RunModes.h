#pragma once
// The three run modes. Each one creates its windows, runs the message loop until its
// main window closes, and returns.
#include "shell/RunSwitch.h"

// The full-screen ball scene with the password prompt ready for leaving.
void RunSaverMode();
// The Options dialog with its About box.
void RunConfigureMode();
// The Set Password dialog.
void RunSetPasswordMode();

void RunMode(TRunMode mode);
