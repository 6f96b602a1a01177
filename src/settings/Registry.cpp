#include "settings/Registry.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* kCreateFailed = "Failed to create key %s";
constexpr const char* kGetDataFailed = "Failed to get data for '%s'";
constexpr const char* kSetDataFailed = "Failed to set data for '%s'";
constexpr const char* kInvalidDataType = "Invalid data type for '%s'";

// A path with a leading backslash starts at the root, any other at the open key.
bool IsRelative(const std::string& key) { return key.empty() || key[0] != '\\'; }

std::string WithoutRootMark(const std::string& key) { return IsRelative(key) ? key : key.substr(1); }

// For a registry call that has just failed: the store's own text first, as callers and
// people know it, then the hive's sentence on why, so a person knows what to do about it.
ERegistryException Failed(const char* pattern, const std::string& name, const std::string& why) {
  std::string text = Format(pattern, {name});
  if (!why.empty()) text += ". " + why;
  return ERegistryException(text);
}

ERegistryException CallFailed(const char* pattern, const std::string& name) { return Failed(pattern, name, RegLastErrorText()); }

}  // namespace

TRegDataType DataTypeToRegData(DWORD type) {
  switch (type) {
    case REG_SZ:
      return TRegDataType::rdString;
    case REG_EXPAND_SZ:
      return TRegDataType::rdExpandString;
    case REG_DWORD:
      return TRegDataType::rdInteger;
    case REG_BINARY:
      return TRegDataType::rdBinary;
    default:
      return TRegDataType::rdUnknown;
  }
}

DWORD RegDataToDataType(TRegDataType kind) {
  switch (kind) {
    case TRegDataType::rdString:
      return REG_SZ;
    case TRegDataType::rdExpandString:
      return REG_EXPAND_SZ;
    case TRegDataType::rdInteger:
      return REG_DWORD;
    case TRegDataType::rdBinary:
      return REG_BINARY;
    case TRegDataType::rdUnknown:
      break;
  }
  return REG_NONE;
}

TRegistry::TRegistry() : FRootKey(HKEY_CURRENT_USER) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY value) {
  if (value == FRootKey) return;
  FRootKey = value;
  CloseKey();
}

HKEY TRegistry::BaseKey(bool relative) const {
  return (FCurrentKey == nullptr || !relative) ? FRootKey : FCurrentKey;
}

void TRegistry::ChangeKey(HKEY value, const std::string& path) {
  CloseKey();
  FCurrentKey = value;
  FCurrentPath = path;
}

void TRegistry::CloseKey() {
  if (FCurrentKey != nullptr) {
    RegCloseKey(FCurrentKey);
    FCurrentKey = nullptr;
  }
  FCurrentPath.clear();
  FOpenFailure.clear();
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  const bool relative = IsRelative(key);
  std::string path = WithoutRootMark(key);
  HKEY opened = nullptr;
  LSTATUS status;
  if (!canCreate || path.empty()) {
    status = RegOpenKeyExA(BaseKey(relative), path.c_str(), 0, FAccess, &opened);
  } else {
    DWORD disposition = 0;
    status = RegCreateKeyExA(BaseKey(relative), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FAccess,
                             nullptr, &opened, &disposition);
  }
  if (status != ERROR_SUCCESS || opened == nullptr) {
    if (FCurrentKey == nullptr) FOpenFailure = RegLastErrorText();
    return false;
  }
  if (FCurrentKey != nullptr && relative) path = path.empty() ? FCurrentPath : FCurrentPath + "\\" + path;
  ChangeKey(opened, path);
  return true;
}

void TRegistry::CreateKey(const std::string& key) {
  const bool relative = IsRelative(key);
  const std::string path = WithoutRootMark(key);
  HKEY created = nullptr;
  DWORD disposition = 0;
  const LSTATUS status = RegCreateKeyExA(BaseKey(relative), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, &created, &disposition);
  if (status != ERROR_SUCCESS || created == nullptr) throw CallFailed(kCreateFailed, key);
  RegCloseKey(created);
}

bool TRegistry::GetDataInfo(const std::string& name, TRegDataInfo& info) {
  info = TRegDataInfo{};
  if (FCurrentKey == nullptr) return false;
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  info.RegData = DataTypeToRegData(type);
  info.DataSize = static_cast<int32_t>(std::min<DWORD>(size, INT32_MAX));
  return true;
}

bool TRegistry::ValueExists(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

int32_t TRegistry::GetDataSize(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.DataSize : -1;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.RegData : TRegDataType::rdUnknown;
}

int32_t TRegistry::GetData(const std::string& name, void* buffer, DWORD bufferSize, TRegDataType& regData) {
  DWORD type = REG_NONE;
  DWORD size = bufferSize;
  // The platform answers an invalid handle for a closed key too, but a null handle is not
  // worth a trip through it.
  if (FCurrentKey == nullptr) throw Failed(kGetDataFailed, name, FOpenFailure);
  if (RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    throw CallFailed(kGetDataFailed, name);
  }
  regData = DataTypeToRegData(type);
  return static_cast<int32_t>(std::min(size, bufferSize));
}

int32_t TRegistry::ReadInteger(const std::string& name) {
  BYTE data[4] = {0, 0, 0, 0};
  TRegDataType kind = TRegDataType::rdUnknown;
  const int32_t size = GetData(name, data, sizeof data, kind);
  // A REG_DWORD shorter than four bytes would leave part of the number undefined; it is
  // as unusable as a value of another type.
  if (kind != TRegDataType::rdInteger || size != 4) throw ERegistryException(kInvalidDataType, {name});
  const uint32_t value = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                         (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
  return static_cast<int32_t>(value);
}

std::string TRegistry::ReadString(const std::string& name) {
  const int32_t size = GetDataSize(name);
  if (size <= 0) return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  TRegDataType kind = TRegDataType::rdUnknown;
  const int32_t got = GetData(name, text.data(), static_cast<DWORD>(size), kind);
  if (kind != TRegDataType::rdString && kind != TRegDataType::rdExpandString) {
    throw ERegistryException(kInvalidDataType, {name});
  }
  text.resize(static_cast<size_t>(got));
  // Text stored without its terminating zero is taken whole.
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

void TRegistry::WriteString(const std::string& name, const std::string& text) {
  if (text.size() > UINT32_MAX) throw ERegistryException(kSetDataFailed, {name});
  const auto* data = reinterpret_cast<const BYTE*>(text.data());
  if (FCurrentKey == nullptr) throw Failed(kSetDataFailed, name, FOpenFailure);
  if (RegSetValueExA(FCurrentKey, name.c_str(), 0, REG_SZ, data, static_cast<DWORD>(text.size())) != ERROR_SUCCESS) {
    throw CallFailed(kSetDataFailed, name);
  }
}

TRegIniFile::TRegIniFile(const std::string& fileName) : FFileName(fileName) {
  if (!OpenKey(fileName, true)) throw CallFailed(kCreateFailed, fileName);
}

HKEY TRegIniFile::GetKey(const std::string& section) {
  const bool relative = IsRelative(section);
  const std::string path = WithoutRootMark(section);
  HKEY key = nullptr;
  if (RegOpenKeyExA(BaseKey(relative), path.c_str(), 0, Access(), &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

// The value calls work on the current key, so the section's handle stands in for it during
// one call, and goes however the call ends.
template <class F>
auto TRegIniFile::InSection(HKEY key, F call) {
  const HKEY open = CurrentKey();
  SetCurrentKey(key);
  struct TRestore {
    TRegIniFile* self;
    HKEY open, key;
    ~TRestore() {
      self->SetCurrentKey(open);
      RegCloseKey(key);
    }
  } restore{this, open, key};
  return call();
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) {
  HKEY key = GetKey(section);
  if (key == nullptr) return defaultValue;
  return InSection(key, [&] { return ValueExists(ident) ? TRegistry::ReadString(ident) : defaultValue; });
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  CreateKey(section);
  HKEY key = GetKey(section);
  // The key was made a moment ago; if it still cannot be opened the value is not stored,
  // and saying so beats reporting a write that never happened.
  if (key == nullptr) throw CallFailed(kSetDataFailed, ident);
  InSection(key, [&] { TRegistry::WriteString(ident, value); });
}
