// The display demo as a program, for looking at it on a real X display and for measuring
// the loop's CPU use while frames are computed behind another window.
//
//   display_demo [--center | --stretch | --full] [--seconds N] [--inactive]
//
// --inactive shows a small second window and gives it the focus once the display runs, as
// the saver's password prompt does; frames go on being computed but are not shown. At the
// end the program prints the frames drawn and the CPU time it used.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DisplayDemoForm.h"
#include "platform/clock/Clock.h"
#include "platform/window/PresenterChoice.h"
#include "shell/Units.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  std::string options = "[doWaitVBlank, doCenter]";
  bool full = false;
  bool inactive = false;
  int seconds = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--center") == 0) {
      options = "[doWaitVBlank, doCenter]";
    } else if (std::strcmp(argv[i], "--stretch") == 0) {
      options = "[doWaitVBlank, doStretch]";
    } else if (std::strcmp(argv[i], "--full") == 0) {
      options = "[doAllowReboot, doWaitVBlank, doCenter, doFlip]";
      full = true;
    } else if (std::strcmp(argv[i], "--inactive") == 0) {
      inactive = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: display_demo [--center | --stretch | --full] [--seconds N] [--inactive]\n");
      return 2;
    }
  }
  if (!EnsurePresenter()) {
    std::fprintf(stderr, "display_demo: %s\n", PresenterError().c_str());
    return 1;
  }
  InitializeUnits(TUnitLayer::Display);
  Application->Initialize();
  auto* form = new TDisplayDemoForm(Application, options);
  form->Show();
  Application->ProcessMessages();
  if (full) {
    // As the saver does it: down, borderless, full screen, up again.
    form->DXDraw->Finalize();
    form->SetBorderStyle(bsNone);
    form->DXDraw->SetOptions(form->DXDraw->Options() | doFullScreen);
    form->DXDraw->Initialize();
  }
  TForm* other = nullptr;
  if (inactive) {
    other = new TForm(Application);
    other->SetBounds(100, 100, 200, 80);
    other->SetText("In front");
    other->Show();
    other->SetFocus();
    Application->ProcessMessages();
  }
  const double cpuStart = CpuSeconds();
  const int framesStart = form->Frames;
  const DWORD start = timeGetTime();
  form->DXTimer->SetOnTimer([&](TObject* sender, int32_t lag) {
    form->DXTimerTimer(sender, lag);
    if (timeGetTime() - start >= static_cast<DWORD>(seconds) * 1000u) Application->Terminate();
  });
  // The loop of Run, without making this form the main one.
  while (!Application->Terminated()) Application->HandleMessage();
  const double cpu = CpuSeconds() - cpuStart;
  std::printf("frames %d in %d s, form active %s, cpu %.3f s (%.2f %% of a core)\n", form->Frames - framesStart,
              seconds, form->Active() ? "yes" : "no", cpu, 100.0 * cpu / seconds);
  return 0;
}
