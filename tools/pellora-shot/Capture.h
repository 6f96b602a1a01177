#pragma once
// One run of the real program on the headless screen with a manual clock, writing the
// pictures that the options ask for.
#include "ShotOptions.h"

// Exit statuses of the tool.
inline constexpr int ShotDone = 0;
inline constexpr int ShotFailed = 1;  // the run could not give the pictures asked for
inline constexpr int ShotUsage = 2;   // the command line was wrong

// Runs the mode that Options.ModeArguments select, as pellora would run it, and writes its
// pictures into Options.OutDir: frame-NNNN.png for each requested frame of the saver, or
// options.png / set-password.png for the dialog modes. The program's units must be up.
int RunShot(const TShotOptions& Options);
