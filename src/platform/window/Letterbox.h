#pragma once
// Showing a picture of one size on a screen of another: scaled with the aspect kept and
// black bars around (letterboxed), sharp (nearest pixel), in one pass per frame.
#include <cstdint>

namespace window_internal {

struct Letterbox {
  int width = 0;   // of the scaled picture on the screen
  int height = 0;
  int left = 0;    // where it starts on the screen
  int top = 0;
  int sourceWidth = 0;
  int sourceHeight = 0;

  // Screen position to picture position, clamped to the picture.
  void ToSource(int* x, int* y) const;
  // Picture position to screen position.
  void ToScreen(int* x, int* y) const;
};

// The largest picture of the source's aspect that fits the screen, centred. When the
// scale is a whole number every source pixel becomes an even square of screen pixels.
Letterbox FitLetterbox(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight);

// Draws XRGB `source` onto XRGB `dest` (screenWidth x screenHeight). Pitches are in bytes.
// The black bars are drawn only with `Bars::Draw`: a screen that still holds them from the
// last frame of the same shape need not be written there again.
enum class Bars { Draw, Keep };
void DrawLetterboxed(const uint32_t* source, int sourcePitch, uint32_t* dest, int destPitch, int screenWidth,
                     int screenHeight, const Letterbox& box, Bars bars);

}  // namespace window_internal
