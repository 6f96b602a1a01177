// The desktop's monitors: see Monitors.h. Xlib stays in this file; its macros clash with
// the window system's names.
#include "platform/window/Monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace window_internal {

std::vector<MonitorRect> ListXMonitors() {
  std::vector<MonitorRect> out;
  // A connection of our own for the question: SDL does not lend its own before a window
  // exists, and the list is read only when a full-screen window is placed.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return out;
  int event = 0, error = 0, major = 0, minor = 0;
  if (XRRQueryExtension(display, &event, &error) && XRRQueryVersion(display, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; monitors && i < count; ++i) {
      const XRRMonitorInfo& m = monitors[i];
      if (m.width <= 0 || m.height <= 0) continue;
      const MonitorRect rect{m.x, m.y, m.width, m.height};
      if (m.primary) {
        out.insert(out.begin(), rect);
      } else {
        out.push_back(rect);
      }
    }
    if (monitors) XRRFreeMonitors(monitors);
  }
  XCloseDisplay(display);
  return out;
}

std::vector<MonitorRect> MonitorsToCover(const std::vector<MonitorRect>& primaryFirst) {
  std::vector<MonitorRect> out;
  if (primaryFirst.empty()) return out;
  const MonitorRect& p = primaryFirst.front();
  auto overlapsPrimary = [&](const MonitorRect& m) {
    return m.x < p.x + p.width && p.x < m.x + m.width && m.y < p.y + p.height && p.y < m.y + m.height;
  };
  for (size_t i = 1; i < primaryFirst.size(); ++i) {
    const MonitorRect& m = primaryFirst[i];
    if (m.width <= 0 || m.height <= 0 || overlapsPrimary(m)) continue;
    if (std::find(out.begin(), out.end(), m) == out.end()) out.push_back(m);
  }
  return out;
}

}  // namespace window_internal
