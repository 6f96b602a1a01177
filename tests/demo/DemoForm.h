#pragma once
// The runtime's demo window: every control and both stock dialogs on one form, made from
// its stored design. Ok writes what was entered to the result file and closes.
#include <string>

#include "runtime/Dialogs.h"
#include "runtime/ExtCtrls.h"
#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

class TDemoForm : public TForm {
 public:
  PELLORA_CLASS_NAME(TDemoForm)
  explicit TDemoForm(TComponent* AOwner) : TForm(AOwner) {}

  TLabel* Label1 = nullptr;
  TEdit* Edit1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit2 = nullptr;
  TLabel* Label3 = nullptr;
  TImage* Image1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  TButton* Button3 = nullptr;
  TButton* Button4 = nullptr;
  TListBox* ListBox1 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;

  void FormCreate(TObject* Sender);
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void Edit1KeyPress(TObject* Sender, char& Key);
  void Image1Click(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);

  // Where Ok writes its result (nothing is written when empty).
  static inline std::string ResultFile;
  std::string PicturePath;
  int KeysPreviewed = 0;

 private:
  void Log(const std::string& Line);
};

// Registers the demo form's class with the design reader; the demo and its tests call it
// once, after the program's units.
void RegisterDemoForm();
