#include "scene/BallMotion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/Random.h"

namespace {

// Positions and speeds wrap at 32 bits, as the saver's integers always have; going
// through unsigned arithmetic keeps that wrap defined.
int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrapNegate(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }

// A difference of two 32-bit numbers is below 2^32 in size, so its square fits.
uint64_t Square(int64_t d) {
  const uint64_t m = d < 0 ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
  return m * m;
}

// The square root rounded to the nearest integer. A floating-point guess is corrected to
// the exact floor, so large values come out right; no whole number's root lies exactly
// halfway, so rounding up is right exactly when s exceeds r^2 + r.
uint64_t RoundedSquareRoot(uint64_t s) {
  constexpr uint64_t kLargestRoot = 0xFFFFFFFFu;  // floor(sqrt(2^64 - 1))
  uint64_t r = std::min<uint64_t>(static_cast<uint64_t>(std::sqrt(static_cast<double>(s))), kLargestRoot);
  while (r * r > s) --r;
  while (r < kLargestRoot && (r + 1) * (r + 1) <= s) ++r;
  return s - r * r > r ? r + 1 : r;
}

}  // namespace

TCollisionTest::TCollisionTest(int64_t reach) {
  // LineX reports every distance of 2^31 - 1 or more as 2^31 - 1, so a reach above that
  // takes in every pair.
  if (reach > std::numeric_limits<int32_t>::max()) {
    FAlways = true;
  } else if (reach > 0) {
    // The root rounds to below R exactly when it is below R - 1/2, as no whole number's
    // root lies halfway: s < R^2 - R + 1/4, that is s <= R^2 - R for whole s.
    const uint64_t r = static_cast<uint64_t>(reach);
    FBound = r * r - r + 1;
  }
  // Below 2^53 a double holds every whole number, so a sum of squares under the bound is
  // computed exactly, and one at or above it cannot round below it (each step rounds
  // monotonically and the bound itself is exact). That covers any ball of under 2^25
  // pixels' radius; larger ones take the integer test.
  constexpr uint64_t kExactInDouble = uint64_t{1} << 53;
  FInDoubles = !FAlways && FBound <= kExactInDouble;
  FDoubleBound = static_cast<double>(FBound);
}

uint32_t TCollisionTest::Mark(const TBall& ball, const TBall* balls, int count, uint8_t* hits) const {
  // Copies, because bytes may alias anything as far as the compiler can tell: each
  // write to hits would make it read the ball and the bounds again.
  const TBall p = ball;
  const TCollisionTest test = *this;
  uint32_t total = 0;
  if (test.FInDoubles) {
    // Twice as quick as the integer test: no 64-bit multiplies. Every index is
    // written and the count moves past it only on a hit: no branch, and the reversals
    // that follow touch only the balls hit.
    for (int j = 0; j < count; ++j) {
      hits[total] = static_cast<uint8_t>(j);
      total += test.InDoubles(p, balls[j]) ? 1u : 0u;
    }
  } else {
    for (int j = 0; j < count; ++j) {
      hits[total] = static_cast<uint8_t>(j);
      total += test.InIntegers(p, balls[j]) ? 1u : 0u;
    }
  }
  return total;
}

int ActiveBalls(uint8_t ballCount) { return std::min<int>(ballCount, MaxBalls); }

void TBallTable::PlaceBalls(int32_t W, int32_t H, uint8_t ballCount, uint8_t maxSpeed) {
  // A picture larger than the area makes the span negative; as an unsigned range it
  // places the ball far away, and the rescue brings it back on its first step.
  const uint32_t spanX = static_cast<uint32_t>(W) - 2u * static_cast<uint32_t>(RadiusX);
  const uint32_t spanY = static_cast<uint32_t>(H) - 2u * static_cast<uint32_t>(RadiusY);
  const int count = ActiveBalls(ballCount);
  for (int i = 0; i < count; ++i) {
    TBall& ball = Balls[static_cast<size_t>(i)];
    ball.X = WrapAdd(Random(static_cast<int32_t>(spanX)), RadiusX);
    ball.Y = WrapAdd(Random(static_cast<int32_t>(spanY)), RadiusY);
    ball.DX = Random(maxSpeed) + 1;
    ball.DY = Random(maxSpeed) + 1;
  }
}

int32_t TBallTable::LineX(uint8_t a, uint8_t b) const {
  constexpr int32_t kFarAway = std::numeric_limits<int32_t>::max();
  if (a >= MaxBalls || b >= MaxBalls) return kFarAway;
  const TBall& p = Balls[a];
  const TBall& q = Balls[b];
  // Balls placed far outside a too-small area can be 2^32 apart, whose square does not
  // fit 32 bits; in 64 bits only the sum of two such squares can overflow.
  const uint64_t dy2 = Square(static_cast<int64_t>(p.Y) - q.Y);
  const uint64_t dx2 = Square(static_cast<int64_t>(p.X) - q.X);
  const uint64_t s = dy2 + dx2;
  if (s < dy2) return kFarAway;
  const uint64_t distance = RoundedSquareRoot(s);
  return distance > static_cast<uint64_t>(kFarAway) ? kFarAway : static_cast<int32_t>(distance);
}

void TBallTable::AdvanceBall(int i, int32_t W, int32_t H, uint8_t ballCount) {
  const int count = ActiveBalls(ballCount);
  if (i < 0 || i >= count) return;
  TBall& ball = Balls[static_cast<size_t>(i)];
  // The tests compare exact values; only what is stored back wraps.
  const int64_t rx = RadiusX;
  const int64_t ry = RadiusY;

  // Each edge test only flips the sign, whichever way the ball is going: a ball already
  // past an edge and coming back is turned outward again.
  if (ball.X - rx <= 0) ball.DX = WrapNegate(ball.DX);
  if (ball.X + rx >= W) ball.DX = WrapNegate(ball.DX);
  if (ball.Y - ry <= 0) ball.DY = WrapNegate(ball.DY);
  if (ball.Y + ry >= H) ball.DY = WrapNegate(ball.DY);

  // No position changes while the partners are tested, so every test can be made first
  // and the reversals applied after: each partner reverses once, and ball i once per
  // partner, which leaves it reversed when it has an odd number of them.
  std::array<uint8_t, MaxBalls> hits;
  const uint32_t hitCount = TCollisionTest(2 * rx).Mark(ball, Balls.data(), count, hits.data());
  uint32_t partners = 0;
  for (uint32_t k = 0; k < hitCount; ++k) {
    // Ball i lies at distance 0 from itself, and is hit whenever the reach is positive.
    if (hits[k] == i) continue;
    TBall& other = Balls[hits[k]];
    other.DX = WrapNegate(other.DX);
    other.DY = WrapNegate(other.DY);
    ++partners;
  }
  if (partners % 2 != 0) {
    ball.DX = WrapNegate(ball.DX);
    ball.DY = WrapNegate(ball.DY);
  }

  ball.X = WrapAdd(ball.X, ball.DX);
  ball.Y = WrapAdd(ball.Y, ball.DY);

  if (ball.X - rx < -RunawayMargin || ball.Y - ry < -RunawayMargin ||
      ball.X + rx > static_cast<int64_t>(W) + RunawayMargin || ball.Y + ry > static_cast<int64_t>(H) + RunawayMargin) {
    ball.X = W / 2;
    ball.Y = H / 2;
  }
}
