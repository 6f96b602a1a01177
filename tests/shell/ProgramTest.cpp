#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct RunResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs the built program with its output captured; the hive goes to a scratch folder so
// nothing the program might read or write touches the user's own settings.
RunResult RunProgram(const std::string& arguments) {
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
  const std::string command =
      "XDG_CONFIG_HOME='" + std::string(scratch) + "' '" + program + "' " + arguments + " 2>&1 </dev/null";
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

}  // namespace
