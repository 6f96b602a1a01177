// X errors about windows that have gone must not end the program: a dialog can close just
// as a raise or focus request about it is on its way to the server.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The server going away ends the program at once, with status 1, even when its clean-up
// at exit would wait for ever (as closing windows through the dead connection does).
TEST(XErrors, ALostDisplayEndsTheProgramAtOnce) {
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
  Xvfb server;
  ASSERT_TRUE(server.Start()) << "Xvfb did not start";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    Display* display = XOpenDisplay(server.Display().c_str());
    if (!display) _exit(20);
    SurviveXErrors();
    std::atexit([] {
      for (;;) pause();
    });
    if (write(ready[1], "r", 1) != 1) _exit(21);
    for (;;) {
      XSync(display, False);
      usleep(10000);
    }
  }
  close(ready[1]);
  char byte = 0;
  pollfd p{ready[0], POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1) << "the child never reached the display";
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  server.Stop();

  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 100 && done == 0; ++i) {
    done = waitpid(child, &status, WNOHANG);
    if (done == 0) usleep(50000);
  }
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the program was still running 5 s after its display went away";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
