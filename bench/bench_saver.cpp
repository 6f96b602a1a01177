// The saver's whole frame step: the real scene window's timer handler, made as saver mode
// makes it, on the headless 800 x 600 x 16 screen with 100 balls. The clock is a manual
// one, so the page flip's wait for the vertical blank only moves that clock forward and
// never sleeps: what is timed is the fill, the motion, the sprites, the caption and the
// presentation of the frame.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "dialogs/Enter_Password.h"
#include "display/DirectX.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"
#include "runtime/Forms.h"
#include "scene/Credit.h"
#include "scene/PelloraUnit.h"
#include "shell/Units.h"

namespace {

// Saver mode's two windows on a fresh headless screen, a manual clock and an empty hive
// (so the defaults: 100 balls, top speed 6, the built-in ball).
class Saver {
 public:
  Saver() {
    char pattern[] = "/tmp/pellora-bench-XXXXXX";
    if (const char* made = mkdtemp(pattern)) hive_ = made;
    setenv("XDG_CONFIG_HOME", hive_.c_str(), 1);
    InstallClock(&clock_);
    ResetWindowSystem();
    UseHeadlessPresenter();
    headless::SetScreenSize(800, 600);
    ddraw::ResetDirectDrawSettings();
    ResetPelloraUnit();
    ResetApplication();
    Application->Initialize();
    Application->SetTitle("Pellora");
    Application->SetOnException([this](TObject*, const std::exception& e) { error_ = e.what(); });
    Application->CreateForm(MainForm);
    Application->CreateForm(Form1);
    if (!MainForm->Visible()) MainForm->Show();
    Application->ProcessMessages();
  }
  ~Saver() {
    ResetApplication();
    ResetWindowSystem();
    ddraw::ResetDirectDrawSettings();
    ReleaseLibraries();
    InstallClock(nullptr);
    ResetPelloraUnit();
    FinalizeEnter_PasswordUnit();
    std::error_code ignored;
    std::filesystem::remove_all(hive_, ignored);
  }
  Saver(const Saver&) = delete;
  Saver& operator=(const Saver&) = delete;

  // Why the frames could not be timed, or empty.
  std::string Problem() const {
    if (!error_.empty()) return error_;
    if (MainForm == nullptr || !MainForm->DXDraw->ReadyToDraw()) return "the scene cannot draw";
    if (PelloraUnit::State().Settings.BallCount != 100) return "not 100 balls";
    if (MainForm->DXDraw->Surface()->Width() != 800 || MainForm->DXDraw->Surface()->BitCount() != 16)
      return "not an 800 x 600 x 16 surface";
    return {};
  }

  void Step() { MainForm->DXTimerTimer(MainForm->DXTimer, 0); }
  int Presents() const { return headless::PresentCount(MainForm->Handle()); }

 private:
  std::string hive_;
  ManualClock clock_{1000};
  std::string error_;
};

// A frame step counts only if it reached the screen; anything else times a shortcut.
void CheckPresented(benchmark::State& state, const Saver& saver, int before, int steps) {
  if (saver.Presents() - before != steps) state.SkipWithError("frames were not presented");
}

// The first frames, with the credit line: exactly as many as carry it.
void BM_SaverFrameWithCaption(benchmark::State& state) {
  Saver saver;
  if (const std::string problem = saver.Problem(); !problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  const int before = saver.Presents();
  for (auto _ : state) saver.Step();
  if (MainForm->FrameCount() != static_cast<int>(state.iterations()))
    state.SkipWithError("a frame went without the caption");
  CheckPresented(state, saver, before, static_cast<int>(state.iterations()));
}
BENCHMARK(BM_SaverFrameWithCaption)->Unit(benchmark::kMicrosecond)->Iterations(CreditFrames)->Repetitions(5);

// Every later frame: balls only.
void BM_SaverFrame(benchmark::State& state) {
  Saver saver;
  if (const std::string problem = saver.Problem(); !problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  while (MainForm->FrameCount() < CreditFrames) saver.Step();
  const int before = saver.Presents();
  int steps = 0;
  for (auto _ : state) {
    saver.Step();
    ++steps;
  }
  CheckPresented(state, saver, before, steps);
}
BENCHMARK(BM_SaverFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  InitializeUnits(TUnitLayer::Scene);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  FinalizeUnits();
  return 0;
}
