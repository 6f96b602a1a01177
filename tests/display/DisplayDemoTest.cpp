// The display demo on the headless presenter: a sprite moving on a back surface shown
// centred and stretched in a window by the blit driver, and full screen by the flip
// driver. Each way leaves a PNG in the build directory to look at.
#include <gtest/gtest.h>

#include <string>

#include "DisplayDemoForm.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "DisplayFormsFixture.h"
#include "support/Png.h"

namespace {

// Close enough to the colour after a trip through a 16-bit surface.
bool Near(uint32_t xrgb, uint32_t want) {
  for (int shift : {0, 8, 16}) {
    const int a = static_cast<int>((xrgb >> shift) & 0xFF);
    const int b = static_cast<int>((want >> shift) & 0xFF);
    if (std::abs(a - b) > 12) return false;
  }
  return true;
}

constexpr uint32_t kBackground = 0x102060;  // the demo's back-surface colour, as XRGB
constexpr uint32_t kOrange = 0xFF8000;

class DisplayDemoTest : public DisplayForms {
 protected:
  TDisplayDemoForm* Open(const std::string& options) {
    auto* form = new TDisplayDemoForm(Application, options);
    form->Show();
    Pump();
    return form;
  }
  WindowPixels Shot(TDisplayDemoForm* form, const std::string& name) {
    WindowPixels frame;
    EXPECT_TRUE(headless::LastFrame(form->Handle(), &frame));
    EXPECT_TRUE(WritePng(std::string(PELLORA_BINARY_DIR) + "/" + name, frame.width, frame.height, frame.pixels.data(),
                         frame.width));
    return frame;
  }
};

TEST_F(DisplayDemoTest, WindowedCentredThenStretched) {
  TDisplayDemoForm* form = Open("[doWaitVBlank, doCenter]");
  ASSERT_TRUE(form->DXDraw->Initialized());
  EXPECT_EQ(form->Restores, 1);
  for (int i = 0; i < 20; ++i) form->DrawFrame();
  EXPECT_EQ(form->Frames, 20);
  WindowPixels centred = Shot(form, "display-demo-center.png");
  ASSERT_EQ(centred.width, 400);
  // 320 x 200 in the middle of 400 x 300: from (40, 50) to (360, 250).
  EXPECT_TRUE(Near(centred.At(40, 50), kBackground));
  EXPECT_TRUE(Near(centred.At(359, 249), kBackground));
  EXPECT_FALSE(Near(centred.At(39, 50), kBackground));
  EXPECT_FALSE(Near(centred.At(360, 249), kBackground));
  EXPECT_TRUE(Near(centred.At(40 + form->SpriteX + 16, 50 + form->SpriteY + 16), kOrange));

  form->DXDraw->SetOptions(doWaitVBlank | doStretch);
  for (int i = 0; i < 20; ++i) form->DrawFrame();
  WindowPixels stretched = Shot(form, "display-demo-stretch.png");
  EXPECT_TRUE(Near(stretched.At(0, 0), kBackground));
  EXPECT_TRUE(Near(stretched.At(399, 299), kBackground));
  EXPECT_TRUE(Near(stretched.At((form->SpriteX + 16) * 400 / 320, (form->SpriteY + 16) * 300 / 200), kOrange));
  delete form;
}

TEST_F(DisplayDemoTest, FullScreen) {
  TDisplayDemoForm* form = Open("[doAllowReboot, doWaitVBlank, doCenter, doFlip]");
  form->DXDraw->Finalize();
  form->SetBorderStyle(bsNone);
  form->DXDraw->SetOptions(form->DXDraw->Options() | doFullScreen);
  form->DXDraw->Initialize();
  ASSERT_TRUE(form->DXDraw->Initialized());
  for (int i = 0; i < 20; ++i) form->DrawFrame();
  EXPECT_EQ(form->Frames, 20);
  WindowPixels full = Shot(form, "display-demo-full.png");
  // The 800 x 600 mode fills the window, which the presenter shows at the screen's size.
  ASSERT_GT(full.width, 0);
  const double scale = full.width / 800.0;
  EXPECT_TRUE(Near(full.At(0, 0), kBackground));
  EXPECT_TRUE(Near(full.At(static_cast<int>((form->SpriteX + 16) * scale), static_cast<int>((form->SpriteY + 16) * scale)),
                   kOrange));
  EXPECT_EQ(form->DXDraw->Surface()->BitCount(), 16);
  delete form;
}

}  // namespace
