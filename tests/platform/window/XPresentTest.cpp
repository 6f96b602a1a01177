// A display mode's frames on a real X server (an Xvfb of each monitor size), through each
// way of scaling: here into shared memory, by the server's RENDER, and the one chosen when
// none is asked for. After frames of
// balls moving, and after the window was covered and uncovered, the whole screen is pixel
// for pixel what whole frames always showed (see ModeFrames.h). Skipped, with the reason,
// when Xvfb is missing.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ModeFrames.h"
#include "WindowTestSupport.h"
#include "XScreen.h"
#include "XvfbServer.h"
#include "platform/window/ScreenMode.h"

namespace {

void Settle(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    WaitMessageTimeout(10);
  }
}

// What the program says under PELLORA_DEBUG, caught from its standard error.
class CaughtErrors {
 public:
  CaughtErrors() {
    path_ = ::testing::TempDir() + "x-present-" + std::to_string(getpid()) + ".txt";
    std::fflush(stderr);
    saved_ = dup(2);
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 2);
    close(file);
  }
  ~CaughtErrors() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    std::remove(path_.c_str());
  }
  std::string Text() const {
    std::fflush(stderr);
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string path_;
  int saved_ = -1;
};

class XPresent : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    const char* previous = std::getenv("DISPLAY");
    savedDisplay_ = previous ? previous : "";
  }
  void TearDown() override {
    ResetWindowSystem();
    unsetenv("PELLORA_SCALING");
    unsetenv("PELLORA_DEBUG");
    if (savedDisplay_.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", savedDisplay_.c_str(), 1);
    }
  }

  // Runs the mode's frames on a fresh presenter with the scaling forced, checking the screen
  // along the way. Answers what the program said of how it presents.
  std::string CheckFrames(XScreen& ours, int width, int height, const char* scaling) {
    ResetWindowSystem();
    if (*scaling) {
      setenv("PELLORA_SCALING", scaling, 1);
    } else {
      unsetenv("PELLORA_SCALING");
    }
    setenv("PELLORA_DEBUG", "1", 1);
    CaughtErrors said;
    EXPECT_TRUE(UseSdlPresenter()) << PresenterError();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "XModeScreen";
    RegisterClassA(&wc);
    HWND screen = CreateWindowExA(WS_EX_TOPMOST, "XModeScreen", "Pellora", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                  nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(screen, nullptr);
    EXPECT_TRUE(BeginScreenMode(screen, ModeFrames::kWidth, ModeFrames::kHeight, 16));
    Settle(300);
    ModeFrames frames(static_cast<uint32_t>(width + height));
    auto present = [&] {
      return PresentWindowPixels(screen, frames.pixels.data(), ModeFrames::kWidth, ModeFrames::kHeight,
                                 ModeFrames::kWidth * 2, 16, nullptr, nullptr, 0);
    };
    // The same picture once more sends nothing, but waits until the server has taken
    // everything sent before: then the screen can be read.
    auto check = [&](const std::string& when) {
      present();
      const std::string difference =
          FirstDifference(ours.Shot(width, height), ExpectedScreen(frames.pixels, width, height), width);
      EXPECT_EQ(difference, "") << scaling << ", " << width << "x" << height << ", " << when;
    };
    for (int frame = 1; frame <= 40; ++frame) {
      frames.Step();
      EXPECT_TRUE(present());
      if (frame == 1 || frame == 2 || frame == 9 || frame == 40) check("frame " + std::to_string(frame));
      if (frame % 10 == 0) Pump();
    }
    // Covered by another program's white window and uncovered: the window gets it all back.
    const unsigned long cover = ours.Cover(width / 4, height / 4, width / 2, height / 2);
    Settle(100);
    ours.Uncover(cover);
    Settle(300);
    check("after an expose");
    EndScreenMode();
    DestroyWindow(screen);
    Pump();
    return said.Text();
  }

  std::string savedDisplay_;
};

TEST_F(XPresent, EveryWayOfScalingShowsWhatWholeFramesShowedAtEveryMonitorSize) {
  for (auto [width, height] : {std::pair{800, 600}, std::pair{1366, 768}, std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    Xvfb server;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    ASSERT_TRUE(server.Start((size + "x24").c_str())) << "Xvfb did not start";
    setenv("DISPLAY", server.Display().c_str(), 1);
    {
      XScreen ours(server.Display());
      ASSERT_TRUE(ours.Open());
      const std::string own = CheckFrames(ours, width, height, "own");
      const std::string byServer = CheckFrames(ours, width, height, "server");
      const std::string chosen = CheckFrames(ours, width, height, "");
      // Each ran the way it was asked to, where there is anything to scale; left to itself,
      // on a server without a GPU, the server scales what grows to twice its pixels or more.
      if (width != ModeFrames::kWidth) {
        EXPECT_NE(own.find("scaled here (as PELLORA_SCALING=own asks)"), std::string::npos) << own;
        EXPECT_NE(byServer.find("scaled by the X server's RENDER (as PELLORA_SCALING=server asks)"), std::string::npos)
            << byServer;
        const char* cheaper = width < 1920 ? "scaled here (cheaper" : "scaled by the X server's RENDER (cheaper";
        EXPECT_NE(chosen.find(cheaper), std::string::npos) << chosen;
      } else {
        EXPECT_NE(own.find("unscaled"), std::string::npos) << own;
        EXPECT_NE(chosen.find("unscaled"), std::string::npos) << chosen;
      }
      ResetWindowSystem();
    }
    server.Stop();
    if (HasFatalFailure()) return;
  }
}

}  // namespace
