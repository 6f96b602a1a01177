// Settings the saver cannot use: each gives its message, nothing crashes, and what the
// person stored is not lost.
#include <cstdio>
#include <filesystem>

#include "SceneFixture.h"
#include "settings/Settings.h"

namespace {

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

// An 8-bit bitmap file of a blue square, or only its headers and colour table.
std::string BlueSquareFile(int32_t width, int32_t height, bool withPixels = true) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) + 3) & ~3u;
  const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
  const uint32_t offset = 14 + 40 + 256 * 4;
  std::string file = "BM";
  Put32(file, offset + pixelBytes);
  Put32(file, 0);
  Put32(file, offset);
  Put32(file, 40);
  Put32(file, static_cast<uint32_t>(width));
  Put32(file, static_cast<uint32_t>(height));
  Put16(file, 1);
  Put16(file, 8);
  Put32(file, 0);
  Put32(file, pixelBytes);
  Put32(file, 2835);
  Put32(file, 2835);
  Put32(file, 256);
  Put32(file, 256);
  Put32(file, 0x00FF0000 >> 16);  // entry 0: blue (blue, green, red, reserved)
  for (int i = 1; i < 256; ++i) Put32(file, 0);
  if (withPixels) file.append(pixelBytes, '\0');
  return file;
}

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

// The file holds only headers: had its pixels been asked for, the loader would have
// answered a read error instead, or set 100 MB aside for them.
TEST_F(SceneBadSettingsTest, APictureLargerThanAnyBallIsRefusedFromItsHeadersAlone) {
  StorePicture("huge.bmp", BlueSquareFile(10000, 10000, false));
  StartSaver();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Picture too large for a ball (10000x10000; at most 1024x1024)");
  EXPECT_EQ(MainForm->ImageList->Items()->Items(0)->Picture()->Width(), 47) << "the built-in ball stays";
  EXPECT_EQ(MainForm->RadiusX(), 0);
  Application->Terminate();
}

TEST_F(SceneBadSettingsTest, TooTallIsTooLargeTooWhateverTheWidth) {
  StorePicture("tall.bmp", BlueSquareFile(3, 1025));
  StartSaver();
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Picture too large for a ball (3x1025; at most 1024x1024)");
  Application->Terminate();
}

// The largest ball allowed is larger than the screen: it cannot be placed inside it, lands
// far away, and the first step brings every ball back to the middle. Frames go on.
TEST_F(SceneBadSettingsTest, TheLargestBallAllowedIsLargerThanTheScreenAndStillRuns) {
  StorePicture("large.bmp", BlueSquareFile(1024, 1024));
  StartSaver();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(MainForm->RadiusX(), 512);
  EXPECT_EQ(MainForm->RadiusY(), 512);
  for (int i = 0; i < 3; ++i) Idle();
  EXPECT_EQ(MainForm->FrameCount(), 3);
  for (int i = 0; i < 100; ++i) {
    const TBall& b = MainForm->Table().Balls[static_cast<size_t>(i)];
    EXPECT_LT(std::abs(b.X - 400), 20) << "ball " << i;
    EXPECT_LT(std::abs(b.Y - 300), 20) << "ball " << i;
  }
  const WindowPixels screen = Screen();
  EXPECT_EQ(screen.At(400, 300), 0x0000FFu) << "the square covers the middle";
  PressKey();
  EXPECT_TRUE(Application->Terminated());
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
