#include "platform/window/XErrors.h"

#include <X11/Xlib.h>

#include <cstdio>

namespace {

// A window of ours can be destroyed while a request about it is still on its way to the X
// server (a dialog closing just as it is raised or focused). Xlib's default handler would
// end the whole program for that; a vanished window is expected, anything else is
// reported and survived.
int OnXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow) return 0;
  char text[160] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "pellora: X request %d failed: %s\n", error->request_code, text);
  return 0;
}

}  // namespace

void SurviveXErrors() { XSetErrorHandler(OnXError); }
