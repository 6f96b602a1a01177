// The runtime bitmap's file reader, through its public stream load.
#include "FuzzInput.h"
#include "runtime/Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
