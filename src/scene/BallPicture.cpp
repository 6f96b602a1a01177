#include "scene/BallPicture.h"

#include "runtime/BitmapFile.h"
#include "runtime/Classes.h"

namespace {

// No ball needs more than this a side: the saver's screen is 800 x 600, and a ball that
// does not fit the screen cannot even be placed on it. Anything larger only costs: a
// 10000 x 10000 picture held 300 MB (the picture, then its sprite surface) and took
// seconds to load before the first frame.
constexpr int64_t MaxBallSide = 1024;
constexpr const char* SBallPictureTooLarge = "Picture too large for a ball (%dx%d; at most %dx%d)";

}  // namespace

// The picture's size is judged from the file's headers, before a single pixel is read, so
// a huge picture costs nothing; what is not a bitmap file is left to the picture's loader.
void LoadBallPicture(TPicture* Picture, const std::string& FileName) {
  {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    int64_t width = 0, height = 0;
    if (ReadBitmapFileExtent(stream, stream.Size(), width, height) && (width > MaxBallSide || height > MaxBallSide))
      throw EInvalidGraphic(SBallPictureTooLarge, {width, height, MaxBallSide, MaxBallSide});
  }
  Picture->LoadFromFile(FileName);
}

