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

// The settings the scene read at start and writes back when it ends.
namespace PelloraUnit {
extern std::string PicturePath;
extern uint8_t BallCount;
extern uint8_t MaxSpeed;
extern std::string StoredPassword;
// Mouse moves seen so far, for the whole process: the first two never leave.
extern bool FirstMoveSeen;
extern bool SecondMoveSeen;
}  // namespace PelloraUnit

// Puts the module's settings and move flags back to how the program starts, for a second
// run of the saver within one process (tests, the capture tool).
void ResetPelloraUnit();

// Makes the scene window's classes known to the design reader; the program's list of
// units calls it once at start.
void RegisterPelloraUnitClasses();
