#pragma once
// A fresh, empty hive for each test: XDG_CONFIG_HOME points at a new scratch folder for
// the test's lifetime, and raw helpers reach values without the classes under test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"

class TempHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    char scratch[] = "/tmp/pellora-settings-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    folder_ = scratch;
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  }

  void TearDown() override {
    if (hadOld_) {
      setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  const std::string& Folder() const { return folder_; }

  struct RawValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  static RawValue ReadRaw(const std::string& keyPath, const std::string& name) {
    RawValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
      value.data.resize(size);
      value.status = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
    }
    RegCloseKey(key);
    return value;
  }

  static void WriteRaw(const std::string& keyPath, const std::string& name, DWORD type, const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << RegLastErrorText();
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS)
        << RegLastErrorText();
    RegCloseKey(key);
  }

  static void WriteRawText(const std::string& keyPath, const std::string& name, const std::string& bytes,
                           DWORD type = REG_SZ) {
    WriteRaw(keyPath, name, type, std::vector<BYTE>(bytes.begin(), bytes.end()));
  }

  static bool KeyExists(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

 private:
  std::string folder_;
  std::string old_;
  bool hadOld_ = false;
};

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
