#pragma once
// Forms holding a display, on a headless 1024 x 768 screen with a manual clock and the
// display service's default settings; everything is put back after each test.
#include "display/DirectX.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "runtime/forms_fixture.h"

class DisplayForms : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();  // starts on the machine's clock
    InstallClock(&Clock);
    headless::SetScreenSize(1024, 768);
    ddraw::ResetDirectDrawSettings();
  }
  void TearDown() override {
    HeadlessForms::TearDown();
    ddraw::ResetDirectDrawSettings();
    ReleaseLibraries();
    InstallClock(nullptr);
  }

  ManualClock Clock{1000};
};
