#pragma once
// The saver's scene window: it reads the settings, takes the screen, moves and draws the
// balls on every tick of its frame timer, and leaves on a key, a click or the third
// mouse move, through the password prompt when the desktop asks for one.
#include <cstdint>
#include <string>

#include "display/DXClass.h"
#include "display/DXDraws.h"
#include "display/DXImageList.h"
#include "scene/BallMotion.h"
#include "scene/SceneSettings.h"

class TMainForm : public TDXForm {
 public:
  PELLORA_CLASS_NAME(TMainForm)
  explicit TMainForm(TComponent* AOwner);

  TDXDraw* DXDraw = nullptr;
  TDXImageList* ImageList = nullptr;
  TDXTimer* DXTimer = nullptr;

  void FormCreate(TObject* Sender);
  void ScreenFull();
  void DXDrawInitialize(TObject* Sender);
  void DXDrawFinalize(TObject* Sender);
  void DXTimerTimer(TObject* Sender, int32_t LagCount);
  int32_t LineX(uint8_t a, uint8_t b) const { return FTable.LineX(a, b); }
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void DXDrawMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void DXDrawMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
  void Close1();
  void DXTimerActivate(TObject* Sender);
  void DXTimerDeactivate(TObject* Sender);

  // The scene's state, for the program's tests and tools to look at.
  const TBallTable& Table() const { return FTable; }
  int32_t FrameCount() const { return FFrameCount; }
  int32_t UsePassword() const { return FUsePassword; }
  int32_t RadiusX() const { return FTable.RadiusX; }
  int32_t RadiusY() const { return FTable.RadiusY; }

 private:
  TBallTable FTable;  // Balls, RadiusX, RadiusY
  int32_t FFrameCount = 0;
  int32_t FUsePassword = 0;
  bool FLeaving = false;  // Close1 is running
};

extern TMainForm* MainForm;

namespace PelloraUnit {
// What the scene unit keeps for the whole process, as one value: the settings it read at
// start and writes back when it ends, and the mouse moves seen so far (the first two never
// leave). A new field starts over with the rest when the value is reset.
struct TUnitState {
  TSceneSettings Settings;  // the picture as it is written back: the marker for a vanished file
  std::string StoredPassword;
  // Whether set-up got as far as reading every setting that leaving writes back. A value it
  // could not read (say "BallsCount" stored as a number) stops the set-up before the ones
  // after it: writing back what was never read would empty the stored password.
  bool SettingsRead = false;
  bool FirstMoveSeen = false;
  bool SecondMoveSeen = false;
};
TUnitState& State();
}  // namespace PelloraUnit

// Starts the unit's state over, as the program starts it, for a second run of the saver
// within one process (tests, the capture tool).
void ResetPelloraUnit();

// Makes the scene window's classes known to the design reader; the program's list of
// units calls it once at start.
void RegisterPelloraUnitClasses();
