#include "shell/RunSwitch.h"

#include "runtime/SysUtils.h"

std::string PrepareArgument(std::string argument) {
  argument = UpperCase(argument);
  if (argument.size() > MaxArgumentLength) argument.resize(MaxArgumentLength);
  return argument;
}

std::string RunSwitch(int argc, const char* const* argv) {
  const std::string argument = PrepareArgument(argc > 1 && argv[1] != nullptr ? argv[1] : "");
  return argument.substr(0, 2);
}

std::vector<TRunMode> RunModesFor(const std::string& runSwitch) {
  std::vector<TRunMode> modes;
  if (runSwitch == "/S" || runSwitch.empty()) modes.push_back(TRunMode::rmSaver);
  if (runSwitch == "/C") modes.push_back(TRunMode::rmConfigure);
  if (runSwitch == "/A") modes.push_back(TRunMode::rmSetPassword);
  return modes;
}
