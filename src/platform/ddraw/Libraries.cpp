// The built-in library table behind LoadLibraryA and GetProcAddress.
#include "platform/ddraw/Libraries.h"

#include <strings.h>

#include "platform/ddraw/DDraw.h"

namespace {

struct Function {
  const char* name;
  FARPROC address;
};
struct Library {
  const char* name;
  const Function* functions;
  int count;
};

const Function kDDrawFunctions[] = {
    {"DirectDrawCreate", reinterpret_cast<FARPROC>(&DirectDrawCreate)},
};
const Library kLibraries[] = {
    {"DDraw.dll", kDDrawFunctions, 1},
};

const Library* Known(HMODULE module) {
  for (const Library& l : kLibraries) {
    if (reinterpret_cast<const void*>(&l) == static_cast<const void*>(module)) return &l;
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(const char* name) {
  if (!name) return nullptr;
  for (const Library& l : kLibraries) {
    if (strcasecmp(l.name, name) == 0) return reinterpret_cast<HMODULE>(const_cast<Library*>(&l));
  }
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  const Library* l = Known(module);
  if (!l || !name) return nullptr;
  for (int i = 0; i < l->count; ++i) {
    if (strcasecmp(l->functions[i].name, name) == 0) return l->functions[i].address;
  }
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) { return Known(module) ? TRUE : FALSE; }
