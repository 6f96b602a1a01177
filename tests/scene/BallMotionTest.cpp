#include <gtest/gtest.h>

#include <climits>

#include "scene/BallMotion.h"
#include "scene/Random.h"

namespace {

constexpr int32_t W = 800;
constexpr int32_t H = 600;

TBallTable TableWithRadius(int32_t radius) {
  TBallTable table;
  table.RadiusX = radius;
  table.RadiusY = radius;
  return table;
}

void SetBall(TBallTable& table, int slot, int32_t x, int32_t y, int32_t dx, int32_t dy) {
  table.Balls[static_cast<size_t>(slot)] = TBall{x, y, dx, dy};
}

void ExpectBall(const TBall& ball, int32_t x, int32_t y, int32_t dx, int32_t dy) {
  EXPECT_EQ(ball.X, x);
  EXPECT_EQ(ball.Y, y);
  EXPECT_EQ(ball.DX, dx);
  EXPECT_EQ(ball.DY, dy);
}

// ---- Placement ----

TEST(PlaceBallsTest, KnownPlacementFromSeedZero) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(0);
  table.PlaceBalls(W, H, 2, 6);
  // X = Random(754) + 23, Y = Random(554) + 23, DX, DY = Random(6) + 1, worked out apart.
  ExpectBall(table.Balls[0], 23, 40, 6, 2);
  ExpectBall(table.Balls[1], 228, 395, 2, 1);
  ExpectBall(table.Balls[2], 0, 0, 0, 0);
}

TEST(PlaceBallsTest, NoBallsDrawsNothing) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(777);
  table.PlaceBalls(W, H, 0, 6);
  EXPECT_EQ(RandomSeed(), 777u);
  for (const TBall& ball : table.Balls) ExpectBall(ball, 0, 0, 0, 0);
}

TEST(PlaceBallsTest, EveryBallStartsInsideMovingRightAndDown) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(31337);
  table.PlaceBalls(W, H, 100, 6);
  for (const TBall& ball : table.Balls) {
    EXPECT_GE(ball.X - 23, 0);
    EXPECT_LT(ball.X + 23, W);
    EXPECT_GE(ball.Y - 23, 0);
    EXPECT_LT(ball.Y + 23, H);
    EXPECT_GE(ball.DX, 1);
    EXPECT_LE(ball.DX, 6);
    EXPECT_GE(ball.DY, 1);
    EXPECT_LE(ball.DY, 6);
  }
}

TEST(PlaceBallsTest, MaxSpeedZeroGivesUnitSpeed) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(5);
  table.PlaceBalls(W, H, 10, 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(table.Balls[static_cast<size_t>(i)].DX, 1);
    EXPECT_EQ(table.Balls[static_cast<size_t>(i)].DY, 1);
  }
}

// The radii sit right after the table, so a write past slot 99 would show there.
TEST(PlaceBallsTest, CountAboveTableSizeFillsOnlyTheTable) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(4242);
  table.PlaceBalls(W, H, 250, 6);
  EXPECT_EQ(table.RadiusX, 23);
  EXPECT_EQ(table.RadiusY, 23);
  EXPECT_NE(table.Balls[99].DX, 0);

  // Exactly 100 balls' worth of draws (4 each) were made.
  uint32_t seed = 4242;
  for (int k = 0; k < 400; ++k) seed = seed * 134775813u + 1u;
  EXPECT_EQ(RandomSeed(), seed);

  for (int frame = 0; frame < 3; ++frame) {
    for (int i = 0; i < 250; ++i) table.AdvanceBall(i, W, H, 250);
  }
  EXPECT_EQ(table.RadiusX, 23);
  EXPECT_EQ(table.RadiusY, 23);
}

TEST(PlaceBallsTest, PictureLargerThanAreaWrapsAndIsRescued) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(0);
  table.PlaceBalls(30, 30, 2, 0);
  // The span 30 - 46 is taken as an unsigned range, so the balls land far away.
  ExpectBall(table.Balls[0], 23, 134775836, 1, 1);
  ExpectBall(table.Balls[1], 1172187935, -1410233522, 1, 1);
  table.AdvanceBall(0, 30, 30, 2);
  table.AdvanceBall(1, 30, 30, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(table.Balls[static_cast<size_t>(i)].X, 15);
    EXPECT_EQ(table.Balls[static_cast<size_t>(i)].Y, 15);
  }
}

// ---- Edges ----

TEST(AdvanceBallTest, TouchingAnEdgeReverses) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 23, 300, -3, 2);  // left edge exactly at 0
  table.AdvanceBall(0, W, H, 1);
  ExpectBall(table.Balls[0], 26, 302, 3, 2);

  SetBall(table, 0, 24, 300, -3, 2);  // one pixel in: no bounce yet
  table.AdvanceBall(0, W, H, 1);
  ExpectBall(table.Balls[0], 21, 302, -3, 2);

  SetBall(table, 0, 777, 577, 4, 5);  // right and bottom edges exactly at W and H
  table.AdvanceBall(0, W, H, 1);
  ExpectBall(table.Balls[0], 773, 572, -4, -5);

  SetBall(table, 0, 400, 23, 1, -1);  // top edge
  table.AdvanceBall(0, W, H, 1);
  ExpectBall(table.Balls[0], 401, 24, 1, 1);
}

TEST(AdvanceBallTest, BallPastAnEdgeMovingInwardIsTrapped) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 23 - 2, 300, 5, 0);
  for (int step = 0; step < 6; ++step) {
    table.AdvanceBall(0, W, H, 1);
    EXPECT_EQ(table.Balls[0].X - 23, step % 2 == 0 ? -7 : -2) << "step " << step;
  }
}

TEST(AdvanceBallTest, BallPastAnEdgeMovingOutwardComesBack) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 23 - 2, 300, -5, 0);
  table.AdvanceBall(0, W, H, 1);
  EXPECT_EQ(table.Balls[0].X - 23, 3);
  EXPECT_EQ(table.Balls[0].DX, 5);
  table.AdvanceBall(0, W, H, 1);
  EXPECT_EQ(table.Balls[0].X - 23, 8);
}

TEST(AdvanceBallTest, BothEdgesOfOneAxisCancel) {
  // An area narrower than the ball: both horizontal tests hold and the reversals cancel.
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 20, 300, 3, 1);
  table.AdvanceBall(0, 40, H, 1);
  ExpectBall(table.Balls[0], 23, 301, 3, 1);
}

// ---- Collisions ----

TEST(LineXTest, RoundsToNearest) {
  TBallTable table;
  SetBall(table, 0, 100, 100, 0, 0);
  SetBall(table, 1, 127, 136, 0, 0);  // 27-36-45
  EXPECT_EQ(table.LineX(0, 1), 45);
  SetBall(table, 1, 132, 133, 0, 0);  // sqrt(2113) = 45.97
  EXPECT_EQ(table.LineX(0, 1), 46);
  SetBall(table, 1, 131, 133, 0, 0);  // sqrt(2050) = 45.28
  EXPECT_EQ(table.LineX(0, 1), 45);
  EXPECT_EQ(table.LineX(1, 0), 45);
  EXPECT_EQ(table.LineX(1, 1), 0);
}

TEST(LineXTest, LargeDistancesAreExact) {
  TBallTable table;
  SetBall(table, 0, 0, 0, 0, 0);
  // k^4 + k^2 lies just below (k^2 + 1/2)^2, so the answer rounds down; a double square
  // root of it says exactly k^2 + 0.5 and rounds the wrong way.
  SetBall(table, 1, 1999967841, 44721, 0, 0);
  EXPECT_EQ(table.LineX(0, 1), 1999967841);
  SetBall(table, 1, 1600000000, 40000, 0, 0);
  EXPECT_EQ(table.LineX(0, 1), 1600000000);
  SetBall(table, 1, -2000000000, 0, 0, 0);
  EXPECT_EQ(table.LineX(0, 1), 2000000000);
}

TEST(LineXTest, DistancesBeyondThirtyTwoBitsSaturate) {
  TBallTable table;
  SetBall(table, 0, INT32_MIN, INT32_MIN, 0, 0);
  SetBall(table, 1, INT32_MAX, INT32_MAX, 0, 0);
  EXPECT_EQ(table.LineX(0, 1), INT32_MAX);
  SetBall(table, 1, INT32_MAX, INT32_MIN, 0, 0);
  EXPECT_EQ(table.LineX(0, 1), INT32_MAX);
  EXPECT_EQ(table.LineX(0, 100), INT32_MAX);
  EXPECT_EQ(table.LineX(255, 0), INT32_MAX);
}

TEST(AdvanceBallTest, CollisionDistanceIsBelowTwiceTheRadius) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 200, 200, 2, 3);
  SetBall(table, 1, 245, 200, 1, 1);  // distance 45 < 46
  table.AdvanceBall(0, W, H, 2);
  ExpectBall(table.Balls[0], 198, 197, -2, -3);
  ExpectBall(table.Balls[1], 245, 200, -1, -1);

  SetBall(table, 0, 200, 200, 2, 3);
  SetBall(table, 1, 246, 200, 1, 1);  // distance 46: no collision
  table.AdvanceBall(0, W, H, 2);
  ExpectBall(table.Balls[0], 202, 203, 2, 3);
  ExpectBall(table.Balls[1], 246, 200, 1, 1);
}

TEST(AdvanceBallTest, OverlappingPairReversesOnBothSteps) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 300, 300, 1, 0);
  SetBall(table, 1, 310, 300, -1, 0);
  table.AdvanceBall(0, W, H, 2);
  ExpectBall(table.Balls[0], 299, 300, -1, 0);
  ExpectBall(table.Balls[1], 310, 300, 1, 0);
  // Still overlapping on the higher slot's step: both reverse again.
  table.AdvanceBall(1, W, H, 2);
  ExpectBall(table.Balls[1], 309, 300, -1, 0);
  ExpectBall(table.Balls[0], 299, 300, 1, 0);
}

TEST(AdvanceBallTest, EvenNumberOfPartnersLeavesVelocity) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 300, 300, 2, 2);
  SetBall(table, 1, 320, 300, 1, 0);
  SetBall(table, 2, 280, 300, 0, 1);
  table.AdvanceBall(0, W, H, 3);
  ExpectBall(table.Balls[0], 302, 302, 2, 2);
  EXPECT_EQ(table.Balls[1].DX, -1);
  EXPECT_EQ(table.Balls[2].DY, -1);
}

TEST(AdvanceBallTest, InactiveSlotsTakeNoPart) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 300, 300, 2, 2);
  SetBall(table, 1, 305, 300, 1, 1);  // overlapping, but outside the active count
  table.AdvanceBall(0, W, H, 1);
  ExpectBall(table.Balls[0], 302, 302, 2, 2);
  ExpectBall(table.Balls[1], 305, 300, 1, 1);
  table.AdvanceBall(1, W, H, 1);
  ExpectBall(table.Balls[1], 305, 300, 1, 1);
}

// ---- Runaway rescue ----

TEST(AdvanceBallTest, RunawayIsBroughtToTheCentreKeepingItsVelocity) {
  struct Case {
    int32_t x, y, dx, dy;
  };
  // Each starts beyond the margin while moving back inward; the edge test turns it
  // outward, the move takes it further out, and the rescue catches it.
  const Case cases[] = {
      {23 - 1003, 300, 5, 0},      // left: X - R ends at -1008
      {300, 23 - 1003, 0, 5},      // top
      {W - 23 + 1003, 300, -5, 0}, // right: X + R ends at W + 1008
      {300, H - 23 + 1003, 0, -5}, // bottom
  };
  for (const Case& c : cases) {
    TBallTable table = TableWithRadius(23);
    SetBall(table, 0, c.x, c.y, c.dx, c.dy);
    table.AdvanceBall(0, W, H, 1);
    const TBall& ball = table.Balls[0];
    EXPECT_EQ(ball.X, 400);
    EXPECT_EQ(ball.Y, 300);
    // The velocity is the one the edge test left; the rescue does not touch it.
    EXPECT_EQ(ball.DX, -c.dx);
    EXPECT_EQ(ball.DY, -c.dy);
  }
}

TEST(AdvanceBallTest, ExactlyAtTheMarginIsNotRescued) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, 23 - 995, 300, 5, 0);  // reversed to -5, ends at X - R = -1000
  table.AdvanceBall(0, W, H, 1);
  EXPECT_EQ(table.Balls[0].X - 23, -1000);
  SetBall(table, 0, 23 - 996, 300, 5, 0);  // ends at -1001
  table.AdvanceBall(0, W, H, 1);
  EXPECT_EQ(table.Balls[0].X, 400);
}

TEST(AdvanceBallTest, ExtremeValuesWrapWithoutFault) {
  TBallTable table = TableWithRadius(23);
  SetBall(table, 0, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN);
  SetBall(table, 1, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN);
  // Negating INT32_MIN gives INT32_MIN again, and the moves wrap at 32 bits.
  table.AdvanceBall(0, W, H, 2);
  ExpectBall(table.Balls[0], -1, 0, INT32_MIN, INT32_MIN);
  table.AdvanceBall(1, W, H, 2);
  ExpectBall(table.Balls[1], 1, -1, -INT32_MAX, INT32_MIN);
}

TEST(AdvanceBallTest, LongRunStaysNearTheArea) {
  TBallTable table = TableWithRadius(23);
  SetRandomSeed(2024);
  table.PlaceBalls(W, H, 100, 6);
  for (int frame = 0; frame < 2000; ++frame) {
    for (int i = 0; i < 100; ++i) table.AdvanceBall(i, W, H, 100);
  }
  for (const TBall& ball : table.Balls) {
    EXPECT_GE(ball.X - 23, -RunawayMargin);
    EXPECT_LE(ball.X + 23, W + RunawayMargin);
    EXPECT_GE(ball.Y - 23, -RunawayMargin);
    EXPECT_LE(ball.Y + 23, H + RunawayMargin);
  }
}

}  // namespace
