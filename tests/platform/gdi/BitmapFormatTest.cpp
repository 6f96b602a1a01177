// The bitmap format shared by GDI, the bitmap file reader and the DIB streams: what each
// reader's rules and run-length policy let through, and the pixel formats of the surfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/BitmapFormat.h"

namespace {

using bmp::HeaderFault;
using bmp::RunLengthEdges;
using bmp::RunLengthFault;

TEST(BitmapFormat, RowBytesAndBitCounts) {
  EXPECT_EQ(bmp::RowBytes(8, 47), 48);
  EXPECT_EQ(bmp::RowBytes(1, 33), 8);
  EXPECT_EQ(bmp::RowBytes(4, 9), 8);
  EXPECT_EQ(bmp::RowBytes(24, 1), 4);
  EXPECT_EQ(bmp::RowBytes(16, 0), 0);
  EXPECT_EQ(bmp::RowBytes(32, 0x7FFFFFFF), -1);  // past a 32-bit size
  EXPECT_EQ(bmp::RowBytes(8, -1), -1);
  EXPECT_TRUE(bmp::IsBitCount(16));
  EXPECT_FALSE(bmp::IsBitCount(2));
  EXPECT_FALSE(bmp::IsBitCount(0));
}

TEST(BitmapFormat, SurfaceFormatsPackAndUnpack) {
  uint8_t r, g, b;
  EXPECT_EQ(bmp::kRgb565.Pack(255, 255, 255), 0xFFFFu);
  EXPECT_EQ(bmp::kRgb565.Pack(0x08, 0x04, 0x07), 0x0820u);  // top bits of each level survive
  EXPECT_EQ(bmp::kRgb555.Pack(255, 0, 0), 0x7C00u);
  EXPECT_EQ(bmp::kRgb888.Pack(1, 2, 3), 0x010203u);
  bmp::kRgb555.Unpack(0x4210, r, g, b);  // 16 of 31 in each channel
  EXPECT_EQ(r, 132);
  EXPECT_EQ(g, 132);
  EXPECT_EQ(b, 132);
  bmp::kRgb565.Unpack(0x07E0, r, g, b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 0);
  bmp::kRgb888.Unpack(0xAB123456, r, g, b);  // the top byte is no colour
  EXPECT_EQ(r, 0x12);
  EXPECT_EQ(g, 0x34);
  EXPECT_EQ(b, 0x56);
  // Unpacking never loses a bit that packing keeps.
  for (uint32_t v = 0; v < 65536; ++v) {
    bmp::kRgb565.Unpack(v, r, g, b);
    ASSERT_EQ(bmp::kRgb565.Pack(r, g, b), v);
  }
  EXPECT_EQ(bmp::DefaultFormat(16), bmp::kRgb555);
  EXPECT_TRUE(bmp::DefaultFormat(8).Indexed());
  const bmp::PixelFormat rgb24 = bmp::DefaultFormat(24);
  EXPECT_EQ(rgb24.bitCount, 24);
  EXPECT_EQ(rgb24.Red().shift, 16);
  EXPECT_EQ(rgb24.Green().bits, 8);
  EXPECT_EQ(rgb24.BytesPerPixel(), 3);
  EXPECT_EQ(bmp::kRgb565.BytesPerPixel(), 2);
  EXPECT_EQ(bmp::kIndexed8.BytesPerPixel(), 1);
}

// A screen shows each channel at the nearest of 256 levels: 5-bit 3 is 25 (not the 24 that
// repeating its bits gives), 6-bit 2 is 8; channels wider than 8 bits keep their top 8.
TEST(BitmapFormat, ScreenRowsWidenEveryFormatWithRounding) {
  const uint32_t colors[3] = {0x112233, 0x445566, 0x778899};
  const bmp::PixelFormat tenBits{32, {0x3FF00000, 0x000FFC00, 0x000003FF}};
  struct Case {
    bmp::PixelFormat format;
    uint32_t pixel;
    uint32_t shown;
  };
  const Case cases[] = {
      {bmp::kRgb565, 0xF800, 0xFF0000},      {bmp::kRgb565, 0x0041, 0x000808},  // green 2, blue 1
      {bmp::kRgb565, 0x1863, 0x190C19},      // 3, 3, 3
      {bmp::kRgb555, 0x0C63, 0x191919},      {bmp::kRgb555, 0x7FFF, 0xFFFFFF},
      {bmp::kRgb888, 0xAB123456, 0x123456},  // the top byte is no colour
      {tenBits, 0x3FF00000 | (0x155u << 10) | 0x003, 0xFF5500},
      {bmp::DefaultFormat(24), 0x0A0B0C, 0x0A0B0C},
      {bmp::kIndexed8, 2, 0x778899},         {bmp::kIndexed8, 3, 0},  // past the table: black
  };
  for (const Case& c : cases) {
    const bmp::ScreenRows rows(c.format, colors, 3);
    EXPECT_EQ(rows.Value(c.pixel), c.shown) << std::hex << c.pixel;
    // Rows of every length the block routines split differently convert each pixel alike.
    for (int count : {1, 7, 8, 9, 16, 17, 33, 70}) {
      const int bytes = c.format.BytesPerPixel();
      std::vector<uint8_t> row(static_cast<size_t>(count * bytes) + 3, 0xEE);
      for (int x = 0; x < count; ++x) std::memcpy(&row[static_cast<size_t>(x * bytes)], &c.pixel, static_cast<size_t>(bytes));
      std::vector<uint32_t> out(static_cast<size_t>(count) + 1, 0xDEADBEEF);
      rows.Convert(row.data(), count, out.data());
      EXPECT_EQ(std::count(out.begin(), out.end() - 1, c.shown), count) << std::hex << c.pixel << " x " << std::dec << count;
      EXPECT_EQ(out.back(), 0xDEADBEEFu) << "written past the row";
    }
  }
  // The 5-6-5 rows, in blocks, agree with the rule for every value.
  const bmp::ScreenRows rows(bmp::kRgb565);
  std::vector<uint16_t> all(65536);
  for (uint32_t v = 0; v < 65536; ++v) all[v] = static_cast<uint16_t>(v);
  std::vector<uint32_t> shown(65536);
  rows.Convert(reinterpret_cast<const uint8_t*>(all.data()), 65536, shown.data());
  for (uint32_t v = 0; v < 65536; ++v) {
    const uint32_t want = (uint32_t{bmp::kRgb565.Red().Widen(v)} << 16) | (uint32_t{bmp::kRgb565.Green().Widen(v)} << 8) |
                          bmp::kRgb565.Blue().Widen(v);
    ASSERT_EQ(shown[v], want) << std::hex << v;
  }
  EXPECT_TRUE(rows.SameAs(bmp::kRgb565, nullptr, 0));
  EXPECT_FALSE(rows.SameAs(bmp::kRgb555, nullptr, 0));
  const bmp::ScreenRows indexed(bmp::kIndexed8, colors, 3);
  EXPECT_TRUE(indexed.SameAs(bmp::kIndexed8, colors, 3));
  EXPECT_FALSE(indexed.SameAs(bmp::kIndexed8, colors, 2));
}

TEST(BitmapFormat, MasksMustBeSeparateRunsInsideThePixel) {
  const uint32_t good[3] = {0xF800, 0x07E0, 0x001F};
  EXPECT_EQ(bmp::CheckMasks(good, 16), bmp::MaskFault::None);
  const uint32_t gappy[3] = {0xF400, 0x03E0, 0x001F};
  EXPECT_EQ(bmp::CheckMasks(gappy, 16), bmp::MaskFault::Shape);
  const uint32_t empty[3] = {0xF800, 0, 0x001F};
  EXPECT_EQ(bmp::CheckMasks(empty, 16), bmp::MaskFault::Shape);
  const uint32_t wide[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  EXPECT_EQ(bmp::CheckMasks(wide, 16), bmp::MaskFault::Shape);
  EXPECT_EQ(bmp::CheckMasks(wide, 32), bmp::MaskFault::None);
  const uint32_t shared[3] = {0x7C00, 0x07E0, 0x001F};
  EXPECT_EQ(bmp::CheckMasks(shared, 16), bmp::MaskFault::Overlap);
}

std::vector<uint8_t> InfoBytes(uint32_t size, int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0,
                               uint32_t colorsUsed = 0) {
  std::vector<uint8_t> raw(size, 0);
  BITMAPINFOHEADER h{};
  h.biSize = size;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = compression;
  h.biClrUsed = colorsUsed;
  std::memcpy(raw.data(), &h, std::min<size_t>(size, sizeof h));
  return raw;
}

bmp::Header Info(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0) {
  const std::vector<uint8_t> raw = InfoBytes(40, width, height, bits, compression);
  return bmp::ParseHeader(raw.data(), raw.size());
}

TEST(BitmapFormat, HeadersOfEverySizeParse) {
  const uint8_t core[12] = {12, 0, 0, 0, 3, 0, 2, 0, 1, 0, 24, 0};
  const bmp::Header c = bmp::ParseHeader(core, sizeof core);
  EXPECT_TRUE(c.Core());
  EXPECT_EQ(c.width, 3);
  EXPECT_EQ(c.Rows(), 2);
  EXPECT_EQ(c.EntryBytes(), 3);
  EXPECT_EQ(c.DeclaredColors(), 0);

  std::vector<uint8_t> v4 = InfoBytes(108, 4, -3, 16, BI_BITFIELDS);
  const uint32_t masks[4] = {0xF800, 0x07E0, 0x001F, 0};
  std::memcpy(v4.data() + 40, masks, sizeof masks);
  const bmp::Header h = bmp::ParseHeader(v4.data(), v4.size());
  EXPECT_TRUE(h.masksInHeader);
  EXPECT_EQ(h.masks[1], 0x07E0u);
  EXPECT_TRUE(h.TopDown());
  EXPECT_EQ(h.Rows(), 3);
  // Bytes the caller does not have read as zero, never from past its buffer.
  EXPECT_EQ(bmp::ParseHeader(v4.data(), 16).compression, 0u);

  EXPECT_EQ(Info(1, 1, 8).DeclaredColors(), 256);
  const std::vector<uint8_t> many = InfoBytes(40, 1, 1, 4, 0, 300);
  EXPECT_EQ(bmp::ParseHeader(many.data(), many.size()).DeclaredColors(), 300);

  EXPECT_TRUE(bmp::HeaderSizeKnown(52, bmp::HeaderSizes::FileHeaders));
  EXPECT_FALSE(bmp::HeaderSizeKnown(52, bmp::HeaderSizes::CoreOrInfo));
  EXPECT_FALSE(bmp::HeaderSizeKnown(12, bmp::HeaderSizes::InfoOrLarger));
  EXPECT_TRUE(bmp::HeaderSizeKnown(4096, bmp::HeaderSizes::InfoOrLarger));
  EXPECT_FALSE(bmp::HeaderSizeKnown(4097, bmp::HeaderSizes::InfoOrLarger));
  EXPECT_FALSE(bmp::HeaderSizeKnown(20, bmp::HeaderSizes::FileHeaders));
}

TEST(BitmapFormat, EachReadersLimitsSitExactlyAtTheirEdge) {
  // Files: a million pixels a side and 2^28 pixels in all.
  EXPECT_EQ(bmp::CheckHeader(Info(bmp::kMaxFileSide, 1, 8), bmp::kFileRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(bmp::kMaxFileSide + 1, 1, 8), bmp::kFileRules), HeaderFault::Width);
  EXPECT_EQ(bmp::CheckHeader(Info(1, -bmp::kMaxFileSide - 1, 8), bmp::kFileRules), HeaderFault::Height);
  EXPECT_EQ(bmp::CheckHeader(Info(1 << 14, 1 << 14, 8), bmp::kFileRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(1 << 14, (1 << 14) + 1, 8), bmp::kFileRules), HeaderFault::TooLarge);
  // GDI: 65536 a side and no limit of pixels, since it reads the caller's memory in place.
  EXPECT_EQ(bmp::CheckHeader(Info(65536, 65536, 1), bmp::kGdiRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(65537, 1, 1), bmp::kGdiRules), HeaderFault::Width);
  EXPECT_EQ(bmp::CheckHeader(Info(1, INT32_MIN, 8), bmp::kGdiRules), HeaderFault::Height);
  // DIB streams: only the pixel limit.
  EXPECT_EQ(bmp::CheckHeader(Info(1 << 28, 1, 8), bmp::kStreamRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info((1 << 28) + 1, 1, 8), bmp::kStreamRules), HeaderFault::TooLarge);
  EXPECT_EQ(bmp::CheckHeader(Info(1, INT32_MIN, 8), bmp::kStreamRules), HeaderFault::TooLarge);
  for (const bmp::HeaderRules& rules : {bmp::kGdiRules, bmp::kFileRules, bmp::kStreamRules}) {
    EXPECT_EQ(bmp::CheckHeader(Info(0, 1, 8), rules), HeaderFault::Width);
    EXPECT_EQ(bmp::CheckHeader(Info(-1, 1, 8), rules), HeaderFault::Width);
    EXPECT_EQ(bmp::CheckHeader(Info(1, 0, 8), rules), HeaderFault::Height);
  }
}

TEST(BitmapFormat, ReadersDifferInWhatTheyLeaveToTheStore) {
  bmp::Header noPlanes = Info(1, 1, 8);
  noPlanes.planes = 0;
  EXPECT_EQ(bmp::CheckHeader(noPlanes, bmp::kFileRules), HeaderFault::Planes);
  EXPECT_EQ(bmp::CheckHeader(noPlanes, bmp::kGdiRules), HeaderFault::Planes);
  EXPECT_EQ(bmp::CheckHeader(noPlanes, bmp::kStreamRules), HeaderFault::None);
  // The DIB store refuses bad bit counts and formats itself, with its own messages.
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 3), bmp::kFileRules), HeaderFault::BitCount);
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 3), bmp::kStreamRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 8, BI_BITFIELDS), bmp::kFileRules), HeaderFault::Compression);
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 8, BI_BITFIELDS), bmp::kStreamRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 32, BI_ALPHABITFIELDS), bmp::kFileRules), HeaderFault::None);
  EXPECT_EQ(bmp::CheckHeader(Info(1, 1, 32, BI_ALPHABITFIELDS), bmp::kGdiRules), HeaderFault::Compression);
  const uint8_t core16[12] = {12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 16, 0};
  EXPECT_EQ(bmp::CheckHeader(bmp::ParseHeader(core16, 12), bmp::kFileRules), HeaderFault::BitCount);
  // Run-length data needs its own depth and bottom-up rows under every rule.
  for (const bmp::HeaderRules& rules : {bmp::kGdiRules, bmp::kFileRules, bmp::kStreamRules}) {
    EXPECT_EQ(bmp::CheckHeader(Info(4, 4, 8, BI_RLE8), rules), HeaderFault::None);
    EXPECT_EQ(bmp::CheckHeader(Info(4, 4, 4, BI_RLE8), rules), HeaderFault::Compression);
    EXPECT_EQ(bmp::CheckHeader(Info(4, -4, 4, BI_RLE4), rules), HeaderFault::Compression);
    EXPECT_EQ(bmp::CheckHeader(Info(4, 4, 24, 9), rules), HeaderFault::Compression);
  }
}

// Decodes into a picture filled with 0xEE, so untouched pixels show; checks that the
// check-only pass (no pixels) gives the same answer.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& data, int bits, int w, int h, RunLengthFault* fault,
                            RunLengthEdges edges = RunLengthEdges::RefusePixels) {
  const auto rowBytes = static_cast<size_t>(bmp::RowBytes(bits, w));
  std::vector<uint8_t> pixels(rowBytes * h, 0xEE);
  *fault = bmp::DecodeRunLength(data, bits, w, h, rowBytes, pixels.data(), edges);
  EXPECT_EQ(*fault, bmp::DecodeRunLength(data, bits, w, h, rowBytes, nullptr, edges));
  return pixels;
}

TEST(BitmapRunLength, EightBitRunsLiteralsMovesAndEnds) {
  RunLengthFault fault;
  // Row 0: run of 3 x 7, literal 1 2 3 (padded), end of row; row 1: move right 1, up 0,
  // run of 2 x 9, end of picture.
  auto px = Decode({3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 2, 9, 0, 1}, 8, 6, 2, &fault);
  ASSERT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(px, (std::vector<uint8_t>{7, 7, 7, 1, 2, 3, 0xEE, 0xEE, 0xEE, 9, 9, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  // Data that just stops (no end mark) is accepted as far as it goes.
  px = Decode({2, 5}, 8, 2, 1, &fault);
  EXPECT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(px[1], 5);
}

TEST(BitmapRunLength, FourBitRunsAlternateNibblesAndOddLiteralsArePadded) {
  RunLengthFault fault;
  auto px = Decode({5, 0x12, 0, 3, 0xAB, 0xC0, 0, 1}, 4, 8, 1, &fault);
  ASSERT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(px, (std::vector<uint8_t>{0x12, 0x12, 0x1A, 0xBC}));
  // Five nibbles take three bytes and a pad byte before the next command.
  px = Decode({0, 5, 0x12, 0x34, 0x50, 0xFF, 1, 0x77}, 4, 6, 1, &fault);
  ASSERT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(px, (std::vector<uint8_t>{0x12, 0x34, 0x57, 0xEE}));
}

TEST(BitmapRunLength, RefusesDataThatWouldWriteOutsideOrStopsInARun) {
  RunLengthFault fault;
  Decode({5, 1}, 8, 4, 1, &fault);  // run past the row's end
  EXPECT_EQ(fault, RunLengthFault::PixelOutside);
  Decode({0, 0, 1, 1}, 8, 4, 1, &fault);  // a second row in a one-row picture
  EXPECT_EQ(fault, RunLengthFault::PixelOutside);
  Decode({0, 2, 200, 0, 1, 1}, 8, 4, 4, &fault);  // moved right beyond the row
  EXPECT_EQ(fault, RunLengthFault::PixelOutside);
  Decode({0, 2, 0, 9, 1, 1}, 8, 4, 4, &fault);  // moved above the top
  EXPECT_EQ(fault, RunLengthFault::PixelOutside);
  Decode({0, 5, 1, 2}, 8, 8, 1, &fault);  // literal longer than the data
  EXPECT_EQ(fault, RunLengthFault::LiteralCut);
  Decode({0, 2, 1}, 8, 8, 1, &fault);  // move without its two bytes
  EXPECT_EQ(fault, RunLengthFault::MoveCut);
  Decode({0, 9, 0x11, 0x11, 0x11, 0x11, 0x10}, 4, 8, 1, &fault);  // nine nibbles in eight columns
  EXPECT_EQ(fault, RunLengthFault::PixelOutside);
  Decode({0, 2, 0, 3, 0, 1}, 8, 4, 4, &fault);  // a move that stays inside is fine
  EXPECT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(bmp::DecodeRunLength({}, 24, 1, 1, 4, nullptr, RunLengthEdges::RefusePixels), RunLengthFault::Depth);
}

TEST(BitmapRunLength, EachPolicyForgivesWhatItSays) {
  RunLengthFault fault;
  // Row ends past the top that draw nothing: only the strictest reader minds.
  const std::vector<uint8_t> rows = {1, 3, 0, 0, 0, 0, 0, 1};
  Decode(rows, 8, 4, 1, &fault, RunLengthEdges::RefuseMoves);
  EXPECT_EQ(fault, RunLengthFault::RowsPastTop);
  Decode(rows, 8, 4, 1, &fault, RunLengthEdges::RefusePixels);
  EXPECT_EQ(fault, RunLengthFault::None);
  // Likewise a move past the right edge.
  const std::vector<uint8_t> move = {0, 2, 5, 0, 0, 1};
  Decode(move, 8, 4, 2, &fault, RunLengthEdges::RefuseMoves);
  EXPECT_EQ(fault, RunLengthFault::MovePastEdge);
  Decode(move, 8, 4, 2, &fault, RunLengthEdges::RefusePixels);
  EXPECT_EQ(fault, RunLengthFault::None);
  // A blit drops what lands outside and keeps what lands inside.
  auto px = Decode({6, 9, 0, 2, 5, 0, 1, 4}, 8, 4, 1, &fault, RunLengthEdges::Clip);
  EXPECT_EQ(fault, RunLengthFault::None);
  EXPECT_EQ(px, (std::vector<uint8_t>{9, 9, 9, 9}));
  // ... and stops reading once it is past the top, so what follows is never looked at.
  const std::vector<uint8_t> past = {1, 3, 0, 0, 0, 5};
  Decode(past, 8, 4, 1, &fault, RunLengthEdges::Clip);
  EXPECT_EQ(fault, RunLengthFault::None);
  Decode(past, 8, 4, 1, &fault, RunLengthEdges::RefusePixels);
  EXPECT_EQ(fault, RunLengthFault::LiteralCut);
  // Data cut short inside the picture is a fault even for a blit.
  Decode({0, 2, 1}, 8, 4, 2, &fault, RunLengthEdges::Clip);
  EXPECT_EQ(fault, RunLengthFault::MoveCut);
  Decode({0, 4, 1, 2}, 8, 4, 2, &fault, RunLengthEdges::Clip);
  EXPECT_EQ(fault, RunLengthFault::LiteralCut);
}

}  // namespace
