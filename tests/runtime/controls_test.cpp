#include <cctype>
#include <cstdlib>

#include "forms_fixture.h"
#include "platform/clock/Clock.h"
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

TEST_F(ControlsTest, ACharacterGoesWhereItsKeyWentEvenWhenThatKeyOpenedAnotherWindow) {
  // A key whose handler brings up another window with a field (as a key that ends the
  // saver brings up the password prompt); the key's text arrives in the same pump as
  // the key itself, as a real display delivers it.
  TForm* prompt = new TForm(Application);
  prompt->SetBounds(400, 100, 200, 80);
  TEdit* field = new TEdit(prompt);
  field->SetBounds(8, 8, 150, 21);
  field->SetParent(prompt);
  std::string pressedOnForm;
  form->SetKeyPreview(true);
  form->SetOnKeyDown([&](TObject*, WORD&, TShiftState) {
    prompt->Show();
    field->SetFocus();
  });
  form->SetOnKeyPress([&](TObject*, char& Key) { pressedOnForm += Key; });
  ShowForm();
  headless::KeyDownWithText('X');
  headless::LayoutText("x");
  headless::KeyUp('X');
  Pump();
  ASSERT_TRUE(field->Focused());
  EXPECT_EQ(field->Text(), "");
  EXPECT_EQ(pressedOnForm, "x");
  form->SetOnKeyDown(nullptr);
  Type("ok");  // what is typed next goes to the field
  EXPECT_EQ(field->Text(), "ok");

  // Keys queued behind a Tab still follow the focus it moved, text and all.
  edit1->SetText("");
  edit2->SetText("");
  form->SetOnKeyPress(nullptr);
  form->SetFocus();
  edit1->SetFocus();
  Pump();
  for (char c : std::string("a\tb")) {
    const UINT vk = c == '\t' ? VK_TAB : static_cast<UINT>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '\t') {
      headless::KeyDown(VK_TAB);
    } else {
      headless::KeyDownWithText(vk);
      headless::LayoutText(std::string(1, c));
    }
    headless::KeyUp(vk);
  }
  Pump();
  EXPECT_EQ(edit1->Text(), "a");
  EXPECT_EQ(edit2->Text(), "b");
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

// A list longer than it is tall, on a form shown without a modal loop, and a manual
// clock for the scroll bar's repeat.
class ScrollingListTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    InstallClock(&manualClock);
    list = Add<TListBox>(140, 8, 110, 80);
    std::vector<std::string> items;
    for (int i = 0; i < 30; ++i) items.push_back("item " + std::to_string(i));
    list->SetItems(items);
    list->SetOnClick([this](TObject*) { ++listClicks; });
    list->SetOnDblClick([this](TObject*) { ++listDblClicks; });
    ShowForm();
  }
  void TearDown() override {
    ControlsTest::TearDown();
    InstallClock(nullptr);
  }
  POINT Centre(TListBox::TScrollPart Part) {
    const TRect r = list->ScrollPartRect(Part);
    EXPECT_LT(r.top, r.bottom);
    POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(list->Handle(), &p);
    return p;
  }
  void Press(POINT Screen) {
    headless::MouseMove(Screen.x, Screen.y);
    headless::MouseButton(1, true, Screen.x, Screen.y);
    Pump();
  }
  void Release(POINT Screen) {
    headless::MouseButton(1, false, Screen.x, Screen.y);
    Pump();
  }
  void Wait(uint64_t Ms) {
    manualClock.Advance(Ms);
    Pump();
  }
  int MaxTop() const { return list->Count() - list->VisibleCount(); }

  ManualClock manualClock{1000};
  TListBox* list = nullptr;
  int listClicks = 0, listDblClicks = 0;
};

TEST_F(ScrollingListTest, TheScrollBarShowsOnlyWhenTheItemsDoNotFitAndTheThumbFollowsTheTop) {
  using Part = TListBox::TScrollPart;
  ASSERT_TRUE(list->ScrollBarShown());
  EXPECT_EQ(list->VisibleCount(), (80 - 4) / list->ItemHeight());
  // Drawn: the arrow buttons' face, and the track, right of the items.
  const TRect up = list->ScrollPartRect(Part::LineUp);
  EXPECT_EQ(up.right, 110 - 2);
  EXPECT_EQ(up.bottom - up.top, 16);
  EXPECT_EQ(Pixel(140 + up.left + 3, 8 + up.top + 2), 0xC0C0C0u);
  const TRect track = list->ScrollPartRect(Part::PageDown);
  EXPECT_EQ(Pixel(140 + track.left + 8, 8 + track.bottom - 2), 0xDFDFDFu);
  // Items stop short of the bar, and a press on the bar picks none.
  EXPECT_EQ(list->ItemAtPos(Point(up.left - 1, 5)), 0);
  EXPECT_EQ(list->ItemAtPos(Point(up.left, 5)), -1);

  const TRect thumbAtTop = list->ScrollPartRect(Part::Thumb);
  EXPECT_EQ(thumbAtTop.top, up.bottom);
  EXPECT_EQ(list->ScrollPartRect(Part::PageUp).bottom, list->ScrollPartRect(Part::PageUp).top);
  list->SetTopIndex(1000);
  EXPECT_EQ(list->TopIndex(), MaxTop());
  EXPECT_EQ(list->ScrollPartRect(Part::Thumb).bottom, list->ScrollPartRect(Part::LineDown).top);
  // The last item is reachable and shown whole.
  EXPECT_EQ(list->TopIndex() + list->VisibleCount(), list->Count());

  list->SetItems({"a", "b"});
  EXPECT_FALSE(list->ScrollBarShown());
  EXPECT_EQ(list->ScrollPartAt(Point(110 - 5, 10)), Part::None);
  UpdateWindow(form->Handle());
  EXPECT_EQ(Pixel(140 + 110 - 8, 8 + 20), 0xFFFFFFu);  // no bar: the list's own white
  if (const char* d = std::getenv("PELLORA_SHOTS")) SaveWindowPng(form->Handle(), std::string(d) + "/list-short.png");
}

TEST_F(ScrollingListTest, AHeldArrowRepeatsOnTheClockWhileThePointerIsOnItAndStopsWhenReleased) {
  using Part = TListBox::TScrollPart;
  const POINT down = Centre(Part::LineDown);
  Press(down);
  EXPECT_EQ(list->TopIndex(), 1);
  Wait(349);
  EXPECT_EQ(list->TopIndex(), 1);
  Wait(1);
  EXPECT_EQ(list->TopIndex(), 2);
  Wait(50);
  EXPECT_EQ(list->TopIndex(), 3);
  // Off the arrow it waits; back on it, it goes on.
  POINT item{20, 20};
  ClientToScreen(list->Handle(), &item);
  headless::MouseMove(item.x, item.y);
  Wait(50);
  Wait(50);
  EXPECT_EQ(list->TopIndex(), 3);
  headless::MouseMove(down.x, down.y);
  Wait(50);
  EXPECT_EQ(list->TopIndex(), 4);
  if (const char* d = std::getenv("PELLORA_SHOTS")) SaveWindowPng(form->Handle(), std::string(d) + "/list-held.png");
  Release(down);
  Wait(1000);
  EXPECT_EQ(list->TopIndex(), 4);
  // Scrolling chose nothing and took no focus.
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(listClicks, 0);
  EXPECT_FALSE(list->Focused());

  // The up arrow, and the end: held at the top it has nothing more to do.
  const POINT up = Centre(Part::LineUp);
  Press(up);
  for (int i = 0; i < 10; ++i) Wait(400);
  EXPECT_EQ(list->TopIndex(), 0);
  Release(up);
}

TEST_F(ScrollingListTest, TheTrackPagesUntilTheThumbReachesThePointerAndTheThumbDrags) {
  using Part = TListBox::TScrollPart;
  const TRect track = list->ScrollPartRect(Part::PageDown);
  const POINT middleClient{(track.left + track.right) / 2, (track.top + track.bottom) / 2};
  POINT middle = middleClient;
  ClientToScreen(list->Handle(), &middle);
  Press(middle);
  EXPECT_EQ(list->TopIndex(), list->VisibleCount());
  for (int i = 0; i < 20; ++i) Wait(400);
  // The thumb came down to the pointer and stopped there, short of the end.
  EXPECT_EQ(list->ScrollPartAt(middleClient), Part::Thumb);
  EXPECT_LT(list->TopIndex(), MaxTop());
  Release(middle);

  // The thumb, dragged up past the track's top, brings the list to its top; dragged
  // to the middle of its room, to the middle.
  const TRect grabbed = list->ScrollPartRect(Part::Thumb);
  const POINT thumb = Centre(Part::Thumb);
  POINT thumbClient = thumb;
  ScreenToClient(list->Handle(), &thumbClient);
  const int grab = thumbClient.y - grabbed.top;
  Press(thumb);
  headless::MouseMove(thumb.x, thumb.y - 500);
  Pump();
  EXPECT_EQ(list->TopIndex(), 0);
  const TRect up = list->ScrollPartRect(Part::LineUp);
  const TRect down = list->ScrollPartRect(Part::LineDown);
  const int room = (down.top - up.bottom) - (grabbed.bottom - grabbed.top);
  POINT half{thumbClient.x, up.bottom + room / 2 + grab};
  ClientToScreen(list->Handle(), &half);
  headless::MouseMove(half.x, half.y);
  Pump();
  EXPECT_NEAR(list->TopIndex(), MaxTop() / 2, 1);
  EXPECT_EQ(list->ScrollPartRect(Part::Thumb).top, up.bottom + room / 2);
  Release(half);
  EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(ScrollingListTest, TwoQuickPressesOnTheScrollBarScrollTwiceAndChooseNothing) {
  using Part = TListBox::TScrollPart;
  headless::Click(list->Handle(), 20, 5);  // chooses item 0 and takes the focus
  Pump();
  ASSERT_EQ(list->ItemIndex(), 0);
  const POINT down = Centre(Part::LineDown);
  Press(down);
  Release(down);
  Press(down);  // at the same moment: a double click
  Release(down);
  EXPECT_EQ(list->TopIndex(), 2);
  EXPECT_EQ(listDblClicks, 0);
  EXPECT_EQ(list->ItemIndex(), 0);
}

TEST_F(ScrollingListTest, TheWheelScrollsThreeLinesANotchAndAddsUpFractions) {
  headless::Wheel(list->Handle(), 20, 20, -WHEEL_DELTA);
  Pump();
  EXPECT_EQ(list->TopIndex(), 3);
  for (int i = 0; i < 3; ++i) headless::Wheel(list->Handle(), 20, 20, -30);  // 3/4 of a notch
  Pump();
  EXPECT_EQ(list->TopIndex(), 5);
  headless::Wheel(list->Handle(), 20, 20, -30);
  Pump();
  EXPECT_EQ(list->TopIndex(), 6);
  headless::Wheel(list->Handle(), 20, 20, 50 * WHEEL_DELTA);
  Pump();
  EXPECT_EQ(list->TopIndex(), 0);
  // Over a control that does not scroll, nothing moves.
  headless::Wheel(edit1->Handle(), 5, 5, -WHEEL_DELTA);
  Pump();
  EXPECT_EQ(list->TopIndex(), 0);
  EXPECT_EQ(list->ItemIndex(), -1);
}

}  // namespace
