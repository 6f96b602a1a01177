#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "runtime/SysUtils.h"
#include "settings/Registry.h"
#include "settings/Settings.h"
#include "support/TempHive.h"

// Runs a statement that must raise ERegistryException with exactly this message.
#define EXPECT_REGISTRY_ERROR(statement, message)                             \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no ERegistryException from " #statement;              \
    } catch (const ERegistryException& e) {                                   \
      EXPECT_EQ(e.Message(), std::string(message));                           \
    } catch (const std::exception& e) {                                       \
      ADD_FAILURE() << "another exception from " #statement ": " << e.what(); \
    }                                                                         \
  } while (false)

namespace {

using Bytes = std::vector<BYTE>;

class SettingsStoreTest : public TempHiveTest {};

// ---- Stored forms and round trips ----

TEST_F(SettingsStoreTest, WrittenTextEndsInExactlyOneZeroByte) {
  {
    TRegIniFile settings(SettingsKeyPath);
    WriteSettingText(settings, BallsSpeedName, "6");
    WriteSettingText(settings, PasswordName, "");
    WriteSettingText(settings, BallsCountName, "100");
    WriteSettingText(settings, PictureName, StandardPicture);
  }
  RawValue speed = ReadRaw(SettingsKeyPath, BallsSpeedName);
  ASSERT_EQ(speed.status, ERROR_SUCCESS);
  EXPECT_EQ(speed.type, REG_SZ);
  EXPECT_EQ(speed.data, (Bytes{0x36, 0x00}));

  RawValue password = ReadRaw(SettingsKeyPath, PasswordName);
  ASSERT_EQ(password.status, ERROR_SUCCESS);
  EXPECT_EQ(password.type, REG_SZ);
  EXPECT_EQ(password.data, (Bytes{0x00}));

  RawValue picture = ReadRaw(SettingsKeyPath, PictureName);
  EXPECT_EQ(picture.data.size(), 11u);  // the 10-character marker and its zero

  TRegIniFile settings(SettingsKeyPath);
  EXPECT_EQ(ReadSettingText(settings, BallsCountName, "x"), "100");
  EXPECT_EQ(ReadSettingText(settings, BallsSpeedName, "x"), "6");
  EXPECT_EQ(ReadSettingText(settings, PasswordName, "x"), "");
  EXPECT_EQ(ReadSettingText(settings, PictureName, "x"), "\"Standart\"");
}

TEST_F(SettingsStoreTest, WriteStringStoresExactlyTheTextGiven) {
  {
    TRegIniFile settings(SettingsKeyPath);
    settings.WriteString("", "Bare", "ab");
    settings.WriteString("", "Empty", "");
  }
  EXPECT_EQ(ReadRaw(SettingsKeyPath, "Bare").data, (Bytes{'a', 'b'}));
  RawValue empty = ReadRaw(SettingsKeyPath, "Empty");
  ASSERT_EQ(empty.status, ERROR_SUCCESS);
  EXPECT_TRUE(empty.data.empty());

  TRegIniFile settings(SettingsKeyPath);
  // Text stored without a zero is taken whole; an empty value is empty, not the default.
  EXPECT_EQ(settings.ReadString("", "Bare", "default"), "ab");
  EXPECT_EQ(settings.ReadString("", "Empty", "default"), "");
}

TEST_F(SettingsStoreTest, ReadTextStopsAtTheFirstZeroByte) {
  WriteRawText(SettingsKeyPath, PictureName, std::string("C:\\a.bmp\0junk\0", 14));
  WriteRawText(SettingsKeyPath, "Expand", std::string("%HOME%\0", 7), REG_EXPAND_SZ);
  TRegIniFile settings(SettingsKeyPath);
  EXPECT_EQ(settings.ReadString("", PictureName, ""), "C:\\a.bmp");
  EXPECT_EQ(settings.ReadString("", "Expand", ""), "%HOME%");
}

TEST_F(SettingsStoreTest, ValueNamesAreFoundWhateverTheirCase) {
  WriteRawText(SettingsKeyPath, "ballscount", std::string("42\0", 3));
  TRegIniFile settings(SettingsKeyPath);
  EXPECT_EQ(ReadSettingText(settings, BallsCountName, DefaultBallsCount), "42");
}

TEST_F(SettingsStoreTest, FirstRunCreatesTheKeyAndGivesDefaults) {
  ASSERT_FALSE(KeyExists(SettingsKeyPath));
  TRegIniFile settings(SettingsKeyPath);
  EXPECT_TRUE(KeyExists(SettingsKeyPath));
  EXPECT_EQ(settings.FileName(), SettingsKeyPath);
  EXPECT_EQ(settings.CurrentPath(), SettingsKeyPath);

  EXPECT_EQ(ReadSettingText(settings, PictureName, DefaultPicture), "\"Standart\"");
  EXPECT_EQ(ParseSettingByte(ReadSettingText(settings, BallsCountName, DefaultBallsCount)), 100);
  EXPECT_EQ(ParseSettingByte(ReadSettingText(settings, BallsSpeedName, DefaultBallsSpeed)), 6);
  EXPECT_EQ(ReadSettingText(settings, PasswordName, DefaultPassword), "");
  // Reading creates no values.
  EXPECT_EQ(ReadRaw(SettingsKeyPath, BallsCountName).status, ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsStoreTest, ReducedNumbersGoBackInTheirReducedForm) {
  WriteRawText(SettingsKeyPath, BallsCountName, std::string("300\0", 4));
  TRegIniFile settings(SettingsKeyPath);
  const uint8_t count = ParseSettingByte(ReadSettingText(settings, BallsCountName, DefaultBallsCount));
  EXPECT_EQ(count, 44);
  WriteSettingText(settings, BallsCountName, IntToStr(count));
  EXPECT_EQ(ReadRaw(SettingsKeyPath, BallsCountName).data, (Bytes{'4', '4', 0}));
}

// ---- Wrong types and failed reads ----

TEST_F(SettingsStoreTest, SettingOfAnotherTypeIsAnError) {
  WriteRaw(SettingsKeyPath, BallsCountName, REG_DWORD, Bytes{100, 0, 0, 0});
  WriteRaw(SettingsKeyPath, BallsSpeedName, REG_BINARY, Bytes{'6', 0});
  TRegIniFile settings(SettingsKeyPath);
  EXPECT_REGISTRY_ERROR(ReadSettingText(settings, BallsCountName, DefaultBallsCount),
                        "Invalid data type for 'BallsCount'");
  EXPECT_REGISTRY_ERROR(ReadSettingText(settings, BallsSpeedName, DefaultBallsSpeed),
                        "Invalid data type for 'BallsSpeed'");
  // The failed read leaves the object usable on its own key.
  WriteSettingText(settings, PasswordName, "pw");
  EXPECT_EQ(ReadSettingText(settings, PasswordName, ""), "pw");
  EXPECT_EQ(ReadRaw(SettingsKeyPath, BallsCountName).data, (Bytes{100, 0, 0, 0}));
}

TEST_F(SettingsStoreTest, SectionsAreSubkeys) {
  TRegIniFile settings(SettingsKeyPath);
  EXPECT_EQ(settings.ReadString("NoSuchSection", BallsCountName, "dflt"), "dflt");
  settings.WriteString("Sub", "V", WithTerminatingZero("x"));
  EXPECT_EQ(ReadRaw(std::string(SettingsKeyPath) + "\\Sub", "V").data, (Bytes{'x', 0}));
  EXPECT_EQ(settings.ReadString("Sub", "V", "dflt"), "x");
  EXPECT_EQ(settings.ReadString("", "V", "dflt"), "dflt");
}

// ---- Failed writes ----

TEST_F(SettingsStoreTest, WriteToADeletedKeyFailsToCreateIt) {
  TRegIniFile settings(SettingsKeyPath);
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Korvent_Programs"), ERROR_SUCCESS) << RegLastErrorText();
  // The section is empty (the key itself), so the message names no key; the hive says why.
  EXPECT_REGISTRY_ERROR(WriteSettingText(settings, BallsCountName, "5"),
                        "Failed to create key . The registry key HKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora has "
                        "been deleted.");
  EXPECT_FALSE(KeyExists(SettingsKeyPath));
  // Reads through the lost key give defaults rather than failing.
  EXPECT_EQ(ReadSettingText(settings, BallsCountName, DefaultBallsCount), "100");
}

TEST_F(SettingsStoreTest, SectionThatCannotBeMadeIsNamed) {
  TRegIniFile settings(SettingsKeyPath);
  const std::string section(300, 'k');
  EXPECT_REGISTRY_ERROR(settings.WriteString(section, "V", std::string(1, '\0')),
                        "Failed to create key " + section + ". A key name in \"" + section + "\" is longer than 255 characters.");
}

TEST_F(SettingsStoreTest, ValueTheHiveRefusesFailsToSetData) {
  TRegIniFile settings(SettingsKeyPath);
  const std::string name(16384, 'n');
  EXPECT_REGISTRY_ERROR(WriteSettingText(settings, name, "1"),
                        "Failed to set data for '" + name + "'. The value name is longer than 16383 characters.");
}

// Without a usable hive the key can be neither opened nor created; the object must not
// come into being as if it had one.
TEST_F(SettingsStoreTest, KeyThatCanNeitherBeOpenedNorCreatedIsAnError) {
  const std::string notAFolder = Folder() + "/file";
  std::ofstream(notAFolder) << "x";
  setenv("XDG_CONFIG_HOME", notAFolder.c_str(), 1);
  const std::string why = ". The registry hive folder \"" + notAFolder + "/pellora\" cannot be created: Not a directory.";
  EXPECT_REGISTRY_ERROR(TRegIniFile settings(SettingsKeyPath), "Failed to create key Software\\Korvent_Programs\\Pellora" + why);
  EXPECT_REGISTRY_ERROR(TRegIniFile settings(std::string(256, 'k')), "Failed to create key " + std::string(256, 'k') + why);
}

// A hive the store cannot use: the store's own text comes first, then the hive's reason,
// and the file is left as it was.
TEST_F(SettingsStoreTest, UnusableHiveIsExplainedAfterTheStoresOwnText) {
  const std::string file = Folder() + "/pellora/hive.db";
  std::filesystem::create_directory(Folder() + "/pellora");
  const std::string garbage(4096, '\x5a');
  std::ofstream(file, std::ios::binary) << garbage;
  EXPECT_REGISTRY_ERROR(TRegIniFile settings(SettingsKeyPath),
                        "Failed to create key Software\\Korvent_Programs\\Pellora. The registry hive \"" + file +
                            "\" is not a registry hive: it is not a database file. It was left as it is; move it away to start "
                            "with a new hive.");
  EXPECT_EQ(std::filesystem::file_size(file), garbage.size());
}

// ---- The desktop value ----

class DesktopValueTest : public TempHiveTest {
 protected:
  int32_t ReadUsePassword() {
    TRegistry desktop;
    desktop.OpenKey(DesktopKeyPath, false);
    return desktop.ReadInteger(UsePasswordName);
  }
};

TEST_F(DesktopValueTest, NewHiveSaysNoPassword) { EXPECT_EQ(ReadUsePassword(), 0); }

TEST_F(DesktopValueTest, ReadsFourBytesAsASignedNumber) {
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD, Bytes{1, 0, 0, 0});
  EXPECT_EQ(ReadUsePassword(), 1);
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD, Bytes{0x02, 0x01, 0x00, 0x80});
  EXPECT_EQ(ReadUsePassword(), static_cast<int32_t>(0x80000102u));
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD, Bytes{0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(ReadUsePassword(), -1);
}

TEST_F(DesktopValueTest, MissingValueFailsToGetData) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, DesktopKeyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, UsePasswordName), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_REGISTRY_ERROR(ReadUsePassword(), "Failed to get data for 'ScreenSaveUsePassword'. The value \"ScreenSaveUsePassword\" does not "
                                           "exist in HKEY_CURRENT_USER\\Control Panel\\Desktop.");
}

TEST_F(DesktopValueTest, MissingKeyFailsToGetData) {
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Control Panel"), ERROR_SUCCESS);
  TRegistry desktop;
  EXPECT_FALSE(desktop.OpenKey(DesktopKeyPath, false));
  EXPECT_FALSE(KeyExists(DesktopKeyPath));
  // The key never opened; what the hive said about it is the reason given.
  EXPECT_REGISTRY_ERROR(desktop.ReadInteger(UsePasswordName), "Failed to get data for 'ScreenSaveUsePassword'. The registry key "
                                                              "HKEY_CURRENT_USER\\Control Panel\\Desktop does not exist.");
  desktop.CloseKey();
  EXPECT_REGISTRY_ERROR(desktop.ReadInteger(UsePasswordName), "Failed to get data for 'ScreenSaveUsePassword'");
}

TEST_F(DesktopValueTest, TextValueIsTheWrongType) {
  WriteRawText(DesktopKeyPath, UsePasswordName, std::string("1\0", 2));
  EXPECT_REGISTRY_ERROR(ReadUsePassword(), "Invalid data type for 'ScreenSaveUsePassword'");
}

TEST_F(DesktopValueTest, LongerThanFourBytesFailsToGetData) {
  const std::string failed = "Failed to get data for 'ScreenSaveUsePassword'. The value \"ScreenSaveUsePassword\" in "
                             "HKEY_CURRENT_USER\\Control Panel\\Desktop holds ";
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD, Bytes{1, 0, 0, 0, 0});
  EXPECT_REGISTRY_ERROR(ReadUsePassword(), failed + "5 bytes, more than the buffer takes.");
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_BINARY, Bytes{1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_REGISTRY_ERROR(ReadUsePassword(), failed + "8 bytes, more than the buffer takes.");
}

TEST_F(DesktopValueTest, ShortNumberIsTheWrongType) {
  WriteRaw(DesktopKeyPath, UsePasswordName, REG_DWORD, Bytes{1, 0});
  EXPECT_REGISTRY_ERROR(ReadUsePassword(), "Invalid data type for 'ScreenSaveUsePassword'");
}

// ---- The access object itself ----

TEST_F(DesktopValueTest, OpenKeyFollowsRelativeAndRootedPaths) {
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKey("Control Panel", false));
  ASSERT_TRUE(registry.OpenKey("Desktop", false));
  EXPECT_EQ(registry.CurrentPath(), "Control Panel\\Desktop");
  EXPECT_EQ(registry.ReadInteger(UsePasswordName), 0);
  ASSERT_TRUE(registry.OpenKey("", false));
  EXPECT_EQ(registry.CurrentPath(), "Control Panel\\Desktop");
  // A failed open leaves the open key as it was.
  EXPECT_FALSE(registry.OpenKey("Missing", false));
  EXPECT_EQ(registry.CurrentPath(), "Control Panel\\Desktop");
  ASSERT_TRUE(registry.OpenKey("\\Software\\New", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\New");
  EXPECT_TRUE(KeyExists("Software\\New"));
  registry.CloseKey();
  EXPECT_EQ(registry.CurrentKey(), nullptr);
  EXPECT_REGISTRY_ERROR(registry.ReadInteger(UsePasswordName), "Failed to get data for 'ScreenSaveUsePassword'");
}

TEST_F(DesktopValueTest, DataInfoAndKinds) {
  WriteRaw(DesktopKeyPath, "Bin", REG_BINARY, Bytes{1, 2, 3});
  WriteRaw(DesktopKeyPath, "Multi", REG_MULTI_SZ, Bytes{'a', 0, 0});
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKey(DesktopKeyPath, false));
  TRegDataInfo info;
  ASSERT_TRUE(registry.GetDataInfo(UsePasswordName, info));
  EXPECT_EQ(info.RegData, TRegDataType::rdInteger);
  EXPECT_EQ(info.DataSize, 4);
  EXPECT_EQ(registry.GetDataType("Bin"), TRegDataType::rdBinary);
  EXPECT_EQ(registry.GetDataSize("Bin"), 3);
  EXPECT_EQ(registry.GetDataType("Multi"), TRegDataType::rdUnknown);
  EXPECT_FALSE(registry.ValueExists("Nothing"));
  EXPECT_EQ(registry.GetDataSize("Nothing"), -1);
  EXPECT_REGISTRY_ERROR(registry.ReadString("Multi"), "Invalid data type for 'Multi'");

  EXPECT_EQ(DataTypeToRegData(REG_SZ), TRegDataType::rdString);
  EXPECT_EQ(DataTypeToRegData(REG_EXPAND_SZ), TRegDataType::rdExpandString);
  EXPECT_EQ(DataTypeToRegData(REG_DWORD_BIG_ENDIAN), TRegDataType::rdUnknown);
  EXPECT_EQ(DataTypeToRegData(REG_QWORD), TRegDataType::rdUnknown);
  for (TRegDataType kind : {TRegDataType::rdString, TRegDataType::rdExpandString, TRegDataType::rdInteger,
                            TRegDataType::rdBinary}) {
    EXPECT_EQ(DataTypeToRegData(RegDataToDataType(kind)), kind);
  }
}

}  // namespace
