#pragma once
// A private hive for a test: XDG_CONFIG_HOME points into a fresh temporary folder for the
// life of the object, and the folder is removed afterwards. With it, helpers that reach
// values and files without the classes under test.
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"

class TempHive {
 public:
  TempHive() {
    char pattern[] = "/tmp/pellora-hive-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir_ = made ? made : "";
    const char* previous = getenv("XDG_CONFIG_HOME");
    if (previous) previous_ = previous;
    Activate();
  }
  ~TempHive() {
    if (previous_) {
      setenv("XDG_CONFIG_HOME", previous_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    // Tests take rights away from folders; give them back so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(dir_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      chmod(it->path().c_str(), 0700);
    }
    chmod(dir_.c_str(), 0700);
    std::filesystem::remove_all(dir_, ignored);
  }
  TempHive(const TempHive&) = delete;
  TempHive& operator=(const TempHive&) = delete;

  void Activate() const { setenv("XDG_CONFIG_HOME", dir_.c_str(), 1); }
  const std::string& Dir() const { return dir_; }
  std::string Folder() const { return dir_ + "/pellora"; }
  std::string File() const { return dir_ + "/pellora/hive.db"; }

 private:
  std::string dir_;
  std::optional<std::string> previous_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs `body` in a child process without root's rights (as "nobody" when the tests run as
// root, so permission checks mean something) and answers its exit status, or -1.
inline int RunUnprivileged(const std::string& ownedTree, const std::function<int()>& body) {
  constexpr uid_t kNobody = 65534;
  if (geteuid() == 0) {
    std::error_code ignored;
    if (chown(ownedTree.c_str(), kNobody, kNobody) != 0) return -1;
    for (auto it = std::filesystem::recursive_directory_iterator(ownedTree, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (lchown(it->path().c_str(), kNobody, kNobody) != 0) return -1;
    }
  }
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A value as stored, read without the classes under test.
struct RawValue {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

inline RawValue ReadRaw(const std::string& keyPath, const std::string& name) {
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

inline void WriteRaw(const std::string& keyPath, const std::string& name, DWORD type, const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << RegLastErrorText();
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS)
      << RegLastErrorText();
  RegCloseKey(key);
}

inline void WriteRawText(const std::string& keyPath, const std::string& name, const std::string& bytes,
                         DWORD type = REG_SZ) {
  WriteRaw(keyPath, name, type, std::vector<BYTE>(bytes.begin(), bytes.end()));
}

inline bool KeyExists(const std::string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A fresh, empty hive for each test of a fixture.
class TempHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_.emplace();
    ASSERT_FALSE(hive_->Dir().empty()) << "no temporary folder for the hive";
  }
  void TearDown() override { hive_.reset(); }
  const std::string& Folder() const { return hive_->Dir(); }

 private:
  std::optional<TempHive> hive_;
};
