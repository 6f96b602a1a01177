#include "PngFile.h"

#include <zlib.h>

#include <cstdio>

namespace {

void Put32(std::vector<uint8_t>& Out, uint32_t Value) {
  for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(static_cast<uint8_t>(Value >> shift));
}

void PutChunk(std::vector<uint8_t>& Out, const char* Type, const uint8_t* Data, size_t Size) {
  Put32(Out, static_cast<uint32_t>(Size));
  const size_t start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data, Data + Size);
  Put32(Out, static_cast<uint32_t>(crc32(0, Out.data() + start, static_cast<uInt>(Out.size() - start))));
}

}  // namespace

bool WritePngFile(const std::string& Path, int Width, int Height, const std::vector<uint32_t>& Pixels) {
  if (Width <= 0 || Height <= 0 || Pixels.size() != static_cast<size_t>(Width) * static_cast<size_t>(Height)) {
    return false;
  }
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(Height) * (1 + 3 * static_cast<size_t>(Width)));
  for (int y = 0; y < Height; ++y) {
    raw.push_back(0);  // no filter: the frames are mostly flat black, which deflate handles well alone
    const uint32_t* row = Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width);
    for (int x = 0; x < Width; ++x) {
      raw.push_back(static_cast<uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<uint8_t>(row[x]));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
    return false;
  }

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(Width));
  Put32(header, static_cast<uint32_t>(Height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
  PutChunk(png, "IHDR", header.data(), header.size());
  PutChunk(png, "IDAT", packed.data(), packedSize);
  PutChunk(png, "IEND", nullptr, 0);

  // Written beside the target and renamed over it, so a reader never sees half a picture.
  const std::string partial = Path + ".part";
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), Path.c_str()) != 0) {
    std::remove(partial.c_str());
    return false;
  }
  return true;
}
