#include "runtime/BitmapFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "runtime/Graphics.h"

namespace {

constexpr WORD BitmapFileType = 0x4D42;  // "BM"

[[noreturn]] void Invalid(const char* why) {
  throw EInvalidGraphic(std::string(SInvalidImage) + " (" + why + ")");
}

// Reads from the stream without ever going further than Limit bytes past where it
// started; running short is the file ending early.
class TBoundedReader {
 public:
  TBoundedReader(TStream& Stream, int64_t Limit) : FStream(Stream), FLimit(Limit) {}
  void Read(void* Buffer, int64_t Count) {
    if (Count < 0 || Count > FLimit - FUsed) throw EReadError(SReadError);
    FStream.ReadBuffer(Buffer, Count);
    FUsed += Count;
  }
  // Up to Count bytes: whatever the file still has within the limit.
  std::vector<uint8_t> ReadUpTo(int64_t Count) {
    const int64_t n = std::max<int64_t>(0, std::min(Count, FLimit - FUsed));
    std::vector<uint8_t> data(static_cast<size_t>(n));
    const int32_t got = n > 0 ? FStream.Read(data.data(), static_cast<int32_t>(n)) : 0;
    data.resize(static_cast<size_t>(std::max(got, 0)));
    FUsed += static_cast<int64_t>(data.size());
    return data;
  }
  template <class T>
  T Value() {
    T v{};
    Read(&v, sizeof v);
    return v;
  }
  void SkipTo(int64_t Offset) {
    if (Offset < FUsed) Invalid("pixel offset inside the headers");
    if (Offset > FLimit) Invalid("pixel offset past the end of the file");
    std::vector<uint8_t> scratch(static_cast<size_t>(std::min<int64_t>(Offset - FUsed, 4096)));
    while (FUsed < Offset) {
      const int64_t n = std::min<int64_t>(Offset - FUsed, static_cast<int64_t>(scratch.size()));
      Read(scratch.data(), n);
    }
  }
  int64_t Used() const { return FUsed; }
  int64_t Limit() const { return FLimit; }

 private:
  TStream& FStream;
  int64_t FLimit;
  int64_t FUsed = 0;
};

[[noreturn]] void Invalid(bmp::HeaderFault fault) {
  switch (fault) {
    case bmp::HeaderFault::Planes: Invalid("planes must be 1");
    case bmp::HeaderFault::Width: Invalid("width");
    case bmp::HeaderFault::Height: Invalid("height");
    case bmp::HeaderFault::TooLarge: Invalid("picture too large");
    case bmp::HeaderFault::BitCount: Invalid("bit count");
    default: Invalid("compression");
  }
}

// Run-length data may stop anywhere outside a literal run, even in the middle of a move.
void Check(bmp::RunLengthFault fault) {
  switch (fault) {
    case bmp::RunLengthFault::None:
    case bmp::RunLengthFault::MoveCut: return;
    case bmp::RunLengthFault::RowsPastTop: Invalid("run-length rows past the picture");
    case bmp::RunLengthFault::MovePastEdge: Invalid("run-length move outside the picture");
    case bmp::RunLengthFault::LiteralCut: Invalid("run-length literal past the end of the data");
    default: Invalid("run-length data outside the picture");
  }
}

TBitmapData ReadInfo(TBoundedReader& r, int64_t fileHeaderBytes, int64_t pixelOffset) {
  const DWORD headerSize = r.Value<DWORD>();
  if (!bmp::HeaderSizeKnown(headerSize, bmp::HeaderSizes::FileHeaders)) Invalid("unknown header size");
  uint8_t raw[bmp::kLargestHeaderSize] = {};
  std::memcpy(raw, &headerSize, 4);
  r.Read(raw + 4, headerSize - 4);
  const bmp::Header header = bmp::ParseHeader(raw, headerSize);
  // The shape must be a real picture before anything is allocated for it.
  if (const bmp::HeaderFault fault = bmp::CheckHeader(header, bmp::kFileRules); fault != bmp::HeaderFault::None)
    Invalid(fault);
  TBitmapData d;
  d.Width = header.width;
  d.Height = static_cast<int32_t>(header.Rows());
  d.BitCount = header.bitCount;
  const DWORD compression = header.compression;

  // Masks: in the larger headers, or three (four with alpha) words after the 40-byte one.
  if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
    DWORD masks[4];
    std::copy(header.masks, header.masks + 4, masks);
    if (!header.masksInHeader) r.Read(masks, compression == BI_ALPHABITFIELDS ? 16 : 12);
    std::copy(masks, masks + 3, d.Masks);
    switch (bmp::CheckMasks(d.Masks, d.BitCount)) {
      case bmp::MaskFault::Shape: Invalid("colour mask");
      case bmp::MaskFault::Overlap: Invalid("overlapping colour masks");
      case bmp::MaskFault::None: break;
    }
  } else if (d.BitCount == 16 || d.BitCount == 32) {
    const bmp::PixelFormat natural = bmp::DefaultFormat(d.BitCount);
    std::copy(natural.masks, natural.masks + 3, d.Masks);
  }

  // Colour table: biClrUsed entries, or all 2^n for the paletted depths; the larger depths
  // may carry an optional table that we skip. A pixel offset that says the table is
  // shorter wins over the header's count.
  int64_t entries = header.DeclaredColors();
  const int entryBytes = header.EntryBytes();
  if (pixelOffset > 0) {
    if (pixelOffset - fileHeaderBytes < r.Used()) Invalid("pixel offset inside the headers");
    entries = std::min(entries, (pixelOffset - fileHeaderBytes - r.Used()) / entryBytes);
  }
  if (d.BitCount <= 8) {
    const int64_t keep = std::min<int64_t>(entries, int64_t{1} << d.BitCount);
    d.Colors.resize(static_cast<size_t>(keep));
    for (int64_t k = 0; k < entries; ++k) {
      uint8_t e[4] = {0, 0, 0, 0};
      r.Read(e, entryBytes);
      if (k < keep) d.Colors[static_cast<size_t>(k)] = RGBQUAD{e[0], e[1], e[2], 0};
    }
  }
  if (pixelOffset > 0) {
    r.SkipTo(pixelOffset - fileHeaderBytes);
  } else if (d.BitCount > 8 && entries > 0) {
    r.SkipTo(r.Used() + entries * entryBytes);
  }

  // Pixels.
  const int64_t rowBytes = d.RowBytes();
  const int64_t imageBytes = rowBytes * d.Height;
  if (header.RunLength()) {
    const int64_t remaining = r.Limit() - r.Used();
    const int64_t sizeImage = header.sizeImage;
    if (sizeImage > 0 && sizeImage > remaining) Invalid("image size past the end of the file");
    // Well-formed run-length data never needs more than two bytes a pixel and an end mark
    // a row, so more than that is not read.
    const int64_t cap = 2 * int64_t{d.Width} * d.Height + 4 * int64_t{d.Height} + 16;
    const std::vector<uint8_t> src = r.ReadUpTo(std::min(sizeImage > 0 ? sizeImage : remaining, cap));
    d.Bits.assign(static_cast<size_t>(imageBytes), 0);
    Check(bmp::DecodeRunLength(src, d.BitCount, d.Width, d.Height, static_cast<size_t>(rowBytes), d.Bits.data(),
                               bmp::RunLengthEdges::RefuseMoves));
    return d;
  }
  if (imageBytes > r.Limit() - r.Used()) throw EReadError(SReadError);
  d.Bits.resize(static_cast<size_t>(imageBytes));
  if (!header.TopDown()) {
    r.Read(d.Bits.data(), imageBytes);
  } else {
    for (int32_t y = 0; y < d.Height; ++y) r.Read(d.Row(y), rowBytes);
  }
  return d;
}

// Run-length encoding of one row of indices (one per byte, already unpacked).
void EncodeRleRow(const std::vector<uint8_t>& px, bool four, std::vector<uint8_t>& out) {
  const size_t n = px.size();
  size_t i = 0;
  auto runAt = [&](size_t k) {
    size_t r = 1;
    while (k + r < n && r < 255 && px[k + r] == px[k]) ++r;
    return r;
  };
  while (i < n) {
    size_t run = runAt(i);
    if (run >= 3 || n - i < 3) {
      if (run < 3) run = 1;
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(four ? static_cast<uint8_t>((px[i] << 4) | px[i]) : px[i]);
      i += run;
      continue;
    }
    // A literal stretch until a run of three begins.
    size_t lit = 0;
    while (i + lit < n && lit < 255 && (runAt(i + lit) < 3 || lit == 0)) ++lit;
    if (lit < 3) {
      for (size_t k = 0; k < lit; ++k) {
        out.push_back(1);
        out.push_back(four ? static_cast<uint8_t>((px[i + k] << 4) | px[i + k]) : px[i + k]);
      }
    } else {
      out.push_back(0);
      out.push_back(static_cast<uint8_t>(lit));
      size_t bytes = 0;
      if (four) {
        for (size_t k = 0; k < lit; k += 2) {
          const uint8_t hi = px[i + k], lo = k + 1 < lit ? px[i + k + 1] : 0;
          out.push_back(static_cast<uint8_t>((hi << 4) | lo));
          ++bytes;
        }
      } else {
        for (size_t k = 0; k < lit; ++k) out.push_back(px[i + k]);
        bytes = lit;
      }
      if (bytes & 1) out.push_back(0);
    }
    i += lit;
  }
}

std::vector<uint8_t> EncodeRle(const TBitmapData& d) {
  const bool four = d.BitCount == 4;
  std::vector<uint8_t> out;
  std::vector<uint8_t> px(static_cast<size_t>(d.Width));
  for (int32_t y = 0; y < d.Height; ++y) {
    const uint8_t* row = d.Bits.data() + static_cast<size_t>(y) * d.RowBytes();  // bottom-up
    for (int32_t x = 0; x < d.Width; ++x) px[x] = four ? ((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4) : row[x];
    EncodeRleRow(px, four, out);
    out.push_back(0);
    out.push_back(y + 1 < d.Height ? 0 : 1);
  }
  return out;
}

void CheckWritable(const TBitmapData& d) {
  switch (d.BitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: throw EInvalidGraphicOperation(SInvalidPixelFormat);
  }
  if (d.Width <= 0 || d.Height <= 0 || d.Bits.size() < static_cast<size_t>(d.RowBytes()) * d.Height) {
    throw EInvalidGraphicOperation(SInvalidImage);
  }
}

// Everything after the file header: info header, masks or colours, pixels. Answers the
// bytes before the pixels (for the file header's offset) through headerBytes.
std::vector<uint8_t> BuildInfo(const TBitmapData& d, TBitmapCompression c, int64_t& headerBytes) {
  CheckWritable(d);
  const bool rle = c == bcRle && (d.BitCount == 4 || d.BitCount == 8);
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = d.Width;
  h.biHeight = d.Height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(d.BitCount);
  h.biCompression = rle ? (d.BitCount == 8 ? BI_RLE8 : BI_RLE4) : BI_RGB;
  const bmp::PixelFormat natural = bmp::DefaultFormat(d.BitCount);
  const bool bitfields = (d.BitCount == 16 || d.BitCount == 32) && !std::equal(d.Masks, d.Masks + 3, natural.masks) &&
                         !(d.Masks[0] == 0 && d.Masks[1] == 0 && d.Masks[2] == 0);
  if (bitfields) h.biCompression = BI_BITFIELDS;
  std::vector<RGBQUAD> colors;
  if (d.BitCount <= 8) {
    colors = d.Colors;
    const size_t full = size_t{1} << d.BitCount;
    if (colors.size() > full) colors.resize(full);
    if (colors.empty()) colors.resize(full, RGBQUAD{0, 0, 0, 0});
    h.biClrUsed = colors.size() < full ? static_cast<DWORD>(colors.size()) : 0;
  }
  std::vector<uint8_t> pixels;
  if (rle) {
    pixels = EncodeRle(d);
  } else {
    pixels.assign(d.Bits.begin(), d.Bits.begin() + static_cast<ptrdiff_t>(d.RowBytes()) * d.Height);
  }
  h.biSizeImage = static_cast<DWORD>(pixels.size());
  // Sized once up front: growing the vector after copying the header in trips a false
  // array-bounds warning in GCC 12's optimiser.
  const size_t maskBytes = bitfields ? 12 : 0;
  std::vector<uint8_t> out(sizeof h + maskBytes);
  std::memcpy(out.data(), &h, sizeof h);
  if (bitfields) std::memcpy(out.data() + sizeof h, d.Masks, maskBytes);
  out.reserve(out.size() + colors.size() * 4 + pixels.size());
  for (const RGBQUAD& q : colors) {
    out.push_back(q.rgbBlue);
    out.push_back(q.rgbGreen);
    out.push_back(q.rgbRed);
    out.push_back(0);
  }
  headerBytes = static_cast<int64_t>(out.size());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

}  // namespace

COLORREF TBitmapData::PixelColor(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return 0;
  const uint8_t* row = Row(y);
  auto fromTable = [&](uint32_t index) -> COLORREF {
    if (index >= Colors.size()) return 0;
    const RGBQUAD& q = Colors[index];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
  };
  switch (BitCount) {
    case 1: return fromTable((row[x / 8] >> (7 - x % 8)) & 1u);
    case 4: return fromTable((x & 1) ? row[x / 2] & 0x0Fu : row[x / 2] >> 4);
    case 8: return fromTable(row[x]);
    case 24: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case 16:
    case 32: {
      DWORD v = 0;
      std::memcpy(&v, row + x * BitCount / 8, BitCount / 8);
      uint8_t r, g, b;
      bmp::PixelFormat{BitCount, {Masks[0], Masks[1], Masks[2]}}.Unpack(v, r, g, b);
      return RGB(r, g, b);
    }
    default: return 0;
  }
}

TBitmapData ReadBitmapFile(TStream& Stream, int64_t Size) {
  TBoundedReader r(Stream, Size);
  BITMAPFILEHEADER fh{};
  r.Read(&fh, sizeof fh);
  if (fh.bfType != BitmapFileType) Invalid("not a bitmap file");
  TBoundedReader info(Stream, Size - static_cast<int64_t>(sizeof fh));
  TBitmapData d = ReadInfo(info, sizeof fh, fh.bfOffBits);
  return d;
}

bool ReadBitmapFileExtent(TStream& Stream, int64_t Size, int64_t& Width, int64_t& Height) {
  BITMAPFILEHEADER fh{};
  DWORD headerSize = 0;
  constexpr auto fileHeaderBytes = static_cast<int32_t>(sizeof fh);
  if (Size < fileHeaderBytes + 4 || Stream.Read(&fh, fileHeaderBytes) != fileHeaderBytes) return false;
  if (fh.bfType != BitmapFileType || Stream.Read(&headerSize, 4) != 4) return false;
  if (!bmp::HeaderSizeKnown(headerSize, bmp::HeaderSizes::FileHeaders) || headerSize > Size - fileHeaderBytes)
    return false;
  uint8_t raw[bmp::kLargestHeaderSize] = {};
  std::memcpy(raw, &headerSize, 4);
  const auto rest = static_cast<int32_t>(headerSize - 4);
  if (Stream.Read(raw + 4, rest) != rest) return false;
  const bmp::Header header = bmp::ParseHeader(raw, headerSize);
  Width = header.width;
  Height = header.Rows();
  return true;
}

TBitmapData ReadBitmapInfo(TStream& Stream, int64_t Size) {
  TBoundedReader r(Stream, Size);
  return ReadInfo(r, 0, 0);
}

void WriteBitmapFile(TStream& Stream, const TBitmapData& Data, TBitmapCompression Compression) {
  int64_t headerBytes = 0;
  const std::vector<uint8_t> info = BuildInfo(Data, Compression, headerBytes);
  BITMAPFILEHEADER fh{};
  fh.bfType = BitmapFileType;
  fh.bfSize = static_cast<DWORD>(sizeof fh + info.size());
  fh.bfOffBits = static_cast<DWORD>(sizeof fh + headerBytes);
  Stream.WriteBuffer(&fh, sizeof fh);
  Stream.WriteBuffer(info.data(), static_cast<int64_t>(info.size()));
}

void WriteBitmapInfo(TStream& Stream, const TBitmapData& Data, TBitmapCompression Compression) {
  int64_t headerBytes = 0;
  const std::vector<uint8_t> info = BuildInfo(Data, Compression, headerBytes);
  Stream.WriteBuffer(info.data(), static_cast<int64_t>(info.size()));
}
