#include "scene/BallPicture.h"

#include "platform/gdi/BitmapFormat.h"
#include "runtime/BitmapFile.h"
#include "runtime/Classes.h"
#include "runtime/Designs.h"
#include "runtime/SysUtils.h"
#include "settings/Settings.h"

namespace {

// No ball needs more than this a side: the saver's screen is 800 x 600, and a ball that
// does not fit the screen cannot even be placed on it. Anything larger only costs: a
// 10000 x 10000 picture held 300 MB (the picture, then its sprite surface) and took
// seconds to load before the first frame.
constexpr int64_t MaxBallSide = 1024;
constexpr const char* SBallPictureTooLarge = "Picture too large for a ball (%dx%d; at most %dx%d)";

// The pixels of the saver's display mode, the colours sprites are held in, and the runtime's
// colours (red in the low byte).
constexpr bmp::PixelFormat SaverScreen = bmp::kRgb565;
constexpr bmp::PixelFormat SpriteColours = bmp::kRgb888;
constexpr bmp::PixelFormat RuntimeColours{32, {0x0000FF, 0x00FF00, 0xFF0000}};

uint32_t SpriteColour(TColor color) {
  uint8_t red, green, blue;
  RuntimeColours.Unpack(static_cast<uint32_t>(color), red, green, blue);
  return SpriteColours.Pack(red, green, blue);
}

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

TSprite SpriteFromGraphic(TGraphic* graphic) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(graphic->Width(), graphic->Height());
  bitmap.Canvas()->Brush()->SetStyle(bsSolid);
  bitmap.Canvas()->Brush()->SetColor(clBlack);
  bitmap.Canvas()->FillRect(Rect(0, 0, graphic->Width(), graphic->Height()));
  bitmap.Canvas()->Draw(0, 0, graphic);
  TSprite sprite;
  sprite.Width = bitmap.Width();
  sprite.Height = bitmap.Height();
  sprite.Rgb.resize(static_cast<size_t>(sprite.Width) * static_cast<size_t>(sprite.Height));
  for (int32_t y = 0; y < sprite.Height; ++y)
    for (int32_t x = 0; x < sprite.Width; ++x)
      sprite.Rgb[static_cast<size_t>(y) * static_cast<size_t>(sprite.Width) + static_cast<size_t>(x)] =
          SpriteColour(bitmap.Canvas()->Pixels(x, y));
  return sprite;
}

TSprite BallAsTheSaverShowsIt(const TSprite& picture) {
  uint8_t red, green, blue;
  SpriteColours.Unpack(SpriteColour(BallTransparentColor), red, green, blue);
  const uint32_t key = SaverScreen.Pack(red, green, blue);
  TSprite shown = picture;
  for (uint32_t& rgb : shown.Rgb) {
    SpriteColours.Unpack(rgb, red, green, blue);
    const uint32_t pixel = SaverScreen.Pack(red, green, blue);
    if (pixel == key) {
      rgb = 0;
      continue;
    }
    SaverScreen.Unpack(pixel, red, green, blue);
    rgb = SpriteColours.Pack(red, green, blue);
  }
  return shown;
}

TSprite BuiltInBall() {
  const TDesignResource* resource = FindDesignResource("BallPicture.bin");
  if (!resource) throw Exception("the built-in ball picture is missing from this program");
  TMemoryStream data;
  data.WriteBuffer(resource->Data, static_cast<int64_t>(resource->Size));
  data.SetPosition(0);
  TPicture picture;
  picture.ReadData(data);
  return BallAsTheSaverShowsIt(SpriteFromGraphic(picture.Graphic()));
}

TSprite LoadBall(const std::string& picture, std::string& note) {
  if (!NamesExistingPicture(picture)) return BuiltInBall();
  try {
    TPicture loaded;
    LoadBallPicture(&loaded, picture);
    if (loaded.Graphic() && loaded.Graphic()->Width() > 0 && loaded.Graphic()->Height() > 0)
      return BallAsTheSaverShowsIt(SpriteFromGraphic(loaded.Graphic()));
    note = "the picture '" + picture + "' holds no pixels; the built-in ball is drawn instead";
  } catch (const Exception& e) {
    note = "the picture '" + picture + "' cannot be used (" + e.Message() + "); the built-in ball is drawn instead";
  }
  return BuiltInBall();
}
