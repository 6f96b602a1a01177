#include "runtime/SysUtils.h"

#include <vector>

std::string Format(const std::string& pattern, std::initializer_list<FormatArg> args) {
  std::vector<FormatArg> list(args);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char d = pattern[i + 1];
    if (d == '%') {
      out += '%';
      ++i;
      continue;
    }
    if ((d != 's' && d != 'd' && d != 'u' && d != 'x') || next >= list.size()) {
      out += c;
      continue;
    }
    const FormatArg& arg = list[next];
    const bool isText = std::holds_alternative<std::string>(arg);
    if ((d == 's') != isText) {
      out += c;
      continue;
    }
    ++next;
    ++i;
    if (isText) {
      out += std::get<std::string>(arg);
    } else {
      const int64_t v = std::get<int64_t>(arg);
      char buf[32];
      if (d == 'd') {
        snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
      } else if (d == 'u') {
        snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(static_cast<uint64_t>(v) & 0xFFFFFFFFu));
      } else {
        snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(static_cast<uint64_t>(v) & 0xFFFFFFFFu));
      }
      out += buf;
    }
  }
  return out;
}

int32_t Val(const std::string& text, int* errorPos) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  bool hex = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  } else if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  }
  // The value wraps at 32 bits as the runtime's integer does; the callers only ever keep
  // the low 8 bits of it.
  uint32_t value = 0;
  bool anyDigit = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(digit);
    anyDigit = true;
  }
  if (!anyDigit) {
    if (errorPos) *errorPos = static_cast<int>(i) + 1;
    return 0;
  }
  if (i < text.size()) {
    if (errorPos) *errorPos = static_cast<int>(i) + 1;
    return static_cast<int32_t>(value);
  }
  if (errorPos) *errorPos = 0;
  return static_cast<int32_t>(negative ? 0u - value : value);
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}
