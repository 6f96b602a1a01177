// Fills and blits between surfaces. A routine is chosen once per (source layout,
// destination layout, keyed, stretched) from a table made at start-up, and is then only
// called; the hot cases (same layout, with or without the source key, at 8, 16 and 32
// bits) are loops simple enough for the compiler to vectorise.
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ddraw/DDrawInternal.h"
#include "platform/gdi/BitmapFormat.h"

namespace ddraw_internal {
namespace {

struct Span {
  const uint8_t* source;
  int sourcePitch;
  uint8_t* dest;
  int destPitch;
  int width;   // destination width
  int height;  // destination height
  DWORD key;
  const int* columns;  // stretch: source column (in pixels) of each destination column
  const int* rows;     // stretch: source row of each destination row
};

using Routine = void (*)(const Span&);

template <typename P>
void Copy(const Span& s) {
  const size_t bytes = static_cast<size_t>(s.width) * sizeof(P);
  for (int y = 0; y < s.height; ++y) {
    std::memmove(s.dest + static_cast<ptrdiff_t>(y) * s.destPitch, s.source + static_cast<ptrdiff_t>(y) * s.sourcePitch,
                 bytes);
  }
}

#if defined(__SSE2__)
// Sixteen bytes at a time: compare with the key, keep the destination where it matched.
template <typename P>
__m128i EqualLanes(__m128i a, __m128i b) {
  if constexpr (sizeof(P) == 1) return _mm_cmpeq_epi8(a, b);
  if constexpr (sizeof(P) == 2) return _mm_cmpeq_epi16(a, b);
  return _mm_cmpeq_epi32(a, b);
}
template <typename P>
__m128i Splat(P key) {
  if constexpr (sizeof(P) == 1) return _mm_set1_epi8(static_cast<char>(key));
  if constexpr (sizeof(P) == 2) return _mm_set1_epi16(static_cast<short>(key));
  return _mm_set1_epi32(static_cast<int>(key));
}
#endif

template <typename P>
void CopyKeyed(const Span& s) {
  const P key = static_cast<P>(s.key);
  for (int y = 0; y < s.height; ++y) {
    const P* __restrict in = reinterpret_cast<const P*>(s.source + static_cast<ptrdiff_t>(y) * s.sourcePitch);
    P* __restrict out = reinterpret_cast<P*>(s.dest + static_cast<ptrdiff_t>(y) * s.destPitch);
    int x = 0;
#if defined(__SSE2__)
    constexpr int kLanes = 16 / sizeof(P);
    const __m128i keys = Splat<P>(key);
    auto blend = [&](__m128i v, __m128i d) {
      const __m128i keep = EqualLanes<P>(v, keys);
      return _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, v));
    };
    if (s.width >= kLanes) {
      // The ragged end is one more block overlapping the last whole one. Its destination is
      // read before anything is written, so the overlap gives what one blend would, and no
      // load waits on the store before it.
      const int lastX = s.width - kLanes;
      const __m128i lastIn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + lastX));
      const __m128i lastOut = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + lastX));
      for (; x + kLanes <= s.width; x += kLanes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), blend(v, d));
      }
      if (x < s.width) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + lastX), blend(lastIn, lastOut));
      x = s.width;
    }
#endif
    for (; x < s.width; ++x) out[x] = in[x] == key ? out[x] : in[x];
  }
}

void Copy24Keyed(const Span& s) {
  const DWORD key = s.key & 0xFFFFFF;
  for (int y = 0; y < s.height; ++y) {
    const uint8_t* in = s.source + static_cast<ptrdiff_t>(y) * s.sourcePitch;
    uint8_t* out = s.dest + static_cast<ptrdiff_t>(y) * s.destPitch;
    for (int x = 0; x < s.width; ++x, in += 3, out += 3) {
      const DWORD v = in[0] | (static_cast<DWORD>(in[1]) << 8) | (static_cast<DWORD>(in[2]) << 16);
      if (v != key) std::memcpy(out, in, 3);
    }
  }
}

template <typename P, bool Keyed>
void Stretch(const Span& s) {
  const P key = static_cast<P>(s.key);
  for (int y = 0; y < s.height; ++y) {
    const P* in = reinterpret_cast<const P*>(s.source + static_cast<ptrdiff_t>(s.rows[y]) * s.sourcePitch);
    P* out = reinterpret_cast<P*>(s.dest + static_cast<ptrdiff_t>(y) * s.destPitch);
    for (int x = 0; x < s.width; ++x) {
      const P v = in[s.columns[x]];
      if (!Keyed || v != key) out[x] = v;
    }
  }
}

template <bool Keyed>
void Stretch24(const Span& s) {
  const DWORD key = s.key & 0xFFFFFF;
  for (int y = 0; y < s.height; ++y) {
    const uint8_t* in = s.source + static_cast<ptrdiff_t>(s.rows[y]) * s.sourcePitch;
    uint8_t* out = s.dest + static_cast<ptrdiff_t>(y) * s.destPitch;
    for (int x = 0; x < s.width; ++x) {
      const uint8_t* p = in + s.columns[x] * 3;
      const DWORD v = p[0] | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16);
      if (!Keyed || v != key) std::memcpy(out + x * 3, p, 3);
    }
  }
}

int LayoutIndex(int bitCount) {
  switch (bitCount) {
    case 8: return 0;
    case 16: return 1;
    case 24: return 2;
    default: return 3;
  }
}

// [layout][keyed][stretched], for a source and destination of the same layout.
struct RoutineTable {
  Routine same[4][2][2];
  RoutineTable() {
    same[0][0][0] = Copy<uint8_t>;
    same[0][1][0] = CopyKeyed<uint8_t>;
    same[0][0][1] = Stretch<uint8_t, false>;
    same[0][1][1] = Stretch<uint8_t, true>;
    same[1][0][0] = Copy<uint16_t>;
    same[1][1][0] = CopyKeyed<uint16_t>;
    same[1][0][1] = Stretch<uint16_t, false>;
    same[1][1][1] = Stretch<uint16_t, true>;
    same[2][0][0] = [](const Span& s) {
      for (int y = 0; y < s.height; ++y) {
        std::memmove(s.dest + static_cast<ptrdiff_t>(y) * s.destPitch, s.source + static_cast<ptrdiff_t>(y) * s.sourcePitch,
                     static_cast<size_t>(s.width) * 3);
      }
    };
    same[2][1][0] = Copy24Keyed;
    same[2][0][1] = Stretch24<false>;
    same[2][1][1] = Stretch24<true>;
    same[3][0][0] = Copy<uint32_t>;
    same[3][1][0] = CopyKeyed<uint32_t>;
    same[3][0][1] = Stretch<uint32_t, false>;
    same[3][1][1] = Stretch<uint32_t, true>;
  }
};
const RoutineTable& Routines() {
  static const RoutineTable table;
  return table;
}

// Between different layouts: each pixel goes through 8-8-8 colour. Rare (only surfaces
// made with a pixel format of their own), so it is plain.
DWORD ReadPixel(const uint8_t* row, int x, int bytes) {
  switch (bytes) {
    case 1: return row[x];
    case 2: {
      uint16_t v;
      std::memcpy(&v, row + x * 2, 2);
      return v;
    }
    case 3: return row[x * 3] | (static_cast<DWORD>(row[x * 3 + 1]) << 8) | (static_cast<DWORD>(row[x * 3 + 2]) << 16);
    default: {
      uint32_t v;
      std::memcpy(&v, row + x * 4, 4);
      return v;
    }
  }
}
void WritePixel(uint8_t* row, int x, int bytes, DWORD v) {
  switch (bytes) {
    case 1: row[x] = static_cast<uint8_t>(v); break;
    case 2: {
      const uint16_t w = static_cast<uint16_t>(v);
      std::memcpy(row + x * 2, &w, 2);
      break;
    }
    case 3:
      row[x * 3] = static_cast<uint8_t>(v);
      row[x * 3 + 1] = static_cast<uint8_t>(v >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(v >> 16);
      break;
    default: std::memcpy(row + x * 4, &v, 4); break;
  }
}

void Convert(const Span& s, const Format& from, const Format& to, bool keyed, const RGBQUAD* table) {
  const bmp::Channel fr = from.Red(), fg = from.Green(), fb = from.Blue();
  const bmp::Channel tr = to.Red(), tg = to.Green(), tb = to.Blue();
  const int inBytes = from.BytesPerPixel(), outBytes = to.BytesPerPixel();
  for (int y = 0; y < s.height; ++y) {
    const uint8_t* in = s.source + static_cast<ptrdiff_t>(s.rows[y]) * s.sourcePitch;
    uint8_t* out = s.dest + static_cast<ptrdiff_t>(y) * s.destPitch;
    for (int x = 0; x < s.width; ++x) {
      const DWORD v = ReadPixel(in, s.columns[x], inBytes);
      if (keyed && v == s.key) continue;
      uint8_t r, g, b;
      if (from.bitCount == 8) {
        r = table ? table[v].rgbRed : static_cast<uint8_t>(v);
        g = table ? table[v].rgbGreen : static_cast<uint8_t>(v);
        b = table ? table[v].rgbBlue : static_cast<uint8_t>(v);
      } else {
        r = fr.Expand(v);
        g = fg.Expand(v);
        b = fb.Expand(v);
      }
      WritePixel(out, x, outBytes, tr.Reduce(r) | tg.Reduce(g) | tb.Reduce(b));
    }
  }
}

}  // namespace

void FillRect(SurfaceObject& dest, const RECT& rect, DWORD value) {
  PixelStore& store = *dest.store;
  const int width = rect.right - rect.left;
  const int bytes = dest.format.BytesPerPixel();
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytes);
  if (rect.top >= rect.bottom || width <= 0) return;
  const DWORD used = bytes == 4 ? value : value & ((1u << (8 * bytes)) - 1);
  if (rect.left == 0 && rect.top == 0 && rect.right == store.width && rect.bottom == store.height) {
    store.Filled(used);
  } else {
    store.DrewIn(rect);
  }
  // A value whose bytes are all alike (black above all) is a plain memset, over the whole
  // block at once when the rows are the full pitch.
  const uint8_t low = static_cast<uint8_t>(used);
  bool uniform = true;
  for (int i = 1; i < bytes; ++i) uniform = uniform && static_cast<uint8_t>(used >> (8 * i)) == low;
  if (uniform) {
    if (rect.left == 0 && rowBytes == static_cast<size_t>(store.pitch)) {
      std::memset(store.Row(rect.top), low, rowBytes * static_cast<size_t>(rect.bottom - rect.top));
      return;
    }
    for (int y = rect.top; y < rect.bottom; ++y) std::memset(store.Row(y) + rect.left * bytes, low, rowBytes);
    return;
  }
  // Otherwise the first row pixel by pixel, and the rest copies of it.
  uint8_t* first = store.Row(rect.top) + static_cast<ptrdiff_t>(rect.left) * bytes;
  for (int x = 0; x < width; ++x) WritePixel(first, x, bytes, used);
  for (int y = rect.top + 1; y < rect.bottom; ++y) std::memcpy(store.Row(y) + rect.left * bytes, first, rowBytes);
}

void BlitRect(SurfaceObject& dest, const RECT& destRect, SurfaceObject& source, const RECT& sourceRect, bool keyed) {
  dest.store->DrewIn(destRect);
  const int dw = destRect.right - destRect.left, dh = destRect.bottom - destRect.top;
  const int sw = sourceRect.right - sourceRect.left, sh = sourceRect.bottom - sourceRect.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  const bool stretched = dw != sw || dh != sh;
  const bool sameLayout = dest.format == source.format;
  const int inBytes = source.format.BytesPerPixel(), outBytes = dest.format.BytesPerPixel();

  Span span{};
  span.dest = dest.store->Row(destRect.top) + static_cast<ptrdiff_t>(destRect.left) * outBytes;
  span.destPitch = dest.store->pitch;
  span.width = dw;
  span.height = dh;
  span.key = source.sourceKey.dwColorSpaceLowValue;
  span.sourcePitch = source.store->pitch;

  std::vector<int> columns, rows;
  if (stretched || !sameLayout) {
    // Nearest pixel, sampling each destination pixel's centre.
    columns.resize(static_cast<size_t>(dw));
    rows.resize(static_cast<size_t>(dh));
    for (int x = 0; x < dw; ++x) {
      columns[static_cast<size_t>(x)] = static_cast<int>((2 * static_cast<int64_t>(x) + 1) * sw / (2 * static_cast<int64_t>(dw)));
    }
    for (int y = 0; y < dh; ++y) {
      rows[static_cast<size_t>(y)] = static_cast<int>((2 * static_cast<int64_t>(y) + 1) * sh / (2 * static_cast<int64_t>(dh)));
    }
    span.columns = columns.data();
    span.rows = rows.data();
  }
  span.source = source.store->Row(sourceRect.top) + static_cast<ptrdiff_t>(sourceRect.left) * inBytes;

  // A blit within one store whose rectangles overlap reads from a copy, so it never reads
  // what it has already written.
  std::vector<uint8_t> copy;
  if (source.store == dest.store && sourceRect.left < destRect.right && destRect.left < sourceRect.right &&
      sourceRect.top < destRect.bottom && destRect.top < sourceRect.bottom) {
    const size_t rowBytes = static_cast<size_t>(sw) * static_cast<size_t>(inBytes);
    copy.resize(rowBytes * static_cast<size_t>(sh));
    for (int y = 0; y < sh; ++y) {
      std::memcpy(copy.data() + rowBytes * static_cast<size_t>(y),
                  source.store->Row(sourceRect.top + y) + static_cast<ptrdiff_t>(sourceRect.left) * inBytes, rowBytes);
    }
    span.source = copy.data();
    span.sourcePitch = static_cast<int>(rowBytes);
  }

  if (sameLayout) {
    Routines().same[LayoutIndex(dest.format.bitCount)][keyed ? 1 : 0][stretched ? 1 : 0](span);
    return;
  }
  RGBQUAD table[256] = {};
  if (const PaletteObject* p = source.SeenThrough()) p->ColorTable(table);
  Convert(span, source.format, dest.format, keyed, source.format.bitCount == 8 ? table : nullptr);
}

}  // namespace ddraw_internal
