#pragma once
// What every dialog test stands on: a fresh hive (XDG_CONFIG_HOME in a scratch folder), a
// headless window system with a fresh application object, the stored designs, and a
// script that answers message boxes the way a person would, noting their texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "runtime/Dialogs.h"
#include "platform/window/Headless.h"
#include "runtime/Forms.h"
#include "settings/Settings.h"
#include "settings/TempHive.h"
#include "support/Png.h"

// The designs come compiled in when the program links them; a test program that does not
// reads the very same files from the source tree.
inline void EnsureDialogDesigns() {
  static std::map<std::string, std::vector<uint8_t>> loaded;
  const std::filesystem::path dir = std::filesystem::path(PELLORA_SOURCE_DIR) / "designs";
  for (const char* name : {"Options1.pfm", "About.pfm", "EnterPassword.pfm", "Enter_Password.pfm",
                           "OptionsBall.bin", "AboutIcon.bin", "BallPicture.bin"}) {
    if (FindDesignResource(name) != nullptr) continue;
    std::ifstream in(dir / name, std::ios::binary);
    ASSERT_TRUE(in) << "cannot read " << (dir / name);
    std::vector<uint8_t>& bytes = loaded[name];
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    RegisterDesignResource(name, bytes.data(), bytes.size());
  }
}

class DialogTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    EnsureDialogDesigns();
    ResetApplication();
    ResetWindowSystem();
    UseHeadlessPresenter();
    Application->Initialize();
    Application->SetTitle("Pellora");
    Application->SetOnException([this](TObject*, const std::exception& e) { Errors.push_back(e.what()); });
    AnswerMessageBoxes();
  }
  void TearDown() override {
    Application->SetOnIdle(nullptr);
    ResetApplication();
    ResetWindowSystem();
    TempHiveTest::TearDown();
  }

  // Message boxes are answered with Enter once they are up; their texts are kept. Other
  // scripted steps run from Step while no box is up. The idle count is bounded so a
  // test whose window never closes fails instead of waiting for ever.
  void AnswerMessageBoxes() {
    Application->SetOnIdle([this](TObject*, bool& Done) {
      Done = false;
      if (++Idles > 5000) {
        IdleLimitHit = true;
        Application->Terminate();
        return;
      }
      // A box that was answered is marked, so the next one is seen even if it is
      // made at the same address.
      TCustomForm* active = Screen->ActiveForm();
      if (active != nullptr && active->FindComponent("Message") != nullptr) {
        if (active->Tag() == 0) {
          active->SetTag(1);
          Messages.push_back(static_cast<TLabel*>(active->FindComponent("Message"))->Caption());
          headless::KeyPress(VK_RETURN);
        }
        return;
      }
      if (Step) {
        auto step = std::move(Step);
        Step = nullptr;
        step();
      }
    });
  }

  // Handles what is queued, modal loops and scripted steps included, for a while.
  void Pump() {
    for (int i = 0; i < 300 && !Application->Terminated(); ++i) Application->HandleMessage();
  }
  // Pumps until the main window has closed (the mode's run ended).
  bool PumpUntilClosed() {
    for (int i = 0; i < 2000 && !Application->Terminated(); ++i) Application->HandleMessage();
    EXPECT_FALSE(IdleLimitHit);
    return Application->Terminated();
  }

  void ClickControl(TControl* Control) {
    // A control without a window is clicked through its parent, at its own place.
    if (auto* w = dynamic_cast<TWinControl*>(Control)) {
      headless::Click(w->Handle(), w->Width() / 2, w->Height() / 2);
    } else {
      headless::Click(Control->Parent()->Handle(), Control->Left() + Control->Width() / 2,
                      Control->Top() + Control->Height() / 2);
    }
  }

  // A stored settings text, without its terminating zero; "(none)" when missing.
  std::string Stored(const std::string& Name) {
    RawValue v = ReadRaw(SettingsKeyPath, Name);
    if (v.status != ERROR_SUCCESS) return "(none)";
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << Name;
    EXPECT_FALSE(v.data.empty()) << Name;
    EXPECT_EQ(v.data.back(), 0) << Name << " is stored without its zero byte";
    if (v.data.empty()) return "";
    return std::string(v.data.begin(), v.data.end() - 1);
  }
  void Store(const std::string& Name, const std::string& Text) {
    WriteRawText(SettingsKeyPath, Name, Text + std::string(1, '\0'));
  }

  // A form's client area as it was last drawn, read once for many pixels.
  struct ClientPixels {
    WindowPixels px;
    int ox = 0, oy = 0;
    uint32_t At(int x, int y) const { return px.At(ox + x, oy + y) & 0xFFFFFF; }
  };
  ClientPixels Capture(TCustomForm* Form) {
    UpdateWindow(Form->Handle());
    ClientPixels c;
    EXPECT_TRUE(GetWindowPixels(Form->Handle(), &c.px));
    RECT client, wr;
    GetClientRect(Form->Handle(), &client);
    GetWindowRect(Form->Handle(), &wr);
    POINT origin{0, 0};
    ClientToScreen(Form->Handle(), &origin);
    c.ox = c.px.width == client.right ? 0 : origin.x - wr.left;
    c.oy = c.px.height == client.bottom ? 0 : origin.y - wr.top;
    return c;
  }
  uint32_t At(TCustomForm* Form, int x, int y) { return Capture(Form).At(x, y); }
  // How many pixels of a rectangle of the client area are near this colour: text is
  // smoothed, so only its cores have the exact colour.
  int CountColour(TCustomForm* Form, TRect R, uint32_t Colour) {
    const ClientPixels c = Capture(Form);
    int n = 0;
    for (int y = R.top; y < R.bottom; ++y)
      for (int x = R.left; x < R.right; ++x) n += Near(c.At(x, y), Colour);
    return n;
  }
  static bool Near(uint32_t A, uint32_t B) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((A >> shift) & 0xFF), b = static_cast<int>((B >> shift) & 0xFF);
      if (std::abs(a - b) > 0x60) return false;
    }
    return true;
  }
  // Keeps a picture of the form when PELLORA_SHOTS names a folder, for people to look at.
  void Shot(TCustomForm* Form, const std::string& Name) {
    const char* dir = std::getenv("PELLORA_SHOTS");
    if (dir == nullptr) return;
    UpdateWindow(Form->Handle());
    EXPECT_TRUE(SaveWindowPng(Form->Handle(), (std::string(dir) + "/" + Name).c_str()));
  }

  std::vector<std::string> Errors;
  std::vector<std::string> Messages;
  std::function<void()> Step;
  int Idles = 0;
  bool IdleLimitHit = false;
};

// A small uncompressed 24-bit bitmap file of one colour (blue, green, red).
inline void WriteBmpFile(const std::filesystem::path& Path, int W, int H, uint8_t B, uint8_t G, uint8_t R) {
  const int stride = (W * 3 + 3) & ~3;
  const uint32_t pixels = static_cast<uint32_t>(stride * H);
  std::vector<uint8_t> f(54 + pixels, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(W));
  put32(22, static_cast<uint32_t>(H));
  f[26] = 1, f[28] = 24;
  put32(34, pixels);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* p = &f[54 + static_cast<size_t>(y * stride + x * 3)];
      p[0] = B, p[1] = G, p[2] = R;
    }
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
}
