#pragma once
// The narrow interface between the window system and whatever shows its top-level windows.
// The window system keeps all the state (windows, focus, activation, back buffers); a
// presenter only opens native windows, shows pixels on them and hands back native events.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/window/PresenterChoice.h"
#include "platform/window/Picture.h"

namespace window_internal {

using NativeId = uintptr_t;  // the HWND value of the top-level window

struct NativeShape {
  RECT client;  // screen coordinates of the client area
  std::string caption;
  bool bordered = true;    // has a caption or frame the window manager should draw
  bool resizable = false;  // thick frame
  bool fullScreen = false;  // borderless and covering the whole screen
  bool topmost = false;
  bool toolWindow = false;
  NativeId owner = 0;  // the top-level this one stays above
};

struct NativeEvent {
  enum Kind {
    KeyDown,
    KeyUp,
    Text,
    MouseMove,
    ButtonDown,
    ButtonUp,
    Wheel,
    FocusGained,
    FocusLost,
    CloseRequest,
    MinimizeRequest,  // the title bar's minimize button (headless)
    Minimized,
    Restored,
    Moved,    // x, y: new client origin on the screen
    Resized,  // x, y: new client width and height
    Exposed,
    AppDeactivated,  // activation left for another program (headless only)
    Wake,
  };
  Kind kind = Wake;
  NativeId window = 0;
  UINT vk = 0;
  UINT scanCode = 0;
  bool extended = false;
  bool repeat = false;
  char character = 0;  // the character the key gives, when the presenter knows it
  bool textFollows = false;  // the key's character comes as a Text event of its own
  int x = 0;           // client coordinates of `window` for mouse events
  int y = 0;
  int button = 0;  // 1 left, 2 middle, 3 right
  int wheel = 0;    // wheel turn in 1/120 of a notch, away from the person positive
  std::string text;
};

class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual bool Open(NativeId id, const NativeShape& shape) = 0;
  virtual void Close(NativeId id) = 0;
  virtual void Show(NativeId id, bool visible) = 0;
  virtual void Reshape(NativeId id, const NativeShape& shape) = 0;  // bounds, caption, borders
  virtual void SetCaption(NativeId id, const std::string& caption) = 0;
  virtual void Raise(NativeId id) = 0;  // bring forward and take the input focus
  virtual void Minimize(NativeId id) = 0;
  // Shows `picture` on the window: at its corner, or letterboxed on the monitor for a
  // mode's full-screen window. Only the parts in `changed` (picture coordinates) differ
  // from the picture presented on it before, and only they need sending; when the window
  // lost what it showed (exposed, resized, moved, its surface made anew) the presenter
  // sends the whole picture instead, with the bars around it.
  virtual void Present(NativeId id, const Picture& picture, std::span<const RECT> changed) = 0;
  virtual void SetCursorShape(int cursorId, bool visible) = 0;  // cursorId: IDC_ number, 0 for none
  virtual void SetCapture(NativeId id, bool capture) = 0;
  virtual void WarpPointer(int screenX, int screenY) = 0;
  virtual bool PointerPosition(int* screenX, int* screenY) = 0;
  virtual bool NextEvent(NativeEvent* event) = 0;  // never blocks
  // Sleeps until an event may be waiting or `milliseconds` (< 0: no limit) have passed.
  virtual void WaitForEvent(int milliseconds) = 0;
  virtual void Wake() = 0;  // any thread
  virtual void ScreenSize(int* width, int* height) = 0;  // the monitor's own
  // The screen the program sees while a display mode is set (0 x 0: the monitor's own).
  // Full-screen windows then show their buffer of that size letterboxed onto the monitor,
  // pointer positions over them are given in the program's pixels, and other windows keep
  // their size at their position mapped onto the monitor.
  virtual void SetLogicalScreen(int width, int height) = 0;
  virtual int RefreshRate() = 0;
  // For SDL: whether one of our windows still holds the keyboard focus.
  virtual bool AnyWindowFocused() = 0;
};

// A presenter calls this once it has shown the pixels of a Present: the present listener
// (PresenterChoice.h) hears of it.
void NotePresented(NativeId id);

std::unique_ptr<Presenter> MakeHeadlessPresenter();
// nullptr with `error` set when no display can be opened. Defined by the SDL presenter's own
// library, which registers it as the display presenter when the program starts; a program
// without that library (the screen lockers' hack) has only the headless presenter.
std::unique_ptr<Presenter> MakeSdlPresenter(DisplaySystem system, std::string* error);
using DisplayPresenterFactory = std::unique_ptr<Presenter> (*)(DisplaySystem system, std::string* error);
void RegisterDisplayPresenter(DisplayPresenterFactory factory);

// The headless presenter's extra surface for tests.
class HeadlessControls {
 public:
  virtual ~HeadlessControls() = default;
  virtual void Inject(const NativeEvent& event) = 0;
  virtual void SetScreen(int width, int height) = 0;
  virtual bool Frame(NativeId id, int* width, int* height, std::vector<uint32_t>* pixels, int* count) = 0;
  virtual bool CursorShown() = 0;
  virtual size_t Pending() = 0;
};

}  // namespace window_internal
