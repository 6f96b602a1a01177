// A long run of the real saver: saver mode's windows and message loop on the headless
// presenter and a manual clock, for many frames, printing the process's resident memory
// and the display objects alive every so many frames. A saver is left running for hours;
// whatever it loses per frame shows here as a slope.
//
//   saver_soak [FRAMES] [EVERY] [PICTURE]   (defaults: 1000000 frames, a line every 100000,
//                                           the built-in ball)
//
// Runs in a private hive under /tmp (the default settings: 100 balls; PICTURE, when given,
// stored as the ball picture) and ends the saver with a key after the last frame, as a
// person would. The first line tells what the set-up cost: the time to the first frame.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dialogs/Enter_Password.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "runtime/Forms.h"
#include "scene/PelloraUnit.h"
#include "settings/Settings.h"
#include "shell/Units.h"

namespace {

// Resident pages, from the second field of /proc/self/statm, in KiB.
long ResidentKiB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  long size = 0, resident = 0;
  const int got = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long Argument(int argc, char** argv, int index, long fallback) {
  if (argc <= index) return fallback;
  const long value = std::strtol(argv[index], nullptr, 10);
  return value > 0 ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const long frames = Argument(argc, argv, 1, 1000000);
  const long every = Argument(argc, argv, 2, 100000);

  char pattern[] = "/tmp/pellora-soak-XXXXXX";
  const char* hive = mkdtemp(pattern);
  if (hive == nullptr) {
    std::perror("saver_soak: mkdtemp");
    return 1;
  }
  setenv("XDG_CONFIG_HOME", hive, 1);

  ManualClock clock(1000);
  InstallClock(&clock);
  headless::SetScreenSize(800, 600);
  InitializeUnits();
  if (argc > 3) {
    TRegIniFile settings(SettingsKeyPath);
    WriteSettingText(settings, PictureName, argv[3]);
  }

  Application->Initialize();
  Application->SetTitle("Pellora");
  // A message box would wait for a person who is not there; a soak stops at the first one.
  Application->SetOnException([](TObject*, const std::exception& e) {
    std::fprintf(stderr, "saver_soak: %s\n", e.what());
    std::exit(1);
  });
  const auto started = std::chrono::steady_clock::now();
  Application->CreateForm(MainForm);
  Application->CreateForm(Form1);

  // The scene's own frame step runs first; the count is of frames that reached the screen.
  long presented = 0;
  long lastCount = 0;
  TDXTimerEvent frameStep = MainForm->DXTimer->OnTimer();
  MainForm->DXTimer->SetOnTimer([&](TObject* sender, int32_t lag) {
    frameStep(sender, lag);
    const long count = headless::PresentCount(MainForm->Handle());
    if (count == lastCount) return;
    lastCount = count;
    if (++presented % every == 0 || presented == 1) {
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::printf("frame %8ld  rss %7ld KiB  display objects %3d  wall %8.1f s  cpu %8.1f s  clock %9.1f s\n",
                  presented, ResidentKiB(), ddraw::LiveObjectCount(), wall, CpuSeconds(),
                  static_cast<double>(clock.Milliseconds()) / 1000.0);
      std::fflush(stdout);
    }
    if (presented == frames) headless::KeyPress(VK_SPACE);
  });
  Application->Run();

  const bool left = Application->Terminated();
  std::printf("saver %s after %ld frames; display objects alive afterwards: %d\n",
              left ? "left" : "did not leave", presented, ddraw::LiveObjectCount());
  FinalizeEnter_PasswordUnit();
  FinalizeUnits();
  InstallClock(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(hive, ignored);
  return left && presented == frames ? 0 : 1;
}
