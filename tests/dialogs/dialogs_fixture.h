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
#include <optional>
#include <string>
#include <vector>

#include "runtime/Dialogs.h"
#include "runtime/Forms.h"
#include "settings/Settings.h"
#include "support/BmpFile.h"
#include "support/HeadlessApplication.h"
#include "support/Png.h"
#include "support/StoredSettings.h"
#include "support/TempHive.h"

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

class DialogTest : public HeadlessApplicationTest {
 protected:
  DialogTest() : HeadlessApplicationTest("Pellora") {}
  void SetUp() override {
    FHive.emplace();
    ASSERT_FALSE(FHive->Dir().empty()) << "no temporary folder for the hive";
    EnsureDialogDesigns();
    HeadlessApplicationTest::SetUp();
    AnswerMessageBoxes();
  }
  void TearDown() override {
    Application->SetOnIdle(nullptr);
    HeadlessApplicationTest::TearDown();
    FHive.reset();
  }
  const std::string& Folder() const { return FHive->Dir(); }

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

  std::string Stored(const std::string& Name) { return StoredSetting(Name); }
  void Store(const std::string& Name, const std::string& Text) { StoreSetting(Name, Text); }

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

  std::vector<std::string> Messages;
  std::function<void()> Step;
  int Idles = 0;
  bool IdleLimitHit = false;

 private:
  std::optional<TempHive> FHive;
};
