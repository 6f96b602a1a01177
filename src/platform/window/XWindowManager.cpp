// The window manager's full-screen support: see XWindowManager.h. Xlib stays in this file;
// its macros clash with the window system's names.
#include "platform/window/XWindowManager.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace window_internal {
namespace {

// The values of a 32-bit property of `window` (atoms or windows); empty when it is missing
// or of another type. A window that is gone answers with an error, which the program's
// handler (XErrors.h) takes, and then with nothing.
std::vector<unsigned long> Longs(Display* display, Window window, const char* property, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> out;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 4096, False, type, &actualType,
                         &format, &count, &after, &data) == Success &&
      data && actualType == type && format == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    out.assign(values, values + count);
  }
  if (data) XFree(data);
  return out;
}

}  // namespace

bool WindowManagerDoesFullScreen(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display* display = info.info.x11.display;
  const Window root = DefaultRootWindow(display);
  // The check window names itself too; one left behind by a window manager that has ended
  // does not.
  const auto check = Longs(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  if (check.size() != 1 || Longs(display, check[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) != check) return false;
  const unsigned long fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  for (unsigned long atom : Longs(display, root, "_NET_SUPPORTED", XA_ATOM)) {
    if (atom == fullScreen) return true;
  }
  return false;
}

}  // namespace window_internal
