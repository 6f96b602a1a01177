#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DemoForm.h"
#include "image/DIB.h"
#include "platform/window/Headless.h"
#include "support/Png.h"

namespace {

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetApplication();
    ResetWindowSystem();
    UseHeadlessPresenter();
    InitializeDIBUnit();
    RegisterDemoForm();
    Application->Initialize();
    Application->SetTitle("Pellora demo");
    Application->SetOnException([this](TObject*, const std::exception& e) { Errors.push_back(e.what()); });
    Application->CreateForm(Form);
    ASSERT_NE(Form, nullptr);
    Form->Show();
    Application->ProcessMessages();
    UpdateWindow(Form->Handle());
  }
  void TearDown() override {
    ResetApplication();
    ResetWindowSystem();
  }
  // A client pixel of the form, as presented.
  uint32_t At(int x, int y) {
    WindowPixels px;
    EXPECT_TRUE(GetWindowPixels(Form->Handle(), &px));
    RECT client;
    GetClientRect(Form->Handle(), &client);
    RECT wr;
    GetWindowRect(Form->Handle(), &wr);
    POINT origin{0, 0};
    ClientToScreen(Form->Handle(), &origin);
    const int ox = px.width == client.right ? 0 : origin.x - wr.left;
    const int oy = px.height == client.bottom ? 0 : origin.y - wr.top;
    return px.At(ox + x, oy + y) & 0xFFFFFF;
  }
  void Shot(const char* name) {
    const std::string path = std::string(PELLORA_BINARY_DIR) + "/" + name;
    EXPECT_TRUE(SaveWindowPng(Form->Handle(), path.c_str()));
  }
  TDemoForm* Form = nullptr;
  std::vector<std::string> Errors;
};

TEST_F(DemoTest, TheDesignPutsEveryControlAtItsPlace) {
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(Form->ClientWidth(), 360);
  EXPECT_EQ(Form->ClientHeight(), 264);
  EXPECT_EQ(Form->Edit1->BoundsRect(), Bounds(16, 28, 121, 21));
  EXPECT_EQ(Form->Button4->BoundsRect(), Bounds(280, 136, 65, 25));
  EXPECT_EQ(Form->Image1->Picture()->Width(), 47);
  EXPECT_EQ(Form->ListBox1->Item(0), "Ready");  // the creation handler ran
  Shot("demo_form.png");
  EXPECT_EQ(At(4, 4), 0x000000u);                         // black form
  EXPECT_EQ(At(16 + 80, 28 + 10), 0xFFFFFFu);             // white edit box
  EXPECT_EQ(At(16 + 60, 76 + 10), 0xFFFFFFu);             // the password box
  EXPECT_EQ(At(16 + 8, 136 + 12), 0xC0C0C0u);             // button face
  EXPECT_EQ(At(177, 13), 0x000080u);                      // the label's navy background
  EXPECT_NE(At(176 + 23, 28 + 23), 0x000000u);            // the ball's middle
  EXPECT_EQ(At(176 + 1, 28 + 1), 0x000000u);              // its black corner
  EXPECT_EQ(At(176 + 100, 28 + 90), 0x000000u);           // unscaled: beyond 47 px is the form
  EXPECT_EQ(At(16 + 200, 172 + 70), 0xFFFFFFu);           // the list box
}

TEST_F(DemoTest, TheFocusIsVisibleAndMovesWithTab) {
  ASSERT_TRUE(Form->Edit1->Focused());
  // The caret: a dark line at the left of the empty edit box.
  int dark = 0;
  for (int y = 32; y < 46; ++y) dark += At(16 + 3, y) == 0x000000u;
  EXPECT_GT(dark, 6);
  headless::KeyPress(VK_TAB);
  headless::KeyPress(VK_TAB);
  Application->ProcessMessages();
  UpdateWindow(Form->Handle());
  ASSERT_TRUE(Form->Button1->Focused());
  Shot("demo_focus.png");
  // The focus rectangle is dotted inside the button, the caret is gone from the edit.
  int dots = 0;
  for (int x = 16 + 5; x < 16 + 70; ++x) dots += At(x, 136 + 4) != 0xC0C0C0u;
  EXPECT_GT(dots, 10);
  dark = 0;
  for (int y = 32; y < 46; ++y) dark += At(16 + 3, y) == 0x000000u;
  EXPECT_EQ(dark, 0);
}

TEST_F(DemoTest, TypingFiltersDigitsMasksThePasswordAndEnterPressesOk) {
  const std::string result = std::string(PELLORA_BINARY_DIR) + "/demo_result.txt";
  std::filesystem::remove(result);
  TDemoForm::ResultFile = result;
  headless::TypeText("1a2b3");
  headless::KeyPress(VK_TAB);
  headless::TypeText("Pw d");
  Application->ProcessMessages();
  UpdateWindow(Form->Handle());
  Shot("demo_typed.png");
  EXPECT_EQ(Form->Edit1->Text(), "123");
  EXPECT_EQ(Form->Edit2->DisplayText(), "****");
  EXPECT_GT(Form->KeysPreviewed, 8);  // key preview: the form saw the keys first
  headless::KeyPress(VK_RETURN);
  Application->Run();  // Ok closes the main form, which ends the run
  TDemoForm::ResultFile.clear();
  std::ifstream in(result);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "number=123\npassword=Pw d\npicture=(built in)\n");
}

}  // namespace
