#pragma once
// The saver's scene as the hack draws it: the same balls, motion rules, ball picture and
// credit line, drawn into a frame buffer that the window keeps. A frame erases only what
// the last one drew and answers the rectangles that changed, so that only those travel
// to the screen: at 1920 x 1080 a hundred balls change about a tenth of the pixels.
#include <cstdint>
#include <functional>
#include <vector>

#include "hack/Sprite.h"
#include "platform/hostwindow/HostWindow.h"
#include "scene/BallMotion.h"

struct TFrameBuffer {
  uint32_t* Pixels = nullptr;
  int32_t Stride = 0;  // in pixels
  int32_t Width = 0;
  int32_t Height = 0;
};

// Turns 0x00RRGGBB into the frame buffer's pixel value.
using TColorMap = std::function<uint32_t(uint32_t rgb)>;

class THackScene {
 public:
  THackScene(const TSprite& ball, uint8_t ballCount, uint8_t maxSpeed, bool showFps, TColorMap colorMap);

  // Places the balls over a width x height area, from the random generator as it stands.
  void Start(int32_t width, int32_t height);
  // The area changed size and its buffer is black: each ball keeps its place relative to
  // the area, just inside the edges, so none is left stranded outside the new one.
  void Resize(int32_t width, int32_t height);

  // One frame: erases what the previous frame drew, moves every ball one step, draws the
  // balls in slot order, then the credit line (first frames only) and the frame rate.
  // Answers the rectangles that changed, clipped to the buffer.
  const std::vector<host::TRect>& Step(const TFrameBuffer& buffer, int64_t nowNs);

  const TBallTable& Table() const { return FTable; }
  TBallTable& Table() { return FTable; }
  int ActiveCount() const { return FActive; }
  int32_t FrameCount() const { return FFrameCount; }

 private:
  // A sprite in the buffer's pixel format, with the runs of pixels that show on each row.
  struct TRun {
    int32_t Y, Left, Right;  // [Left, Right)
  };
  struct TPrepared {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;
    std::vector<TRun> Runs;
  };
  TPrepared Prepare(const TSprite& sprite) const;
  host::TRect Draw(const TFrameBuffer& buffer, const TPrepared& sprite, int32_t left, int32_t top) const;
  void Erase(const TFrameBuffer& buffer, const host::TRect& rect) const;
  void UpdateFps(int64_t nowNs);
  void CollectDirty(const TFrameBuffer& buffer);

  TColorMap FColorMap;
  uint32_t FBlack;
  TPrepared FBall;
  TPrepared FCaption;
  TPrepared FFps;
  TBallTable FTable;
  uint8_t FBallCount;
  uint8_t FMaxSpeed;
  int FActive;
  bool FShowFps;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FFrameCount = 0;
  int64_t FFpsSince = -1;
  int32_t FFpsFrames = 0;
  std::vector<host::TRect> FDrawn;    // what the previous frame drew
  std::vector<host::TRect> FNow;      // what this frame drew
  std::vector<host::TRect> FDirty;
};

// The text of the frame-rate line.
std::string FpsText(double framesPerSecond);
