#pragma once
// The pictures the hack draws: the ball (the built-in one or the file the user chose) and
// lines of text, as plain arrays of colours that the scene copies into its frame buffer.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Graphics.h"

struct TSprite {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Rgb;  // 0x00RRGGBB, rows top-down; 0 (black) is transparent

  uint32_t At(int32_t x, int32_t y) const { return Rgb[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
};

// Any picture the runtime can hold, read back through a 32-bit bitmap.
TSprite SpriteFromGraphic(TGraphic* graphic);

// The ball built into the saver's window design.
TSprite BuiltInBall();

// The ball for a "Picture" setting: the built-in one for the marker or a file that does
// not exist (as the saver does); a file that exists but cannot be read, or holds no
// pixels, also gives the built-in ball, with the reason in `note`.
TSprite LoadBall(const std::string& picture, std::string& note);

// One line of text in the canvas's default typeface at `pointSize`, on transparent black.
TSprite TextSprite(const std::string& text, int32_t pointSize, TColor color);
