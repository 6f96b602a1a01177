#pragma once
// What the bytes of a bitmap mean, apart from any object that holds them: the info header and
// the limits a picture must keep, pixel formats (masks and shifts), row sizes and run-length
// data. GDI, the bitmap file reader, the DIB stream forms and the display surfaces all read
// pictures through here, so a fix reaches every one of them. Where the readers differ in how
// much they forgive, the caller says so with a rule or a policy.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace bmp {

// ---------------------------------------------------------------------------------------
// Limits. A few bytes of header can claim any size; these keep a claim from turning into
// gigabytes of memory. No picture this program shows comes near them.

inline constexpr int64_t kMaxPixels = int64_t{1} << 28;
inline constexpr int32_t kMaxFileSide = 1 << 20;  // width or height of a bitmap file
inline constexpr int32_t kMaxGdiSide = 65536;     // width or height of a DIB handed to GDI
inline constexpr int64_t kMaxRowBytes = int64_t{1} << 28;

// Bytes of a row of `width` pixels, padded to 4 bytes; -1 for a negative width or bit count
// or a row that does not fit in a signed 32-bit size.
int64_t RowBytes(int32_t bitCount, int64_t width);

// ---------------------------------------------------------------------------------------
// Pixel formats.

// One colour's run of bits inside a pixel value.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;  // the mask's lowest set bit
  int bits = 0;   // the run of set bits from there

  Channel() = default;
  explicit Channel(uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::countr_one(m >> shift)) {}
  // The channel of a pixel value as 8 bits, its low bits filled from its top ones, so a
  // 5-bit 31 is 255 and a 5-bit 16 is 132.
  uint8_t Expand(uint32_t value) const {
    const uint32_t v = (value & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    uint32_t level = 0;
    for (int filled = 0; bits > 0 && filled < 8; filled += bits) {
      const int distance = 8 - bits - filled;
      level |= distance >= 0 ? v << distance : v >> -distance;
    }
    return static_cast<uint8_t>(level);
  }
  // An 8-bit level placed in the channel; its top bits survive.
  uint32_t Reduce(uint8_t level) const {
    const uint32_t v = bits <= 8 ? uint32_t{level} >> (8 - bits) : uint32_t{level} << (bits - 8);
    return (v << shift) & mask;
  }
  // The channel as a screen shows it: the nearest of the 256 levels, so a 5-bit 3 is 25
  // where Expand gives 24. Channels of 8 bits and more keep their top 8.
  uint8_t Widen(uint32_t value) const {
    const uint32_t v = (value & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    const uint32_t top = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + top / 2) / top);
  }
};

// How a pixel holds its colour: an index into a colour table for 8 bits and fewer, red,
// green and blue masks above that (24 bits always 8-8-8, as three bytes).
struct PixelFormat {
  int32_t bitCount = 0;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue

  bool Indexed() const { return bitCount <= 8; }
  int BytesPerPixel() const { return (bitCount + 7) / 8; }  // 1 for the sub-byte depths too
  Channel Red() const { return Channel(masks[0]); }
  Channel Green() const { return Channel(masks[1]); }
  Channel Blue() const { return Channel(masks[2]); }
  // Colour levels to a pixel value and back, through the masks (not for indexed formats).
  uint32_t Pack(uint8_t red, uint8_t green, uint8_t blue) const;
  void Unpack(uint32_t value, uint8_t& red, uint8_t& green, uint8_t& blue) const;
  bool operator==(const PixelFormat& other) const;
};

inline constexpr PixelFormat kIndexed8{8, {0, 0, 0}};
inline constexpr PixelFormat kRgb555{16, {0x7C00, 0x03E0, 0x001F}};
inline constexpr PixelFormat kRgb565{16, {0xF800, 0x07E0, 0x001F}};
inline constexpr PixelFormat kRgb888{32, {0xFF0000, 0x00FF00, 0x0000FF}};

bool IsBitCount(int32_t bitCount);  // 1, 4, 8, 16, 24 or 32
// A bit count's format when nothing says otherwise: 5-5-5 for 16 bits, 8-8-8 for 24 and 32,
// indexed (no masks) for 8 and fewer.
PixelFormat DefaultFormat(int32_t bitCount);

enum class MaskFault : uint8_t { None, Shape, Overlap };
// Masks of a 16- or 32-bit pixel: each one non-empty run of bits inside the pixel
// (otherwise Shape), and no two sharing a bit (Overlap).
MaskFault CheckMasks(const uint32_t masks[3], int32_t bitCount);

// ---------------------------------------------------------------------------------------
// Pixels on a screen. A screen takes 8-8-8 values with red in bits 16 to 23 and nothing in
// the top byte (XRGB); every format reaches it with its channels widened (Channel::Widen).

// Rows of one format as screen values. Made once for a format and its colour table and then
// used for every row of every frame in it: a display converts sixty frames a second.
class ScreenRows {
 public:
  // `colors` (XRGB) is the table of an indexed format; an index past `colorCount` is black.
  // Formats of 8, 16, 24 and 32 bits.
  explicit ScreenRows(const PixelFormat& format, const uint32_t* colors = nullptr, int colorCount = 0);
  const PixelFormat& Format() const { return format_; }
  // `count` pixels from `row` (the first pixel's byte) to `out`.
  void Convert(const uint8_t* row, int count, uint32_t* out) const;
  // The same for `rows` rows, `pitch` and `outPitch` bytes apart: a picture's changed parts
  // come as many small rectangles, each converted in one call.
  void Convert(const uint8_t* row, ptrdiff_t pitch, int count, int rows, uint32_t* out, ptrdiff_t outPitch) const;
  // What the converter shows for one pixel value.
  uint32_t Value(uint32_t pixel) const;
  bool SameAs(const PixelFormat& format, const uint32_t* colors, int colorCount) const;

 private:
  enum class Kind : uint8_t { Rgb565, Table16, Xrgb, Masked32, Bytes24, Indexed8 };
  PixelFormat format_;
  Kind kind_ = Kind::Xrgb;
  std::vector<uint32_t> table_;  // colours of an indexed format (256), or every 16-bit value
  int colorCount_ = 0;
};

// ---------------------------------------------------------------------------------------
// The info header.

inline constexpr uint32_t kCoreHeaderSize = 12;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kLargestHeaderSize = 124;

// The header sizes a reader takes.
enum class HeaderSizes : uint8_t {
  CoreOrInfo,    // 12 or 40: the DIB stream forms
  FileHeaders,   // 12, 40, 52, 56, 108 or 124: what bitmap files carry
  InfoOrLarger,  // 40 up to 4096: a BITMAPINFO in memory, as GDI is handed one
};
bool HeaderSizeKnown(uint32_t size, HeaderSizes sizes);

// An info header of any size, its fields as stored.
struct Header {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;  // negative when the rows run top-down
  int32_t planes = 0;
  int32_t bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
  bool masksInHeader = false;  // headers of 52 bytes and more hold the masks (56: and alpha)
  uint32_t masks[4] = {0, 0, 0, 0};

  bool Core() const { return size == kCoreHeaderSize; }
  bool TopDown() const { return height < 0; }
  int64_t Rows() const { return height < 0 ? -int64_t{height} : height; }
  int EntryBytes() const { return Core() ? 3 : 4; }  // of a colour-table entry
  bool RunLength() const { return compression == BI_RLE8 || compression == BI_RLE4; }
  // Colour-table entries the header announces: biClrUsed, or 2^bitCount for 8 bits and
  // fewer when that is 0.
  int64_t DeclaredColors() const;
};

// Reads a header from its bytes, which start with its size field; a core header's 16-bit
// fields are widened. `bytes` holds `available` bytes; fields past them read as 0.
Header ParseHeader(const uint8_t* bytes, size_t available);

// What the readers refuse, each a little differently.
struct HeaderRules {
  int32_t maxSide;           // largest width or height; 0: only the pixel limit
  int64_t maxPixels;
  bool planesMustBeOne;
  bool checkBitCount;        // 1, 4, 8, 16, 24, 32 (no 16 or 32 in a core header), and bit
                             // fields only for 16 and 32; off: whoever makes the store checks
  bool alphaBitFields;       // BI_ALPHABITFIELDS is read like BI_BITFIELDS
};
inline constexpr HeaderRules kGdiRules{kMaxGdiSide, std::numeric_limits<int64_t>::max(), true, true, false};
inline constexpr HeaderRules kFileRules{kMaxFileSide, kMaxPixels, true, true, true};
inline constexpr HeaderRules kStreamRules{0, kMaxPixels, false, false, false};

// The first thing wrong with a header, in this order. Run-length data always needs its own
// bit count and bottom-up rows.
enum class HeaderFault : uint8_t { None, Planes, Width, Height, TooLarge, BitCount, Compression };
HeaderFault CheckHeader(const Header& header, const HeaderRules& rules);

// ---------------------------------------------------------------------------------------
// Run-length data (BI_RLE8, BI_RLE4): a pair (count > 0, value) repeats the value (for 4
// bits its two nibbles alternate); 0 0 ends the row, 0 1 the picture; 0 2 dx dy moves right
// and up; 0 n copies n pixels, padded to a 16-bit boundary. Data may stop without an end.

// How much a reader forgives of data that reaches past the picture.
enum class RunLengthEdges : uint8_t {
  Clip,          // pixels outside are dropped, and decoding stops past the top row
  RefusePixels,  // a pixel outside is a fault; rows and moves may pass the edge unused
  RefuseMoves,   // a row end or move past the edge is a fault as well
};
enum class RunLengthFault : uint8_t {
  None,
  Depth,         // not 4 or 8 bits per pixel
  PixelOutside,
  RowsPastTop,   // RefuseMoves only
  MovePastEdge,  // RefuseMoves only
  LiteralCut,    // a literal run longer than the data
  MoveCut,       // a move without its two bytes
};
// Decodes into a picture of the same depth, bottom row first, rows `rowBytes` apart. With
// pixels null only the data is checked. Pixels the data never reaches keep what they held.
RunLengthFault DecodeRunLength(std::span<const uint8_t> data, int32_t bitCount, int32_t width, int32_t height,
                               size_t rowBytes, uint8_t* pixels, RunLengthEdges edges);

}  // namespace bmp
