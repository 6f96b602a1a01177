// The Wayland route's arithmetic, and which display system each kind of run takes. The
// route itself runs under a real compositor in the sway end-to-end scripts.
#include <gtest/gtest.h>

#include <string>

#include "platform/window/PresenterChoice.h"
#include "platform/window/Wayland.h"

using window_internal::FitLetterbox;
using window_internal::LogicalRect;
using window_internal::MonitorRect;
using window_internal::OnScreen;
using window_internal::OutputPixels;
using window_internal::PixelRect;
using window_internal::WaylandOutputState;
using window_internal::WindowPixels;

TEST(ChooseDisplaySystem, FullScreenOnWaylandDialogsOnXAndAForcedDriverWins) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* driver;
    WindowsShown shown;
    bool found;
    DisplaySystem system;
  };
  const DisplaySystem X = DisplaySystem::XServer, W = DisplaySystem::Wayland;
  const Case cases[] = {
      // Neither display: nothing, whatever is shown; an empty value is no value.
      {nullptr, nullptr, nullptr, WindowsShown::FullScreen, false, X},
      {"", "", nullptr, WindowsShown::Dialogs, false, X},
      // One display: that one.
      {":0", nullptr, nullptr, WindowsShown::FullScreen, true, X},
      {":0", "", nullptr, WindowsShown::Dialogs, true, X},
      {nullptr, "wayland-1", nullptr, WindowsShown::FullScreen, true, W},
      {"", "wayland-1", nullptr, WindowsShown::Dialogs, true, W},
      // Both (XWayland): the saver natively, dialogs through X.
      {":0", "wayland-1", nullptr, WindowsShown::FullScreen, true, W},
      {":0", "wayland-1", nullptr, WindowsShown::Dialogs, true, X},
      // SDL_VIDEODRIVER names the system, even one without its variable; other drivers
      // leave the choice alone (SDL then refuses them or draws nowhere, which is said).
      {":0", "wayland-1", "x11", WindowsShown::FullScreen, true, X},
      {":0", "wayland-1", "wayland", WindowsShown::Dialogs, true, W},
      {nullptr, nullptr, "wayland", WindowsShown::Dialogs, true, W},
      {":0", "wayland-1", "dummy", WindowsShown::Dialogs, true, X},
      {nullptr, nullptr, "dummy", WindowsShown::Dialogs, false, X},
  };
  for (const Case& c : cases) {
    DisplaySystem chosen = c.system == X ? W : X;  // so that a choice not made shows
    const bool found = ChooseDisplaySystem(c.display, c.wayland, c.driver, c.shown, &chosen) != FALSE;
    const std::string where = std::string("DISPLAY=") + (c.display ? c.display : "(unset)") +
                              " WAYLAND_DISPLAY=" + (c.wayland ? c.wayland : "(unset)") +
                              " SDL_VIDEODRIVER=" + (c.driver ? c.driver : "(unset)") +
                              (c.shown == WindowsShown::FullScreen ? " full screen" : " dialogs");
    EXPECT_EQ(found, c.found) << where;
    if (found && c.found) {
      EXPECT_EQ(chosen == W, c.system == W) << where;
    }
  }
}

TEST(WaylandOutputs, LogicalPlaceAndPixelsAcrossScalesAndTurns) {
  struct Case {
    WaylandOutputState output;
    MonitorRect logical;
    int pixelWidth;
    int pixelHeight;
  };
  auto state = [](int x, int y, int transform, int w, int h, int scale) {
    WaylandOutputState s;
    s.x = x;
    s.y = y;
    s.transform = transform;
    s.modeWidth = w;
    s.modeHeight = h;
    s.scale = scale;
    return s;
  };
  auto withLogical = [](WaylandOutputState s, MonitorRect r) {
    s.hasLogical = true;
    s.logical = r;
    return s;
  };
  const Case cases[] = {
      // Without xdg-output: the mode divided by the whole-number scale, at the geometry.
      {state(0, 0, 0, 1920, 1080, 1), {0, 0, 1920, 1080}, 1920, 1080},
      {state(1920, 0, 0, 3840, 2160, 2), {1920, 0, 1920, 1080}, 3840, 2160},
      {state(0, 0, 0, 800, 600, 0), {0, 0, 800, 600}, 800, 600},  // a scale of 0 is taken as 1
      // Turned a quarter (90, 270, and flipped 90 and 270): width and height swap.
      {state(0, 0, 1, 1920, 1080, 1), {0, 0, 1080, 1920}, 1080, 1920},
      {state(0, 0, 3, 1920, 1080, 2), {0, 0, 540, 960}, 1080, 1920},
      {state(0, 0, 5, 1920, 1080, 1), {0, 0, 1080, 1920}, 1080, 1920},
      {state(0, 0, 2, 1920, 1080, 1), {0, 0, 1920, 1080}, 1920, 1080},  // upside down
      // xdg-output's logical place wins: a fractional scale of 1.5 shows only there.
      {withLogical(state(0, 0, 0, 3840, 2160, 2), {0, 0, 2560, 1440}), {0, 0, 2560, 1440}, 3840, 2160},
      {withLogical(state(0, 0, 1, 2160, 3840, 2), {-1440, 0, 1440, 2560}), {-1440, 0, 1440, 2560}, 3840, 2160},
  };
  for (const Case& c : cases) {
    const WaylandOutputState& o = c.output;
    SCOPED_TRACE(::testing::Message() << o.modeWidth << "x" << o.modeHeight << " scale " << o.scale << " transform "
                                      << o.transform << (o.hasLogical ? " with xdg-output" : ""));
    EXPECT_EQ(LogicalRect(o), c.logical);
    int w = 0, h = 0;
    OutputPixels(o, &w, &h);
    EXPECT_EQ(w, c.pixelWidth);
    EXPECT_EQ(h, c.pixelHeight);
  }
}

TEST(WaylandOutputs, AWindowCoveringAMonitorGetsEveryPixelOfIt) {
  struct Case {
    int logicalW, logicalH;
    MonitorRect monitor;
    int pixelW, pixelH;
    int wantW, wantH;
  };
  const Case cases[] = {
      {1920, 1080, {0, 0, 1920, 1080}, 1920, 1080, 1920, 1080},  // no scaling
      {960, 540, {0, 0, 960, 540}, 1920, 1080, 1920, 1080},      // scale 2
      {2560, 1440, {0, 0, 2560, 1440}, 3840, 2160, 3840, 2160},  // scale 1.5
      {1093, 614, {0, 0, 1093, 614}, 1366, 768, 1366, 768},      // 1.25, logical size rounded
      {480, 270, {0, 0, 960, 540}, 1920, 1080, 960, 540},        // half the monitor
      {800, 600, {0, 0, 0, 0}, 1920, 1080, 800, 600},            // a monitor not known
  };
  for (const Case& c : cases) {
    int w = 0, h = 0;
    WindowPixels(c.logicalW, c.logicalH, c.monitor, c.pixelW, c.pixelH, &w, &h);
    EXPECT_EQ(w, c.wantW) << c.logicalW << "x" << c.logicalH << " on " << c.monitor.width << "x" << c.monitor.height;
    EXPECT_EQ(h, c.wantH) << c.logicalW << "x" << c.logicalH << " on " << c.monitor.width << "x" << c.monitor.height;
  }
}

// The buffer pixels said to have changed cover every pixel that shows a changed picture
// pixel (by the letterbox's own mapping) and reach at most one pixel beyond each way.
TEST(WaylandOutputs, ChangedPicturePartsCoverExactlyTheirScreenPixels) {
  struct Size {
    int w, h;
  };
  for (const Size screen : {Size{800, 600}, Size{1366, 768}, Size{1920, 1080}, Size{2560, 1440}, Size{3840, 2160}}) {
    const auto box = FitLetterbox(800, 600, screen.w, screen.h);
    for (const PixelRect part : {PixelRect{0, 0, 800, 600}, PixelRect{0, 0, 1, 1}, PixelRect{799, 599, 800, 600},
                                 PixelRect{13, 7, 60, 54}, PixelRect{400, 300, 447, 347}}) {
      const PixelRect got = OnScreen(box, part.left, part.top, part.right, part.bottom);
      // The first and last screen column and row that show the part, by the letterbox's
      // own mapping.
      int first = -1, last = -1, top = -1, bottom = -1;
      for (int x = box.left; x < box.left + box.width; ++x) {
        int sx = x, sy = box.top;
        box.ToSource(&sx, &sy);
        if (sx >= part.left && sx < part.right) {
          if (first < 0) first = x;
          last = x;
        }
      }
      for (int y = box.top; y < box.top + box.height; ++y) {
        int sx = box.left, sy = y;
        box.ToSource(&sx, &sy);
        if (sy >= part.top && sy < part.bottom) {
          if (top < 0) top = y;
          bottom = y;
        }
      }
      SCOPED_TRACE(::testing::Message() << screen.w << "x" << screen.h << " part " << part.left << "," << part.top
                                        << "-" << part.right << "," << part.bottom);
      ASSERT_GE(first, 0);
      ASSERT_GE(top, 0);
      EXPECT_TRUE(got.left <= first && got.left >= first - 1) << got.left << " for " << first;
      EXPECT_TRUE(got.right > last && got.right <= last + 2) << got.right << " for " << last;
      EXPECT_TRUE(got.top <= top && got.top >= top - 1) << got.top << " for " << top;
      EXPECT_TRUE(got.bottom > bottom && got.bottom <= bottom + 2) << got.bottom << " for " << bottom;
      EXPECT_GE(got.left, box.left);
      EXPECT_GE(got.top, box.top);
      EXPECT_LE(got.right, box.left + box.width);
      EXPECT_LE(got.bottom, box.top + box.height);
    }
  }
}
