// The runtime bitmap's file reader, through its public stream load.
#include <cstdlib>
#include <cstring>

#include "FuzzInput.h"
#include "runtime/BitmapFile.h"
#include "runtime/Graphics.h"

namespace {

// A few bytes of run-length data legally describe a picture of a hundred million pixels,
// which takes the reader seconds and hundreds of megabytes to fill; a search that keeps
// meeting such files hardly moves. Pictures beyond the reader's own limits still go in:
// it refuses them before it allocates anything, and that refusal is worth fuzzing.
constexpr int64_t HarnessMaxPixels = int64_t{1} << 18;

template <class T>
T ValueAt(const uint8_t* data, size_t offset) {
  T v;
  std::memcpy(&v, data + offset, sizeof v);
  return v;
}

// Whether the header asks for a picture the reader would accept but that is larger than
// this harness wants to decode. Only the width and height are looked at; everything else
// is left to the reader.
bool LegalButTooLarge(const uint8_t* data, size_t size) {
  constexpr size_t info = sizeof(BITMAPFILEHEADER);
  if (size < info + 12) return false;
  int64_t width = 0, height = 0;
  if (ValueAt<uint32_t>(data, info) == sizeof(BITMAPCOREHEADER)) {
    width = ValueAt<uint16_t>(data, info + 4);
    height = ValueAt<uint16_t>(data, info + 6);
  } else {
    width = ValueAt<int32_t>(data, info + 4);
    height = std::llabs(ValueAt<int32_t>(data, info + 8));
  }
  if (width > MaxBitmapSide || height > MaxBitmapSide) return false;
  const int64_t pixels = width * height;
  return pixels > HarnessMaxPixels && pixels <= MaxBitmapPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (LegalButTooLarge(data, size)) return -1;  // -1: not kept in the corpus either
  FuzzStream stream(data, size);
  TBitmap bitmap;
  try {
    bitmap.LoadFromStream(stream);
    if (!bitmap.IsEmpty() && static_cast<int64_t>(bitmap.Width()) * bitmap.Height() <= 65536) {
      TMemoryStream out;
      bitmap.SaveToStream(out);
    }
  } catch (const Exception&) {
  }
  return 0;
}
