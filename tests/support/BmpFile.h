#pragma once
// Picture files made by the tests themselves, so no binary test data has to be kept.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

// A small uncompressed 24-bit bitmap file whose pixel (x, y), counted from the top left,
// is Rgb(x, y) as 0x00RRGGBB.
template <class F>
void WriteBmpFileOf(const std::filesystem::path& Path, int W, int H, F Rgb) {
  const int stride = (W * 3 + 3) & ~3;
  const uint32_t pixels = static_cast<uint32_t>(stride * H);
  std::vector<uint8_t> f(54 + pixels, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(W));
  put32(22, static_cast<uint32_t>(H));
  f[26] = 1, f[28] = 24;
  put32(34, pixels);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* p = &f[54 + static_cast<size_t>((H - 1 - y) * stride + x * 3)];  // rows bottom-up
      const uint32_t rgb = Rgb(x, y);
      p[0] = static_cast<uint8_t>(rgb), p[1] = static_cast<uint8_t>(rgb >> 8), p[2] = static_cast<uint8_t>(rgb >> 16);
    }
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
}

// A small uncompressed 24-bit bitmap file of one colour (blue, green, red).
inline void WriteBmpFile(const std::filesystem::path& Path, int W, int H, uint8_t B, uint8_t G, uint8_t R) {
  const uint32_t rgb = (uint32_t{R} << 16) | (uint32_t{G} << 8) | B;
  WriteBmpFileOf(Path, W, H, [rgb](int, int) { return rgb; });
}
