// The keyboard: the key-state tables, the map from virtual keys to scan codes and
// characters, and the keyboard calls that read them.
#include <algorithm>
#include <cstring>

#include "platform/window/WindowState.h"

using namespace window_internal;

namespace window_internal {

bool Down(const std::array<BYTE, 256>& state, UINT vk) { return (state[vk & 0xFF] & 0x80) != 0; }

void SetKey(std::array<BYTE, 256>& state, UINT vk, bool down) {
  BYTE& b = state[vk & 0xFF];
  if (down && !(b & 0x80)) b ^= 0x01;  // each press flips the toggle, as Caps Lock shows
  b = static_cast<BYTE>(down ? (b | 0x80) : (b & ~0x80));
}

// Side-specific modifier keys also set their generic state.
void SetKeyWithGeneric(std::array<BYTE, 256>& state, UINT vk, bool down) {
  SetKey(state, vk, down);
  auto generic = [&](UINT left, UINT right, UINT both) {
    if (vk == left || vk == right) {
      const bool any = Down(state, left) || Down(state, right);
      BYTE& b = state[both];
      b = static_cast<BYTE>(any ? (b | 0x80) : (b & ~0x80));
    }
  };
  generic(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
  generic(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
  generic(VK_LMENU, VK_RMENU, VK_MENU);
}

UINT GenericVk(UINT vk) {
  switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
      return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
      return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
      return VK_MENU;
    default:
      return vk;
  }
}

UINT SideVk(UINT vk) {
  switch (vk) {
    case VK_SHIFT:
      return VK_LSHIFT;
    case VK_CONTROL:
      return VK_LCONTROL;
    case VK_MENU:
      return VK_LMENU;
    default:
      return vk;
  }
}

bool IsKeyMessage(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }
bool IsMouseMessage(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST; }

// The key messages' scan codes: the PC keyboard's set 1, enough for the keys we name.
UINT ScanCodeFor(UINT vk) {
  static const char* row1 = "QWERTYUIOP";
  static const char* row2 = "ASDFGHJKL";
  static const char* row3 = "ZXCVBNM";
  if (vk >= 'A' && vk <= 'Z') {
    if (const char* p = std::strchr(row1, static_cast<int>(vk))) return static_cast<UINT>(0x10 + (p - row1));
    if (const char* p = std::strchr(row2, static_cast<int>(vk))) return static_cast<UINT>(0x1E + (p - row2));
    if (const char* p = std::strchr(row3, static_cast<int>(vk))) return static_cast<UINT>(0x2C + (p - row3));
  }
  if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
  if (vk >= VK_F1 && vk <= VK_F10) return 0x3B + (vk - VK_F1);
  switch (vk) {
    case '0': return 0x0B;
    case VK_ESCAPE: return 0x01;
    case VK_BACK: return 0x0E;
    case VK_TAB: return 0x0F;
    case VK_RETURN: return 0x1C;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return 0x1D;
    case VK_SHIFT: case VK_LSHIFT: return 0x2A;
    case VK_RSHIFT: return 0x36;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return 0x38;
    case VK_SPACE: return 0x39;
    case VK_CAPITAL: return 0x3A;
    case VK_F11: return 0x57;
    case VK_F12: return 0x58;
    case VK_HOME: return 0x47;
    case VK_UP: return 0x48;
    case VK_PRIOR: return 0x49;
    case VK_LEFT: return 0x4B;
    case VK_RIGHT: return 0x4D;
    case VK_END: return 0x4F;
    case VK_DOWN: return 0x50;
    case VK_NEXT: return 0x51;
    case VK_INSERT: return 0x52;
    case VK_DELETE: return 0x53;
    case VK_OEM_MINUS: return 0x0C;
    case VK_OEM_PLUS: return 0x0D;
    case VK_OEM_4: return 0x1A;
    case VK_OEM_6: return 0x1B;
    case VK_OEM_1: return 0x27;
    case VK_OEM_7: return 0x28;
    case VK_OEM_3: return 0x29;
    case VK_OEM_5: return 0x2B;
    case VK_OEM_COMMA: return 0x33;
    case VK_OEM_PERIOD: return 0x34;
    case VK_OEM_2: return 0x35;
    default: return 0;
  }
}

bool ExtendedKey(UINT vk) {
  switch (vk) {
    case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME: case VK_LEFT: case VK_UP: case VK_RIGHT:
    case VK_DOWN: case VK_INSERT: case VK_DELETE: case VK_RCONTROL: case VK_RMENU: case VK_DIVIDE:
      return true;
    default:
      return false;
  }
}

}  // namespace window_internal

SHORT GetKeyState(int vk) {
  const BYTE b = S().keyState[static_cast<UINT>(vk) & 0xFF];
  return static_cast<SHORT>(static_cast<USHORT>(((b & 0x80) ? 0x8000 : 0) | (b & 1)));
}

SHORT GetAsyncKeyState(int vk) {
  const BYTE b = S().asyncState[static_cast<UINT>(vk) & 0xFF];
  return static_cast<SHORT>(static_cast<USHORT>((b & 0x80) ? 0x8000 : 0));
}

BOOL GetKeyboardState(BYTE* state) {
  if (!state) return FALSE;
  std::copy(S().keyState.begin(), S().keyState.end(), state);
  return TRUE;
}

UINT MapVirtualKeyA(UINT code, UINT mapType) {
  switch (mapType) {
    case 0:  // virtual key to scan code
      return ScanCodeFor(code);
    case 2: {  // virtual key to unshifted character
      const char c = VirtualKeyToChar(code, false, false, false);
      return (code >= 'A' && code <= 'Z') ? code : static_cast<unsigned char>(c);
    }
    default:
      return 0;
  }
}

char VirtualKeyToChar(UINT vk, bool shift, bool capsLock, bool control) {
  if (control) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 1);
    if (vk == VK_BACK) return 0x7F;
    if (vk == VK_RETURN) return '\n';
    if (vk == VK_ESCAPE) return 0x1B;
    if (vk == VK_OEM_4) return 0x1B;
    if (vk == VK_OEM_5) return 0x1C;
    if (vk == VK_OEM_6) return 0x1D;
    return 0;
  }
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>((shift != capsLock) ? vk : vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char>('0' + (vk - VK_NUMPAD0));
  switch (vk) {
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return 0x1B;
    case VK_SPACE: return ' ';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    case VK_OEM_1: return shift ? ':' : ';';
    case VK_OEM_PLUS: return shift ? '+' : '=';
    case VK_OEM_COMMA: return shift ? '<' : ',';
    case VK_OEM_MINUS: return shift ? '_' : '-';
    case VK_OEM_PERIOD: return shift ? '>' : '.';
    case VK_OEM_2: return shift ? '?' : '/';
    case VK_OEM_3: return shift ? '~' : '`';
    case VK_OEM_4: return shift ? '{' : '[';
    case VK_OEM_5: return shift ? '|' : '\\';
    case VK_OEM_6: return shift ? '}' : ']';
    case VK_OEM_7: return shift ? '"' : '\'';
    case VK_OEM_102: return shift ? '|' : '\\';
    default: return 0;
  }
}
