#include "RegData.h"

#include <cstdio>
#include <cstring>

#include "platform/registry/Registry.h"

namespace {

struct NamedType {
  const char* name;
  DWORD type;
};

constexpr NamedType kTypes[] = {
    {"REG_NONE", REG_NONE},
    {"REG_SZ", REG_SZ},
    {"REG_EXPAND_SZ", REG_EXPAND_SZ},
    {"REG_BINARY", REG_BINARY},
    {"REG_DWORD", REG_DWORD},
    {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
    {"REG_LINK", REG_LINK},
    {"REG_MULTI_SZ", REG_MULTI_SZ},
    {"REG_RESOURCE_LIST", 8},
    {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
    {"REG_RESOURCE_REQUIREMENTS_LIST", 10},
    {"REG_QWORD", REG_QWORD},
};

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// A whole number from decimal or 0x-prefixed hexadecimal digits, nothing else around it.
std::optional<unsigned long long> Number(const std::string& text, unsigned long long maximum) {
  size_t at = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    at = 2;
    base = 16;
  }
  if (at == text.size()) return std::nullopt;
  unsigned long long value = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (maximum - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) return std::nullopt;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string LittleEndian(unsigned long long value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

unsigned long long FromLittleEndian(const std::string& bytes) {
  unsigned long long value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const NamedType& named : kTypes) {
    if (named.type == type) return named.name;
  }
  char text[32];
  std::snprintf(text, sizeof text, "REG_0x%X", type);
  return text;
}

std::optional<DWORD> TypeFromName(const std::string& name) {
  const std::string upper = Upper(name);
  if (upper == "REG_DWORD_LITTLE_ENDIAN") return REG_DWORD;
  for (const NamedType& named : kTypes) {
    if (upper == named.name) return named.type;
  }
  return std::nullopt;
}

std::string HexDigits(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char byte : bytes) {
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
  }
  return out;
}

std::optional<std::string> DataFromText(DWORD type, const std::string& text, const std::string& separator, std::string* error) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      // Stored as the program itself stores text: the characters and one zero byte.
      if (text.find('\0') != std::string::npos) break;
      return text + std::string(1, '\0');
    case REG_MULTI_SZ: {
      std::string out;
      if (!text.empty()) {
        size_t start = 0;
        while (true) {
          const size_t end = separator.empty() ? std::string::npos : text.find(separator, start);
          const std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
          // An empty string would end the list early and drop everything after it.
          if (piece.empty()) {
            *error = "REG_MULTI_SZ data cannot hold an empty string.";
            return std::nullopt;
          }
          out += piece + std::string(1, '\0');
          if (end == std::string::npos) break;
          start = end + separator.size();
        }
      }
      return out + std::string(1, '\0');
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      const auto value = Number(text, 0xFFFFFFFFull);
      if (!value) {
        *error = TypeName(type) + " data must be a number from 0 to 4294967295, in decimal or with 0x in hexadecimal: \"" + text + "\".";
        return std::nullopt;
      }
      std::string bytes = LittleEndian(*value, 4);
      if (type == REG_DWORD_BIG_ENDIAN) bytes = std::string(bytes.rbegin(), bytes.rend());
      return bytes;
    }
    case REG_QWORD: {
      const auto value = Number(text, ~0ull);
      if (!value) {
        *error = "REG_QWORD data must be a number from 0 to 18446744073709551615, in decimal or with 0x in hexadecimal: \"" + text + "\".";
        return std::nullopt;
      }
      return LittleEndian(*value, 8);
    }
    default: {
      // REG_BINARY, REG_NONE and every other type: the bytes as pairs of hex digits.
      std::string bytes;
      if (text.size() % 2 != 0) {
        *error = TypeName(type) + " data must be pairs of hexadecimal digits, one pair per byte: \"" + text + "\".";
        return std::nullopt;
      }
      for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]), low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) {
          *error = TypeName(type) + " data must be pairs of hexadecimal digits, one pair per byte: \"" + text + "\".";
          return std::nullopt;
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
      }
      return bytes;
    }
  }
  *error = "The data cannot hold a zero character.";
  return std::nullopt;
}

std::string DataForDisplay(DWORD type, const std::string& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      // What a reader of the value gets: the text up to its first zero byte.
      return bytes.substr(0, bytes.find('\0'));
    case REG_MULTI_SZ: {
      std::string shown;
      size_t start = 0;
      while (start < bytes.size() && bytes[start] != '\0') {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        if (!shown.empty()) shown += "\\0";
        shown += bytes.substr(start, end - start);
        start = end + 1;
      }
      return shown;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
      const size_t width = type == REG_QWORD ? 8 : 4;
      if (bytes.size() != width) break;
      const std::string ordered = type == REG_DWORD_BIG_ENDIAN ? std::string(bytes.rbegin(), bytes.rend()) : bytes;
      char text[32];
      std::snprintf(text, sizeof text, "0x%llx", FromLittleEndian(ordered));
      return text;
    }
    default:
      break;
  }
  return HexDigits(bytes);
}
