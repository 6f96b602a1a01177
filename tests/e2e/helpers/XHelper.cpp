// Small X clients for the end-to-end tests, where a person's other programs would be:
//   parent W H   makes a plain W x H window at the top left, prints its id, and keeps it
//                until killed (the window a screen locker lends its hack)
//   grab         grabs the keyboard and the pointer and lets go; fails when another
//                client holds either
//   dock W H     a desktop's panel: a green W x H window of type dock at the top left
//                (which window managers keep above other windows), reserving its strip of
//                the screen; prints its id and keeps it until killed
//   owned NAME   succeeds when some client owns the selection NAME (a compositor owns
//                _NET_WM_CM_S0 while it composites)
//   managed      succeeds once a window manager takes on new windows: it maps a small
//                window until the window manager marks it as its own (WM_STATE); a window
//                manager that has only just started may not yet take on the first ones
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* GrabResult(int status) {
  switch (status) {
    case GrabSuccess: return "GrabSuccess";
    case AlreadyGrabbed: return "AlreadyGrabbed";
    case GrabInvalidTime: return "GrabInvalidTime";
    case GrabNotViewable: return "GrabNotViewable";
    case GrabFrozen: return "GrabFrozen";
    default: return "unknown";
  }
}

// Maps the window, prints its id once it is shown and keeps it until killed.
[[noreturn]] void ShowAndKeep(Display* display, Window window) {
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify) break;
  }
  std::printf("0x%lx\n", window);
  std::fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
  }
}

int Parent(Display* display, int width, int height) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                            BlackPixel(display, screen));
  XStoreName(display, window, "hack parent");
  ShowAndKeep(display, window);
}

void SetAtom(Display* display, Window window, const char* property, const char* value) {
  Atom atom = XInternAtom(display, value, False);
  XChangeProperty(display, window, XInternAtom(display, property, False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&atom), 1);
}

int Dock(Display* display, int width, int height) {
  const int screen = DefaultScreen(display);
  XColor green{};
  green.red = 0;
  green.green = 0xFFFF;
  green.blue = 0;
  XAllocColor(display, DefaultColormap(display, screen), &green);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, green.pixel, green.pixel);
  XStoreName(display, window, "panel");
  // What panels set before they are mapped: the type, and the strip of the screen that
  // other windows should leave free (left, right, top, bottom, then the start and end of
  // each strip).
  SetAtom(display, window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DOCK");
  SetAtom(display, window, "_NET_WM_STATE", "_NET_WM_STATE_STICKY");
  long strut[12] = {0, 0, height, 0, 0, 0, 0, 0, 0, width - 1, 0, 0};
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(strut), 12);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(strut), 4);
  ShowAndKeep(display, window);
}

int Owned(Display* display, const char* selection) {
  return XGetSelectionOwner(display, XInternAtom(display, selection, False)) != None ? 0 : 1;
}

int Managed(Display* display) {
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);
  XStoreName(display, window, "probe");
  const Atom state = XInternAtom(display, "WM_STATE", False);
  for (int attempt = 0; attempt < 50; ++attempt) {
    XMapWindow(display, window);
    for (int wait = 0; wait < 20; ++wait) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      XGetWindowProperty(display, window, state, 0, 2, False, AnyPropertyType, &type, &format, &count, &after, &data);
      if (data) XFree(data);
      if (type != None) {
        XDestroyWindow(display, window);
        XSync(display, False);
        return 0;
      }
      usleep(10000);
    }
    // Not taken on: ask again, as if the window had just been made.
    XUnmapWindow(display, window);
    XSync(display, False);
  }
  return 1;
}

int Grab(Display* display) {
  const Window root = DefaultRootWindow(display);
  const int keyboard = XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  const int pointer = XGrabPointer(display, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                                   CurrentTime);
  std::printf("keyboard %s, pointer %s\n", GrabResult(keyboard), GrabResult(pointer));
  XUngrabKeyboard(display, CurrentTime);
  XUngrabPointer(display, CurrentTime);
  XSync(display, False);
  return keyboard == GrabSuccess && pointer == GrabSuccess ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "cannot open the X display\n");
    return 2;
  }
  if (argc == 4 && std::strcmp(argv[1], "parent") == 0) return Parent(display, std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 2 && std::strcmp(argv[1], "grab") == 0) return Grab(display);
  if (argc == 4 && std::strcmp(argv[1], "dock") == 0) return Dock(display, std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 3 && std::strcmp(argv[1], "owned") == 0) return Owned(display, argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "managed") == 0) return Managed(display);
  std::fprintf(stderr, "usage: %s parent W H | grab | dock W H | owned SELECTION | managed\n", argv[0]);
  return 2;
}
