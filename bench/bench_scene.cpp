#include <benchmark/benchmark.h>

#include "scene/BallMotion.h"
#include "scene/Random.h"

namespace {

// One frame of motion for the full table on the saver's 800 x 600 screen: 100 balls,
// each tested against the 99 others (9,900 collision tests, no square roots).
void BM_AdvanceFrame100Balls(benchmark::State& state) {
  constexpr int32_t W = 800;
  constexpr int32_t H = 600;
  TBallTable table;
  table.RadiusX = 23;
  table.RadiusY = 23;
  SetRandomSeed(20261207);
  table.PlaceBalls(W, H, 100, 6);
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) table.AdvanceBall(i, W, H, 100);
    benchmark::DoNotOptimize(table.Balls.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 100 * 99);  // distance tests
}
BENCHMARK(BM_AdvanceFrame100Balls);

void BM_LineX(benchmark::State& state) {
  TBallTable table;
  table.Balls[0] = TBall{100, 200, 0, 0};
  table.Balls[1] = TBall{523, 411, 0, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(table.LineX(0, 1));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LineX);

// One ball against the whole table, as the frame step makes it for each ball.
void BM_CollisionMark100(benchmark::State& state) {
  TBallTable table;
  SetRandomSeed(20261207);
  table.RadiusX = 23;
  table.RadiusY = 23;
  table.PlaceBalls(800, 600, 100, 6);
  const TCollisionTest test(46);
  uint8_t hits[MaxBalls];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(test.Mark(table.Balls[static_cast<size_t>(i)], table.Balls.data(), 100, hits));
    i = (i + 1) % 100;
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_CollisionMark100);

}  // namespace
