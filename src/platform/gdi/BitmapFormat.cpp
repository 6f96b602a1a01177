#include "platform/gdi/BitmapFormat.h"

#include <algorithm>
#include <cstring>

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
