#include "DisplayDemoForm.h"

#include "runtime/DesignReader.h"
#include "runtime/DesignsRegistry.h"

namespace {

std::string Design(const std::string& Options) {
  return R"(object DisplayDemo: TDisplayDemoForm
  Left = 60
  Top = 40
  Caption = 'Display demo'
  ClientWidth = 400
  ClientHeight = 300
  object DXDraw: TDXDraw
    Left = 0
    Top = 0
    Width = 400
    Height = 300
    Align = alClient
    AutoInitialize = True
    AutoSize = False
    Display.BitCount = 16
    Display.FixedBitCount = False
    Display.FixedRatio = True
    Display.FixedSize = False
    Display.Width = 800
    Display.Height = 600
    Options = )" + Options + R"(
    SurfaceWidth = 320
    SurfaceHeight = 200
    OnInitialize = DXDrawInitialize
    OnFinalize = DXDrawFinalize
  end
  object DXTimer: TDXTimer
    ActiveOnly = True
    Enabled = False
    Interval = 0
    MaxLag = 10
    OnTimer = DXTimerTimer
  end
end
)";
}

}  // namespace

TDisplayDemoForm::TDisplayDemoForm(TComponent* AOwner, const std::string& Options) : TDXForm(AOwner) {
  RegisterDisplayDemoClasses();
  ReadComponentText(this, "DisplayDemo.pfm", Design(Options));
  DXDraw->AddListener(DisplayNotify, this);
}

TDisplayDemoForm::~TDisplayDemoForm() {
  if (DXDraw != nullptr) DXDraw->RemoveListener(DisplayNotify, this);
  FSprite.reset();
}

void TDisplayDemoForm::DisplayNotify(void* Data, TCustomDXDraw*, DisplayNotice Notice) {
  auto* self = static_cast<TDisplayDemoForm*>(Data);
  switch (Notice) {
    case DisplayNotice::Restored:
      ++self->Restores;
      self->MakeSprite();
      break;
    case DisplayNotice::Stopping:
      // Surfaces belong to the display's DirectDraw object, which goes after this notice.
      self->FSprite.reset();
      break;
    default:
      break;
  }
}

void TDisplayDemoForm::DXDrawInitialize(TObject*) { DXTimer->SetEnabled(true); }

void TDisplayDemoForm::DXDrawFinalize(TObject*) { DXTimer->SetEnabled(false); }

// An orange disc with a white rim on a black (transparent) square.
void TDisplayDemoForm::MakeSprite() {
  FSprite = std::make_unique<TDirectDrawSurface>(DXDraw->DirectDraw());
  FSprite->SetSystemMemory(true);
  FSprite->Resize(SpriteSize, SpriteSize);
  FSprite->Fill(0);
  const DWORD orange = FSprite->MatchColor(static_cast<TColor>(0x0080FF));
  const DWORD white = FSprite->MatchColor(static_cast<TColor>(0xFFFFFF));
  DDSURFACEDESC desc{};
  if (!FSprite->Lock(nullptr, desc)) return;
  const int32_t r = SpriteSize / 2;
  for (int32_t y = 0; y < SpriteSize; ++y) {
    auto* row = static_cast<uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(y) * desc.lPitch;
    for (int32_t x = 0; x < SpriteSize; ++x) {
      const int32_t dx = x - r;
      const int32_t dy = y - r;
      const int32_t d2 = dx * dx + dy * dy;
      if (d2 < (r - 3) * (r - 3)) {
        WriteSurfacePixel(row, FSprite->BitCount(), x, orange);
      } else if (d2 < r * r) {
        WriteSurfacePixel(row, FSprite->BitCount(), x, white);
      }
    }
  }
  FSprite->Unlock(desc.lpSurface);
  FSprite->SetColorKey(0);
}

void TDisplayDemoForm::DrawFrame() {
  if (!DXDraw->ReadyToDraw() || FSprite == nullptr) return;
  TDirectDrawSurface* back = DXDraw->Surface();
  back->Fill(back->MatchColor(static_cast<TColor>(0x602010)));
  const int32_t w = back->Width();
  const int32_t h = back->Height();
  SpriteX += FDX;
  SpriteY += FDY;
  if (SpriteX < 0 || SpriteX + SpriteSize > w) {
    FDX = -FDX;
    SpriteX += 2 * FDX;
  }
  if (SpriteY < 0 || SpriteY + SpriteSize > h) {
    FDY = -FDY;
    SpriteY += 2 * FDY;
  }
  back->Draw(SpriteX, SpriteY, FSprite->ClientRect(), FSprite.get(), true);
  ++Frames;
  DXDraw->PresentFrame();
}

void TDisplayDemoForm::DXTimerTimer(TObject*, int32_t) { DrawFrame(); }

void RegisterDisplayDemoClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterPersistentClass<TDisplayDemoForm, TDXForm>()
      .Field("DXDraw", &TDisplayDemoForm::DXDraw)
      .Field("DXTimer", &TDisplayDemoForm::DXTimer)
      .Method("DXDrawInitialize", &TDisplayDemoForm::DXDrawInitialize)
      .Method("DXDrawFinalize", &TDisplayDemoForm::DXDrawFinalize)
      .Method("DXTimerTimer", &TDisplayDemoForm::DXTimerTimer);
}
