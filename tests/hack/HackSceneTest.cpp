#include <gtest/gtest.h>

#include <vector>

#include "hack/HackScene.h"
#include "scene/Credit.h"
#include "scene/Random.h"

namespace {

constexpr int64_t FrameNs = 16666667;

// A 9 x 9 disc whose pixels differ from one another, so that a ball drawn one pixel off
// shows.
TSprite Disc() {
  TSprite s;
  s.Width = s.Height = 9;
  s.Rgb.resize(81);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x)
      if ((x - 4) * (x - 4) + (y - 4) * (y - 4) <= 16) s.Rgb[static_cast<size_t>(y * 9 + x)] = 0x000010u * (x + 1) + 0x001000u * (y + 1);
  return s;
}

// A pixel format unlike 0x00RRGGBB, so that a colour drawn without its conversion shows.
uint32_t Swapped(uint32_t rgb) { return ((rgb & 0xFF) << 24) | ((rgb >> 8) & 0xFFFF) << 8 | 0x7; }

struct Canvas {
  int32_t W, H;
  std::vector<uint32_t> Pixels;
  Canvas(int32_t w, int32_t h, uint32_t fill) : W(w), H(h), Pixels(static_cast<size_t>(w) * h, fill) {}
  TFrameBuffer Buffer() { return {Pixels.data(), W, W, H}; }
  uint32_t& At(int32_t x, int32_t y) { return Pixels[static_cast<size_t>(y) * W + x]; }
  // Copies a sprite's non-black pixels, clipped, the way a person would say it.
  void Put(const TSprite& s, int32_t left, int32_t top) {
    for (int32_t y = 0; y < s.Height; ++y)
      for (int32_t x = 0; x < s.Width; ++x) {
        const int32_t cx = left + x, cy = top + y;
        if (s.At(x, y) != 0 && cx >= 0 && cy >= 0 && cx < W && cy < H) At(cx, cy) = Swapped(s.At(x, y));
      }
  }
};

// The frame as it must look: black, every active ball in slot order, the credit line on top
// during its frames.
Canvas Expected(const THackScene& scene, const TSprite& ball, const TSprite& caption, int32_t w, int32_t h,
                bool withCaption) {
  Canvas c(w, h, Swapped(0));
  for (int i = 0; i < scene.ActiveCount(); ++i) {
    const TBall& b = scene.Table().Balls[static_cast<size_t>(i)];
    c.Put(ball, b.X - scene.Table().RadiusX, b.Y - scene.Table().RadiusY);
  }
  if (withCaption) c.Put(caption, CreditLeft, CreditTop);
  return c;
}

bool Inside(int32_t x, int32_t y, const std::vector<host::TRect>& rects) {
  for (const host::TRect& r : rects)
    if (x >= r.Left && x < r.Left + r.Width && y >= r.Top && y < r.Top + r.Height) return true;
  return false;
}

}  // namespace

// The hack redraws only what changed; after every frame the buffer must still be exactly
// the whole frame, and every pixel that changed must lie in a rectangle that is sent.
TEST(HackScene, EachFrameEqualsAFullRedrawAndItsRectanglesHoldEveryChange) {
  const TSprite ball = Disc();
  const TSprite caption = TextSprite(CreditCaption, CreditFontSize, static_cast<TColor>(CreditColor));
  constexpr int32_t W = 160, H = 90;
  for (uint8_t speed : {uint8_t{3}, uint8_t{40}}) {
    SCOPED_TRACE(int{speed});
    THackScene scene(ball, 30, speed, false, Swapped);
    SetRandomSeed(4242 + speed);
    scene.Start(W, H);
    Canvas frame(W, H, Swapped(0));
    int64_t now = 0;
    for (int n = 1; n <= CreditFrames + 3; ++n) {
      const std::vector<uint32_t> before = frame.Pixels;
      const std::vector<host::TRect> dirty = scene.Step(frame.Buffer(), now += FrameNs);
      // The frames around the end of the credit line, and every 50th, are checked in full.
      if (n % 50 != 0 && (n < CreditFrames - 1 || n > CreditFrames + 2) && n > 3) continue;
      const Canvas expected = Expected(scene, ball, caption, W, H, n <= CreditFrames);
      ASSERT_EQ(frame.Pixels, expected.Pixels) << "frame " << n;
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
          if (frame.At(x, y) != before[static_cast<size_t>(y) * W + x]) {
            ASSERT_TRUE(Inside(x, y, dirty)) << "frame " << n << ": (" << x << ", " << y << ") changed unsent";
          }
      for (const host::TRect& r : dirty) {
        EXPECT_GE(r.Left, 0);
        EXPECT_GE(r.Top, 0);
        EXPECT_LE(r.Left + r.Width, W);
        EXPECT_LE(r.Top + r.Height, H);
      }
    }
    EXPECT_EQ(scene.FrameCount(), CreditFrames);
  }
}

TEST(HackScene, BallsMoveByTheSaversRules) {
  const TSprite ball = Disc();
  constexpr int32_t W = 200, H = 120;
  THackScene scene(ball, 40, 6, false, Swapped);
  SetRandomSeed(77);
  scene.Start(W, H);
  TBallTable rules;
  rules.RadiusX = rules.RadiusY = 4;
  SetRandomSeed(77);
  rules.PlaceBalls(W, H, 40, 6);
  Canvas frame(W, H, Swapped(0));
  for (int n = 0; n < 300; ++n) {
    scene.Step(frame.Buffer(), n * FrameNs);
    for (int i = 0; i < 40; ++i) rules.AdvanceBall(i, W, H, 40);
  }
  for (int i = 0; i < 40; ++i) {
    const TBall& a = scene.Table().Balls[static_cast<size_t>(i)];
    const TBall& b = rules.Balls[static_cast<size_t>(i)];
    EXPECT_EQ(std::tie(a.X, a.Y, a.DX, a.DY), std::tie(b.X, b.Y, b.DX, b.DY)) << "ball " << i;
  }
}

TEST(HackScene, AStoredCountAboveTheTableDrawsAHundredBalls) {
  THackScene scene(Disc(), 200, 6, false, Swapped);
  EXPECT_EQ(scene.ActiveCount(), 100);
  THackScene none(Disc(), 0, 6, false, Swapped);
  EXPECT_EQ(none.ActiveCount(), 0);
}

TEST(HackScene, AfterAResizeEveryBallIsInsideTheNewAreaClearOfItsEdges) {
  const TSprite ball = Disc();
  THackScene scene(ball, 100, 6, false, Swapped);
  SetRandomSeed(9);
  scene.Start(1920, 1080);
  scene.Resize(300, 200);
  for (int i = 0; i < 100; ++i) {
    const TBall& b = scene.Table().Balls[static_cast<size_t>(i)];
    EXPECT_GT(b.X - 4, 0);
    EXPECT_LT(b.X + 4, 300);
    EXPECT_GT(b.Y - 4, 0);
    EXPECT_LT(b.Y + 4, 200);
  }
  // Growing spreads them over the new area rather than leaving them in a corner.
  scene.Resize(3000, 2000);
  int right = 0;
  for (int i = 0; i < 100; ++i) right += scene.Table().Balls[static_cast<size_t>(i)].X > 1500;
  EXPECT_GT(right, 20);
  // An area smaller than a ball puts each ball in its middle.
  scene.Resize(6, 5);
  EXPECT_EQ(scene.Table().Balls[0].X, 3);
  EXPECT_EQ(scene.Table().Balls[0].Y, 2);
  // Frames go on in the new size without drawing outside it.
  Canvas small(6, 5, Swapped(0));
  for (const host::TRect& r : scene.Step(small.Buffer(), 0)) {
    EXPECT_LE(r.Left + r.Width, 6);
    EXPECT_LE(r.Top + r.Height, 5);
  }
}

TEST(HackScene, TheFrameRateLineAppearsAfterASecondAtTheBottomLeft) {
  EXPECT_EQ(FpsText(59.94), "59.9 fps");
  constexpr int32_t W = 300, H = 200;
  THackScene scene(Disc(), 0, 6, true, [](uint32_t rgb) { return rgb; });
  scene.Start(W, H);
  Canvas frame(W, H, 0);
  auto lit = [&] {
    int n = 0;
    for (int32_t y = H - 40; y < H; ++y)
      for (int32_t x = 0; x < 100; ++x) n += frame.At(x, y) == 0xFFFFFF;
    return n;
  };
  int64_t now = 0;
  for (int n = 0; n < 60; ++n) scene.Step(frame.Buffer(), now += FrameNs / 2);
  EXPECT_EQ(lit(), 0);  // half a second: nothing measured yet
  for (int n = 0; n < 70; ++n) scene.Step(frame.Buffer(), now += FrameNs / 2);
  EXPECT_GT(lit(), 20);
}
