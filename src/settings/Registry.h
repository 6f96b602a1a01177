#pragma once
// Registry access for the program's settings: TRegistry reaches one key of the current
// user's hive, TRegIniFile reads and writes named text values under a key as if it were a
// file of sections. Each access object lives for one handler and closes its key when freed.
// When a registry call fails, the exception's message is the store's own text followed by
// the hive's sentence on why ("Failed to create key X. The registry hive ... cannot be read").
#include <cstdint>
#include <string>

#include "platform/registry/Registry.h"
#include "runtime/SysUtils.h"

PELLORA_EXCEPTION(ERegistryException, Exception);

// What kind of data a value holds, as this class sees the registry's types.
enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
  TRegDataType RegData = TRegDataType::rdUnknown;
  int32_t DataSize = 0;
};

TRegDataType DataTypeToRegData(DWORD type);
DWORD RegDataToDataType(TRegDataType kind);

class TRegistry {
 public:
  TRegistry();
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return FRootKey; }
  // Changing the root closes whatever key was open under the old one.
  void SetRootKey(HKEY value);
  HKEY CurrentKey() const { return FCurrentKey; }
  const std::string& CurrentPath() const { return FCurrentPath; }
  REGSAM Access() const { return FAccess; }
  void SetAccess(REGSAM value) { FAccess = value; }

  // Opens a key relative to the open one (or to the root when none is open, or when the
  // path starts with a backslash), creating it when allowed. On success the new key
  // replaces the open one; on failure nothing changes.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();

  // Makes sure a key exists, without opening it for later calls.
  void CreateKey(const std::string& key);

  bool ValueExists(const std::string& name);
  bool GetDataInfo(const std::string& name, TRegDataInfo& info);
  // The value's size in bytes, or -1 when it cannot be queried.
  int32_t GetDataSize(const std::string& name);
  TRegDataType GetDataType(const std::string& name);

  int32_t ReadInteger(const std::string& name);
  std::string ReadString(const std::string& name);
  // Stores exactly text.size() bytes; a caller that wants a terminating zero appends it.
  void WriteString(const std::string& name, const std::string& text);

 protected:
  // Lets a derived class point the value calls at a handle of its own for a while.
  void SetCurrentKey(HKEY value) { FCurrentKey = value; }
  HKEY BaseKey(bool relative) const;

 private:
  void ChangeKey(HKEY value, const std::string& path);
  // Queries a value into a buffer; a failure is "Failed to get data for '%s'".
  int32_t GetData(const std::string& name, void* buffer, DWORD bufferSize, TRegDataType& regData);

  HKEY FRootKey;
  HKEY FCurrentKey = nullptr;
  std::string FCurrentPath;
  // Why the last attempt to open a key failed while none was open, for the value calls
  // that then have no key to work on.
  std::string FOpenFailure;
  REGSAM FAccess = KEY_ALL_ACCESS;
};

class TRegIniFile : public TRegistry {
 public:
  // Opens the key, creating it when missing. A key that can be neither opened nor created
  // raises "Failed to create key %s" instead of leaving an object that silently reads
  // defaults and loses every write.
  explicit TRegIniFile(const std::string& fileName);

  const std::string& FileName() const { return FFileName; }

  // An empty section means the key itself.
  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue);
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);

 private:
  // A second handle on the section's key, or null when it cannot be opened.
  HKEY GetKey(const std::string& section);
  template <class F>
  auto InSection(HKEY key, F call);

  std::string FFileName;
};
