#include <algorithm>

#include "forms_fixture.h"

namespace {

class FormWindowTest : public HeadlessForms {};

const char* kDesign = R"(object Form9: TForm
  Left = 40
  Top = 30
  Caption = 'Hi'
  ClientWidth = 158
  ClientHeight = 129
  BorderStyle = bsSingle
  Color = clBlack
  Font.Color = clLime
  Font.Style = [fsBold]
  ActiveControl = Edit2
  object Edit1: TEdit
    Left = 8
    Top = 8
  end
  object Edit2: TEdit
    Left = 8
    Top = 40
    Font.Color = clRed
  end
  object Pic: TImage
    Left = 8
    Top = 70
    Width = 40
    Height = 40
  end
  object Caption1: TLabel
    Left = 60
    Top = 70
    Caption = 'solid'
    Color = clNavy
  end
  object Caption2: TLabel
    Left = 60
    Top = 90
    Caption = 'see-through'
    Transparent = True
  end
end
)";

TEST_F(FormWindowTest, ADesignedClientSizeHoldsForTheBorderReadAfterIt) {
  auto* form = MakeForm<TForm>(kDesign);
  form->Show();
  Pump();
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 158);
  EXPECT_EQ(client.bottom, 129);
  EXPECT_GT(form->Width(), 158);  // the frame is outside the client area
  // The border goes; the window keeps its outer size and the client grows to it.
  const int32_t outer = form->Width();
  form->SetBorderStyle(bsNone);
  Pump();
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, outer);
  EXPECT_EQ(form->BorderStyle(), bsNone);
}

TEST_F(FormWindowTest, ChildrenTakeTheFormsFontUnlessTheyHaveTheirOwn) {
  auto* form = MakeForm<TForm>(kDesign);
  auto* edit1 = static_cast<TEdit*>(form->FindComponent("Edit1"));
  auto* edit2 = static_cast<TEdit*>(form->FindComponent("Edit2"));
  EXPECT_EQ(edit1->Font()->Color(), clLime);
  EXPECT_TRUE(edit1->Font()->Style().Contains(fsBold));
  EXPECT_EQ(edit2->Font()->Color(), clRed);
  form->Font()->SetColor(clYellow);
  EXPECT_EQ(edit1->Font()->Color(), clYellow);
  EXPECT_EQ(edit2->Font()->Color(), clRed);
}

TEST_F(FormWindowTest, TheDesignedActiveControlHasTheFocusWhenTheFormIsShown) {
  auto* form = MakeForm<TForm>(kDesign);
  int activations = 0, deactivations = 0;
  form->SetOnActivate([&](TObject*) { ++activations; });
  form->SetOnDeactivate([&](TObject*) { ++deactivations; });
  form->Show();
  Pump();
  EXPECT_TRUE(static_cast<TEdit*>(form->FindComponent("Edit2"))->Focused());
  EXPECT_EQ(activations, 1);
  headless::ActivateOtherApplication();
  Pump();
  EXPECT_EQ(deactivations, 1);
  EXPECT_FALSE(form->Active());
}

TEST_F(FormWindowTest, AClickOnAControlWithoutAWindowReachesIt) {
  auto* form = MakeForm<TForm>(kDesign);
  auto* pic = static_cast<TImage*>(form->FindComponent("Pic"));
  int clicks = 0;
  pic->SetOnClick([&](TObject*) { ++clicks; });
  form->Show();
  Pump();
  headless::Click(form->Handle(), 8 + 20, 70 + 20);
  headless::Click(form->Handle(), 8 + 60, 70 + 20);  // beside it: the form's, not the image's
  Pump();
  EXPECT_EQ(clicks, 1);
}

TEST_F(FormWindowTest, LabelsAreSolidOrSeeThrough) {
  auto* form = MakeForm<TForm>(kDesign);
  form->Show();
  Pump();
  UpdateWindow(form->Handle());
  WindowPixels px;
  ASSERT_TRUE(GetWindowPixels(form->Handle(), &px));
  RECT wr, client;
  GetWindowRect(form->Handle(), &wr);
  GetClientRect(form->Handle(), &client);
  POINT o{0, 0};
  ClientToScreen(form->Handle(), &o);
  const int ox = px.width == client.right ? 0 : o.x - wr.left;
  const int oy = px.height == client.bottom ? 0 : o.y - wr.top;
  auto at = [&](int x, int y) { return px.At(ox + x, oy + y) & 0xFFFFFF; };
  EXPECT_EQ(at(60, 70), 0x000080u);  // the label's own navy (blue 128)
  EXPECT_EQ(at(60, 90), 0x000000u);  // the black form shows through
}

TEST_F(FormWindowTest, CursorNoneHidesThePointerOverTheControl) {
  auto* form = MakeForm<TForm>(kDesign);
  auto* edit1 = static_cast<TEdit*>(form->FindComponent("Edit1"));
  form->Show();
  Pump();
  headless::MouseMoveClient(edit1->Handle(), 5, 5);
  Pump();
  EXPECT_TRUE(headless::CursorVisible());
  edit1->SetCursor(crNone);
  headless::MouseMoveClient(edit1->Handle(), 6, 6);
  Pump();
  EXPECT_FALSE(headless::CursorVisible());
  headless::MouseMoveClient(form->Handle(), 150, 120);  // off the control: shown again
  Pump();
  EXPECT_TRUE(headless::CursorVisible());
}

TEST_F(FormWindowTest, AReleasedFormIsFreedOnceItsMessagesAreDone) {
  auto* form = MakeForm<TForm>(kDesign);
  form->Show();
  Pump();
  HWND h = form->Handle();
  const int before = Screen->FormCount();
  form->Release();
  EXPECT_TRUE(IsWindow(h));  // not yet
  Pump();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(Screen->FormCount(), before - 1);
}

TEST_F(FormWindowTest, AlignClientFillsTheParent) {
  auto* form = MakeForm<TForm>(kDesign);
  auto* edit1 = static_cast<TEdit*>(form->FindComponent("Edit1"));
  form->Show();
  Pump();
  edit1->SetAlign(alClient);
  EXPECT_EQ(edit1->BoundsRect(), Rect(0, 0, 158, 129));
}

TEST_F(FormWindowTest, ADesignsTabOrdersHoldWhateverOrderTheControlsComeIn) {
  // The Options dialog's order: the buttons first, then the fields, About last.
  auto* form = MakeForm<TForm>(R"(object Form8: TForm
  object Edit1: TEdit
    TabOrder = 2
  end
  object Edit2: TEdit
    TabOrder = 3
  end
  object Button2: TButton
    TabOrder = 0
  end
  object Button3: TButton
    TabOrder = 1
  end
  object Button1: TButton
    TabOrder = 4
  end
end
)");
  std::vector<std::string> order;
  std::vector<TWinControl*> list;
  form->GetTabOrderList(list);
  for (TWinControl* w : list) order.push_back(w->Name());
  EXPECT_EQ(order, (std::vector<std::string>{"Button2", "Button3", "Edit1", "Edit2", "Button1"}));
  EXPECT_EQ(static_cast<TWinControl*>(form->FindComponent("Edit1"))->TabOrder(), 2);
}

TEST_F(FormWindowTest, AFormDesignedVisibleShowsOnceItIsMade) {
  auto* form = MakeForm<TForm>("object Form7: TForm\n  Visible = True\n  Caption = 'Up'\nend\n");
  ASSERT_TRUE(form->HandleAllocated());
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  auto* hidden = MakeForm<TForm>("object Form6: TForm\nend\n");
  EXPECT_FALSE(hidden->HandleAllocated() && IsWindowVisible(hidden->Handle()));
}

// A form class of a later layer: its own extended style and the first look at messages.
class TAppWindowForm : public TForm {
 public:
  PELLORA_CLASS_NAME(TAppWindowForm)
  explicit TAppWindowForm(TComponent* AOwner) : TForm(AOwner) {}
  std::vector<UINT> Seen;
  bool EatClose = true;

 protected:
  void CreateParams(TCreateParams& Params) override {
    TForm::CreateParams(Params);
    Params.ExStyle |= WS_EX_APPWINDOW;
  }
  void WndProc(TMessage& Message) override {
    Seen.push_back(Message.Msg);
    if (Message.Msg == WM_CLOSE && EatClose) return;  // the form never hears of it
    TForm::WndProc(Message);
  }
};

TEST_F(FormWindowTest, ASubclassSetsExtendedStylesAndSeesMessagesFirst) {
  auto* form = new TAppWindowForm(Application);
  form->Show();
  Pump();
  EXPECT_TRUE(GetWindowLongA(form->Handle(), GWL_EXSTYLE) & static_cast<LONG>(WS_EX_APPWINDOW));
  int closes = 0;
  form->SetOnClose([&](TObject*, TCloseAction&) { ++closes; });
  headless::RequestClose(form->Handle());
  Pump();
  EXPECT_EQ(closes, 0);
  EXPECT_NE(std::find(form->Seen.begin(), form->Seen.end(), WM_CLOSE), form->Seen.end());
  // A window procedure put in front from outside (a display's hook) comes first of all.
  std::vector<UINT> outside;
  TWndMethod previous = form->WindowProc();
  form->SetWindowProc([&](TMessage& m) {
    outside.push_back(m.Msg);
    previous(m);
  });
  form->EatClose = false;
  headless::RequestClose(form->Handle());
  Pump();
  EXPECT_EQ(closes, 1);
  EXPECT_NE(std::find(outside.begin(), outside.end(), WM_CLOSE), outside.end());
  form->SetWindowProc(nullptr);
}

}  // namespace
