#include <gtest/gtest.h>

#include <filesystem>

#include "hack/HackSettings.h"
#include "hack/Sprite.h"
#include "settings/Settings.h"
#include "support/BmpFile.h"
#include "support/TempHive.h"

namespace fs = std::filesystem;

namespace {

// Colour channels of a sprite pixel.
int Red(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
int Blue(uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }

}  // namespace

TEST(HackSettings, WithoutAHiveTheDefaultsAreUsedAndNoHiveIsMade) {
  TempHive hive;
  std::string note;
  const THackSettings s = ReadHackSettings(note);
  EXPECT_EQ(s.Picture, StandardPicture);
  EXPECT_EQ(s.BallCount, 100);
  EXPECT_EQ(s.MaxSpeed, 6);
  EXPECT_EQ(note, "");
  EXPECT_FALSE(fs::exists(hive.Folder()));
}

TEST(HackSettings, AHiveWithoutTheSettingsKeyKeepsItsAbsence) {
  TempHive hive;
  ASSERT_TRUE(KeyExists("Control Panel\\Desktop"));  // makes the hive
  std::string note;
  const THackSettings s = ReadHackSettings(note);
  EXPECT_EQ(s.BallCount, 100);
  EXPECT_EQ(note, "");
  EXPECT_FALSE(KeyExists(SettingsKeyPath));
}

TEST(HackSettings, SavedValuesAreReadAsTheSaverReadsThemAndLeftAsTheyWere) {
  TempHive hive;
  WriteRawText(SettingsKeyPath, BallsCountName, std::string("300") + '\0');  // 300 mod 256
  WriteRawText(SettingsKeyPath, BallsSpeedName, std::string("9") + '\0');
  WriteRawText(SettingsKeyPath, PictureName, std::string("/nowhere/ball.bmp") + '\0');
  const std::string before = ReadWholeFile(hive.File());
  std::string note;
  const THackSettings s = ReadHackSettings(note);
  EXPECT_EQ(s.BallCount, 44);
  EXPECT_EQ(s.MaxSpeed, 9);
  EXPECT_EQ(s.Picture, "/nowhere/ball.bmp");
  EXPECT_EQ(note, "");
  EXPECT_EQ(ReadRaw(SettingsKeyPath, BallsCountName).data, std::vector<BYTE>({'3', '0', '0', 0}));
  EXPECT_EQ(ReadWholeFile(hive.File()), before);
}

TEST(HackSettings, AHiveThatIsNotOneGivesTheDefaultsWithTheReason) {
  TempHive hive;
  fs::create_directories(hive.Folder());
  WriteWholeFile(hive.File(), "this is no database, only text that a person left here by mistake");
  std::string note;
  const THackSettings s = ReadHackSettings(note);
  EXPECT_EQ(s.BallCount, 100);
  EXPECT_NE(note.find("the saved settings cannot be read ("), std::string::npos) << note;
  EXPECT_EQ(ReadWholeFile(hive.File()), "this is no database, only text that a person left here by mistake");
}

TEST(HackBall, TheBuiltInBallIsTheSaversBlueSphereOnTransparentBlack) {
  const TSprite ball = BuiltInBall();
  ASSERT_EQ(ball.Width, 47);
  ASSERT_EQ(ball.Height, 47);
  EXPECT_EQ(ball.At(0, 0), 0u);
  EXPECT_EQ(ball.At(46, 46), 0u);
  const uint32_t middle = ball.At(30, 30);
  EXPECT_GT(Blue(middle), 2 * Red(middle)) << std::hex << middle;
}

TEST(HackBall, AChosenPictureIsUsedAndAMissingOrBrokenOneGivesTheBuiltInBall) {
  TempHive hive;  // a scratch folder
  std::string note;
  // The ball in the device-independent bitmap file form, which the file's extension selects.
  const TSprite chosen = LoadBall(PELLORA_SOURCE_DIR "/tests/data/dib/ball-file.dib", note);
  EXPECT_EQ(note, "");
  ASSERT_GT(chosen.Width, 0);
  EXPECT_EQ(chosen.At(0, 0), 0u);

  const TSprite missing = LoadBall((fs::path(hive.Dir()) / "gone.bmp").string(), note);
  EXPECT_EQ(note, "");  // as the saver: a vanished file quietly means the built-in ball
  EXPECT_EQ(missing.Width, 47);

  const fs::path broken = fs::path(hive.Dir()) / "broken.bmp";
  WriteWholeFile(broken.string(), "BM but nothing after it");
  const TSprite fallback = LoadBall(broken.string(), note);
  EXPECT_EQ(fallback.Width, 47);
  EXPECT_NE(note.find("the picture '" + broken.string() + "' cannot be used ("), std::string::npos) << note;
  EXPECT_NE(note.find("the built-in ball is drawn instead"), std::string::npos) << note;

  // The saver's bound on a ball's size holds here too: no 300 MB picture for a ball.
  const fs::path wide = fs::path(hive.Dir()) / "wide.bmp";
  WriteBmpFile(wide, 1025, 1, 255, 0, 0);
  note.clear();
  const TSprite refused = LoadBall(wide.string(), note);
  EXPECT_EQ(refused.Width, 47);
  EXPECT_NE(note.find("Picture too large for a ball (1025x1; at most 1024x1024)"), std::string::npos) << note;
}
