// pellora-reg: look at and change this user's registry hive from a shell, with the
// commands and the export format people know from the platform's own registry tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RegData.h"
#include "RegFile.h"
#include "platform/registry/Registry.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr const char* kDone = "The operation completed successfully.";

const char* const kUsage =
    "pellora-reg: look at and change this user's registry hive (%s).\n"
    "\n"
    "  pellora-reg query KEY [/v NAME | /ve] [/s]\n"
    "      Lists the values and subkeys of KEY (/s: of every key below it too),\n"
    "      or only the value NAME (/ve: the default value).\n"
    "  pellora-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "      Makes KEY, and sets the value NAME when given. TYPE is REG_SZ (the default),\n"
    "      REG_EXPAND_SZ, REG_MULTI_SZ (strings parted by \\0 or SEPARATOR), REG_DWORD or\n"
    "      REG_QWORD (decimal, or hexadecimal after 0x), REG_BINARY or REG_NONE (hex\n"
    "      digits). An existing value is only replaced with /f.\n"
    "  pellora-reg delete KEY [/v NAME | /ve | /va] /f\n"
    "      Deletes KEY with everything below it, or only the value NAME, the default\n"
    "      value (/ve) or all values of KEY (/va). Nothing is deleted without /f.\n"
    "  pellora-reg export KEY FILE [/y]\n"
    "      Writes KEY and everything below it to FILE in the REGEDIT4 format\n"
    "      (/y: replace FILE if it exists).\n"
    "  pellora-reg import FILE\n"
    "      Reads a REGEDIT4 file and applies it: [-KEY] deletes a key, \"NAME\"=- a value.\n"
    "\n"
    "KEY is HKEY_CURRENT_USER\\... or HKCU\\...; quote it when it holds spaces, for example\n"
    "  pellora-reg add \"HKCU\\Control Panel\\Desktop\" /v ScreenSaveUsePassword /t REG_DWORD /d 1 /f\n";

void PrintUsage(FILE* to) { std::fprintf(to, kUsage, RegHivePath().c_str()); }

int Error(const std::string& sentence) {
  std::fprintf(stderr, "ERROR: %s\n", sentence.c_str());
  return kFailure;
}

int UsageError(const std::string& sentence) {
  std::fprintf(stderr, "ERROR: %s\nType \"pellora-reg /?\" for usage.\n", sentence.c_str());
  return kFailure;
}

int HiveError() { return Error(RegLastErrorText()); }

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The command line after the command: options by name, the rest in order. Only the option
// names a command knows count as options, so a file name such as /tmp/x.reg stays a name.
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "/v" -> NAME, "/f" -> ""
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name) const {
    auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
  }
};

std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                                        const std::vector<std::string>& withValue, std::string* error) {
  Arguments parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = Lower(args[i]);
    if (name.size() > 1 && name[0] == '-') name[0] = '/';
    const bool isFlag = std::find(flags.begin(), flags.end(), name) != flags.end();
    const bool takesValue = std::find(withValue.begin(), withValue.end(), name) != withValue.end();
    if (!isFlag && !takesValue) {
      parsed.positional.push_back(args[i]);
      continue;
    }
    if (parsed.Has(name)) {
      *error = name + " is given twice.";
      return std::nullopt;
    }
    if (takesValue) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value after it.";
        return std::nullopt;
      }
      parsed.options[name] = args[++i];
    } else {
      parsed.options[name] = "";
    }
  }
  return parsed;
}

std::optional<std::string> KeyArgument(const Arguments& args, size_t index, std::string* error) {
  if (index >= args.positional.size()) {
    *error = "A key name is missing.";
    return std::nullopt;
  }
  return SubkeyOf(args.positional[index], error);
}

bool TooMany(const Arguments& args, size_t expected, std::string* error) {
  if (args.positional.size() <= expected) return false;
  const std::string& extra = args.positional[expected];
  *error = (extra.size() > 1 && (extra[0] == '/' || extra[0] == '-') && extra.find('/', 1) == std::string::npos
                ? "Unknown option " + extra + "."
                : "Too many arguments: \"" + extra + "\".");
  return true;
}

// Reaching the hive makes it, and the folders above it, when there is none yet. A command
// that only looks (or has nothing to delete) leaves such an account exactly as it was.
bool NoHiveYet() {
  const std::string path = RegHivePath();
  struct stat info;
  return !path.empty() && lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

int NoHiveError(const std::string& subkey) {
  return Error("The key " + FullKeyName(subkey) + " does not exist: there is no registry hive yet at \"" + RegHivePath() + "\".");
}

// Opens a key, or prints why not.
std::optional<HKEY> OpenKey(const std::string& subkey, REGSAM access) {
  if (NoHiveYet()) {
    NoHiveError(subkey);
    return std::nullopt;
  }
  HKEY key = nullptr;
  const LSTATUS rc = RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, access, &key);
  if (rc == ERROR_SUCCESS) return key;
  if (rc == ERROR_FILE_NOT_FOUND) {
    Error("The key " + FullKeyName(subkey) + " does not exist.");
  } else {
    HiveError();
  }
  return std::nullopt;
}

class KeyHandle {
 public:
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() { RegCloseKey(key_); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_;
};

std::optional<std::vector<StoredValue>> ReadValues(HKEY key) {
  std::vector<StoredValue> values;
  std::vector<char> name(16384);
  for (DWORD index = 0;; ++index) {
    StoredValue value;
    DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = 0;
    LSTATUS rc = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &value.type, nullptr, &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return HiveError(), std::nullopt;
    value.name.assign(name.data(), nameSize);
    // Another process may change the value between the two calls; ask again until it fits.
    do {
      value.data.resize(dataSize);
      nameSize = static_cast<DWORD>(name.size());
      rc = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &value.type, reinterpret_cast<BYTE*>(value.data.data()),
                         &dataSize);
    } while (rc == ERROR_MORE_DATA);
    if (rc != ERROR_SUCCESS) return HiveError(), std::nullopt;
    value.data.resize(dataSize);
    values.push_back(std::move(value));
  }
  return values;
}

std::optional<std::vector<std::string>> ReadSubkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD size = sizeof name;
    const LSTATUS rc = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return HiveError(), std::nullopt;
    names.emplace_back(name, size);
  }
  return names;
}

std::string Child(const std::string& subkey, const std::string& name) { return subkey.empty() ? name : subkey + "\\" + name; }

std::string ShownName(const std::string& name) { return name.empty() ? "(Default)" : name; }

void PrintValue(const StoredValue& value) {
  std::printf("    %s    %s    %s\n", ShownName(value.name).c_str(), TypeName(value.type).c_str(),
              DataForDisplay(value.type, value.data).c_str());
}

bool PrintKey(const std::string& subkey, HKEY key, bool recursive) {
  const auto values = ReadValues(key);
  const auto subkeys = values ? ReadSubkeys(key) : std::nullopt;
  if (!subkeys) return false;
  std::printf("\n%s\n", FullKeyName(subkey).c_str());
  for (const StoredValue& value : *values) PrintValue(value);
  if (!recursive) {
    if (!subkeys->empty()) std::printf("\n");
    for (const std::string& name : *subkeys) std::printf("%s\n", FullKeyName(Child(subkey, name)).c_str());
    return true;
  }
  for (const std::string& name : *subkeys) {
    const auto child = OpenKey(Child(subkey, name), KEY_READ);
    if (!child) return false;
    KeyHandle handle(*child);
    if (!PrintKey(Child(subkey, name), handle.get(), true)) return false;
  }
  return true;
}

// The value name chosen by /v NAME or /ve; "none" when neither is given.
std::optional<std::optional<std::string>> ChosenValue(const Arguments& args, std::string* error) {
  if (args.Has("/v") && args.Has("/ve")) {
    *error = "/v and /ve cannot be used together.";
    return std::nullopt;
  }
  if (args.Has("/v")) {
    if (args.Get("/v").empty()) {
      *error = "/v needs a value name; the default value is /ve.";
      return std::nullopt;
    }
    return std::optional<std::string>(args.Get("/v"));
  }
  if (args.Has("/ve")) return std::optional<std::string>(std::string());
  return std::optional<std::string>();
}

int Query(const std::vector<std::string>& rawArgs) {
  std::string error;
  const auto args = ParseArguments(rawArgs, {"/ve", "/s"}, {"/v"}, &error);
  if (!args || TooMany(*args, 1, &error)) return UsageError(error);
  const auto subkey = KeyArgument(*args, 0, &error);
  if (!subkey) return UsageError(error);
  const auto chosen = ChosenValue(*args, &error);
  if (!chosen) return UsageError(error);
  const auto opened = OpenKey(*subkey, KEY_READ);
  if (!opened) return kFailure;
  KeyHandle key(*opened);
  if (!chosen->has_value()) return PrintKey(*subkey, key.get(), args->Has("/s")) ? kSuccess : kFailure;

  // Looked up among all values so that the name shows as it is stored.
  const auto values = ReadValues(key.get());
  if (!values) return kFailure;
  const std::string wanted = Lower(**chosen);
  const auto value = std::find_if(values->begin(), values->end(), [&](const StoredValue& v) { return Lower(v.name) == wanted; });
  if (value == values->end()) {
    return Error("The value " + ShownName(**chosen) + " does not exist under " + FullKeyName(*subkey) + ".");
  }
  std::printf("\n%s\n", FullKeyName(*subkey).c_str());
  PrintValue(*value);
  return kSuccess;
}

int Add(const std::vector<std::string>& rawArgs) {
  std::string error;
  const auto args = ParseArguments(rawArgs, {"/ve", "/f"}, {"/v", "/t", "/s", "/d"}, &error);
  if (!args || TooMany(*args, 1, &error)) return UsageError(error);
  const auto subkey = KeyArgument(*args, 0, &error);
  if (!subkey) return UsageError(error);
  const auto chosen = ChosenValue(*args, &error);
  if (!chosen) return UsageError(error);
  if (!chosen->has_value() && (args->Has("/t") || args->Has("/d") || args->Has("/s"))) {
    return UsageError("/t, /s and /d need /v NAME or /ve to say which value to set.");
  }
  if (!chosen->has_value()) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey->c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return HiveError();
    }
    RegCloseKey(key);
    std::printf("%s\n", kDone);
    return kSuccess;
  }

  // Everything the person typed is checked before the hive is touched.
  DWORD type = REG_SZ;
  if (args->Has("/t")) {
    const auto named = TypeFromName(args->Get("/t"));
    if (!named) return UsageError("Unknown type " + args->Get("/t") + "; use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE.");
    type = *named;
  }
  if (args->Has("/s") && type != REG_MULTI_SZ) return UsageError("/s only applies to REG_MULTI_SZ.");
  if (args->Has("/s") && args->Get("/s").size() != 1) return UsageError("/s takes a single character.");
  const std::string separator = args->Has("/s") ? args->Get("/s") : "\\0";
  const auto data = DataFromText(type, args->Get("/d"), separator, &error);
  if (!data) return UsageError(error);
  const std::string& name = **chosen;

  HKEY existing = nullptr;
  const LSTATUS opened = RegOpenKeyExA(HKEY_CURRENT_USER, subkey->c_str(), 0, KEY_READ, &existing);
  if (opened == ERROR_SUCCESS) {
    DWORD size = 0;
    const LSTATUS found = RegQueryValueExA(existing, name.c_str(), nullptr, nullptr, nullptr, &size);
    RegCloseKey(existing);
    if (found == ERROR_SUCCESS && !args->Has("/f")) {
      return Error("The value " + ShownName(name) + " already exists under " + FullKeyName(*subkey) +
                   "; nothing was changed. Add /f to replace it.");
    }
    if (found != ERROR_SUCCESS && found != ERROR_FILE_NOT_FOUND) return HiveError();
  } else if (opened != ERROR_FILE_NOT_FOUND) {
    return HiveError();
  }
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey->c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return HiveError();
  }
  KeyHandle handle(key);
  if (RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data->data()), static_cast<DWORD>(data->size())) !=
      ERROR_SUCCESS) {
    return HiveError();
  }
  std::printf("%s\n", kDone);
  return kSuccess;
}

int Delete(const std::vector<std::string>& rawArgs) {
  std::string error;
  const auto args = ParseArguments(rawArgs, {"/ve", "/va", "/f"}, {"/v"}, &error);
  if (!args || TooMany(*args, 1, &error)) return UsageError(error);
  const auto subkey = KeyArgument(*args, 0, &error);
  if (!subkey) return UsageError(error);
  const auto chosen = ChosenValue(*args, &error);
  if (!chosen) return UsageError(error);
  if (args->Has("/va") && chosen->has_value()) return UsageError("/va cannot be used with /v or /ve.");
  // There may be no one at a terminal to ask, so deleting is never assumed.
  if (!args->Has("/f")) return Error("Nothing was deleted: pellora-reg deletes only with /f.");

  if (!chosen->has_value() && !args->Has("/va")) {
    if (subkey->empty()) return Error("HKEY_CURRENT_USER itself cannot be deleted; name a key below it.");
    if (NoHiveYet()) return NoHiveError(*subkey);
    const LSTATUS rc = RegDeleteTreeA(HKEY_CURRENT_USER, subkey->c_str());
    if (rc == ERROR_FILE_NOT_FOUND) return Error("The key " + FullKeyName(*subkey) + " does not exist.");
    if (rc != ERROR_SUCCESS) return HiveError();
    std::printf("%s\n", kDone);
    return kSuccess;
  }
  const auto opened = OpenKey(*subkey, KEY_ALL_ACCESS);
  if (!opened) return kFailure;
  KeyHandle key(*opened);
  std::vector<std::string> names;
  if (args->Has("/va")) {
    const auto values = ReadValues(key.get());
    if (!values) return kFailure;
    for (const StoredValue& value : *values) names.push_back(value.name);
  } else {
    names.push_back(**chosen);
  }
  for (const std::string& name : names) {
    const LSTATUS rc = RegDeleteValueA(key.get(), name.c_str());
    if (rc == ERROR_FILE_NOT_FOUND) {
      return Error("The value " + ShownName(name) + " does not exist under " + FullKeyName(*subkey) + ".");
    }
    if (rc != ERROR_SUCCESS) return HiveError();
  }
  std::printf("%s\n", kDone);
  return kSuccess;
}

bool ExportTree(const std::string& subkey, HKEY key, std::string* out) {
  const auto values = ReadValues(key);
  if (!values) return false;
  std::string error;
  const auto section = ExportSection(subkey, *values, &error);
  if (!section) return Error(error), false;
  *out += *section;
  const auto subkeys = ReadSubkeys(key);
  if (!subkeys) return false;
  for (const std::string& name : *subkeys) {
    const auto child = OpenKey(Child(subkey, name), KEY_READ);
    if (!child) return false;
    KeyHandle handle(*child);
    if (!ExportTree(Child(subkey, name), handle.get(), out)) return false;
  }
  return true;
}

// Writes the whole file beside its place and renames it there, so a failed export never
// leaves half a file. It is private to the user: the hive holds the saver's password.
bool WriteFileWhole(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return Error("\"" + path + "\" cannot be written: " + std::strerror(errno) + "."), false;
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const int saved = errno;
  const bool ok = written == text.size() && fsync(fd) == 0;
  close(fd);
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    const int why = ok ? errno : saved;
    unlink(temporary.c_str());
    return Error("\"" + path + "\" cannot be written: " + std::strerror(why) + "."), false;
  }
  return true;
}

int Export(const std::vector<std::string>& rawArgs) {
  std::string error;
  const auto args = ParseArguments(rawArgs, {"/y"}, {}, &error);
  if (!args || TooMany(*args, 2, &error)) return UsageError(error);
  const auto subkey = KeyArgument(*args, 0, &error);
  if (!subkey) return UsageError(error);
  if (args->positional.size() < 2) return UsageError("The name of the file to write is missing.");
  const std::string& file = args->positional[1];
  if (!args->Has("/y") && access(file.c_str(), F_OK) == 0) {
    return Error("\"" + file + "\" already exists; nothing was written. Add /y to replace it.");
  }
  const auto opened = OpenKey(*subkey, KEY_READ);
  if (!opened) return kFailure;
  KeyHandle key(*opened);
  std::string text = kExportHeader;
  if (!ExportTree(*subkey, key.get(), &text)) return kFailure;
  if (!WriteFileWhole(file, text)) return kFailure;
  std::printf("%s\n", kDone);
  return kSuccess;
}

int Import(const std::vector<std::string>& rawArgs) {
  std::string error;
  const auto args = ParseArguments(rawArgs, {}, {}, &error);
  if (!args || TooMany(*args, 1, &error)) return UsageError(error);
  if (args->positional.empty()) return UsageError("The name of the file to read is missing.");
  const std::string& file = args->positional[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) return Error("\"" + file + "\" cannot be read: " + std::strerror(errno) + ".");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Error("\"" + file + "\" cannot be read.");
  // The whole file is understood before anything in the hive changes.
  const auto sections = ParseExport(text, file, &error);
  if (!sections) return Error(error + " Nothing was imported.");

  // Each change is its own transaction in the hive; should the hive fail half way, say
  // how far the import got rather than leave the person guessing.
  const auto stopped = [](const ImportSection& section) {
    return Error(RegLastErrorText() + " The import stopped at [" + std::string(section.remove ? "-" : "") +
                 FullKeyName(section.subkey) + "]; the sections before it were imported.");
  };
  for (const ImportSection& section : *sections) {
    if (section.remove) {
      const LSTATUS rc = RegDeleteTreeA(HKEY_CURRENT_USER, section.subkey.c_str());
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return stopped(section);
      continue;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, section.subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      return stopped(section);
    }
    KeyHandle handle(key);
    for (const ImportValue& value : section.values) {
      const StoredValue& v = value.value;
      LSTATUS rc;
      if (value.remove) {
        rc = RegDeleteValueA(key, v.name.c_str());
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
      } else {
        rc = RegSetValueExA(key, v.name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()), static_cast<DWORD>(v.data.size()));
      }
      if (rc != ERROR_SUCCESS) return stopped(section);
    }
  }
  std::printf("%s\n", kDone);
  return kSuccess;
}

bool IsHelp(const std::string& arg) {
  const std::string lower = Lower(arg);
  return lower == "/?" || lower == "-?" || lower == "-h" || lower == "--help" || lower == "help";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return kFailure;
  }
  for (const std::string& arg : args) {
    if (IsHelp(arg) && (&arg == &args.front() || arg == "/?" || arg == "-?")) {
      PrintUsage(stdout);
      return kSuccess;
    }
  }
  const std::string command = Lower(args[0]);
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "query") return Query(rest);
  if (command == "add") return Add(rest);
  if (command == "delete") return Delete(rest);
  if (command == "export") return Export(rest);
  if (command == "import") return Import(rest);
  return UsageError("Unknown command \"" + args[0] + "\"; the commands are query, add, delete, export and import.");
}
