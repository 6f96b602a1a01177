// Targets that draw into memory themselves: see FrameTarget.h.
#include "platform/window/FrameTarget.h"

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
    for (size_t missed = 0; missed < static_cast<size_t>(age); ++missed) {
      for (const RECT& part : history_[missed].parts) {
        const RECT on = map_.Draw(picture, part, memory, pitch);
        if (on.right > on.left) written_.push_back(on);
      }
    }
  }
  if (history_.size() > kAges) history_.pop_back();
  return written_.empty() || Send(written_);
}

XScaling ScalingAsked() {
  const char* asked = std::getenv("PELLORA_SCALING");
  if (!asked) return XScaling::Choose;
  if (std::strcmp(asked, "own") == 0) return XScaling::Own;
  if (std::strcmp(asked, "server") == 0) return XScaling::Server;
  return XScaling::Choose;
}

}  // namespace window_internal
