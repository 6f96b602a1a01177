#pragma once
// The per-user registry: the platform's calls over a hive that lives in a SQLite file at
// $XDG_CONFIG_HOME/pellora/hive.db (default ~/.config). Only HKEY_CURRENT_USER exists.
// Every call is one transaction; failures answer the platform's error codes, and
// RegLastErrorText() tells a person what went wrong with the last failed call.
#include <string>

#include "platform/WinTypes.h"

PELLORA_DECLARE_HANDLE(HKEY);
using PHKEY = HKEY*;
using REGSAM = DWORD;

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// The platform's answer for a malformed key path (a leading backslash, an empty key name).
constexpr LONG ERROR_BAD_PATHNAME = 161;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                        REGSAM desired, void* security, PHKEY result, DWORD* disposition);
LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result);
// With data null, reports type and size; with a buffer too short, ERROR_MORE_DATA and the size needed.
LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);
LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegDeleteValueA(HKEY key, const char* valueName);
// Deletes a key without subkeys, as the platform does; RegDeleteTreeA removes a whole tree.
LSTATUS RegDeleteKeyA(HKEY key, const char* subKey);
LSTATUS RegDeleteTreeA(HKEY key, const char* subKey);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* keyClass,
                      DWORD* classSize, void* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* dataSize);

// Where this user's hive lives, and a sentence for people about the last failure on this thread.
std::string RegHivePath();
std::string RegLastErrorText();
