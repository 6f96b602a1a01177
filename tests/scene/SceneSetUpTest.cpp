// What the scene makes of the stored settings before its first frame: the picture and its
// radii, the balls' start, the display taken full screen, and what a failure leaves.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "SceneFixture.h"
#include "image/DIB.h"
#include "runtime/StdCtrls.h"
#include "scene/Random.h"
#include "support/BmpFile.h"
#include "support/StoredSettings.h"

namespace {

class SceneSetUpTest : public SceneTest {
 protected:
  TGraphic* BallGraphic() const { return MainForm->ImageList->Items()->Items(0)->Picture()->Graphic(); }

  bool NoBallPlaced() const {
    const auto& balls = MainForm->Table().Balls;
    return std::all_of(balls.begin(), balls.end(),
                       [](const TBall& b) { return b.X == 0 && b.Y == 0 && b.DX == 0 && b.DY == 0; });
  }

  // What a failed set-up leaves: the designed bordered window, shown, with its display
  // never switched to full screen and no ball placed.
  void ExpectSetUpStoppedBeforeTheScreen() {
    ASSERT_NE(MainForm, nullptr);
    EXPECT_TRUE(MainForm->Visible());
    EXPECT_EQ(MainForm->BorderStyle(), bsSingle);
    EXPECT_EQ(MainForm->DXDraw->Options() & doFullScreen, 0u);
    EXPECT_EQ(MainForm->RadiusX(), 0);
    EXPECT_EQ(MainForm->RadiusY(), 0);
    EXPECT_TRUE(NoBallPlaced());
    // The display still starts in the window when it shows, and the frames run harmlessly
    // on the unplaced table.
    EXPECT_TRUE(MainForm->DXDraw->Initialized());
    for (int i = 0; i < 5; ++i) Idle();
    EXPECT_EQ(MainForm->FrameCount(), 5);
  }
};

TEST_F(SceneSetUpTest, WithoutSettingsTheBuiltInBallRunsFullScreenWithTheDefaults) {
  StartSaver();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(PelloraUnit::State().Settings.Picture, StandardPicture);
  EXPECT_EQ(PelloraUnit::State().StoredPassword, "");
  EXPECT_EQ(MainForm->UsePassword(), 0);
  EXPECT_EQ(MainForm->ImageList->Items()->Count(), 1);
  EXPECT_EQ(BallGraphic()->Width(), 47);
  EXPECT_NE(MainForm->DXDraw->Options() & doFullScreen, 0u);
  EXPECT_NE(MainForm->DXDraw->Options() & doFlip, 0u);  // the designed options are kept
  EXPECT_EQ(MainForm->DXDraw->Cursor(), crNone);
  // The pointer takes the shape of what it is over once it moves (a first move does not
  // leave).
  headless::MouseMove(400, 300);
  Application->ProcessMessages();
  EXPECT_FALSE(headless::CursorVisible());
  EXPECT_FALSE(Application->Terminated());
  for (int i = 0; i < MaxBalls; ++i) {
    const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
    EXPECT_GE(b.Y, 23);
    EXPECT_LT(b.Y, 600 - 23);
    EXPECT_GE(b.DY, 1);
    EXPECT_LE(b.DY, 6);
  }
  // Reading stores nothing.
  EXPECT_EQ(StoredSetting(BallsCountName), "(none)");
  EXPECT_EQ(StoredSetting(PictureName), "(none)");
}

TEST_F(SceneSetUpTest, TheDisplayGetsTheImageListsColourTableInBothOfItsTables) {
  StartSaver();
  const TRGBQuads& built = MainForm->ImageList->Items()->ColorTable();
  ASSERT_EQ(sizeof(built), sizeof(TDXDrawColorTable));
  EXPECT_EQ(std::memcmp(built.data(), MainForm->DXDraw->ColorTable().data(), sizeof(built)), 0);
  EXPECT_EQ(std::memcmp(built.data(), MainForm->DXDraw->DefaultColorTable().data(), sizeof(built)), 0);
  // The table holds the ball's blue shades, not just zeros.
  const bool blue = std::any_of(built.begin(), built.end(), [](const RGBQUAD& q) {
    return q.rgbBlue > q.rgbRed + 40 && q.rgbBlue > q.rgbGreen + 20;
  });
  EXPECT_TRUE(blue);
}

TEST_F(SceneSetUpTest, CountsAreTakenModulo256AndNeverUseMoreThanTheTable) {
  StoreSetting(BallsCountName, "300");
  StoreSetting(BallsSpeedName, "-1");
  StartSaver();
  EXPECT_EQ(PelloraUnit::State().Settings.BallCount, 44);
  EXPECT_EQ(PelloraUnit::State().Settings.MaxSpeed, 255);
  const auto& balls = MainForm->Table().Balls;
  EXPECT_NE(balls[43].DX, 0);
  EXPECT_EQ(balls[44].DX, 0);  // slots past the count stay empty
  EXPECT_EQ(balls[99].X, 0);
  int fast = 0;
  for (int i = 0; i < 44; ++i) fast += balls[static_cast<size_t>(i)].DX > 6;
  EXPECT_GT(fast, 30);  // speeds up to 255
}

TEST_F(SceneSetUpTest, ACountOf255UsesAllHundredSlotsAndRuns) {
  StoreSetting(BallsCountName, "255");
  StartSaver();
  EXPECT_EQ(PelloraUnit::State().Settings.BallCount, 255);
  EXPECT_NE(MainForm->Table().Balls[99].DX, 0);
  for (int i = 0; i < 20; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), 20);
}

TEST_F(SceneSetUpTest, ACountOfZeroPlacesNoBall) {
  StoreSetting(BallsCountName, "0");
  StartSaver();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(NoBallPlaced());
  for (int i = 0; i < 5; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), 5);
  EXPECT_TRUE(NoBallPlaced());
}

TEST_F(SceneSetUpTest, APictureThatIsGoneGivesTheBuiltInBall) {
  StoreSetting(PictureName, File("deleted.bmp").string());
  StartSaver();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(PelloraUnit::State().Settings.Picture, StandardPicture);
  EXPECT_EQ(MainForm->RadiusX(), 23);
  EXPECT_EQ(BallGraphic()->Width(), 47);
}

TEST_F(SceneSetUpTest, ABitmapFileOfOddWidthGivesTruncatedRadiiAndStaysTheOnlyItem) {
  WriteBmpFile(File("wide.bmp"), 51, 30, 0, 0, 255);
  StoreSetting(PictureName, File("wide.bmp").string());
  StartSaver();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(PelloraUnit::State().Settings.Picture, File("wide.bmp").string());
  EXPECT_EQ(MainForm->RadiusX(), 25);
  EXPECT_EQ(MainForm->RadiusY(), 15);
  EXPECT_EQ(MainForm->ImageList->Items()->Count(), 1);
  EXPECT_EQ(BallGraphic()->Width(), 51);
  // The balls start fully inside the screen for this picture's size.
  for (int i = 0; i < MaxBalls; ++i) {
    const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
    EXPECT_GE(b.X, 25);
    EXPECT_LT(b.X, 800 - 25);
    EXPECT_GE(b.Y, 15);
    EXPECT_LT(b.Y, 600 - 15);
  }
}

TEST_F(SceneSetUpTest, ADibFileIsLoadedAsADeviceIndependentBitmap) {
  WriteBmpFile(File("ball.dib"), 30, 41, 255, 0, 0);
  StoreSetting(PictureName, File("ball.dib").string());
  StartSaver();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_NE(dynamic_cast<TDIB*>(BallGraphic()), nullptr);
  EXPECT_EQ(MainForm->RadiusX(), 15);
  EXPECT_EQ(MainForm->RadiusY(), 20);
  EXPECT_NE(MainForm->DXDraw->Options() & doFullScreen, 0u);
}

TEST_F(SceneSetUpTest, TheStartIsTheSameForTheSameTimeOfDay) {
  SYSTEMTIME time{2026, 12, 2, 8, 13, 45, 7, 250};
  Clock.SetSystemTime(time);
  StartSaver();
  TBallTable expected;
  expected.RadiusX = 23;
  expected.RadiusY = 23;
  SetRandomSeed(((13u * 60u + 45u) * 60u + 7u) * 1000u + 250u);
  expected.PlaceBalls(800, 600, 100, 6);
  EXPECT_TRUE(std::equal(expected.Balls.begin(), expected.Balls.end(), MainForm->Table().Balls.begin(),
                         [](const TBall& a, const TBall& b) {
                           return a.X == b.X && a.Y == b.Y && a.DX == b.DX && a.DY == b.DY;
                         }));
}

TEST_F(SceneSetUpTest, WithoutTheDesktopPasswordValueTheMessageShowsAndTheScreenIsNotTaken) {
  HKEY desktop = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, DesktopKeyPath, 0, KEY_ALL_ACCESS, &desktop), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(desktop, UsePasswordName), ERROR_SUCCESS);
  RegCloseKey(desktop);
  // The person sees the message in a box and presses Enter; the box's text is noted.
  Application->SetOnException(nullptr);
  std::vector<std::string> shown;
  Application->SetOnIdle([&](TObject*, bool& Done) {
    Done = false;
    TCustomForm* active = ::Screen->ActiveForm();
    if (active == nullptr || active->Tag() != 0) return;
    if (auto* text = dynamic_cast<TLabel*>(active->FindComponent("Message"))) {
      active->SetTag(1);
      shown.push_back(text->Caption());
      headless::KeyPress(VK_RETURN);
    }
  });
  StartSaver();  // the frame timer takes the idle slot over once the display starts
  // The store's text, then the hive's reason for people.
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Failed to get data for 'ScreenSaveUsePassword'. ", 0), 0u) << shown[0];
  // The settings were read before the failure; the rest was skipped.
  EXPECT_EQ(PelloraUnit::State().Settings.BallCount, 100);
  ExpectSetUpStoppedBeforeTheScreen();
}

TEST_F(SceneSetUpTest, APictureThatCannotBeReadStopsTheSetUpWithItsMessage) {
  WriteBmpFile(File("cut.bmp"), 51, 51, 0, 0, 255);
  std::filesystem::resize_file(File("cut.bmp"), 54 + 51 * 10);
  StoreSetting(PictureName, File("cut.bmp").string());
  StartSaver();
  EXPECT_EQ(Errors, std::vector<std::string>{SReadError});
  ExpectSetUpStoppedBeforeTheScreen();
  // The path stays what was stored: leaving writes back the user's choice, not the marker.
  EXPECT_EQ(PelloraUnit::State().Settings.Picture, File("cut.bmp").string());
}

}  // namespace
