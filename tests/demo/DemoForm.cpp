#include "DemoForm.h"

#include <fstream>

#include "runtime/DesignsRegistry.h"

void TDemoForm::FormCreate(TObject* Sender) {
  (void)Sender;
  PicturePath = "(built in)";
  Log("Ready");
}

void TDemoForm::FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
  (void)Sender, (void)Key, (void)Shift;
  ++KeysPreviewed;
}

void TDemoForm::Edit1KeyPress(TObject* Sender, char& Key) {
  (void)Sender;
  // Digits and Backspace only, as the number fields of the Options dialog.
  if (Key != 8 && (Key < '0' || Key > '9')) Key = 0;
}

void TDemoForm::Image1Click(TObject* Sender) {
  (void)Sender;
  if (!OpenDialog1->Execute()) {
    Log("Open cancelled");
    return;
  }
  Image1->Picture()->LoadFromFile(OpenDialog1->FileName());
  PicturePath = OpenDialog1->FileName();
  Log("Picture: " + PicturePath);
}

void TDemoForm::Button1Click(TObject* Sender) {
  (void)Sender;
  if (!ResultFile.empty()) {
    std::ofstream out(ResultFile, std::ios::trunc);
    out << "number=" << Edit1->Text() << "\n"
        << "password=" << Edit2->Text() << "\n"
        << "picture=" << PicturePath << "\n";
  }
  Close();
}

void TDemoForm::Button2Click(TObject* Sender) {
  (void)Sender;
  Close();
}

void TDemoForm::Button3Click(TObject* Sender) {
  (void)Sender;
  ShowMessage("Number: " + Edit1->Text());
  Log("Message shown");
}

void TDemoForm::Log(const std::string& Line) {
  ListBox1->AddItem(Line);
  ListBox1->SetTopIndex(ListBox1->Count());
}

void RegisterDemoForm() {
  RegisterComponentClass<TDemoForm, TForm>()
      .Field("Label1", &TDemoForm::Label1)
      .Field("Edit1", &TDemoForm::Edit1)
      .Field("Label2", &TDemoForm::Label2)
      .Field("Edit2", &TDemoForm::Edit2)
      .Field("Label3", &TDemoForm::Label3)
      .Field("Image1", &TDemoForm::Image1)
      .Field("Button1", &TDemoForm::Button1)
      .Field("Button2", &TDemoForm::Button2)
      .Field("Button3", &TDemoForm::Button3)
      .Field("Button4", &TDemoForm::Button4)
      .Field("ListBox1", &TDemoForm::ListBox1)
      .Field("OpenDialog1", &TDemoForm::OpenDialog1)
      .Method("FormCreate", &TDemoForm::FormCreate)
      .Method("FormKeyDown", &TDemoForm::FormKeyDown)
      .Method("Edit1KeyPress", &TDemoForm::Edit1KeyPress)
      .Method("Image1Click", &TDemoForm::Image1Click)
      .Method("Button1Click", &TDemoForm::Button1Click)
      .Method("Button2Click", &TDemoForm::Button2Click)
      .Method("Button3Click", &TDemoForm::Button3Click);
}
