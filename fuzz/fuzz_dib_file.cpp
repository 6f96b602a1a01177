// The DIB file reader (14-byte file header, then the body), and the written file read back.
#include "FuzzInput.h"
#include "image/DIB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzStream stream(data, size);
  TDIB dib;
  try {
    dib.LoadFromFileStream(stream);
    if (!dib.IsEmpty() && static_cast<int64_t>(dib.Width()) * dib.Height() <= (int64_t{1} << 22)) {
      TMemoryStream out;
      dib.SaveToFileStream(out);
      out.SetPosition(0);
      TDIB back;
      back.LoadFromFileStream(out);
      back.ReadPixel(0, 0);
    }
  } catch (const Exception&) {
  }
  return 0;
}
