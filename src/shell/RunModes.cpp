#include "shell/RunModes.h"

#include "dialogs/About.h"
#include "dialogs/EnterPassword.h"
#include "dialogs/Enter_Password.h"
#include "dialogs/Options1.h"
#include "runtime/Forms.h"
#include "scene/PelloraUnit.h"

void RunSaverMode() {
  Application->Initialize();
  Application->SetTitle("Pellora");
  Application->CreateForm(MainForm);
  Application->CreateForm(Form1);
  Application->Run();
  FinalizeEnter_PasswordUnit();
}

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
