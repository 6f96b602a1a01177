#include "shell/Shell.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/window/Window.h"
#include "shell/RunModes.h"
#include "shell/RunSwitch.h"

namespace {

// Every mode shows windows. Without a display none can be made, and a dialog that never
// appeared could never be closed either; so that is said once, before any window, with
// what to do about it. Where there is both an X and a Wayland display, what the modes show
// decides which one they use.
bool DisplayUsable(const std::vector<TRunMode>& modes) {
  const bool saver = std::find(modes.begin(), modes.end(), TRunMode::rmSaver) != modes.end();
  if (EnsurePresenter(saver ? WindowsShown::FullScreen : WindowsShown::Dialogs)) return true;
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  const std::string missing = !set("DISPLAY") && !set("WAYLAND_DISPLAY")
                                  ? "neither WAYLAND_DISPLAY nor DISPLAY is set, so there is no display to show windows on"
                                  : PresenterError();
  std::fprintf(stderr,
               "pellora: %s. Start pellora from a desktop session, or set WAYLAND_DISPLAY to a running Wayland "
               "compositor or DISPLAY to a running X server (for example DISPLAY=:0).\n",
               missing.c_str());
  return false;
}

}  // namespace

int PelloraMain(int argc, char** argv) {
  // An unknown switch is not an error: no mode runs and the process ends normally.
  const std::vector<TRunMode> modes = RunModesFor(RunSwitch(argc, argv));
  if (!modes.empty() && !DisplayUsable(modes)) return 1;
  for (const TRunMode mode : modes) RunMode(mode);
  return 0;
}
