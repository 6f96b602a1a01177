// The runtime demo: one form with every control and both stock dialogs, for people to
// try and for the end-to-end tests to drive.
//
//   pellora_demo [--result FILE] [--shot FILE.png] [--message] [--open DIR] [--startup]
//
// --result: Ok writes number=, password= and picture= lines to FILE.
// --shot: saves the window as a PNG once it has been painted, then ends.
// --message / --open: opens the message box / the open dialog (in DIR) once the form is up.
// --startup: prints the milliseconds from start to the form's first paint.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "DemoForm.h"
#include "shell/Units.h"
#include "support/Png.h"

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  std::string shot;
  std::string openDir;
  bool message = false;
  bool open = false;
  bool startup = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--result" && i + 1 < argc) {
      TDemoForm::ResultFile = argv[++i];
    } else if (a == "--shot" && i + 1 < argc) {
      shot = argv[++i];
    } else if (a == "--message") {
      message = true;
    } else if (a == "--open" && i + 1 < argc) {
      open = true;
      openDir = argv[++i];
    } else if (a == "--startup") {
      startup = true;
    } else {
      std::fprintf(stderr, "usage: %s [--result FILE] [--shot FILE.png] [--message] [--open DIR] [--startup]\n", argv[0]);
      return 2;
    }
  }
  // The runtime and the DIB class, as the demo's tests have them.
  InitializeUnits(TUnitLayer::Image);
  RegisterDemoForm();
  Application->Initialize();
  if (Application->Handle() == nullptr) {
    std::fprintf(stderr, "pellora_demo: no window can be made: %s\n", PresenterError().c_str());
    return 1;
  }
  Application->SetTitle("Pellora demo");
  TDemoForm* DemoForm = nullptr;
  Application->CreateForm(DemoForm);
  if (DemoForm == nullptr) return 1;

  bool painted = false;
  DemoForm->SetOnPaint([&](TObject*) {
    if (painted) return;
    painted = true;
    if (startup) {
      const auto ms = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
      std::printf("first-paint-ms=%.1f\n", static_cast<double>(ms.count()) / 1000.0);
      std::fflush(stdout);
    }
  });
  // What the options ask for happens on the first idle pass after the form is painted.
  Application->SetOnIdle([&](TObject*, bool&) {
    if (!painted) return;
    Application->SetOnIdle(nullptr);
    if (!shot.empty()) {
      if (!SaveWindowPng(DemoForm->Handle(), shot.c_str())) std::fprintf(stderr, "cannot write %s\n", shot.c_str());
      Application->Terminate();
      return;
    }
    if (message) DemoForm->Button3->Click();
    if (open) {
      DemoForm->OpenDialog1->SetInitialDir(openDir);
      DemoForm->Image1->Click();
    }
  });
  Application->Run();
  std::printf("demo ended\n");
  return 0;
}
