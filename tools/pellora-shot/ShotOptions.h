#pragma once
// What pellora-shot was asked to do, read from its command line.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shell/RunSwitch.h"

struct TShotTime {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

struct TShotOptions {
  std::optional<TShotTime> Time;  // none: the machine's time of day now
  int ScreenWidth = 800;
  int ScreenHeight = 600;
  std::set<int64_t> Frames{1};
  bool FramesGiven = false;
  std::string OutDir = ".";
  // The program's own arguments, the mode switch first, as pellora takes them (none: /s),
  // and the mode they select.
  std::vector<std::string> ModeArguments;
  TRunMode Mode = TRunMode::rmSaver;
  bool Help = false;
};

// The largest screen and the highest frame number the tool takes: a frame is kept whole in
// memory, and a frame number beyond this would take days to reach.
inline constexpr int MaxScreenSide = 8192;
inline constexpr int64_t MaxFrame = 100'000'000;
inline constexpr int64_t MaxFrameCount = 10'000;  // files one run may write

// Reads argv[1..]: the tool's options (--name value) and, in their order, the other
// arguments, the mode switch first.
// Answers false with a one-line sentence in Error when something cannot be taken, a
// switch that selects no window among them.
bool ParseShotOptions(int argc, const char* const* argv, TShotOptions& Options, std::string& Error);

// "HH:MM:SS.mmm" (or "HH:MM:SS"); "1,10,1001" and ranges "1-40".
bool ParseShotTime(const std::string& Text, TShotTime& Time);
bool ParseFrameList(const std::string& Text, std::set<int64_t>& Frames);
bool ParseScreen(const std::string& Text, int& Width, int& Height);
