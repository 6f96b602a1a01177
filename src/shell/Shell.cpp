#include "shell/Shell.h"

#include "shell/RunModes.h"
#include "shell/RunSwitch.h"

int PelloraMain(int argc, char** argv) {
  // An unknown switch is not an error: no mode runs and the process ends normally.
  for (const TRunMode mode : RunModesFor(RunSwitch(argc, argv))) RunMode(mode);
  return 0;
}
