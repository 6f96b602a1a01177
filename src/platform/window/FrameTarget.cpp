// Targets that draw into memory themselves: see FrameTarget.h.
#include "platform/window/FrameTarget.h"

#include <cstdlib>
#include <cstring>

namespace window_internal {

bool MemoryTarget::Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) {
  ptrdiff_t pitch = 0;
  bool fresh = false;
  uint32_t* memory = Memory(box.screenWidth, box.screenHeight, &pitch, &fresh);
  if (!memory) return false;
  if (fresh || !(box == map_.Box())) {
    map_ = LetterboxMap(box);
    whole = true;
  }
  written_.clear();
  if (whole) {
    DrawBars(box, memory, pitch);
    map_.Draw(picture, picture.Bounds(), memory, pitch);
    written_.push_back(RECT{0, 0, box.screenWidth, box.screenHeight});
  } else {
    for (const RECT& part : changed) {
      const RECT on = map_.Draw(picture, part, memory, pitch);
      if (on.right > on.left) written_.push_back(on);
    }
  }
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
