#include "hack/Sprite.h"

#include <algorithm>

TSprite TextSprite(const std::string& text, int32_t pointSize, TColor color) {
  TBitmap measure;
  measure.Canvas()->Font()->SetSize(pointSize);
  const int32_t width = std::max(measure.Canvas()->TextWidth(text), 1);
  const int32_t height = std::max(measure.Canvas()->TextHeight(text), 1);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(width, height);
  TCanvas* canvas = bitmap.Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(clBlack);
  canvas->FillRect(Rect(0, 0, width, height));
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetSize(pointSize);
  canvas->Font()->SetColor(color);
  canvas->TextOut(0, 0, text);
  return SpriteFromGraphic(&bitmap);
}
