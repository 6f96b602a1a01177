#include "Capture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "PngFile.h"
#include "platform/clock/Clock.h"
#include "platform/window/Headless.h"
#include "platform/window/PresenterChoice.h"
#include "runtime/Forms.h"
#include "shell/Shell.h"

namespace {

// Nothing the tool waits for takes long on a manual clock; a run that shows nothing new
// for this long (a modal box waiting for a key, a saver that stopped drawing) never will.
constexpr auto kStallLimit = std::chrono::seconds(30);

TShotTime TimeOfDayNow() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string TimeText(const TShotTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second, t.Millisecond);
  return text;
}

// Ends the process when the run stops making progress, instead of leaving it hanging.
class TStallGuard {
 public:
  TStallGuard() : FThread([this] { Watch(); }) {}
  ~TStallGuard() {
    {
      std::lock_guard lock(FMutex);
      FDone = true;
    }
    FWake.notify_all();
    FThread.join();
  }
  void Progress() { FProgress.fetch_add(1, std::memory_order_relaxed); }

 private:
  void Watch() {
    std::unique_lock lock(FMutex);
    uint64_t seen = FProgress.load();
    while (!FWake.wait_for(lock, kStallLimit, [this] { return FDone; })) {
      const uint64_t now = FProgress.load();
      if (now == seen) {
        std::fprintf(stderr, "pellora-shot: the run has shown nothing new for %lld s (a message box waiting for a key?); "
                             "giving up\n",
                     static_cast<long long>(kStallLimit.count()));
        std::fflush(stderr);
        std::_Exit(ShotFailed);
      }
      seen = now;
    }
  }

  std::atomic<uint64_t> FProgress{0};
  std::mutex FMutex;
  std::condition_variable FWake;
  bool FDone = false;
  std::thread FThread;
};

class TShot {
 public:
  explicit TShot(const TShotOptions& Options) : FOptions(Options), FMode(Options.Mode) {}

  int Run(const TShotTime& Start) {
    const uint64_t startMs = ((static_cast<uint64_t>(Start.Hour) * 60 + static_cast<uint64_t>(Start.Minute)) * 60 +
                              static_cast<uint64_t>(Start.Second)) * 1000 + static_cast<uint64_t>(Start.Millisecond);
    ManualClock clock(startMs);
    SYSTEMTIME day{};
    clock.SystemTime(&day);
    day.wHour = static_cast<WORD>(Start.Hour);
    day.wMinute = static_cast<WORD>(Start.Minute);
    day.wSecond = static_cast<WORD>(Start.Second);
    day.wMilliseconds = static_cast<WORD>(Start.Millisecond);
    clock.SetSystemTime(day);
    InstallClock(&clock);
    UseHeadlessPresenter();
    headless::SetScreenSize(FOptions.ScreenWidth, FOptions.ScreenHeight);

    EnsureApplication();
    // A message box would wait for a key nobody presses: what it would say goes to stderr.
    Application->SetOnException([this](TObject*, const std::exception& e) {
      std::fprintf(stderr, "pellora-shot: the program reports: %s\n", e.what());
      FReported = true;
    });
    // The saver's frames are what the presenter shows of its window once the application
    // is active: the frame timer ticks only from then on, and what came before was the
    // window's first paint.
    Application->SetOnActivate([this](TObject*) { FActive = true; });
    SetPresentListener([this](HWND Window) { Presented(Window); });
    // A run that has gone quiet without a running frame timer (nothing else takes part in
    // idle processing): a dialog that is fully painted, or a saver that is not animating.
    Application->SetOnIdle([this](TObject*, bool&) {
      if (Application->IdleHandlerCount() == 0) Quiet();
    });

    std::vector<std::string> arguments{"pellora"};
    arguments.insert(arguments.end(), FOptions.ModeArguments.begin(), FOptions.ModeArguments.end());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    PelloraMain(static_cast<int>(arguments.size()), argv.data());

    InstallClock(nullptr);
    if (FStatus == ShotDone && !FFinished) {
      std::fprintf(stderr, "pellora-shot: the program ended before it showed %s\n",
                   FMode == TRunMode::rmSaver ? "the frames asked for" : "its dialog");
      FStatus = ShotFailed;
    }
    return FStatus;
  }

 private:
  void Presented(HWND Window) {
    TCustomForm* scene = Application->MainForm();
    if (FMode != TRunMode::rmSaver || !FActive || FSaving || FFinished || scene == nullptr || Window != scene->Handle())
      return;
    ++FFrame;
    FGuard.Progress();
    if (FOptions.Frames.count(FFrame) != 0 && !Save(Window, FramePath(FFrame))) return Finish(ShotFailed);
    if (FFrame >= *FOptions.Frames.rbegin()) Finish(ShotDone);
  }

  void Quiet() {
    TCustomForm* form = Application->MainForm();
    if (FMode == TRunMode::rmSaver || form == nullptr) {
      std::fprintf(stderr, "pellora-shot: the saver is not drawing frames%s\n",
                   FReported ? " (see the report above)" : "");
      return Finish(ShotFailed);
    }
    const std::string name = FMode == TRunMode::rmConfigure ? "options.png" : "set-password.png";
    Finish(Save(form->Handle(), FOptions.OutDir + "/" + name) ? ShotDone : ShotFailed);
  }

  std::string FramePath(int64_t Frame) const {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%04lld.png", static_cast<long long>(Frame));
    return FOptions.OutDir + name;
  }

  // What the screen last showed of the window: the whole screen for the saver.
  bool Save(HWND Window, const std::string& Path) {
    WindowPixels shown;
    // Reading the frame brings the window's screen up to date first; what that shows is
    // not a frame of its own.
    FSaving = true;
    const bool read = headless::LastFrame(Window, &shown);
    FSaving = false;
    if (!read || shown.pixels.empty()) {
      std::fprintf(stderr, "pellora-shot: nothing was shown to write to %s\n", Path.c_str());
      return false;
    }
    if (!WritePngFile(Path, shown.width, shown.height, shown.pixels)) {
      std::fprintf(stderr, "pellora-shot: cannot write %s\n", Path.c_str());
      return false;
    }
    std::printf("%s\n", Path.c_str());
    FGuard.Progress();
    return true;
  }

  void Finish(int Status) {
    if (FFinished) return;
    FFinished = true;
    FStatus = Status;
    Application->Terminate();
  }

  const TShotOptions& FOptions;
  TRunMode FMode;
  TStallGuard FGuard;
  bool FActive = false;
  bool FSaving = false;
  bool FReported = false;
  bool FFinished = false;
  int FStatus = ShotDone;
  int64_t FFrame = 0;
};

}  // namespace

int RunShot(const TShotOptions& Options) {
  std::error_code error;
  std::filesystem::create_directories(Options.OutDir, error);
  if (!std::filesystem::is_directory(Options.OutDir)) {
    std::fprintf(stderr, "pellora-shot: cannot make the folder %s%s%s\n", Options.OutDir.c_str(),
                 error ? ": " : "", error ? error.message().c_str() : "");
    return ShotFailed;
  }
  TShotTime start;
  if (Options.Time) {
    start = *Options.Time;
  } else {
    start = TimeOfDayNow();
    std::fprintf(stderr, "pellora-shot: --time %s gives this run again\n", TimeText(start).c_str());
  }
  TShot shot(Options);
  return shot.Run(start);
}
