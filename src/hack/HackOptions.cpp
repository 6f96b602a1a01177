#include "hack/HackOptions.h"

#include <cstdint>

namespace {

bool AllDigits(const std::string& text, size_t from, bool hex) {
  if (from >= text.size()) return false;
  for (size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    const bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit && !(hex && hexLetter)) return false;
  }
  return true;
}

// A whole number of 1 .. 100 for --count and --max-speed.
bool ParseRange(const std::string& name, const std::string& text, int& value, std::string& error) {
  const std::string range = " must be a whole number from " + std::to_string(HackArgumentLow) + " to " +
                            std::to_string(HackArgumentHigh);
  // Ten digits at most keep the number inside the range of long long before it is checked.
  if (text.size() > 10 || !AllDigits(text, 0, false)) {
    error = name + range + ", not '" + text + "'";
    return false;
  }
  const long long number = std::stoll(text);
  if (number < HackArgumentLow || number > HackArgumentHigh) {
    error = name + range + ", not " + text;
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// "--name", "-name", "--name=value" and "-name=value" all name the same option; answers
// the bare name and whatever followed an '='.
std::string OptionName(const std::string& arg, std::optional<std::string>& inlineValue) {
  size_t start = 0;
  if (arg.rfind("--", 0) == 0) start = 2;
  else if (arg.rfind("-", 0) == 0) start = 1;
  else return std::string();
  const size_t equals = arg.find('=', start);
  if (equals != std::string::npos) inlineValue = arg.substr(equals + 1);
  return arg.substr(start, equals == std::string::npos ? std::string::npos : equals - start);
}

}  // namespace

bool ParseWindowId(const std::string& text, unsigned long& id) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (!AllDigits(text, hex ? 2 : 0, hex)) return false;
  // Leading zeros aside, a 32-bit number has at most 8 hex or 10 decimal digits.
  const size_t first = text.find_first_not_of('0', hex ? 2 : 0);
  if (first == std::string::npos) return false;  // zero is no window
  if (text.size() - first > (hex ? 8u : 10u)) return false;
  const unsigned long long value = std::stoull(text.substr(first), nullptr, hex ? 16 : 10);
  if (value > UINT32_MAX) return false;
  id = static_cast<unsigned long>(value);
  return true;
}

bool ParseHackArguments(std::span<const std::string> args, const char* lockerWindow, THackOptions& options,
                        std::string& error) {
  options = THackOptions{};
  bool root = false;
  bool windowGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string> inlineValue;
    const std::string name = OptionName(arg, inlineValue);
    const bool takesValue = name == "window-id" || name == "count" || name == "max-speed";
    if (!takesValue && inlineValue) {
      error = "--" + name + " takes no value";
      return false;
    }
    std::string value;
    if (takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "--" + name + " needs a value";
        return false;
      }
    }
    if (name == "root") {
      root = true;
    } else if (name == "window-id") {
      if (!ParseWindowId(value, options.WindowId)) {
        error = "--window-id needs a window id in hex (0x...) or decimal, not '" + value + "'";
        return false;
      }
      windowGiven = true;
    } else if (name == "count") {
      int n = 0;
      if (!ParseRange("--count", value, n, error)) return false;
      options.Count = n;
    } else if (name == "max-speed") {
      int n = 0;
      if (!ParseRange("--max-speed", value, n, error)) return false;
      options.MaxSpeed = n;
    } else if (name == "fps") {
      options.ShowFps = true;
    } else if (name == "help" || name == "h") {
      options.Help = true;
    } else {
      error = "unknown argument '" + arg + "'";
      return false;
    }
  }
  if (windowGiven) {
    options.Target = host::TTargetKind::GivenWindow;
  } else if (root) {
    options.Target = host::TTargetKind::RootWindow;
    if (lockerWindow && *lockerWindow) {
      if (!ParseWindowId(lockerWindow, options.WindowId)) {
        error = std::string("XSCREENSAVER_WINDOW must be a window id in hex (0x...) or decimal, not '") +
                lockerWindow + "'";
        return false;
      }
      options.Target = host::TTargetKind::GivenWindow;
    }
  }
  return true;
}

std::string HackUsage() {
  return "usage: pellora [--root | --window-id ID] [--count N] [--max-speed N] [--fps]\n"
         "  --root          draw into $XSCREENSAVER_WINDOW, or the root window without it\n"
         "  --window-id ID  draw into window ID (hex 0x... or decimal); wins over --root\n"
         "                  with neither, a window of its own opens (q or Escape closes it)\n"
         "  --count N       number of balls, 1 to 100 (default: the saved setting)\n"
         "  --max-speed N   top start speed, 1 to 100 (default: the saved setting)\n"
         "  --fps           show the frame rate\n"
         "Single-dash spellings (-root, -count N, ...) work too.\n";
}
