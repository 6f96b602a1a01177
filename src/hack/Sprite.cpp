#include "hack/Sprite.h"

#include "runtime/Designs.h"
#include "runtime/SysUtils.h"
#include "scene/BallPicture.h"
#include "settings/Settings.h"

namespace {

uint32_t RgbOf(TColor color) {
  const auto c = static_cast<uint32_t>(color);
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TSprite ReadBack(TBitmap& bitmap) {
  TSprite sprite;
  sprite.Width = bitmap.Width();
  sprite.Height = bitmap.Height();
  sprite.Rgb.resize(static_cast<size_t>(sprite.Width) * static_cast<size_t>(sprite.Height));
  for (int32_t y = 0; y < sprite.Height; ++y)
    for (int32_t x = 0; x < sprite.Width; ++x)
      sprite.Rgb[static_cast<size_t>(y) * static_cast<size_t>(sprite.Width) + static_cast<size_t>(x)] =
          RgbOf(bitmap.Canvas()->Pixels(x, y));
  return sprite;
}

TBitmap* BlackBitmap(TBitmap& bitmap, int32_t width, int32_t height) {
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(width, height);
  bitmap.Canvas()->Brush()->SetStyle(bsSolid);
  bitmap.Canvas()->Brush()->SetColor(clBlack);
  bitmap.Canvas()->FillRect(Rect(0, 0, width, height));
  return &bitmap;
}

}  // namespace

TSprite SpriteFromGraphic(TGraphic* graphic) {
  TBitmap bitmap;
  BlackBitmap(bitmap, graphic->Width(), graphic->Height());
  bitmap.Canvas()->Draw(0, 0, graphic);
  return ReadBack(bitmap);
}

TSprite BuiltInBall() {
  const TDesignResource* resource = FindDesignResource("BallPicture.bin");
  if (!resource) throw Exception("the built-in ball picture is missing from this program");
  TMemoryStream data;
  data.WriteBuffer(resource->Data, static_cast<int64_t>(resource->Size));
  data.SetPosition(0);
  TPicture picture;
  picture.ReadData(data);
  return SpriteFromGraphic(picture.Graphic());
}

TSprite LoadBall(const std::string& picture, std::string& note) {
  if (!NamesExistingPicture(picture)) return BuiltInBall();
  try {
    TPicture loaded;
    LoadBallPicture(&loaded, picture);
    if (loaded.Graphic() && loaded.Graphic()->Width() > 0 && loaded.Graphic()->Height() > 0)
      return SpriteFromGraphic(loaded.Graphic());
    note = "the picture '" + picture + "' holds no pixels; the built-in ball is drawn instead";
  } catch (const Exception& e) {
    note = "the picture '" + picture + "' cannot be used (" + e.Message() + "); the built-in ball is drawn instead";
  }
  return BuiltInBall();
}

TSprite TextSprite(const std::string& text, int32_t pointSize, TColor color) {
  TBitmap measure;
  measure.Canvas()->Font()->SetSize(pointSize);
  const int32_t width = std::max(measure.Canvas()->TextWidth(text), 1);
  const int32_t height = std::max(measure.Canvas()->TextHeight(text), 1);
  TBitmap bitmap;
  BlackBitmap(bitmap, width, height);
  TCanvas* canvas = bitmap.Canvas();
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetSize(pointSize);
  canvas->Font()->SetColor(color);
  canvas->TextOut(0, 0, text);
  return ReadBack(bitmap);
}
