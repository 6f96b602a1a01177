#pragma once
// The Options dialog of the configure mode: the ball picture, the number of balls and
// their maximum start speed, read from the settings when it opens and written on Ok.
#include <string>

#include "runtime/Dialogs.h"
#include "runtime/ExtCtrls.h"
#include "runtime/Forms.h"
#include "runtime/StdCtrls.h"

// The open dialog's single filter entry is built from these two.
inline constexpr const char* BitmapFilesDescription = "Bitmap files";
inline constexpr const char* BitmapExtension = "bmp";

inline constexpr const char* SBallsCountRange = "Number of balls 0<..<101 !!!";
inline constexpr const char* SBallsSpeedRange = "Balls max speed 0<..<101 !!!";

class TOptionsForm1 : public TForm {
 public:
  PELLORA_CLASS_NAME(TOptionsForm1)
  explicit TOptionsForm1(TComponent* AOwner);

  TLabel* Label1 = nullptr;
  TEdit* Edit1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit2 = nullptr;
  TLabel* Label3 = nullptr;
  TImage* Image1 = nullptr;
  TButton* Button2 = nullptr;
  TButton* Button3 = nullptr;
  TButton* Button1 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;

  void FormCreate(TObject* Sender);
  void Edit1KeyPress(TObject* Sender, char& Key);
  void Edit2KeyPress(TObject* Sender, char& Key);
  void Image1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button1Click(TObject* Sender);
};

extern TOptionsForm1* OptionsForm1;

// What the dialog holds for the run: the picture path (a file, or the built-in marker)
// and the two number texts as read.
namespace Options1 {
extern std::string PictureFile;
extern std::string BallsCountText;
extern std::string BallsSpeedText;
}  // namespace Options1

// Clears the texts above, as the unit does when the program shuts down.
void FinalizeOptions1Unit();

// Whether a typed character may enter a number field: digits and Backspace only.
bool IsNumberFieldKey(char Key);
// A number field's text is accepted when its whole-number value is 1 to 100.
bool NumberInRange(const std::string& Text);

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterOptions1Classes();
