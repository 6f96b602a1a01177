// How the saver ends: which input leaves, the password prompt in between, what is written
// back to the settings, and the pause while another program is in front.
#include <optional>

#include "SceneFixture.h"
#include "support/StoredSettings.h"

namespace {

class SceneLeavingTest : public SceneTest {
 protected:
  void UsePasswordSetting(DWORD Value) {
    WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD,
             {static_cast<BYTE>(Value), static_cast<BYTE>(Value >> 8), static_cast<BYTE>(Value >> 16),
              static_cast<BYTE>(Value >> 24)});
  }

  // The saver started, with a few frames behind it and the prompt watched from every tick.
  void Start() {
    StartSaver();
    ASSERT_TRUE(Errors.empty()) << Errors.front();
    for (int i = 0; i < 3; ++i) Idle();
    AfterEachTick([this] { WatchPrompt(); });
  }

  // Each mouse move goes somewhere new over the scene, so each is a real move.
  void MoveMouse() {
    ++FMoves;
    headless::MouseMove(100 + 7 * FMoves, 200 + 3 * FMoves);
    Application->ProcessMessages();
  }
  void PressKey(UINT Key) {
    headless::KeyPress(Key);
    Application->ProcessMessages();
  }
  bool Running() const { return !Application->Terminated() && MainForm->Visible(); }

  // The next prompt is answered with Text and Ok once it has been up for a few frames;
  // a prompt nobody answers fails the test and ends the run.
  void AnswerPromptWith(const std::string& Text) { FAnswer = Text; }

  int PromptsShown = 0;
  // Taken on the prompt's first frame and on its last.
  int PresentsWhenPromptShowed = 0;
  int PresentsWhenAnswered = 0;
  int FramesWhenPromptShowed = 0;
  int FramesWhenAnswered = 0;
  TBallTable BallsWhenPromptShowed;
  TBallTable BallsWhenAnswered;
  bool SceneWasActiveUnderThePrompt = false;
  bool PromptInFrontWhenAnswered = false;
  bool AnswerByKeyboard = false;
  std::string FieldWhenPromptShowed;

 private:
  static constexpr int kPromptFrames = 12;

  void WatchPrompt() {
    if (!Form1->Visible()) return;
    const int presents = headless::PresentCount(MainForm->Handle());
    if (FPromptTicks++ == 0) {
      ++PromptsShown;
      PresentsWhenPromptShowed = presents;
      FramesWhenPromptShowed = MainForm->FrameCount();
      BallsWhenPromptShowed = MainForm->Table();
      SceneWasActiveUnderThePrompt = MainForm->Active();
      FieldWhenPromptShowed = Form1->Edit1->Text();
      return;
    }
    if (FPromptTicks < kPromptFrames) return;
    FPromptTicks = 0;
    PresentsWhenAnswered = presents;
    FramesWhenAnswered = MainForm->FrameCount();
    BallsWhenAnswered = MainForm->Table();
    PromptInFrontWhenAnswered = ::Screen->ActiveForm() == Form1;
    if (!FAnswer) {
      // Nobody means to answer this one: end the run, so the test fails instead of hanging.
      ADD_FAILURE() << "an unexpected password prompt";
      Application->Terminate();
      return;
    }
    // Input for the scene behind the prompt goes nowhere while the prompt is up.
    headless::MouseButton(1, true, 780, 580);
    headless::MouseButton(1, false, 780, 580);
    TEdit* field = Form1->Edit1;
    field->SetText("");
    if (AnswerByKeyboard) {
      // As a person without a mouse: type, Tab to Ok, Enter.
      headless::TypeText(*FAnswer);
      headless::KeyPress(VK_TAB);
      headless::KeyPress(VK_RETURN);
    } else {
      headless::Click(field->Handle(), field->Width() / 2, field->Height() / 2);
      headless::TypeText(*FAnswer);
      headless::Click(Form1->Button1->Handle(), Form1->Button1->Width() / 2, Form1->Button1->Height() / 2);
    }
    FAnswer.reset();
  }

  int FMoves = 0;
  int FPromptTicks = 0;
  std::optional<std::string> FAnswer;
};

TEST_F(SceneLeavingTest, TheFirstTwoMovesDoNothingAndTheThirdLeaves) {
  Start();
  MoveMouse();
  MoveMouse();
  EXPECT_TRUE(Running());
  EXPECT_TRUE(PelloraUnit::State().FirstMoveSeen && PelloraUnit::State().SecondMoveSeen);
  Idle();
  EXPECT_EQ(MainForm->FrameCount(), 4);
  MoveMouse();
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(StoredSetting(BallsCountName), "100");
  EXPECT_EQ(PromptsShown, 0);
}

TEST_F(SceneLeavingTest, AKeyLeavesAtOnceAndWritesTheSettingsInTheirOrder) {
  Start();
  PressKey('Q');
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  // The key was empty, so the values list in the order they were written.
  std::vector<std::pair<std::string, std::vector<BYTE>>> values;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &key), ERROR_SUCCESS);
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD nameSize = sizeof name, type = 0, size = 64;
    BYTE data[64];
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
    values.emplace_back(name, std::vector<BYTE>(data, data + size));
  }
  RegCloseKey(key);
  auto text = [](const std::string& s) { return std::vector<BYTE>(s.c_str(), s.c_str() + s.size() + 1); };
  const std::vector<std::pair<std::string, std::vector<BYTE>>> expected{{PictureName, text(StandardPicture)},
                                                                       {BallsCountName, text("100")},
                                                                       {BallsSpeedName, text("6")},
                                                                       {PasswordName, text("")}};
  EXPECT_EQ(values, expected);  // "PasswordFlag" is not among them
}

TEST_F(SceneLeavingTest, AnyMouseButtonLeaves) {
  Start();
  headless::MouseButton(3, true, 640, 480);
  Application->ProcessMessages();
  EXPECT_FALSE(Running());
  EXPECT_FALSE(PelloraUnit::State().FirstMoveSeen);  // a press is not a move
}

TEST_F(SceneLeavingTest, WhatIsWrittenBackIsWhatWasReadAtTheStartInItsReducedForm) {
  StoreSetting(PictureName, Hive.Dir() + "/deleted.bmp");
  StoreSetting(BallsCountName, "300");
  StoreSetting(BallsSpeedName, " 7xyz");
  StoreSetting(PasswordName, "at start");
  Start();
  // Another program changes settings while the saver runs; leaving puts back its own.
  StoreSetting(PasswordName, "changed meanwhile");
  StoreSetting(BallsCountName, "12");
  PressKey(VK_ESCAPE);
  ASSERT_FALSE(Running());
  EXPECT_EQ(StoredSetting(PictureName), StandardPicture);
  EXPECT_EQ(StoredSetting(BallsCountName), "44");
  EXPECT_EQ(StoredSetting(BallsSpeedName), "7");
  EXPECT_EQ(StoredSetting(PasswordName), "at start");
  EXPECT_EQ(StoredSetting(PasswordFlagName), "(none)");
}

class OtherPasswordSettingTest : public SceneLeavingTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(OtherPasswordSettingTest, LeavesWithoutAskingForThePassword) {
  UsePasswordSetting(GetParam());
  StoreSetting(PasswordName, "Secret");
  Start();
  EXPECT_EQ(MainForm->UsePassword(), static_cast<int32_t>(GetParam()));
  PressKey(VK_SPACE);
  EXPECT_FALSE(Running());
  EXPECT_EQ(PromptsShown, 0);
  EXPECT_EQ(StoredSetting(PasswordName), "Secret");
}

INSTANTIATE_TEST_SUITE_P(NotOne, OtherPasswordSettingTest, ::testing::Values(0u, 2u, 0xFFFFFFFFu));

TEST_F(SceneLeavingTest, TheRightPasswordLeavesAfterTheFramesRanOnUnseenUnderThePrompt) {
  UsePasswordSetting(1);
  StoreSetting(PasswordName, "Secret");
  StoreSetting(BallsCountName, "300");
  Start();
  AnswerPromptWith("Secret");
  PressKey('A');
  EXPECT_EQ(PromptsShown, 1);
  EXPECT_EQ(FieldWhenPromptShowed, "");  // the key that woke the saver is not typed into it
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_FALSE(SceneWasActiveUnderThePrompt);
  EXPECT_TRUE(PromptInFrontWhenAnswered);
  // The frames went on while the prompt was up, but none of them reached the screen.
  EXPECT_GT(FramesWhenAnswered, FramesWhenPromptShowed);
  EXPECT_FALSE(SameBalls(BallsWhenAnswered, BallsWhenPromptShowed));
  EXPECT_EQ(PresentsWhenAnswered, PresentsWhenPromptShowed);
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(StoredSetting(BallsCountName), "44");
  EXPECT_EQ(StoredSetting(PasswordName), "Secret");
}

TEST_F(SceneLeavingTest, AWrongPasswordGoesBackToTheSaverWhereTwoMovesAreIgnoredAgain) {
  UsePasswordSetting(1);
  StoreSetting(PasswordName, "Secret");
  Start();
  MoveMouse();
  MoveMouse();
  AnswerPromptWith("secret");
  MoveMouse();
  ASSERT_EQ(PromptsShown, 1);
  EXPECT_TRUE(Running());
  EXPECT_FALSE(PelloraUnit::State().FirstMoveSeen || PelloraUnit::State().SecondMoveSeen);
  EXPECT_EQ(StoredSetting(BallsCountName), "(none)");  // nothing written
  // The scene is in front again and its frames reach the screen.
  const int presents = headless::PresentCount(MainForm->Handle());
  for (int i = 0; i < 3; ++i) Idle();
  EXPECT_TRUE(MainForm->Active());
  EXPECT_EQ(headless::PresentCount(MainForm->Handle()), presents + 3);

  MoveMouse();
  MoveMouse();
  EXPECT_EQ(PromptsShown, 1);
  AnswerPromptWith("Secret");
  MoveMouse();
  EXPECT_EQ(PromptsShown, 2);
  EXPECT_FALSE(Running());
  EXPECT_EQ(StoredSetting(BallsCountName), "100");
}

TEST_F(SceneLeavingTest, TheKeysThatAnswerThePromptAreNotTakenForANewKey) {
  UsePasswordSetting(1);
  StoreSetting(PasswordName, "Secret");
  Start();
  AnswerByKeyboard = true;
  AnswerPromptWith("nope");
  PressKey(VK_SPACE);
  EXPECT_EQ(PromptsShown, 1);
  // The keys that answered the prompt do not reach the saver as a new key.
  for (int i = 0; i < 5; ++i) Idle();
  Application->ProcessMessages();
  EXPECT_EQ(PromptsShown, 1);
  EXPECT_TRUE(Running());
  // The prompt comes back with Ok still focused from the last time: click the field.
  AnswerByKeyboard = false;
  AnswerPromptWith("Secret");
  PressKey(VK_SPACE);
  EXPECT_EQ(PromptsShown, 2);
  EXPECT_FALSE(Running());
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(SceneLeavingTest, InputAlreadyOnItsWayWhenThePromptComesUpNeitherAsksAgainNorFails) {
  UsePasswordSetting(1);
  StoreSetting(PasswordName, "Secret");
  Start();
  AnswerPromptWith("Secret");
  // A shaken mouse: many moves and a click reach the saver at once, so all but the first
  // few are still on their way when the third move brings up the prompt.
  for (int i = 0; i < 8; ++i) headless::MouseMove(300 + 5 * i, 300);
  headless::MouseButton(1, true, 350, 300);
  headless::MouseButton(1, false, 350, 300);
  Application->ProcessMessages();
  EXPECT_EQ(PromptsShown, 1);
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_FALSE(Running());
  EXPECT_EQ(StoredSetting(PasswordName), "Secret");
}

TEST_F(SceneLeavingTest, AnotherProgramInFrontPausesTheSaverUnderAPauseCaption) {
  Start();
  EXPECT_EQ(MainForm->Caption(), "Pellora");  // the first activation named it
  headless::ActivateOtherApplication();
  Application->ProcessMessages();
  EXPECT_EQ(MainForm->Caption(), "Pellora [Pause]");
  const TBallTable paused = MainForm->Table();
  const int frames = MainForm->FrameCount();
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);  // nothing left to tick
  for (int i = 0; i < 5; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), frames);
  EXPECT_TRUE(SameBalls(paused, MainForm->Table()));

  headless::ActivateWindow(MainForm->Handle());
  Application->ProcessMessages();
  EXPECT_EQ(MainForm->Caption(), "Pellora");
  const int presents = headless::PresentCount(MainForm->Handle());
  for (int i = 0; i < 5; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), frames + 5);
  EXPECT_GE(headless::PresentCount(MainForm->Handle()), presents + 5);
  EXPECT_TRUE(Running());
}

}  // namespace
