#include "scene/SceneSettings.h"

#include <filesystem>
#include <system_error>

#include "settings/Registry.h"

namespace {

constexpr const char* SOpenFailed = "Failed to open key %s";

ERegistryException OpenFailed() {
  std::string message = Format(SOpenFailed, {std::string(SettingsKeyPath)});
  if (const std::string why = RegLastErrorText(); !why.empty()) message += ". " + why;
  return ERegistryException(message);
}

// Opens the settings key for reading; false when there is nothing saved to read.
bool OpenSettings(TRegistry& key) {
  // Any registry call opens the hive, and opening makes one where there is none.
  std::error_code ignored;
  if (!std::filesystem::exists(RegHivePath(), ignored)) return false;
  // A hive without the key is the usual case before the Options dialog was ever used; any
  // other failure to open it is the store's to tell.
  HKEY probe = nullptr;
  const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath, 0, KEY_READ, &probe);
  if (status == ERROR_FILE_NOT_FOUND) return false;
  if (status != ERROR_SUCCESS) throw OpenFailed();
  RegCloseKey(probe);
  key.SetAccess(KEY_READ);
  if (!key.OpenKey(SettingsKeyPath, false)) throw OpenFailed();
  return true;
}

std::string ReadOr(TRegistry& key, const char* name, const char* defaultValue) {
  return key.ValueExists(name) ? key.ReadString(name) : std::string(defaultValue);
}

}  // namespace

TSceneSettings ReadSceneSettings() {
  TSceneSettings settings;
  TRegistry key;
  if (!OpenSettings(key)) return settings;
  settings.Picture = ReadOr(key, PictureName, DefaultPicture);
  settings.BallCount = ParseSettingByte(ReadOr(key, BallsCountName, DefaultBallsCount));
  settings.MaxSpeed = ParseSettingByte(ReadOr(key, BallsSpeedName, DefaultBallsSpeed));
  return settings;
}

std::string ReadStoredPassword() {
  TRegistry key;
  return OpenSettings(key) ? ReadOr(key, PasswordName, DefaultPassword) : std::string(DefaultPassword);
}
