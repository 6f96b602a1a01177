#pragma once
// The window system's shared state and the helpers its parts use on one another. Only
// the window system's own sources include this.
#include <array>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/KeptPicture.h"
#include "platform/window/Presenter.h"
#include "platform/window/Window.h"

namespace window_internal {

// Window sizes above this are refused rather than allocated: a runaway width would
// otherwise ask for gigabytes of back buffer.
constexpr int kMaxWindowExtent = 16384;

// A key message's lPrivate when the keyboard delivers the key's character separately, so
// that TranslateMessage must not make one of its own.
constexpr DWORD kCharacterFollows = 0x100;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  WNDCLASSA wc{};
};

struct BackBuffer {
  int width = 1;
  int height = 1;
  std::vector<uint32_t> pixels = std::vector<uint32_t>(1, 0);
};

struct Window {
  uintptr_t id = 0;
  const WindowClass* cls = nullptr;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR userData = 0;
  LONG_PTR ctrlId = 0;
  HINSTANCE instance = nullptr;
  uintptr_t parent = 0;  // children only
  uintptr_t owner = 0;   // top-levels only
  std::vector<uintptr_t> children;  // front (topmost) first
  RECT rect{};  // outer rectangle: screen for top-levels, parent client for children
  std::string text;
  bool minimized = false;
  bool maximized = false;
  bool hasUpdate = false;
  bool erase = false;
  RECT update{};  // client coordinates
  bool destroying = false;
  // Top-levels only.
  std::shared_ptr<BackBuffer> buffer;
  bool dirty = false;
  RECT dirtyRect{};  // buffer coordinates
  // The last picture put on the window from outside that filled its client area. It goes
  // to the presenter as it is; the back buffer takes it only when something needs the
  // buffer (`bufferOwesPicture` until then).
  std::unique_ptr<KeptPicture> picture;
  bool bufferOwesPicture = false;
  bool nativeOpen = false;
  uint64_t lastClickTime = 0;
  POINT lastClickPos{};
  int lastClickButton = 0;

  bool IsChild() const { return (style & WS_CHILD) != 0; }
};

struct DcRecord {
  uintptr_t window = 0;  // 0: a screen DC
  std::shared_ptr<BackBuffer> buffer;
  RECT visible{};  // buffer coordinates the DC may touch
};

struct Timer {
  uintptr_t window = 0;
  UINT_PTR id = 0;
  UINT interval = 0;
  TIMERPROC proc = nullptr;
  uint64_t due = 0;
};

// Everything one run of the window system builds up. ResetWindowSystem replaces it whole,
// so a field added here starts over with the rest without anyone having to remember it.
struct State {
  // Windows, UI thread only.
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  std::vector<uintptr_t> topOrder;  // top-levels, front first
  std::map<std::string, std::unique_ptr<WindowClass>> classes;  // key: lower-case name
  uintptr_t focus = 0;
  uintptr_t active = 0;
  uintptr_t lastActive = 0;  // the active window before activation left the application
  uintptr_t capture = 0;
  bool appActive = false;
  bool pendingDeactivate = false;
  int cascade = 0;  // how many windows have taken a position of the system's choosing
  std::map<HDC, DcRecord> dcs;
  std::map<int, HBRUSH> sysColorBrushes;  // key: COLOR_ index
  std::vector<Timer> timers;

  // Keyboard and mouse. `keyState` is as of the last message taken from the queue,
  // `asyncState` as input arrived.
  std::array<BYTE, 256> keyState{};
  std::array<BYTE, 256> asyncState{};
  uintptr_t textTarget = 0;  // where the text of the last key down goes, whoever has the focus now
  POINT cursorPos{};
  HCURSOR cursor = nullptr;
  bool cursorSet = false;
  int showCount = 0;

  // The queue. `posted` and `liveIds` may be touched from any thread under QueueMutex().
  std::deque<MSG> posted;
  std::set<uintptr_t> liveIds;
  std::deque<MSG> input;
  bool quitPosted = false;
  int quitCode = 0;
  LONG lastMessageTime = 0;
  DWORD lastMessagePos = 0;

  // The presenter.
  std::unique_ptr<Presenter> presenter;
  PresenterKind kind = PresenterKind::None;
  std::string presenterError;
  std::thread::id uiThread;
};

// What outlives a reset: handles are never reused, so the numbers they are made from run on.
struct HandleCounters {
  uintptr_t window = 0x10020;
  ATOM atom = 0xC000;
  UINT_PTR timer = 0x7F00;
};

State& S();
HandleCounters& Counters();
std::mutex& QueueMutex();  // guards State::posted and State::liveIds
Window* Find(HWND hwnd);
Window* Find(uintptr_t id);
inline HWND H(uintptr_t id) { return reinterpret_cast<HWND>(id); }
inline uintptr_t Id(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }
LRESULT Send(uintptr_t id, UINT message, WPARAM wParam, LPARAM lParam);

// Geometry.
RECT NonClientInsets(DWORD style, DWORD exStyle);
RECT ClientRectLocal(const Window& w);  // {0, 0, width, height}
POINT ClientOriginInBuffer(const Window& w);
POINT ClientOriginOnScreen(const Window& w);
RECT VisibleClientInBuffer(const Window& w);  // empty when hidden or clipped away
Window* Root(Window* w);
bool Visible(const Window& w);  // the window and all its ancestors
bool EnabledChain(const Window& w);
NativeShape ShapeFor(const Window& w);
void ResizeBuffer(Window& top);

// Rectangles.
bool RectEmpty(const RECT& r);
RECT Intersect(const RECT& a, const RECT& b);
RECT Union(const RECT& a, const RECT& b);
RECT Offset(const RECT& r, int dx, int dy);
bool Contains(const RECT& r, POINT p);

// Painting.
void InvalidateTree(Window& w, const RECT& local, bool erase);
void MarkDirty(Window& top, const RECT& bufferRect);
void FlushPresents();
// Puts the last picture from outside into the back buffer if the buffer does not hold it
// yet; before anything reads, draws on or resizes the buffer.
void SettlePicture(Window& top);
Window* FindPaintable(uintptr_t filter);

// Activation and focus.
void Activate(uintptr_t topLevel, WORD how, bool fromNative);
void ActivateNextAfter(uintptr_t leaving);
void ForgetWindow(uintptr_t id);

// Input.
Window* HitTest(Window& top, POINT clientOfTop);
void PumpNative();
void UpdateCursor();

// The keyboard's state tables and key map.
bool Down(const std::array<BYTE, 256>& state, UINT vk);
void SetKey(std::array<BYTE, 256>& state, UINT vk, bool down);
void SetKeyWithGeneric(std::array<BYTE, 256>& state, UINT vk, bool down);
UINT GenericVk(UINT vk);
UINT SideVk(UINT vk);
bool IsKeyMessage(UINT m);
bool IsMouseMessage(UINT m);
UINT ScanCodeFor(UINT vk);
bool ExtendedKey(UINT vk);

// The queue and timers.
bool OnUiThread();
int TimerWait();  // how long a wait may sleep before a timer comes due (-1: no timer)

bool EnsurePresenterNow();
uint64_t NowMs();

}  // namespace window_internal
