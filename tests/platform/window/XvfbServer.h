#pragma once
// An X server of our own (Xvfb) for the length of one test.
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

class Xvfb {
 public:
  bool Start(const char* screen = "1024x768x24") {
    for (int n = 90 + static_cast<int>(getpid() % 50); n < 200; ++n) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      struct stat st;
      if (stat(socket.c_str(), &st) == 0 || stat(lock.c_str(), &st) == 0) continue;
      display_ = ":" + std::to_string(n);
      const char* argv[] = {"Xvfb", display_.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset", nullptr};
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
      const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
      posix_spawn_file_actions_destroy(&actions);
      if (rc != 0) return false;
      for (int i = 0; i < 100; ++i) {
        if (stat(socket.c_str(), &st) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      Stop();
      return false;
    }
    return false;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  ~Xvfb() { Stop(); }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
