#pragma once
// The platform layer's built-in libraries. Nothing is loaded from disk: LoadLibraryA finds
// a library by name (compared without case) in a table compiled into the program, and
// GetProcAddress finds its functions the same way. The one library is "DDraw.dll" with
// "DirectDrawCreate".
#include "platform/WinTypes.h"

PELLORA_DECLARE_HANDLE(HMODULE);
using FARPROC = void (*)();

// nullptr for a library that is not built in.
HMODULE LoadLibraryA(const char* name);
// nullptr for an unknown module or function. Cast the answer to the function's own type
// (LPDIRECTDRAWCREATE for "DirectDrawCreate").
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);
