#include "dialogs/About.h"

#include "runtime/DesignsRegistry.h"

TOKRightDlg* OKRightDlg = nullptr;

TOKRightDlg::TOKRightDlg(TComponent* AOwner) : TForm(AOwner) {}

void RegisterAboutClasses() {
  RegisterComponentClass<TOKRightDlg, TForm>()
      .Field("Label4", &TOKRightDlg::Label4)
      .Field("Label1", &TOKRightDlg::Label1)
      .Field("Label2", &TOKRightDlg::Label2)
      .Field("Label3", &TOKRightDlg::Label3)
      .Field("Image1", &TOKRightDlg::Image1)
      .Field("Label5", &TOKRightDlg::Label5)
      .Field("OKBtn", &TOKRightDlg::OKBtn);
}
