// Settings the saver cannot use: each gives its message, nothing crashes, and what the
// person stored is not lost.
#include <cstdio>
#include <filesystem>

#include "SceneFixture.h"
#include "settings/Settings.h"

namespace {

std::string Stored(const std::string& text) { return text + std::string(1, '\0'); }

void PressKey() {
  headless::KeyPress(VK_SPACE);
  Application->ProcessMessages();
}

}  // namespace

class SceneBadSettingsTest : public SceneTest {
 protected:
  std::string StorePicture(const std::string& name, const std::string& bytes) {
    const std::string path = Hive.Dir() + "/" + name;
    WriteWholeFile(path, bytes);
    WriteRawText(SettingsKeyPath, PictureName, Stored(path));
    return path;
  }
};

// The count is read before the password; the stored password must not be replaced by the
// empty one the scene never got to read, nor the count by a 0 it never read either.
TEST_F(SceneBadSettingsTest, BallsCountStoredAsANumberIsReportedAndLeavingKeepsWhatItNeverRead) {
  WriteRaw(SettingsKeyPath, BallsCountName, REG_DWORD, {44, 0, 0, 0});
  WriteRawText(SettingsKeyPath, PasswordName, Stored("hush"));
  StartSaver();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Invalid data type for 'BallsCount'");
  EXPECT_TRUE(MainForm->Visible());
  EXPECT_NE(MainForm->BorderStyle(), bsNone) << "the full-screen switch comes later and is skipped";
  for (int i = 0; i < 3; ++i) Idle();

  PressKey();
  EXPECT_TRUE(Application->Terminated());
  const RawValue count = ReadRaw(SettingsKeyPath, BallsCountName);
  EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(count.data, (std::vector<BYTE>{44, 0, 0, 0}));
  const RawValue password = ReadRaw(SettingsKeyPath, PasswordName);
  EXPECT_EQ(std::string(password.data.begin(), password.data.end()), Stored("hush"));
}

// No fallback to the built-in ball: the rest of the set-up is skipped, and the path the
// person chose is what goes back to the store.
TEST_F(SceneBadSettingsTest, APictureFileThatIsNoPictureIsReportedAndTheRestOfTheSetUpSkipped) {
  const std::string path = StorePicture("notes.bmp", "These are my notes, not a picture.\n");
  StartSaver();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Bitmap image is not valid (not a bitmap file)");
  EXPECT_TRUE(MainForm->Visible());
  EXPECT_EQ(MainForm->RadiusX(), 0);
  EXPECT_NE(MainForm->BorderStyle(), bsNone);
  for (const TBall& b : MainForm->Table().Balls) EXPECT_EQ(b.X, 0);
  for (int i = 0; i < 3; ++i) Idle();

  PressKey();
  EXPECT_TRUE(Application->Terminated());
  const RawValue picture = ReadRaw(SettingsKeyPath, PictureName);
  EXPECT_EQ(std::string(picture.data.begin(), picture.data.end()), Stored(path));
}

// A hive that cannot be opened at leaving (here a folder has taken its place): the store's
// message, the saver runs on, and the next key, once the hive is back, leaves.
TEST_F(SceneBadSettingsTest, AHiveThatCannotBeWrittenAtLeavingIsReportedAndTheNextKeyTriesAgain) {
  WriteRawText(SettingsKeyPath, BallsCountName, Stored("300"));
  StartSaver();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  for (int i = 0; i < 3; ++i) Idle();

  const std::string away = Hive.File() + ".away";
  ASSERT_EQ(std::rename(Hive.File().c_str(), away.c_str()), 0);
  std::filesystem::create_directory(Hive.File());
  PressKey();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].rfind("Failed to create key ", 0), 0u) << Errors[0];
  EXPECT_NE(Errors[0].find("is not a file"), std::string::npos) << Errors[0];
  EXPECT_FALSE(Application->Terminated());
  EXPECT_TRUE(MainForm->Visible());
  const int framesBefore = headless::PresentCount(MainForm->Handle());
  for (int i = 0; i < 3; ++i) Idle();
  EXPECT_GT(headless::PresentCount(MainForm->Handle()), framesBefore) << "the saver runs on";

  std::filesystem::remove(Hive.File());
  ASSERT_EQ(std::rename(away.c_str(), Hive.File().c_str()), 0);
  PressKey();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(Application->Terminated());
  const RawValue count = ReadRaw(SettingsKeyPath, BallsCountName);
  EXPECT_EQ(std::string(count.data.begin(), count.data.end()), Stored("44"));
}
