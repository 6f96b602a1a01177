#pragma once
// How the saver's balls are placed and moved, free of any window or display: the sizes
// come in as plain numbers, so the rules can be run and checked on their own.
#include <array>
#include <cstdint>

struct TBall {
  int32_t X = 0;   // centre, pixels from the left of the drawing area
  int32_t Y = 0;   // centre, pixels from the top
  int32_t DX = 0;  // pixels per frame
  int32_t DY = 0;
};

inline constexpr int MaxBalls = 100;
// How far past an edge a ball may stray before it is brought back to the centre.
inline constexpr int32_t RunawayMargin = 1000;

// The number of slots a stored ball count may use: the count, but never more than the
// table holds (the count is a setting that can be edited outside the program).
int ActiveBalls(uint8_t ballCount);

// Whether two balls are close enough to bounce: their centre distance, rounded to the
// nearest pixel, is below `reach`. It answers exactly as comparing LineX with the reach
// does, without a square root: every frame makes up to 9,900 of these tests.
class TCollisionTest {
 public:
  explicit TCollisionTest(int64_t reach);

  bool operator()(const TBall& p, const TBall& q) const {
    return FInDoubles ? InDoubles(p, q) : InIntegers(p, q);
  }

  // Lists in `hits`, in slot order, the index of every ball of balls[0 .. count - 1]
  // (count at most MaxBalls) that collides with `ball`, and answers how many there are.
  // Ball itself is among them when it is in the list and the reach is positive.
  uint32_t Mark(const TBall& ball, const TBall* balls, int count, uint8_t* hits) const;

  // The two ways of answering, public so that each can be checked against LineX. The
  // integer one holds for every reach; the double one only when UsesDoubles().
  bool InIntegers(const TBall& p, const TBall& q) const {
    // A difference of two 32-bit numbers is below 2^32 in size, so its square fits 64
    // bits; squaring the two's-complement bits gives the same square without a branch.
    const uint64_t dx = static_cast<uint64_t>(static_cast<int64_t>(p.X) - q.X);
    const uint64_t dy = static_cast<uint64_t>(static_cast<int64_t>(p.Y) - q.Y);
    const uint64_t dx2 = dx * dx;
    const uint64_t s = dx2 + dy * dy;
    // A sum that wrapped is a distance of 2^32 or more, beyond any finite bound.
    return FAlways | ((s >= dx2) & (s < FBound));
  }
  bool InDoubles(const TBall& p, const TBall& q) const {
    const double dx = static_cast<double>(p.X) - q.X;
    const double dy = static_cast<double>(p.Y) - q.Y;
    return dx * dx + dy * dy < FDoubleBound;
  }
  bool UsesDoubles() const { return FInDoubles; }

 private:
  uint64_t FBound = 0;       // squared distances below this collide; 0 when none does
  bool FAlways = false;      // a reach beyond the largest distance LineX reports
  bool FInDoubles = false;   // the bound is small enough for the double test
  double FDoubleBound = 0;
};

// The ball table and the ball's half sizes, as the scene window holds them.
struct TBallTable {
  std::array<TBall, MaxBalls> Balls{};
  int32_t RadiusX = 0;
  int32_t RadiusY = 0;

  // Random start places fully inside a W x H area and random speeds of 1 .. maxSpeed
  // (1 when maxSpeed is 0), moving right and down. Draws four numbers per ball, in the
  // order X, Y, DX, DY.
  void PlaceBalls(int32_t W, int32_t H, uint8_t ballCount, uint8_t maxSpeed);

  // The distance between the centres of balls a and b, rounded to the nearest pixel.
  // Distances beyond the 32-bit range, and slots outside the table, give INT32_MAX: far
  // enough from anything to never count as a collision.
  int32_t LineX(uint8_t a, uint8_t b) const;

  // One frame's motion of ball i: edge bounces, bounces off the other active balls, the
  // move itself and the rescue of a ball that has run away. A slot that is not active
  // is left alone.
  void AdvanceBall(int i, int32_t W, int32_t H, uint8_t ballCount);
};
