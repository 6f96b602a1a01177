// The rules both hosts share that no frame test reaches on its own: the ball's colours as
// the saver's screen shows them, the read-only settings reader, and the unit list's parts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/BallPicture.h"
#include "scene/SceneSettings.h"
#include "scene/SceneUnits.h"
#include "support/TempHive.h"

namespace {

// Each colour reduced to 5-6-5 and widened again (the low bits repeat the top ones); what
// reduces to black is see-through.
TEST(BallAsTheSaverShowsIt, ReducesToTheSaversScreenAndKeysWhatBecomesBlack) {
  struct Case {
    uint32_t loaded, shown;
  };
  const Case cases[] = {
      {0x000000, 0},        {0x070307, 0},        {0x040602, 0x000400}, {0x080408, 0x080408},
      {0x3A7BC5, 0x3979C6}, {0xFFFFFF, 0xFFFFFF}, {0x0000FF, 0x0000FF},
  };
  TSprite picture;
  picture.Width = static_cast<int32_t>(std::size(cases));
  picture.Height = 1;
  for (const Case& c : cases) picture.Rgb.push_back(c.loaded);
  const TSprite shown = BallAsTheSaverShowsIt(picture);
  ASSERT_EQ(shown.Width, picture.Width);
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(shown.Rgb[i], cases[i].shown) << std::hex << cases[i].loaded;
}

// What the hack's tests do not reach: the password, a value the saver cannot read, and
// that reading leaves the hive as it found it.
TEST(SceneSettings, AreReadAsStoredWithoutMakingTheKeyAndAnUnreadableValueRaises) {
  TempHive hive;
  ASSERT_TRUE(KeyExists(DesktopKeyPath));  // makes the hive, without the settings key
  EXPECT_EQ(ReadStoredPassword(), "");
  EXPECT_EQ(ReadSceneSettings().BallCount, 100);
  EXPECT_FALSE(KeyExists(SettingsKeyPath));

  WriteRawText(SettingsKeyPath, PasswordName, std::string("hush") + '\0');
  WriteRawText(SettingsKeyPath, BallsCountName, std::string("-1") + '\0');
  EXPECT_EQ(ReadStoredPassword(), "hush");
  EXPECT_EQ(ReadSceneSettings().BallCount, 255);
  WriteRaw(SettingsKeyPath, BallsSpeedName, REG_DWORD, {9, 0, 0, 0});
  try {
    ReadSceneSettings();
    ADD_FAILURE() << "a speed stored as a number was read";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'BallsSpeed'");
  }
}

std::vector<std::string> gStarts;

TEST(TUnitList, StartsUpToALayerOnceAndTakesDownInReverse) {
  static constexpr TUnit units[] = {
      {TUnitLayer::Runtime, [] { gStarts.push_back("+a"); }, [] { gStarts.push_back("-a"); }},
      {TUnitLayer::Image, [] { gStarts.push_back("+b"); }, nullptr},
      {TUnitLayer::Display, [] { gStarts.push_back("+c"); }, [] { gStarts.push_back("-c"); }},
  };
  TUnitList list(units);
  list.Initialize(TUnitLayer::Runtime);
  list.Initialize(TUnitLayer::Runtime);
  list.Initialize(TUnitLayer::Settings);
  list.Finalize();
  list.Finalize();
  EXPECT_EQ(gStarts, (std::vector<std::string>{"+a", "+b", "+c", "-c", "-a"}));
}

}  // namespace
