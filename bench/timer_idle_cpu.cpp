// How much of a core the message loop takes while a frame timer runs with a handler that
// does next to nothing: the loop sleeps to the next millisecond between ticks, so this
// should stay small. `--poll` makes every idle pass come back at once, as a loop that
// polls would, for comparison.
//
//   timer_idle_cpu [SECONDS] [--poll]      (PELLORA_HEADLESS=1 for no display)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/DXClass.h"
#include "platform/clock/Clock.h"
#include "runtime/DesignReader.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

const char* kDesign = R"(object Probe: TForm
  Left = 40
  Top = 40
  Caption = 'Timer'
  ClientWidth = 160
  ClientHeight = 90
  object DXTimer: TDXTimer
    ActiveOnly = False
    Enabled = False
    Interval = 1
    MaxLag = 10
  end
end
)";

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  bool poll = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--poll") == 0) {
      poll = true;
    } else {
      seconds = std::max(1, std::atoi(argv[i]));
    }
  }
  if (!EnsurePresenter()) {
    std::fprintf(stderr, "timer_idle_cpu: %s\n", PresenterError().c_str());
    return 1;
  }
  RegisterDXClassClasses();
  Application->Initialize();
  auto* form = new TForm(Application);
  ReadComponentText(form, "Probe.pfm", kDesign);
  form->Show();
  auto* timer = dynamic_cast<TDXTimer*>(form->FindComponent("DXTimer"));
  if (timer == nullptr) return 1;

  long ticks = 0;
  long lagged = 0;
  const DWORD start = timeGetTime();
  timer->SetOnTimer([&](TObject*, int32_t lag) {
    ++ticks;
    lagged += lag;
    if (timeGetTime() - start >= static_cast<DWORD>(seconds) * 1000u) Application->Terminate();
  });
  timer->SetEnabled(true);
  if (poll) {
    // Pretend every pass saw an older clock value, so the loop never waits.
    Application->SetOnIdle([timer](TObject* sender, bool& done) {
      timer->HandleIdle(sender, done);
      Application->IdleUntilClockPasses(timeGetTime() - 1);
    });
  }

  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const int64_t idle0 = Application->IdleCount();
  while (!Application->Terminated()) Application->HandleMessage();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = CpuSeconds() - cpu0;
  std::printf("%s loop, %s: %.2f s, %ld ticks (%ld ms of lag reported), %lld idle passes, CPU %.3f s = %.2f %% of a core\n",
              poll ? "polling" : "sleeping", CurrentPresenterKind() == PresenterKind::Sdl ? "SDL" : "headless", wall, ticks,
              lagged, static_cast<long long>(Application->IdleCount() - idle0), cpu, 100.0 * cpu / wall);
  delete form;
  return 0;
}
