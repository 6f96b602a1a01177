#include "hack/HackScene.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "scene/Credit.h"

namespace {

constexpr int32_t FpsMargin = 10;
constexpr int32_t FpsPointSize = 12;
constexpr TColor FpsColor = 0xFFFFFF;  // white
constexpr int64_t FpsPeriodNs = 1000000000;

host::TRect Clip(const host::TRect& r, int32_t width, int32_t height) {
  const int32_t left = std::max(r.Left, 0), top = std::max(r.Top, 0);
  const int32_t right = std::min(r.Left + r.Width, width), bottom = std::min(r.Top + r.Height, height);
  if (right <= left || bottom <= top) return {};
  return {left, top, right - left, bottom - top};
}

bool Empty(const host::TRect& r) { return r.Width <= 0 || r.Height <= 0; }

bool Overlap(const host::TRect& a, const host::TRect& b) {
  return a.Left < b.Left + b.Width && b.Left < a.Left + a.Width && a.Top < b.Top + b.Height &&
         b.Top < a.Top + a.Height;
}

host::TRect Union(const host::TRect& a, const host::TRect& b) {
  const int32_t left = std::min(a.Left, b.Left), top = std::min(a.Top, b.Top);
  const int32_t right = std::max(a.Left + a.Width, b.Left + b.Width);
  const int32_t bottom = std::max(a.Top + a.Height, b.Top + b.Height);
  return {left, top, right - left, bottom - top};
}

// A ball's coordinate carried over to an axis of a new length, kept clear of both edges:
// a ball on or past an edge would have its speed turned back at every step.
int32_t Rescale(int32_t value, int32_t oldLength, int32_t newLength, int32_t radius) {
  if (newLength <= 2 * radius + 2) return newLength / 2;
  const int64_t scaled = oldLength > 0 ? static_cast<int64_t>(value) * newLength / oldLength : newLength / 2;
  return static_cast<int32_t>(std::clamp<int64_t>(scaled, radius + 1, newLength - radius - 1));
}

}  // namespace

std::string FpsText(double framesPerSecond) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f fps", framesPerSecond);
  return text;
}

THackScene::THackScene(const TSprite& ball, uint8_t ballCount, uint8_t maxSpeed, bool showFps, TColorMap colorMap)
    : FColorMap(std::move(colorMap)),
      FBlack(FColorMap(0)),
      FBallCount(ballCount),
      FMaxSpeed(maxSpeed),
      FActive(ActiveBalls(ballCount)),
      FShowFps(showFps) {
  FBall = Prepare(ball);
  FCaption = Prepare(TextSprite(CreditCaption, CreditFontSize, static_cast<TColor>(CreditColor)));
  FTable.RadiusX = ball.Width / 2;
  FTable.RadiusY = ball.Height / 2;
}

void THackScene::Start(int32_t width, int32_t height) {
  FWidth = width;
  FHeight = height;
  FTable.PlaceBalls(width, height, FBallCount, FMaxSpeed);
  FDrawn.clear();
}

void THackScene::Resize(int32_t width, int32_t height) {
  for (int i = 0; i < FActive; ++i) {
    TBall& b = FTable.Balls[static_cast<size_t>(i)];
    b.X = Rescale(b.X, FWidth, width, FTable.RadiusX);
    b.Y = Rescale(b.Y, FHeight, height, FTable.RadiusY);
  }
  FWidth = width;
  FHeight = height;
  FDrawn.clear();
}

const std::vector<host::TRect>& THackScene::Step(const TFrameBuffer& buffer, int64_t nowNs) {
  for (const host::TRect& r : FDrawn) Erase(buffer, r);
  FNow.clear();
  for (int i = 0; i < FActive; ++i) {
    FTable.AdvanceBall(i, buffer.Width, buffer.Height, FBallCount);
    const TBall& b = FTable.Balls[static_cast<size_t>(i)];
    FNow.push_back(Draw(buffer, FBall, b.X - FTable.RadiusX, b.Y - FTable.RadiusY));
  }
  if (FFrameCount < CreditFrames) {
    FNow.push_back(Draw(buffer, FCaption, CreditLeft, CreditTop));
    ++FFrameCount;
  }
  if (FShowFps) {
    UpdateFps(nowNs);
    if (FFps.Width > 0) FNow.push_back(Draw(buffer, FFps, FpsMargin, buffer.Height - FpsMargin - FFps.Height));
  }
  CollectDirty(buffer);
  FDrawn.swap(FNow);
  return FDirty;
}

// Each item's old and new place are sent as one rectangle when they overlap, which they
// do for any ball slower than its own size per frame.
void THackScene::CollectDirty(const TFrameBuffer& buffer) {
  FDirty.clear();
  const size_t n = std::max(FDrawn.size(), FNow.size());
  for (size_t i = 0; i < n; ++i) {
    const host::TRect old = i < FDrawn.size() ? FDrawn[i] : host::TRect{};
    const host::TRect now = i < FNow.size() ? FNow[i] : host::TRect{};
    if (!Empty(old) && !Empty(now) && Overlap(old, now)) {
      FDirty.push_back(Clip(Union(old, now), buffer.Width, buffer.Height));
    } else {
      if (!Empty(old)) FDirty.push_back(old);
      if (!Empty(now)) FDirty.push_back(now);
    }
  }
}

void THackScene::UpdateFps(int64_t nowNs) {
  if (FFpsSince < 0) FFpsSince = nowNs;
  ++FFpsFrames;
  const int64_t elapsed = nowNs - FFpsSince;
  if (elapsed < FpsPeriodNs) return;
  FFps = Prepare(TextSprite(FpsText(FFpsFrames * 1e9 / static_cast<double>(elapsed)), FpsPointSize, FpsColor));
  FFpsSince = nowNs;
  FFpsFrames = 0;
}

THackScene::TPrepared THackScene::Prepare(const TSprite& sprite) const {
  TPrepared prepared;
  prepared.Width = sprite.Width;
  prepared.Height = sprite.Height;
  prepared.Pixels.resize(sprite.Rgb.size());
  for (size_t i = 0; i < sprite.Rgb.size(); ++i) prepared.Pixels[i] = FColorMap(sprite.Rgb[i]);
  for (int32_t y = 0; y < sprite.Height; ++y) {
    int32_t x = 0;
    while (x < sprite.Width) {
      while (x < sprite.Width && sprite.At(x, y) == 0) ++x;
      const int32_t left = x;
      while (x < sprite.Width && sprite.At(x, y) != 0) ++x;
      if (x > left) prepared.Runs.push_back({y, left, x});
    }
  }
  return prepared;
}

// Copies the sprite's showing pixels with their top-left corner at (left, top); answers the
// part of the buffer its rectangle covers.
host::TRect THackScene::Draw(const TFrameBuffer& buffer, const TPrepared& sprite, int32_t left, int32_t top) const {
  const host::TRect area = Clip({left, top, sprite.Width, sprite.Height}, buffer.Width, buffer.Height);
  if (Empty(area)) return area;
  for (const TRun& run : sprite.Runs) {
    const int32_t y = top + run.Y;
    if (y < area.Top || y >= area.Top + area.Height) continue;
    const int32_t from = std::max(left + run.Left, area.Left);
    const int32_t to = std::min(left + run.Right, area.Left + area.Width);
    if (from >= to) continue;
    const uint32_t* source = sprite.Pixels.data() + static_cast<size_t>(run.Y) * static_cast<size_t>(sprite.Width) +
                             static_cast<size_t>(from - left);
    uint32_t* target = buffer.Pixels + static_cast<size_t>(y) * static_cast<size_t>(buffer.Stride) + static_cast<size_t>(from);
    std::copy(source, source + (to - from), target);
  }
  return area;
}

// The buffer is shared with the display server, which has just read these lines: each
// store must first take its line back. Wide stores keep many lines on their way at once,
// where a loop of 4-byte stores waits for them one by one.
void THackScene::Erase(const TFrameBuffer& buffer, const host::TRect& rect) const {
  const host::TRect r = Clip(rect, buffer.Width, buffer.Height);
  for (int32_t y = r.Top; y < r.Top + r.Height; ++y) {
    uint32_t* row = buffer.Pixels + static_cast<size_t>(y) * static_cast<size_t>(buffer.Stride) + static_cast<size_t>(r.Left);
    if (FBlack == 0) {
      std::memset(row, 0, static_cast<size_t>(r.Width) * sizeof(uint32_t));
    } else {
      std::fill(row, row + r.Width, FBlack);
    }
  }
}
