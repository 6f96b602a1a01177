// The stream forms of TDIB: the headerless body, the file form, and the clipboard form.
#include <algorithm>
#include <cstring>
#include <new>

#include "image/DIB.h"
#include "runtime/GlobalMemory.h"

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic(SInvalidDIB); }

// Bytes the stream still holds past its position.
int64_t Remaining(TStream& Stream) {
  const int64_t position = Stream.Position();
  const int64_t size = Stream.Size();
  return size > position ? size - position : 0;
}

// Checks that the stream can give Count more bytes before memory is set aside for them;
// a body that ends early is a read error either way.
void NeedBytes(TStream& Stream, int64_t Count) {
  if (Count > Remaining(Stream)) throw EReadError(SReadError);
}

}  // namespace

void TDIB::ReadImageData(TStream& Stream) { ReadBody(Stream, FImage->MemoryOnly()); }

void TDIB::ReadBody(TStream& Stream, bool MemoryImage) {
  uint32_t headerSize = 0;
  const int32_t got = Stream.Read(&headerSize, 4);
  if (got <= 0) {
    Clear();
    return;
  }
  if (got < 4) Invalid();

  if (!bmp::HeaderSizeKnown(headerSize, bmp::HeaderSizes::CoreOrInfo)) Invalid();
  uint8_t raw[bmp::kInfoHeaderSize];
  std::memcpy(raw, &headerSize, 4);
  Stream.ReadBuffer(raw + 4, headerSize - 4);
  const bmp::Header header = bmp::ParseHeader(raw, headerSize);
  // A size no real picture has is refused here, before it can reach an allocation.
  if (bmp::CheckHeader(header, bmp::kStreamRules) != bmp::HeaderFault::None) Invalid();
  const int32_t width = header.width, rows = static_cast<int32_t>(header.Rows()), bitCount = header.bitCount;
  const bool compressed = header.RunLength();

  DIBPixelFormat format = bitCount == 16 ? DIBFormat555() : DIBFormat888();
  if (header.compression == BI_BITFIELDS) {
    uint32_t masks[3];
    Stream.ReadBuffer(masks, sizeof(masks));
    format = MakeDIBPixelFormatMask(masks[0], masks[1], masks[2]);
    // Masks that are not where their bit counts put them would read every pixel with the
    // wrong colours; such a picture is refused rather than shown wrong.
    if (static_cast<uint32_t>(format.RBitMask) != masks[0] || static_cast<uint32_t>(format.GBitMask) != masks[1] ||
        static_cast<uint32_t>(format.BBitMask) != masks[2])
      throw EInvalidGraphicOperation(SInvalidDIBPixelFormat);
  }

  const auto entries = static_cast<uint32_t>(std::min<int64_t>(header.DeclaredColors(), 256));
  TRGBQuads table{};
  if (!header.Core()) {
    Stream.ReadBuffer(table.data(), 4 * static_cast<int64_t>(entries));
  } else {
    for (uint32_t i = 0; i < entries; ++i) {
      uint8_t bgr[3];
      Stream.ReadBuffer(bgr, 3);
      table[i] = {bgr[0], bgr[1], bgr[2], 0};
    }
  }

  // Checked before the store is made, so a header cannot have memory set aside for more
  // pixels than the stream holds.
  if (!compressed) {
    const int64_t rowBytes = bmp::RowBytes(bitCount, width);
    if (rowBytes > 0 && rowBytes * rows <= INT32_MAX) NeedBytes(Stream, rowBytes * rows);
  } else if (header.sizeImage > static_cast<uint32_t>(INT32_MAX) || header.sizeImage > Remaining(Stream)) {
    // Encoded data the stream cannot even hold is no picture at all.
    Invalid();
  }

  TDIBSharedImage* image = MakeStore(width, rows, bitCount, format, table, MemoryImage, compressed);
  try {
    if (!compressed) {
      if (!header.TopDown()) {
        Stream.ReadBuffer(image->PBits(), image->ImageSize());
      } else {
        // Rows top-down in the stream; the store stays bottom-up.
        for (int32_t i = 0; i < rows; ++i)
          Stream.ReadBuffer(image->TopRow() + i * image->RowStep(), image->RowBytes());
      }
    } else {
      const uint32_t size = header.sizeImage;
      std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]());
      if (!data) throw EOutOfMemory("Out of memory");
      Stream.ReadBuffer(data.get(), size);
      // Checked now, so decoding on first use can never write outside the picture.
      if (bmp::DecodeRunLength({data.get(), size}, bitCount, image->Width(), image->Height(),
                               static_cast<size_t>(image->RowBytes()), nullptr,
                               bmp::RunLengthEdges::RefusePixels) != bmp::RunLengthFault::None)
        Invalid();
      image->SetCompressedData(std::move(data), static_cast<int32_t>(size));
    }
  } catch (...) {
    delete image;
    throw;
  }
  SetImage(image);
  SetPaletteModified(true);
}

void TDIB::WriteImageData(TStream& Stream) {
  if (IsEmpty()) return;
  const std::vector<uint8_t>& header = FImage->HeaderBlock();
  Stream.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
  Stream.WriteBuffer(FImage->PBits(), FImage->DataSize());
}

void TDIB::LoadFromFileStream(TStream& Stream) {
  BITMAPFILEHEADER fileHeader{};
  const int32_t got = Stream.Read(&fileHeader, sizeof(fileHeader));
  if (got <= 0) return;
  if (got < static_cast<int32_t>(sizeof(fileHeader)) || fileHeader.bfType != 0x4D42) Invalid();
  ReadImageData(Stream);
}

void TDIB::SaveToFileStream(TStream& Stream) {
  if (IsEmpty()) return;
  const auto headerSize = static_cast<DWORD>(FImage->HeaderBlock().size());
  BITMAPFILEHEADER fileHeader{};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfSize = static_cast<DWORD>(FImage->DataSize()) + headerSize + sizeof(BITMAPFILEHEADER);
  fileHeader.bfOffBits = headerSize + sizeof(BITMAPFILEHEADER);
  Stream.WriteBuffer(&fileHeader, sizeof(fileHeader));
  WriteImageData(Stream);
}

void TDIB::WriteClipboardData(uint16_t& Format, HGLOBAL& Data, HPALETTE& Palette) {
  Format = CF_DIB_FORMAT;
  Palette = nullptr;
  TMemoryStream stream;
  WriteImageData(stream);
  HGLOBAL block = GlobalAlloc(GHND, static_cast<size_t>(stream.Size()));
  if (!block) throw EOutOfMemory("Out of memory");
  if (stream.Size() > 0) {
    void* p = GlobalLock(block);
    std::memcpy(p, stream.Memory(), static_cast<size_t>(stream.Size()));
    GlobalUnlock(block);
  }
  Data = block;
}

void TDIB::ReadClipboardData(uint16_t Format, HGLOBAL Data, HPALETTE Palette) {
  (void)Format;
  (void)Palette;
  TGlobalMemoryStream stream(Data);
  ReadImageData(stream);
}
