// The desktop's monitors: see Monitors.h. Xlib stays in this file; its macros clash with
// the window system's names.
#include "platform/window/Monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace window_internal {

XMonitors::XMonitors() {
  display_ = XOpenDisplay(nullptr);
  int event = 0, error = 0, major = 0, minor = 0;
  supported_ = display_ && XRRQueryExtension(display_, &event, &error) &&
               XRRQueryVersion(display_, &major, &minor) && (major > 1 || (major == 1 && minor >= 5));
}

XMonitors::~XMonitors() {
  if (display_) XCloseDisplay(display_);
}

std::vector<MonitorRect> XMonitors::List() {
  std::vector<MonitorRect> out;
  if (!supported_) return out;
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count);
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
