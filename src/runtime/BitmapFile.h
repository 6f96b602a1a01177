#pragma once
// The bitmap file format, apart from any GDI object: a decoded picture as plain rows, the
// reader that checks every size and offset before it trusts it, and the writer.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/BitmapFormat.h"
#include "platform/gdi/Gdi.h"
#include "runtime/Classes.h"

// A picture as the file holds it, decoded: rows bottom-up, each padded to 4 bytes, in the
// file's own depth (run-length pictures are decoded to their 4 or 8 bits).
struct TBitmapData {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;
  // Red, green, blue masks for 16 and 32 bits (5-5-5 and 8-8-8 when the file gives none).
  DWORD Masks[3] = {0, 0, 0};
  // The colour table as the file gives it (biClrUsed entries or 2^BitCount), at most 256.
  std::vector<RGBQUAD> Colors;
  std::vector<uint8_t> Bits;

  int32_t RowBytes() const { return static_cast<int32_t>(bmp::RowBytes(BitCount, Width)); }
  // Row y counted from the top.
  uint8_t* Row(int32_t y) { return Bits.data() + static_cast<size_t>(Height - 1 - y) * RowBytes(); }
  const uint8_t* Row(int32_t y) const { return Bits.data() + static_cast<size_t>(Height - 1 - y) * RowBytes(); }
  // The colour at (x, y) as 0x00BBGGRR, through the colour table or the masks.
  COLORREF PixelColor(int32_t x, int32_t y) const;
};

// How a picture is written. Natural is BI_RGB, except BI_BITFIELDS for 16 bits with a
// 5-6-5 layout; Rle is BI_RLE8 / BI_RLE4 for 8 and 4 bits.
enum TBitmapCompression : uint8_t { bcNatural, bcRle };

// Reads a bitmap file (14-byte file header, then the info) from the stream's position;
// Size is how many bytes the file may take from there. Bad headers, offsets, sizes and
// run-length data raise EInvalidGraphic "Bitmap image is not valid" (with a reason), a
// file that ends early EReadError.
TBitmapData ReadBitmapFile(TStream& Stream, int64_t Size);
// Reads the headerless form (info header, colours or masks, pixels) of the clipboard's
// CF_DIB block.
TBitmapData ReadBitmapInfo(TStream& Stream, int64_t Size);

// The width and height (rows, whichever way they run) a bitmap file declares, read from its
// headers alone, so that a caller can refuse a picture before anything is set aside for its
// pixels. False when the stream does not start with a bitmap file's headers; the headers
// are not judged further (that is ReadBitmapFile's work).
bool ReadBitmapFileExtent(TStream& Stream, int64_t Size, int64_t& Width, int64_t& Height);

void WriteBitmapFile(TStream& Stream, const TBitmapData& Data, TBitmapCompression Compression = bcNatural);
void WriteBitmapInfo(TStream& Stream, const TBitmapData& Data, TBitmapCompression Compression = bcNatural);
