#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "support/TempHive.h"

namespace {

HKEY Create(HKEY parent, const char* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition), ERROR_SUCCESS)
      << path << ": " << RegLastErrorText();
  return key;
}

LSTATUS Open(HKEY parent, const char* path, HKEY* key, REGSAM access = KEY_ALL_ACCESS) {
  return RegOpenKeyExA(parent, path, 0, access, key);
}

std::vector<std::string> Subkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD size = sizeof name;
    const LSTATUS rc = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS) << RegLastErrorText();
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

void SetDword(HKEY key, const char* name, DWORD value) {
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value), ERROR_SUCCESS);
}

TEST(RegistryKeys, CreateMakesParentsAndReportsWhatItDid) {
  TempHive hive;
  DWORD disposition = 0;
  HKEY deep = Create(HKEY_CURRENT_USER, "Software\\Korvent_Programs\\Pellora", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE\\korvent_programs\\PELLORA", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  HKEY software = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software", &software), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(software), std::vector<std::string>{"Korvent_Programs"});

  // Both handles name the same key.
  SetDword(deep, "Shared", 7);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(again, "shared", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  // An empty subkey path gives another handle to the key itself.
  HKEY self = Create(deep, "", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(RegQueryValueExA(self, "Shared", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  for (HKEY key : {deep, again, software, self}) EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(RegistryKeys, OpenFailsForMissingKeysAndBadPaths) {
  TempHive hive;
  HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(1));
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Nowhere", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_NE(RegLastErrorText().find("Nowhere"), std::string::npos) << RegLastErrorText();

  HKEY made = Create(HKEY_CURRENT_USER, "A\\B");
  RegCloseKey(made);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\A", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "A\\\\B", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "X\\\\Y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "X", &key), ERROR_FILE_NOT_FOUND) << "a refused path must create nothing";
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  // One trailing backslash is taken as the key before it.
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "A\\B\\", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "A", nullptr), ERROR_INVALID_PARAMETER);
}

TEST(RegistryKeys, SubkeysEnumerateSortedWithTheirOwnSpelling) {
  TempHive hive;
  HKEY root = Create(HKEY_CURRENT_USER, "Root");
  for (const char* name : {"zeta", "Alpha", "beta", "GAMMA"}) RegCloseKey(Create(root, name));
  EXPECT_EQ(Subkeys(root), (std::vector<std::string>{"Alpha", "beta", "GAMMA", "zeta"}));

  char small[5];
  DWORD size = sizeof small;  // "Alpha" needs six bytes
  EXPECT_EQ(RegEnumKeyExA(root, 0, small, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  char name[16], keyClass[8] = "junk";
  DWORD classSize = sizeof keyClass;
  DWORD fileTime[2] = {0, 0};
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(root, 3, name, &size, nullptr, keyClass, &classSize, fileTime), ERROR_SUCCESS);
  EXPECT_STREQ(name, "zeta");
  EXPECT_EQ(classSize, 0u);
  EXPECT_STREQ(keyClass, "");
  // Written after 2020 in 100 ns steps since 1601: the high word is past 0x01D5_0000.
  EXPECT_GT(fileTime[1], 0x01D50000u);
  RegCloseKey(root);
}

TEST(RegistryKeys, DeleteKeyRefusesSubkeysAndDeleteTreeTakesAll) {
  TempHive hive;
  HKEY top = Create(HKEY_CURRENT_USER, "Top\\Middle\\Leaf");
  SetDword(top, "InLeaf", 1);
  RegCloseKey(top);
  HKEY middle = Create(HKEY_CURRENT_USER, "Top\\Middle");
  SetDword(middle, "InMiddle", 2);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Top\\Middle"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "top\\middle\\LEAF"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Top\\Middle\\Leaf"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "the hive's root stays";

  // The tree form without a subkey empties the key but keeps it.
  HKEY leaf = Create(middle, "Again\\Deeper");
  RegCloseKey(leaf);
  ASSERT_EQ(RegDeleteTreeA(middle, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(Subkeys(middle).empty());
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(middle, "InMiddle", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  SetDword(middle, "Back", 3);

  RegCloseKey(Create(HKEY_CURRENT_USER, "Top\\Middle\\One\\Two\\Three"));
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Top"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Top", &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Top"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(middle);
}

TEST(RegistryKeys, HandlesThatAreNotOpenOrWhoseKeyIsGone) {
  TempHive hive;
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0xDEADBEEF));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(bogus, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(nullptr, "x", 0, REG_DWORD, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  HKEY machine = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
  HKEY out = nullptr;
  EXPECT_EQ(Open(machine, "Software", &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

  HKEY closed = Create(HKEY_CURRENT_USER, "Closed");
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(closed, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

  // A handle outlives its key: every use answers "deleted", even once a key of the same
  // name exists again, because that is another key.
  HKEY doomed = Create(HKEY_CURRENT_USER, "Doomed");
  SetDword(doomed, "v", 1);
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Doomed"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(Create(HKEY_CURRENT_USER, "Doomed"));
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(doomed, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_KEY_DELETED);
  char name[16];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(doomed, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
}

TEST(RegistryKeys, HandlesBelongToTheHiveTheyWereOpenedIn) {
  TempHive first;
  HKEY inFirst = Create(HKEY_CURRENT_USER, "Software\\Only\\First");
  SetDword(inFirst, "Mark", 1);
  {
    TempHive second;
    HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Only", &key), ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(inFirst, "Mark", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_NE(RegLastErrorText().find(second.File()), std::string::npos) << RegLastErrorText();
    EXPECT_EQ(RegHivePath(), second.File());
  }
  first.Activate();
  EXPECT_EQ(RegHivePath(), first.File());
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(inFirst, "Mark", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  RegCloseKey(inFirst);
}

}  // namespace
