#include "shell/RunModes.h"

#include <cstdio>

#include "dialogs/About.h"
#include "dialogs/EnterPassword.h"
#include "dialogs/Options1.h"
#include "runtime/Forms.h"

namespace {

// The windows of the modes are still to come; until they are, a mode says so rather
// than pretending to have run.
void ReportMissingWindows(const char* mode) {
  std::fprintf(stderr, "pellora: %s mode is recognised, but its windows are not built yet\n", mode);
}

}  // namespace

void RunSaverMode() { ReportMissingWindows("saver"); }

void RunConfigureMode() {
  Application->Initialize();
  Application->SetTitle("Pellora");
  Application->CreateForm(OptionsForm1);
  Application->CreateForm(OKRightDlg);
  Application->Run();
  FinalizeOptions1Unit();
}

void RunSetPasswordMode() {
  Application->Initialize();
  Application->SetTitle("Pellora");
  Application->CreateForm(Set_Password);
  Application->Run();
}

void RunMode(TRunMode mode) {
  switch (mode) {
    case TRunMode::rmSaver:
      RunSaverMode();
      break;
    case TRunMode::rmConfigure:
      RunConfigureMode();
      break;
    case TRunMode::rmSetPassword:
      RunSetPasswordMode();
      break;
  }
}
