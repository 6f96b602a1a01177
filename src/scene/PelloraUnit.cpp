#include "scene/PelloraUnit.h"

#include "dialogs/Enter_Password.h"
#include "runtime/DesignsRegistry.h"
#include "scene/BallPicture.h"
#include "scene/Credit.h"
#include "scene/Random.h"

TMainForm* MainForm = nullptr;

namespace PelloraUnit {

TUnitState& State() {
  static TUnitState state;
  return state;
}

}  // namespace PelloraUnit

using PelloraUnit::State;

TMainForm::TMainForm(TComponent* AOwner) : TDXForm(AOwner) {}

void TMainForm::FormCreate(TObject* Sender) {
  (void)Sender;
  PelloraUnit::TUnitState& unit = State();
  unit.Settings = ReadSceneSettings();
  if (!NamesExistingPicture(unit.Settings.Picture)) unit.Settings.Picture = StandardPicture;
  unit.StoredPassword = ReadStoredPassword();
  unit.SettingsRead = true;
  {
    TRegistry desktop;
    desktop.OpenKey(DesktopKeyPath, false);
    FUsePassword = desktop.ReadInteger(UsePasswordName);
    desktop.CloseKey();
  }
  TPictureCollectionItem* ball = ImageList->Items()->Items(0);
  if (unit.Settings.Picture != StandardPicture) LoadBallPicture(ball->Picture(), unit.Settings.Picture);
  FFrameCount = 0;
  FTable.RadiusX = ball->Picture()->Width() / 2;
  FTable.RadiusY = ball->Picture()->Height() / 2;
  ImageList->Items()->BuildColorTable();
  DXDraw->ColorTable() = ImageList->Items()->ColorTable();
  DXDraw->DefaultColorTable() = ImageList->Items()->ColorTable();
  ScreenFull();
  Randomize();
  FTable.PlaceBalls(DXDraw->Width(), DXDraw->Height(), unit.Settings.BallCount, unit.Settings.MaxSpeed);
}

void TMainForm::ScreenFull() {
  DXDraw->Finalize();
  DXDraw->SetCursor(crNone);
  SetBorderStyle(bsNone);
  DXDraw->SetOptions(DXDraw->Options() | doFullScreen);
  DXDraw->Initialize();
}

void TMainForm::DXDrawInitialize(TObject* Sender) {
  (void)Sender;
  DXTimer->SetEnabled(true);
}

void TMainForm::DXDrawFinalize(TObject* Sender) {
  (void)Sender;
  DXTimer->SetEnabled(false);
}

void TMainForm::DXTimerTimer(TObject* Sender, int32_t LagCount) {
  // However late the tick, every ball moves one step: the motion is counted in frames.
  (void)Sender, (void)LagCount;
  if (!DXDraw->ReadyToDraw()) return;
  TDirectDrawSurface* surface = DXDraw->Surface();
  surface->Fill(0);
  TPictureCollectionItem* ball = ImageList->Items()->Items(0);
  const uint8_t ballCount = State().Settings.BallCount;
  const int count = ActiveBalls(ballCount);
  for (int i = 0; i < count; ++i) {
    FTable.AdvanceBall(i, surface->Width(), surface->Height(), ballCount);
    const TBall& b = FTable.Balls[static_cast<size_t>(i)];
    ball->Draw(surface, b.X - FTable.RadiusX, b.Y - FTable.RadiusY, 0);
  }
  if (FFrameCount < CreditFrames) {
    TDirectDrawSurfaceCanvas* canvas = surface->Canvas();
    canvas->Brush()->SetStyle(bsClear);
    canvas->Font()->SetSize(CreditFontSize);
    canvas->Font()->SetColor(static_cast<TColor>(CreditColor));
    canvas->TextOut(CreditLeft, CreditTop, CreditCaption);
    canvas->ReleaseCanvas();
    ++FFrameCount;
  }
  DXDraw->PresentFrame();
}

void TMainForm::FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
  (void)Sender, (void)Key, (void)Shift;
  Close1();
}

void TMainForm::DXDrawMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  (void)Sender, (void)Button, (void)Shift, (void)X, (void)Y;
  Close1();
}

void TMainForm::DXDrawMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y) {
  // The window shows under a still pointer with a move or two of its own; only a third
  // move is the user's.
  (void)Sender, (void)Shift, (void)X, (void)Y;
  PelloraUnit::TUnitState& unit = State();
  if (!unit.FirstMoveSeen) {
    unit.FirstMoveSeen = true;
  } else if (!unit.SecondMoveSeen) {
    unit.SecondMoveSeen = true;
  } else {
    Close1();
  }
}

void TMainForm::Close1() {
  // Input that was already on its way to the scene when the prompt came up still arrives
  // while the prompt is up; the prompt is asking already.
  if (FLeaving) return;
  FLeaving = true;
  struct TLeaving {
    bool& Flag;
    ~TLeaving() { Flag = false; }
  } leaving{FLeaving};
  PelloraUnit::TUnitState& unit = State();
  if (FUsePassword == 1) {
    Form1->AskPassword(unit.StoredPassword);
    if (!Form1->PasswordAccepted()) {
      unit.FirstMoveSeen = false;
      unit.SecondMoveSeen = false;
      return;
    }
  }
  if (unit.SettingsRead) {
    TRegIniFile settings(SettingsKeyPath);
    WriteSettingText(settings, PictureName, unit.Settings.Picture);
    WriteSettingText(settings, BallsCountName, std::to_string(unit.Settings.BallCount));
    WriteSettingText(settings, BallsSpeedName, std::to_string(unit.Settings.MaxSpeed));
    WriteSettingText(settings, PasswordName, unit.StoredPassword);
  }
  Close();
}

void TMainForm::DXTimerActivate(TObject* Sender) {
  (void)Sender;
  SetCaption(Application->Title());
}

void TMainForm::DXTimerDeactivate(TObject* Sender) {
  (void)Sender;
  SetCaption(Application->Title() + " [Pause]");
}

void ResetPelloraUnit() { State() = PelloraUnit::TUnitState{}; }

void RegisterPelloraUnitClasses() {
  RegisterComponentClass<TMainForm, TDXForm>()
      .Field("DXDraw", &TMainForm::DXDraw)
      .Field("ImageList", &TMainForm::ImageList)
      .Field("DXTimer", &TMainForm::DXTimer)
      .Method("FormCreate", &TMainForm::FormCreate)
      .Method("DXDrawInitialize", &TMainForm::DXDrawInitialize)
      .Method("DXDrawFinalize", &TMainForm::DXDrawFinalize)
      .Method("DXTimerTimer", &TMainForm::DXTimerTimer)
      .Method("FormKeyDown", &TMainForm::FormKeyDown)
      .Method("DXDrawMouseDown", &TMainForm::DXDrawMouseDown)
      .Method("DXDrawMouseMove", &TMainForm::DXDrawMouseMove)
      .Method("DXTimerActivate", &TMainForm::DXTimerActivate)
      .Method("DXTimerDeactivate", &TMainForm::DXTimerDeactivate);
}
