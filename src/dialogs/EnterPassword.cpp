#include "dialogs/EnterPassword.h"

#include "runtime/Dialogs.h"
#include "runtime/DesignsRegistry.h"
#include "settings/Settings.h"

TSet_Password* Set_Password = nullptr;
namespace EnterPassword {
std::string NewPassword;
}

using EnterPassword::NewPassword;

TSet_Password::TSet_Password(TComponent* AOwner) : TForm(AOwner) {}

void TSet_Password::Button1Click(TObject* Sender) {
  (void)Sender;
  if (Edit1->Text() != Edit2->Text()) {
    ShowMessage(SPasswordMismatch);
    return;
  }
  NewPassword = Edit1->Text();
  {
    TRegIniFile settings(SettingsKeyPath);
    WriteSettingText(settings, PasswordFlagName, PasswordFlagOn);
    WriteSettingText(settings, PasswordName, NewPassword);
  }
  Close();
}

void TSet_Password::Button2Click(TObject* Sender) {
  (void)Sender;
  Close();
}

void TSet_Password::Edit2KeyPress(TObject* Sender, char& Key) {
  if (Key != 13) return;
  // The Enter is used up here; it would only make the edit box beep.
  Key = 0;
  Button1Click(Sender);
}

void RegisterEnterPasswordClasses() {
  RegisterComponentClass<TSet_Password, TForm>()
      .Field("Label1", &TSet_Password::Label1)
      .Field("Label2", &TSet_Password::Label2)
      .Field("Edit1", &TSet_Password::Edit1)
      .Field("Edit2", &TSet_Password::Edit2)
      .Field("Button1", &TSet_Password::Button1)
      .Field("Button2", &TSet_Password::Button2)
      .Method("Button1Click", &TSet_Password::Button1Click)
      .Method("Button2Click", &TSet_Password::Button2Click)
      .Method("Edit2KeyPress", &TSet_Password::Edit2KeyPress);
}
