#pragma once
// A small window with a display and a frame timer that moves one colour-keyed sprite
// across the back surface every tick, in any of the display's ways of showing a frame.
#include <cstdint>
#include <memory>
#include <string>

#include "display/DXClass.h"
#include "display/DXDraws.h"

class TDisplayDemoForm : public TDXForm {
 public:
  PELLORA_CLASS_NAME(TDisplayDemoForm)
  // Options is the display's option set as a design writes it, e.g. "[doCenter]".
  TDisplayDemoForm(TComponent* AOwner, const std::string& Options);
  ~TDisplayDemoForm() override;

  TDXDraw* DXDraw = nullptr;
  TDXTimer* DXTimer = nullptr;
  int32_t Frames = 0;
  int32_t Restores = 0;
  // Where the sprite was drawn last, on the back surface.
  int32_t SpriteX = 0;
  int32_t SpriteY = 0;
  static constexpr int32_t SpriteSize = 32;

  void DXDrawInitialize(TObject* Sender);
  void DXDrawFinalize(TObject* Sender);
  void DXTimerTimer(TObject* Sender, int32_t LagCount);
  // One frame as a tick draws it.
  void DrawFrame();

 private:
  static void DisplayNotify(void* Data, TCustomDXDraw* Sender, DisplayNotice Notice);
  void MakeSprite();

  std::unique_ptr<TDirectDrawSurface> FSprite;
  int32_t FDX = 3;
  int32_t FDY = 2;
};

void RegisterDisplayDemoClasses();
