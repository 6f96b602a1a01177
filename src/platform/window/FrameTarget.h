#pragma once
// Where a presenter shows one native window's pictures, and how their changed parts reach
// the screen. A presenter works out where a picture goes on its window (a Letterbox whose
// screen is the window) and what must be sent (the changed parts, or all of it); a target
// does the drawing and the sending in its display system's own way. A target of another
// display system plugs in here; one that draws into memory of the window's size (a
// shared-memory image, a compositor's buffer) need only derive from MemoryTarget.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/window/Letterbox.h"
#include "platform/window/Picture.h"

struct SDL_Window;

namespace window_internal {

class FrameTarget {
 public:
  virtual ~FrameTarget() = default;
  // Shows `picture` where `box` puts it on the window: the parts in `changed` (picture
  // coordinates), or, when `whole`, all of it with the black bars around. Answers false
  // when nothing can be shown through this target any more (its window or its connection
  // broke); the presenter then drops it.
  virtual bool Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) = 0;
  // How it shows pictures of this shape, for PELLORA_DEBUG.
  virtual std::string Describe(const Letterbox& box) const = 0;
};

// A target that converts and scales the changed parts itself, in one pass, straight into
// memory of the window's size, and then hands the display the rectangles it wrote.
class MemoryTarget : public FrameTarget {
 public:
  bool Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) override;

 protected:
  // The window's memory for a screen of `width` x `height`, XRGB, `*pitch` bytes a row; null
  // when there is none. `*age`: how many presents ago this memory was last drawn (1: at the
  // last one, as for a single image; 2: the one before, as for the second of two buffers a
  // compositor hands back in turn), 0 when never or nobody knows: then all of it is drawn.
  virtual uint32_t* Memory(int width, int height, ptrdiff_t* pitch, int* age) = 0;
  // Sends the rectangles of the memory written since the last call (screen coordinates).
  virtual bool Send(std::span<const RECT> written) = 0;

 private:
  static constexpr size_t kAges = 3;  // memory older than this is drawn whole
  struct Sent {
    bool whole = false;
    std::vector<RECT> parts;  // picture coordinates
  };
  // What the last `presents` presents changed, without a pixel twice: memory a compositor
  // hands back every third present would otherwise draw where balls overlap thrice.
  const std::vector<RECT>& Covering(size_t presents, const Picture& picture);
  static constexpr int kTile = 8;  // picture pixels a side of the squares Covering marks

  LetterboxMap map_;
  std::deque<Sent> history_;  // what each recent present changed, the latest first
  std::vector<RECT> written_;
  std::vector<uint8_t> tiles_;  // Covering's marks
  std::vector<RECT> covering_;
};

// The window's own SDL surface: what works on any display SDL drives.
std::unique_ptr<FrameTarget> MakeSdlSurfaceTarget(SDL_Window* window);

// How an X server scales a mode's picture onto a monitor.
enum class XScaling {
  Choose,  // as the server and the shape make cheapest
  Own,     // here, into the window's shared-memory image
  Server,  // by the server's RENDER, from a pixmap of the picture's size
};
// The scaling PELLORA_SCALING asks for ("own" or "server"), Choose when it asks for none.
XScaling ScalingAsked();
// The window's X window through shared memory, when SDL shows it on an X server that can
// share memory with us; otherwise null, and `why` says why not.
std::unique_ptr<FrameTarget> MakeXTarget(SDL_Window* window, XScaling scaling, std::string* why);

}  // namespace window_internal
