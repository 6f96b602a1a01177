#pragma once
// The ball picture for every program that draws the balls: loading a chosen file (with the
// size bound a ball needs), and the ball's pixels as the saver's screen shows them, keyed by
// the saver's rule, for a program that draws them itself.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Graphics.h"

// Loads a picture file as the ball, refusing one larger than any ball needs before a single
// pixel is read (EInvalidGraphic "Picture too large for a ball ...").
void LoadBallPicture(TPicture* Picture, const std::string& FileName);

// A picture as plain colours: 0x00RRGGBB, rows top-down; 0 (black) is see-through.
struct TSprite {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Rgb;

  uint32_t At(int32_t x, int32_t y) const { return Rgb[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
};

// Any picture the runtime can hold, read back through a 32-bit bitmap, black behind it.
TSprite SpriteFromGraphic(TGraphic* graphic);

// The colour the saver's design keys its ball with. A sprite marks see-through pixels with
// 0, which only black can share.
inline constexpr TColor BallTransparentColor = clBlack;
static_assert(BallTransparentColor == clBlack);

// The ball as the saver's users see it. The saver copies the picture onto a surface of its
// 16-bit screen (5-6-5) and keys that surface, so a colour counts as see-through when it is
// the transparent colour after that reduction (near-black included), and every other one
// shows as the screen shows it: reduced, then widened again for the monitor.
TSprite BallAsTheSaverShowsIt(const TSprite& picture);

// The ball built into the saver's window design, as the saver shows it.
TSprite BuiltInBall();

// The ball for a "Picture" setting, as the saver shows it: the built-in one for the marker
// or a file that does not exist (as the saver does); a file that exists but cannot be
// read, or holds no pixels, also gives the built-in ball, with the reason in `note`.
TSprite LoadBall(const std::string& picture, std::string& note);
