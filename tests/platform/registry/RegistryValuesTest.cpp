#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "support/TempHive.h"

namespace {

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Korvent_Programs\\Pellora", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, &disposition),
              ERROR_SUCCESS)
        << RegLastErrorText();
    ASSERT_EQ(disposition, REG_CREATED_NEW_KEY);
  }
  void TearDown() override {
    if (key_) RegCloseKey(key_);
  }

  LSTATUS Set(const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  }
  // The stored bytes, read with a buffer of exactly the reported size.
  std::string Get(const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key_, name, nullptr, type, nullptr, &size), ERROR_SUCCESS) << RegLastErrorText();
    std::string bytes(size, '\xEE');
    EXPECT_EQ(RegQueryValueExA(key_, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size), ERROR_SUCCESS);
    bytes.resize(size);
    return bytes;
  }

  TempHive hive_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryValues, EachTypeComesBackWithItsExactBytes) {
  const std::string text("6\0", 2);
  const std::string noTerminator = "abc";
  const std::string expand("%HOME%\\x\0", 9);
  const std::string binary("\x00\xFF\x10\x00\x80", 5);
  const std::string dword("\x0A\x00\x00\x00", 4);
  const std::string multi("a\0bc\0\0", 6);
  const std::string odd = "\x01\x02\x03";
  ASSERT_EQ(Set("BallsSpeed", REG_SZ, text), ERROR_SUCCESS);
  ASSERT_EQ(Set("Raw", REG_SZ, noTerminator), ERROR_SUCCESS);
  ASSERT_EQ(Set("Expand", REG_EXPAND_SZ, expand), ERROR_SUCCESS);
  ASSERT_EQ(Set("Bin", REG_BINARY, binary), ERROR_SUCCESS);
  ASSERT_EQ(Set("Count", REG_DWORD, dword), ERROR_SUCCESS);
  ASSERT_EQ(Set("Multi", REG_MULTI_SZ, multi), ERROR_SUCCESS);
  ASSERT_EQ(Set("Strange", 0x12345678, odd), ERROR_SUCCESS);
  ASSERT_EQ(Set("Empty", REG_BINARY, ""), ERROR_SUCCESS);

  DWORD type = 0;
  EXPECT_EQ(Get("BallsSpeed", &type), text);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Get("Raw", &type), noTerminator);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Get("Expand", &type), expand);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(Get("Bin", &type), binary);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Get("Count", &type), dword);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Get("Multi", &type), multi);
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(Get("Strange", &type), odd);
  EXPECT_EQ(type, 0x12345678u);
  EXPECT_EQ(Get("Empty", &type), "");
  EXPECT_EQ(type, REG_BINARY);
}

TEST_F(RegistryValues, SizeQueriesAndShortBuffers) {
  ASSERT_EQ(Set("Picture", REG_SZ, std::string("\"Standart\"\0", 11)), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key_, "Picture", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 11u);
  // The type alone, with neither buffer nor size.
  type = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Picture", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);

  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key_, "Picture", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 11u);

  BYTE big[32];
  std::memset(big, 0xEE, sizeof big);
  size = sizeof big;
  ASSERT_EQ(RegQueryValueExA(key_, "Picture", nullptr, &type, big, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(big), 11), std::string("\"Standart\"\0", 11));
  EXPECT_EQ(big[11], 0xEE) << "bytes past the value must be left alone";

  EXPECT_EQ(RegQueryValueExA(key_, "Picture", nullptr, &type, big, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Picture", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key_, "Bad", 0, REG_BINARY, nullptr, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key_, "NoData", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
}

TEST_F(RegistryValues, ADwordIntoAFourByteBufferAsTheDesktopReaderDoes) {
  ASSERT_EQ(Set("Eight", REG_BINARY, std::string(8, 'x')), ERROR_SUCCESS);
  ASSERT_EQ(Set("Four", REG_DWORD, std::string("\x01\x00\x00\x00", 4)), ERROR_SUCCESS);
  int32_t value = 0;
  DWORD type = 0, size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(key_, "Four", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(type, REG_DWORD);
  size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(key_, "Eight", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
}

TEST_F(RegistryValues, MissingValuesAndTheDefaultValue) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(RegLastErrorText().find("Nothing"), std::string::npos) << RegLastErrorText();
  EXPECT_EQ(RegDeleteValueA(key_, "Nothing"), ERROR_FILE_NOT_FOUND);
  // The default value is absent until set, and null and "" both name it.
  EXPECT_EQ(RegQueryValueExA(key_, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Set("", REG_SZ, std::string("d\0", 2)), ERROR_SUCCESS);
  EXPECT_EQ(Get(nullptr), std::string("d\0", 2));
  ASSERT_EQ(RegDeleteValueA(key_, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, NamesIgnoreCaseButKeepTheFirstSpelling) {
  ASSERT_EQ(Set("BallsCount", REG_SZ, std::string("100\0", 4)), ERROR_SUCCESS);
  ASSERT_EQ(Set("Second", REG_DWORD, std::string(4, '\0')), ERROR_SUCCESS);
  ASSERT_EQ(Set("BALLSCOUNT", REG_SZ, std::string("7\0", 2)), ERROR_SUCCESS);
  EXPECT_EQ(Get("ballscount"), std::string("7\0", 2));

  // One value, still under its first name and still in first place.
  char name[64];
  DWORD nameSize = sizeof name, type = 0;
  BYTE data[16];
  DWORD dataSize = sizeof data;
  ASSERT_EQ(RegEnumValueA(key_, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_STREQ(name, "BallsCount");
  EXPECT_EQ(nameSize, 10u);
  EXPECT_EQ(dataSize, 2u);
  nameSize = sizeof name;
  ASSERT_EQ(RegEnumValueA(key_, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Second");
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  ASSERT_EQ(RegDeleteValueA(key_, "bAlLsCoUnT"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "BallsCount", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, EnumerationWithShortBuffers) {
  ASSERT_EQ(Set("LongName", REG_BINARY, std::string(10, 'z')), ERROR_SUCCESS);
  char name[8];
  DWORD nameSize = sizeof name;  // "LongName" needs 9 with its terminator
  EXPECT_EQ(RegEnumValueA(key_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

  char wide[16];
  BYTE data[4];
  DWORD wideSize = sizeof wide, dataSize = sizeof data, type = 0;
  EXPECT_EQ(RegEnumValueA(key_, 0, wide, &wideSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 10u);
  wideSize = sizeof wide;
  dataSize = 0;
  ASSERT_EQ(RegEnumValueA(key_, 0, wide, &wideSize, nullptr, &type, nullptr, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(dataSize, 10u);
  EXPECT_EQ(type, REG_BINARY);
}

TEST_F(RegistryValues, ReadOnlyHandlesCannotWrite) {
  ASSERT_EQ(Set("Keep", REG_SZ, std::string("x\0", 2)), ERROR_SUCCESS);
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvent_Programs\\Pellora", 0, KEY_READ, &reader), ERROR_SUCCESS);
  const BYTE one[2] = {'1', 0};
  EXPECT_EQ(RegSetValueExA(reader, "Keep", 0, REG_SZ, one, 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "Keep"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeA(reader, nullptr), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(sub, nullptr);
  EXPECT_EQ(Get("Keep"), std::string("x\0", 2));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(reader, "Keep", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);

  // And a handle opened only for writing cannot read.
  HKEY writer = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvent_Programs\\Pellora", 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(writer, "Keep", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegSetValueExA(writer, "Keep", 0, REG_SZ, one, 2), ERROR_SUCCESS);
  RegCloseKey(writer);
  RegCloseKey(reader);
}

}  // namespace
