// Finding what a picture changed: see KeptPicture.h.
//
// Rows are compared 32 bytes at a time in bands of a few rows. In each band, the chunks
// where something differs make runs, and each run a rectangle from its first differing
// byte to its last; a rectangle grows down into the next band while that band's run there
// has nearly the same columns. Between two frames of the ball scene about a quarter of the
// pixels change, in thin crescents at the balls' edges, so rectangles cut to the bytes
// send little more than what changed while staying few enough for a display to take them
// in one request. The differing chunks are copied into the kept picture as they are found.
#include "platform/window/KeptPicture.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace window_internal {

namespace {

constexpr size_t kChunk = 32;
constexpr int kBandRows = 4;
// A run may take in the columns of the one in the band above it by this many pixels, so
// that a ball's edge drifting by a pixel a band still makes one tall rectangle.
constexpr LONG kSlack = 4;

// The bytes (bit i: byte i) in which 32 bytes of `next` differ from `kept`. The comparing
// waits on memory far more than on arithmetic, so 16 bytes at a time do.
inline uint32_t DifferingBytes(const uint8_t* next, const uint8_t* kept) {
#if defined(__SSE2__)
  const __m128i n0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
  const __m128i n1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + 16));
  const __m128i k0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kept));
  const __m128i k1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kept + 16));
  const uint32_t same = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(n0, k0))) |
                        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(n1, k1))) << 16;
  return ~same;
#else
  uint32_t differ = 0;
  for (size_t i = 0; i < kChunk; ++i) differ |= static_cast<uint32_t>(next[i] != kept[i]) << i;
  return differ;
#endif
}

bool Has(const std::vector<uint64_t>& bits, size_t i) { return (bits[i / 64] >> (i % 64)) & 1; }

// The next run of set bits among the first `count`, from `*from` on: [*from, *end). False
// when there is none.
bool NextRun(const std::vector<uint64_t>& bits, size_t count, size_t* from, size_t* end) {
  size_t c = *from;
  while (c < count) {
    const uint64_t rest = bits[c / 64] >> (c % 64);
    if (rest) {
      c += static_cast<size_t>(std::countr_zero(rest));
      break;
    }
    c = (c / 64 + 1) * 64;
  }
  if (c >= count) return false;
  size_t e = c + 1;
  while (e < count && Has(bits, e)) ++e;
  *from = c;
  *end = e;
  return true;
}

void SetRange(std::vector<uint64_t>& bits, size_t from, size_t to) {
  for (size_t i = from; i < to;) {
    const size_t word = i / 64, shift = i % 64, n = std::min<size_t>(64 - shift, to - i);
    bits[word] |= (n == 64 ? ~uint64_t{0} : ((uint64_t{1} << n) - 1)) << shift;
    i += n;
  }
}

}  // namespace

const bmp::ScreenRows& KeptPicture::Rows(const bmp::PixelFormat& format, const uint32_t* colors, int colorCount) {
  if (!rows_ || !rows_->SameAs(format, colors, colorCount)) {
    rows_ = std::make_unique<bmp::ScreenRows>(format, colors, colorCount);
    held_ = false;
  }
  return *rows_;
}

Picture KeptPicture::Kept() const {
  return Picture{bytes_.data(), width_, height_, static_cast<ptrdiff_t>(rowBytes_), rows_.get()};
}

const std::vector<RECT>& KeptPicture::Take(const Picture& next, bool hinted, std::span<const RECT> within) {
  changed_.clear();
  const size_t rowBytes = static_cast<size_t>(next.width) * static_cast<size_t>(next.rows->Format().BytesPerPixel());
  if (!held_ || next.width != width_ || next.height != height_ || rowBytes != rowBytes_) {
    TakeWhole(next);
    return changed_;
  }
  const size_t chunks = (rowBytes_ + kChunk - 1) / kChunk, words = (chunks + 63) / 64;
  differ_.resize(chunks);
  changedChunks_.resize(words);
  look_.resize(words);
  growing_.clear();
  const int bands = (height_ + kBandRows - 1) / kBandRows;
  if (hinted) SortHints(within, bands);
  for (int band = 0; band < bands; ++band) {
    std::fill(look_.begin(), look_.end(), 0);
    if (!hinted) {
      SetRange(look_, 0, chunks);
    } else {
      for (size_t h = hintStart_[static_cast<size_t>(band)]; h < hintStart_[static_cast<size_t>(band) + 1]; ++h)
        SetRange(look_, hints_[h].first, hints_[h].second);
    }
    const int top = band * kBandRows;
    CompareBand(next, top, std::min(top + kBandRows, height_));
  }
  return changed_;
}

void KeptPicture::TakeWhole(const Picture& next) {
  width_ = next.width;
  height_ = next.height;
  rowBytes_ = static_cast<size_t>(next.width) * static_cast<size_t>(next.rows->Format().BytesPerPixel());
  bytes_.resize(rowBytes_ * static_cast<size_t>(height_));
  for (int y = 0; y < height_; ++y) std::memcpy(bytes_.data() + rowBytes_ * static_cast<size_t>(y), next.Row(y), rowBytes_);
  held_ = true;
  changed_.push_back(next.Bounds());
}

// The chunk ranges under each rectangle the picture can differ in, listed with every band
// the rectangle reaches.
void KeptPicture::SortHints(std::span<const RECT> within, int bands) {
  hintStart_.assign(static_cast<size_t>(bands) + 1, 0);
  const size_t bytesPerPixel = rowBytes_ / static_cast<size_t>(width_);
  auto bandsOf = [&](const RECT& r, int* first, int* end) {
    *first = std::clamp<int>(r.top, 0, height_) / kBandRows;
    *end = (std::clamp<int>(r.bottom, 0, height_) + kBandRows - 1) / kBandRows;
    return r.right > r.left && *end > *first && r.right > 0 && r.left < width_;
  };
  // Counted first, then placed: one flat array for all bands.
  int first = 0, end = 0;
  for (const RECT& r : within) {
    if (!bandsOf(r, &first, &end)) continue;
    for (int b = first; b < end; ++b) ++hintStart_[static_cast<size_t>(b) + 1];
  }
  for (size_t b = 1; b < hintStart_.size(); ++b) hintStart_[b] += hintStart_[b - 1];
  hints_.resize(hintStart_.back());
  std::vector<size_t> at(hintStart_.begin(), hintStart_.end() - 1);
  for (const RECT& r : within) {
    if (!bandsOf(r, &first, &end)) continue;
    const size_t left = static_cast<size_t>(std::max<LONG>(r.left, 0));
    const size_t right = static_cast<size_t>(std::min<LONG>(r.right, width_));
    const std::pair<size_t, size_t> range{left * bytesPerPixel / kChunk, (right * bytesPerPixel + kChunk - 1) / kChunk};
    for (int b = first; b < end; ++b) hints_[at[static_cast<size_t>(b)]++] = range;
  }
}

void KeptPicture::CompareBand(const Picture& next, int top, int bottom) {
  const size_t chunks = differ_.size();
  const size_t whole = rowBytes_ / kChunk;  // chunks of a full 32 bytes
  // The runs of chunks to look at, the same for every row of the band.
  looked_.clear();
  for (size_t c = 0, end = 0; NextRun(look_, chunks, &c, &end); c = end) looked_.emplace_back(c, end);
  std::fill(changedChunks_.begin(), changedChunks_.end(), 0);
  auto note = [&](size_t c, uint32_t differ) {
    const uint64_t bit = uint64_t{1} << (c % 64);
    if (!(changedChunks_[c / 64] & bit)) {
      changedChunks_[c / 64] |= bit;
      differ_[c] = 0;
    }
    differ_[c] |= differ;
  };
  for (int y = top; y < bottom; ++y) {
    const uint8_t* row = next.Row(y);
    uint8_t* kept = bytes_.data() + rowBytes_ * static_cast<size_t>(y);
    for (const auto& [from, to] : looked_) {
      for (size_t c = from; c < std::min(to, whole); ++c) {
        const uint32_t differ = DifferingBytes(row + c * kChunk, kept + c * kChunk);
        if (!differ) continue;
        std::memcpy(kept + c * kChunk, row + c * kChunk, kChunk);
        note(c, differ);
      }
      if (to <= whole) continue;
      // The row's last bytes, short of a chunk.
      uint32_t differ = 0;
      for (size_t i = whole * kChunk; i < rowBytes_; ++i) {
        differ |= static_cast<uint32_t>(row[i] != kept[i]) << (i - whole * kChunk);
        kept[i] = row[i];
      }
      if (differ) note(whole, differ);
    }
  }
  // Runs of differing chunks, left to right, each cut to its first and last differing
  // byte. The rectangles that grew down to this band are in the same order, so one pass
  // pairs each run with the one above it, if any.
  const size_t bytesPerPixel = rowBytes_ / static_cast<size_t>(width_);
  size_t above = 0;
  nowGrowing_.clear();
  for (size_t c = 0, end = 0; NextRun(changedChunks_, chunks, &c, &end); c = end) {
    const size_t firstByte = c * kChunk + static_cast<size_t>(std::countr_zero(differ_[c]));
    const size_t lastByte = (end - 1) * kChunk + 31 - static_cast<size_t>(std::countl_zero(differ_[end - 1]));
    const LONG x0 = static_cast<LONG>(firstByte / bytesPerPixel);
    const LONG x1 = static_cast<LONG>(lastByte / bytesPerPixel + 1);
    while (above < growing_.size() && changed_[growing_[above]].right < x0 - kSlack) ++above;
    if (above < growing_.size()) {
      RECT& r = changed_[growing_[above]];
      if (std::abs(r.left - x0) <= kSlack && std::abs(r.right - x1) <= kSlack) {
        r.left = std::min(r.left, x0);
        r.right = std::max(r.right, x1);
        r.bottom = bottom;
        nowGrowing_.push_back(growing_[above++]);
        continue;
      }
    }
    nowGrowing_.push_back(changed_.size());
    changed_.push_back(RECT{x0, top, x1, bottom});
  }
  growing_.swap(nowGrowing_);
}

}  // namespace window_internal
