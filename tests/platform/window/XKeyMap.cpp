// Xlib stays in this file: its names (Window, Cursor, None, ...) clash with the window
// system's.
#include "XKeyMap.h"

#include <X11/Xlib.h>

bool MapSpareKey(const std::string& display, const char* keysymName) {
  const KeySym symbol = XStringToKeysym(keysymName);
  if (symbol == NoSymbol) return false;
  Display* d = XOpenDisplay(display.c_str());
  if (d == nullptr) return false;
  int low = 0, high = 0, perCode = 0;
  XDisplayKeycodes(d, &low, &high);
  KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &perCode);
  int spare = 0;
  for (int code = high; map != nullptr && code >= low && spare == 0; --code) {
    bool empty = true;
    for (int i = 0; i < perCode; ++i) empty = empty && map[(code - low) * perCode + i] == NoSymbol;
    if (empty) spare = code;
  }
  if (map != nullptr) XFree(map);
  if (spare != 0) {
    KeySym both[2] = {symbol, symbol};  // unshifted and shifted
    XChangeKeyboardMapping(d, spare, 2, both, 1);
    XSync(d, False);
  }
  XCloseDisplay(d);
  return spare != 0;
}
