#pragma once
// The monitors of the desktop, as rectangles of the one space they share: the X screen's
// pixels, or a Wayland compositor's logical units. Each display system has a route of its
// own to the list, because SDL's list of displays leaves things out: on X the monitors a
// user or the desktop defined on one output (RandR monitors), on Wayland how many pixels an
// output that the compositor scales (HiDPI) really has.
#include <memory>
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

class MonitorList {
 public:
  virtual ~MonitorList() = default;
  // The primary one first. Empty when the display cannot be reached or does not say; the
  // caller then falls back on what SDL knows.
  virtual std::vector<MonitorRect> List() = 0;
  // The pixels the monitor at `m` (one of List's) really shows across and down: more than
  // its rectangle where the desktop scales it.
  virtual void Pixels(const MonitorRect& m, int* width, int* height) {
    *width = m.width;
    *height = m.height;
  }
};

// The X server's monitors, through a connection of its own: SDL lends its connection only
// through a window, and the list is wanted before the first one. The primary one is the one
// the server marks primary, else the first it lists.
class XMonitors : public MonitorList {
 public:
  XMonitors();  // connects to DISPLAY
  ~XMonitors() override;
  XMonitors(const XMonitors&) = delete;
  XMonitors& operator=(const XMonitors&) = delete;
  std::vector<MonitorRect> List() override;

 private:
  ::_XDisplay* display_ = nullptr;
  bool supported_ = false;
};

// The Wayland compositor's outputs (see Wayland.h), the first it lists standing for the
// primary: Wayland has no primary monitor. nullptr when WAYLAND_DISPLAY cannot be reached.
std::unique_ptr<MonitorList> MakeWaylandMonitors();

// The monitors that need covering while the first one (the primary) shows a full-screen
// window: every other one with an area, once each, leaving out any that overlaps the
// primary (a mirror of it, or part of it), where a cover would hide the picture itself.
std::vector<MonitorRect> MonitorsToCover(const std::vector<MonitorRect>& primaryFirst);

}  // namespace window_internal
