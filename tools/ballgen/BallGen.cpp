// Draws the built-in ball: a 47 x 47, 256-colour picture of a shaded blue sphere with
// a light highlight on black, and writes it in the picture-data form that a stored design
// embeds: the class name "TDIB" (one length byte and four letters), the 40-byte header,
// all 256 colour entries, and the 47 bottom-up rows of 48 bytes.
//
//   ballgen OUT.bin [PREVIEW.ppm [SCALE]]
//
// The program is deterministic, so the committed file can always be made again.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 47;
constexpr int kRowBytes = 48;
constexpr int kLevels = 43;         // shades of the ball, index 0 (white) to 42 (darkest)
constexpr int kBackground = 255;    // black, the transparent colour

struct Rgb {
  double r, g, b;
};

// The ramp the shades are taken from: darkest blue at 0, the lit body colour at
// 0.78, white at 1 (the highlight).
Rgb Ramp(double t) {
  const Rgb dark{3, 8, 40}, body{40, 104, 212}, white{255, 255, 255};
  auto mix = [](Rgb a, Rgb b, double f) { return Rgb{a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f}; };
  if (t < 0.78) return mix(dark, body, t / 0.78);
  return mix(body, white, (t - 0.78) / 0.22);
}

// Brightness of the sphere at a point of the picture, 0 outside it; coverage comes from
// 4 x 4 samples per pixel so the rim is smooth against the black.
double Shade(int px, int py) {
  const double cx = 23.0, cy = 23.0, radius = 22.5;
  const double lx = -0.45, ly = -0.6, lz = 0.66;  // light from the upper left, in front
  const double ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  double total = 0;
  for (int sy = 0; sy < 4; ++sy)
    for (int sx = 0; sx < 4; ++sx) {
      const double x = (px + (sx + 0.5) / 4.0 - cx - 0.5) / radius;
      const double y = (py + (sy + 0.5) / 4.0 - cy - 0.5) / radius;
      const double d = x * x + y * y;
      if (d > 1.0) continue;
      const double z = std::sqrt(1.0 - d);
      const double diffuse = std::max(0.0, (x * lx + y * ly + z * lz) / ll);
      // Blinn highlight with the viewer straight in front.
      double hx = lx / ll, hy = ly / ll, hz = lz / ll + 1.0;
      const double hl = std::sqrt(hx * hx + hy * hy + hz * hz);
      hx /= hl, hy /= hl, hz /= hl;
      const double highlight = std::pow(std::max(0.0, x * hx + y * hy + z * hz), 24.0);
      total += std::min(1.0, 0.08 + 0.70 * diffuse + 0.45 * highlight);
    }
  return total / 16.0;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ballgen OUT.bin [PREVIEW.ppm [SCALE]]\n");
    return 2;
  }

  // Colour table: the shades, then a grey ramp for the unused entries, black last.
  uint8_t table[256][4] = {};
  for (int i = 0; i < 256; ++i) {
    Rgb c{static_cast<double>(i), static_cast<double>(i), static_cast<double>(i)};
    if (i < kLevels) c = Ramp(1.0 - static_cast<double>(i) / (kLevels - 1));
    if (i == kBackground) c = {0, 0, 0};
    table[i][0] = static_cast<uint8_t>(std::lround(c.b));
    table[i][1] = static_cast<uint8_t>(std::lround(c.g));
    table[i][2] = static_cast<uint8_t>(std::lround(c.r));
  }

  // Pixels, top row first: each covered pixel gets the nearest shade.
  uint8_t pixels[kSize][kSize];
  std::set<int> used;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const double t = Shade(x, y);
      int index = kBackground;
      if (t > 0.0) index = kLevels - 1 - std::clamp(static_cast<int>(std::lround(t * (kLevels - 1))), 0, kLevels - 1);
      pixels[y][x] = static_cast<uint8_t>(index);
      used.insert(index);
    }
  if (used.size() != kLevels + 1) {
    std::fprintf(stderr, "ballgen: %zu indices used, expected %d\n", used.size(), kLevels + 1);
    for (int i = 0; i < kLevels; ++i)
      if (!used.count(i)) std::fprintf(stderr, "ballgen: shade %d unused\n", i);
    return 1;
  }

  std::vector<uint8_t> out;
  out.push_back(4);
  for (char c : std::string("TDIB")) out.push_back(static_cast<uint8_t>(c));
  Put32(out, 40);                      // biSize
  Put32(out, kSize);                   // biWidth
  Put32(out, kSize);                   // biHeight: positive, rows bottom-up
  Put16(out, 1);                       // biPlanes
  Put16(out, 8);                       // biBitCount
  Put32(out, 0);                       // biCompression
  Put32(out, kRowBytes * kSize);       // biSizeImage
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (auto& entry : table) out.insert(out.end(), entry, entry + 4);
  for (int y = kSize - 1; y >= 0; --y) {
    out.insert(out.end(), pixels[y], pixels[y] + kSize);
    out.push_back(0);  // row padding
  }
  if (out.size() != 3325) {
    std::fprintf(stderr, "ballgen: %zu bytes, expected 3325\n", out.size());
    return 1;
  }
  std::ofstream file(argv[1], std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::fprintf(stderr, "ballgen: cannot write %s\n", argv[1]);
    return 1;
  }

  if (argc >= 3) {
    const int scale = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 1;
    std::ofstream ppm(argv[2], std::ios::binary);
    ppm << "P6\n" << kSize * scale << " " << kSize * scale << "\n255\n";
    for (int y = 0; y < kSize * scale; ++y)
      for (int x = 0; x < kSize * scale; ++x) {
        const uint8_t* e = table[pixels[y / scale][x / scale]];
        const char rgb[3] = {static_cast<char>(e[2]), static_cast<char>(e[1]), static_cast<char>(e[0])};
        ppm.write(rgb, 3);
      }
  }
  return 0;
}
