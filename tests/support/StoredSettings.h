#pragma once
// The saver's own settings as the hive holds them, read and written without the classes
// under test.
#include <gtest/gtest.h>

#include <string>

#include "settings/Settings.h"
#include "support/TempHive.h"

// A stored settings text, without its terminating zero; "(none)" when missing.
inline std::string StoredSetting(const std::string& Name) {
  RawValue v = ReadRaw(SettingsKeyPath, Name);
  if (v.status != ERROR_SUCCESS) return "(none)";
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << Name;
  EXPECT_FALSE(v.data.empty()) << Name;
  if (v.data.empty()) return "";
  EXPECT_EQ(v.data.back(), 0) << Name << " is stored without its zero byte";
  return std::string(v.data.begin(), v.data.end() - 1);
}

// Stores a settings text the way the program's writers do, followed by one zero byte.
inline void StoreSetting(const std::string& Name, const std::string& Text) {
  WriteRawText(SettingsKeyPath, Name, Text + std::string(1, '\0'));
}
