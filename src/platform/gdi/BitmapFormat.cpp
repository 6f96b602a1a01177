#include "platform/gdi/BitmapFormat.h"

#include <algorithm>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace bmp {

int64_t RowBytes(int32_t bitCount, int64_t width) {
  if (bitCount < 0 || width < 0 || width > std::numeric_limits<int32_t>::max()) return -1;
  const int64_t bytes = (bitCount * width + 31) / 32 * 4;
  return bytes > std::numeric_limits<int32_t>::max() ? -1 : bytes;
}

// ---------------------------------------------------------------------------------------
// Pixel formats.

uint32_t PixelFormat::Pack(uint8_t red, uint8_t green, uint8_t blue) const {
  return Red().Reduce(red) | Green().Reduce(green) | Blue().Reduce(blue);
}

void PixelFormat::Unpack(uint32_t value, uint8_t& red, uint8_t& green, uint8_t& blue) const {
  red = Red().Expand(value);
  green = Green().Expand(value);
  blue = Blue().Expand(value);
}

bool PixelFormat::operator==(const PixelFormat& other) const {
  return bitCount == other.bitCount && std::equal(masks, masks + 3, other.masks);
}

bool IsBitCount(int32_t bitCount) {
  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

PixelFormat DefaultFormat(int32_t bitCount) {
  PixelFormat f = bitCount == 16 ? kRgb555 : bitCount > 16 ? kRgb888 : kIndexed8;
  f.bitCount = bitCount;
  return f;
}

MaskFault CheckMasks(const uint32_t masks[3], int32_t bitCount) {
  const uint32_t inside = bitCount >= 32 ? 0xFFFFFFFFu : (1u << bitCount) - 1;
  for (int c = 0; c < 3; ++c) {
    const Channel channel(masks[c]);
    if (channel.bits == 0 || (masks[c] >> channel.shift >> channel.bits) != 0 || (masks[c] & ~inside) != 0)
      return MaskFault::Shape;
  }
  if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2])) return MaskFault::Overlap;
  return MaskFault::None;
}

// ---------------------------------------------------------------------------------------
// Pixels on a screen.

namespace {

// Channel::Widen of 5 and 6 bits as one multiply, add and shift in 16 bits, which gives the
// same level for every value: (v * 255 + 15) / 31 and (v * 255 + 31) / 63.
constexpr uint32_t Widen5(uint32_t v) { return (v * 527 + 23) >> 6; }
constexpr uint32_t Widen6(uint32_t v) { return (v * 259 + 33) >> 6; }
constexpr bool WidensAsRounding() {
  for (uint32_t v = 0; v < 64; ++v) {
    if (v < 32 && Widen5(v) != (v * 255 + 15) / 31) return false;
    if (Widen6(v) != (v * 255 + 31) / 63) return false;
  }
  return true;
}
static_assert(WidensAsRounding());

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline void Block565Avx2(const uint8_t* row, uint32_t* out) {
  const __m256i mul5 = _mm256_set1_epi16(527), add5 = _mm256_set1_epi16(23);
  const __m256i mul6 = _mm256_set1_epi16(259), add6 = _mm256_set1_epi16(33);
  const __m256i low5 = _mm256_set1_epi16(31), low6 = _mm256_set1_epi16(63);
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
  const __m256i r = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(v, 11), mul5), add5), 6);
  const __m256i g = _mm256_srli_epi16(
      _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(v, 5), low6), mul6), add6), 6);
  const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(v, low5), mul5), add5), 6);
  const __m256i gb = _mm256_or_si256(_mm256_slli_epi16(g, 8), b);
  // Unpacking works within each 128-bit half: pixels 0-3 and 8-11, then 4-7 and 12-15.
  const __m256i low = _mm256_unpacklo_epi16(gb, r), high = _mm256_unpackhi_epi16(gb, r);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(low, high, 0x31));
}
// Sixteen at a time where the processor has AVX2 (most made since 2013); a row's last
// pixels as a block of sixteen that overlaps the one before, since a frame's changed parts
// come as many short spans.
__attribute__((target("avx2"))) void Convert565Avx2(const uint8_t* row, ptrdiff_t pitch, int count, int rows,
                                                    uint32_t* out, ptrdiff_t outPitch) {
  for (int y = 0; y < rows; ++y, row += pitch, out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out) + outPitch)) {
    int x = 0;
    for (; x + 16 <= count; x += 16) Block565Avx2(row + x * 2, out + x);
    if (x < count) Block565Avx2(row + (count - 16) * 2, out + count - 16);
  }
}
bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

#if defined(__SSE2__)
inline void Block565Sse2(const uint8_t* row, uint32_t* out) {
  const __m128i mul5 = _mm_set1_epi16(527), add5 = _mm_set1_epi16(23);
  const __m128i mul6 = _mm_set1_epi16(259), add6 = _mm_set1_epi16(33);
  const __m128i low5 = _mm_set1_epi16(31), low6 = _mm_set1_epi16(63);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  const __m128i r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(v, 11), mul5), add5), 6);
  const __m128i g = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(v, 5), low6), mul6), add6), 6);
  const __m128i b = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(v, low5), mul5), add5), 6);
  const __m128i gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(gb, r));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(gb, r));
}
#endif

// A row of 5-6-5 pixels, the layout of nearly every 16-bit display: in blocks rather than
// one by one through a table too large for the first-level cache.
void Convert565(const uint8_t* row, uint32_t* out, int count) {
  int x = 0;
#if defined(__SSE2__)
  if (count >= 8) {
    for (; x + 8 <= count; x += 8) Block565Sse2(row + x * 2, out + x);
    if (x < count) Block565Sse2(row + (count - 8) * 2, out + count - 8);
    return;
  }
#endif
  for (; x < count; ++x) {
    uint16_t v;
    std::memcpy(&v, row + x * 2, 2);
    out[x] = (Widen5(v >> 11u) << 16) | (Widen6((v >> 5u) & 63u) << 8) | Widen5(v & 31u);
  }
}

void Convert565(const uint8_t* row, ptrdiff_t pitch, int count, int rows, uint32_t* out, ptrdiff_t outPitch) {
#if defined(__x86_64__) || defined(__i386__)
  if (count >= 16 && HasAvx2()) {
    Convert565Avx2(row, pitch, count, rows, out, outPitch);
    return;
  }
#endif
  for (int y = 0; y < rows; ++y) {
    Convert565(row + y * pitch, reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out) + y * outPitch), count);
  }
}

}  // namespace

ScreenRows::ScreenRows(const PixelFormat& format, const uint32_t* colors, int colorCount) : format_(format) {
  switch (format.bitCount) {
    case 8:
      kind_ = Kind::Indexed8;
      colorCount_ = std::clamp(colorCount, 0, colors ? 256 : 0);
      table_.assign(256, 0);
      std::copy(colors, colors + colorCount_, table_.begin());
      break;
    case 16:
      kind_ = format == kRgb565 ? Kind::Rgb565 : Kind::Table16;
      if (kind_ == Kind::Table16) {
        table_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v) table_[v] = Value(v);
      }
      break;
    case 24: kind_ = Kind::Bytes24; break;
    default: kind_ = format == kRgb888 ? Kind::Xrgb : Kind::Masked32; break;
  }
}

uint32_t ScreenRows::Value(uint32_t pixel) const {
  if (kind_ == Kind::Indexed8) return (pixel & 0xFF) < static_cast<uint32_t>(colorCount_) ? table_[pixel & 0xFF] : 0;
  if (kind_ == Kind::Bytes24) return pixel & 0xFFFFFF;
  return (uint32_t{format_.Red().Widen(pixel)} << 16) | (uint32_t{format_.Green().Widen(pixel)} << 8) |
         format_.Blue().Widen(pixel);
}

void ScreenRows::Convert(const uint8_t* row, ptrdiff_t pitch, int count, int rows, uint32_t* out,
                         ptrdiff_t outPitch) const {
  if (kind_ == Kind::Rgb565) {
    Convert565(row, pitch, count, rows, out, outPitch);
    return;
  }
  for (int y = 0; y < rows; ++y) {
    Convert(row + y * pitch, count, reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out) + y * outPitch));
  }
}

void ScreenRows::Convert(const uint8_t* row, int count, uint32_t* out) const {
  switch (kind_) {
    case Kind::Rgb565: Convert565(row, 0, count, 1, out, 0); return;
    case Kind::Table16:
      for (int x = 0; x < count; ++x) {
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        out[x] = table_[v];
      }
      return;
    case Kind::Xrgb:
      for (int x = 0; x < count; ++x) {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        out[x] = v & 0xFFFFFF;
      }
      return;
    case Kind::Masked32:
      for (int x = 0; x < count; ++x) {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        out[x] = Value(v);
      }
      return;
    case Kind::Bytes24:
      for (int x = 0; x < count; ++x) {
        out[x] = (uint32_t{row[x * 3 + 2]} << 16) | (uint32_t{row[x * 3 + 1]} << 8) | row[x * 3];
      }
      return;
    case Kind::Indexed8:
      for (int x = 0; x < count; ++x) out[x] = table_[row[x]];
      return;
  }
}

bool ScreenRows::SameAs(const PixelFormat& format, const uint32_t* colors, int colorCount) const {
  if (!(format == format_)) return false;
  if (kind_ != Kind::Indexed8) return true;
  const int count = std::clamp(colorCount, 0, colors ? 256 : 0);
  return count == colorCount_ && std::equal(colors, colors + count, table_.begin());
}

// ---------------------------------------------------------------------------------------
// The info header.

bool HeaderSizeKnown(uint32_t size, HeaderSizes sizes) {
  switch (sizes) {
    case HeaderSizes::CoreOrInfo: return size == kCoreHeaderSize || size == kInfoHeaderSize;
    case HeaderSizes::FileHeaders:
      return size == kCoreHeaderSize || size == kInfoHeaderSize || size == 52 || size == 56 || size == 108 ||
             size == kLargestHeaderSize;
    case HeaderSizes::InfoOrLarger: return size >= kInfoHeaderSize && size <= 4096;
  }
  return false;
}

int64_t Header::DeclaredColors() const {
  if (colorsUsed != 0) return colorsUsed;
  return bitCount >= 1 && bitCount <= 8 ? int64_t{1} << bitCount : 0;
}

Header ParseHeader(const uint8_t* bytes, size_t available) {
  uint8_t raw[kLargestHeaderSize] = {};
  std::memcpy(raw, bytes, std::min(available, sizeof raw));
  Header h;
  std::memcpy(&h.size, raw, 4);
  if (h.Core()) {
    BITMAPCOREHEADER core;
    std::memcpy(&core, raw, sizeof core);
    h.width = core.bcWidth;
    h.height = core.bcHeight;
    h.planes = core.bcPlanes;
    h.bitCount = core.bcBitCount;
    return h;
  }
  BITMAPINFOHEADER info;
  std::memcpy(&info, raw, sizeof info);
  h.width = info.biWidth;
  h.height = info.biHeight;
  h.planes = info.biPlanes;
  h.bitCount = info.biBitCount;
  h.compression = info.biCompression;
  h.sizeImage = info.biSizeImage;
  h.colorsUsed = info.biClrUsed;
  if (h.size >= 52) {
    h.masksInHeader = true;
    std::memcpy(h.masks, raw + kInfoHeaderSize, h.size >= 56 ? 16 : 12);
  }
  return h;
}

HeaderFault CheckHeader(const Header& h, const HeaderRules& rules) {
  if (rules.planesMustBeOne && h.planes != 1) return HeaderFault::Planes;
  const int64_t side = rules.maxSide > 0 ? rules.maxSide : std::numeric_limits<int64_t>::max();
  if (h.width <= 0 || h.width > side) return HeaderFault::Width;
  if (h.height == 0 || h.Rows() > side) return HeaderFault::Height;
  if (int64_t{h.width} * h.Rows() > rules.maxPixels) return HeaderFault::TooLarge;
  if (rules.checkBitCount && (!IsBitCount(h.bitCount) || (h.Core() && (h.bitCount == 16 || h.bitCount == 32))))
    return HeaderFault::BitCount;
  switch (h.compression) {
    case BI_RGB: return HeaderFault::None;
    case BI_RLE8:
    case BI_RLE4: {
      const int32_t needs = h.compression == BI_RLE8 ? 8 : 4;
      return h.bitCount == needs && !h.TopDown() ? HeaderFault::None : HeaderFault::Compression;
    }
    case BI_ALPHABITFIELDS:
      if (!rules.alphaBitFields) return HeaderFault::Compression;
      [[fallthrough]];
    case BI_BITFIELDS:
      return !rules.checkBitCount || h.bitCount == 16 || h.bitCount == 32 ? HeaderFault::None
                                                                          : HeaderFault::Compression;
    default: return HeaderFault::Compression;
  }
}

// ---------------------------------------------------------------------------------------
// Run-length data.

RunLengthFault DecodeRunLength(std::span<const uint8_t> data, int32_t bitCount, int32_t width, int32_t height,
                               size_t rowBytes, uint8_t* pixels, RunLengthEdges edges) {
  if (bitCount != 4 && bitCount != 8) return RunLengthFault::Depth;
  const bool four = bitCount == 4;
  const bool clip = edges == RunLengthEdges::Clip;
  int64_t x = 0, y = 0;  // y counts rows up from the bottom, as the data does

  // False when a pixel outside the picture is a fault.
  auto put = [&](uint8_t value) {
    if (x >= width || y >= height) {
      ++x;
      return clip;
    }
    if (pixels) {
      uint8_t* row = pixels + static_cast<size_t>(y) * rowBytes;
      if (four) {
        uint8_t& byte = row[x / 2];
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (value & 0x0F))
                       : static_cast<uint8_t>((byte & 0x0F) | (value << 4));
      } else {
        row[x] = value;
      }
    }
    ++x;
    return true;
  };
  auto nibble = [four](uint8_t byte, int k) -> uint8_t { return !four ? byte : (k & 1) ? byte & 0x0F : byte >> 4; };

  const size_t size = data.size();
  size_t i = 0;
  while (size - i >= 2) {
    const uint8_t count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k)
        if (!put(nibble(value, k))) return RunLengthFault::PixelOutside;
      continue;
    }
    switch (value) {
      case 0:  // end of row
        x = 0;
        ++y;
        if (edges == RunLengthEdges::RefuseMoves && y > height) return RunLengthFault::RowsPastTop;
        break;
      case 1: return RunLengthFault::None;  // end of picture
      case 2:                                // move right and up
        if (size - i < 2) return RunLengthFault::MoveCut;
        x += data[i];
        y += data[i + 1];
        i += 2;
        if (edges == RunLengthEdges::RefuseMoves && (x > width || y > height)) return RunLengthFault::MovePastEdge;
        break;
      default: {  // literal pixels
        const size_t bytes = four ? (value + 1u) / 2u : value;
        if (size - i < bytes) return RunLengthFault::LiteralCut;
        for (int k = 0; k < value; ++k)
          if (!put(nibble(data[i + (four ? k / 2 : k)], k))) return RunLengthFault::PixelOutside;
        i = std::min(size, i + bytes + (bytes & 1));
        break;
      }
    }
    // Nothing past the top row can be drawn, so a blit stops reading there.
    if (clip && y >= height) return RunLengthFault::None;
  }
  return RunLengthFault::None;
}

}  // namespace bmp
