// Targets that draw into memory themselves: see FrameTarget.h.
#include "platform/window/FrameTarget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace window_internal {

bool MemoryTarget::Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) {
  ptrdiff_t pitch = 0;
  int age = 0;
  uint32_t* memory = Memory(box.screenWidth, box.screenHeight, &pitch, &age);
  if (!memory) return false;
  if (!(box == map_.Box())) {
    map_ = LetterboxMap(box);
    history_.clear();
    whole = true;
  }
  // Memory that missed presents since it was drawn takes what they changed as well, and
  // all of it, bars and all, when one of them went whole or nobody knows what it missed.
  history_.push_front(Sent{whole, std::vector<RECT>(changed.begin(), changed.end())});
  if (age <= 0 || static_cast<size_t>(age) > history_.size()) whole = true;
  for (size_t missed = 1; !whole && missed < static_cast<size_t>(age); ++missed) whole = history_[missed].whole;
  written_.clear();
  if (whole) {
    DrawBars(box, memory, pitch);
    map_.Draw(picture, picture.Bounds(), memory, pitch);
    written_.push_back(RECT{0, 0, box.screenWidth, box.screenHeight});
  } else {
    for (const RECT& part : age == 1 ? history_[0].parts : Covering(static_cast<size_t>(age), picture)) {
      const RECT on = map_.Draw(picture, part, memory, pitch);
      if (on.right > on.left) written_.push_back(on);
    }
  }
  if (history_.size() > kAges) history_.pop_back();
  return written_.empty() || Send(written_);
}

const std::vector<RECT>& MemoryTarget::Covering(size_t presents, const Picture& picture) {
  covering_.clear();
  if (picture.width <= 0 || picture.height <= 0) return covering_;
  const int columns = (picture.width + kTile - 1) / kTile, rows = (picture.height + kTile - 1) / kTile;
  tiles_.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0);
  for (size_t missed = 0; missed < presents; ++missed) {
    for (const RECT& r : history_[missed].parts) {
      const int left = std::clamp<int>(r.left, 0, picture.width), right = std::clamp<int>(r.right, left, picture.width);
      const int top = std::clamp<int>(r.top, 0, picture.height), bottom = std::clamp<int>(r.bottom, top, picture.height);
      if (right == left || bottom == top) continue;
      const int first = left / kTile, last = (right - 1) / kTile;
      for (int y = top / kTile; y <= (bottom - 1) / kTile; ++y) {
        std::fill_n(&tiles_[static_cast<size_t>(y) * static_cast<size_t>(columns) + static_cast<size_t>(first)],
                    last - first + 1, uint8_t{1});
      }
    }
  }
  // Runs of marked tiles, row by row; a run under one of the same columns lengthens it.
  struct Run {
    int first, end;  // tile columns [first, end)
    size_t rect;     // in covering_
  };
  std::vector<Run> above, here;
  for (int y = 0; y < rows; ++y) {
    const uint8_t* row = &tiles_[static_cast<size_t>(y) * static_cast<size_t>(columns)];
    const int bottom = std::min((y + 1) * kTile, picture.height);
    here.clear();
    size_t a = 0;
    for (int x = 0; x < columns;) {
      if (!row[x]) {
        ++x;
        continue;
      }
      const int first = x;
      while (x < columns && row[x]) ++x;
      while (a < above.size() && above[a].first < first) ++a;
      if (a < above.size() && above[a].first == first && above[a].end == x) {
        covering_[above[a].rect].bottom = bottom;
        here.push_back(Run{first, x, above[a].rect});
      } else {
        covering_.push_back(RECT{first * kTile, y * kTile, std::min(x * kTile, picture.width), bottom});
        here.push_back(Run{first, x, covering_.size() - 1});
      }
    }
    std::swap(above, here);
  }
  return covering_;
}

XScaling ScalingAsked() {
  const char* asked = std::getenv("PELLORA_SCALING");
  if (!asked) return XScaling::Choose;
  if (std::strcmp(asked, "own") == 0) return XScaling::Own;
  if (std::strcmp(asked, "server") == 0) return XScaling::Server;
  return XScaling::Choose;
}

}  // namespace window_internal
