#include "RegFile.h"

#include <cstdio>

#include "platform/registry/Registry.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string Trim(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// Text goes out as "text" only when that gives back exactly the stored bytes: the
// characters, one zero byte, and nothing a line-based file could not hold.
bool IsPlainText(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (static_cast<unsigned char>(data[i]) < 0x20) return false;
  }
  return true;
}

std::string HexLines(std::string line, const std::string& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(data[i]);
    std::string piece{digits[byte >> 4], digits[byte & 15]};
    if (i + 1 < data.size()) piece.push_back(',');
    // Long lines go on after a backslash, indented, as the format's own writer does it.
    if (line.size() + piece.size() > 77) {
      out += line + "\\\n";
      line = "  ";
    }
    line += piece;
  }
  return out + line + "\n";
}

const char* const kOtherRoots[] = {"HKLM", "HKEY_LOCAL_MACHINE", "HKCR", "HKEY_CLASSES_ROOT", "HKU", "HKEY_USERS", "HKCC", "HKEY_CURRENT_CONFIG"};

class Reader {
 public:
  Reader(const std::string& text, const std::string& fileName) : fileName_(fileName) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(std::move(line));
      start = end + 1;
    }
  }

  std::optional<std::vector<ImportSection>> Read(std::string* error) {
    error_ = error;
    if (!lines_.empty() && lines_[0].rfind("\xEF\xBB\xBF", 0) == 0) lines_[0].erase(0, 3);
    if (!lines_.empty() && (lines_[0].rfind("\xFF\xFE", 0) == 0 || lines_[0].rfind("\xFE\xFF", 0) == 0)) {
      return Fail(1, "the file is in a 16-bit Unicode form; only REGEDIT4 files are read");
    }
    size_t at = 0;
    while (at < lines_.size() && Trim(lines_[at]).empty()) ++at;
    if (at < lines_.size() && Trim(lines_[at]).rfind("Windows Registry Editor Version", 0) == 0) {
      return Fail(at + 1, "this is a version 5 export; only REGEDIT4 files are read");
    }
    // A file of blank lines has no line to blame but its first.
    if (at == lines_.size()) return Fail(1, "the file is empty; it must start with REGEDIT4");
    if (Trim(lines_[at]) != "REGEDIT4") return Fail(at + 1, "the file does not start with REGEDIT4");
    std::vector<ImportSection> sections;
    for (++at; at < lines_.size(); ++at) {
      const std::string line = Trim(lines_[at]);
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (!ReadSection(at, line, &sections)) return std::nullopt;
        continue;
      }
      if (sections.empty() || sections.back().remove) {
        return Fail(at + 1, sections.empty() ? "a value comes before any [key] line" : "a value follows a key that is being deleted");
      }
      ImportValue value;
      if (!ReadValue(&at, line, &value)) return std::nullopt;
      sections.back().values.push_back(std::move(value));
    }
    return sections;
  }

 private:
  std::nullopt_t Fail(size_t line, const std::string& what) {
    *error_ = fileName_ + ":" + std::to_string(line) + ": " + what + ".";
    return std::nullopt;
  }

  bool Bad(size_t line, const std::string& what) {
    Fail(line, what);
    return false;
  }

  bool ReadSection(size_t at, const std::string& line, std::vector<ImportSection>* sections) {
    if (line.back() != ']') return Bad(at + 1, "a [key] line does not end with ]");
    std::string name = line.substr(1, line.size() - 2);
    ImportSection section;
    if (!name.empty() && name[0] == '-') {
      section.remove = true;
      name.erase(0, 1);
    }
    std::string why;
    const auto subkey = SubkeyOf(name, &why);
    if (!subkey) return Bad(at + 1, why.substr(0, why.size() - 1));
    if (section.remove && subkey->empty()) return Bad(at + 1, "HKEY_CURRENT_USER itself cannot be deleted");
    section.subkey = *subkey;
    sections->push_back(std::move(section));
    return true;
  }

  // A quoted text from `at` (on the opening quote); answers the position after the closing one.
  std::optional<size_t> ReadQuoted(size_t lineNumber, const std::string& line, size_t at, std::string* text) {
    for (++at; at < line.size(); ++at) {
      const char c = line[at];
      if (c == '"') return at + 1;
      if (c == '\\') {
        if (at + 1 >= line.size() || (line[at + 1] != '\\' && line[at + 1] != '"')) {
          Fail(lineNumber, "only \\\\ and \\\" may follow a backslash inside quotes");
          return std::nullopt;
        }
        ++at;
      }
      text->push_back(line[at]);
    }
    Fail(lineNumber, "a closing quote is missing");
    return std::nullopt;
  }

  bool ReadValue(size_t* at, const std::string& line, ImportValue* value) {
    const size_t lineNumber = *at + 1;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      const auto end = ReadQuoted(lineNumber, line, 0, &value->value.name);
      if (!end) return false;
      pos = *end;
    } else {
      return Bad(lineNumber, "a line is neither a [key], a \"name\"=value nor a comment");
    }
    if (value->value.name.size() > 16383) return Bad(lineNumber, "the value name is longer than 16383 characters");
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Bad(lineNumber, "= is missing after the value name");
    const std::string data = Trim(line.substr(pos + 1));
    if (data == "-") {
      value->remove = true;
      return true;
    }
    if (!data.empty() && data[0] == '"') {
      std::string text;
      const auto end = ReadQuoted(lineNumber, data, 0, &text);
      if (!end) return false;
      if (*end != data.size()) return Bad(lineNumber, "something follows the closing quote");
      value->value.type = REG_SZ;
      value->value.data = text + std::string(1, '\0');
      return true;
    }
    const std::string lower = [&] {
      std::string l = data;
      for (char& c : l) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      return l;
    }();
    if (lower.rfind("dword:", 0) == 0) {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) return Bad(lineNumber, "dword: needs one to eight hexadecimal digits");
      uint32_t number = 0;
      for (char c : digits) {
        const int digit = HexValue(c);
        if (digit < 0) return Bad(lineNumber, "dword: needs one to eight hexadecimal digits");
        number = number * 16 + static_cast<uint32_t>(digit);
      }
      value->value.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) value->value.data.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
      return true;
    }
    if (lower.rfind("hex", 0) == 0) return ReadHex(at, data, value);
    return Bad(lineNumber, "the value is neither \"text\", dword:, hex: nor -");
  }

  bool ReadHex(size_t* at, std::string data, ImportValue* value) {
    const size_t lineNumber = *at + 1;
    size_t pos = 3;
    DWORD type = REG_BINARY;
    if (pos < data.size() && data[pos] == '(') {
      const size_t close = data.find(')', pos);
      const std::string digits = close == std::string::npos ? "" : data.substr(pos + 1, close - pos - 1);
      if (digits.empty() || digits.size() > 8) return Bad(lineNumber, "hex( needs a type of one to eight hexadecimal digits and )");
      type = 0;
      for (char c : digits) {
        const int digit = HexValue(c);
        if (digit < 0) return Bad(lineNumber, "hex( needs a type of one to eight hexadecimal digits and )");
        type = type * 16 + static_cast<DWORD>(digit);
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') return Bad(lineNumber, "hex data needs a : before its bytes");
    std::string list = data.substr(pos + 1);
    // A backslash at the end of a line carries the list on to the next line.
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (*at + 1 >= lines_.size() || Trim(lines_[*at + 1]).empty()) {
        return Bad(*at + 1, "hex data ends with \\ but does not go on in the next line");
      }
      ++*at;
      list += Trim(lines_[*at]);
    }
    std::string bytes;
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      const std::string token = Trim(list.substr(start, end - start));
      const bool last = end == list.size();
      if (token.empty() && last && start > 0) break;  // a comma before the end of the list
      if (token.empty() || token.size() > 2 || HexValue(token[0]) < 0 || (token.size() == 2 && HexValue(token[1]) < 0)) {
        return Bad(lineNumber, "\"" + token + "\" is not a byte in hex digits");
      }
      bytes.push_back(static_cast<char>(token.size() == 2 ? HexValue(token[0]) * 16 + HexValue(token[1]) : HexValue(token[0])));
      start = end + 1;
    }
    value->value.type = type;
    value->value.data = std::move(bytes);
    return true;
  }

  std::string fileName_;
  std::vector<std::string> lines_;
  std::string* error_ = nullptr;
};

}  // namespace

std::optional<std::string> SubkeyOf(const std::string& keyName, std::string* error) {
  const size_t slash = keyName.find('\\');
  const std::string root = Upper(keyName.substr(0, slash));
  std::string rest = slash == std::string::npos ? std::string() : keyName.substr(slash + 1);
  if (root == "HKEY_CURRENT_USER" || root == "HKCU") {
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    // Checked here rather than left to the hive, so that an import refuses such a name
    // before it has changed anything.
    size_t start = 0;
    while (!rest.empty() && start <= rest.size()) {
      size_t end = rest.find('\\', start);
      if (end == std::string::npos) end = rest.size();
      if (end == start) {
        *error = "The key name \"" + keyName + "\" has an empty part.";
        return std::nullopt;
      }
      if (end - start > 255) {
        *error = "The key name \"" + keyName + "\" has a part longer than 255 characters.";
        return std::nullopt;
      }
      start = end + 1;
    }
    return rest;
  }
  for (const char* other : kOtherRoots) {
    if (root == other) {
      *error = "Only HKEY_CURRENT_USER (HKCU) is kept in this registry; " + keyName.substr(0, slash) + " is not available.";
      return std::nullopt;
    }
  }
  *error = "\"" + keyName + "\" is not a key name; it must start with HKEY_CURRENT_USER\\ or HKCU\\.";
  return std::nullopt;
}

std::string FullKeyName(const std::string& subkey) { return subkey.empty() ? "HKEY_CURRENT_USER" : "HKEY_CURRENT_USER\\" + subkey; }

std::optional<std::string> ExportSection(const std::string& subkey, const std::vector<StoredValue>& values, std::string* error) {
  if (HasLineBreak(subkey)) {
    *error = "The key \"" + FullKeyName(subkey) + "\" has a name the export format cannot carry.";
    return std::nullopt;
  }
  std::string out = "[" + FullKeyName(subkey) + "]\n";
  for (const StoredValue& value : values) {
    if (HasLineBreak(value.name)) {
      *error = "A value name in " + FullKeyName(subkey) + " holds a line break, which the export format cannot carry.";
      return std::nullopt;
    }
    const std::string prefix = value.name.empty() ? "@=" : "\"" + Escaped(value.name) + "\"=";
    if (value.type == REG_SZ && IsPlainText(value.data)) {
      out += prefix + "\"" + Escaped(value.data.substr(0, value.data.size() - 1)) + "\"\n";
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
      uint32_t number = 0;
      for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
      char text[16];
      std::snprintf(text, sizeof text, "dword:%08x", number);
      out += prefix + text + "\n";
    } else if (value.type == REG_BINARY) {
      out += HexLines(prefix + "hex:", value.data);
    } else {
      char type[24];
      std::snprintf(type, sizeof type, "hex(%x):", value.type);
      out += HexLines(prefix + type, value.data);
    }
  }
  return out + "\n";
}

std::optional<std::vector<ImportSection>> ParseExport(const std::string& text, const std::string& fileName, std::string* error) {
  return Reader(text, fileName).Read(error);
}
