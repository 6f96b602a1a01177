// The DIB body reader: whatever it accepts must then be usable (decoded, read, written
// back, blurred) without touching memory outside the store.
#include "FuzzInput.h"
#include "image/DIB.h"

namespace {
void Exercise(TDIB& dib) {
  // Huge pictures are legal but slow to decode; the reader's checks are what is fuzzed.
  if (dib.IsEmpty() || static_cast<int64_t>(dib.Width()) * dib.Height() > (int64_t{1} << 22)) return;
  dib.ReadPixel(dib.Width() - 1, dib.Height() - 1);
  TMemoryStream out;
  dib.WriteImageData(out);
  if (static_cast<int64_t>(dib.Width()) * dib.Height() <= 4096) {
    dib.ScanLine(0);
    dib.Blur(24, 2);
    dib.Blur(1, 1);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzStream stream(data, size);
  TDIB dib;
  try {
    dib.ReadImageData(stream);
    Exercise(dib);
  } catch (const Exception&) {
  }
  return 0;
}
