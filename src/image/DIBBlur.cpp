#include "image/DIBBlur.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace {

// Boxes up to this many pixels keep every sum below 2^32 (765 per pixel at most) and let
// the divisions become exact multiplies; larger ones take the 64-bit path with divisions.
constexpr uint64_t kFastBoxLimit = 2000000;

// Division by a fixed divisor d as a multiply and a shift, exact for 0 <= t <= maxN.
// With k = bit_width(maxN * d) and m = ceil(2^k / d), write m * d = 2^k + e, 0 <= e < d.
// Then t * m / 2^k = t / d + t * e / (d * 2^k), and t * e <= maxN * (d - 1) < 2^k keeps the
// excess below 1 / d: it can lift t / d by less than the gap to the next integer, so the
// floor is unchanged. Since 2^k <= 2 * maxN * d, m <= 2 * maxN + 1, which is below 2^32
// for maxN < 2^31: one 32 x 32 -> 64-bit multiply per quotient.
struct Divider {
  uint32_t m = 1;
  uint32_t k = 0;
  Divider() = default;
  Divider(uint64_t d, uint64_t maxN) {
    k = static_cast<uint32_t>(std::bit_width(maxN * d));
    m = static_cast<uint32_t>(((uint64_t{1} << k) + d - 1) / d);
  }
  uint32_t operator()(uint32_t t) const { return static_cast<uint32_t>((uint64_t{t} * m) >> k); }
};

// (v * 43691) >> 17 is v div 3 for 0 <= v < 2^15: the multiplier exceeds 2^17 / 3 by
// 1 / 3, so the excess v / 393216 stays below the 1 / 3 gap to the next integer.
inline uint32_t DivBy3(uint32_t v) { return (v * 43691u) >> 17; }

// The inner loops, over plain restrict pointers so the compiler vectorises them. The
// 32-bit ones, which every ordinary blur runs, are also built for AVX2 and picked when the
// processor has it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PELLORA_BLUR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PELLORA_BLUR_CLONES
#endif

PELLORA_BLUR_CLONES void DivideRow(const uint32_t* __restrict ahead, const uint32_t* __restrict behind,
                                   uint8_t* __restrict out, size_t n, uint32_t m, uint32_t k) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((uint64_t{ahead[i] - behind[i]} * m) >> k);
}
PELLORA_BLUR_CLONES void DivideGreyRow(const uint32_t* __restrict ahead, const uint32_t* __restrict behind,
                                       uint8_t* __restrict out, size_t n, uint32_t m, uint32_t k) {
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>(DivBy3(static_cast<uint32_t>((uint64_t{ahead[i] - behind[i]} * m) >> k)));
}

// The same quotients through single-precision floats, twice as many per instruction. With
// f the smallest float not below 1 / d and t < 2^24 exact as a float: t * f >= t / d, so
// a quotient q = t / d exactly is never rounded below q; and t * f < t / d * (1 + 2^-22)
// stays below the next integer by more than half an ulp while (q + 1) * d * 2^-22 plus
// half an ulp of q + 1 is under 1 / d, which holds for d <= kFloatDivisorLimit with
// q <= 765 (the grey sums' range).
constexpr uint64_t kFloatDivisorLimit = 4096;
float FloatReciprocal(uint64_t d) {
  float f = static_cast<float>(1.0 / static_cast<double>(d));
  while (static_cast<double>(f) * static_cast<double>(d) < 1.0) f = std::nextafter(f, 2.0f);
  return f;
}
PELLORA_BLUR_CLONES void DivideRowFloat(const uint32_t* __restrict ahead, const uint32_t* __restrict behind,
                                        uint8_t* __restrict out, size_t n, float f) {
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>(static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(ahead[i] - behind[i])) * f));
}
PELLORA_BLUR_CLONES void DivideGreyRowFloat(const uint32_t* __restrict ahead, const uint32_t* __restrict behind,
                                            uint8_t* __restrict out, size_t n, float f) {
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>(DivBy3(static_cast<uint32_t>(
        static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(ahead[i] - behind[i])) * f))));
}

template <typename Sum, typename In>
void AddRow(Sum* __restrict column, const In* __restrict add, size_t n) {
  for (size_t i = 0; i < n; ++i) column[i] += add[i];
}
template <typename Sum, typename In>
void SubtractRow(Sum* __restrict column, const In* __restrict sub, size_t n) {
  for (size_t i = 0; i < n; ++i) column[i] -= sub[i];
}
template <typename Sum, typename In>
void SlideRow(Sum* __restrict column, const In* __restrict add, const In* __restrict sub, size_t n) {
  for (size_t i = 0; i < n; ++i) column[i] += static_cast<Sum>(add[i]) - static_cast<Sum>(sub[i]);
}
#define PELLORA_BLUR_ROWS(Col, In)                                                                  \
  PELLORA_BLUR_CLONES void AddRow(Col* __restrict column, const In* __restrict add, size_t n) {     \
    for (size_t i = 0; i < n; ++i) column[i] = static_cast<Col>(column[i] + add[i]);                \
  }                                                                                                 \
  PELLORA_BLUR_CLONES void SubtractRow(Col* __restrict column, const In* __restrict sub, size_t n) { \
    for (size_t i = 0; i < n; ++i) column[i] = static_cast<Col>(column[i] - sub[i]);                \
  }                                                                                                 \
  PELLORA_BLUR_CLONES void SlideRow(Col* __restrict column, const In* __restrict add,              \
                                    const In* __restrict sub, size_t n) {                           \
    for (size_t i = 0; i < n; ++i) column[i] = static_cast<Col>(column[i] + add[i] - sub[i]);       \
  }
PELLORA_BLUR_ROWS(uint32_t, uint8_t)
PELLORA_BLUR_ROWS(uint32_t, uint16_t)
// Column sums of up to 257 colour rows (85 grey ones) fit in 16 bits, which halves the
// memory the column pass moves.
PELLORA_BLUR_ROWS(uint16_t, uint8_t)
PELLORA_BLUR_ROWS(uint16_t, uint16_t)
#undef PELLORA_BLUR_ROWS

template <int C, typename Sum, typename Col>
void PrefixRow(const Col* __restrict column, Sum* __restrict prefix, size_t w) {
  if constexpr (C == 3) {
    Sum a = 0, b = 0, c = 0;
    for (size_t x = 0; x < w; ++x) {
      a += column[3 * x];
      b += column[3 * x + 1];
      c += column[3 * x + 2];
      prefix[3 * x + 3] = a;
      prefix[3 * x + 4] = b;
      prefix[3 * x + 5] = c;
    }
  } else {
    Sum a = 0;
    for (size_t x = 0; x < w; ++x) prefix[x + 1] = a += column[x];
  }
}

bool ShiftsUsable(const DIBPixelFormat& f) {
  for (int32_t s : {f.RShift, f.GShift, f.BShift, f.RBitCount, f.GBitCount, f.BBitCount})
    if (s < 0 || s > 31) return false;
  return true;
}

void Check(int32_t bitCount, const DIBPixelFormat& format) {
  if (!bmp::IsBitCount(bitCount)) throw std::invalid_argument("blur: bit count");
  if ((bitCount == 16 || bitCount == 32) && (!DIBFormatFits(bitCount, format) || !ShiftsUsable(format)))
    throw std::invalid_argument("blur: pixel format");
}

// Turns source rows into what the pass sums: blue, green, red bytes per pixel for colour
// targets, red + green + blue per pixel for grey ones. The format is chosen once per row.
class SourceRows {
 public:
  explicit SourceRows(const DIBBlurSource& s) : s_(s), indices_(s.BitCount <= 8 ? s.Width : 0) {
    if (s.BitCount <= 8) {
      for (int i = 0; i < 256; ++i) {
        const RGBQUAD q = s.ColorTable[i];
        lut3_[3 * i] = q.rgbBlue;
        lut3_[3 * i + 1] = q.rgbGreen;
        lut3_[3 * i + 2] = q.rgbRed;
        lut1_[i] = static_cast<uint16_t>(q.rgbBlue + q.rgbGreen + q.rgbRed);
      }
    }
  }

  const uint8_t* Colour(int32_t y, uint8_t* out) {
    const uint8_t* row = Row(y);
    const int32_t w = s_.Width;
    switch (s_.BitCount) {
      case 24:
        return row;
      case 16:
        for (int32_t x = 0; x < w; ++x) Decode(static_cast<uint32_t>(row[2 * x] | (row[2 * x + 1] << 8)), out + 3 * x);
        return out;
      case 32:
        for (int32_t x = 0; x < w; ++x) {
          uint32_t v;
          std::memcpy(&v, row + 4 * x, 4);
          Decode(v, out + 3 * x);
        }
        return out;
      default: {
        const uint8_t* idx = Indices(row);
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t* e = lut3_ + 3 * idx[x];
          out[3 * x] = e[0];
          out[3 * x + 1] = e[1];
          out[3 * x + 2] = e[2];
        }
        return out;
      }
    }
  }

  const uint16_t* Grey(int32_t y, uint16_t* out) {
    const uint8_t* row = Row(y);
    const int32_t w = s_.Width;
    switch (s_.BitCount) {
      case 24:
        for (int32_t x = 0; x < w; ++x)
          out[x] = static_cast<uint16_t>(row[3 * x] + row[3 * x + 1] + row[3 * x + 2]);
        return out;
      case 16:
      case 32: {
        uint8_t bgr[3 * 64];
        for (int32_t x0 = 0; x0 < w; x0 += 64) {
          const int32_t n = std::min(64, w - x0);
          for (int32_t i = 0; i < n; ++i) {
            uint32_t v;
            if (s_.BitCount == 16)
              v = static_cast<uint32_t>(row[2 * (x0 + i)] | (row[2 * (x0 + i) + 1] << 8));
            else
              std::memcpy(&v, row + 4 * (x0 + i), 4);
            Decode(v, bgr + 3 * i);
          }
          for (int32_t i = 0; i < n; ++i)
            out[x0 + i] = static_cast<uint16_t>(bgr[3 * i] + bgr[3 * i + 1] + bgr[3 * i + 2]);
        }
        return out;
      }
      default: {
        const uint8_t* idx = Indices(row);
        for (int32_t x = 0; x < w; ++x) out[x] = lut1_[idx[x]];
        return out;
      }
    }
  }

  void Prefetch(int32_t y) const {
    const uint8_t* row = Row(y);
    const size_t bytes = (static_cast<size_t>(s_.Width) * s_.BitCount + 7) / 8;
    for (size_t i = 0; i < bytes; i += 64) __builtin_prefetch(row + i);
  }

 private:
  const uint8_t* Row(int32_t y) const { return s_.TopRow + static_cast<ptrdiff_t>(y) * s_.RowStep; }

  void Decode(uint32_t v, uint8_t* bgr) const {
    const DIBPixelFormat& f = s_.PixelFormat;
    uint32_t r = (v & static_cast<uint32_t>(f.RBitMask)) >> f.RShift;
    r |= r >> f.RBitCount;
    uint32_t g = (v & static_cast<uint32_t>(f.GBitMask)) >> f.GShift;
    g |= g >> f.GBitCount;
    uint32_t b = (v & static_cast<uint32_t>(f.BBitMask)) << f.BShift;
    b |= b >> f.BBitCount;
    bgr[0] = static_cast<uint8_t>(b);
    bgr[1] = static_cast<uint8_t>(g);
    bgr[2] = static_cast<uint8_t>(r);
  }

  const uint8_t* Indices(const uint8_t* row) {
    const int32_t w = s_.Width;
    uint8_t* idx = indices_.data();
    switch (s_.BitCount) {
      case 1:
        for (int32_t x = 0; x < w; ++x) idx[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        return idx;
      case 4:
        for (int32_t x = 0; x < w; ++x) idx[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        return idx;
      default:
        return row;
    }
  }

  const DIBBlurSource& s_;
  std::vector<uint8_t> indices_;
  uint8_t lut3_[256 * 3] = {};
  uint16_t lut1_[256] = {};
};

// Writes one target row from the means: blue, green, red bytes for colour targets, grey
// levels for grey ones.
void Store(const DIBBlurTarget& t, int32_t w, const uint8_t* means, uint8_t* dst) {
  const DIBPixelFormat& f = t.PixelFormat;
  switch (t.BitCount) {
    case 24:
      if (means != dst) std::memcpy(dst, means, static_cast<size_t>(w) * 3);
      break;
    case 16:
    case 32:
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t b = means[3 * x], g = means[3 * x + 1], r = means[3 * x + 2];
        const uint32_t v = ((r << f.RShift) & static_cast<uint32_t>(f.RBitMask)) |
                           ((g << f.GShift) & static_cast<uint32_t>(f.GBitMask)) |
                           ((b >> f.BShift) & static_cast<uint32_t>(f.BBitMask));
        if (t.BitCount == 16) {
          dst[2 * x] = static_cast<uint8_t>(v);
          dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        } else {
          std::memcpy(dst + 4 * x, &v, 4);
        }
      }
      break;
    case 8:
      if (means != dst) std::memcpy(dst, means, static_cast<size_t>(w));
      break;
    case 4: {
      int32_t x = 0;
      for (; x + 1 < w; x += 2) dst[x >> 1] = static_cast<uint8_t>((means[x] & 0xF0) | (means[x + 1] >> 4));
      if (x < w) dst[x >> 1] = static_cast<uint8_t>((dst[x >> 1] & 0x0F) | (means[x] & 0xF0));
      break;
    }
    case 1: {
      int32_t x = 0;
      for (; x + 7 < w; x += 8) {
        uint8_t byte = 0;
        for (int i = 0; i < 8; ++i) byte = static_cast<uint8_t>(byte | ((means[x + i] > 127) << (7 - i)));
        dst[x >> 3] = byte;
      }
      if (x < w) {
        uint8_t byte = dst[x >> 3];
        for (int i = 0; x + i < w; ++i) {
          const uint8_t bit = static_cast<uint8_t>(0x80 >> i);
          byte = static_cast<uint8_t>(means[x + i] > 127 ? byte | bit : byte & ~bit);
        }
        dst[x >> 3] = byte;
      }
      break;
    }
  }
}

// One pass with C channels (3: colour, 1: grey). Sum is the width of every running sum;
// Fast selects the exact multiplies, which need the sums to stay below 2^32.
template <int C, typename Sum, bool Fast, typename Col = Sum>
void Pass(const DIBBlurSource& s, const DIBBlurTarget& t, int32_t r) {
  using In = std::conditional_t<C == 3, uint8_t, uint16_t>;
  constexpr uint32_t kMax = C == 3 ? 255 : 765;
  const int32_t w = s.Width, h = s.Height;
  const size_t n = static_cast<size_t>(w) * C;
  SourceRows rows(s);

  std::vector<Col> column(n, 0);
  std::vector<Sum> prefix(n + C, 0);
  std::vector<In> enter(n), leave(n);
  std::vector<uint8_t> means(n);
  const bool direct = t.BitCount == 24 || t.BitCount == 8;  // means are the target bytes

  auto fetch = [&](int32_t y, In* buffer) -> const In* {
    if constexpr (C == 3)
      return rows.Colour(y, buffer);
    else
      return rows.Grey(y, buffer);
  };

  // Divisors: the interior's one per row count, the edges' in two steps (by columns, then
  // by rows), since floor(floor(t / a) / b) = floor(t / (a * b)).
  const int32_t maxCols = static_cast<int32_t>(std::min<int64_t>(2 * int64_t{r} + 1, w));
  const int32_t maxRows = static_cast<int32_t>(std::min<int64_t>(2 * int64_t{r} + 1, h));
  std::vector<Divider> byCols, byRows;
  if constexpr (Fast) {
    byCols.resize(maxCols + 1);
    byRows.resize(maxRows + 1);
    for (int32_t c = 1; c <= maxCols; ++c) byCols[c] = Divider(c, uint64_t{kMax} * c * maxRows);
    for (int32_t c = 1; c <= maxRows; ++c) byRows[c] = Divider(c, uint64_t{kMax} * c);
  }
  const bool hasInterior = w - r > r;
  const int32_t interiorCols = 2 * r + 1;

  int32_t firstY = 0, lastY = std::min(r, h - 1);
  for (int32_t y = firstY; y <= lastY; ++y) AddRow(column.data(), fetch(y, enter.data()), n);

  int32_t divRows = -1;
  Divider interior;
  bool useFloat = false;
  float reciprocal = 1.0f;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* dst = t.ScanLine(y);
    const In* sub = nullptr;
    const In* add = nullptr;
    if (y - firstY == r + 1) sub = fetch(firstY++, leave.data());
    if (lastY - y == r - 1 && lastY + 1 <= h - 1) add = fetch(++lastY, enter.data());
    // The next row to enter is far from anything cached; asking for it a row early hides
    // most of the wait, which otherwise dominates the column pass.
    if (lastY + 1 <= h - 1) rows.Prefetch(lastY + 1);
    if (sub && add)
      SlideRow(column.data(), add, sub, n);
    else if (sub)
      SubtractRow(column.data(), sub, n);
    else if (add)
      AddRow(column.data(), add, n);

    // Prefix sums across the row make every window sum one subtraction. They may wrap
    // (unsigned), but a window's true sum fits, so the difference is exact.
    PrefixRow<C>(column.data(), prefix.data(), static_cast<size_t>(w));

    const int32_t rowCount = lastY - firstY + 1;
    uint8_t* out = direct ? dst : means.data();
    auto finish = [&](uint32_t q) -> uint8_t {
      if constexpr (C == 3)
        return static_cast<uint8_t>(q);
      else
        return static_cast<uint8_t>(DivBy3(q));
    };

    if (hasInterior) {
      const size_t begin = static_cast<size_t>(r) * C, end = static_cast<size_t>(w - r) * C;
      const size_t ahead = static_cast<size_t>(r + 1) * C, behind = static_cast<size_t>(r) * C;
      if constexpr (Fast) {
        if (rowCount != divRows) {
          const uint64_t d = uint64_t{static_cast<uint32_t>(rowCount)} * static_cast<uint32_t>(interiorCols);
          interior = Divider(d, kMax * d);
          useFloat = d <= kFloatDivisorLimit;
          if (useFloat) reciprocal = FloatReciprocal(d);
          divRows = rowCount;
        }
        const Sum* p = prefix.data();
        const uint32_t* hi = p + begin + ahead;
        const uint32_t* lo = p + begin - behind;
        if (useFloat) {
          if constexpr (C == 1)
            DivideGreyRowFloat(hi, lo, out + begin, end - begin, reciprocal);
          else
            DivideRowFloat(hi, lo, out + begin, end - begin, reciprocal);
        } else {
          if constexpr (C == 1)
            DivideGreyRow(hi, lo, out + begin, end - begin, interior.m, interior.k);
          else
            DivideRow(hi, lo, out + begin, end - begin, interior.m, interior.k);
        }
      } else {
        const Sum d = static_cast<Sum>(rowCount) * static_cast<Sum>(interiorCols);
        for (size_t i = begin; i < end; ++i)
          out[i] = finish(static_cast<uint32_t>((prefix[i + ahead] - prefix[i - behind]) / d));
      }
    }
    auto edge = [&](int32_t x) {
      const int32_t lo = std::max(x - r, 0), hi = static_cast<int32_t>(std::min<int64_t>(int64_t{x} + r, w - 1));
      const int32_t cols = hi - lo + 1;
      for (int c = 0; c < C; ++c) {
        const Sum sum = prefix[static_cast<size_t>(hi + 1) * C + c] - prefix[static_cast<size_t>(lo) * C + c];
        uint32_t q;
        if constexpr (Fast)
          q = byRows[rowCount](byCols[cols](static_cast<uint32_t>(sum)));
        else
          q = static_cast<uint32_t>(sum / (static_cast<Sum>(cols) * static_cast<Sum>(rowCount)));
        out[static_cast<size_t>(x) * C + c] = finish(q);
      }
    };
    if (hasInterior) {
      for (int32_t x = 0; x < r; ++x) edge(x);
      for (int32_t x = w - r; x < w; ++x) edge(x);
    } else {
      for (int32_t x = 0; x < w; ++x) edge(x);
    }

    if (!direct) Store(t, w, means.data(), dst);
    if (t.RowDone) t.RowDone(y);
  }
}

}  // namespace

void DIBBoxBlur(const DIBBlurSource& s, const DIBBlurTarget& t, int32_t radius) {
  if (s.Width <= 0 || s.Height <= 0) return;
  Check(s.BitCount, s.PixelFormat);
  Check(t.BitCount, t.PixelFormat);
  // A radius past the picture counts like one that just covers it; clamping also keeps
  // x + r and 2r + 1 inside 32 bits for any radius, INT32_MIN included.
  const int64_t wanted = radius < 0 ? -int64_t{radius} : int64_t{radius};
  const int32_t r = static_cast<int32_t>(std::min<int64_t>(wanted, std::max(s.Width, s.Height)));
  if (r == 0) return;
  const uint64_t box = static_cast<uint64_t>(std::min<int64_t>(2 * int64_t{r} + 1, s.Width)) *
                       static_cast<uint64_t>(std::min<int64_t>(2 * int64_t{r} + 1, s.Height));
  const bool grey = t.BitCount <= 8;
  const int64_t rows = std::min<int64_t>(2 * int64_t{r} + 1, s.Height);
  if (box <= kFastBoxLimit) {
    if (grey && rows * 765 <= 65535)
      Pass<1, uint32_t, true, uint16_t>(s, t, r);
    else if (grey)
      Pass<1, uint32_t, true>(s, t, r);
    else if (rows * 255 <= 65535)
      Pass<3, uint32_t, true, uint16_t>(s, t, r);
    else
      Pass<3, uint32_t, true>(s, t, r);
  } else {
    if (grey)
      Pass<1, uint64_t, false>(s, t, r);
    else
      Pass<3, uint64_t, false>(s, t, r);
  }
}
