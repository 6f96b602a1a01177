// The present listener hears each picture the headless presenter shows, with its window,
// until the window system is reset.
#include "WindowTestSupport.h"
#include "platform/window/PresenterChoice.h"

namespace {

TEST_F(WindowTest, ThePresentListenerHearsEachPresentOfItsWindowUntilAReset) {
  std::vector<HWND> heard;
  SetPresentListener([&](HWND top) { heard.push_back(top); });
  HWND top = TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 20, 20);
  Pump();
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(static_cast<int>(heard.size()), headless::PresentCount(top));
  EXPECT_EQ(heard.back(), top);

  // Put up a picture from outside, as the display service does.
  const uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  const size_t before = heard.size();
  ASSERT_TRUE(PresentWindowPixels(top, pixels, 2, 2, 8, 32, nullptr, nullptr, 0));
  EXPECT_EQ(heard.size(), before + 1);

  ResetWindowSystem();
  UseHeadlessPresenter();
  heard.clear();
  TopLevel(WS_POPUP | WS_VISIBLE, 0, 0, 20, 20);
  Pump();
  EXPECT_TRUE(heard.empty());
}

}  // namespace
