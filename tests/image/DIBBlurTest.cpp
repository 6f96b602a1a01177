#include <gtest/gtest.h>

#include <random>

#include "DIBTestSupport.h"
#include "platform/clock/Clock.h"

using dibtest::ExpectError;

namespace {

struct Kind {
  int bits;
  blurref::Masks masks;
};
const Kind kKinds[] = {{1, {}}, {4, {}}, {8, {}}, {16, blurref::Masks555()}, {16, blurref::Masks565()}, {24, {}}, {32, {}}};

struct Event {
  TProgressStage stage;
  int percent;
  bool redraw;
  TRect rect;
  std::string message;
};

std::vector<Event>* Record(TDIB& dib, std::vector<Event>& events) {
  dib.SetOnProgress([&events](TObject*, TProgressStage stage, uint8_t percent, bool redraw, const TRect& r,
                              const std::string& msg) { events.push_back({stage, percent, redraw, r, msg}); });
  return &events;
}

// A clock that moves on by a fixed step each time it is read.
class SteppingClock : public ClockSource {
 public:
  explicit SteppingClock(uint64_t step) : step_(step) {}
  uint64_t Milliseconds() override { return now_ += step_; }
  void SystemTime(SYSTEMTIME* time) override { *time = {}; }
  void Sleep(DWORD ms) override { now_ += ms; }

 private:
  uint64_t step_;
  uint64_t now_ = 5000;
};

struct ClockGuard {
  explicit ClockGuard(ClockSource* c) { InstallClock(c); }
  ~ClockGuard() { InstallClock(nullptr); }
};

}  // namespace

// Blur through the DIB (sharing, reformatting, colour tables and all) against the direct
// per-pixel sum, for every pair of source and target formats.
TEST(TDIBBlur, MatchesTheDirectSumThroughTheDIB) {
  std::mt19937 rng(2024);
  struct Case {
    int w, h, radius;
  };
  const Case cases[] = {{1, 1, 3}, {6, 5, 1}, {17, 9, -2}, {40, 30, 100}, {300, 200, 2}};
  for (const Kind& sk : kKinds)
    for (const Kind& dk : kKinds)
      for (const Case& c : cases) {
        if (c.w == 300 && (sk.bits != 24 && dk.bits != 24)) continue;  // the big one for colour pairs only
        const blurref::Picture src = blurref::RandomPicture(c.w, c.h, sk.bits, sk.masks, rng);
        TDIB dib;
        dibtest::Load(dib, src);
        if (dk.bits == 16 || dk.bits == 32) dib.SetPendingPixelFormat(dibtest::FormatOf(dk.masks));
        const bool fits = DIBFormatFits(dk.bits, dib.PendingPixelFormat());
        if (!fits) {
          ExpectError<EInvalidGraphicOperation>([&] { dib.Blur(dk.bits, c.radius); }, "PixelFormat in invalid");
          continue;
        }
        dib.Blur(dk.bits, c.radius);
        ASSERT_EQ(dib.BitCount(), dk.bits);
        blurref::Picture expected = src;
        expected.bits = dk.bits;
        expected.masks = dk.masks;
        expected.rowBytes = blurref::RowBytesOf(dk.bits, c.w);
        // Bits past the last pixel of a 1- or 4-bit row are whatever the new store held.
        expected.bytes = dibtest::Rows(dib);
        blurref::Blur(src, expected, c.radius);
        ASSERT_EQ(dibtest::Rows(dib), expected.bytes)
            << sk.bits << " -> " << dk.bits << " " << c.w << "x" << c.h << " r" << c.radius;
        if (dk.bits <= 8) {
          const int n = 1 << dk.bits;
          const int top = dk.bits == 1 ? 192 : 255;
          EXPECT_EQ(dib.ColorTable()[n - 1].rgbGreen, top);
          EXPECT_EQ(dib.ColorTable()[n / 2].rgbRed, dk.bits == 1 ? 192 : (n / 2) * (255 / (n - 1)));
          if (n < 256) {
            EXPECT_EQ(dib.ColorTable()[n].rgbBlue, 0);
          }
        }
      }
}

TEST(TDIBBlur, RadiusZeroAndEmptyDIBsChangeNothing) {
  std::vector<Event> events;
  TDIB empty;
  Record(empty, events);
  empty.Blur(24, 5);
  EXPECT_TRUE(empty.IsEmpty());
  TDIB dib;
  Record(dib, events);
  dib.Reformat(3, 3, 8);
  dib.WritePixel(1, 1, 200);
  const TDIBSharedImage* before = dib.Image();
  dib.Blur(24, 0);
  EXPECT_EQ(dib.Image(), before);
  EXPECT_EQ(dib.BitCount(), 8);
  EXPECT_TRUE(events.empty());
}

TEST(TDIBBlur, OneColourStaysThatColourAndABigRadiusGivesTheMean) {
  TDIB dib;
  dib.Reformat(13, 7, 24);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) dib.WritePixel(x, y, 0x3C7BA1);
  dib.Blur(24, 4);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(dib.ReadPixel(x, y), 0x3C7BA1u);

  TDIB two;
  two.Reformat(2, 1, 24);
  two.WritePixel(0, 0, 0x000010);
  two.WritePixel(1, 0, 0x000021);
  two.Blur(24, 1000);
  EXPECT_EQ(two.ReadPixel(0, 0), 0x000018u);  // (16 + 33) div 2
  EXPECT_EQ(two.ReadPixel(1, 0), 0x000018u);
}

TEST(TDIBBlur, AHolderOfTheEarlierResultKeepsIt) {
  TDIB dib;
  dib.Reformat(5, 5, 24);
  dib.WritePixel(2, 2, 0xFFFFFF);
  dib.Blur(24, 1);
  const uint32_t first = dib.ReadPixel(1, 1);
  EXPECT_EQ(first, 0x1C1C1Cu);  // 255 div 9
  TPicture picture;
  picture.SetGraphic(&dib);
  TDIB holder;
  holder.AssignFrom(&dib);
  dib.Blur(24, 1);
  EXPECT_NE(dib.ReadPixel(0, 0), 0u);  // the second blur spread further
  EXPECT_EQ(holder.ReadPixel(1, 1), first);
  EXPECT_EQ(holder.ReadPixel(0, 0), 0u);
  EXPECT_EQ(static_cast<TDIB*>(picture.Graphic())->ReadPixel(1, 1), first);
}

TEST(TDIBBlur, RunLengthPicturesAreDecodedBeforeTheyAreRead) {
  BITMAPINFOHEADER bi{40, 4, 1, 1, 8, BI_RLE8, 4, 0, 0, 0, 0};
  TMemoryStream s;
  s.WriteBuffer(&bi, 40);
  RGBQUAD table[256] = {};
  table[7] = {0, 0, 90, 0};
  s.WriteBuffer(table, sizeof(table));
  const uint8_t data[4] = {4, 7, 0, 1};
  s.WriteBuffer(data, 4);
  s.SetPosition(0);
  TDIB dib;
  dib.ReadImageData(s);
  TDIB sharer;
  sharer.AssignFrom(&dib);
  dib.Blur(24, 1);
  EXPECT_EQ(dib.ReadPixel(0, 0), 90u);
  EXPECT_EQ(dib.ReadPixel(3, 0), 90u);
  EXPECT_TRUE(sharer.Image()->Compressed());
}

TEST(TDIBBlur, ErrorsLeaveThePictureAndStillEndTheProgress) {
  TDIB dib;
  dib.Reformat(4, 4, 8);
  dib.WritePixel(0, 0, 9);
  std::vector<Event> events;
  Record(dib, events);
  ExpectError<EInvalidGraphicOperation>([&] { dib.Blur(3, 1); }, "Bitcount in invalid (3)");
  EXPECT_EQ(dib.BitCount(), 8);
  EXPECT_EQ(dib.ReadPixel(0, 0), 9u);
  EXPECT_EQ(dib.Image()->RefCount(), 1);  // the temporary sharer is gone
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events.front().stage, psStarting);
  EXPECT_EQ(events.back().stage, psEnding);
  ExpectError<EInvalidGraphicOperation>([&] { dib.Blur(16, 1); }, "PixelFormat in invalid");
  TDIB d16;
  d16.SetPendingPixelFormat(DIBFormat555());
  d16.Reformat(2, 2, 16);
  ExpectError<EInvalidGraphicOperation>([&] { d16.Blur(24, 1); }, "PixelFormat in invalid");
}

TEST(TDIBBlur, ProgressReportsAreThrottledByTheTickCount) {
  // 10 ms pass between any two readings of the tick count.
  SteppingClock clock(10);
  ClockGuard guard(&clock);
  TDIB dib;
  dib.Reformat(10, 300, 8);
  std::vector<Event> events;
  Record(dib, events);
  dib.Blur(8, 1);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().stage, psStarting);
  EXPECT_EQ(events.front().percent, 0);
  EXPECT_FALSE(events.front().redraw);
  EXPECT_EQ(events.front().rect, Rect(0, 0, 10, 300));
  EXPECT_EQ(events.front().message, "Blur");
  // A redraw needs more than 200 ms and more than 32 rows since the last one: with 10 ms
  // per row that is every 33 rows.
  std::vector<int> redrawRows;
  int lastRedrawRow = 0, lastPercent = 0;
  for (size_t i = 1; i + 1 < events.size(); ++i) {
    const Event& e = events[i];
    EXPECT_EQ(e.stage, psRunning);
    EXPECT_EQ(e.rect.top, lastRedrawRow);
    if (e.redraw) {
      redrawRows.push_back(e.rect.bottom);
      lastRedrawRow = e.rect.bottom;
    } else {
      EXPECT_GT(e.percent, lastPercent);
      EXPECT_EQ(e.percent, e.rect.bottom * 100 / 300);
    }
    lastPercent = e.percent;
  }
  EXPECT_EQ(redrawRows, (std::vector<int>{33, 66, 99, 132, 165, 198, 231, 264, 297}));
  EXPECT_EQ(events.back().stage, psEnding);
  EXPECT_EQ(events.back().percent, 100);
  EXPECT_TRUE(events.back().redraw);
  EXPECT_EQ(events.back().rect, Rect(0, 297, 10, 300));
}

TEST(TDIBBlur, NoRedrawWhenTheClockStandsStill) {
  ManualClock clock(1000);
  ClockGuard guard(&clock);
  TDIB dib;
  dib.Reformat(3, 50, 24);
  std::vector<Event> events;
  Record(dib, events);
  dib.Blur(24, 2);
  // One report per new percent (every row but those where 2 rows give the same percent),
  // never a redraw before the end.
  int running = 0;
  for (const Event& e : events)
    if (e.stage == psRunning) {
      ++running;
      EXPECT_FALSE(e.redraw);
      EXPECT_EQ(e.rect.top, 0);
    }
  EXPECT_EQ(running, 49);  // rows 1 to 49 each reach a new percent (2 per row)
  EXPECT_EQ(events.back().rect, Rect(0, 0, 3, 50));
}
