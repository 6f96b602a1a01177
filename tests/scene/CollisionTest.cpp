// The frame step decides collisions without a square root. These tests hold that
// decision against the rounded distance (LineX) it stands for, over every case that can
// differ: all small offsets, the rounding boundary at every size, distances whose
// squares leave 64 bits, and whole runs of the motion.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scene/BallMotion.h"
#include "scene/Random.h"

namespace {

// Checks every way the test answers for one pair and one reach against LineX.
class Oracle {
 public:
  // Answers how many pairs disagreed; records the first for the failure message.
  int Check(TBall p, TBall q, int64_t reach) {
    table_.Balls[0] = p;
    table_.Balls[1] = q;
    const bool expected = table_.LineX(0, 1) < reach;
    const TCollisionTest test(reach);
    const bool byIntegers = test.InIntegers(p, q);
    const bool byDoubles = test.UsesDoubles() ? test.InDoubles(p, q) : expected;
    uint8_t hits[2];
    const uint32_t marked = test.Mark(p, &table_.Balls[1], 1, hits);
    const bool byMark = marked == 1 && hits[0] == 0;
    ++checked_;
    if (test(p, q) == expected && byIntegers == expected && byDoubles == expected && byMark == expected) return 0;
    if (first_.empty()) {
      first_ = "(" + std::to_string(p.X) + ", " + std::to_string(p.Y) + ") to (" + std::to_string(q.X) + ", " +
               std::to_string(q.Y) + ") reach " + std::to_string(reach) + ": LineX says " + std::to_string(expected);
    }
    return 1;
  }
  const std::string& First() const { return first_; }
  int64_t Checked() const { return checked_; }

 private:
  TBallTable table_;
  std::string first_;
  int64_t checked_ = 0;
};

TBall At(int64_t x, int64_t y) { return TBall{static_cast<int32_t>(x), static_cast<int32_t>(y), 0, 0}; }

TEST(CollisionTest, EverySmallOffsetAndReachAgreesWithLineX) {
  Oracle oracle;
  int wrong = 0;
  for (int64_t reach = -3; reach <= 130; ++reach) {
    for (int64_t dx = -140; dx <= 140; ++dx) {
      for (int64_t dy = -140; dy <= 140; ++dy) wrong += oracle.Check(At(400, 300), At(400 + dx, 300 + dy), reach);
    }
  }
  EXPECT_EQ(wrong, 0) << oracle.First();
  EXPECT_GT(oracle.Checked(), 10'000'000);
}

// Squared distances just either side of R^2 - R, for reaches from 1 to beyond what a
// double holds exactly and on to the largest radius a 32-bit number can give.
TEST(CollisionTest, RoundingBoundaryAtEverySizeAgreesWithLineX) {
  std::vector<int64_t> reaches = {1, 2, 3, 46, 47, 1000, 65535, 65536, (int64_t{1} << 25) - 1, int64_t{1} << 25,
                                  (int64_t{1} << 26) - 2, int64_t{1} << 26, (int64_t{1} << 26) + 2,
                                  94906265, 94906266, 94906267,  // R^2 - R around 2^53
                                  INT32_MAX - 1, INT32_MAX, int64_t{INT32_MAX} + 1, int64_t{UINT32_MAX} - 1};
  std::mt19937_64 random(11);
  for (int k = 0; k < 3000; ++k) reaches.push_back(1 + static_cast<int64_t>(random() % INT32_MAX));
  for (int k = 0; k < 1000; ++k) reaches.push_back(1 + static_cast<int64_t>(random() % (int64_t{1} << 27)));

  Oracle oracle;
  int wrong = 0;
  for (const int64_t reach : reaches) {
    const uint64_t r = static_cast<uint64_t>(reach);
    const uint64_t bound = r * r - r;  // the largest squared distance that collides
    for (int k = 0; k < 20; ++k) {
      const uint64_t dx = k == 0 ? 0 : k == 1 ? r - 1 : random() % r;
      const uint64_t rest = bound - std::min(bound, dx * dx);
      uint64_t dy = static_cast<uint64_t>(std::sqrt(static_cast<double>(rest)));
      while (dy > 0 && dy * dy > rest) --dy;
      while ((dy + 1) * (dy + 1) <= rest) ++dy;
      for (const uint64_t y : {dy == 0 ? 0 : dy - 1, dy, dy + 1, dy + 2}) {
        // From the far corner, so that offsets up to 2^32 - 1 stay in 32 bits.
        wrong += oracle.Check(At(INT32_MIN, INT32_MIN), At(INT32_MIN + static_cast<int64_t>(dx), INT32_MIN + static_cast<int64_t>(y)), reach);
        wrong += oracle.Check(At(INT32_MAX, 0), At(INT32_MAX - static_cast<int64_t>(y), static_cast<int64_t>(dx)), reach);
      }
    }
  }
  EXPECT_EQ(wrong, 0) << oracle.First();
}

// Whole 32-bit positions: differences up to 2^32 - 1, whose squares sum past 2^64, and
// reaches of every sign and size a radius can give (2 x a 32-bit number).
TEST(CollisionTest, AnyPositionsAndReachAgreeWithLineX) {
  Oracle oracle;
  int wrong = 0;
  std::mt19937_64 random(12);
  const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
  const int64_t reaches[] = {int64_t{INT32_MIN} * 2, -1, 0, 1, 46, int64_t{1} << 26, INT32_MAX, int64_t{INT32_MAX} + 1,
                             int64_t{INT32_MAX} * 2};
  for (const int32_t a : extremes) {
    for (const int32_t b : extremes) {
      for (const int32_t c : extremes) {
        for (const int32_t d : extremes) {
          for (const int64_t reach : reaches) wrong += oracle.Check(At(a, b), At(c, d), reach);
        }
      }
    }
  }
  for (int k = 0; k < 300'000; ++k) {
    const uint64_t bits = random();
    const int64_t reach = k % 3 == 0 ? static_cast<int64_t>(random() % (int64_t{1} << 33)) - (int64_t{1} << 32)
                                     : static_cast<int64_t>(random() % 200);
    wrong += oracle.Check(At(static_cast<int32_t>(bits), static_cast<int32_t>(bits >> 32)),
                          At(static_cast<int32_t>(random()), static_cast<int32_t>(random())), reach);
  }
  EXPECT_EQ(wrong, 0) << oracle.First();
}

TEST(CollisionTest, MarkListsHitsInSlotOrder) {
  TBall balls[5] = {At(0, 0), At(100, 0), At(10, 10), At(500, 500), At(-30, 0)};
  uint8_t hits[5];
  const TCollisionTest test(46);
  ASSERT_EQ(test.Mark(balls[0], balls, 5, hits), 3u);
  EXPECT_EQ(hits[0], 0);  // the ball itself
  EXPECT_EQ(hits[1], 2);
  EXPECT_EQ(hits[2], 4);
  EXPECT_EQ(TCollisionTest(0).Mark(balls[0], balls, 5, hits), 0u);
  EXPECT_EQ(TCollisionTest(0).Mark(balls[0], balls, 0, hits), 0u);
}

// The motion as it was written first, one LineX per pair, as the measure of the quick one.
void AdvanceBallByLineX(TBallTable& table, int i, int32_t W, int32_t H, uint8_t ballCount) {
  const int count = ActiveBalls(ballCount);
  if (i < 0 || i >= count) return;
  auto negate = [](int32_t v) { return static_cast<int32_t>(0u - static_cast<uint32_t>(v)); };
  auto add = [](int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); };
  TBall& ball = table.Balls[static_cast<size_t>(i)];
  const int64_t rx = table.RadiusX;
  const int64_t ry = table.RadiusY;
  if (ball.X - rx <= 0) ball.DX = negate(ball.DX);
  if (ball.X + rx >= W) ball.DX = negate(ball.DX);
  if (ball.Y - ry <= 0) ball.DY = negate(ball.DY);
  if (ball.Y + ry >= H) ball.DY = negate(ball.DY);
  for (int j = 0; j < count; ++j) {
    if (j == i) continue;
    if (table.LineX(static_cast<uint8_t>(i), static_cast<uint8_t>(j)) < 2 * rx) {
      TBall& other = table.Balls[static_cast<size_t>(j)];
      ball.DX = negate(ball.DX);
      ball.DY = negate(ball.DY);
      other.DX = negate(other.DX);
      other.DY = negate(other.DY);
    }
  }
  ball.X = add(ball.X, ball.DX);
  ball.Y = add(ball.Y, ball.DY);
  if (ball.X - rx < -RunawayMargin || ball.Y - ry < -RunawayMargin || ball.X + rx > int64_t{W} + RunawayMargin ||
      ball.Y + ry > int64_t{H} + RunawayMargin) {
    ball.X = W / 2;
    ball.Y = H / 2;
  }
}

::testing::AssertionResult SameTables(const TBallTable& a, const TBallTable& b, int frame) {
  for (int k = 0; k < MaxBalls; ++k) {
    const TBall& p = a.Balls[static_cast<size_t>(k)];
    const TBall& q = b.Balls[static_cast<size_t>(k)];
    if (p.X != q.X || p.Y != q.Y || p.DX != q.DX || p.DY != q.DY) {
      return ::testing::AssertionFailure() << "frame " << frame << ", ball " << k << ": (" << p.X << ", " << p.Y << ", "
                                           << p.DX << ", " << p.DY << ") against (" << q.X << ", " << q.Y << ", " << q.DX
                                           << ", " << q.DY << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

// Crowded scenes (many collisions, odd and even partner counts), the saver's own, tiny
// areas and huge balls, each run for many frames from the same start both ways.
TEST(CollisionTest, WholeRunsMoveExactlyAsWithLineX) {
  struct Scene {
    int32_t w, h, radius;
    uint8_t count, speed;
    int frames;
  };
  const Scene scenes[] = {
      {800, 600, 23, 100, 6, 1000}, {200, 150, 23, 100, 20, 1000}, {800, 600, 1, 100, 3, 500},
      {30, 30, 23, 40, 5, 300},     {1920, 1080, 200, 60, 100, 500}, {800, 600, 0, 50, 4, 200},
      {640, 480, 23, 255, 6, 300},  {100, 100, 1 << 26, 20, 5, 50},   {100, 100, INT32_MAX / 2 + 7, 20, 5, 50},
  };
  for (const Scene& s : scenes) {
    for (uint32_t seed : {1u, 2u, 3u}) {
      TBallTable quick;
      quick.RadiusX = s.radius;
      quick.RadiusY = s.radius;
      SetRandomSeed(seed * 7919u);
      quick.PlaceBalls(s.w, s.h, s.count, s.speed);
      TBallTable slow = quick;
      for (int frame = 0; frame < s.frames; ++frame) {
        for (int i = 0; i < MaxBalls; ++i) {
          quick.AdvanceBall(i, s.w, s.h, s.count);
          AdvanceBallByLineX(slow, i, s.w, s.h, s.count);
        }
        ASSERT_TRUE(SameTables(quick, slow, frame)) << s.w << " x " << s.h << " radius " << s.radius;
      }
    }
  }
}

// Tables of arbitrary 32-bit values, where positions far apart and wrapping moves meet.
TEST(CollisionTest, WildTablesMoveExactlyAsWithLineX) {
  std::mt19937 random(13);
  for (int run = 0; run < 200; ++run) {
    TBallTable quick;
    quick.RadiusX = run % 4 == 0 ? static_cast<int32_t>(random()) : static_cast<int32_t>(random() % 64);
    quick.RadiusY = static_cast<int32_t>(random() % 64);
    for (TBall& b : quick.Balls) {
      const bool near = run % 2 == 0;
      b.X = near ? static_cast<int32_t>(random() % 3000) - 1000 : static_cast<int32_t>(random());
      b.Y = near ? static_cast<int32_t>(random() % 3000) - 1000 : static_cast<int32_t>(random());
      b.DX = static_cast<int32_t>(random());
      b.DY = static_cast<int32_t>(random());
    }
    TBallTable slow = quick;
    for (int frame = 0; frame < 20; ++frame) {
      for (int i = 0; i < MaxBalls; ++i) {
        quick.AdvanceBall(i, 800, 600, 100);
        AdvanceBallByLineX(slow, i, 800, 600, 100);
      }
      ASSERT_TRUE(SameTables(quick, slow, frame)) << "run " << run;
    }
  }
}

}  // namespace
