// Blit and text throughput of the software GDI. items/s are pixels (blits) or draws (text).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace {

constexpr int W = 800, H = 600;
constexpr DWORD k565[3] = {0xF800, 0x07E0, 0x001F};

struct Buffer {
  std::vector<uint8_t> memory;
  HDC dc;
  Buffer(int bpp, const DWORD* masks, int w = W, int h = H) : memory(static_cast<size_t>(w) * h * (bpp / 8) + 4) {
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 0};
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 31);
    dc = CreateBufferDC(memory.data(), w, h, w * (bpp / 8), bpp, masks, bpp == 8 ? table.data() : nullptr,
                        bpp == 8 ? 256 : 0);
  }
  ~Buffer() { DeleteDC(dc); }
};

void Copy(benchmark::State& state, int srcBpp, const DWORD* srcMasks, int dstBpp, const DWORD* dstMasks) {
  Buffer src(srcBpp, srcMasks), dst(dstBpp, dstMasks);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(dst.memory.data());
  }
  state.SetItemsProcessed(state.iterations() * W * H);
}

void BM_Blit8To16(benchmark::State& s) { Copy(s, 8, nullptr, 16, k565); }
void BM_Blit8To32(benchmark::State& s) { Copy(s, 8, nullptr, 32, nullptr); }
void BM_Blit16To16(benchmark::State& s) { Copy(s, 16, k565, 16, k565); }
void BM_Blit32To32(benchmark::State& s) { Copy(s, 32, nullptr, 32, nullptr); }
// Paths without a direct routine, for comparison.
void BM_Blit32To565(benchmark::State& s) { Copy(s, 32, nullptr, 16, k565); }
void BM_Blit32To8(benchmark::State& s) { Copy(s, 32, nullptr, 8, nullptr); }
BENCHMARK(BM_Blit8To16);
BENCHMARK(BM_Blit8To32);
BENCHMARK(BM_Blit16To16);
BENCHMARK(BM_Blit32To32);
BENCHMARK(BM_Blit32To565);
BENCHMARK(BM_Blit32To8);

// The sprite case: a 47 x 47 picture copied many times a frame.
void BM_Sprite8To16(benchmark::State& state) {
  Buffer src(8, nullptr, 47, 47), dst(16, k565);
  int i = 0;
  for (auto _ : state) {
    BitBlt(dst.dc, (i * 37) % (W - 47), (i * 23) % (H - 47), 47, 47, src.dc, 0, 0, SRCCOPY);
    ++i;
  }
  state.SetItemsProcessed(state.iterations() * 47 * 47);
}
BENCHMARK(BM_Sprite8To16);

void BM_Stretch8To16Twice(benchmark::State& state) {
  Buffer src(8, nullptr, W / 2, H / 2), dst(16, k565);
  for (auto _ : state) StretchBlt(dst.dc, 0, 0, W, H, src.dc, 0, 0, W / 2, H / 2, SRCCOPY);
  state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_Stretch8To16Twice);

void Caption(benchmark::State& state, int bpp, const DWORD* masks) {
  Buffer dst(bpp, masks);
  HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dst.dc, font);
  SetBkMode(dst.dc, TRANSPARENT);
  SetTextColor(dst.dc, RGB(0, 0, 255));
  const char* text = "Pellora - bouncing balls";
  int n = static_cast<int>(std::strlen(text));
  for (auto _ : state) TextOutA(dst.dc, 20, 20, text, n);
  state.SetItemsProcessed(state.iterations());
  SelectObject(dst.dc, old);
  DeleteObject(font);
}
void BM_Caption565(benchmark::State& s) { Caption(s, 16, k565); }
void BM_Caption8(benchmark::State& s) { Caption(s, 8, nullptr); }
BENCHMARK(BM_Caption565);
BENCHMARK(BM_Caption8);

}  // namespace
