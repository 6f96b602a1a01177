// Presenting only what changed: the letterbox rule and drawing through it, finding the
// parts of a picture that differ from the last one, and the headless presenter showing
// moving frames exactly as whole frames would show them.
#include <cstring>
#include <random>

#include "ModeFrames.h"
#include "WindowTestSupport.h"
#include "platform/window/FrameTarget.h"
#include "platform/window/KeptPicture.h"
#include "platform/window/Letterbox.h"
#include "platform/window/ScreenMode.h"

using window_internal::AtCorner;
using window_internal::DrawBars;
using window_internal::FitLetterbox;
using window_internal::KeptPicture;
using window_internal::Letterbox;
using window_internal::LetterboxMap;
using window_internal::Picture;

namespace {

TEST(Letterbox, ModesSitCentredAndEachPixelIsABlockOfWholeScreenPixels) {
  struct Case {
    int sourceWidth, sourceHeight, screenWidth, screenHeight;
    int width, height, left, top;
  };
  const Case cases[] = {
      {800, 600, 800, 600, 800, 600, 0, 0},          {800, 600, 1366, 768, 1024, 768, 171, 0},
      {800, 600, 1920, 1080, 1440, 1080, 240, 0},    {800, 600, 3840, 2160, 2880, 2160, 480, 0},
      {640, 480, 1280, 1024, 1280, 960, 0, 32},      {800, 600, 2560, 1600, 2133, 1600, 213, 0},
      {1024, 768, 800, 600, 800, 600, 0, 0},  // larger than the monitor: scaled down
  };
  for (const Case& c : cases) {
    const Letterbox box = FitLetterbox(c.sourceWidth, c.sourceHeight, c.screenWidth, c.screenHeight);
    SCOPED_TRACE(std::to_string(c.screenWidth) + "x" + std::to_string(c.screenHeight));
    EXPECT_EQ(box.width, c.width);
    EXPECT_EQ(box.height, c.height);
    EXPECT_EQ(box.left, c.left);
    EXPECT_EQ(box.top, c.top);
    // Columns (rows) of the box show source columns in order, each source column shown by
    // the run that starts at FirstColumnOf it, and every source column shown when scaling up.
    int expected = 0;
    for (int i = 0; i < box.width; ++i) {
      const int s = box.SourceColumn(i);
      ASSERT_GE(s, expected - 1);
      ASSERT_LE(box.FirstColumnOf(s), i);
      ASSERT_GT(box.FirstColumnOf(s + 1), i);
      if (box.width >= box.sourceWidth) {
        ASSERT_LE(s, expected) << "a source column was skipped";
      }
      expected = s + 1;
    }
    if (box.width >= box.sourceWidth) {
      EXPECT_EQ(expected, box.sourceWidth);
    }
    EXPECT_EQ(box.FirstColumnOf(box.sourceWidth), box.width);
    for (int j = 0; j < box.height; ++j) {
      ASSERT_LE(box.FirstRowOf(box.SourceRow(j)), j);
      ASSERT_GT(box.FirstRowOf(box.SourceRow(j) + 1), j);
    }
    // A pointer off the picture is on its nearest edge.
    int x = -5, y = c.screenHeight + 10;
    box.ToSource(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, c.sourceHeight - 1);
  }
}

// A 5-6-5 picture whose every pixel differs from its neighbours.
std::vector<uint16_t> Noise(int width, int height, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint16_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint16_t& p : pixels) p = static_cast<uint16_t>(random());
  return pixels;
}

Picture Of(const std::vector<uint16_t>& pixels, int width, int height) {
  static const bmp::ScreenRows rows(bmp::kRgb565);
  return Picture{reinterpret_cast<const uint8_t*>(pixels.data()), width, height, width * 2, &rows};
}

TEST(Letterbox, DrawingInPartsGivesTheWholePictureAndBarsOnlyAroundIt) {
  constexpr int kW = 37, kH = 23;
  const std::vector<uint16_t> source = Noise(kW, kH, 7);
  const Picture picture = Of(source, kW, kH);
  for (auto [screenWidth, screenHeight] : {std::pair{37, 23}, std::pair{100, 40}, std::pair{61, 90}, std::pair{20, 30}}) {
    SCOPED_TRACE(std::to_string(screenWidth) + "x" + std::to_string(screenHeight));
    const Letterbox box = FitLetterbox(kW, kH, screenWidth, screenHeight);
    const LetterboxMap map(box);
    const ptrdiff_t pitch = screenWidth * 4;
    std::vector<uint32_t> whole(static_cast<size_t>(screenWidth * screenHeight), 0xABCDEF);
    DrawBars(box, whole.data(), pitch);
    const RECT all = map.Draw(picture, picture.Bounds(), whole.data(), pitch);
    EXPECT_EQ(all.left, box.left);
    EXPECT_EQ(all.right, box.left + box.width);
    EXPECT_EQ(std::count(whole.begin(), whole.end(), 0xABCDEFu), 0) << "a screen pixel was left unpainted";
    // Every screen pixel in the box is its source pixel widened; every other one is black.
    for (int y = 0; y < screenHeight; ++y) {
      for (int x = 0; x < screenWidth; ++x) {
        const bool inside = x >= box.left && x < box.left + box.width && y >= box.top && y < box.top + box.height;
        const uint32_t want =
            inside ? ScreenValue565(source[box.SourceRow(y - box.top) * kW + box.SourceColumn(x - box.left)]) : 0;
        ASSERT_EQ(whole[y * screenWidth + x], want) << x << "," << y;
      }
    }
    // The same picture drawn in pieces of every size lands on exactly the same pixels.
    std::vector<uint32_t> pieces(whole.size(), 0);
    std::mt19937 random(screenWidth);
    for (int left = 0; left < kW;) {
      const int right = std::min(kW, left + 1 + static_cast<int>(random() % 9));
      for (int top = 0; top < kH;) {
        const int bottom = std::min(kH, top + 1 + static_cast<int>(random() % 7));
        const RECT part{left, top, right, bottom};
        const RECT on = map.Draw(picture, part, pieces.data(), pitch);
        EXPECT_TRUE(on.right == on.left || (on.left >= all.left && on.right <= all.right)) << "drawn outside the box";
        top = bottom;
      }
      left = right;
    }
    EXPECT_EQ(FirstDifference(pieces, whole, screenWidth), "");
  }
}

TEST(Letterbox, APictureAtTheCornerIsCutWhereTheScreenEnds) {
  const std::vector<uint16_t> source = Noise(10, 6, 3);
  const Picture picture = Of(source, 10, 6);
  const LetterboxMap map(AtCorner(10, 6, 7, 8));
  std::vector<uint32_t> screen(7 * 8, 0x123456);
  const RECT on = map.Draw(picture, RECT{5, 2, 10, 6}, screen.data(), 7 * 4);
  EXPECT_EQ(on.left, 5);
  EXPECT_EQ(on.right, 7);
  EXPECT_EQ(on.top, 2);
  EXPECT_EQ(on.bottom, 6);
  EXPECT_EQ(screen[2 * 7 + 6], ScreenValue565(source[2 * 10 + 6]));
  EXPECT_EQ(screen[6 * 7 + 6], 0x123456u);  // below the picture: untouched
  const RECT outside = map.Draw(picture, RECT{8, 0, 10, 6}, screen.data(), 7 * 4);
  EXPECT_EQ(outside.right - outside.left, 0);
}

// Every pixel that differs between the kept picture and the next lies in a changed
// rectangle, the rectangles lie inside the picture, and the kept picture is the next one.
void ExpectChangesCovered(KeptPicture& kept, const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                          int width, int height, int bytesPerPixel, const Picture& next) {
  const std::vector<RECT>& changed = kept.Take(next);
  std::vector<bool> covered(static_cast<size_t>(width * height), false);
  for (const RECT& r : changed) {
    ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height && r.left < r.right &&
                r.top < r.bottom);
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) covered[static_cast<size_t>(y * width + x)] = true;
  }
  for (int i = 0; i < width * height; ++i) {
    if (std::memcmp(&before[static_cast<size_t>(i * bytesPerPixel)], &after[static_cast<size_t>(i * bytesPerPixel)],
                    static_cast<size_t>(bytesPerPixel)) != 0) {
      ASSERT_TRUE(covered[static_cast<size_t>(i)]) << "pixel " << i % width << "," << i / width << " changed unsent";
    }
  }
  const Picture k = kept.Kept();
  for (int y = 0; y < height; ++y) {
    ASSERT_EQ(std::memcmp(k.Row(y), next.Row(y), static_cast<size_t>(width * bytesPerPixel)), 0) << "row " << y;
  }
}

TEST(KeptPicture, FindsEveryChangedPixelInEveryFormatAndSendsNothingForTheSame) {
  struct Case {
    bmp::PixelFormat format;
    int width, height;
  };
  for (const Case& c : {Case{bmp::kRgb565, 800, 600}, Case{bmp::kRgb565, 37, 41}, Case{bmp::kRgb888, 123, 9},
                        Case{bmp::DefaultFormat(24), 101, 33}, Case{bmp::kIndexed8, 250, 17}}) {
    SCOPED_TRACE(std::to_string(c.format.bitCount) + " bits, " + std::to_string(c.width) + " wide");
    const int bpp = c.format.BytesPerPixel();
    const uint32_t colors[2] = {0x102030, 0x405060};
    KeptPicture kept;
    const bmp::ScreenRows& rows = kept.Rows(c.format, colors, 2);
    std::mt19937 random(static_cast<uint32_t>(c.width));
    std::vector<uint8_t> now(static_cast<size_t>(c.width * c.height * bpp));
    for (uint8_t& b : now) b = static_cast<uint8_t>(random());
    auto picture = [&](const std::vector<uint8_t>& bytes) {
      return Picture{bytes.data(), c.width, c.height, c.width * bpp, &rows};
    };
    // The first picture goes whole.
    std::vector<RECT> first = kept.Take(picture(now));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].right, c.width);
    EXPECT_EQ(first[0].bottom, c.height);
    // The same bytes again: nothing to send.
    const std::vector<uint8_t> same = now;
    EXPECT_TRUE(kept.Take(picture(same)).empty());
    // Scattered single bytes, then blocks, then one byte in the last pixel.
    for (int round = 0; round < 6; ++round) {
      std::vector<uint8_t> next = now;
      const int changes = round < 3 ? 1 + round * 7 : 3;
      for (int i = 0; i < changes; ++i) {
        const size_t at = random() % next.size();
        if (round < 3) {
          next[at] ^= static_cast<uint8_t>(1 + random() % 255);
        } else {
          for (size_t k = at; k < std::min(next.size(), at + 40 * static_cast<size_t>(round)); ++k) next[k] ^= 0x5A;
        }
      }
      if (round == 5) next.back() ^= 1;
      ExpectChangesCovered(kept, now, next, c.width, c.height, bpp, picture(next));
      now = next;
    }
  }
}

TEST(KeptPicture, ComparesNothingItCannotTrust) {
  const std::vector<uint16_t> a = Noise(40, 30, 1);
  KeptPicture kept;
  const bmp::ScreenRows& rows = kept.Rows(bmp::kRgb565, nullptr, 0);
  const Picture picture{reinterpret_cast<const uint8_t*>(a.data()), 40, 30, 80, &rows};
  kept.Take(picture);
  EXPECT_TRUE(kept.Take(picture).empty());
  kept.Forget();
  EXPECT_EQ(kept.Take(picture).size(), 1u) << "forgotten: whole";
  // Rows upside down (a negative pitch) are other bytes in each row: compared as such.
  const Picture flipped{reinterpret_cast<const uint8_t*>(a.data() + 29 * 40), 40, 30, -80, &rows};
  const std::vector<RECT>& turned = kept.Take(flipped);
  EXPECT_FALSE(turned.empty());
  // Another size, or another format, goes whole.
  const Picture narrower{picture.bytes, 39, 30, 80, &rows};
  EXPECT_EQ(kept.Take(narrower).size(), 1u);
  kept.Rows(bmp::kRgb555, nullptr, 0);
  EXPECT_EQ(kept.Take(Picture{picture.bytes, 39, 30, 80, &kept.Rows(bmp::kRgb555, nullptr, 0)}).size(), 1u);
  // So does an indexed picture whose colour table changed, though its bytes did not.
  const uint32_t grey[1] = {0x808080}, red[1] = {0xFF0000};
  const Picture indexed{picture.bytes, 20, 10, 80, &kept.Rows(bmp::kIndexed8, grey, 1)};
  kept.Take(indexed);
  EXPECT_TRUE(kept.Take(indexed).empty());
  const Picture recoloured{picture.bytes, 20, 10, 80, &kept.Rows(bmp::kIndexed8, red, 1)};
  EXPECT_EQ(kept.Take(recoloured).size(), 1u);
}

// The headless screen at each size, a mode's frames presented one after another: after
// every frame the monitor shows exactly the whole-frame reference.
TEST(PresentChanges, MovingFramesShowAsWholeFramesWouldAtEverySize) {
  for (auto [width, height] : {std::pair{800, 600}, std::pair{1366, 768}, std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    ResetWindowSystem();
    UseHeadlessPresenter();
    headless::SetScreenSize(width, height);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "ModeScreen";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND screen = CreateWindowExA(WS_EX_TOPMOST, "ModeScreen", "", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(BeginScreenMode(screen, ModeFrames::kWidth, ModeFrames::kHeight, 16));
    Pump();
    ModeFrames frames(static_cast<uint32_t>(width));
    for (int frame = 0; frame < 24; ++frame) {
      frames.Step();
      ASSERT_TRUE(PresentWindowPixels(screen, frames.pixels.data(), ModeFrames::kWidth, ModeFrames::kHeight,
                                      ModeFrames::kWidth * 2, 16, nullptr, nullptr, 0));
      if (width > 2000 && frame % 6 != 5) continue;  // the reference takes its time at this size
      WindowPixels shown;
      ASSERT_TRUE(headless::LastFrame(screen, &shown));
      ASSERT_EQ(shown.width, width);
      ASSERT_EQ(FirstDifference(shown.pixels, ExpectedScreen(frames.pixels, width, height), width), "")
          << "frame " << frame;
    }
    // What the back buffer takes later is the last frame, unscaled.
    WindowPixels buffer;
    ASSERT_TRUE(GetWindowPixels(screen, &buffer));
    ASSERT_EQ(buffer.width, ModeFrames::kWidth);
    EXPECT_EQ(buffer.At(400, 300), ScreenValue565(frames.pixels[300 * ModeFrames::kWidth + 400]));
    EndScreenMode();
  }
  ResetWindowSystem();
}

}  // namespace

namespace {

using window_internal::MemoryTarget;

// Memory a compositor hands back in turn: `count` buffers, each drawn every count-th
// present, so that each holds the picture from `count` presents before.
class RotatingBuffers : public MemoryTarget {
 public:
  explicit RotatingBuffers(int count) : buffers(static_cast<size_t>(count)) {}
  std::string Describe(const Letterbox&) const override { return "buffers in turn"; }
  std::vector<std::vector<uint32_t>> buffers;
  size_t drawn = 0;  // the buffer the last present drew
  int sent = 0;      // rectangles sent, all presents together

 protected:
  uint32_t* Memory(int width, int height, ptrdiff_t* pitch, int* age) override {
    drawn = (drawn + 1) % buffers.size();
    std::vector<uint32_t>& b = buffers[drawn];
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    *age = b.size() == size ? static_cast<int>(buffers.size()) : 0;
    if (b.size() != size) b.assign(size, 0xDEADBEEF);
    *pitch = width * 4;
    return b.data();
  }
  bool Send(std::span<const RECT> written) override {
    sent += static_cast<int>(written.size());
    return true;
  }
};

// A target whose memory missed presents draws what they changed too; each buffer, when
// shown, is the whole frame.
TEST(MemoryTarget, MemoryThatMissedPresentsCatchesUpOnWhatTheyChanged) {
  for (const int count : {2, 3}) {
    RotatingBuffers target(count);
    KeptPicture kept;
    const bmp::ScreenRows& rows = kept.Rows(bmp::kRgb565, nullptr, 0);
    ModeFrames frames(5);
    const Letterbox box = FitLetterbox(ModeFrames::kWidth, ModeFrames::kHeight, 1366, 768);
    for (int frame = 0; frame < 12; ++frame) {
      frames.Step();
      const Picture picture{reinterpret_cast<const uint8_t*>(frames.pixels.data()), ModeFrames::kWidth,
                            ModeFrames::kHeight, ModeFrames::kWidth * 2, &rows};
      const std::vector<RECT>& changed = kept.Take(picture);
      ASSERT_TRUE(target.Show(picture, box, changed, false));
      ASSERT_EQ(FirstDifference(target.buffers[target.drawn], ExpectedScreen(frames.pixels, 1366, 768), 1366), "")
          << count << " buffers, frame " << frame;
    }
    EXPECT_GT(target.sent, 12) << count << " buffers: nothing but whole frames were sent";
  }
}

}  // namespace
