#pragma once
// The hack's command line, in the conventions of the screen lockers that run it: where to
// draw (--root, --window-id, or a window of its own) and this run's overrides of the
// saved settings.
#include <optional>
#include <span>
#include <string>

#include "platform/hostwindow/HostWindow.h"

struct THackOptions {
  host::TTargetKind Target = host::TTargetKind::OwnWindow;
  unsigned long WindowId = 0;     // for GivenWindow
  std::optional<int> Count;       // 1 .. 100 when given
  std::optional<int> MaxSpeed;    // 1 .. 100 when given
  bool ShowFps = false;
  bool Help = false;
};

inline constexpr int HackArgumentLow = 1;
inline constexpr int HackArgumentHigh = 100;

// A window id as the lockers write it: 0x followed by hex digits, or decimal digits.
// Answers false for anything else, for 0 and for numbers beyond 32 bits.
bool ParseWindowId(const std::string& text, unsigned long& id);

// Parses the arguments after the program name. `lockerWindow` is $XSCREENSAVER_WINDOW
// (null when not set), the window that --root means when the locker names one. On a
// mistake answers false with a one-line message in `error`.
bool ParseHackArguments(std::span<const std::string> args, const char* lockerWindow, THackOptions& options,
                        std::string& error);

// The usage text for --help and after a mistake.
std::string HackUsage();
