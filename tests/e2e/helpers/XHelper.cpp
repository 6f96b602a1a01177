// Small X clients for the end-to-end tests, where a person's other programs would be:
//   parent W H   makes a plain W x H window at the top left, prints its id, and keeps it
//                until killed (the window a screen locker lends its hack)
//   grab         grabs the keyboard and the pointer and lets go; fails when another
//                client holds either
#include <X11/Xlib.h>
#include <signal.h>

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

int Parent(Display* display, int width, int height) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, BlackPixel(display, screen),
                                            BlackPixel(display, screen));
  XStoreName(display, window, "hack parent");
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
  std::fprintf(stderr, "usage: %s parent W H | grab\n", argv[0]);
  return 2;
}
