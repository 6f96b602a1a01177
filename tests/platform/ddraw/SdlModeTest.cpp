// A display mode on a real X server (an Xvfb of 1920 x 1080 started for the test) through
// the SDL presenter: the mode is letterboxed on the screen, and the X screen's own mode,
// as xrandr reports it, never changes. Skipped, with the reason, when the tools are missing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ddraw/DDrawTestSupport.h"
#include "platform/window/XvfbServer.h"

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

// The "current W x H" of xrandr's first line.
std::string ScreenMode(const std::string& display) {
  const std::string out = Shell("DISPLAY=" + display + " xrandr --current 2>/dev/null");
  const size_t at = out.find("current ");
  if (at == std::string::npos) return "none";
  return out.substr(at, out.find(',', at) - at);
}

// The whole X screen, as 8-bit RGB.
struct Shot {
  int width = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    if (i + 2 >= rgb.size()) return 0xFFFFFFFF;
    return (static_cast<uint32_t>(rgb[i]) << 16) | (static_cast<uint32_t>(rgb[i + 1]) << 8) | rgb[i + 2];
  }
};
Shot Screenshot(const std::string& display, int width) {
  const std::string file = "/tmp/pellora-ddraw-test-" + std::to_string(getpid());
  Shell("DISPLAY=" + display + " import -window root " + file + ".png 2>/dev/null");
  Shell("convert " + file + ".png -depth 8 rgb:" + file + ".rgb 2>/dev/null");
  Shot shot;
  shot.width = width;
  std::ifstream in(file + ".rgb", std::ios::binary);
  shot.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!std::getenv("PELLORA_KEEP_SHOT")) std::remove((file + ".png").c_str());
  std::remove((file + ".rgb").c_str());
  return shot;
}

// Runs the message loop for a while, so the X server has the picture before it is taken.
void Settle(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    PumpMessages();
    WaitMessageTimeout(20);
  }
}

}  // namespace

TEST(DDrawOnX, AModeIsLetterboxedAndTheScreenKeepsItsOwnMode) {
  for (const char* program : {"Xvfb", "import", "convert", "xrandr"}) {
    if (!HaveProgram(program)) GTEST_SKIP() << program << " is not installed; the X display test cannot run";
  }
  Xvfb server;
  ASSERT_TRUE(server.Start("1920x1080x24")) << "Xvfb did not start";
  const char* previous = std::getenv("DISPLAY");
  const std::string saved = previous ? previous : "";
  setenv("DISPLAY", server.Display().c_str(), 1);
  ResetWindowSystem();
  ASSERT_TRUE(UseSdlPresenter()) << PresenterError();
  const std::string before = ScreenMode(server.Display());
  EXPECT_EQ(before, "current 1920 x 1080");

  WNDCLASSA wc{};
  wc.lpfnWndProc = DDrawTestWindowProc;
  wc.lpszClassName = "DDrawOnX";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND form = CreateWindowExA(0, "DDrawOnX", "Pellora", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(form, nullptr);
  Settle(200);
  LPDIRECTDRAW dd = nullptr;
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(form, 0x53), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(800, 600, 16), DD_OK);
  Settle(300);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);

  DDSURFACEDESC d;
  std::memset(&d, 0, sizeof d);
  d.dwSize = sizeof d;
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  d.dwBackBufferCount = 1;
  LPDIRECTDRAWSURFACE primary = nullptr, back = nullptr;
  ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
  DDSCAPS caps{DDSCAPS_BACKBUFFER};
  ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
  // White with a green column at x = 400.
  DDBLTFX fx;
  std::memset(&fx, 0, sizeof fx);
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0xFFFF;
  ASSERT_EQ(back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  RECT column{400, 0, 401, 600};
  fx.dwFillColor = 0x07E0;
  ASSERT_EQ(back->Blt(&column, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  Settle(400);

  const Shot shot = Screenshot(server.Display(), 1920);
  ASSERT_EQ(shot.rgb.size(), 1920u * 1080u * 3u) << "no screenshot";
  for (int y : {0, 540, 1079}) {
    EXPECT_EQ(shot.At(239, y), 0u) << y;
    EXPECT_EQ(shot.At(240, y), 0xFFFFFFu) << y;
    EXPECT_EQ(shot.At(1679, y), 0xFFFFFFu) << y;
    EXPECT_EQ(shot.At(1680, y), 0u) << y;
  }
  EXPECT_EQ(shot.At(960, 300), 0x00FF00u);
  EXPECT_EQ(shot.At(962, 300), 0xFFFFFFu);
  EXPECT_EQ(ScreenMode(server.Display()), before) << "setting a mode changed the X screen's";

  // The pointer at the monitor's centre is at the mode's centre for the program.
  if (HaveProgram("xdotool")) {
    Shell("DISPLAY=" + server.Display() + " xdotool mousemove 960 540");
    Settle(200);
    POINT at{};
    GetCursorPos(&at);
    EXPECT_EQ(at.x, 400);
    EXPECT_EQ(at.y, 300);
  }

  primary->Release();
  dd->Release();
  Settle(200);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_EQ(ScreenMode(server.Display()), before);

  ResetWindowSystem();
  if (saved.empty()) {
    unsetenv("DISPLAY");
  } else {
    setenv("DISPLAY", saved.c_str(), 1);
  }
  server.Stop();
}
