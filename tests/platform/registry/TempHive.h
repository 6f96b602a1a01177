#pragma once
// A private hive for one test: XDG_CONFIG_HOME points into a fresh temporary folder for the
// life of the object, and the folder is removed afterwards.
#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

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
