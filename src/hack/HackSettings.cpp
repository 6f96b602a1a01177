#include "hack/HackSettings.h"

#include <filesystem>
#include <system_error>

#include "settings/Registry.h"
#include "settings/Settings.h"

namespace {

THackSettings Defaults() {
  return THackSettings{DefaultPicture, ParseSettingByte(DefaultBallsCount), ParseSettingByte(DefaultBallsSpeed)};
}

std::string ReadOr(TRegistry& key, const char* name, const char* defaultValue) {
  return key.ValueExists(name) ? key.ReadString(name) : std::string(defaultValue);
}

}  // namespace

THackSettings ReadHackSettings(std::string& note) {
  THackSettings settings = Defaults();
  // Any registry call opens the hive, and opening makes one where there is none.
  std::error_code ignored;
  if (!std::filesystem::exists(RegHivePath(), ignored)) return settings;
  const std::string unreadable = "the saved settings cannot be read (";
  // A hive without the key is the usual case before the Options dialog was ever used; any
  // other failure to open it is worth a line.
  HKEY probe = nullptr;
  const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &probe);
  if (status == ERROR_FILE_NOT_FOUND) return settings;
  if (status != ERROR_SUCCESS) {
    note = unreadable + RegLastErrorText() + "); the defaults are used";
    return settings;
  }
  RegCloseKey(probe);
  try {
    TRegistry key;
    key.SetAccess(KEY_READ);
    if (!key.OpenKey(SettingsKeyPath, false)) {
      note = unreadable + RegLastErrorText() + "); the defaults are used";
      return settings;
    }
    settings.Picture = ReadOr(key, PictureName, DefaultPicture);
    settings.BallCount = ParseSettingByte(ReadOr(key, BallsCountName, DefaultBallsCount));
    settings.MaxSpeed = ParseSettingByte(ReadOr(key, BallsSpeedName, DefaultBallsSpeed));
  } catch (const Exception& e) {
    note = unreadable + e.Message() + "); the defaults are used";
    return Defaults();
  }
  return settings;
}
