#pragma once
// Registry data as people type and read it: type names, the data given to "add", and the
// data column of "query".
#include <optional>
#include <string>

#include "platform/WinTypes.h"

// "REG_SZ" and the like; a type without a name shows as REG_0x... so nothing is hidden.
std::string TypeName(DWORD type);
std::optional<DWORD> TypeFromName(const std::string& name);

// The stored bytes for /d DATA of the given type, or an error sentence in *error.
// `separator` splits REG_MULTI_SZ data (by default the two characters \0).
std::optional<std::string> DataFromText(DWORD type, const std::string& text, const std::string& separator, std::string* error);

// The data column of a query line.
std::string DataForDisplay(DWORD type, const std::string& bytes);

std::string HexDigits(const std::string& bytes);
