// The presenter on a real display through SDL2, X or Wayland: one native window per
// top-level, its pictures shown through a frame target (FrameTarget.h: the X window through
// shared memory, SDL's window surface, or on Wayland buffers of our own, see Wayland.h),
// and SDL's events turned into native events. SDL's video is started here, on the
// user-interface thread, when the first window needs it.
#include <SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "platform/window/FrameTarget.h"
#include "platform/window/Letterbox.h"
#include "platform/window/Monitors.h"
#include "platform/window/Presenter.h"
#include "platform/window/Wayland.h"
#include "platform/window/XDialogs.h"
#include "platform/window/Window.h"
#include "platform/window/XErrors.h"
#include "platform/window/XWindowManager.h"

namespace window_internal {
namespace {

UINT VkFromKeycode(SDL_Keycode key, SDL_Scancode scan) {
  // Letters and digits follow the layout's keycode; everything else the key's place.
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<UINT>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<UINT>('0' + (key - SDLK_0));
  if (scan >= SDL_SCANCODE_A && scan <= SDL_SCANCODE_Z) return static_cast<UINT>('A' + (scan - SDL_SCANCODE_A));
  if (scan >= SDL_SCANCODE_1 && scan <= SDL_SCANCODE_9) return static_cast<UINT>('1' + (scan - SDL_SCANCODE_1));
  if (scan >= SDL_SCANCODE_F1 && scan <= SDL_SCANCODE_F12) return VK_F1 + (scan - SDL_SCANCODE_F1);
  if (scan >= SDL_SCANCODE_KP_1 && scan <= SDL_SCANCODE_KP_9) return VK_NUMPAD1 + (scan - SDL_SCANCODE_KP_1);
  switch (scan) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_KP_0: return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH: return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_NONUSBACKSLASH: return VK_OEM_102;
    case SDL_SCANCODE_CAPSLOCK: return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK: return VK_SCROLL;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_PERIOD: return VK_DECIMAL;
    case SDL_SCANCODE_APPLICATION: return VK_APPS;
    case SDL_SCANCODE_LCTRL: return VK_LCONTROL;
    case SDL_SCANCODE_RCTRL: return VK_RCONTROL;
    case SDL_SCANCODE_LSHIFT: return VK_LSHIFT;
    case SDL_SCANCODE_RSHIFT: return VK_RSHIFT;
    case SDL_SCANCODE_LALT: return VK_LMENU;
    case SDL_SCANCODE_RALT: return VK_RMENU;
    case SDL_SCANCODE_LGUI: return VK_LWIN;
    case SDL_SCANCODE_RGUI: return VK_RWIN;
    default: return 0;
  }
}

// Keys whose keycode is a character: SDL sends their text as a text-input event.
bool Printable(SDL_Keycode key) { return (key >= 0x20 && key < 0x7F) || (key >= 0xA0 && !(key & SDLK_SCANCODE_MASK)); }

// Text here is 8-bit: code points up to 255 keep their byte, the rest become '?'.
std::string Latin1(const char* utf8) {
  std::string out;
  for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p;) {
    const unsigned char lead = *p++;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t cp = extra ? (lead & (0x3Fu >> extra)) : lead;
    for (; extra > 0 && (*p & 0xC0) == 0x80; --extra, ++p) cp = (cp << 6) | (*p & 0x3F);
    const bool stray = lead >= 0x80 && lead < 0xC0;  // a continuation byte with no lead
    out.push_back(cp <= 0xFF && extra == 0 && !stray ? static_cast<char>(cp) : '?');
  }
  return out;
}

SDL_SystemCursor SystemCursorFor(int id) {
  switch (id) {
    case 32513: return SDL_SYSTEM_CURSOR_IBEAM;
    case 32514: return SDL_SYSTEM_CURSOR_WAIT;
    case 32515: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 32642: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case 32643: return SDL_SYSTEM_CURSOR_SIZENESW;
    case 32644: return SDL_SYSTEM_CURSOR_SIZEWE;
    case 32645: return SDL_SYSTEM_CURSOR_SIZENS;
    case 32646: return SDL_SYSTEM_CURSOR_SIZEALL;
    case 32648: return SDL_SYSTEM_CURSOR_NO;
    case 32649: return SDL_SYSTEM_CURSOR_HAND;
    case 32650: return SDL_SYSTEM_CURSOR_WAITARROW;
    default: return SDL_SYSTEM_CURSOR_ARROW;
  }
}

// SDL connects to the D-Bus session bus as it starts, for input methods. Where there is no
// bus, the D-Bus library starts one for the display (through dbus-launch), which then
// outlives the program and costs a good part of its start; nothing here needs a bus, so
// the library is told there is none. A bus that exists is named in the environment or sits
// in the user's runtime folder, and is used as ever.
void KeepDBusFromStartingABus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    struct stat bus {};
    if (stat((std::string(runtime) + "/bus").c_str(), &bus) == 0 && S_ISSOCK(bus.st_mode)) return;
  }
  // An address of no known kind: connecting fails at once, and nothing is started.
  setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

// The window's SDL surface, for a display the X target cannot use. Pictures are drawn into
// memory of our own and blitted, so that any surface format and size will do.
class SdlSurfaceTarget : public MemoryTarget {
 public:
  explicit SdlSurfaceTarget(SDL_Window* window) : window_(window) {}
  ~SdlSurfaceTarget() override {
    if (memory_) SDL_FreeSurface(memory_);
  }
  std::string Describe(const Letterbox&) const override { return "through SDL's window surface"; }

 protected:
  uint32_t* Memory(int width, int height, ptrdiff_t* pitch, int* age) override {
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) return nullptr;
    *age = 1;
    if (surface != surface_ || !memory_ || memory_->w != width || memory_->h != height) {
      if (memory_) SDL_FreeSurface(memory_);
      memory_ = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
      if (!memory_) return nullptr;
      SDL_SetSurfaceBlendMode(memory_, SDL_BLENDMODE_NONE);
      surface_ = surface;
      *age = 0;
    }
    *pitch = memory_->pitch;
    return static_cast<uint32_t*>(memory_->pixels);
  }
  bool Send(std::span<const RECT> written) override {
    std::vector<SDL_Rect> rects;
    for (const RECT& r : written) {
      SDL_Rect from{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
                    static_cast<int>(r.bottom - r.top)};
      SDL_Rect to = from;
      SDL_BlitSurface(memory_, &from, surface_, &to);
      rects.push_back(to);
    }
    return SDL_UpdateWindowSurfaceRects(window_, rects.data(), static_cast<int>(rects.size())) == 0;
  }

 private:
  SDL_Window* window_;
  SDL_Surface* surface_ = nullptr;  // the window's, which SDL makes anew when the window resizes
  SDL_Surface* memory_ = nullptr;
};

// A window's frames on Wayland, in shared-memory buffers of our own (Wayland.h). A frame
// left out because the compositor still reads every buffer is made up by the next, whole.
class WaylandTarget : public MemoryTarget {
 public:
  WaylandTarget(SDL_Window* window, std::unique_ptr<WaylandFrames> frames)
      : window_(window), frames_(std::move(frames)) {}
  // Whether the buffers may have the monitor's pixels where the window has fewer logical
  // units (HiDPI), the compositor scaling them back.
  bool HasPixelsOfItsOwn() const { return frames_->Scales(); }
  bool Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) override {
    missed_ = !MemoryTarget::Show(picture, box, changed, whole || missed_);
    return true;
  }
  std::string Describe(const Letterbox&) const override { return "through shared-memory buffers of our own"; }

 protected:
  uint32_t* Memory(int width, int height, ptrdiff_t* pitch, int* age) override {
    int bytes = 0;
    uint32_t* memory = frames_->Begin(width, height, &bytes, age);
    *pitch = bytes;
    return memory;
  }
  bool Send(std::span<const RECT> written) override {
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    frames_->Show(written, width, height);
    return true;
  }

 private:
  SDL_Window* window_;
  std::unique_ptr<WaylandFrames> frames_;
  bool missed_ = false;
};

class SdlPresenter : public Presenter {
 public:
  static std::unique_ptr<Presenter> Make(DisplaySystem system, std::string* error) {
    const bool wayland = system == DisplaySystem::Wayland;
    // SDL would switch the desktop's own screen saver off while a window is open and ask
    // the compositor to stand aside; this program leaves both as the desktop has them.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // SDL would turn SIGINT and SIGTERM into a quit event that nothing here reads, and the
    // program could no longer be stopped from outside.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A full-screen window stays where it is when a dialog of ours takes the focus.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The display system is chosen already (PresenterChoice.h), so it is that one or
    // nothing: SDL would otherwise try other drivers, one of which draws nowhere at all.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, wayland ? "wayland" : "x11");
    // On Wayland SDL would put a scaler of its own on our windows' surfaces for display
    // modes it makes up, and fake a pointer warp by locking the pointer in place: the
    // surfaces are ours to scale (Wayland.h), and modes never change here anyway.
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_MODE_EMULATION, "0");
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_EMULATE_MOUSE_WARP, "0");
    // Window surfaces are X11's shared-memory framebuffer (on Wayland buffers of our own),
    // never an OpenGL renderer: on a machine without a hardware driver that would be a
    // software rasterizer costing tens of megabytes and several times the CPU per frame.
    // Frames are converted and scaled here in one pass, so a GPU renderer would only add
    // its own copy.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // SDL keeps the handler it finds here and puts it back just before it closes the
    // display, when requests about windows already gone may still be answered: it must be
    // ours then too, or Xlib's default ends the program as it exits.
    SurviveXErrors();
    // Without a folder for its socket libwayland would print a line of its own before SDL
    // gives up.
    const char* waylandDisplay = SDL_getenv("WAYLAND_DISPLAY");
    const char* runtimeDir = SDL_getenv("XDG_RUNTIME_DIR");
    if (wayland && !(waylandDisplay && waylandDisplay[0] == '/') && !(runtimeDir && *runtimeDir)) {
      *error = std::string("The Wayland display ") + (waylandDisplay ? waylandDisplay : "") +
               " cannot be opened: XDG_RUNTIME_DIR, where its socket is, is not set";
      return nullptr;
    }
    KeepDBusFromStartingABus();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      const char* display = SDL_getenv(wayland ? "WAYLAND_DISPLAY" : "DISPLAY");
      *error = std::string(wayland ? "The Wayland display " : "The display ") + (display ? display : "") +
               " cannot be opened: " + SDL_GetError();
      return nullptr;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || SDL_strcmp(driver, "dummy") == 0 || SDL_strcmp(driver, "offscreen") == 0) {
      *error = std::string("The display cannot be opened: SDL offers only the '") + (driver ? driver : "") +
               "' video driver, which shows nothing";
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return nullptr;
    }
    if (SDL_getenv("PELLORA_DEBUG")) {
      // SDL's own environment variable still wins over the hint; say what is really used.
      const bool accelerated = SDL_GetHintBoolean(SDL_HINT_FRAMEBUFFER_ACCELERATION, SDL_FALSE);
      std::fprintf(stderr, "pellora: presenting through %s (%s video driver)\n",
                   accelerated && !wayland ? "an OpenGL renderer, as SDL_FRAMEBUFFER_ACCELERATION asks"
                   : wayland               ? "shared-memory buffers of our own"
                                           : "the shared-memory framebuffer",
                   driver);
    }
    // Set after SDL's own start-up, which installs a handler that falls back to Xlib's.
    SurviveXErrors();
    auto p = std::unique_ptr<SdlPresenter>(new SdlPresenter());
    p->wayland_ = SDL_strcmp(driver, "wayland") == 0;
    if (p->wayland_) {
      p->monitorList_ = MakeWaylandMonitors();
    } else {
      p->monitorList_ = std::make_unique<XMonitors>();
    }
    p->wakeEvent_ = SDL_RegisterEvents(1);
    p->RefreshMonitors();
    // Text input gives the characters of the keyboard's own layout, dead keys included.
    SDL_StartTextInput();
    return p;
  }

  ~SdlPresenter() override {
    shown_.clear();
    DropCovers();
    for (auto& [id, w] : windows_) SDL_DestroyWindow(w);
    for (auto& [id, c] : cursors_) SDL_FreeCursor(c);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool Open(NativeId id, const NativeShape& shape) override {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!shape.bordered) flags |= SDL_WINDOW_BORDERLESS;
    if (shape.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (shape.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (shape.toolWindow && !shape.bordered) flags |= SDL_WINDOW_SKIP_TASKBAR;
    const int w = std::max<int>(1, shape.client.right - shape.client.left);
    const int h = std::max<int>(1, shape.client.bottom - shape.client.top);
    const POINT at = OnMonitor(shape);
    SDL_Window* window = SDL_CreateWindow(shape.caption.c_str(), at.x, at.y, w, h, flags);
    if (!window) return false;
    windows_[id] = window;
    ids_[SDL_GetWindowID(window)] = id;
    shapes_[id] = shape;
    if (shape.owner) {
      if (SDL_Window* owner = Get(shape.owner)) SDL_SetWindowModalFor(window, owner);
    }
    if (shape.fullScreen) {
      RefreshMonitors();
      PlaceFullScreen(window);
    }
    return true;
  }

  void Close(NativeId id) override {
    SDL_Window* w = Get(id);
    if (!w) return;
    ids_.erase(SDL_GetWindowID(w));
    shown_.erase(id);
    lastMove_.erase(SDL_GetWindowID(w));
    SDL_DestroyWindow(w);
    windows_.erase(id);
    shapes_.erase(id);
    UpdateCovers();
  }

  void Show(NativeId id, bool visible) override {
    SDL_Window* w = Get(id);
    if (!w) return;
    if (visible) {
      // An X window manager reads what the window belongs to when it maps it; a Wayland
      // window gets the role that can belong to another only as it is shown.
      if (!wayland_) BelongToFullScreen(id, w);
      // A window manager forgets a window's wish to stay above the others when the window
      // is hidden, and SDL, which still holds the wish, would not say it again: a password
      // prompt shown a second time came up behind the full-screen scene. So it is said
      // again before the window is shown.
      if (SDL_GetWindowFlags(w) & SDL_WINDOW_ALWAYS_ON_TOP) {
        SDL_SetWindowAlwaysOnTop(w, SDL_FALSE);
        SDL_SetWindowAlwaysOnTop(w, SDL_TRUE);
      }
      SDL_ShowWindow(w);
      // A Wayland window shows nothing until it is given a frame, and SDL does not ask
      // for one.
      if (wayland_) {
        BelongToFullScreen(id, w);
        FixSizeOnWayland(id, w);
        NativeEvent exposed;
        exposed.kind = NativeEvent::Exposed;
        exposed.window = id;
        Push(exposed);
      }
    } else {
      SDL_HideWindow(w);
    }
    UpdateCovers();
  }

  void Reshape(NativeId id, const NativeShape& shape) override {
    SDL_Window* w = Get(id);
    if (!w) return;
    const NativeShape old = shapes_[id];
    shapes_[id] = shape;
    if (old.fullScreen != shape.fullScreen && !shape.fullScreen) SDL_SetWindowFullscreen(w, 0);
    if (old.bordered != shape.bordered) SDL_SetWindowBordered(w, shape.bordered ? SDL_TRUE : SDL_FALSE);
    if (old.resizable != shape.resizable) SDL_SetWindowResizable(w, shape.resizable ? SDL_TRUE : SDL_FALSE);
    if (old.topmost != shape.topmost) SDL_SetWindowAlwaysOnTop(w, shape.topmost ? SDL_TRUE : SDL_FALSE);
    if (!shape.fullScreen) {
      const int width = std::max<int>(1, shape.client.right - shape.client.left);
      const int height = std::max<int>(1, shape.client.bottom - shape.client.top);
      SDL_SetWindowSize(w, width, height);
      const POINT at = OnMonitor(shape);
      SDL_SetWindowPosition(w, at.x, at.y);
    }
    // A mode's window covers the (primary) monitor itself, with or without a window
    // manager to honour the full-screen request.
    if (shape.fullScreen && (logicalWidth_ || !old.fullScreen)) PlaceFullScreen(w);
    if (old.caption != shape.caption) SDL_SetWindowTitle(w, shape.caption.c_str());
    UpdateCovers();
  }

  void SetCaption(NativeId id, const std::string& caption) override {
    if (SDL_Window* w = Get(id)) {
      SDL_SetWindowTitle(w, caption.c_str());
      shapes_[id].caption = caption;
    }
  }

  void Raise(NativeId id) override {
    // X refuses the focus to a window that is not mapped.
    SDL_Window* w = Get(id);
    if (!w || !(SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN)) return;
    // On Wayland a program cannot take the focus: SDL's request for it carries no proof of
    // a person's recent input, and compositors answer it by flagging the window as wanting
    // attention (sway paints its title red). A window shown is focused by the compositor's
    // own rules, and one over the saver is its child (see BelongToFullScreen), whose keys
    // reach it through the saver's window, which keeps the focus.
    if (wayland_) return;
    // A window window managers keep above the others (a topmost full-screen scene) would
    // hide a dialog of ours brought forward over it, so that dialog goes above as well.
    if (!shapes_[id].topmost) {
      for (auto& [other, window] : windows_) {
        if (other != id && shapes_[other].topmost && (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN)) {
          SDL_SetWindowAlwaysOnTop(w, SDL_TRUE);
          break;
        }
      }
    }
    SDL_RaiseWindow(w);
    SDL_SetWindowInputFocus(w);
  }

  void Minimize(NativeId id) override {
    if (SDL_Window* w = Get(id)) SDL_MinimizeWindow(w);
  }

  void Present(NativeId id, const Picture& picture, std::span<const RECT> changed) override {
    SDL_Window* w = Get(id);
    if (!w) return;
    Shown& shown = shown_[id];
    if (!shown.target && !MakeTarget(w, &shown)) return;
    const Holds holds = logicalWidth_ && shapes_[id].fullScreen ? Holds::Mode : Holds::Nothing;
    int width = 0, height = 0;
    SDL_GetWindowSize(w, &width, &height);
    if (width <= 0 || height <= 0) return;
    if (shown.ownPixels && holds == Holds::Mode) {
      // A mode's full-screen window gets the monitor's own pixels, however the compositor
      // scales it.
      int monitorW = 0, monitorH = 0;
      monitorList_->Pixels(Primary(), &monitorW, &monitorH);
      WindowPixels(width, height, Primary(), monitorW, monitorH, &width, &height);
    }
    const Letterbox box = OnWindow(picture.width, picture.height, width, height, holds);
    if (debug_ && !(box == shown.box)) {
      std::fprintf(stderr, "pellora: a %dx%d picture on a %dx%d window: %s\n", picture.width, picture.height, width, height,
                   shown.target->Describe(box).c_str());
    }
    if (!shown.target->Show(picture, box, changed, shown.whole || !(box == shown.box))) {
      shown.target.reset();
      shown.failed = true;
      shown.whole = true;
      return;
    }
    shown.box = box;
    shown.whole = false;
  }

  void SetCursorShape(int cursorId, bool visible) override {
    if (visible) {
      SDL_Cursor*& c = cursors_[cursorId];
      if (!c) c = SDL_CreateSystemCursor(SystemCursorFor(cursorId));
      if (c) SDL_SetCursor(c);
    }
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }

  void SetCapture(NativeId, bool capture) override {
    // While every monitor is covered the pointer cannot leave our windows; see UpdateCovers.
    if (capture && coveredFor_) return;
    SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
  }

  void WarpPointer(int x, int y) override {
    // Wayland lets no program move the pointer; the window system keeps the place asked for.
    if (wayland_) return;
    if (logicalWidth_) {
      MonitorBox().ToScreen(&x, &y);
      x += Primary().x;
      y += Primary().y;
    }
    SDL_WarpMouseGlobal(x, y);
  }

  bool PointerPosition(int* x, int* y) override {
    if (wayland_) return PointerOverOurWindows(x, y);
    SDL_GetGlobalMouseState(x, y);
    if (logicalWidth_) {
      *x -= Primary().x;
      *y -= Primary().y;
      MonitorBox().ToSource(x, y);
    }
    return true;
  }

  bool NextEvent(NativeEvent* event) override {
    for (;;) {
      if (!ready_.empty()) {
        *event = ready_.front();
        ready_.pop_front();
        return true;
      }
      SDL_Event e;
      if (!waited_.empty()) {
        e = waited_.front();
        waited_.pop_front();
      } else if (SDL_PollEvent(&e) != 1) {
        if (wayland_) EndIfWaylandLost(waylandDisplay_);
        return false;
      }
      Translate(e);
    }
  }

  void WaitForEvent(int milliseconds) override {
    if (!ready_.empty() || !waited_.empty()) return;
    // SDL holds back an X focus-out for a moment to see whether it was spurious, and only
    // hands it over on a later pump; an unbounded wait could sit on it until the next X
    // event. So even a wait without limit wakes a few times a second to pump.
    constexpr int kLongestSleep = 250;
    if (milliseconds < 0 || milliseconds > kLongestSleep) milliseconds = kLongestSleep;
    SDL_Event e;
    const int got = SDL_WaitEventTimeout(&e, milliseconds);
    if (got == 1) waited_.push_back(e);
    if (wayland_) EndIfWaylandLost(waylandDisplay_);
  }

  void Wake() override {
    SDL_Event e{};
    e.type = wakeEvent_;
    SDL_PushEvent(&e);
  }

  // The primary monitor's: on a desktop of several, that is where full-screen windows go.
  void ScreenSize(int* width, int* height) override {
    *width = Primary().width;
    *height = Primary().height;
  }

  void SetLogicalScreen(int width, int height) override {
    // Monitors come and go between runs of a mode; during one the covers stay as placed.
    RefreshMonitors();
    logicalWidth_ = width > 0 && height > 0 ? width : 0;
    logicalHeight_ = logicalWidth_ ? height : 0;
    UpdateCovers();
  }

  int RefreshRate() override {
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    return 60;
  }

  bool AnyWindowFocused() override {
    SDL_PumpEvents();
    SDL_Window* focus = SDL_GetKeyboardFocus();
    return focus && (ids_.count(SDL_GetWindowID(focus)) || CoverOf(SDL_GetWindowID(focus)));
  }

 private:
  // Where each window's pictures go, and whether the next must be sent whole.
  struct Shown {
    std::unique_ptr<FrameTarget> target;
    Letterbox box;
    bool whole = true;
    bool failed = false;  // a target failed: the next is SDL's surface
    bool ownPixels = false;  // a mode's picture is drawn at the monitor's pixels, not the window's units
  };

  // A black window over a monitor other than the one a mode's window is on.
  struct Cover {
    SDL_Window* window = nullptr;
    MonitorRect at;
    std::unique_ptr<WaylandFrames> frames;  // Wayland: its black
  };

  SdlPresenter() = default;

  SDL_Window* Get(NativeId id) {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second;
  }

  NativeId IdOf(Uint32 sdlId) {
    auto it = ids_.find(sdlId);
    return it == ids_.end() ? 0 : it->second;
  }

  void Push(NativeEvent e) { ready_.push_back(std::move(e)); }

  // After these the window may no longer show what was sent to it: uncovered (exposed),
  // shown again, moved to another place or monitor, resized. The next picture goes whole.
  static bool LosesPicture(Uint8 event) {
    switch (event) {
      case SDL_WINDOWEVENT_EXPOSED:
      case SDL_WINDOWEVENT_SHOWN:
      case SDL_WINDOWEVENT_RESTORED:
      case SDL_WINDOWEVENT_MOVED:
      case SDL_WINDOWEVENT_SIZE_CHANGED:
      case SDL_WINDOWEVENT_DISPLAY_CHANGED:
        return true;
      default:
        return false;
    }
  }

  // The program's screen on the monitor while a mode is set.
  Letterbox MonitorBox() {
    int w = 0, h = 0;
    ScreenSize(&w, &h);
    return FitLetterbox(logicalWidth_, logicalHeight_, w, h);
  }

  // Where a window that is not full-screen goes on the monitor: its own size, at its
  // position mapped from the program's screen.
  POINT OnMonitor(const NativeShape& shape) {
    int x = shape.client.left, y = shape.client.top;
    if (logicalWidth_ && !shape.fullScreen) {
      MonitorBox().ToScreen(&x, &y);
      x += Primary().x;
      y += Primary().y;
    }
    return POINT{x, y};
  }

  const MonitorRect& Primary() const { return monitors_.front(); }

  void RefreshMonitors() {
    monitors_.clear();
    if (monitorList_) monitors_ = monitorList_->List();
    if (!monitors_.empty()) return;
    // A server without monitors of its own: SDL's displays, the first being the primary.
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
      SDL_Rect r;
      if (SDL_GetDisplayBounds(i, &r) == 0 && r.w > 0 && r.h > 0) monitors_.push_back(MonitorRect{r.x, r.y, r.w, r.h});
    }
    if (monitors_.empty()) monitors_.push_back(MonitorRect{0, 0, 1024, 768});
  }

  // Puts a full-screen window on the primary monitor, or `on` another one. SDL is asked
  // for full screen only where one of its displays is that monitor: monitors that share an
  // output are a single display to SDL, which would stretch the window over all of them.
  void PlaceFullScreen(SDL_Window* w, const MonitorRect* on = nullptr) {
    const MonitorRect& m = on ? *on : Primary();
    bool sdlKnowsIt = false;
    for (int i = 0; i < SDL_GetNumVideoDisplays() && !sdlKnowsIt; ++i) {
      SDL_Rect r;
      sdlKnowsIt = SDL_GetDisplayBounds(i, &r) == 0 && MonitorRect{r.x, r.y, r.w, r.h} == m;
    }
    // Only a window manager makes a window full-screen, and SDL, once the window is shown,
    // asks it and then waits up to a tenth of a second for the window to change. So SDL asks
    // only where a window manager will answer, and the window keeps its own size until then,
    // which the answer changes at once; elsewhere the window is put over the monitor itself.
    const bool byWindowManager = sdlKnowsIt && WindowManagerDoesFullScreen(w);
    if (!byWindowManager && (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN)) SDL_SetWindowFullscreen(w, 0);
    SDL_SetWindowPosition(w, m.x, m.y);
    if (byWindowManager) {
      SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
      SDL_SetWindowSize(w, m.width, m.height);
    }
  }

  // While a mode's full-screen window is shown on the primary monitor, every other monitor
  // is covered with black, and what happens on a cover happens on that window.
  void UpdateCovers() {
    NativeId holder = 0;
    if (logicalWidth_) {
      for (auto& [id, w] : windows_) {
        if (shapes_[id].fullScreen && (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN)) {
          holder = id;
          break;
        }
      }
    }
    if (holder == coveredFor_) return;
    DropCovers();
    coveredFor_ = holder;
    if (!holder) return;
    // With covers the pointer cannot leave our windows, so it need never be held for one
    // of them; SDL would hold it for the window with the keyboard focus and then report it
    // there and on the cover under it by turns, each a move of its own though nothing moved.
    SDL_CaptureMouse(SDL_FALSE);
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    for (const MonitorRect& m : MonitorsToCover(monitors_)) {
      SDL_Window* cover = SDL_CreateWindow("", m.x, m.y, m.width, m.height,
                                           SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP |
                                               SDL_WINDOW_SKIP_TASKBAR);
      if (!cover) continue;
      covers_.push_back(Cover{cover, m, nullptr});
      PlaceFullScreen(cover, &m);
      SDL_ShowWindow(cover);
      PaintCover(covers_.back());
    }
  }

  void DropCovers() {
    if (coveredFor_) SDL_ResetHint(SDL_HINT_MOUSE_AUTO_CAPTURE);
    for (Cover& c : covers_) {
      c.frames.reset();
      SDL_DestroyWindow(c.window);
    }
    covers_.clear();
    coveredFor_ = 0;
  }

  Cover* FindCover(Uint32 sdlId) {
    for (Cover& c : covers_) {
      if (SDL_GetWindowID(c.window) == sdlId) return &c;
    }
    return nullptr;
  }

  const MonitorRect* CoverOf(Uint32 sdlId) {
    const Cover* c = FindCover(sdlId);
    return c ? &c->at : nullptr;
  }

  void PaintCover(Cover& cover) {
    if (wayland_) {
      if (!cover.frames) cover.frames = MakeFrames(cover.window);
      int width = 0, height = 0;
      SDL_GetWindowSize(cover.window, &width, &height);
      if (cover.frames) cover.frames->ShowBlack(width, height);
      return;
    }
    if (SDL_Surface* s = SDL_GetWindowSurface(cover.window)) {
      SDL_FillRect(s, nullptr, 0);
      SDL_UpdateWindowSurface(cover.window);
    }
  }

  // ---- Wayland: frames in buffers of our own (Wayland.h).

  std::unique_ptr<WaylandFrames> MakeFrames(SDL_Window* w) { return WaylandFrames::For(w, &waylandDisplay_); }

  // Wayland compositors (and their X servers) keep no window above a full-screen one
  // unless it belongs to it: sway shows such a window and hides any other. So a window
  // shown while one of ours covers the screen (the password prompt over the saver) is
  // made that one's child, and a window with an owner its owner's.
  void BelongToFullScreen(NativeId id, SDL_Window* w) {
    SDL_Window* parent = Get(shapes_[id].owner);
    for (auto& [other, window] : windows_) {
      if (parent) break;
      if (other != id && shapes_[other].fullScreen && (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN)) parent = window;
    }
    if (!parent || parent == w) return;
    if (!wayland_) MarkAsXDialog(w);
    SDL_SetWindowModalFor(w, parent);
  }

  // A dialog's size is its own: tiling compositors (sway) would otherwise stretch it over
  // the screen. A Wayland window of fixed size (its least and largest size the same) is
  // one they float at that size, as they do a dialog. SDL drops the size limits of a
  // window without its role yet, so they are given once it is shown, before its first
  // frame maps it.
  void FixSizeOnWayland(NativeId id, SDL_Window* w) {
    const NativeShape& shape = shapes_[id];
    if (shape.fullScreen || shape.resizable || !shape.bordered) return;
    int width = 0, height = 0;
    SDL_GetWindowSize(w, &width, &height);
    SDL_SetWindowMinimumSize(w, width, height);
    SDL_SetWindowMaximumSize(w, width, height);
  }

  // Where a window's pictures go: on Wayland buffers of our own, once the compositor has
  // configured the window (shown it); on X the window's X window, or SDL's surface for it.
  bool MakeTarget(SDL_Window* w, Shown* shown) {
    shown->whole = true;
    if (wayland_) {
      if (!(SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN)) return false;
      std::unique_ptr<WaylandFrames> frames = MakeFrames(w);
      if (!frames) return false;
      auto target = std::make_unique<WaylandTarget>(w, std::move(frames));
      shown->ownPixels = target->HasPixelsOfItsOwn() && monitorList_;
      shown->target = std::move(target);
      return true;
    }
    // A window whose X target failed once keeps SDL's surface rather than failing again.
    std::string why = shown->failed ? "drawing through X failed" : "";
    if (!shown->failed) shown->target = MakeXTarget(w, scaling_, &why);
    if (!shown->target) shown->target = MakeSdlSurfaceTarget(w);
    if (!why.empty() && debug_) std::fprintf(stderr, "pellora: presenting through SDL's window surface: %s\n", why.c_str());
    return true;
  }

  // Wayland tells a program only where the pointer is over its own windows, and where
  // those are on the desktop not at all: the program's own idea of where it put them
  // stands in.
  bool PointerOverOurWindows(int* x, int* y) {
    SDL_Window* focus = SDL_GetMouseFocus();
    if (!focus) return false;
    NativeEvent n;
    SDL_GetMouseState(&n.x, &n.y);
    const Uint32 sdlId = SDL_GetWindowID(focus);
    n.window = IdOf(sdlId);
    if (n.window && logicalWidth_ && shapes_[n.window].fullScreen) {
      ToProgram(n.window, &n.x, &n.y);
    } else if (n.window) {
      n.x += shapes_[n.window].client.left;
      n.y += shapes_[n.window].client.top;
    } else if (!FromCover(sdlId, &n, true)) {
      return false;
    }
    *x = n.x;
    *y = n.y;
    return true;
  }

  // Input on a cover, as input on the window it covers for: the pointer's place on the
  // desktop seen from the primary monitor, which the window's own mapping then clamps.
  bool FromCover(Uint32 sdlId, NativeEvent* n, bool pointer) {
    const MonitorRect* at = CoverOf(sdlId);
    if (!at || !coveredFor_) return false;
    n->window = coveredFor_;
    if (pointer) {
      n->x += at->x - Primary().x;
      n->y += at->y - Primary().y;
      ToProgram(n->window, &n->x, &n->y);
    }
    return true;
  }

  // Pointer positions over a mode's full-screen window are in the program's pixels.
  void ToProgram(NativeId id, int* x, int* y) {
    if (!logicalWidth_ || !shapes_[id].fullScreen) return;
    SDL_Window* w = Get(id);
    int width = 0, height = 0;
    if (w) SDL_GetWindowSize(w, &width, &height);
    if (width <= 0 || height <= 0) return;
    FitLetterbox(logicalWidth_, logicalHeight_, width, height).ToSource(x, y);
  }

  // A move to where the pointer already was in that window is none: X servers report the
  // pointer coming back into a window where it left it (XWayland does so whenever the
  // compositor gives a window of ours the pointer again) as a move.
  bool Moved(const SDL_MouseMotionEvent& motion) {
    auto last = lastMove_.find(motion.windowID);
    if (last != lastMove_.end() && last->second.x == motion.x && last->second.y == motion.y) return false;
    lastMove_[motion.windowID] = POINT{motion.x, motion.y};
    return true;
  }

  void Translate(const SDL_Event& e) {
    NativeEvent n;
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        n.kind = e.type == SDL_KEYDOWN ? NativeEvent::KeyDown : NativeEvent::KeyUp;
        n.window = IdOf(e.key.windowID);
        n.vk = VkFromKeycode(e.key.keysym.sym, e.key.keysym.scancode);
        n.repeat = e.key.repeat != 0;
        n.textFollows = e.type == SDL_KEYDOWN && Printable(e.key.keysym.sym) && !(e.key.keysym.mod & KMOD_CTRL);
        if (!n.window) FromCover(e.key.windowID, &n, false);
        if (n.vk == 0) return;
        Push(n);
        return;
      case SDL_TEXTINPUT:
        n.kind = NativeEvent::Text;
        n.window = IdOf(e.text.windowID);
        n.text = Latin1(e.text.text);
        if (!n.window) FromCover(e.text.windowID, &n, false);
        if (n.text.empty()) return;
        Push(n);
        return;
      case SDL_MOUSEMOTION:
        if (!Moved(e.motion)) return;
        n.kind = NativeEvent::MouseMove;
        n.window = IdOf(e.motion.windowID);
        n.x = e.motion.x;
        n.y = e.motion.y;
        if (n.window) {
          ToProgram(n.window, &n.x, &n.y);
        } else if (!FromCover(e.motion.windowID, &n, true)) {
          return;
        }
        Push(n);
        return;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        n.kind = e.type == SDL_MOUSEBUTTONDOWN ? NativeEvent::ButtonDown : NativeEvent::ButtonUp;
        n.window = IdOf(e.button.windowID);
        n.x = e.button.x;
        n.y = e.button.y;
        n.button = e.button.button == SDL_BUTTON_LEFT ? 1 : e.button.button == SDL_BUTTON_MIDDLE ? 2
                   : e.button.button == SDL_BUTTON_RIGHT ? 3 : 0;
        if (!n.button) return;
        if (n.window) {
          ToProgram(n.window, &n.x, &n.y);
        } else if (!FromCover(e.button.windowID, &n, true)) {
          return;
        }
        Push(n);
        return;
      case SDL_MOUSEWHEEL:
        n.kind = NativeEvent::Wheel;
        n.window = IdOf(e.wheel.windowID);
        n.x = e.wheel.mouseX;
        n.y = e.wheel.mouseY;
        // Touchpads turn the wheel by fractions of a notch; a "natural" setting flips it.
        n.wheel = static_cast<int>(std::lround(e.wheel.preciseY * 120.0f)) *
                  (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1);
        if (!n.window && !FromCover(e.wheel.windowID, &n, true)) return;
        Push(n);
        return;
      case SDL_WINDOWEVENT:
        n.window = IdOf(e.window.windowID);
        if (!n.window) {
          // A cover only repaints itself; its focus is the focus of the window it covers
          // for, so moving between the two is no deactivation.
          Cover* cover = FindCover(e.window.windowID);
          if (!cover) return;
          if (e.window.event == SDL_WINDOWEVENT_EXPOSED || (wayland_ && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
            PaintCover(*cover);
          }
          if (e.window.event != SDL_WINDOWEVENT_FOCUS_GAINED && e.window.event != SDL_WINDOWEVENT_FOCUS_LOST) return;
          FromCover(e.window.windowID, &n, false);
        }
        if (LosesPicture(e.window.event)) shown_[n.window].whole = true;
        switch (e.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED: n.kind = NativeEvent::FocusGained; break;
          case SDL_WINDOWEVENT_FOCUS_LOST: n.kind = NativeEvent::FocusLost; break;
          case SDL_WINDOWEVENT_CLOSE: n.kind = NativeEvent::CloseRequest; break;
          case SDL_WINDOWEVENT_MINIMIZED: n.kind = NativeEvent::Minimized; break;
          case SDL_WINDOWEVENT_RESTORED: n.kind = NativeEvent::Restored; break;
          case SDL_WINDOWEVENT_EXPOSED: n.kind = NativeEvent::Exposed; break;
          case SDL_WINDOWEVENT_MOVED:
            n.kind = NativeEvent::Moved;
            n.x = e.window.data1;
            n.y = e.window.data2;
            if (logicalWidth_) {
              if (shapes_[n.window].fullScreen) return;  // it stays where the mode put it
              n.x -= Primary().x;
              n.y -= Primary().y;
              MonitorBox().ToSource(&n.x, &n.y);
            }
            break;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            // A full-screen window's size is the screen's, not one its owner asked for. On
            // Wayland its frame is then drawn again at the new size.
            if (shapes_[n.window].fullScreen) {
              if (!wayland_) return;
              n.kind = NativeEvent::Exposed;
              break;
            }
            n.kind = NativeEvent::Resized;
            n.x = e.window.data1;
            n.y = e.window.data2;
            break;
          default:
            return;
        }
        Push(n);
        return;
      default:
        return;  // the wake event and the rest carry nothing for us
    }
  }

  std::map<NativeId, SDL_Window*> windows_;
  std::map<Uint32, NativeId> ids_;
  std::map<NativeId, NativeShape> shapes_;
  std::map<int, SDL_Cursor*> cursors_;
  std::deque<SDL_Event> waited_;
  std::deque<NativeEvent> ready_;
  std::map<Uint32, POINT> lastMove_;  // where each SDL window last saw the pointer move to
  Uint32 wakeEvent_ = 0;
  int logicalWidth_ = 0;
  int logicalHeight_ = 0;
  std::map<NativeId, Shown> shown_;
  const XScaling scaling_ = ScalingAsked();
  const bool debug_ = SDL_getenv("PELLORA_DEBUG") != nullptr;
  bool wayland_ = false;  // SDL's Wayland driver, not X11's
  std::unique_ptr<MonitorList> monitorList_;  // the display system's own; may be null
  std::vector<MonitorRect> monitors_;  // the primary first; never empty once made
  wl_display* waylandDisplay_ = nullptr;  // SDL's connection, known from the first window
  std::vector<Cover> covers_;
  NativeId coveredFor_ = 0;  // the full-screen window the covers stand in for
};

}  // namespace

std::unique_ptr<FrameTarget> MakeSdlSurfaceTarget(SDL_Window* window) {
  return std::make_unique<SdlSurfaceTarget>(window);
}

std::unique_ptr<Presenter> MakeSdlPresenter(DisplaySystem system, std::string* error) {
  return SdlPresenter::Make(system, error);
}

}  // namespace window_internal
