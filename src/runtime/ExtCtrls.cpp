#include "runtime/ExtCtrls.h"

#include "runtime/DesignsRegistry.h"

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FWidth = 105;
  FHeight = 105;
  FPicture->SetOnChange([this](TObject*) { PictureChanged(); });
}

TImage::~TImage() { FPicture->SetOnChange(nullptr); }

void TImage::SetStretch(bool Value) {
  if (FStretch == Value) return;
  FStretch = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  if (FCenter == Value) return;
  FCenter = Value;
  Invalidate();
}

void TImage::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  AdjustSize();
}

void TImage::PictureChanged() {
  AdjustSize();
  Invalidate();
}

void TImage::AdjustSize() {
  if (!FAutoSize || IsLoading() || FPicture->Graphic() == nullptr) return;
  SetBounds(FLeft, FTop, FPicture->Width(), FPicture->Height());
}

void TImage::PaintControl(TCanvas* Canvas) {
  TGraphic* g = FPicture->Graphic();
  if (g == nullptr || g->IsEmpty()) return;
  if (FStretch) {
    Canvas->StretchDraw(Rect(0, 0, FWidth, FHeight), g);
  } else if (FCenter) {
    Canvas->Draw((FWidth - g->Width()) / 2, (FHeight - g->Height()) / 2, g);
  } else {
    Canvas->Draw(0, 0, g);
  }
}

void RegisterExtCtrlsClasses() {
  RegisterComponentClass<TImage, TGraphicControl>()
      .Object("Picture", &TImage::Picture)
      .Bool("Stretch", &TImage::SetStretch)
      .Bool("Center", &TImage::SetCenter)
      .Bool("AutoSize", &TImage::SetAutoSize);
}
