#include "shell/Shell.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/window/Window.h"
#include "shell/RunModes.h"
#include "shell/RunSwitch.h"

namespace {

// Every mode shows windows. Without a display none can be made, and a dialog that never
// appeared could never be closed either; so that is said once, before any window, with
// what to do about it.
bool DisplayUsable() {
  if (EnsurePresenter()) return true;
  const char* display = std::getenv("DISPLAY");
  const std::string missing = display == nullptr || *display == '\0' ? "DISPLAY is not set, so there is no display to show windows on"
                                                                      : PresenterError();
  std::fprintf(stderr,
               "pellora: %s. Start pellora from a desktop session, or set DISPLAY to a running X server (for example "
               "DISPLAY=:0).\n",
               missing.c_str());
  return false;
}

}  // namespace

int PelloraMain(int argc, char** argv) {
  // An unknown switch is not an error: no mode runs and the process ends normally.
  const std::vector<TRunMode> modes = RunModesFor(RunSwitch(argc, argv));
  if (!modes.empty() && !DisplayUsable()) return 1;
  for (const TRunMode mode : modes) RunMode(mode);
  return 0;
}
