#include "dialogs/Options1.h"

#include "dialogs/About.h"
#include "runtime/DesignsRegistry.h"
#include "settings/Settings.h"

TOptionsForm1* OptionsForm1 = nullptr;
namespace Options1 {
std::string PictureFile;
std::string BallsCountText;
std::string BallsSpeedText;
}  // namespace Options1

using namespace Options1;

TOptionsForm1::TOptionsForm1(TComponent* AOwner) : TForm(AOwner) {}

void TOptionsForm1::FormCreate(TObject* Sender) {
  (void)Sender;
  TRegIniFile settings(SettingsKeyPath);
  PictureFile = ReadSettingText(settings, PictureName, DefaultPicture);
  if (!NamesExistingPicture(PictureFile)) PictureFile = StandardPicture;
  if (PictureFile != StandardPicture) Image1->Picture()->LoadFromFile(PictureFile);
  BallsCountText = ReadSettingText(settings, BallsCountName, DefaultBallsCount);
  Edit1->SetText(BallsCountText);
  BallsSpeedText = ReadSettingText(settings, BallsSpeedName, DefaultBallsSpeed);
  Edit2->SetText(BallsSpeedText);
}

bool IsNumberFieldKey(char Key) { return Key == 8 || (Key >= '0' && Key <= '9'); }

void TOptionsForm1::Edit1KeyPress(TObject* Sender, char& Key) {
  (void)Sender;
  if (!IsNumberFieldKey(Key)) Key = 0;
}

void TOptionsForm1::Edit2KeyPress(TObject* Sender, char& Key) {
  (void)Sender;
  if (!IsNumberFieldKey(Key)) Key = 0;
}

void TOptionsForm1::Image1Click(TObject* Sender) {
  (void)Sender;
  OpenDialog1->SetFilter(std::string(BitmapFilesDescription) + "|*." + BitmapExtension);
  if (!OpenDialog1->Execute()) return;
  // Loading first: a file that is no picture raises here and the old path stays.
  Image1->Picture()->LoadFromFile(OpenDialog1->FileName());
  PictureFile = OpenDialog1->FileName();
}

bool NumberInRange(const std::string& Text) {
  // Only digits can be typed, but a stored text comes back as it was stored, and the
  // parser wraps at 32 bits: 4294967346 would pass as 50. A number with more significant
  // digits than 100 has is out of range whatever the wrapped value says.
  size_t i = Text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  const bool hex = Text[i] == '$';
  if (Text[i] == '-' || Text[i] == '+' || hex) ++i;
  while (i < Text.size() && Text[i] == '0') ++i;
  size_t significant = 0;
  for (; i < Text.size(); ++i, ++significant) {
    const char c = Text[i];
    const bool digit = (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    if (!digit) break;
  }
  if (significant > (hex ? 2u : 3u)) return false;
  int stoppedAt = 0;
  const int32_t value = Val(Text, &stoppedAt);
  return value >= 1 && value <= 100;
}

void TOptionsForm1::Button2Click(TObject* Sender) {
  (void)Sender;
  {
    TRegIniFile settings(SettingsKeyPath);
    WriteSettingText(settings, PictureName, PictureFile);
    if (!NumberInRange(Edit1->Text())) {
      ShowMessage(SBallsCountRange);
    } else {
      WriteSettingText(settings, BallsCountName, Edit1->Text());
    }
    if (!NumberInRange(Edit2->Text())) {
      ShowMessage(SBallsSpeedRange);
    } else {
      WriteSettingText(settings, BallsSpeedName, Edit2->Text());
    }
  }
  Close();
}

void TOptionsForm1::Button3Click(TObject* Sender) {
  (void)Sender;
  Close();
}

void TOptionsForm1::Button1Click(TObject* Sender) {
  (void)Sender;
  OKRightDlg->ShowModal();
}

void FinalizeOptions1Unit() {
  PictureFile.clear();
  BallsCountText.clear();
  BallsSpeedText.clear();
}

void RegisterOptions1Classes() {
  RegisterComponentClass<TOptionsForm1, TForm>()
      .Field("Label1", &TOptionsForm1::Label1)
      .Field("Edit1", &TOptionsForm1::Edit1)
      .Field("Label2", &TOptionsForm1::Label2)
      .Field("Edit2", &TOptionsForm1::Edit2)
      .Field("Label3", &TOptionsForm1::Label3)
      .Field("Image1", &TOptionsForm1::Image1)
      .Field("Button2", &TOptionsForm1::Button2)
      .Field("Button3", &TOptionsForm1::Button3)
      .Field("Button1", &TOptionsForm1::Button1)
      .Field("OpenDialog1", &TOptionsForm1::OpenDialog1)
      .Method("FormCreate", &TOptionsForm1::FormCreate)
      .Method("Edit1KeyPress", &TOptionsForm1::Edit1KeyPress)
      .Method("Edit2KeyPress", &TOptionsForm1::Edit2KeyPress)
      .Method("Image1Click", &TOptionsForm1::Image1Click)
      .Method("Button2Click", &TOptionsForm1::Button2Click)
      .Method("Button3Click", &TOptionsForm1::Button3Click)
      .Method("Button1Click", &TOptionsForm1::Button1Click);
}
