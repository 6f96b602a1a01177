// The SDL2 presenter on a real X server: an Xvfb started for the test, a screenshot of
// what a window painted, and real key presses and pointer moves from xdotool arriving as
// messages. Skipped, with the reason, when Xvfb, ImageMagick or xdotool are missing.
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "WindowTestSupport.h"
#include "platform/window/ScreenMode.h"
#include "XKeyMap.h"
#include "XvfbServer.h"


namespace {

bool HaveProgram(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

LRESULT PaintRed(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Log().push_back({hwnd, message, wParam, lParam});
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT all;
    GetClientRect(hwnd, &all);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &all, blue);
    DeleteObject(blue);
    RECT box{20, 30, 120, 90};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &box, red);
    DeleteObject(red);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Runs the message loop for up to `ms`, until `done` says so.
template <typename Done>
bool LoopUntil(int ms, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    if (done()) return true;
    WaitMessageTimeout(20);
  }
  Pump();
  return done();
}

// The colour of one screen pixel as "r,g,b".
std::string ScreenPixel(const std::string& display, int x, int y) {
  const std::string shot = "/tmp/pellora-window-test-" + std::to_string(getpid()) + ".png";
  Shell("DISPLAY=" + display + " import -window root " + shot + " 2>/dev/null");
  const std::string text =
      Shell("convert " + shot + " -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) + " -depth 8 txt:- 2>/dev/null");
  std::remove(shot.c_str());
  const size_t open = text.find('(', text.find('\n'));
  const size_t close = text.find(')', open);
  if (open == std::string::npos || close == std::string::npos) return "none";
  std::string rgb = text.substr(open + 1, close - open - 1);
  rgb.erase(std::remove(rgb.begin(), rgb.end(), ' '), rgb.end());
  return rgb;
}

class SdlPresenter : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"Xvfb", "import", "convert", "xdotool", "xev"}) {
      if (!HaveProgram(program)) GTEST_SKIP() << program << " is not installed; the X display test cannot run";
    }
    ASSERT_TRUE(server_.Start()) << "Xvfb did not start";
    const char* previous = std::getenv("DISPLAY");
    savedDisplay_ = previous ? previous : "";
    setenv("DISPLAY", server_.Display().c_str(), 1);
    ResetWindowSystem();
    ASSERT_TRUE(UseSdlPresenter()) << PresenterError();
    Log().clear();
  }
  void TearDown() override {
    ResetWindowSystem();
    if (savedDisplay_.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", savedDisplay_.c_str(), 1);
    }
    server_.Stop();
  }
  std::string X(const std::string& command) { return Shell("DISPLAY=" + server_.Display() + " " + command); }
  // A server of another screen size in place of the one SetUp started.
  void RestartServer(const char* screen) {
    ResetWindowSystem();
    server_.Stop();
    ASSERT_TRUE(server_.Start(screen)) << "Xvfb did not start";
    setenv("DISPLAY", server_.Display().c_str(), 1);
  }

  Xvfb server_;
  std::string savedDisplay_;
};

TEST_F(SdlPresenter, PaintsOnARealDisplayAndHearsRealKeysAndMoves) {
  Xvfb& server = server_;

  WNDCLASSA wc{};
  wc.lpfnWndProc = PaintRed;
  wc.lpszClassName = "SdlRed";
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND top = CreateWindowExA(0, "SdlRed", "Pellora", WS_POPUP | WS_VISIBLE, 100, 100, 200, 150, nullptr, nullptr,
                             nullptr, nullptr);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_PAINT) > 0; }));
  // Let the X server take the picture before it is photographed.
  LoopUntil(300, [] { return false; });
  EXPECT_EQ(ScreenPixel(server.Display(), 100 + 50, 100 + 50), "255,0,0");  // inside the red box
  EXPECT_EQ(ScreenPixel(server.Display(), 100 + 5, 100 + 5), "0,0,255");    // the blue around it
  EXPECT_EQ(ScreenPixel(server.Display(), 50, 50), "0,0,0");                // the bare root window

  // Real input: the pointer over the window, then a key.
  Shell("DISPLAY=" + server.Display() + " xdotool mousemove 160 170");
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_MOUSEMOVE) > 0; }));
  const auto move = std::find_if(Log().rbegin(), Log().rend(), [&](const Received& r) { return r.message == WM_MOUSEMOVE; });
  EXPECT_EQ(GET_X_LPARAM(move->lParam), 60);
  EXPECT_EQ(GET_Y_LPARAM(move->lParam), 70);
  // The wheel turned one notch towards the person, where the pointer is.
  X("xdotool click 5");
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_MOUSEWHEEL) > 0; }));
  const auto wheel = std::find_if(Log().begin(), Log().end(), [&](const Received& r) { return r.message == WM_MOUSEWHEEL; });
  EXPECT_EQ(static_cast<SHORT>(HIWORD(wheel->wParam)), -WHEEL_DELTA);
  EXPECT_EQ(GET_X_LPARAM(wheel->lParam), 160);
  EXPECT_EQ(GET_Y_LPARAM(wheel->lParam), 170);
  SetForegroundWindow(top);
  LoopUntil(200, [] { return false; });
  Shell("DISPLAY=" + server.Display() + " xdotool key a");
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_CHAR) > 0 && CountOf(top, WM_KEYUP) > 0; }));
  const auto down = std::find_if(Log().begin(), Log().end(), [&](const Received& r) { return r.message == WM_KEYDOWN; });
  EXPECT_EQ(down->wParam, static_cast<WPARAM>('A'));
  const auto ch = std::find_if(Log().begin(), Log().end(), [&](const Received& r) { return r.message == WM_CHAR; });
  EXPECT_EQ(ch->wParam, static_cast<WPARAM>('a'));

  // Typed text, with Shift and a symbol, and a Backspace, each character once.
  Log().clear();
  X("xdotool type --delay 20 'xY7#'");
  X("xdotool key BackSpace");
  auto chars = [&] {
    std::string out;
    for (const Received& r : Log()) {
      if (r.hwnd == top && r.message == WM_CHAR) out.push_back(static_cast<char>(r.wParam));
    }
    return out;
  };
  EXPECT_TRUE(LoopUntil(3000, [&] { return chars().size() >= 5; }));
  LoopUntil(100, [] { return false; });
  EXPECT_EQ(chars(), "xY7#\b");
  // A letter beyond ASCII arrives as its 8-bit (Latin-1) byte.
  Log().clear();
  // Left to itself, xdotool lends the letter a spare key only while it types and takes it
  // back at once; a program that reads the key map a moment late (under load) then sees a
  // key without a letter. So the letter gets a key of its own first, and the loop takes in
  // the new key map before the key comes.
  ASSERT_TRUE(MapSpareKey(server_.Display(), "eacute"));
  LoopUntil(200, [] { return false; });
  X("xdotool key eacute");
  EXPECT_TRUE(LoopUntil(3000, [&] { return !chars().empty(); }));
  EXPECT_EQ(chars(), "\xe9");

  // Another X client taking the focus deactivates the application, and back.
  Log().clear();
  const std::string ours = X("xdotool search --name '^Pellora$' 2>/dev/null | head -n1");
  ASSERT_FALSE(ours.empty());
  FILE* other = popen(("DISPLAY=" + server.Display() + " exec xev -geometry 100x100+600+500 >/dev/null 2>&1").c_str(), "w");
  ASSERT_NE(other, nullptr);
  std::string theirs;
  for (int i = 0; i < 50 && theirs.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    theirs = X("xdotool search --name 'Event Tester' 2>/dev/null | head -n1");
  }
  ASSERT_FALSE(theirs.empty()) << "xev did not show its window";
  X("xdotool windowfocus --sync " + theirs);
  EXPECT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_ACTIVATEAPP) > 0; }));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  for (const Received& r : Log()) {
    if (r.message == WM_ACTIVATEAPP) {
      EXPECT_EQ(r.wParam, static_cast<WPARAM>(FALSE));
    }
  }
  Log().clear();
  X("xdotool windowfocus --sync " + ours);
  EXPECT_TRUE(LoopUntil(2000, [&] { return CountOf(top, WM_ACTIVATEAPP) > 0; }));
  EXPECT_EQ(GetForegroundWindow(), top);
  X("xdotool windowkill " + theirs);
  pclose(other);
}

TEST_F(SdlPresenter, AFullScreenWindowShowsAnOutsidePictureLetterboxed) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CALLBACK_Record;
  wc.lpszClassName = "SdlScreen";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND screen = CreateWindowExA(WS_EX_TOPMOST, "SdlScreen", "Pellora", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(screen, nullptr);
  LoopUntil(300, [] { return false; });
  // A square picture: green on top, red below; on a 4:3 screen it gets bars at the sides.
  std::vector<uint32_t> picture(64 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) picture[static_cast<size_t>(y * 64 + x)] = y < 32 ? 0x00FF00u : 0xFF0000u;
  }
  ASSERT_TRUE(PresentWindowPixels(screen, picture.data(), 64, 64, 64 * 4, 32, nullptr, nullptr, 0));
  LoopUntil(300, [] { return false; });
  EXPECT_EQ(ScreenPixel(server_.Display(), 60, 300), "0,0,0");      // left bar
  EXPECT_EQ(ScreenPixel(server_.Display(), 512, 100), "0,255,0");  // top half of the picture
  EXPECT_EQ(ScreenPixel(server_.Display(), 512, 600), "255,0,0");  // bottom half
  EXPECT_EQ(ScreenPixel(server_.Display(), 1000, 300), "0,0,0");   // right bar

  // A dialog shown over the full-screen window is seen above it.
  WNDCLASSA dc{};
  dc.lpfnWndProc = PaintRed;
  dc.lpszClassName = "SdlDialog";
  ASSERT_NE(RegisterClassA(&dc), 0);
  EnableWindow(screen, FALSE);
  HWND dialog = CreateWindowExA(0, "SdlDialog", "Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 300, 300,
                                281, 195, screen, nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(dialog, WM_PAINT) > 0; }));
  LoopUntil(300, [] { return false; });
  POINT inBox{50, 50};
  ClientToScreen(dialog, &inBox);
  EXPECT_EQ(ScreenPixel(server_.Display(), inBox.x, inBox.y), "255,0,0");
  EXPECT_EQ(GetActiveWindow(), dialog);
  EXPECT_FALSE(IsIconic(screen));
}

TEST_F(SdlPresenter, AModeCoversEveryOtherMonitorAndTakesTheirInputAsItsOwn) {
  for (const char* program : {"xrandr", "xsetroot", "xwininfo"}) {
    if (!HaveProgram(program)) GTEST_SKIP() << program << " is not installed; monitors cannot be set up";
  }
  // Two monitors side by side on one screen, the desktop grey where nothing covers it.
  RestartServer("2560x1024x24");
  X("xsetroot -solid '#808080'");
  X("xrandr --setmonitor A 1280/338x1024/270+0+0 screen >/dev/null");
  X("xrandr --setmonitor B 1280/338x1024/270+1280+0 none >/dev/null");
  ASSERT_TRUE(UseSdlPresenter()) << PresenterError();
  // The screen a program sees is the primary monitor (here the first listed).
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
  auto coverShown = [&] { return X("xwininfo -root -children").find("1280x1024+1280+0") != std::string::npos; };

  WNDCLASSA wc{};
  wc.lpfnWndProc = CALLBACK_Record;
  wc.lpszClassName = "SdlMonitors";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND screen = CreateWindowExA(WS_EX_TOPMOST, "SdlMonitors", "Pellora", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 1024,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(screen, nullptr);
  LoopUntil(300, [] { return false; });
  // Full screen without a mode is the primary monitor's alone, and nothing is covered.
  EXPECT_FALSE(coverShown());
  EXPECT_EQ(ScreenPixel(server_.Display(), 2000, 500), "128,128,128");

  ASSERT_TRUE(BeginScreenMode(screen, 640, 480, 16));
  std::vector<uint32_t> picture(640 * 480, 0x00FF00u);
  ASSERT_TRUE(PresentWindowPixels(screen, picture.data(), 640, 480, 640 * 4, 32, nullptr, nullptr, 0));
  ASSERT_TRUE(LoopUntil(3000, coverShown));
  LoopUntil(300, [] { return false; });
  // 640 x 480 doubled on the 1280 x 1024 primary: bars of 32 above and below.
  EXPECT_EQ(ScreenPixel(server_.Display(), 640, 512), "0,255,0");
  EXPECT_EQ(ScreenPixel(server_.Display(), 640, 10), "0,0,0");
  EXPECT_EQ(ScreenPixel(server_.Display(), 1279, 500), "0,255,0");
  EXPECT_EQ(ScreenPixel(server_.Display(), 1280, 500), "0,0,0");  // the cover from here on
  EXPECT_EQ(ScreenPixel(server_.Display(), 2559, 1023), "0,0,0");

  // The pointer on the cover is on the full-screen window, at its nearest edge, in the
  // mode's pixels; a click there is a click on it.
  Log().clear();
  X("xdotool mousemove 2000 500");
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(screen, WM_MOUSEMOVE) > 0; }));
  const auto move = std::find_if(Log().rbegin(), Log().rend(), [&](const Received& r) { return r.message == WM_MOUSEMOVE; });
  EXPECT_EQ(GET_X_LPARAM(move->lParam), 639);
  EXPECT_EQ(GET_Y_LPARAM(move->lParam), (500 - 32) / 2);
  X("xdotool click 1");
  ASSERT_TRUE(LoopUntil(2000, [&] { return CountOf(screen, WM_LBUTTONUP) > 0; }));
  EXPECT_EQ(CountOf(screen, WM_LBUTTONDOWN), 1);
  // The mode's screen coordinates stay on the primary monitor too.
  POINT at{};
  ASSERT_TRUE(GetCursorPos(&at));
  EXPECT_EQ(at.x, 639);
  SetCursorPos(320, 240);
  LoopUntil(200, [] { return false; });
  const std::string where = X("xdotool getmouselocation --shell");
  EXPECT_NE(where.find("X=640\nY=512\n"), std::string::npos) << where;

  // The mode's end takes the cover away, and so does closing the window in a mode.
  EndScreenMode();
  ASSERT_TRUE(LoopUntil(3000, [&] { return !coverShown(); }));
  LoopUntil(300, [] { return false; });
  EXPECT_EQ(ScreenPixel(server_.Display(), 2000, 500), "128,128,128");
  ASSERT_TRUE(BeginScreenMode(screen, 640, 480, 16));
  ASSERT_TRUE(LoopUntil(3000, coverShown));
  DestroyWindow(screen);
  EXPECT_TRUE(LoopUntil(3000, [&] { return !coverShown(); }));
  EndScreenMode();
}

}  // namespace
