#pragma once
// Showing a picture of one size on a screen of another: scaled with the aspect kept and
// black bars around (letterboxed), sharp. This is the one rule for where a display mode's
// picture sits on a monitor and which monitor pixels each of its pixels becomes; the
// presenters and the window painting code all place pictures through it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/window/Picture.h"

namespace window_internal {

struct Letterbox {
  int width = 0;   // of the scaled picture on the screen
  int height = 0;
  int left = 0;    // where it starts on the screen
  int top = 0;
  int sourceWidth = 0;
  int sourceHeight = 0;
  int screenWidth = 0;  // what the box is clipped to when drawn
  int screenHeight = 0;

  // Screen column `i` of the box (counted from its left edge) shows source column
  // i * sourceWidth / width, rounded down, and rows likewise: each source pixel becomes a
  // block of whole screen pixels, all of one colour.
  int SourceColumn(int i) const { return static_cast<int>(static_cast<int64_t>(i) * sourceWidth / width); }
  int SourceRow(int j) const { return static_cast<int>(static_cast<int64_t>(j) * sourceHeight / height); }
  // The first box column (row) that shows source column (row) `s`, or `width` (`height`)
  // for the source's end.
  int FirstColumnOf(int s) const;
  int FirstRowOf(int s) const;
  bool Unscaled() const { return width == sourceWidth && height == sourceHeight; }
  bool operator==(const Letterbox&) const = default;

  // Screen position to picture position, clamped to the picture.
  void ToSource(int* x, int* y) const;
  // Picture position to screen position.
  void ToScreen(int* x, int* y) const;
};

// The largest picture of the source's aspect that fits the screen, centred. When the
// scale is a whole number every source pixel becomes an even square of screen pixels.
Letterbox FitLetterbox(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight);
// The picture at its own size in the screen's top-left corner, cut off where the screen ends.
Letterbox AtCorner(int sourceWidth, int sourceHeight, int screenWidth, int screenHeight);
// Where a native window shows its picture: the window of a display mode letterboxed, as the
// monitor shows the mode; any other at its corner, black beyond it where the window manager
// made the window larger.
enum class Holds { Mode, Nothing };
Letterbox OnWindow(int pictureWidth, int pictureHeight, int windowWidth, int windowHeight, Holds holds);

// A letterbox worked out column by column and row by row, once for a shape, and drawing
// through it: a display presents sixty frames a second in the same shape.
class LetterboxMap {
 public:
  LetterboxMap() = default;
  explicit LetterboxMap(const Letterbox& box);
  const Letterbox& Box() const { return box_; }
  // The screen rectangle that shows the source rectangle, cut to the screen; empty when
  // nothing of it shows.
  RECT OnScreen(const RECT& source) const;
  // Draws part `source` of `picture` (of the box's source size) onto the XRGB `screen`,
  // `pitch` bytes a row, where the box puts it, converting and scaling in one pass. Answers
  // the screen rectangle written (OnScreen of the part).
  RECT Draw(const Picture& picture, const RECT& source, uint32_t* screen, ptrdiff_t pitch) const;

 private:
  Letterbox box_;
  std::vector<int> columns_;  // source column of each screen column of the box's visible part
  mutable std::vector<uint32_t> row_;  // one source row as screen values
};

// Paints black whatever of the box's screen lies outside the box: once for a shape, since
// frames drawn through the box never touch it.
void DrawBars(const Letterbox& box, uint32_t* screen, ptrdiff_t pitch);

}  // namespace window_internal
