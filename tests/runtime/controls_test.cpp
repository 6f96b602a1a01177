#include <cstdlib>

#include "forms_fixture.h"
#include "runtime/Clipbrd.h"
#include "support/Png.h"

namespace {

// A dialog built the way a design builds one: labels, two edits, three buttons, an image.
class ControlsTest : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();
    form = new TForm(Application);
    form->SetCaption("Controls");
    form->SetBorderStyle(bsDialog);
    form->SetPosition(poDesigned);
    form->SetBounds(100, 100, 300, 200);
    form->SetClientWidth(260);
    form->SetClientHeight(150);
    form->SetColor(clBlack);
    label = Add<TLabel>(16, 8, 100, 13);
    label->SetCaption("Number of Balls");
    label->Font()->SetColor(clWhite);
    edit1 = Add<TEdit>(16, 24, 121, 21);
    edit2 = Add<TEdit>(16, 56, 121, 21);
    edit2->SetPasswordChar('*');
    ok = Add<TButton>(16, 96, 75, 25);
    ok->SetCaption("Ok");
    cancel = Add<TButton>(104, 96, 75, 25);
    cancel->SetCaption("Cancel");
    other = Add<TButton>(192, 96, 60, 25);
    other->SetCaption("Other");
    ok->SetOnClick([this](TObject*) { ++okClicks; });
    cancel->SetOnClick([this](TObject*) { ++cancelClicks; });
    other->SetOnClick([this](TObject*) { ++otherClicks; });
  }
  template <class T>
  T* Add(int l, int t, int w, int h) {
    T* c = new T(form);
    c->SetBounds(l, t, w, h);
    c->SetParent(form);
    return c;
  }
  void ShowForm() {
    form->Show();
    Pump();
  }
  uint32_t Pixel(int x, int y) {
    WindowPixels px;
    EXPECT_TRUE(GetWindowPixels(form->Handle(), &px));
    POINT origin{0, 0};
    ClientToScreen(form->Handle(), &origin);
    RECT wr;
    GetWindowRect(form->Handle(), &wr);
    (void)wr;
    return px.At(x, y) & 0xFFFFFF;
  }
  void Type(const std::string& text) {
    headless::TypeText(text);
    Pump();
  }
  void Key(UINT vk) {
    headless::KeyPress(vk);
    Pump();
  }
  void ShiftKey(UINT vk) {
    headless::KeyDown(VK_SHIFT);
    headless::KeyPress(vk);
    headless::KeyUp(VK_SHIFT);
    Pump();
  }

  TForm* form = nullptr;
  TLabel* label = nullptr;
  TEdit* edit1 = nullptr;
  TEdit* edit2 = nullptr;
  TButton* ok = nullptr;
  TButton* cancel = nullptr;
  TButton* other = nullptr;
  int okClicks = 0, cancelClicks = 0, otherClicks = 0;
};

TEST_F(ControlsTest, TabAndShiftTabFollowTheTabOrderAndSkipWhatCannotTakeFocus) {
  edit2->SetTabOrder(0);  // edit2 first, then edit1, then the buttons in creation order
  ok->SetEnabled(false);
  ShowForm();
  EXPECT_TRUE(edit2->Focused());
  Key(VK_TAB);
  EXPECT_TRUE(edit1->Focused());
  Key(VK_TAB);
  EXPECT_TRUE(cancel->Focused());  // the disabled Ok button is skipped
  Key(VK_TAB);
  EXPECT_TRUE(other->Focused());
  Key(VK_TAB);
  EXPECT_TRUE(edit2->Focused());  // round again
  ShiftKey(VK_TAB);
  EXPECT_TRUE(other->Focused());
  EXPECT_EQ(form->ActiveControl(), other);
  EXPECT_EQ(edit1->Text(), "");  // Tab typed nothing
}

TEST_F(ControlsTest, AKeyPressHandlerDropsACharacterBySettingItToZero) {
  edit1->SetOnKeyPress([](TObject*, char& Key) {
    if (Key != 8 && (Key < '0' || Key > '9')) Key = 0;
  });
  ShowForm();
  Type("1a2 -3");
  EXPECT_EQ(edit1->Text(), "123");
  Key(VK_BACK);
  EXPECT_EQ(edit1->Text(), "12");
}

TEST_F(ControlsTest, APasswordFieldShowsStarsAndKeepsTheText) {
  ShowForm();
  edit2->SetFocus();
  Pump();
  Type("Secret");
  EXPECT_EQ(edit2->Text(), "Secret");
  EXPECT_EQ(edit2->DisplayText(), "******");
  // The password never reaches the clipboard.
  Clipboard()->SetAsText("before");
  headless::KeyDown(VK_CONTROL);
  headless::KeyPress('A');
  headless::KeyPress('C');
  headless::KeyUp(VK_CONTROL);
  Pump();
  EXPECT_EQ(Clipboard()->AsText(), "before");
}

TEST_F(ControlsTest, EditKeysMoveTheCaretSelectAndUseTheClipboard) {
  ShowForm();
  Type("hello world");
  Key(VK_HOME);
  Key(VK_DELETE);
  EXPECT_EQ(edit1->Text(), "ello world");
  Key(VK_END);
  ShiftKey(VK_LEFT);
  ShiftKey(VK_LEFT);
  EXPECT_EQ(edit1->SelText(), "ld");
  headless::KeyDown(VK_CONTROL);
  headless::KeyPress('X');
  headless::KeyUp(VK_CONTROL);
  Pump();
  EXPECT_EQ(edit1->Text(), "ello wor");
  EXPECT_EQ(Clipboard()->AsText(), "ld");
  Key(VK_HOME);
  headless::KeyDown(VK_CONTROL);
  headless::KeyPress('V');
  headless::KeyUp(VK_CONTROL);
  Pump();
  EXPECT_EQ(edit1->Text(), "ldello wor");
  edit1->SetMaxLength(12);
  Type("xyz");
  EXPECT_EQ(edit1->Text(), "ldxyello wor");
}

TEST_F(ControlsTest, EnterPressesTheDefaultButtonAndEscapeTheCancelButton) {
  ok->SetDefault(true);
  cancel->SetCancel(true);
  ShowForm();
  ASSERT_TRUE(edit1->Focused());
  Key(VK_RETURN);
  EXPECT_EQ(okClicks, 1);
  Key(VK_ESCAPE);
  EXPECT_EQ(cancelClicks, 1);
  EXPECT_EQ(edit1->Text(), "");
  // A focused button takes Enter itself, and Space too.
  other->SetFocus();
  Pump();
  Key(VK_RETURN);
  EXPECT_EQ(otherClicks, 1);
  EXPECT_EQ(okClicks, 1);
  Key(VK_SPACE);
  EXPECT_EQ(otherClicks, 2);
}

TEST_F(ControlsTest, WithoutDefaultOrCancelButtonsEnterAndEscapeDoNothing) {
  ShowForm();
  Key(VK_RETURN);
  Key(VK_ESCAPE);
  EXPECT_EQ(okClicks + cancelClicks + otherClicks, 0);
  EXPECT_TRUE(form->Visible());
}

TEST_F(ControlsTest, MouseClicksPressButtonsAndDisabledControlsDropInput) {
  ShowForm();
  headless::Click(ok->Handle(), 10, 10);
  Pump();
  EXPECT_EQ(okClicks, 1);
  EXPECT_TRUE(ok->Focused());
  ok->SetEnabled(false);
  headless::Click(ok->Handle(), 10, 10);
  Pump();
  EXPECT_EQ(okClicks, 1);
  edit1->SetEnabled(false);
  edit1->Perform(WM_CHAR, 'x', 0);
  EXPECT_EQ(edit1->Text(), "");
  // A press that leaves the button before the release is no click.
  headless::MouseMoveClient(cancel->Handle(), 5, 5);
  POINT p{5, 5};
  ClientToScreen(cancel->Handle(), &p);
  headless::MouseButton(1, true, p.x, p.y);
  headless::MouseMoveClient(form->Handle(), 250, 5);
  POINT q{250, 5};
  ClientToScreen(form->Handle(), &q);
  headless::MouseButton(1, false, q.x, q.y);
  Pump();
  EXPECT_EQ(cancelClicks, 0);
}

TEST_F(ControlsTest, ControlsDrawAtTheirPlacesWithTheirColours) {
  ShowForm();
  edit1->SetText("42");
  Pump();
  UpdateWindow(form->Handle());
  if (const char* dir = std::getenv("PELLORA_SHOTS")) {
    SaveWindowPng(form->Handle(), (std::string(dir) + "/controls.png").c_str());
  }
  WindowPixels px;
  ASSERT_TRUE(GetWindowPixels(form->Handle(), &px));
  RECT client;
  GetClientRect(form->Handle(), &client);
  // The back buffer may include a frame; find the client origin within it.
  RECT wr;
  GetWindowRect(form->Handle(), &wr);
  POINT origin{0, 0};
  ClientToScreen(form->Handle(), &origin);
  const int ox = px.width == client.right ? 0 : origin.x - wr.left;
  const int oy = px.height == client.bottom ? 0 : origin.y - wr.top;
  auto at = [&](int x, int y) { return px.At(ox + x, oy + y) & 0xFFFFFF; };
  EXPECT_EQ(at(2, 2), 0x000000u);                    // the black form
  EXPECT_EQ(at(16 + 60, 24 + 10), 0xFFFFFFu);        // inside the white edit box
  EXPECT_EQ(at(16 + 30, 96 + 5), ColorToRGB(clBtnFace) & 0xFFFFFF);  // button face
  EXPECT_EQ(at(16, 24), ColorToRGB(clBtnShadow) & 0xFFFFFF);  // the sunken edge's top-left
  // The label's white text lies inside its box and nowhere right of it.
  bool white = false;
  for (int y = 8; y < 21; ++y) {
    for (int x = 16; x < 116; ++x) white = white || at(x, y) == 0xFFFFFFu;
  }
  EXPECT_TRUE(white);
}

TEST_F(ControlsTest, ALabelSizesItselfToItsText) {
  label->SetCaption("A much longer caption than before");
  EXPECT_GT(label->Width(), 100);
  EXPECT_GT(label->Height(), 8);
  label->SetAutoSize(false);
  label->SetWidth(30);
  label->SetCaption("x");
  EXPECT_EQ(label->Width(), 30);
}

TEST_F(ControlsTest, AListBoxSelectsByKeysAndMouse) {
  auto* list = Add<TListBox>(140, 8, 110, 80);
  list->SetItems({"..", "alpha", "beta", "gamma"});
  int clicks = 0;
  list->SetOnClick([&](TObject*) { ++clicks; });
  ShowForm();
  list->SetFocus();
  Pump();
  Key(VK_DOWN);
  EXPECT_EQ(list->ItemIndex(), 0);
  Key(VK_END);
  EXPECT_EQ(list->ItemIndex(), 3);
  headless::Click(list->Handle(), 10, 2 + list->ItemHeight() + 2);
  Pump();
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(clicks, 3);
  EXPECT_THROW(list->Item(9), EListError);
}

}  // namespace
