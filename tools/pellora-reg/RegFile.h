#pragma once
// Key names as people write them, and the plain-text export format: "REGEDIT4", a blank
// line, then one [HKEY_CURRENT_USER\...] section per key with its "Name"=data lines.
#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

// The path below HKEY_CURRENT_USER named by "HKEY_CURRENT_USER\..." or "HKCU\..." ("" for
// the root itself), or an error sentence in *error for any other root.
std::optional<std::string> SubkeyOf(const std::string& keyName, std::string* error);
std::string FullKeyName(const std::string& subkey);

struct StoredValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::string data;
};

// One "[...]" section with its value lines; fails for a name the format cannot carry.
std::optional<std::string> ExportSection(const std::string& subkey, const std::vector<StoredValue>& values, std::string* error);
inline constexpr const char* kExportHeader = "REGEDIT4\n\n";

struct ImportValue {
  StoredValue value;
  bool remove = false;  // "Name"=-
};

struct ImportSection {
  std::string subkey;
  bool remove = false;  // [-HKEY_CURRENT_USER\...]
  std::vector<ImportValue> values;
};

// Reads a whole export; nothing is returned unless every line is understood. Errors name
// the file and the line.
std::optional<std::vector<ImportSection>> ParseExport(const std::string& text, const std::string& fileName, std::string* error);
