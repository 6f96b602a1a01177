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
