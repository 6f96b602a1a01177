#include "ShotOptions.h"

#include <cctype>

namespace {

// A run of decimal digits of at most maxDigits, read whole: no sign, no spaces, no
// leftovers. The limit keeps the number far from any overflow.
bool ParseDigits(const std::string& Text, size_t maxDigits, int64_t& Value) {
  if (Text.empty() || Text.size() > maxDigits) return false;
  Value = 0;
  for (char c : Text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    Value = Value * 10 + (c - '0');
  }
  return true;
}

bool ParseField(const std::string& Text, size_t digits, int64_t max, int& Value) {
  int64_t v = 0;
  if (Text.size() != digits || !ParseDigits(Text, digits, v) || v > max) return false;
  Value = static_cast<int>(v);
  return true;
}

bool ParseFrame(const std::string& Text, int64_t& Frame) {
  return ParseDigits(Text, 9, Frame) && Frame >= 1 && Frame <= MaxFrame;
}

std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = Text.find(Separator, start);
    parts.push_back(Text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool ParseOption(const std::string& Option, const std::string& Value, TShotOptions& Options, std::string& Error) {
  if (Option == "--time") {
    TShotTime time;
    if (!ParseShotTime(Value, time)) {
      Error = "--time takes the time of day as HH:MM:SS.mmm (00:00:00.000 to 23:59:59.999), not \"" + Value + "\"";
      return false;
    }
    Options.Time = time;
  } else if (Option == "--screen") {
    if (!ParseScreen(Value, Options.ScreenWidth, Options.ScreenHeight)) {
      Error = "--screen takes WIDTHxHEIGHT in pixels, each from 1 to " + std::to_string(MaxScreenSide) +
              " (for example 800x600), not \"" + Value + "\"";
      return false;
    }
  } else if (Option == "--frames") {
    if (!ParseFrameList(Value, Options.Frames)) {
      Error = "--frames takes frame numbers from 1 to " + std::to_string(MaxFrame) + " and ranges of them, at most " +
              std::to_string(MaxFrameCount) + " frames (for example 1,10,20-40), not \"" + Value + "\"";
      return false;
    }
    Options.FramesGiven = true;
  } else {
    if (Value.empty()) {
      Error = "--out needs a folder";
      return false;
    }
    Options.OutDir = Value;
  }
  return true;
}

// The mode that pellora would run for these arguments, found as pellora finds it.
bool SelectMode(TShotOptions& Options, std::string& Error) {
  if (Options.ModeArguments.empty()) Options.ModeArguments.push_back("/s");
  std::vector<const char*> argv{"pellora"};
  for (const std::string& a : Options.ModeArguments) argv.push_back(a.c_str());
  const std::vector<TRunMode> modes = RunModesFor(RunSwitch(static_cast<int>(argv.size()), argv.data()));
  if (modes.empty()) {
    Error = "pellora shows no window for \"" + Options.ModeArguments.front() + "\"; give /s, /c or /a";
    return false;
  }
  Options.Mode = modes.front();
  if (Options.Mode != TRunMode::rmSaver && Options.FramesGiven) {
    Error = "--frames is for the saver (/s); " + Options.ModeArguments.front() + " writes one picture of its dialog";
    return false;
  }
  return true;
}

}  // namespace

bool ParseShotTime(const std::string& Text, TShotTime& Time) {
  const size_t dot = Text.find('.');
  const std::vector<std::string> hms = Split(Text.substr(0, dot), ':');
  TShotTime t;
  if (hms.size() != 3 || !ParseField(hms[0], 2, 23, t.Hour) || !ParseField(hms[1], 2, 59, t.Minute) ||
      !ParseField(hms[2], 2, 59, t.Second)) {
    return false;
  }
  if (dot != std::string::npos && !ParseField(Text.substr(dot + 1), 3, 999, t.Millisecond)) return false;
  Time = t;
  return true;
}

bool ParseFrameList(const std::string& Text, std::set<int64_t>& Frames) {
  std::set<int64_t> frames;
  for (const std::string& item : Split(Text, ',')) {
    const size_t dash = item.find('-');
    int64_t first = 0, last = 0;
    if (dash == std::string::npos) {
      if (!ParseFrame(item, first)) return false;
      last = first;
    } else if (!ParseFrame(item.substr(0, dash), first) || !ParseFrame(item.substr(dash + 1), last) || last < first) {
      return false;
    }
    // Every frame becomes a file; more than a person would look through is a typing slip.
    if (static_cast<int64_t>(frames.size()) + (last - first) >= MaxFrameCount) return false;
    for (int64_t f = first; f <= last; ++f) frames.insert(f);
  }
  Frames = std::move(frames);
  return true;
}

bool ParseScreen(const std::string& Text, int& Width, int& Height) {
  const size_t x = Text.find('x');
  int64_t w = 0, h = 0;
  if (x == std::string::npos || !ParseDigits(Text.substr(0, x), 5, w) || !ParseDigits(Text.substr(x + 1), 5, h)) {
    return false;
  }
  if (w < 1 || h < 1 || w > MaxScreenSide || h > MaxScreenSide) return false;
  Width = static_cast<int>(w);
  Height = static_cast<int>(h);
  return true;
}

bool ParseShotOptions(int argc, const char* const* argv, TShotOptions& Options, std::string& Error) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    // pellora reads nothing after its switch, so the tool's options may stand on either side.
    if (option.rfind("--", 0) != 0) {
      Options.ModeArguments.push_back(option);
      continue;
    }
    if (option == "--help") {
      Options.Help = true;
      return true;
    }
    if (option != "--time" && option != "--screen" && option != "--frames" && option != "--out") {
      Error = "unknown option " + option;
      return false;
    }
    if (i + 1 >= argc) {
      Error = option + " needs a value";
      return false;
    }
    if (!ParseOption(option, argv[++i], Options, Error)) return false;
  }
  return SelectMode(Options, Error);
}
