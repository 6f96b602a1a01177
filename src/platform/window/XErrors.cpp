#include "platform/window/XErrors.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

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

// The display itself gone (its server ended, the session logged out): nothing can be shown
// or asked any more, so the program ends at once. Xlib's own handler calls exit(), whose
// clean-up closes our windows through the dead connection and waits there for ever,
// spinning.
int OnXConnectionLost(Display* display) {
  std::fprintf(stderr, "pellora: the connection to the X display %s was lost; ending.\n", DisplayString(display));
  std::_Exit(1);
}

}  // namespace

void SurviveXErrors() {
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXConnectionLost);
}
