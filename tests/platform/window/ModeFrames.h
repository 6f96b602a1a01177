#pragma once
// Frames a display shows in an 800 x 600 x 16 mode, balls moving over black, and what the
// monitor must show for each: the reference for every way of presenting them. The
// reference is worked out here pixel by pixel, the way whole frames were always shown: the
// picture as large as the monitor takes it with its aspect kept, centred, each monitor
// pixel showing the picture pixel (x - left) * 800 / width (rounded down; rows likewise),
// its channels widened to 8 bits with rounding, and black around.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

struct ModeFrames {
  static constexpr int kWidth = 800;
  static constexpr int kHeight = 600;
  struct Ball {
    int x, y, dx, dy, radius;
    uint16_t colour;
  };
  std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight);
  std::vector<Ball> balls;

  explicit ModeFrames(uint32_t seed, int count = 60) {
    std::mt19937 random(seed);
    auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int i = 0; i < count; ++i) {
      balls.push_back(Ball{between(0, kWidth), between(0, kHeight), between(-7, 7), between(-7, 7), between(4, 30),
                           static_cast<uint16_t>(between(1, 0xFFFF))});
    }
    Draw();
  }

  void Step() {
    for (Ball& b : balls) {
      b.x += b.dx;
      b.y += b.dy;
      if (b.x < 0 || b.x >= kWidth) b.dx = -b.dx;
      if (b.y < 0 || b.y >= kHeight) b.dy = -b.dy;
    }
    Draw();
  }

  // A strip of every 5-6-5 value's channels at the top, which never changes, then balls.
  void Draw() {
    std::fill(pixels.begin(), pixels.end(), 0);
    for (int x = 0; x < kWidth; ++x) {
      for (int y = 0; y < 8; ++y) pixels[y * kWidth + x] = static_cast<uint16_t>(x * 82 + y * 11);
    }
    for (const Ball& b : balls) {
      for (int y = b.y - b.radius; y <= b.y + b.radius; ++y) {
        for (int x = b.x - b.radius; x <= b.x + b.radius; ++x) {
          const int dx = x - b.x, dy = y - b.y;
          if (x < 0 || y < 8 || x >= kWidth || y >= kHeight || dx * dx + dy * dy > b.radius * b.radius) continue;
          pixels[y * kWidth + x] = static_cast<uint16_t>(b.colour + dx * 3);
        }
      }
    }
  }
};

inline uint32_t WidenRounded(uint32_t v, int bits) {
  const uint32_t top = (1u << bits) - 1;
  return (v * 255 + top / 2) / top;
}

inline uint32_t ScreenValue565(uint16_t v) {
  return (WidenRounded(v >> 11, 5) << 16) | (WidenRounded((v >> 5) & 63, 6) << 8) | WidenRounded(v & 31, 5);
}

// What a monitor of `screenWidth` x `screenHeight` shows of an 800 x 600 5-6-5 picture.
inline std::vector<uint32_t> ExpectedScreen(const std::vector<uint16_t>& picture, int screenWidth, int screenHeight) {
  const int w = ModeFrames::kWidth, h = ModeFrames::kHeight;
  int boxWidth = screenWidth, boxHeight = screenHeight;
  if (static_cast<int64_t>(screenWidth) * h <= static_cast<int64_t>(screenHeight) * w) {
    boxHeight = static_cast<int>(static_cast<int64_t>(h) * screenWidth / w);
  } else {
    boxWidth = static_cast<int>(static_cast<int64_t>(w) * screenHeight / h);
  }
  const int left = (screenWidth - boxWidth) / 2, top = (screenHeight - boxHeight) / 2;
  std::vector<uint32_t> screen(static_cast<size_t>(screenWidth) * static_cast<size_t>(screenHeight), 0);
  for (int y = top; y < top + boxHeight; ++y) {
    const int sy = static_cast<int>(static_cast<int64_t>(y - top) * h / boxHeight);
    for (int x = left; x < left + boxWidth; ++x) {
      const int sx = static_cast<int>(static_cast<int64_t>(x - left) * w / boxWidth);
      screen[static_cast<size_t>(y) * static_cast<size_t>(screenWidth) + static_cast<size_t>(x)] =
          ScreenValue565(picture[static_cast<size_t>(sy) * w + static_cast<size_t>(sx)]);
    }
  }
  return screen;
}

// Where two screens first differ, as "x,y: got instead of wanted", or empty.
inline std::string FirstDifference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& wanted, int width) {
  if (got.size() != wanted.size()) return "sizes differ: " + std::to_string(got.size()) + " " + std::to_string(wanted.size());
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] == wanted[i]) continue;
    char text[96];
    std::snprintf(text, sizeof text, "%zu,%zu: %06x instead of %06x", i % static_cast<size_t>(width),
                  i / static_cast<size_t>(width), got[i], wanted[i]);
    return text;
  }
  return {};
}
