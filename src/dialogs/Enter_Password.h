#pragma once
// The Enter Password dialog of the saver mode: made hidden with the scene window, shown
// modally each time leaving needs the password, then asked whether the entry matched.
#include <string>

#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

class TForm1 : public TForm {
 public:
  PELLORA_CLASS_NAME(TForm1)
  explicit TForm1(TComponent* AOwner);

  TLabel* Label1 = nullptr;
  TEdit* Edit1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;

  // Remembers the expected password, clears the verdict and shows the dialog modally;
  // returns once it has closed, by either button or the close box.
  void AskPassword(const std::string& Expected);
  // Whether the text in the field was the expected password when Ok was pressed.
  bool PasswordAccepted() const;

  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button1KeyPress(TObject* Sender, char& Key);
};

extern TForm1* Form1;

// The unit's state for the program's lifetime.
namespace Enter_Password {
extern std::string ExpectedPassword;
extern bool Accepted;
}  // namespace Enter_Password

// Clears the expected password, as the unit does when the program shuts down.
void FinalizeEnter_PasswordUnit();

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterEnter_PasswordClasses();
