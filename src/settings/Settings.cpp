#include "settings/Settings.h"

#include <filesystem>
#include <system_error>

#include "runtime/SysUtils.h"

uint8_t ReduceToByte(int32_t value) { return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu); }

uint8_t ParseSettingByte(const std::string& text) {
  int stoppedAt = 0;
  return ReduceToByte(Val(text, &stoppedAt));
}

std::string WithTerminatingZero(const std::string& text) { return text + std::string(1, '\0'); }

void WriteSettingText(TRegIniFile& settings, const std::string& name, const std::string& text) {
  settings.WriteString(SettingsSection, name, WithTerminatingZero(text));
}

std::string ReadSettingText(TRegIniFile& settings, const std::string& name, const std::string& defaultValue) {
  return settings.ReadString(SettingsSection, name, defaultValue);
}

bool NamesExistingPicture(const std::string& path) {
  if (path == StandardPicture || path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}
