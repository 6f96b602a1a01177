#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs the built program with its output captured; the hive goes to a scratch folder so
// nothing the program might read or write touches the user's own settings. `environment`
// is put before the command (for example "DISPLAY=:5"); a run that does not end within
// 20 seconds is stopped and counts as killed (-1).
RunResult RunProgram(const std::string& arguments, const std::string& environment = "") {
  const std::string program = std::string(PELLORA_BINARY_DIR) + "/src/pellora";
  if (!std::filesystem::exists(program)) {
    ADD_FAILURE() << program << " is not built; build the pellora target first";
    return {};
  }
  char scratch[] = "/tmp/pellora-shell-XXXXXX";
  if (mkdtemp(scratch) == nullptr) {
    ADD_FAILURE() << "cannot make a scratch folder";
    return {};
  }
  const std::string command = environment + " XDG_CONFIG_HOME='" + std::string(scratch) + "' timeout -s KILL 20 '" + program + "' " +
                              arguments + " 2>&1 </dev/null";
  RunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot start " << command;
    return result;
  }
  char buffer[512];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::filesystem::remove_all(scratch);
  return result;
}

TEST(ProgramTest, UnknownSwitchShowsNothingAndSucceeds) {
  for (const char* arguments : {"/p 1234", "-s", "s", "/", "/P"}) {
    const RunResult result = RunProgram(arguments);
    EXPECT_EQ(result.exitCode, 0) << arguments;
    EXPECT_EQ(result.output, "") << arguments;
  }
}

// A display number that no X server on this machine holds.
std::string UnusedDisplay() {
  for (int n = 150;; ++n) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n), lock = "/tmp/.X" + std::to_string(n) + "-lock";
    if (!std::filesystem::exists(socket) && !std::filesystem::exists(lock)) return ":" + std::to_string(n);
  }
}

// Without a display no mode can show anything: each says so in one line, saying what to
// do, and ends at once with a failure status, instead of hanging on windows it never made.
TEST(ProgramTest, WithoutADisplayEveryModeSaysSoAndFails) {
  const std::string noServer = UnusedDisplay();
  const std::string advice =
      ". Start pellora from a desktop session, or set WAYLAND_DISPLAY to a running Wayland compositor or DISPLAY to a "
      "running X server (for example DISPLAY=:0).\n";
  const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u PELLORA_HEADLESS -u SDL_VIDEODRIVER";
  for (const char* arguments : {"", "/s", "/S", "/c", "/c:1234", "/a", "/A 5678"}) {
    RunResult result = RunProgram(arguments, noDisplay);
    EXPECT_EQ(result.exitCode, 1) << "'" << arguments << "'";
    EXPECT_EQ(result.output, "pellora: neither WAYLAND_DISPLAY nor DISPLAY is set, so there is no display to show windows on" + advice)
        << arguments;

    // A display named that cannot be reached, X or Wayland, said in one line with the same
    // advice. With both named, X's is the last word: a Wayland display that cannot be
    // reached leaves X to try.
    const std::string noWayland = "WAYLAND_DISPLAY=pellora-none-" + noServer.substr(1);
    for (const std::string& display : {"DISPLAY=" + noServer, noWayland, noWayland + " DISPLAY=" + noServer}) {
      result = RunProgram(arguments, noDisplay + " " + display);
      const std::string opened =
          display.find("DISPLAY=:") != std::string::npos
              ? "pellora: The display " + noServer + " cannot be opened"
              : "pellora: The Wayland display pellora-none-" + noServer.substr(1) + " cannot be opened";
      EXPECT_EQ(result.exitCode, 1) << "'" << arguments << "' with " << display;
      EXPECT_EQ(result.output.rfind(opened, 0), 0u) << result.output;
      EXPECT_NE(result.output.find(advice), std::string::npos) << result.output;
      EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }
  }
  // A switch that runs no mode needs no display: it still ends quietly and well.
  const RunResult unknown = RunProgram("/p 1234", noDisplay);
  EXPECT_EQ(unknown.exitCode, 0);
  EXPECT_EQ(unknown.output, "");
}

}  // namespace
