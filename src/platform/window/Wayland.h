#pragma once
// The native Wayland route of the SDL presenter: what SDL's Wayland driver does not give.
// SDL makes the windows and reads input. The outputs come from a connection of our own
// (Monitors.h), and frames reach a window as shared-memory buffers of our own attached to
// the window's surface: SDL 2.26 has no software window surface on Wayland, and its only
// other way to present is OpenGL ES, which on a machine without a GPU is a software
// rasterizer, at several times the CPU. (SDL still loads the GL driver for every Wayland
// window, which nothing here can stop: on such a machine some 60 MB of resident memory,
// mostly the driver's shared code; nothing is drawn through it.) Wayland's headers stay in
// the .cpp files.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window/Letterbox.h"
#include "platform/window/Monitors.h"

struct SDL_Window;
struct wl_display;
struct wl_surface;

namespace window_internal {

// What a compositor says about one output. Sizes are pixels unless named logical.
struct WaylandOutputState {
  int x = 0;  // wl_output's geometry: the output's place in the compositor's space
  int y = 0;
  int transform = 0;  // wl_output's transform: odd values turn the output a quarter
  int modeWidth = 0;  // the current mode, as the output's own pixels before turning
  int modeHeight = 0;
  int scale = 1;  // whole-number scale; a fractional one shows only in the logical size
  bool hasLogical = false;  // xdg-output said where the output is and how large in logical units
  MonitorRect logical;
};

// The output's rectangle in the compositor's logical space, where windows are sized and
// the pointer moves.
MonitorRect LogicalRect(const WaylandOutputState& output);
// The pixels the output shows across and down, as it stands (turned).
void OutputPixels(const WaylandOutputState& output, int* width, int* height);

// A window of `logicalWidth` x `logicalHeight` on a monitor at `monitor` with `pixelWidth`
// x `pixelHeight` pixels: how many of them the window covers. Exactly the monitor's pixels
// when it covers the monitor.
void WindowPixels(int logicalWidth, int logicalHeight, const MonitorRect& monitor, int pixelWidth, int pixelHeight,
                  int* width, int* height);

// A rectangle of buffer pixels, [left, right) x [top, bottom).
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// The buffer pixels that show the picture's pixels [left, right) x [top, bottom) when the
// picture is letterboxed by `box`: every one of them, and at most a pixel more each way.
PixelRect OnScreen(const Letterbox& box, int left, int top, int right, int bottom);

// Ends the program at once (status 1) when the connection to the compositor is gone: SDL
// would go on without a word, waiting for events that never come.
void EndIfWaylandLost(wl_display* display);

// The shared-memory buffers of one window, shown on its surface. Two or three, so that one
// is drawn while the compositor may still read the last; the compositor scales a buffer
// with more pixels than the window has logical units (HiDPI) through the viewporter.
class WaylandFrames {
 public:
  WaylandFrames(wl_display* display, wl_surface* surface);
  ~WaylandFrames();
  // The frames of an SDL window on Wayland, and SDL's connection in `display`; nullptr
  // when the window is not on Wayland or the compositor offers no shared memory.
  static std::unique_ptr<WaylandFrames> For(SDL_Window* window, wl_display** display);
  WaylandFrames(const WaylandFrames&) = delete;
  WaylandFrames& operator=(const WaylandFrames&) = delete;

  // Whether frames can be shown at all (the compositor offers shared memory).
  bool Usable() const;
  // Whether a buffer may have more pixels than the window has logical units (the
  // compositor offers the viewporter); without it buffers are made at the logical size.
  bool Scales() const;

  // A buffer of `width` x `height` pixels (XRGB) for the next frame, and its pitch in bytes;
  // the frame is drawn whole. `layout` names how the caller lays its picture out (the
  // letterbox); `*sameLayout` says whether this buffer already holds a frame laid out the
  // same way, whose black bars need no drawing again. nullptr when no buffer is free (the
  // compositor still reads them all) or none can be made: the frame is then left out.
  uint32_t* Begin(int width, int height, uint64_t layout, int* pitch, bool* sameLayout);
  // Shows the buffer from Begin on a window of `logicalWidth` x `logicalHeight`, telling
  // the compositor that only `changed` differs from the frame shown before (all of it when
  // that frame was laid out differently).
  void Show(const PixelRect& changed, int logicalWidth, int logicalHeight);
  // Shows black over the whole window, at almost no cost (a one-pixel buffer, scaled).
  void ShowBlack(int logicalWidth, int logicalHeight);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace window_internal
