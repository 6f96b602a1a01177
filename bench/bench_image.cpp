// Blur throughput at 24 bits on a full-HD picture, in megapixels per second, for the
// radii a person would pick. The cost per pixel should not grow with the radius.
#include <benchmark/benchmark.h>

#include <random>

#include "image/DIB.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

void FillRandom(TDIB& dib) {
  std::mt19937 rng(42);
  for (int y = 0; y < dib.Height(); ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int i = 0; i < dib.RowBytes(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
}

// TDIB::Blur as the program calls it: the picture is blurred in place, so each
// iteration blurs the previous result (the cost does not depend on the contents).
void BM_Blur24(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  TDIB dib;
  dib.Reformat(kWidth, kHeight, 24);
  FillRandom(dib);
  for (auto _ : state) {
    dib.Blur(24, radius);
    benchmark::DoNotOptimize(dib.TopRow());
  }
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6,
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Blur24)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with a picture that still shares its store, as after handing it to another
// holder: the first row written copies the store.
void BM_Blur24Shared(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  TDIB dib;
  dib.Reformat(kWidth, kHeight, 24);
  FillRandom(dib);
  TDIB holder;
  for (auto _ : state) {
    holder.AssignFrom(&dib);
    dib.Blur(24, radius);
    benchmark::DoNotOptimize(dib.TopRow());
  }
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6,
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Blur24Shared)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
