#include "shell/RunModes.h"

#include <cstdio>

namespace {

// The windows of the modes are still to come; until they are, a mode says so rather
// than pretending to have run.
void ReportMissingWindows(const char* mode) {
  std::fprintf(stderr, "pellora: %s mode is recognised, but its windows are not built yet\n", mode);
}

}  // namespace

void RunSaverMode() { ReportMissingWindows("saver"); }

void RunConfigureMode() { ReportMissingWindows("configure"); }

void RunSetPasswordMode() { ReportMissingWindows("set-password"); }

void RunMode(TRunMode mode) {
  switch (mode) {
    case TRunMode::rmSaver:
      RunSaverMode();
      break;
    case TRunMode::rmConfigure:
      RunConfigureMode();
      break;
    case TRunMode::rmSetPassword:
      RunSetPasswordMode();
      break;
  }
}
