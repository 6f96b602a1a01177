// The Set Password dialog and the Enter Password dialog, driven through the real message
// queue, with the hive read afterwards.
#include "dialogs/EnterPassword.h"
#include "dialogs/Enter_Password.h"
#include "dialogs_fixture.h"

namespace {

class SetPasswordTest : public DialogTest {
 protected:
  void Open() {
    Application->CreateForm(Set_Password);
    ASSERT_NE(Set_Password, nullptr);
    Set_Password->Show();
    Pump();
  }
  void Type(TEdit* Edit, const std::string& Text) {
    ClickControl(Edit);
    headless::TypeText(Text);
    Pump();
  }
};

TEST_F(SetPasswordTest, TheDesignPutsEveryControlAtItsPlace) {
  Store(PasswordName, "secret");
  Open();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  TSet_Password* f = Set_Password;
  EXPECT_EQ(f->Caption(), "Set Password");
  EXPECT_EQ(f->ClientWidth(), 212);
  EXPECT_EQ(f->ClientHeight(), 160);
  EXPECT_EQ(f->Left(), 200);
  EXPECT_EQ(f->Top(), 109);
  EXPECT_EQ(f->BorderStyle(), bsDialog);
  EXPECT_EQ(f->BorderIcons(), biSystemMenu);
  EXPECT_EQ(f->Label1->Caption(), "Password");
  EXPECT_EQ(f->Label2->Caption(), "Verification password");
  EXPECT_EQ(f->Label1->Font()->Color(), clLime);
  EXPECT_EQ(f->Label2->Font()->Color(), clLime);
  EXPECT_EQ(f->Edit1->BoundsRect(), Bounds(24, 24, 161, 21));
  EXPECT_EQ(f->Edit2->BoundsRect(), Bounds(24, 72, 161, 21));
  EXPECT_EQ(f->Button1->BoundsRect(), Bounds(24, 112, 75, 25));
  EXPECT_EQ(f->Button2->BoundsRect(), Bounds(112, 112, 75, 25));
  EXPECT_EQ(f->Button1->ModalResult(), mrNone);
  EXPECT_EQ(f->Button2->ModalResult(), mrNone);
  EXPECT_TRUE(f->Edit1->Focused());
  EXPECT_EQ(f->Edit1->Text(), "");  // the stored password is never shown
  EXPECT_EQ(f->Edit2->Text(), "");
  Shot(f, "set-password.png");
  EXPECT_EQ(At(f, 4, 4), 0x000000u);
  EXPECT_GT(CountColour(f, Bounds(24, 8, 46, 13), 0x00FF00u), 15);
  Type(f->Edit1, "abc");
  EXPECT_EQ(f->Edit1->DisplayText(), "***");
}

TEST_F(SetPasswordTest, DifferentEntriesShowTheMessageKeepTheWindowAndTouchNothing) {
  Store(PasswordName, "old");
  Open();
  Type(Set_Password->Edit1, "Secret");
  Type(Set_Password->Edit2, "secret");
  ClickControl(Set_Password->Button1);
  Pump();
  EXPECT_EQ(Messages, (std::vector<std::string>{SPasswordMismatch}));
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Set_Password->Visible());
  EXPECT_EQ(Set_Password->Edit1->Text(), "Secret");
  EXPECT_EQ(Set_Password->Edit2->Text(), "secret");
  EXPECT_EQ(Stored(PasswordName), "old");
  EXPECT_EQ(Stored(PasswordFlagName), "(none)");
}

TEST_F(SetPasswordTest, EnterInTheSecondFieldWritesFlagAndPasswordAndEndsTheRun) {
  Open();
  Type(Set_Password->Edit1, "Top Secret 7");
  Type(Set_Password->Edit2, "Top Secret 7");
  headless::KeyPress(VK_RETURN);
  EXPECT_TRUE(PumpUntilClosed());
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(ReadRaw(SettingsKeyPath, PasswordFlagName).data, (std::vector<BYTE>{'1', 0}));
  EXPECT_EQ(Stored(PasswordName), "Top Secret 7");
}

TEST_F(SetPasswordTest, EnterInTheFirstFieldDoesNothing) {
  Open();
  Type(Set_Password->Edit1, "x\n");
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Stored(PasswordFlagName), "(none)");
}

TEST_F(SetPasswordTest, TwoEmptyFieldsStoreTheFlagAndAnEmptyPassword) {
  Store(PasswordName, "old");
  Open();
  ClickControl(Set_Password->Button1);
  EXPECT_TRUE(PumpUntilClosed());
  EXPECT_EQ(Stored(PasswordFlagName), "1");
  EXPECT_EQ(ReadRaw(SettingsKeyPath, PasswordName).data, (std::vector<BYTE>{0}));
}

TEST_F(SetPasswordTest, CancelWritesNothingEvenAfterAFailedAttempt) {
  Open();
  Type(Set_Password->Edit1, "one");
  Type(Set_Password->Edit2, "two\n");
  EXPECT_EQ(Messages.size(), 1u);
  ClickControl(Set_Password->Button2);
  EXPECT_TRUE(PumpUntilClosed());
  EXPECT_EQ(Stored(PasswordName), "(none)");
  EXPECT_EQ(Stored(PasswordFlagName), "(none)");
}

class EnterPasswordTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    Application->CreateForm(Form1);
    ASSERT_NE(Form1, nullptr);
  }
  // Shows the dialog for Expected; once it is up, types Typed into the field and then
  // does Finish (click Ok, click Cancel, the close box ...). Answers the verdict.
  bool Ask(const std::string& Expected, const std::string& Typed, std::function<void()> Finish) {
    bool done = false;
    std::function<void()> wait;
    wait = [&] {
      if (!Form1->Visible()) {
        Step = wait;
        return;
      }
      ClickControl(Form1->Edit1);
      headless::TypeText(Typed);
      Finish();
      done = true;
    };
    Step = wait;
    Form1->AskPassword(Expected);
    EXPECT_TRUE(done) << "the dialog was never seen";
    EXPECT_FALSE(Form1->Visible());
    return Form1->PasswordAccepted();
  }
  std::function<void()> ClickOk() {
    return [this] { ClickControl(Form1->Button1); };
  }
};

TEST_F(EnterPasswordTest, TheDesignPutsEveryControlAtItsPlace) {
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(Form1->Caption(), "Dialog");
  EXPECT_EQ(Form1->Width(), 281);
  EXPECT_EQ(Form1->Height(), 195);
  EXPECT_EQ(Form1->Left(), 200);
  EXPECT_EQ(Form1->Top(), 104);
  EXPECT_EQ(Form1->BorderStyle(), bsSizeable);
  EXPECT_EQ(Form1->BorderIcons(), biSystemMenu);
  EXPECT_EQ(Form1->Label1->Caption(), "Enter Password");
  EXPECT_EQ(Form1->Label1->Font()->Color(), clRed);
  EXPECT_EQ(Form1->Label1->Font()->Height(), -32);
  EXPECT_EQ(Form1->Edit1->BoundsRect(), Bounds(24, 80, 225, 21));
  EXPECT_EQ(Form1->Edit1->PasswordChar(), '*');
  EXPECT_EQ(Form1->Button1->BoundsRect(), Bounds(48, 120, 75, 25));
  EXPECT_EQ(Form1->Button2->BoundsRect(), Bounds(152, 120, 75, 25));
  EXPECT_EQ(Form1->Button1->ModalResult(), mrOk);
  EXPECT_EQ(Form1->Button2->ModalResult(), mrOk);
  EXPECT_FALSE(Form1->Button1->Default() || Form1->Button2->Default());
  EXPECT_FALSE(Form1->Button1->Cancel() || Form1->Button2->Cancel());
  EXPECT_FALSE(Form1->Visible());  // made hidden, shown only when asked
  Form1->Show();
  Pump();
  Shot(Form1, "enter-password.png");
  EXPECT_GT(CountColour(Form1, Bounds(24, 24, 200, 37), 0xFF0000u), 40);  // red
  Form1->Hide();
}

TEST_F(EnterPasswordTest, OnlyTheExactTextIsAccepted) {
  EXPECT_TRUE(Ask("Secret", "Secret", ClickOk()));
  Form1->Edit1->SetText("");
  EXPECT_FALSE(Ask("Secret", "secret", ClickOk()));
  Form1->Edit1->SetText("");
  EXPECT_FALSE(Ask("Secret", "SECRET", ClickOk()));
  Form1->Edit1->SetText("");
  EXPECT_FALSE(Ask("Secret", "Secret ", ClickOk()));
  Form1->Edit1->SetText("");
  EXPECT_FALSE(Ask("Secret", "Secre", ClickOk()));
}

TEST_F(EnterPasswordTest, CancelAfterTheRightTextRefuses) {
  EXPECT_FALSE(Ask("pw", "pw", [this] { ClickControl(Form1->Button2); }));
}

TEST_F(EnterPasswordTest, TheCloseBoxRefusesEvenAfterAnEarlierSuccess) {
  ASSERT_TRUE(Ask("pw", "pw", ClickOk()));
  // The field keeps its text between showings; the close box still refuses.
  EXPECT_FALSE(Ask("pw", "", [this] { headless::RequestClose(Form1->Handle()); }));
  EXPECT_EQ(Form1->Edit1->Text(), "pw");
}

TEST_F(EnterPasswordTest, EnterAndEscapeInTheFieldDoNothingButEnterOnOkCompares) {
  bool closedByFieldKeys = true;
  const bool accepted = Ask("pw", "pw", [&] {
    headless::KeyPress(VK_RETURN);
    headless::KeyPress(VK_ESCAPE);
    // Still up after both keys: one more step checks, then Tab to Ok and Enter on it.
    Step = [&] {
      closedByFieldKeys = !Form1->Visible();
      headless::KeyPress(VK_TAB);
      headless::KeyPress(VK_RETURN);
    };
  });
  EXPECT_FALSE(closedByFieldKeys);
  EXPECT_TRUE(accepted);
}

TEST_F(EnterPasswordTest, AnEmptyExpectedPasswordIsMatchedByAnEmptyField) {
  EXPECT_TRUE(Ask("", "", ClickOk()));
  EXPECT_FALSE(Ask("", "x", ClickOk()));
}

TEST_F(EnterPasswordTest, TheKeyHandlerOfOkComparesOnEnterOnly) {
  Form1->Edit1->SetText("abc");
  Enter_Password::ExpectedPassword = "abc";
  Enter_Password::Accepted = false;
  char key = 'x';
  Form1->Button1KeyPress(Form1->Button1, key);
  EXPECT_FALSE(Form1->PasswordAccepted());
  key = 13;
  Form1->Button1KeyPress(Form1->Button1, key);
  EXPECT_TRUE(Form1->PasswordAccepted());
}

}  // namespace

namespace {

class UnwritableHiveTest : public SetPasswordTest {
 protected:
  void SetUp() override {
    SetPasswordTest::SetUp();
    // A config folder below a plain file can never be made: every write fails.
    blocker = Folder() + "/not-a-folder";
    std::ofstream(blocker) << "x";
    setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);
  }
  std::string blocker;
};

TEST_F(UnwritableHiveTest, AFailedWriteIsReportedAndTheDialogStaysOpen) {
  Open();
  Type(Set_Password->Edit1, "pw");
  Type(Set_Password->Edit2, "pw\n");
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find("Failed to create key"), std::string::npos) << Errors[0];
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(Set_Password->Visible());
}

}  // namespace
