// The saver's frames as the screen shows them: the balls moved by their rules and drawn at
// their places, clipped at the edges, and the credit line on exactly the first 1000.
#include <algorithm>
#include <filesystem>

#include "SceneFixture.h"
#include "scene/Credit.h"
#include "support/BmpFile.h"
#include "support/StoredSettings.h"

namespace {

bool Lit(uint32_t Pixel) { return (Pixel & 0xFFFFFF) != 0; }

// Where the credit line may draw: from its corner to well past the end of its text.
const TRect CaptionBox{CreditLeft, CreditTop, CreditLeft + 320, CreditTop + 30};
bool InCaptionBox(int x, int y) {
  return x >= CaptionBox.left && x < CaptionBox.right && y >= CaptionBox.top && y < CaptionBox.bottom;
}

class SceneFrameTest : public SceneTest {
 protected:
  // The lit pixels of a frame, and where they lie.
  struct LitArea {
    int count = 0;
    int outsideCaption = 0;
    TRect bounds{800, 600, -1, -1};
  };
  static LitArea LitPixels(const WindowPixels& Frame) {
    LitArea a;
    for (int y = 0; y < Frame.height; ++y)
      for (int x = 0; x < Frame.width; ++x) {
        if (!Lit(Frame.At(x, y))) continue;
        ++a.count;
        a.outsideCaption += !InCaptionBox(x, y);
        a.bounds = TRect{std::min<int>(a.bounds.left, x), std::min<int>(a.bounds.top, y),
                         std::max<int>(a.bounds.right, x + 1), std::max<int>(a.bounds.bottom, y + 1)};
      }
    return a;
  }
};

TEST_F(SceneFrameTest, WithoutBallsTheFramesAreBlackWithTheCreditLineOnTheFirstThousand) {
  StoreSetting(BallsCountName, "0");
  StartSaver();
  Idle();
  ASSERT_EQ(MainForm->FrameCount(), 1);
  const WindowPixels first = Screen();
  ASSERT_EQ(first.width, 800);
  const LitArea caption = LitPixels(first);
  EXPECT_GT(caption.count, 100);
  EXPECT_EQ(caption.outsideCaption, 0);
  // Its text starts at its corner and is one line of 12 points.
  EXPECT_GE(caption.bounds.left, CreditLeft);
  EXPECT_LE(caption.bounds.left, CreditLeft + 3);
  EXPECT_GE(caption.bounds.top, CreditTop);
  EXPECT_LE(caption.bounds.top, CreditTop + 6);
  EXPECT_LE(caption.bounds.bottom - caption.bounds.top, 20);
  EXPECT_GT(caption.bounds.right - caption.bounds.left, 100);
  // It is blue.
  int blue = 0;
  for (uint32_t p : first.pixels) blue += (p & 0xFF) > 0xC0 && ((p >> 8) & 0xFF) < 0x40 && ((p >> 16) & 0xFF) < 0x40;
  EXPECT_GT(blue, caption.count / 3);

  while (MainForm->FrameCount() < CreditFrames) Idle();
  const int presents = headless::PresentCount(MainForm->Handle());
  EXPECT_EQ(LitPixels(Screen()).count, caption.count);  // frame 1000 still has it
  Idle();
  EXPECT_EQ(headless::PresentCount(MainForm->Handle()), presents + 1);
  EXPECT_EQ(LitPixels(Screen()).count, 0);  // frame 1001 is all black
  EXPECT_EQ(MainForm->FrameCount(), CreditFrames);
}

TEST_F(SceneFrameTest, EveryTickMovesEveryBallOneStepByTheMotionRulesHoweverLateItComes) {
  StartSaver();
  TBallTable twin = MainForm->Table();
  // Late ticks of every size, up to a stall well past the timer's lag bound.
  const uint64_t lateness[] = {0, 1, 3, 9, 10, 11, 249};
  for (int frame = 0; frame < 210; ++frame) {
    Clock.Advance(lateness[frame % 7]);
    Idle();
    for (int i = 0; i < MaxBalls; ++i) twin.AdvanceBall(i, 800, 600, PelloraUnit::State().Settings.BallCount);
    ASSERT_TRUE(SameBalls(twin, MainForm->Table())) << "frame " << frame + 1;
  }
  EXPECT_EQ(MainForm->FrameCount(), 210);
}

TEST_F(SceneFrameTest, EachBallIsDrawnAtItsPlaceAndClippedWhereItLeavesTheScreen) {
  // A square picture with no black in it shows exactly where each ball is drawn.
  WriteBmpFile(File("square.bmp"), 20, 20, 0, 0, 255);
  StoreSetting(PictureName, File("square.bmp").string());
  StoreSetting(BallsCountName, "6");
  StoreSetting(BallsSpeedName, "60");
  StartSaver();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  ASSERT_EQ(MainForm->RadiusX(), 10);
  int clippedAt[4] = {};  // left, top, right, bottom
  for (int frame = 1; frame <= 100; ++frame) {
    Idle();
    const TBallTable& table = MainForm->Table();
    bool crossing = false;
    std::vector<bool> covered(800 * 600, false);
    for (int i = 0; i < 6; ++i) {
      const TBall& b = table.Balls[static_cast<size_t>(i)];
      const bool past[4] = {b.X - 10 < 0, b.Y - 10 < 0, b.X + 10 > 800, b.Y + 10 > 600};
      for (int edge = 0; edge < 4; ++edge) {
        clippedAt[edge] += past[edge];
        crossing |= past[edge];
      }
      for (int y = std::max(0, b.Y - 10); y < std::min(600, b.Y + 10); ++y)
        for (int x = std::max(0, b.X - 10); x < std::min(800, b.X + 10); ++x) covered[static_cast<size_t>(y * 800 + x)] = true;
    }
    if (!crossing && frame % 25 != 0) continue;
    const WindowPixels screen = Screen();
    int wrong = 0;
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x) {
        const bool lit = Lit(screen.At(x, y));
        if (covered[static_cast<size_t>(y * 800 + x)] ? !lit : (lit && !InCaptionBox(x, y))) ++wrong;
      }
    ASSERT_EQ(wrong, 0) << "frame " << frame;
  }
  // The run did take balls across every edge.
  for (int edge = 0; edge < 4; ++edge) EXPECT_GT(clippedAt[edge], 0) << "edge " << edge;
}

TEST_F(SceneFrameTest, LaterSlotsCoverEarlierOnesExceptWhereTheBallsBlackIsSeeThrough) {
  StartSaver();
  constexpr int R = 23, D = 47;
  // The ball as the screen shows it, taken from one that stands alone.
  auto alone = [](const TBallTable& t, int i) {
    const TBall& b = t.Balls[static_cast<size_t>(i)];
    if (b.X - R < 0 || b.Y - R < CaptionBox.bottom || b.X + R >= 800 || b.Y + R >= 600) return false;
    for (int j = 0; j < MaxBalls; ++j) {
      const TBall& o = t.Balls[static_cast<size_t>(j)];
      if (j != i && std::abs(o.X - b.X) < D && std::abs(o.Y - b.Y) < D) return false;
    }
    return true;
  };
  std::vector<uint32_t> sprite;
  for (int frame = 0; frame < 50 && sprite.empty(); ++frame) {
    Idle();
    for (int i = 0; i < MaxBalls && sprite.empty(); ++i) {
      if (!alone(MainForm->Table(), i)) continue;
      const WindowPixels screen = Screen();
      const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
      for (int y = 0; y < D; ++y)
        for (int x = 0; x < D; ++x) sprite.push_back(screen.At(b.X - R + x, b.Y - R + y) & 0xFFFFFF);
    }
  }
  ASSERT_FALSE(sprite.empty()) << "no ball stood alone";
  ASSERT_EQ(sprite[0], 0u);                  // the corners are the see-through black
  ASSERT_NE(sprite[(D / 2) * D + D / 2], 0u);  // the middle is ball

  int seenThrough = 0;
  for (int frame = 0; frame < 20; ++frame) {
    Idle();
    // Every ball painted in slot order, its black left out.
    std::vector<uint32_t> expected(800 * 600, 0);
    std::vector<int> owner(800 * 600, -1);
    for (int i = 0; i < MaxBalls; ++i) {
      const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
      for (int y = 0; y < D; ++y)
        for (int x = 0; x < D; ++x) {
          const int sx = b.X - R + x, sy = b.Y - R + y;
          if (sx < 0 || sy < 0 || sx >= 800 || sy >= 600) continue;
          const size_t at = static_cast<size_t>(sy * 800 + sx);
          const uint32_t p = sprite[static_cast<size_t>(y * D + x)];
          if (p == 0) {
            seenThrough += owner[at] >= 0;
            continue;
          }
          expected[at] = p;
          owner[at] = i;
        }
    }
    const WindowPixels screen = Screen();
    int wrong = 0;
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x) {
        if (InCaptionBox(x, y)) continue;
        wrong += (screen.At(x, y) & 0xFFFFFF) != expected[static_cast<size_t>(y * 800 + x)];
      }
    ASSERT_EQ(wrong, 0) << "frame " << MainForm->FrameCount();
  }
  EXPECT_GT(seenThrough, 0);  // some corner did lie over another ball
}

TEST_F(SceneFrameTest, ATickWhileTheDisplayIsNotReadyChangesNothing) {
  StartSaver();
  for (int i = 0; i < 3; ++i) Idle();
  // Another program takes the screen: the surfaces are lost and cannot come back yet.
  headless::ActivateOtherApplication();
  Application->ProcessMessages();
  ASSERT_FALSE(MainForm->DXDraw->ReadyToDraw());
  const TBallTable before = MainForm->Table();
  const int presents = headless::PresentCount(MainForm->Handle());
  MainForm->DXTimerTimer(MainForm->DXTimer, 1);  // a tick that comes all the same
  EXPECT_EQ(MainForm->FrameCount(), 3);
  EXPECT_TRUE(SameBalls(before, MainForm->Table()));
  EXPECT_EQ(headless::PresentCount(MainForm->Handle()), presents);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
