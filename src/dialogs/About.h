#pragma once
// The About box of the configure mode: title, version, an icon and the credits, shown
// modally by the Options dialog and closed by its OK button (or Enter, or the close box).
#include "runtime/ExtCtrls.h"
#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

class TOKRightDlg : public TForm {
 public:
  PELLORA_CLASS_NAME(TOKRightDlg)
  explicit TOKRightDlg(TComponent* AOwner);

  TLabel* Label4 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TImage* Image1 = nullptr;
  TLabel* Label5 = nullptr;
  TButton* OKBtn = nullptr;
};

extern TOKRightDlg* OKRightDlg;

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterAboutClasses();
