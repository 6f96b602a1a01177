// Pixel formats and the blit engine: BitBlt, StretchBlt, StretchDIBits, PatBlt, GetDIBits
// and SetDIBits all come down to Blit(), which picks its row routines once per call.
#include <algorithm>
#include <bit>
#include <limits>

#include "platform/gdi/GdiInternal.h"

namespace gdi {

// ---------------------------------------------------------------------------------------
// Formats.

Format::Format(const Surface& s)
    : bpp(s.bpp), indexed(s.bpp <= 8), colors(s.colors), colorCount(s.colorCount) {
  for (int c = 0; c < 3; ++c) {
    channel[c] = bmp::Channel(s.masks[c]);
    const bmp::Channel& ch = channel[c];
    if (ch.bits > 8) continue;
    for (uint32_t v = 0; v < (1u << ch.bits); ++v) expand[c][v] = ch.Expand(v << ch.shift);
  }
}

int NearestIndex(const RGBQUAD* colors, int count, COLORREF c) {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int i = 0; i < count; ++i) {
    int dr = colors[i].rgbRed - r, dg = colors[i].rgbGreen - g, db = colors[i].rgbBlue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t Format::Nearest(COLORREF c) const {
  c &= 0xFFFFFF;
  if (!cacheReady) {
    std::fill(std::begin(cacheKey), std::end(cacheKey), 0xFFFFFFFFu);
    cacheReady = true;
  }
  uint32_t slot = (c ^ (c >> 10) ^ (c >> 20)) & 1023;
  if (cacheKey[slot] == c) return cacheValue[slot];
  uint32_t v = colorCount > 0 ? static_cast<uint32_t>(NearestIndex(colors, colorCount, c)) : 0;
  cacheKey[slot] = c;
  cacheValue[slot] = v;
  return v;
}

uint32_t ColorToRaw(const Surface& s, COLORREF c) {
  Format f(s);
  return f.FromRgb(c);
}

bool ReadDibInfo(const BITMAPINFO* info, DibInfo& dib) {
  if (!info || !bmp::HeaderSizeKnown(info->bmiHeader.biSize, bmp::HeaderSizes::InfoOrLarger)) return false;
  dib.header = bmp::ParseHeader(reinterpret_cast<const uint8_t*>(info), info->bmiHeader.biSize);
  const bmp::Header& h = dib.header;
  if (bmp::CheckHeader(h, bmp::kGdiRules) != bmp::HeaderFault::None) return false;
  dib.format = bmp::DefaultFormat(h.bitCount);
  if (h.compression == BI_BITFIELDS) {
    // The masks follow a plain header, or sit inside the larger headers at the same place.
    std::memcpy(dib.format.masks, reinterpret_cast<const uint8_t*>(info) + sizeof(BITMAPINFOHEADER), 12);
    if (bmp::CheckMasks(dib.format.masks, h.bitCount) != bmp::MaskFault::None) return false;
  }
  dib.colorCount = h.bitCount <= 8 ? static_cast<int>(std::min<int64_t>(h.DeclaredColors(), 1 << h.bitCount)) : 0;
  return true;
}

std::vector<RGBQUAD> DibColors(const BITMAPINFO* info, const DibInfo& dib, UINT usage, Dc* dc) {
  std::vector<RGBQUAD> colors(size_t{1} << dib.header.bitCount, RGBQUAD{0, 0, 0, 0});
  const auto* table = reinterpret_cast<const uint8_t*>(info) + info->bmiHeader.biSize;
  Palette* p = dc ? GetPalette(dc->st.palette) : nullptr;
  for (int i = 0; i < dib.colorCount; ++i) {
    RGBQUAD& q = colors[static_cast<size_t>(i)];
    if (usage == DIB_RGB_COLORS) {
      std::memcpy(&q, table + 4 * i, 4);
      q.rgbReserved = 0;
    } else {
      WORD index;
      std::memcpy(&index, table + 2 * i, 2);
      if (p && index < p->entries.size()) {
        const PALETTEENTRY& e = p->entries[index];
        q = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    }
  }
  return colors;
}

bool SurfaceOfDib(const BITMAPINFO* info, UINT usage, const void* bits, Dc* dc, Surface& s,
                  std::vector<uint8_t>* decoded) {
  DibInfo dib;
  if (!bits || !ReadDibInfo(info, dib)) return false;
  if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return false;
  const bmp::Header& h = dib.header;
  const int rows = static_cast<int>(h.Rows());
  s.width = h.width;
  s.height = rows;
  s.bpp = h.bitCount;
  std::copy(dib.format.masks, dib.format.masks + 3, s.masks);
  if (s.bpp <= 8) {
    s.ownColors = DibColors(info, dib, usage, dc);
    s.colors = s.ownColors.data();
    s.colorCount = static_cast<int>(s.ownColors.size());
  }
  const auto stride = static_cast<size_t>(bmp::RowBytes(h.bitCount, h.width));
  auto* base = const_cast<uint8_t*>(static_cast<const uint8_t*>(bits));
  if (h.RunLength()) {
    // Without a size the platform trusts the data; we refuse rather than read blindly. The
    // decoded copy is ours to allocate, so it keeps to the readers' limit.
    if (!decoded || h.sizeImage == 0 || int64_t{h.width} * rows > bmp::kMaxPixels) return false;
    decoded->assign(stride * static_cast<size_t>(rows), 0);
    if (bmp::DecodeRunLength({base, h.sizeImage}, h.bitCount, h.width, rows, stride, decoded->data(),
                             bmp::RunLengthEdges::Clip) != bmp::RunLengthFault::None)
      return false;
    base = decoded->data();
  }
  if (h.TopDown()) {
    s.top = base;
    s.pitch = static_cast<ptrdiff_t>(stride);
  } else {
    s.top = base + (static_cast<size_t>(rows) - 1) * stride;
    s.pitch = -static_cast<ptrdiff_t>(stride);
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Row routines.

namespace {

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

using ReadFn = void (*)(const uint8_t* row, const int* xs, int n, uint32_t* out);
using WriteFn = void (*)(uint8_t* row, int x0, int n, const uint32_t* in);

template <int Bpp>
void ReadRow(const uint8_t* row, const int* xs, int n, uint32_t* out) {
  for (int i = 0; i < n; ++i) {
    int x = xs[i];
    if constexpr (Bpp == 1) {
      out[i] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    } else if constexpr (Bpp == 4) {
      out[i] = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    } else if constexpr (Bpp == 8) {
      out[i] = row[x];
    } else if constexpr (Bpp == 16) {
      out[i] = Load16(row + 2 * x);
    } else if constexpr (Bpp == 24) {
      const uint8_t* p = row + 3 * x;
      out[i] = p[0] | (p[1] << 8) | (p[2] << 16);
    } else {
      out[i] = Load32(row + 4 * x);
    }
  }
}

template <int Bpp>
void WriteRow(uint8_t* row, int x0, int n, const uint32_t* in) {
  for (int i = 0; i < n; ++i) {
    int x = x0 + i;
    uint32_t v = in[i];
    if constexpr (Bpp == 1) {
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = (v & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
    } else if constexpr (Bpp == 4) {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 15)) : static_cast<uint8_t>((b & 0x0F) | ((v & 15) << 4));
    } else if constexpr (Bpp == 8) {
      row[x] = static_cast<uint8_t>(v);
    } else if constexpr (Bpp == 16) {
      Store16(row + 2 * x, v);
    } else if constexpr (Bpp == 24) {
      uint8_t* p = row + 3 * x;
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
    } else {
      Store32(row + 4 * x, v);
    }
  }
}

ReadFn ReaderFor(int bpp) {
  switch (bpp) {
    case 1: return ReadRow<1>;
    case 4: return ReadRow<4>;
    case 8: return ReadRow<8>;
    case 16: return ReadRow<16>;
    case 24: return ReadRow<24>;
    default: return ReadRow<32>;
  }
}
WriteFn WriterFor(int bpp) {
  switch (bpp) {
    case 1: return WriteRow<1>;
    case 4: return WriteRow<4>;
    case 8: return WriteRow<8>;
    case 16: return WriteRow<16>;
    case 24: return WriteRow<24>;
    default: return WriteRow<32>;
  }
}

// Conversion of a row of source raw values into destination raw values, in place.
struct Conv {
  const Format* src = nullptr;
  const Format* dst = nullptr;
  uint32_t lut[256];
  COLORREF sourceBk = 0;
};
using ConvFn = void (*)(uint32_t* v, int n, const Conv& c);

void ConvLut(uint32_t* v, int n, const Conv& c) {
  for (int i = 0; i < n; ++i) v[i] = c.lut[v[i] & 255];
}
void ConvMasked(uint32_t* v, int n, const Conv& c) {
  const Format& s = *c.src;
  const Format& d = *c.dst;
  for (int i = 0; i < n; ++i) {
    uint32_t raw = v[i];
    v[i] = d.Pack(s.Channel(raw, 0), 0) | d.Pack(s.Channel(raw, 1), 1) | d.Pack(s.Channel(raw, 2), 2);
  }
}
void ConvToIndexed(uint32_t* v, int n, const Conv& c) {
  for (int i = 0; i < n; ++i) v[i] = c.dst->Nearest(c.src->ToRgb(v[i]));
}
void ConvToMono(uint32_t* v, int n, const Conv& c) {
  for (int i = 0; i < n; ++i) v[i] = c.src->ToRgb(v[i]) == c.sourceBk ? 1u : 0u;
}

// Raster operations on raw values; the writer keeps only the bits of the format.
using RopFn = void (*)(uint32_t* d, const uint32_t* s, uint32_t p, int n, uint32_t code);

template <class Op>
void RopRow(uint32_t* d, const uint32_t* s, uint32_t p, int n, uint32_t code) {
  for (int i = 0; i < n; ++i) d[i] = Op::Apply(d[i], s ? s[i] : 0, p, code);
}
struct OpSrcPaint { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return s | d; } };
struct OpSrcAnd { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return s & d; } };
struct OpSrcInvert { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return s ^ d; } };
struct OpSrcErase { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return s & ~d; } };
struct OpNotSrcCopy { static uint32_t Apply(uint32_t, uint32_t s, uint32_t, uint32_t) { return ~s; } };
struct OpNotSrcErase { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return ~(s | d); } };
struct OpMergeCopy { static uint32_t Apply(uint32_t, uint32_t s, uint32_t p, uint32_t) { return p & s; } };
struct OpMergePaint { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t, uint32_t) { return ~s | d; } };
struct OpPatCopy { static uint32_t Apply(uint32_t, uint32_t, uint32_t p, uint32_t) { return p; } };
struct OpPatPaint { static uint32_t Apply(uint32_t d, uint32_t s, uint32_t p, uint32_t) { return p | ~s | d; } };
struct OpPatInvert { static uint32_t Apply(uint32_t d, uint32_t, uint32_t p, uint32_t) { return p ^ d; } };
struct OpDstInvert { static uint32_t Apply(uint32_t d, uint32_t, uint32_t, uint32_t) { return ~d; } };
struct OpBlackness { static uint32_t Apply(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; } };
struct OpWhiteness { static uint32_t Apply(uint32_t, uint32_t, uint32_t, uint32_t) { return 0xFFFFFFFFu; } };
// Any of the 256 ternary operations from its truth table: bit (P<<2 | S<<1 | D) of the code.
struct OpTernary {
  static uint32_t Apply(uint32_t d, uint32_t s, uint32_t p, uint32_t code) {
    uint32_t r = 0;
    for (int k = 0; k < 8; ++k) {
      if (!((code >> k) & 1)) continue;
      r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return r;
  }
};

RopFn RopFor(uint32_t index) {
  switch (index) {
    case 0xEE: return RopRow<OpSrcPaint>;
    case 0x88: return RopRow<OpSrcAnd>;
    case 0x66: return RopRow<OpSrcInvert>;
    case 0x44: return RopRow<OpSrcErase>;
    case 0x33: return RopRow<OpNotSrcCopy>;
    case 0x11: return RopRow<OpNotSrcErase>;
    case 0xC0: return RopRow<OpMergeCopy>;
    case 0xBB: return RopRow<OpMergePaint>;
    case 0xF0: return RopRow<OpPatCopy>;
    case 0xFB: return RopRow<OpPatPaint>;
    case 0x5A: return RopRow<OpPatInvert>;
    case 0x55: return RopRow<OpDstInvert>;
    case 0x00: return RopRow<OpBlackness>;
    case 0xFF: return RopRow<OpWhiteness>;
    default: return RopRow<OpTernary>;
  }
}

// Fast SRCCOPY rows: one routine that reads the source and writes the destination directly.
using FastFn = void (*)(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t* lut);

void Fast8To16(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t* lut) {
  uint8_t* d = drow + 2 * dx0;
  for (int i = 0; i < n; ++i) Store16(d + 2 * i, lut[srow[xs[i]]]);
}
void Fast8To16Run(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t* lut) {
  uint8_t* d = drow + 2 * dx0;
  const uint8_t* s = srow + xs[0];
  for (int i = 0; i < n; ++i) Store16(d + 2 * i, lut[s[i]]);
}
void Fast8To32(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t* lut) {
  uint8_t* d = drow + 4 * dx0;
  for (int i = 0; i < n; ++i) Store32(d + 4 * i, lut[srow[xs[i]]]);
}
void Fast8To32Run(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t* lut) {
  uint8_t* d = drow + 4 * dx0;
  const uint8_t* s = srow + xs[0];
  for (int i = 0; i < n; ++i) Store32(d + 4 * i, lut[s[i]]);
}
template <int Bytes>
void FastCopyRun(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t*) {
  std::memmove(drow + Bytes * dx0, srow + Bytes * xs[0], static_cast<size_t>(n) * Bytes);
}
template <int Bytes>
void FastCopyMapped(uint8_t* drow, const uint8_t* srow, int dx0, const int* xs, int n, const uint32_t*) {
  uint8_t* d = drow + Bytes * dx0;
  for (int i = 0; i < n; ++i) std::memcpy(d + Bytes * i, srow + Bytes * xs[i], Bytes);
}

bool SameFormat(const Surface& a, const Surface& b) {
  if (a.bpp != b.bpp) return false;
  if (a.bpp > 8) return std::equal(a.masks, a.masks + 3, b.masks);
  if (a.monoDevice && b.monoDevice) return true;
  if (a.monoDevice != b.monoDevice) return false;
  return a.colorCount == b.colorCount &&
         (a.colors == b.colors ||
          std::memcmp(a.colors, b.colors, sizeof(RGBQUAD) * static_cast<size_t>(a.colorCount)) == 0);
}

// The source pixel for destination pixel i of n, over a source span of m pixels.
inline int64_t MapPixel(int64_t i, int64_t n, int64_t m, bool flip) {
  int64_t t = ((2 * i + 1) * m) / (2 * n);
  return flip ? m - 1 - t : t;
}

struct Scratch {
  std::vector<int> xs, dxs;
  std::vector<uint32_t> s, d;
};
Scratch& Buffers() {
  thread_local Scratch scratch;
  return scratch;
}

// The table from an indexed source's values to destination values, kept from one blit to
// the next until the colours on either side change: sprites are drawn many times a frame
// with the same two palettes.
struct LutMemo {
  bool valid = false;
  int srcBpp = 0, dstBpp = 0;
  bool srcMono = false, dstMono = false;
  DWORD masks[3] = {};
  COLORREF text = 0, bk = 0, sourceBk = 0;
  std::vector<RGBQUAD> srcColors, dstColors;
  uint32_t lut[256];
};

bool SameColors(const std::vector<RGBQUAD>& kept, const RGBQUAD* colors, int count) {
  return static_cast<int>(kept.size()) == count &&
         (count == 0 || std::memcmp(kept.data(), colors, sizeof(RGBQUAD) * static_cast<size_t>(count)) == 0);
}

void LutFor(const Surface& src, const Surface& dst, const Format& sf, const Format& df, const BlitColors& colors,
            uint32_t* lut) {
  thread_local LutMemo memo;
  int entries = 1 << src.bpp;
  bool useText = src.monoDevice && !dst.monoDevice;
  COLORREF text = useText ? colors.destText & 0xFFFFFF : 0, bk = useText ? colors.destBk & 0xFFFFFF : 0;
  COLORREF sourceBk = dst.monoDevice ? colors.sourceBk & 0xFFFFFF : 0;
  int srcCount = useText ? 0 : std::min(src.colorCount, entries);
  int dstCount = dst.bpp <= 8 ? dst.colorCount : 0;
  if (memo.valid && memo.srcBpp == src.bpp && memo.dstBpp == dst.bpp && memo.srcMono == src.monoDevice &&
      memo.dstMono == dst.monoDevice && std::equal(dst.masks, dst.masks + 3, memo.masks) && memo.text == text &&
      memo.bk == bk && memo.sourceBk == sourceBk && SameColors(memo.srcColors, src.colors, srcCount) &&
      SameColors(memo.dstColors, dst.colors, dstCount)) {
    std::memcpy(lut, memo.lut, sizeof(uint32_t) * static_cast<size_t>(entries));
    return;
  }
  for (int i = 0; i < entries; ++i) {
    COLORREF c = useText ? (i == 0 ? text : bk) : sf.ToRgb(static_cast<uint32_t>(i)) & 0xFFFFFF;
    lut[i] = dst.monoDevice ? (c == sourceBk ? 1u : 0u) : df.FromRgb(c);
  }
  memo.valid = true;
  memo.srcBpp = src.bpp;
  memo.dstBpp = dst.bpp;
  memo.srcMono = src.monoDevice;
  memo.dstMono = dst.monoDevice;
  std::copy(dst.masks, dst.masks + 3, memo.masks);
  memo.text = text;
  memo.bk = bk;
  memo.sourceBk = sourceBk;
  memo.srcColors.assign(src.colors, src.colors + srcCount);
  memo.dstColors.assign(dst.colors, dst.colors + dstCount);
  std::memcpy(memo.lut, lut, sizeof(uint32_t) * static_cast<size_t>(entries));
}

}  // namespace

bool RopNeedsSource(DWORD rop) {
  uint32_t i = (rop >> 16) & 0xFF;
  return (((i >> 2) ^ i) & 0x33) != 0;
}
bool RopNeedsPattern(DWORD rop) {
  uint32_t i = (rop >> 16) & 0xFF;
  return (((i >> 4) ^ i) & 0x0F) != 0;
}
static bool RopNeedsDest(DWORD rop) {
  uint32_t i = (rop >> 16) & 0xFF;
  return (((i >> 1) ^ i) & 0x55) != 0;
}

bool Blit(Surface& dst, const RECT& clip, int64_t dx, int64_t dy, int64_t dw, int64_t dh, Surface* src, int64_t sx,
          int64_t sy, int64_t sw, int64_t sh, DWORD rop, const BlitColors& colors) {
  uint32_t index = (rop >> 16) & 0xFF;
  bool needSource = RopNeedsSource(rop);
  if (needSource && !src) return false;
  if (!needSource) src = nullptr;
  if (dw == 0 || dh == 0) return true;
  bool flipX = false, flipY = false;
  // A negative extent runs from the given edge backwards, covering (x + w, x].
  if (dw < 0) {
    dx += dw + 1;
    dw = -dw;
    flipX = !flipX;
  }
  if (dh < 0) {
    dy += dh + 1;
    dh = -dh;
    flipY = !flipY;
  }
  if (src) {
    if (sw == 0 || sh == 0) return true;
    if (sw < 0) {
      sx += sw + 1;
      sw = -sw;
      flipX = !flipX;
    }
    if (sh < 0) {
      sy += sh + 1;
      sh = -sh;
      flipY = !flipY;
    }
  }
  // Destination span inside the clip, then the part of it whose source lies inside the source.
  int64_t x0 = std::max<int64_t>(dx, clip.left), x1 = std::min<int64_t>(dx + dw, clip.right);
  int64_t y0 = std::max<int64_t>(dy, clip.top), y1 = std::min<int64_t>(dy + dh, clip.bottom);
  if (x0 >= x1 || y0 >= y1) return true;
  Scratch& buf = Buffers();
  int n = static_cast<int>(x1 - x0);
  buf.xs.resize(static_cast<size_t>(n));
  buf.dxs.resize(static_cast<size_t>(n));
  buf.s.resize(static_cast<size_t>(n));
  buf.d.resize(static_cast<size_t>(n));
  bool stretch = src && (sw != dw || sh != dh || flipX || flipY);
  int first = 0, count = n;
  if (src) {
    // Keep the contiguous run of columns whose source column exists.
    int kept = 0, start = -1;
    for (int i = 0; i < n; ++i) {
      int64_t di = x0 - dx + i;
      int64_t scol = sx + (stretch ? MapPixel(di, dw, sw, flipX) : di);
      if (scol < 0 || scol >= src->width) {
        if (start >= 0 && kept > 0) break;
        continue;
      }
      if (start < 0) start = i;
      buf.xs[static_cast<size_t>(kept++)] = static_cast<int>(scol);
    }
    if (kept == 0) return true;
    first = start;
    count = kept;
  }
  int destX0 = static_cast<int>(x0) + first;
  for (int i = 0; i < count; ++i) buf.dxs[static_cast<size_t>(i)] = destX0 + i;
  dst.Drew(RECT{destX0, static_cast<LONG>(y0), destX0 + count, static_cast<LONG>(y1)});

  Format df(dst);
  ReadFn readDest = ReaderFor(dst.bpp);
  WriteFn writeDest = WriterFor(dst.bpp);
  uint32_t pattern = colors.hasPattern ? df.FromRgb(colors.pattern) : 0;
  if (dst.monoDevice && colors.hasPattern) pattern = df.Nearest(colors.pattern);

  // Pick the source conversion once for the whole blit.
  std::unique_ptr<Format> sf;
  std::unique_ptr<Conv> conv;
  ConvFn convert = nullptr;
  ReadFn readSource = nullptr;
  FastFn fast = nullptr;
  if (src) {
    sf = std::make_unique<Format>(*src);
    conv = std::make_unique<Conv>();
    conv->src = sf.get();
    conv->dst = &df;
    conv->sourceBk = colors.sourceBk & 0xFFFFFF;
    readSource = ReaderFor(src->bpp);
    bool same = SameFormat(*src, dst);
    if (same) {
      convert = nullptr;
    } else if (src->bpp <= 8) {
      LutFor(*src, dst, *sf, df, colors, conv->lut);
      convert = ConvLut;
    } else if (dst.monoDevice) {
      convert = ConvToMono;
    } else if (dst.bpp <= 8) {
      convert = ConvToIndexed;
    } else {
      convert = ConvMasked;
    }
    if (index == 0xCC) {
      bool run = !stretch;
      if (same && dst.bpp >= 8) {
        switch (dst.bpp) {
          case 8: fast = run ? FastCopyRun<1> : FastCopyMapped<1>; break;
          case 16: fast = run ? FastCopyRun<2> : FastCopyMapped<2>; break;
          case 24: fast = run ? FastCopyRun<3> : FastCopyMapped<3>; break;
          default: fast = run ? FastCopyRun<4> : FastCopyMapped<4>; break;
        }
      } else if (src->bpp == 8 && convert == ConvLut) {
        if (dst.bpp == 16) fast = run ? Fast8To16Run : Fast8To16;
        if (dst.bpp == 32) fast = run ? Fast8To32Run : Fast8To32;
      }
    }
  }
  RopFn ropFn = index == 0xCC ? nullptr : RopFor(index);
  bool needDest = RopNeedsDest(rop);

  // A blit within one surface that moves pixels down must read each row before it is
  // overwritten, so it runs from the bottom.
  bool upwards = src && !stretch && src->top == dst.top && src->pitch == dst.pitch && dy > sy;
  for (int64_t step = 0; step < y1 - y0; ++step) {
    int64_t y = upwards ? y1 - 1 - step : y0 + step;
    const uint8_t* srow = nullptr;
    if (src) {
      int64_t di = y - dy;
      int64_t srowIndex = sy + (stretch ? MapPixel(di, dh, sh, flipY) : di);
      if (srowIndex < 0 || srowIndex >= src->height) continue;
      srow = src->Row(static_cast<int>(srowIndex));
    }
    uint8_t* drow = dst.Row(static_cast<int>(y));
    if (fast) {
      fast(drow, srow, destX0, buf.xs.data(), count, conv->lut);
      continue;
    }
    uint32_t* s = nullptr;
    if (src) {
      s = buf.s.data();
      readSource(srow, buf.xs.data(), count, s);
      if (convert) convert(s, count, *conv);
    }
    if (!ropFn) {
      writeDest(drow, destX0, count, s);
      continue;
    }
    uint32_t* d = buf.d.data();
    if (needDest) readDest(drow, buf.dxs.data(), count, d);
    ropFn(d, s, pattern, count, index);
    writeDest(drow, destX0, count, d);
  }
  return true;
}

void ReadSpan(const Surface& s, int y, int x0, int n, uint32_t* out) {
  Scratch& buf = Buffers();
  buf.dxs.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) buf.dxs[static_cast<size_t>(i)] = x0 + i;
  ReaderFor(s.bpp)(s.Row(y), buf.dxs.data(), n, out);
}

void WriteSpan(Surface& s, int y, int x0, int n, const uint32_t* in) {
  s.Drew(RECT{x0, y, x0 + n, y + 1});
  WriterFor(s.bpp)(s.Row(y), x0, n, in);
}

RECT DeviceClip(const Dc& dc, const Surface& s) {
  RECT r{0, 0, s.width, s.height};
  if (dc.st.hasClip) {
    r.left = std::max(r.left, dc.st.clip.left);
    r.top = std::max(r.top, dc.st.clip.top);
    r.right = std::min(r.right, dc.st.clip.right);
    r.bottom = std::min(r.bottom, dc.st.clip.bottom);
  }
  return r;
}

void FillRaw(Surface& s, const RECT& clip, RECT r, uint32_t raw, int rop2) {
  r.left = std::max(r.left, clip.left);
  r.top = std::max(r.top, clip.top);
  r.right = std::min(r.right, clip.right);
  r.bottom = std::min(r.bottom, clip.bottom);
  if (r.left >= r.right || r.top >= r.bottom) return;
  s.Drew(r);
  int n = r.right - r.left;
  Scratch& buf = Buffers();
  buf.d.resize(static_cast<size_t>(n));
  buf.dxs.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) buf.dxs[static_cast<size_t>(i)] = r.left + i;
  ReadFn read = ReaderFor(s.bpp);
  WriteFn write = WriterFor(s.bpp);
  // Binary operation code: bit (P<<1 | D) of (rop2 - 1).
  uint32_t code = static_cast<uint32_t>(std::clamp(rop2, 1, 16) - 1);
  bool copy = code == 12;
  for (int y = r.top; y < r.bottom; ++y) {
    uint8_t* row = s.Row(y);
    uint32_t* d = buf.d.data();
    if (copy) {
      std::fill(d, d + n, raw);
    } else {
      read(row, buf.dxs.data(), n, d);
      for (int i = 0; i < n; ++i) {
        uint32_t out = 0, dv = d[i];
        for (int k = 0; k < 4; ++k)
          if ((code >> k) & 1) out |= ((k & 2) ? raw : ~raw) & ((k & 1) ? dv : ~dv);
        d[i] = out;
      }
    }
    write(row, r.left, n, d);
  }
}

}  // namespace gdi

using namespace gdi;

namespace {

BlitColors ColorsFor(Dc& dest, Dc* source) {
  BlitColors c;
  c.destText = ResolveColor(dest, dest.st.textColor);
  c.destBk = ResolveColor(dest, dest.st.bkColor);
  c.sourceBk = source ? ResolveColor(*source, source->st.bkColor) : 0xFFFFFF;
  Brush* b = GetBrush(dest.st.brush);
  if (b && b->style == BS_SOLID) {
    c.hasPattern = true;
    c.pattern = ResolveColor(dest, b->color);
  }
  return c;
}

BOOL StretchBetween(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh,
                    DWORD rop) {
  Dc* d = GetDc(dest);
  if (!d) return FALSE;
  Surface ds;
  if (!SurfaceOfDc(*d, ds)) return FALSE;
  Dc* s = nullptr;
  Surface ss;
  int64_t sourceX = sx, sourceY = sy;
  if (RopNeedsSource(rop)) {
    s = GetDc(source);
    if (!s || !SurfaceOfDc(*s, ss)) return FALSE;
    sourceX += s->st.origin.x;
    sourceY += s->st.origin.y;
  }
  BlitColors colors = ColorsFor(*d, s);
  if (RopNeedsPattern(rop) && !colors.hasPattern) {
    colors.hasPattern = true;
    colors.pattern = 0;
  }
  RECT clip = DeviceClip(*d, ds);
  return Blit(ds, clip, int64_t{x} + d->st.origin.x, int64_t{y} + d->st.origin.y, width, height, s ? &ss : nullptr,
              sourceX, sourceY, sw, sh,
              rop, colors)
             ? TRUE
             : FALSE;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
  GDI_LOCK;
  // The platform treats a negative BitBlt extent as an empty one.
  if (width < 0 || height < 0) return GetDc(dest) ? TRUE : FALSE;
  return StretchBetween(dest, x, y, width, height, source, sx, sy, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh,
                DWORD rop) {
  GDI_LOCK;
  return StretchBetween(dest, x, y, width, height, source, sx, sy, sw, sh, rop);
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  GDI_LOCK;
  if (RopNeedsSource(rop)) return FALSE;
  return StretchBetween(dc, x, y, width, height, nullptr, 0, 0, 0, 0, rop);
}

int SetStretchBltMode(HDC h, int mode) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int previous = dc->st.stretchMode;
  dc->st.stretchMode = mode;
  return previous;
}

int GetStretchBltMode(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  return dc ? dc->st.stretchMode : 0;
}

int StretchDIBits(HDC dest, int x, int y, int width, int height, int sx, int sy, int sw, int sh, const void* bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop) {
  GDI_LOCK;
  Dc* d = GetDc(dest);
  if (!d) return 0;
  Surface ds;
  if (!SurfaceOfDc(*d, ds)) return 0;
  Surface ss;
  std::vector<uint8_t> decoded;
  if (!SurfaceOfDib(info, usage, bits, d, ss, &decoded)) return 0;
  // The source rectangle of a bottom-up DIB is measured from its bottom-left corner; turn
  // it into rows counted from the top (a negative height still covers (sy + sh, sy]).
  int64_t srcTop = sy;
  if (info->bmiHeader.biHeight > 0) srcTop = sh > 0 ? int64_t{ss.height} - sy - sh : int64_t{ss.height} - sy - sh - 2;
  int srcHeight = sh;
  BlitColors colors = ColorsFor(*d, nullptr);
  if (RopNeedsPattern(rop) && !colors.hasPattern) colors.hasPattern = true;
  RECT clip = DeviceClip(*d, ds);
  if (!Blit(ds, clip, int64_t{x} + d->st.origin.x, int64_t{y} + d->st.origin.y, width, height, &ss, sx, srcTop, sw,
            srcHeight, rop,
            colors))
    return 0;
  return ss.height;
}

namespace {

// Lines [start, start + lines) of a DIB, counted from its bottom row as the platform does.
bool LineSpan(const Bitmap& b, UINT start, UINT lines, int& top, int& count) {
  if (start >= static_cast<UINT>(b.height)) return false;
  count = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(b.height) - start));
  top = b.height - static_cast<int>(start) - count;
  return count > 0;
}

void FillHeaderFor(const Bitmap& b, BITMAPINFO* info) {
  BITMAPINFOHEADER& h = info->bmiHeader;
  h.biWidth = b.width;
  h.biHeight = b.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(b.bpp);
  h.biCompression = (b.bpp == 16 || b.bpp == 32) && b.bitfields ? BI_BITFIELDS : BI_RGB;
  h.biSizeImage = static_cast<DWORD>(static_cast<size_t>(b.stride) * static_cast<size_t>(b.height));
  h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
  h.biClrUsed = 0;
  h.biClrImportant = 0;
}

}  // namespace

int GetDIBits(HDC h, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  Bitmap* b = GetBitmap(bitmap);
  if (!dc || !b || !info || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (usage != DIB_RGB_COLORS) return 0;
  if (info->bmiHeader.biBitCount == 0) {
    // The caller asks what the bitmap is.
    FillHeaderFor(*b, info);
    if (b->bitfields) std::memcpy(reinterpret_cast<uint8_t*>(info) + sizeof(BITMAPINFOHEADER), b->masks, 12);
    return b->height;
  }
  int bpp = info->bmiHeader.biBitCount;
  if (bpp <= 8) {
    // Tell the caller the colours of the layout it asked for.
    auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(info) + info->bmiHeader.biSize);
    int n = 1 << bpp;
    Surface bs;
    SurfaceOfBitmap(*b, bs);
    for (int i = 0; i < n; ++i) {
      if (b->bpp == bpp && i < bs.colorCount) {
        table[i] = bs.colors[i];
      } else if (bpp == 1) {
        table[i] = i ? RGBQUAD{255, 255, 255, 0} : RGBQUAD{0, 0, 0, 0};
      } else if (bpp == 4) {
        const PALETTEENTRY& e = SystemPalette()[i < 8 ? i : i + 240];
        table[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      } else {
        const PALETTEENTRY& e = SystemPalette()[i];
        table[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    }
    info->bmiHeader.biClrUsed = 0;
  }
  if (!bits) {
    int width = info->bmiHeader.biWidth;
    if (width <= 0) info->bmiHeader.biWidth = width = b->width;
    const int64_t stride = bmp::RowBytes(bpp, width);
    info->bmiHeader.biSizeImage =
        stride <= bmp::kMaxRowBytes ? static_cast<DWORD>(static_cast<size_t>(stride) * static_cast<size_t>(b->height)) : 0;
    return b->height;
  }
  if (info->bmiHeader.biWidth != b->width) return 0;
  int rows = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  int top, count;
  if (!LineSpan(*b, start, lines, top, count)) return 0;
  if (rows < count) return 0;
  // The caller's buffer holds the requested lines, laid out as its header says.
  BITMAPINFO* view = info;
  std::vector<uint8_t> headerCopy;
  if (rows != count) {
    size_t headerSize = info->bmiHeader.biSize + (bpp <= 8 ? 4u << bpp : 12u);
    headerCopy.assign(reinterpret_cast<uint8_t*>(info), reinterpret_cast<uint8_t*>(info) + headerSize);
    view = reinterpret_cast<BITMAPINFO*>(headerCopy.data());
    view->bmiHeader.biHeight = info->bmiHeader.biHeight < 0 ? -count : count;
  }
  Surface ds, ss;
  if (!SurfaceOfDib(view, DIB_RGB_COLORS, bits, dc, ds, nullptr)) return 0;
  SurfaceOfBitmap(*b, ss);
  BlitColors colors;
  RECT clip{0, 0, ds.width, ds.height};
  if (!Blit(ds, clip, 0, 0, b->width, count, &ss, 0, top, b->width, count, SRCCOPY, colors)) return 0;
  return count;
}

int SetDIBits(HDC h, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  GDI_LOCK;
  Dc* dc = h ? GetDc(h) : nullptr;
  if (h && !dc) return 0;
  Bitmap* b = GetBitmap(bitmap);
  if (!b || !info || !bits) return 0;
  Surface ss;
  std::vector<uint8_t> decoded;
  if (!SurfaceOfDib(info, usage, bits, dc, ss, &decoded)) return 0;
  if (ss.width != b->width) return 0;
  int top, count;
  if (!LineSpan(*b, start, lines, top, count)) return 0;
  count = std::min(count, ss.height);
  // Line `start` of the bitmap takes the bottom line of the caller's rows.
  Surface ds;
  SurfaceOfBitmap(*b, ds);
  BlitColors colors;
  RECT clip{0, 0, ds.width, ds.height};
  if (!Blit(ds, clip, 0, top, b->width, count, &ss, 0, ss.height - count, b->width, count, SRCCOPY, colors))
    return 0;
  return count;
}
