// The display layer's share of a frame, through the surface classes the scene uses: the
// fill of the 800 x 600 x 16 back surface and one colour-keyed 47 x 47 ball sprite, loaded
// from an 8-bit DIB, drawn onto it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "display/DirectX.h"
#include "image/DIB.h"
#include "platform/ddraw/DDraw.h"
#include "platform/window/Headless.h"
#include "platform/window/Window.h"

namespace {

LRESULT BenchWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A headless screen in exclusive 800 x 600 x 16 mode with the scene's back surface and a
// ball sprite: a filled circle of 8-bit colour indexes on index 0, the colour key.
struct Scene {
  Scene() {
    ResetWindowSystem();
    UseHeadlessPresenter();
    WNDCLASSA wc{};
    wc.lpfnWndProc = BenchWndProc;
    wc.lpszClassName = "BenchDisplay";
    RegisterClassA(&wc);
    Window = CreateWindowExA(0, "BenchDisplay", "Bench", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                             nullptr, nullptr);
    DD = std::make_unique<TDirectDraw>(nullptr);
    DD->IDraw()->SetCooperativeLevel(Window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX);
    DD->IDraw()->SetDisplayMode(800, 600, 16);
    Back = new TDirectDrawSurface(DD.get());
    Back->Resize(800, 600);

    TDIB ball;
    for (int i = 1; i < 256; ++i)
      ball.ColorTable()[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 200, 0};
    ball.Reformat(47, 47, 8);
    ball.ApplyColorTable();
    for (int y = 0; y < 47; ++y)
      for (int x = 0; x < 47; ++x) {
        const int dx = x - 23, dy = y - 23;
        ball.WritePixel(x, y, dx * dx + dy * dy <= 23 * 23 ? static_cast<uint32_t>(1 + (x * 5 + y) % 255) : 0);
      }
    Sprite = new TDirectDrawSurface(DD.get());
    Sprite->LoadPicture(&ball, 0, TRect{0, 0, 47, 47}, 0);
    Sprite->SetColorKey(Sprite->MatchColor(clBlack));
  }
  ~Scene() {
    DD.reset();
    ReleaseLibraries();
    ResetWindowSystem();
  }
  HWND Window = nullptr;
  std::unique_ptr<TDirectDraw> DD;
  TDirectDrawSurface* Back = nullptr;
  TDirectDrawSurface* Sprite = nullptr;
};

void BM_Fill800x600x16(benchmark::State& state) {
  Scene scene;
  if (scene.Back->ISurface() == nullptr || scene.Back->BitCount() != 16) {
    state.SkipWithError("no 16-bit back surface");
    return;
  }
  for (auto _ : state) {
    scene.Back->Fill(0);
    benchmark::ClobberMemory();
  }
  state.counters["MB/s"] = benchmark::Counter(800.0 * 600 * 2 * static_cast<double>(state.iterations()) / 1e6,
                                              benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Fill800x600x16)->Unit(benchmark::kMicrosecond);

// What memory allows on this machine right now, to read the fill's figure against.
void BM_MemsetBaseline800x600x16(benchmark::State& state) {
  std::vector<uint16_t> pixels(800 * 600);
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint16_t>(state.iterations()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemsetBaseline800x600x16)->Unit(benchmark::kMicrosecond);

// Draw as the scene calls it: clip, then BltFast with the source colour key. The
// positions walk over the surface so no single spot stays in cache.
void BM_DrawKeyedSprite47(benchmark::State& state) {
  Scene scene;
  const TRect src = scene.Sprite->ClientRect();
  int i = 0;
  for (auto _ : state) {
    const int x = (i * 37) % (800 - 47);
    const int y = (i * 23) % (600 - 47);
    scene.Back->Draw(x, y, src, scene.Sprite, true);
    ++i;
  }
  if (scene.Back->LastResult() != DD_OK) state.SkipWithError("the blit failed");
}
BENCHMARK(BM_DrawKeyedSprite47)->Unit(benchmark::kNanosecond);

// The same sprite half off the left edge, so the clipping path is part of the cost.
void BM_DrawKeyedSprite47Clipped(benchmark::State& state) {
  Scene scene;
  const TRect src = scene.Sprite->ClientRect();
  int i = 0;
  for (auto _ : state) {
    scene.Back->Draw(-23, (i * 23) % (600 - 47), src, scene.Sprite, true);
    ++i;
  }
  if (scene.Back->LastResult() != DD_OK) state.SkipWithError("the blit failed");
}
BENCHMARK(BM_DrawKeyedSprite47Clipped)->Unit(benchmark::kNanosecond);

}  // namespace
