#include <benchmark/benchmark.h>

#include <vector>

#include "hack/HackScene.h"
#include "scene/Random.h"

namespace {

// A 47 x 47 disc on transparent black, the size of the built-in ball.
TSprite Disc() {
  TSprite s;
  s.Width = s.Height = 47;
  s.Rgb.resize(47 * 47);
  for (int y = 0; y < 47; ++y)
    for (int x = 0; x < 47; ++x)
      if ((x - 23) * (x - 23) + (y - 23) * (y - 23) <= 23 * 23) s.Rgb[static_cast<size_t>(y * 47 + x)] = 0x2040C0;
  return s;
}

// One frame of the hack at 1920 x 1080 with 100 balls at the default top speed: erase,
// move, draw and the list of changed rectangles, into private memory (no display).
void BM_HackFrame1080p(benchmark::State& state) {
  constexpr int32_t W = 1920, H = 1080;
  std::vector<uint32_t> pixels(static_cast<size_t>(W) * H);
  const TFrameBuffer buffer{pixels.data(), W, W, H};
  THackScene scene(Disc(), 100, static_cast<uint8_t>(state.range(0)), false, [](uint32_t rgb) { return rgb; });
  SetRandomSeed(20261208);
  scene.Start(W, H);
  int64_t now = 0;
  size_t rects = 0;
  for (auto _ : state) {
    rects += scene.Step(buffer, now += 16666667).size();
    benchmark::ClobberMemory();
  }
  state.counters["rects/frame"] = static_cast<double>(rects) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_HackFrame1080p)->Arg(6)->Arg(100);

}  // namespace
