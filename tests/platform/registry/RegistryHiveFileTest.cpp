#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/registry/Registry.h"
#include "support/TempHive.h"

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// Any call that has to reach the hive.
LSTATUS Touch() {
  HKEY key = nullptr;
  const LSTATUS rc = RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  return rc;
}

// Makes the library let go of the current hive file, as a finished process would.
void LeaveHive() {
  TempHive elsewhere;
  ASSERT_EQ(Touch(), ERROR_SUCCESS) << RegLastErrorText();
}

void MakeSqliteFile(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(RegistryHiveFile, ANewHiveIsPrivateAndHoldsTheDesktopDefault) {
  TempHive hive;
  // Below a config folder that does not exist yet, and with a umask that would give
  // everything away: the library must set the rights itself.
  const std::string config = hive.Dir() + "/nested/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const mode_t previous = umask(0);
  HKEY desktop = nullptr;
  const LSTATUS rc = RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &desktop);
  umask(previous);
  ASSERT_EQ(rc, ERROR_SUCCESS) << RegLastErrorText();
  EXPECT_EQ(RegHivePath(), config + "/pellora/hive.db");
  EXPECT_EQ(ModeOf(config + "/pellora/hive.db"), 0600u);
  EXPECT_EQ(ModeOf(config + "/pellora"), 0700u);
  EXPECT_EQ(ModeOf(config), 0700u);

  DWORD type = 0, size = 0;
  int32_t value = -1;
  ASSERT_EQ(RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(RegQueryValueExA(desktop, "screensaveusepassword", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 0);
  RegCloseKey(desktop);

  // The default is a new hive's only: a person's own setting is never put back.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "ScreenSaveUsePassword"), ERROR_SUCCESS);
  RegCloseKey(key);
  LeaveHive();
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST(RegistryHiveFile, ThePathFollowsTheEnvironment) {
  TempHive hive;
  const char* savedHome = getenv("HOME");
  const std::string home = savedHome ? savedHome : "";
  setenv("HOME", "/home/someone", 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegHivePath(), "/home/someone/.config/pellora/hive.db");
  setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(RegHivePath(), "/home/someone/.config/pellora/hive.db");
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(RegHivePath(), "/home/someone/.config/pellora/hive.db");
  setenv("XDG_CONFIG_HOME", "/elsewhere/", 1);
  EXPECT_EQ(RegHivePath(), "/elsewhere/pellora/hive.db");
  if (savedHome) {
    setenv("HOME", home.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
}

struct BadHive {
  const char* what;
  std::function<void(const TempHive&)> make;
  LSTATUS code;
  const char* says;
};

void ExpectRefusedAndUntouched(const TempHive& hive, const BadHive& bad) {
  SCOPED_TRACE(bad.what);
  bad.make(hive);
  const bool isFile = !std::filesystem::is_directory(hive.File());
  const std::string before = isFile ? ReadWholeFile(hive.File()) : "";
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(Touch(), bad.code);
    const std::string text = RegLastErrorText();
    EXPECT_NE(text.find(hive.File()), std::string::npos) << text;
    EXPECT_NE(text.find(bad.says), std::string::npos) << text;
  }
  if (isFile) {
    EXPECT_TRUE(ReadWholeFile(hive.File()) == before) << "the file was changed";
  }
  EXPECT_FALSE(Exists(hive.File() + "-wal"));
  EXPECT_FALSE(Exists(hive.File() + "-journal"));

  // Once the person moves the file away, a new hive takes its place.
  ASSERT_EQ(std::rename(hive.File().c_str(), (hive.File() + ".bad").c_str()), 0);
  EXPECT_EQ(Touch(), ERROR_SUCCESS) << RegLastErrorText();
  if (isFile) {
    EXPECT_TRUE(ReadWholeFile(hive.File() + ".bad") == before) << "the file was changed";
  }
}

TEST(RegistryHiveFile, FilesThatAreNotHivesAreRefusedAndLeftAsTheyAre) {
  const BadHive cases[] = {
      {"garbage",
       [](const TempHive& h) {
         std::string bytes(6000, '\0');
         uint32_t state = 12345;
         for (char& c : bytes) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
         WriteWholeFile(h.File(), bytes);
       },
       ERROR_BADDB, "not a registry hive"},
      {"a few bytes of text", [](const TempHive& h) { WriteWholeFile(h.File(), "hello, world\n"); }, ERROR_BADDB,
       "not a registry hive"},
      {"another program's database",
       [](const TempHive& h) { MakeSqliteFile(h.File(), "CREATE TABLE notes(x TEXT); INSERT INTO notes VALUES('mine');"); },
       ERROR_BADDB, "another kind"},
      {"a hive from a newer version",
       [](const TempHive& h) {
         MakeSqliteFile(h.File(), "PRAGMA application_id=1349276232; PRAGMA user_version=9; CREATE TABLE keys(id);");
       },
       ERROR_BADDB, "newer version"},
      {"a hive without its tables",
       [](const TempHive& h) { MakeSqliteFile(h.File(), "PRAGMA application_id=1349276232; PRAGMA user_version=1; CREATE TABLE other(x);"); },
       ERROR_REGISTRY_CORRUPT, "damaged"},
      {"a folder", [](const TempHive& h) { std::filesystem::create_directory(h.File()); }, ERROR_BADDB, "not a file"},
  };
  for (const BadHive& bad : cases) {
    TempHive hive;
    std::filesystem::create_directory(hive.Folder());
    ExpectRefusedAndUntouched(hive, bad);
  }
}

TEST(RegistryHiveFile, TruncatedHivesAreRefusedAndLeftAsTheyAre) {
  for (const double keep : {0.5, 0.1}) {
    TempHive hive;
    BadHive truncated{"truncated hive",
                      [keep](const TempHive& h) {
                        HKEY key = nullptr;
                        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Filler", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                  &key, nullptr),
                                  ERROR_SUCCESS);
                        const std::string payload(300, 'p');
                        for (int i = 0; i < 200; ++i) {
                          const std::string name = "value" + std::to_string(i);
                          ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(payload.data()),
                                                   static_cast<DWORD>(payload.size())),
                                    ERROR_SUCCESS);
                        }
                        RegCloseKey(key);
                        LeaveHive();
                        ASSERT_FALSE(Exists(h.File() + "-wal")) << "the last connection folds the log into the file";
                        const auto size = std::filesystem::file_size(h.File());
                        std::filesystem::resize_file(h.File(), static_cast<uintmax_t>(static_cast<double>(size) * keep));
                      },
                      ERROR_REGISTRY_CORRUPT, "damaged"};
    ExpectRefusedAndUntouched(hive, truncated);
  }
}

TEST(RegistryHiveFile, HivesThatCannotBeReadOrMadeAreRefused) {
  {
    TempHive hive;
    ASSERT_EQ(Touch(), ERROR_SUCCESS);
    LeaveHive();
    const std::string before = ReadWholeFile(hive.File());
    chmod(hive.File().c_str(), 0);
    const std::string file = hive.File();
    EXPECT_EQ(RunUnprivileged(hive.Dir(),
                              [&file] {
                                if (Touch() != ERROR_ACCESS_DENIED) return 1;
                                const std::string text = RegLastErrorText();
                                if (text.find(file) == std::string::npos || text.find("cannot be read") == std::string::npos) return 2;
                                return 0;
                              }),
              0);
    chmod(hive.File().c_str(), 0600);
    EXPECT_TRUE(ReadWholeFile(hive.File()) == before) << "the file was changed";
  }
  {
    TempHive hive;
    std::filesystem::create_directory(hive.Folder());
    chmod(hive.Folder().c_str(), 0500);
    const std::string file = hive.File();
    EXPECT_EQ(RunUnprivileged(hive.Dir(),
                              [&file] {
                                if (Touch() != ERROR_ACCESS_DENIED) return 1;
                                const std::string text = RegLastErrorText();
                                if (text.find(file) == std::string::npos || text.find("cannot be created") == std::string::npos) return 2;
                                return 0;
                              }),
              0);
    EXPECT_FALSE(Exists(hive.File()));
  }
  {
    TempHive hive;
    chmod(hive.Dir().c_str(), 0500);
    const std::string folder = hive.Folder();
    EXPECT_EQ(RunUnprivileged(hive.Dir(),
                              [&folder] {
                                if (Touch() != ERROR_ACCESS_DENIED) return 1;
                                return RegLastErrorText().find(folder) == std::string::npos ? 2 : 0;
                              }),
              0);
    EXPECT_FALSE(Exists(hive.Folder()));
  }
}

}  // namespace
