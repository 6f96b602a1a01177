#pragma once
// A window on the X display that a program paints from a frame buffer of its own: a window
// some other program made and lends (a screen locker gives each of its hacks one), the
// root window, or a plain window of our own. Kept apart from Xlib's headers so that the
// drawing code above never sees them.
//
// The frame buffer holds one 32-bit value per pixel in the window's own pixel format
// (MapColor converts a colour once), rows of Stride() values. Only the rectangles handed to
// Present reach the screen, so a program that redraws a little sends only that little.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace host {

enum class TTargetKind { OwnWindow, RootWindow, GivenWindow };

struct TTarget {
  TTargetKind Kind = TTargetKind::OwnWindow;
  unsigned long WindowId = 0;  // for GivenWindow
  // For OwnWindow only.
  int32_t Width = 800;
  int32_t Height = 600;
  std::string Title;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

// What happened while waiting; several may come together.
enum THostEvent : uint32_t {
  heNone = 0,
  heResized = 1,   // Width() and Height() changed; the buffer was made anew and is black
  heExposed = 2,   // part of the window lost its contents: present the whole buffer again
  heGone = 4,      // the window no longer exists (or the display connection broke)
  heQuitKey = 8,   // q or Escape in our own window, or its close box
  heWoken = 16,    // the caller's file descriptor became readable
};

class THostWindow {
 public:
  // Connects to $DISPLAY and takes the target. On failure answers null and says why in
  // `error`.
  static std::unique_ptr<THostWindow> Open(const TTarget& target, std::string& error);
  virtual ~THostWindow() = default;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual uint32_t* Pixels() = 0;
  virtual int32_t Stride() const = 0;  // in pixels
  virtual uint32_t MapColor(uint8_t red, uint8_t green, uint8_t blue) const = 0;

  // Sends the rectangles (clipped to the window) to the screen and returns once the
  // display has taken them, so that the buffer may be drawn into again.
  virtual void Present(std::span<const TRect> rects) = 0;

  // Sleeps until the monotonic clock reaches `deadlineNs`, an event of the window arrives,
  // or `wakeFd` (when not negative) becomes readable. Answers a set of THostEvent bits;
  // heNone means the deadline passed.
  virtual uint32_t Wait(int64_t deadlineNs, int wakeFd) = 0;

  // The display's refresh rate in Hz, or 0 when the display does not tell.
  virtual int32_t RefreshRate() const = 0;
};

// The monotonic clock in nanoseconds, the clock that Wait's deadlines are on.
int64_t MonotonicNs();

}  // namespace host
