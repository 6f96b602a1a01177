// pellora-shot: runs a mode of pellora on a screen of its own, with a clock that moves
// only as the program waits, and writes what the screen shows as PNG files, for
// previews, documentation and tests.
#include <cstdio>

#include "Capture.h"
#include "ShotOptions.h"
#include "shell/Units.h"

namespace {

const char* const kUsage = "usage: pellora-shot [--time HH:MM:SS.mmm] [--screen WxH] [--frames LIST] [--out DIR] [/s | /c | /a]\n";

const char* const kHelp =
    "\n"
    "Runs pellora in the mode the switch selects (as pellora takes it; none is the saver) on a\n"
    "screen without a display, with the settings of this user's hive, and writes PNG files:\n"
    "  /s   the saver: DIR/frame-NNNN.png for each frame in LIST (frame n is the picture\n"
    "       the n-th drawn frame presents; the caption shows on frames 1 to 1000)\n"
    "  /c   the Options dialog: DIR/options.png\n"
    "  /a   the Set Password dialog: DIR/set-password.png\n"
    "\n"
    "  --time HH:MM:SS.mmm  the time of day the clock reads at start; the balls' random start\n"
    "                       comes from it, so the same time gives the same pictures\n"
    "                       (default: now, printed so the run can be made again)\n"
    "  --screen WxH         the screen's size in pixels (default 800x600)\n"
    "  --frames LIST        frame numbers and ranges, e.g. 1,10,1001 or 1-40 (default 1)\n"
    "  --out DIR            where the files go, made if missing (default: here)\n"
    "\n"
    "Exit status: 0 when every picture was written, 1 when the run could not give them,\n"
    "2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
  TShotOptions options;
  std::string error;
  if (!ParseShotOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "pellora-shot: %s\n%s", error.c_str(), kUsage);
    return ShotUsage;
  }
  if (options.Help) {
    std::printf("%s%s", kUsage, kHelp);
    return ShotDone;
  }
  InitializeUnits();
  const int status = RunShot(options);
  FinalizeUnits();
  return status;
}
