#include <gtest/gtest.h>

#include <random>

#include "BlurReference.h"
#include "image/DIBBlur.h"

namespace {

struct Kind {
  int bits;
  blurref::Masks masks;
};
const Kind kKinds[] = {{1, {}}, {4, {}}, {8, {}}, {16, blurref::Masks555()}, {16, blurref::Masks565()}, {24, {}}, {32, {}}};

DIBPixelFormat FormatOf(const Kind& k) {
  return MakeDIBPixelFormatMask(k.masks.r, k.masks.g, k.masks.b);
}

// Runs the real pass on a bottom-up copy of src, as a store holds it, into a copy of dst.
blurref::Picture RunPass(const blurref::Picture& src, const Kind& srcKind, const blurref::Picture& dst,
                         const Kind& dstKind, int radius, std::vector<int>* rowsDone = nullptr) {
  std::vector<uint8_t> bottomUp(src.bytes.size());
  for (int y = 0; y < src.h; ++y)
    std::memcpy(bottomUp.data() + (src.h - 1 - y) * src.rowBytes, src.Row(y), src.rowBytes);
  DIBBlurSource s;
  s.Width = src.w;
  s.Height = src.h;
  s.BitCount = src.bits;
  s.TopRow = bottomUp.data() + (src.h - 1) * src.rowBytes;
  s.RowStep = -static_cast<ptrdiff_t>(src.rowBytes);
  s.ColorTable = src.table;
  s.PixelFormat = FormatOf(srcKind);
  blurref::Picture out = dst;
  DIBBlurTarget t;
  t.BitCount = dst.bits;
  t.PixelFormat = FormatOf(dstKind);
  t.ScanLine = [&](int32_t y) { return out.Row(y); };
  if (rowsDone) t.RowDone = [&](int32_t y) { rowsDone->push_back(y); };
  DIBBoxBlur(s, t, radius);
  return out;
}

}  // namespace

TEST(DIBBoxBlur, MatchesTheDirectSumForEveryPairOfFormats) {
  std::mt19937 rng(1234);
  struct Case {
    int w, h, radius;
  };
  const Case cases[] = {{1, 1, 1}, {1, 1, 50}, {7, 1, 2}, {1, 9, -3}, {13, 11, 1}, {13, 11, 6},
                        {33, 17, 40}, {64, 3, 31}, {5, 70, 2}, {31, 29, 15}};
  for (const Kind& sk : kKinds)
    for (const Kind& dk : kKinds)
      for (const Case& c : cases) {
        const blurref::Picture src = blurref::RandomPicture(c.w, c.h, sk.bits, sk.masks, rng);
        blurref::Picture expected = blurref::RandomPicture(c.w, c.h, dk.bits, dk.masks, rng);
        const blurref::Picture got = RunPass(src, sk, expected, dk, c.radius);
        blurref::Blur(src, expected, c.radius);
        ASSERT_EQ(got.bytes, expected.bytes) << sk.bits << " -> " << dk.bits << " " << c.w << "x" << c.h << " r"
                                             << c.radius;
      }
}

TEST(DIBBoxBlur, MatchesTheDirectSumOnLargerPictures) {
  std::mt19937 rng(99);
  struct Case {
    int w, h, radius, srcKind, dstKind;
  };
  const Case cases[] = {{300, 200, 1, 5, 5}, {300, 200, 4, 2, 5}, {300, 200, 2, 6, 2}, {299, 201, 3, 3, 0},
                        {257, 150, 7, 5, 1}, {120, 80, 1000, 5, 5}, {120, 80, 100, 4, 6}, {200, 3, 150, 5, 3},
                        // Windows of more rows than 16-bit column sums can hold.
                        {20, 300, 150, 5, 5}, {20, 300, 150, 2, 2}, {30, 280, 130, 6, 1}, {9, 100, 60, 0, 2}};
  for (const Case& c : cases) {
    const Kind& sk = kKinds[c.srcKind];
    const Kind& dk = kKinds[c.dstKind];
    const blurref::Picture src = blurref::RandomPicture(c.w, c.h, sk.bits, sk.masks, rng);
    blurref::Picture expected = blurref::RandomPicture(c.w, c.h, dk.bits, dk.masks, rng);
    const blurref::Picture got = RunPass(src, sk, expected, dk, c.radius);
    blurref::Blur(src, expected, c.radius);
    ASSERT_EQ(got.bytes, expected.bytes) << c.w << "x" << c.h << " r" << c.radius;
  }
}

// Boxes of more than two million pixels leave the 32-bit path; with a radius past the
// picture every pixel is the mean of the whole picture, which is quick to check.
TEST(DIBBoxBlur, HugeBoxesAverageTheWholePicture) {
  std::mt19937 rng(7);
  const int w = 1500, h = 1400;
  const blurref::Picture src = blurref::RandomPicture(w, h, 24, {}, rng);
  long long sum[3] = {};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += src.Row(y)[3 * x + c];
  const long long n = static_cast<long long>(w) * h;
  for (int dstKind : {5, 2}) {
    const Kind& dk = kKinds[dstKind];
    const blurref::Picture got = RunPass(src, kKinds[5], blurref::RandomPicture(w, h, dk.bits, {}, rng), dk, INT32_MIN);
    const uint8_t grey = static_cast<uint8_t>((sum[0] + sum[1] + sum[2]) / n / 3);
    for (int y = 0; y < h; y += 97)
      for (int x = 0; x < w; x += 13) {
        if (dk.bits == 24) {
          for (int c = 0; c < 3; ++c) ASSERT_EQ(got.Row(y)[3 * x + c], sum[c] / n);
        } else {
          ASSERT_EQ(got.Row(y)[x], grey);
        }
      }
  }
}

TEST(DIBBoxBlur, RowsAreAskedForAndReportedTopToBottom) {
  std::mt19937 rng(3);
  const blurref::Picture src = blurref::RandomPicture(4, 5, 8, {}, rng);
  std::vector<int> rows;
  RunPass(src, kKinds[2], src, kKinds[2], 1, &rows);
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4}));
  rows.clear();
  RunPass(src, kKinds[2], src, kKinds[2], 0, &rows);  // radius 0 touches nothing
  EXPECT_TRUE(rows.empty());
}

TEST(DIBBoxBlur, RefusesFormatsAStoreCannotHave) {
  std::mt19937 rng(3);
  const blurref::Picture src = blurref::RandomPicture(4, 5, 16, blurref::Masks555(), rng);
  Kind bad{16, {0xFF0000, 0xFF00, 0xFF}};
  EXPECT_THROW(RunPass(src, bad, src, kKinds[3], 1), std::invalid_argument);
  Kind badBits{12, {}};
  blurref::Picture dst = src;
  dst.bits = 12;
  EXPECT_THROW(RunPass(src, kKinds[3], dst, badBits, 1), std::invalid_argument);
}
