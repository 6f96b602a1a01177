#include "hack/HackMain.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hack/HackOptions.h"
#include "hack/HackScene.h"
#include "hack/HackSettings.h"
#include "platform/gdi/BitmapFormat.h"
#include "runtime/SysUtils.h"
#include "scene/BallPicture.h"
#include "scene/Random.h"

namespace {

// The lockers ask for no more than the display shows; 60 frames a second is also what
// keeps a hundred balls at 1920 x 1080 within a few percent of one core.
constexpr int32_t MaxFramesPerSecond = 60;

void Say(const std::string& line) { std::fprintf(stderr, "pellora: %s\n", line.c_str()); }

// SIGTERM and SIGINT arrive as a readable descriptor, so the sleep between frames wakes
// for them at once.
int StopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) return -1;
  return signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
}

TFrameBuffer BufferOf(host::THostWindow& window) {
  return {window.Pixels(), window.Stride(), window.Width(), window.Height()};
}

host::TRect Whole(host::THostWindow& window) { return {0, 0, window.Width(), window.Height()}; }

int Run(const THackOptions& options, int stopFd) {
  std::string note;
  THackSettings settings = ReadHackSettings(note);
  if (!note.empty()) Say(note);
  if (options.Count) settings.BallCount = static_cast<uint8_t>(*options.Count);
  if (options.MaxSpeed) settings.MaxSpeed = static_cast<uint8_t>(*options.MaxSpeed);
  note.clear();
  const TSprite ball = LoadBall(settings.Picture, note);
  if (!note.empty()) Say(note);

  host::TTarget target;
  target.Kind = options.Target;
  target.WindowId = options.WindowId;
  target.Title = "Pellora";
  std::string error;
  std::unique_ptr<host::THostWindow> window = host::THostWindow::Open(target, error);
  if (!window) {
    Say(error);
    return 1;
  }
  host::THostWindow* w = window.get();
  THackScene scene(ball, settings.BallCount, settings.MaxSpeed, options.ShowFps, [w](uint32_t rgb) {
    uint8_t red, green, blue;
    bmp::kRgb888.Unpack(rgb, red, green, blue);
    return w->MapColor(red, green, blue);
  });
  Randomize();
  scene.Start(window->Width(), window->Height());

  const int32_t rate = window->RefreshRate() > 0 ? std::min(window->RefreshRate(), MaxFramesPerSecond) : MaxFramesPerSecond;
  const int64_t period = 1000000000 / rate;
  bool presentAll = true;
  int64_t next = host::MonotonicNs();
  for (;;) {
    const std::vector<host::TRect>& dirty = scene.Step(BufferOf(*window), host::MonotonicNs());
    if (presentAll) {
      const host::TRect all = Whole(*window);
      window->Present({&all, 1});
      presentAll = false;
    } else {
      window->Present(dirty);
    }
    // A frame that came late moves the beat rather than being made up for in a hurry.
    next += period;
    const int64_t now = host::MonotonicNs();
    if (next < now) next = now;
    for (;;) {
      const uint32_t happened = window->Wait(next, stopFd);
      if (happened == host::heNone) break;
      // A locker that stops its hack waits for it: leave without a single round trip to
      // a display server that may be busy. The server frees what a departed client held,
      // and the shared memory was marked for removal when it was made.
      if (happened & host::heWoken) std::_Exit(0);
      if (happened & (host::heGone | host::heQuitKey)) return 0;
      if (happened & host::heResized) {
        scene.Resize(window->Width(), window->Height());
        presentAll = true;
      }
      if (happened & host::heExposed) presentAll = true;
    }
  }
}

}  // namespace

int HackMain(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  THackOptions options;
  std::string error;
  if (!ParseHackArguments(args, std::getenv("XSCREENSAVER_WINDOW"), options, error)) {
    Say(error);
    std::fputs(HackUsage().c_str(), stderr);
    return 1;
  }
  if (options.Help) {
    std::fputs(HackUsage().c_str(), stdout);
    return 0;
  }
  const int stopFd = StopSignals();
  if (stopFd < 0) {
    Say("cannot watch for SIGTERM and SIGINT");
    return 1;
  }
  try {
    const int status = Run(options, stopFd);
    close(stopFd);
    return status;
  } catch (const Exception& e) {
    Say(e.Message());
    close(stopFd);
    return 1;
  }
}
