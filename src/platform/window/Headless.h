#pragma once
#include <cstddef>
#include <string>

#include "platform/window/Window.h"

// The headless presenter's controls for tests. Input goes through the same path as a real
// display's: it is queued as native events and turned into messages by the message loop,
// which a sleeping GetMessage wakes up for. KeyDown, KeyUp, KeyPress, TypeText,
// KeyDownWithText, LayoutText, ActivateWindow, ActivateOtherApplication, RequestClose and
// Minimize may be called from any thread (say, while the test's main thread sits in a
// modal loop); the rest read the windows' places and belong to the user-interface thread.
namespace headless {

// The screen's size (default 1024 × 768); it picks the headless presenter if none is chosen.
void SetScreenSize(int width, int height);
void KeyDown(UINT vk, char character = 0);  // character: what the layout gives (0: the Latin map)
void KeyUp(UINT vk);
// A key whose character the keyboard layout delivers as text of its own, as a real display
// does: the key down (which TranslateMessage then gives no character for), and the text.
void KeyDownWithText(UINT vk);
void LayoutText(const std::string& text);
void KeyPress(UINT vk, char character = 0);  // down, then up
void TypeText(const std::string& text);      // key presses (with Shift where needed) for each character
void MouseMove(int screenX, int screenY);
void MouseMoveClient(HWND hwnd, int x, int y);
void MouseButton(int button, bool down, int screenX, int screenY);  // button: 1 left, 2 middle, 3 right
void Click(HWND hwnd, int clientX, int clientY, int button = 1);   // move, down, up
// Moves the pointer there, then turns the wheel by delta (120 a notch, away from the person
// positive, as WM_MOUSEWHEEL counts).
void Wheel(HWND hwnd, int clientX, int clientY, int delta);
void ActivateWindow(HWND topLevel);  // as if the person clicked its frame or the taskbar
void ActivateOtherApplication();     // activation leaves for another program
void RequestClose(HWND topLevel);    // the close box
void Minimize(HWND topLevel);        // the title bar's minimize button
// What was last presented on a top-level window, and how many times it was presented.
BOOL LastFrame(HWND topLevel, WindowPixels* out);
int PresentCount(HWND topLevel);
// Whether the pointer is shown over the windows now.
bool CursorVisible();
// The number of native events still waiting to be turned into messages.
size_t PendingEvents();

}  // namespace headless
