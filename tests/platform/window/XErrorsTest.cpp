// X errors about windows that have gone must not end the program: a dialog can close just
// as a raise or focus request about it is on its way to the server.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>

#include "XvfbServer.h"
#include "platform/window/XErrors.h"

namespace {

TEST(XErrors, RequestsAboutVanishedWindowsAndOtherFailuresAreSurvived) {
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
  Xvfb server;
  ASSERT_TRUE(server.Start()) << "Xvfb did not start";
  Display* display = XOpenDisplay(server.Display().c_str());
  ASSERT_NE(display, nullptr);
  SurviveXErrors();

  // Without the handler, Xlib's default one ends the process at the first XSync here.
  const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display, gone);
  XRaiseWindow(display, gone);
  XSetInputFocus(display, gone, RevertToParent, CurrentTime);
  XSync(display, False);
  XFreePixmap(display, 0x7FFFFF);  // not a window error: reported on stderr, and survived
  XSync(display, False);

  // The connection is still good for real work.
  const Window alive = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XWindowAttributes attributes{};
  EXPECT_NE(XGetWindowAttributes(display, alive, &attributes), 0);
  EXPECT_EQ(attributes.width, 10);
  XCloseDisplay(display);
}

}  // namespace
