#pragma once
// The Set Password dialog, the only window of the set-password mode: the new password is
// typed twice and stored when both entries match.
#include <string>

#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

inline constexpr const char* SPasswordMismatch = "Error in entering of password in one of the string.";

class TSet_Password : public TForm {
 public:
  PELLORA_CLASS_NAME(TSet_Password)
  explicit TSet_Password(TComponent* AOwner);

  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit1 = nullptr;
  TEdit* Edit2 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;

  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Edit2KeyPress(TObject* Sender, char& Key);
};

extern TSet_Password* Set_Password;

// The password the dialog last stored.
namespace EnterPassword {
extern std::string NewPassword;
}

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterEnterPasswordClasses();
