#pragma once
// The saver's windows made as saver mode makes them, on a headless 800 x 600 screen with a
// manual clock and a private hive; everything is put back after each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "dialogs/Enter_Password.h"
#include "display/DirectX.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "scene/PelloraUnit.h"
#include "support/HeadlessApplication.h"
#include "support/TempHive.h"

class SceneTest : public HeadlessApplicationTest {
 protected:
  SceneTest() : HeadlessApplicationTest("Pellora") {}
  void SetUp() override {
    HeadlessApplicationTest::SetUp();  // starts on the machine's clock
    InstallClock(&Clock);
    headless::SetScreenSize(800, 600);
    ddraw::ResetDirectDrawSettings();
    ResetPelloraUnit();
  }
  void TearDown() override {
    HeadlessApplicationTest::TearDown();
    ddraw::ResetDirectDrawSettings();
    ReleaseLibraries();
    InstallClock(nullptr);
    ResetPelloraUnit();
    FinalizeEnter_PasswordUnit();
  }

  // Saver mode's two windows, in its order (the scene's set-up runs inside the first),
  // and the main window shown as the message loop shows it when it starts.
  void StartSaver() {
    Application->CreateForm(MainForm);
    Application->CreateForm(Form1);
    if (!MainForm->Visible()) MainForm->Show();
    Application->ProcessMessages();
  }

  // One idle pass a millisecond later: the frame timer's chance to tick.
  void Idle() {
    Clock.Advance(1);
    Application->IdlePass();
  }

  // Runs Step after every frame tick from now on, whichever loop ticks (a modal one
  // too): the place to act while the saver is inside the password prompt.
  void AfterEachTick(std::function<void()> Step) {
    TDXTimerEvent frame = MainForm->DXTimer->OnTimer();
    MainForm->DXTimer->SetOnTimer([frame, Step = std::move(Step)](TObject* Sender, int32_t LagCount) {
      frame(Sender, LagCount);
      Step();
    });
  }

  // A file in the test's own scratch folder (the hive's), for pictures the test makes.
  std::filesystem::path File(const std::string& Name) const { return std::filesystem::path(Hive.Dir()) / Name; }

  static bool SameBalls(const TBallTable& A, const TBallTable& B) {
    return std::equal(A.Balls.begin(), A.Balls.end(), B.Balls.begin(), [](const TBall& p, const TBall& q) {
      return p.X == q.X && p.Y == q.Y && p.DX == q.DX && p.DY == q.DY;
    });
  }

  // The scene as the screen shows it now.
  WindowPixels Screen() const {
    WindowPixels frame;
    EXPECT_TRUE(headless::LastFrame(MainForm->Handle(), &frame));
    return frame;
  }

  TempHive Hive;
  ManualClock Clock{1000};
};
