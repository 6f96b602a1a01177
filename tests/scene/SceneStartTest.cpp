// The saver's set-up and first frames as saver mode makes them, on the headless screen.
#include "SceneFixture.h"
#include "support/Png.h"

TEST_F(SceneTest, WithoutSettingsTheBuiltInBallFillsTheScreenAndTheTimerTicks) {
  StartSaver();
  ASSERT_NE(MainForm, nullptr);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(PelloraUnit::State().Settings.BallCount, 100);
  EXPECT_EQ(PelloraUnit::State().Settings.MaxSpeed, 6);
  EXPECT_EQ(MainForm->RadiusX(), 23);
  EXPECT_EQ(MainForm->RadiusY(), 23);
  EXPECT_EQ(MainForm->BorderStyle(), bsNone);
  EXPECT_TRUE(MainForm->DXDraw->Initialized());
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(MainForm->DXDraw->Width(), 800);
  EXPECT_EQ(MainForm->DXDraw->Height(), 600);
  for (int i = 0; i < 100; ++i) {
    const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
    EXPECT_GE(b.X, 23);
    EXPECT_LT(b.X, 800 - 23);
    EXPECT_GE(b.DX, 1);
    EXPECT_LE(b.DX, 6);
  }

  for (int i = 0; i < 5; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), 5);
  const WindowPixels screen = Screen();
  ASSERT_EQ(screen.width, 800);
  WritePng(std::string(PELLORA_BINARY_DIR) + "/scene-start.png", screen.width, screen.height, screen.pixels.data(),
           screen.width);
  // Blue balls on black: most pixels are black, and every lit ball pixel leans to blue.
  size_t black = 0, bluish = 0;
  for (uint32_t p : screen.pixels) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (r + g + b == 0) ++black;
    if (b > r + 40 && b > g + 20) ++bluish;
  }
  EXPECT_GT(black, screen.pixels.size() / 3);
  EXPECT_GT(bluish, size_t{100 * 800});
}
