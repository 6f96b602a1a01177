#pragma once
// The monitors of the desktop, as rectangles of the one X screen they share. The X server's
// own list (RandR monitors) is the truth: it includes monitors a user or the desktop defined
// on one output, which SDL's list of displays does not show.
#include <vector>

struct _XDisplay;  // Xlib's display, kept out of this header

namespace window_internal {

struct MonitorRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const MonitorRect&) const = default;
};

// The X server's monitors, through a connection of its own: SDL lends its connection only
// through a window, and the list is wanted before the first one.
class XMonitors {
 public:
  XMonitors();  // connects to DISPLAY
  ~XMonitors();
  XMonitors(const XMonitors&) = delete;
  XMonitors& operator=(const XMonitors&) = delete;
  // The primary one first (the one the server marks primary, else the first it lists).
  // Empty when the display cannot be reached or the server predates monitors; the caller
  // then falls back on what SDL knows.
  std::vector<MonitorRect> List();

 private:
  ::_XDisplay* display_ = nullptr;
  bool supported_ = false;
};

// The monitors that need covering while the first one (the primary) shows a full-screen
// window: every other one with an area, once each, leaving out any that overlaps the
// primary (a mirror of it, or part of it), where a cover would hide the picture itself.
std::vector<MonitorRect> MonitorsToCover(const std::vector<MonitorRect>& primaryFirst);

}  // namespace window_internal
