#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "runtime/DesignsRegistry.h"
#include "forms_fixture.h"

namespace {

// A form class with published fields and handlers, as the system's own forms have.
class TProbeForm : public TForm {
 public:
  PELLORA_CLASS_NAME(TProbeForm)
  explicit TProbeForm(TComponent* AOwner) : TForm(AOwner) {}
  TEdit* Edit1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  int Clicks = 0;
  int Creates = 0;
  std::vector<WORD> KeysSeen;
  void FormCreate(TObject*) {
    ++Creates;
    if (FailCreate) throw Exception("creation failed");
    AfterThrow = true;
  }
  void Button1Click(TObject*) { ++Clicks; }
  void Button2Click(TObject*) { throw Exception("Failed to set data for '%s'", {std::string("BallsCount")}); }
  void FormKeyDown(TObject*, WORD& Key, TShiftState) { KeysSeen.push_back(Key); }
  static inline bool FailCreate = false;
  bool AfterThrow = false;
};

const bool registered = [] {
  RegisterComponentClass<TProbeForm, TForm>()
      .Field("Edit1", &TProbeForm::Edit1)
      .Field("Button1", &TProbeForm::Button1)
      .Field("Button2", &TProbeForm::Button2)
      .Method("FormCreate", &TProbeForm::FormCreate)
      .Method("Button1Click", &TProbeForm::Button1Click)
      .Method("Button2Click", &TProbeForm::Button2Click)
      .Method("FormKeyDown", &TProbeForm::FormKeyDown);
  return true;
}();

const char* kProbeDesign = R"(object ProbeForm: TProbeForm
  Left = 100
  Top = 80
  BorderStyle = bsDialog
  Caption = 'Probe'
  ClientWidth = 240
  ClientHeight = 120
  Position = poDesigned
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  object Edit1: TEdit
    Left = 16
    Top = 16
    Width = 121
    Height = 21
    TabOrder = 0
  end
  object Button1: TButton
    Left = 16
    Top = 64
    Caption = 'Ok'
    TabOrder = 1
    OnClick = Button1Click
  end
  object Button2: TButton
    Left = 120
    Top = 64
    Caption = 'Fail'
    TabOrder = 2
    OnClick = Button2Click
  end
end
)";

class FormsTest : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();
    RegisterDesignResource("Probe.pfm", reinterpret_cast<const uint8_t*>(kProbeDesign), strlen(kProbeDesign));
    TProbeForm::FailCreate = false;
  }
  void TearDown() override {
    UnregisterDesignResource("Probe.pfm");
    HeadlessForms::TearDown();
  }
};

TEST_F(FormsTest, CreateFormReadsTheDesignAndTheFirstFormBecomesMain) {
  TProbeForm* first = nullptr;
  TProbeForm* second = nullptr;
  Application->CreateForm(first);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Application->MainForm(), first);
  EXPECT_EQ(first->Creates, 1);
  EXPECT_EQ(first->Caption(), "Probe");
  ASSERT_NE(first->Button1, nullptr);
  EXPECT_EQ(first->Button1->Caption(), "Ok");
  EXPECT_EQ(first->ClientWidth(), 240);
  EXPECT_EQ(first->ClientHeight(), 120);
  // A second form of the class gets a name of its own and stays hidden.
  Application->CreateForm(second);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Name(), "ProbeForm_1");
  EXPECT_TRUE(Errors.empty());
  EXPECT_EQ(Application->MainForm(), first);
  EXPECT_FALSE(second->Visible());
  EXPECT_FALSE(first->Visible());
}

TEST_F(FormsTest, AFailingCreationHandlerIsReportedAndTheFormIsStillMade) {
  TProbeForm::FailCreate = true;
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Creates, 1);
  EXPECT_FALSE(form->AfterThrow);  // the rest of the handler was skipped
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "creation failed");
  EXPECT_EQ(Application->MainForm(), form);
}

TEST_F(FormsTest, RunShowsTheMainFormAndClosingItEndsTheRun) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  ASSERT_NE(form, nullptr);
  headless::RequestClose(form->Handle());  // the close box, before the loop runs
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

// Without a window system the main form gets no window and can never be closed, and
// every wait returns at once: the run must end instead of spinning for ever. It runs in a
// child process so that a run which never ends fails the test instead of hanging it.
TEST_F(FormsTest, RunEndsWhenTheMainFormCouldNotGetAWindow) {
  ResetWindowSystem();
  const char* display = getenv("DISPLAY");
  const char* headlessChoice = getenv("PELLORA_HEADLESS");
  const std::string savedDisplay = display ? display : "", savedHeadless = headlessChoice ? headlessChoice : "";
  unsetenv("DISPLAY");
  unsetenv("PELLORA_HEADLESS");
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  ASSERT_NE(form, nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Application->Run();
    // Showing the form was tried, and its failure reported.
    _exit(!Errors.empty() && Errors[0].rfind("Error creating window for TProbeForm", 0) == 0 ? 0 : 3);
  }
  int status = 0;
  pid_t done = 0;
  for (int waited = 0; waited < 10000 && (done = waitpid(child, &status, WNOHANG)) == 0; waited += 10) usleep(10000);
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(done, child) << "the run never ended";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the failed window was not reported";
  if (!savedDisplay.empty()) setenv("DISPLAY", savedDisplay.c_str(), 1);
  if (!savedHeadless.empty()) setenv("PELLORA_HEADLESS", savedHeadless.c_str(), 1);
}

TEST_F(FormsTest, TheIdleCallbackSleepsWhenDoneAndPollsWhenNot) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  Pump();
  int calls = 0;
  Application->SetOnIdle([&](TObject*, bool& done) {
    ++calls;
    (void)done;  // left true: the loop may sleep
  });
  // With the queue empty, one idle call, then the loop waits for a message: the thread
  // posts one after a while, and only then may the next idle call come.
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    PostMessageA(form->Handle(), WM_NULL, 0, 0);
  });
  const auto start = std::chrono::steady_clock::now();
  Application->HandleMessage();  // idle, then the wait until the posted message
  const auto waited = std::chrono::steady_clock::now() - start;
  poster.join();
  EXPECT_EQ(calls, 1);
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  Application->HandleMessage();  // the posted message is handled, no idle call
  EXPECT_EQ(calls, 1);

  // Leaving done false keeps the loop polling: every pass with an empty queue calls it.
  calls = 0;
  Application->SetOnIdle([&](TObject*, bool& done) {
    ++calls;
    done = false;
  });
  for (int i = 0; i < 5; ++i) Application->HandleMessage();
  EXPECT_EQ(calls, 5);
  Application->SetOnIdle(nullptr);
}

TEST_F(FormsTest, AnExceptionFromTheIdleCallbackIsReportedAndTheLoopGoesOn) {
  int calls = 0;
  Application->SetOnIdle([&](TObject*, bool& done) {
    done = false;
    if (++calls == 1) throw Exception("tick failed");
  });
  Application->HandleMessage();
  Application->HandleMessage();
  EXPECT_EQ(calls, 2);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "tick failed");
  Application->SetOnIdle(nullptr);
}

// Subscribers run after OnIdle in the order they came, may leave (themselves or another)
// during a pass, and a failing one is reported without costing the others their turn.
TEST_F(FormsTest, IdleSubscribersEachGetTheirPassAndComeAndGoAlone) {
  std::vector<std::string> calls;
  Application->SetOnIdle([&](TObject*, bool&) { calls.push_back("slot"); });
  THookId third = 0;
  const THookId first = Application->AddIdleHandler([&](TObject*, bool& done) {
    calls.push_back("first");
    done = false;
  });
  const THookId second = Application->AddIdleHandler([&](TObject*, bool&) {
    calls.push_back("second");
    Application->RemoveIdleHandler(third);
    throw Exception("second failed");
  });
  third = Application->AddIdleHandler([&](TObject*, bool&) { calls.push_back("third"); });
  EXPECT_EQ(Application->IdleHandlerCount(), 3u);
  EXPECT_FALSE(Application->IdlePass());  // "first" wants to come back
  EXPECT_EQ(calls, (std::vector<std::string>{"slot", "first", "second"}));
  EXPECT_EQ(Errors, std::vector<std::string>{"second failed"});

  calls.clear();
  Application->RemoveIdleHandler(second);
  Application->RemoveIdleHandler(first);
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  EXPECT_TRUE(Application->IdlePass());
  EXPECT_EQ(calls, std::vector<std::string>{"slot"});
  Application->SetOnIdle(nullptr);
}

TEST_F(FormsTest, HooksSeeTheActivationNoticesAfterTheFlagChanged) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  Pump();
  ASSERT_TRUE(Application->Active());
  std::vector<std::pair<UINT, bool>> seen;
  const THookId id = Application->HookMainWindow([&](TMessage& m) {
    if (m.Msg == WM_ACTIVATEAPP || m.Msg == 0xB000 || m.Msg == 0xB001) seen.push_back({m.Msg, Application->Active()});
    return false;
  });
  headless::ActivateOtherApplication();
  Pump();
  headless::ActivateWindow(form->Handle());
  Pump();
  Application->UnhookMainWindow(id);
  const std::vector<std::pair<UINT, bool>> expected = {
      {WM_ACTIVATEAPP, true}, {0xB001, false}, {WM_ACTIVATEAPP, false}, {0xB000, true}};
  EXPECT_EQ(seen, expected);
  // Unhooked: nothing more arrives.
  headless::ActivateOtherApplication();
  Pump();
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(FormsTest, AHookThatConsumesAMessageKeepsItFromTheApplication) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  Pump();
  ASSERT_TRUE(Application->Active());
  Application->HookMainWindow([](TMessage& m) { return m.Msg == WM_ACTIVATEAPP; });
  headless::ActivateOtherApplication();
  Pump();
  EXPECT_TRUE(Application->Active());  // the flag never saw the change
}

TEST_F(FormsTest, AnExceptionInAClickHandlerIsShownInAMessageBoxAndTheProgramGoesOn) {
  Application->SetOnException(nullptr);  // the real report this time
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  Pump();
  std::string shownText, shownCaption;
  // While the box is up the loop idles; the idle callback reads the box and presses Enter.
  Application->SetOnIdle([&](TObject*, bool&) {
    TCustomForm* active = Screen->ActiveForm();
    if (active == nullptr || active == form) return;
    if (auto* label = dynamic_cast<TLabel*>(active->FindComponent("Message"))) {
      shownText = label->Caption();
      shownCaption = active->Caption();
      headless::KeyPress(VK_RETURN);
    }
  });
  headless::Click(form->Button2->Handle(), 10, 10);
  Pump();
  Application->SetOnIdle(nullptr);
  EXPECT_EQ(shownText, "Failed to set data for 'BallsCount'.");
  EXPECT_EQ(shownCaption, "Runtime test");
  // The program goes on: the other button still works.
  headless::Click(form->Button1->Handle(), 10, 10);
  Pump();
  EXPECT_EQ(form->Clicks, 1);
  EXPECT_EQ(Screen->ActiveForm(), form);
}

TEST_F(FormsTest, AModalResultClosesTheModalFormAndIdleRunsMeanwhile) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->Button1->SetModalResult(mrOk);
  int idles = 0;
  Application->SetOnIdle([&](TObject*, bool& done) {
    if (++idles == 3) headless::Click(form->Button1->Handle(), 5, 5);
    done = false;
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  Application->SetOnIdle(nullptr);
  EXPECT_GE(idles, 3);
  EXPECT_EQ(form->Clicks, 1);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  // Showing a visible form modally is refused.
  form->Show();
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, TheCloseBoxOfAModalFormGivesCancel) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  Application->SetOnIdle([&](TObject*, bool&) { headless::RequestClose(form->Handle()); });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  Application->SetOnIdle(nullptr);
}

TEST_F(FormsTest, KeyPreviewShowsTheFormEveryKeyFirst) {
  TProbeForm* form = nullptr;
  Application->CreateForm(form);
  form->SetKeyPreview(true);
  std::vector<WORD> editKeys;
  form->Edit1->SetOnKeyDown([&](TObject*, WORD& Key, TShiftState) { editKeys.push_back(Key); });
  form->Show();
  Pump();
  ASSERT_TRUE(form->Edit1->Focused());
  headless::KeyPress('A');
  Pump();
  EXPECT_EQ(form->KeysSeen, std::vector<WORD>{'A'});
  EXPECT_EQ(editKeys, std::vector<WORD>{'A'});
  // A form handler that eats the key keeps it from the control.
  form->SetOnKeyDown([&](TObject*, WORD& Key, TShiftState) { Key = 0; });
  headless::KeyPress('B');
  Pump();
  EXPECT_EQ(editKeys, std::vector<WORD>{'A'});
  EXPECT_EQ(form->Edit1->Text(), "a");
  // Without preview the form does not see keys meant for its controls.
  form->SetKeyPreview(false);
  headless::KeyPress('C');
  Pump();
  EXPECT_EQ(editKeys, (std::vector<WORD>{'A', 'C'}));
}

TEST_F(FormsTest, ShowMessageUsesTheTitleAndClosesWithEscape) {
  bool shown = false;
  Application->SetOnIdle([&](TObject*, bool&) {
    TCustomForm* box = Screen->ActiveForm();
    if (box != nullptr && box->Caption() == "Runtime test" && !shown) {
      shown = true;
      headless::KeyPress(VK_ESCAPE);
    }
  });
  ShowMessage("Number of balls 0<..<101 !!!");
  Application->SetOnIdle(nullptr);
  EXPECT_TRUE(shown);
  EXPECT_EQ(Screen->FormCount(), 0);
}

}  // namespace
