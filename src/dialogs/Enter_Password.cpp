#include "dialogs/Enter_Password.h"

#include "runtime/DesignsRegistry.h"

TForm1* Form1 = nullptr;
namespace Enter_Password {
std::string ExpectedPassword;
bool Accepted = false;
}  // namespace Enter_Password

using namespace Enter_Password;

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {}

void TForm1::AskPassword(const std::string& Expected) {
  ExpectedPassword = Expected;
  Accepted = false;
  ShowModal();
}

bool TForm1::PasswordAccepted() const { return Accepted; }

void TForm1::Button1Click(TObject* Sender) {
  (void)Sender;
  // Byte for byte: case matters and so does every space.
  Accepted = Edit1->Text() == ExpectedPassword;
}

void TForm1::Button2Click(TObject* Sender) {
  (void)Sender;
  Accepted = false;
}

void TForm1::Button1KeyPress(TObject* Sender, char& Key) {
  if (Key == 13) Button1Click(Sender);
}

void FinalizeEnter_PasswordUnit() { ExpectedPassword.clear(); }

void RegisterEnter_PasswordClasses() {
  RegisterComponentClass<TForm1, TForm>()
      .Field("Label1", &TForm1::Label1)
      .Field("Edit1", &TForm1::Edit1)
      .Field("Button1", &TForm1::Button1)
      .Field("Button2", &TForm1::Button2)
      .Method("Button1Click", &TForm1::Button1Click)
      .Method("Button2Click", &TForm1::Button2Click)
      .Method("Button1KeyPress", &TForm1::Button1KeyPress);
}
