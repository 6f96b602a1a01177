#pragma once
// The image control: a picture drawn on its parent, unscaled from the top-left corner
// unless asked to stretch or centre it.
#include <memory>

#include "runtime/Controls.h"

class TImage : public TGraphicControl {
 public:
  PELLORA_CLASS_NAME(TImage)
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(const TPicture* Value) { FPicture->Assign(Value); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  void PaintControl(TCanvas* Canvas) override;

 protected:
  void AdjustSize() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FAutoSize = false;
};

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterExtCtrlsClasses();
