#pragma once
// The last picture put on a window from outside, kept so that the next one sends only the
// parts that differ from it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/window/Picture.h"

namespace window_internal {

class KeptPicture {
 public:
  // The screen rows for pictures of this format and colour table, made anew only when
  // either changes; the next Take then sends the whole picture.
  const bmp::ScreenRows& Rows(const bmp::PixelFormat& format, const uint32_t* colors, int colorCount);
  // Keeps `next` (whose rows are Rows()) in place of the kept picture and answers where the
  // two differ, as rectangles in picture coordinates, none when nothing changed. All of it
  // when the two cannot be compared: nothing kept yet, Forget, another size or format.
  const std::vector<RECT>& Take(const Picture& next) { return Take(next, false, {}); }
  // The same, for a caller that knows `next` can differ from the kept picture only inside
  // `within`: nothing else is read.
  const std::vector<RECT>& Take(const Picture& next, std::span<const RECT> within) { return Take(next, true, within); }
  // What is on the screen can no longer be trusted to be the kept picture.
  void Forget() { held_ = false; }
  // The number a caller gave the kept picture (PictureChanges), 0 for none.
  uint64_t Number() const { return held_ ? number_ : 0; }
  void SetNumber(uint64_t number) { number_ = number; }
  bool Holds() const { return held_; }
  // The kept picture, as it was last shown.
  Picture Kept() const;

 private:
  const std::vector<RECT>& Take(const Picture& next, bool hinted, std::span<const RECT> within);
  void TakeWhole(const Picture& next);
  void SortHints(std::span<const RECT> within, int bands);
  void CompareBand(const Picture& next, int top, int bottom);

  std::unique_ptr<bmp::ScreenRows> rows_;
  bool held_ = false;
  uint64_t number_ = 0;
  int width_ = 0;
  int height_ = 0;
  size_t rowBytes_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<RECT> changed_;
  // Of the band being compared: the 32-byte chunks of its rows to look at, those that
  // differ, and in each of these the bytes that do.
  std::vector<uint64_t> look_;
  std::vector<std::pair<size_t, size_t>> looked_;  // look_ as runs of chunks
  std::vector<uint64_t> changedChunks_;
  std::vector<uint32_t> differ_;
  std::vector<std::pair<size_t, size_t>> hints_;  // chunk ranges the caller named, band by band
  std::vector<size_t> hintStart_;                 // where each band's begin in hints_
  std::vector<size_t> growing_;     // rectangles reaching the band's top, left to right
  std::vector<size_t> nowGrowing_;  // ... and its bottom
};

}  // namespace window_internal
