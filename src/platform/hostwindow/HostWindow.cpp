#include "platform/hostwindow/HostWindow.h"

// Before Xlib, whose macros (None among them) would otherwise rewrite its names.
#include "platform/gdi/BitmapFormat.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {

// Xlib reports errors through one handler for the whole process. The window we draw into
// belongs to someone else and may be destroyed at any moment, between any two of our
// requests: that is the normal way for a lent window to end, so errors about it only mark
// it gone. Any other error is remembered for the one caller that checks (attaching shared
// memory, which a display on another machine refuses) and otherwise reported.
Window gWatched = 0;
bool gWatchedGone = false;
bool gTrapping = false;
int gLastError = Success;

int OnXError(Display* display, XErrorEvent* error) {
  const bool aboutWindow = error->error_code == BadWindow || error->error_code == BadDrawable;
  if (aboutWindow && error->resourceid == gWatched) {
    gWatchedGone = true;
    return 0;
  }
  gLastError = error->error_code;
  if (gTrapping) return 0;
  char text[160] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "pellora: X request %d failed: %s\n", error->request_code, text);
  return 0;
}

// The connection itself broke (the X server ended): there is nothing left to draw on.
int OnXIOError(Display*) {
  std::fprintf(stderr, "pellora: the connection to the X display was lost\n");
  std::_Exit(0);
}

class TXWindow final : public THostWindow {
 public:
  ~TXWindow() override {
    if (!FDisplay) return;
    FreeBuffer();
    if (FGc) XFreeGC(FDisplay, FGc);
    if (FOwn && FWindow) XDestroyWindow(FDisplay, FWindow);
    gWatched = 0;
    XCloseDisplay(FDisplay);
  }

  bool Init(const TTarget& target, std::string& error) {
    FDisplay = XOpenDisplay(nullptr);
    if (!FDisplay) {
      const char* name = std::getenv("DISPLAY");
      error = std::string("cannot open the X display ") + (name ? name : "(DISPLAY is not set)");
      return false;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    const Window root = DefaultRootWindow(FDisplay);
    switch (target.Kind) {
      case TTargetKind::OwnWindow: FWindow = MakeOwnWindow(target, root); break;
      case TTargetKind::RootWindow: FWindow = root; break;
      case TTargetKind::GivenWindow: FWindow = target.WindowId; break;
    }
    gWatched = FWindow;
    gWatchedGone = false;
    // Selected before the size is read, so that no resize in between goes unseen. Input
    // is never selected on a lent window: it belongs to the program that lent it.
    long events = StructureNotifyMask | ExposureMask;
    if (FOwn) events |= KeyPressMask;
    XSelectInput(FDisplay, FWindow, events);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(FDisplay, FWindow, &attributes) || gWatchedGone) {
      error = "there is no window " + HexId(FWindow);
      return false;
    }
    FVisual = attributes.visual;
    FDepth = attributes.depth;
    FFormat = bmp::PixelFormat{32, {static_cast<uint32_t>(FVisual->red_mask), static_cast<uint32_t>(FVisual->green_mask),
                                    static_cast<uint32_t>(FVisual->blue_mask)}};
    // MaskFault{} is MaskFault::None, which Xlib's None macro hides here.
    if (FVisual->c_class != TrueColor || (FDepth != 24 && FDepth != 32) ||
        bmp::CheckMasks(FFormat.masks, FFormat.bitCount) != bmp::MaskFault{}) {
      error = "window " + HexId(FWindow) + " has a visual this program cannot draw on (depth " +
              std::to_string(FDepth) + ", not true colour)";
      return false;
    }
    FGc = XCreateGC(FDisplay, FWindow, 0, nullptr);
    FUseShm = XShmQueryExtension(FDisplay);
    FRefreshRate = ReadRefreshRate(root);
    if (!MakeBuffer(attributes.width, attributes.height)) {
      error = "no memory for a frame buffer of " + std::to_string(attributes.width) + "x" +
              std::to_string(attributes.height);
      return false;
    }
    if (FOwn) {
      XMapWindow(FDisplay, FWindow);
    }
    XSync(FDisplay, False);
    return true;
  }

  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  uint32_t* Pixels() override { return reinterpret_cast<uint32_t*>(FImage->data); }
  int32_t Stride() const override { return FImage->bytes_per_line / 4; }
  int32_t RefreshRate() const override { return FRefreshRate; }

  uint32_t MapColor(uint8_t red, uint8_t green, uint8_t blue) const override { return FFormat.Pack(red, green, blue); }

  void Present(std::span<const TRect> rects) override {
    if (gWatchedGone) return;
    for (const TRect& r : rects) {
      const int32_t left = std::max(r.Left, 0), top = std::max(r.Top, 0);
      const int32_t right = std::min(r.Left + r.Width, FWidth), bottom = std::min(r.Top + r.Height, FHeight);
      if (right <= left || bottom <= top) continue;
      const auto w = static_cast<unsigned>(right - left), h = static_cast<unsigned>(bottom - top);
      if (FShmAttached) {
        XShmPutImage(FDisplay, FWindow, FGc, FImage, left, top, left, top, w, h, False);
      } else {
        XPutImage(FDisplay, FWindow, FGc, FImage, left, top, left, top, w, h);
      }
    }
    // The server reads shared memory when it gets to the request; waiting for it keeps the
    // next frame's drawing from changing pixels it has not read yet.
    XSync(FDisplay, False);
  }

  uint32_t Wait(int64_t deadlineNs, int wakeFd) override {
    uint32_t happened = heNone;
    for (;;) {
      while (XPending(FDisplay) > 0) {
        XEvent event;
        XNextEvent(FDisplay, &event);
        happened |= Handle(event);
      }
      if (gWatchedGone) happened |= heGone;
      if (happened != heNone) return happened;
      const int64_t left = deadlineNs - MonotonicNs();
      if (left <= 0) return heNone;
      pollfd fds[2] = {{ConnectionNumber(FDisplay), POLLIN, 0}, {wakeFd, POLLIN, 0}};
      const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
      const int ready = ppoll(fds, wakeFd >= 0 ? 2 : 1, &timeout, nullptr);
      if (ready < 0 && errno != EINTR) return heGone;
      if (wakeFd >= 0 && (fds[1].revents & POLLIN)) return heWoken;
    }
  }

 private:
  static std::string HexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
  }

  Window MakeOwnWindow(const TTarget& target, Window root) {
    FOwn = true;
    const int screen = DefaultScreen(FDisplay);
    const Window window = XCreateSimpleWindow(FDisplay, root, 0, 0, static_cast<unsigned>(target.Width),
                                              static_cast<unsigned>(target.Height), 0, BlackPixel(FDisplay, screen),
                                              BlackPixel(FDisplay, screen));
    XStoreName(FDisplay, window, target.Title.c_str());
    FDeleteAtom = XInternAtom(FDisplay, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(FDisplay, window, &FDeleteAtom, 1);
    return window;
  }

  int32_t ReadRefreshRate(Window root) {
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(FDisplay, &eventBase, &errorBase)) return 0;
    XRRScreenConfiguration* config = XRRGetScreenInfo(FDisplay, root);
    if (!config) return 0;
    const short rate = XRRConfigCurrentRate(config);
    XRRFreeScreenConfigInfo(config);
    return rate > 0 ? rate : 0;
  }

  uint32_t Handle(const XEvent& event) {
    switch (event.type) {
      case ConfigureNotify:
        if (event.xconfigure.window != FWindow) return heNone;
        if (event.xconfigure.width == FWidth && event.xconfigure.height == FHeight) return heNone;
        FreeBuffer();
        if (!MakeBuffer(event.xconfigure.width, event.xconfigure.height)) {
          std::fprintf(stderr, "pellora: no memory for a frame buffer of %dx%d\n", event.xconfigure.width,
                       event.xconfigure.height);
          return heGone;
        }
        return heResized;
      case Expose:
        return event.xexpose.window == FWindow ? heExposed : heNone;
      case DestroyNotify:
        if (event.xdestroywindow.window != FWindow) return heNone;
        gWatchedGone = true;
        return heGone;
      case KeyPress: {
        XKeyEvent key = event.xkey;
        const KeySym sym = XLookupKeysym(&key, 0);
        return sym == XK_q || sym == XK_Q || sym == XK_Escape ? heQuitKey : heNone;
      }
      case ClientMessage:
        return FOwn && static_cast<Atom>(event.xclient.data.l[0]) == FDeleteAtom ? heQuitKey : heNone;
      default:
        return heNone;
    }
  }

  bool MakeBuffer(int width, int height) {
    FWidth = std::max(width, 1);
    FHeight = std::max(height, 1);
    if (FUseShm && MakeSharedBuffer()) return true;
    // A display on another machine cannot share memory with us; plain requests carry
    // the same pixels.
    const size_t rowBytes = static_cast<size_t>(FWidth) * 4;
    char* data = static_cast<char*>(std::calloc(rowBytes * static_cast<size_t>(FHeight), 1));
    if (!data) return false;
    FImage = XCreateImage(FDisplay, FVisual, static_cast<unsigned>(FDepth), ZPixmap, 0, data,
                          static_cast<unsigned>(FWidth), static_cast<unsigned>(FHeight), 32, static_cast<int>(rowBytes));
    if (!FImage || FImage->bits_per_pixel != 32) {
      if (FImage) XDestroyImage(FImage);
      else std::free(data);
      FImage = nullptr;
      return false;
    }
    FillBlack();
    return true;
  }

  bool MakeSharedBuffer() {
    FImage = XShmCreateImage(FDisplay, FVisual, static_cast<unsigned>(FDepth), ZPixmap, nullptr, &FShm,
                             static_cast<unsigned>(FWidth), static_cast<unsigned>(FHeight));
    if (!FImage) return false;
    if (FImage->bits_per_pixel != 32) return DropSharedImage();
    FShm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(FImage->bytes_per_line) * static_cast<size_t>(FHeight),
                        IPC_CREAT | 0600);
    if (FShm.shmid < 0) return DropSharedImage();
    FShm.shmaddr = FImage->data = static_cast<char*>(shmat(FShm.shmid, nullptr, 0));
    if (FShm.shmaddr == reinterpret_cast<char*>(-1)) {
      shmctl(FShm.shmid, IPC_RMID, nullptr);
      FImage->data = nullptr;
      return DropSharedImage();
    }
    FShm.readOnly = False;
    gLastError = Success;
    gTrapping = true;
    XShmAttach(FDisplay, &FShm);
    XSync(FDisplay, False);
    gTrapping = false;
    // Marked for removal at once: the segment then goes with the last detach, even when
    // the process is killed.
    shmctl(FShm.shmid, IPC_RMID, nullptr);
    if (gLastError != Success) {
      shmdt(FShm.shmaddr);
      FImage->data = nullptr;
      FUseShm = false;
      return DropSharedImage();
    }
    FShmAttached = true;
    FillBlack();
    return true;
  }

  bool DropSharedImage() {
    XDestroyImage(FImage);
    FImage = nullptr;
    return false;
  }

  void FillBlack() {
    const uint32_t black = MapColor(0, 0, 0);
    uint32_t* p = Pixels();
    std::fill(p, p + static_cast<size_t>(Stride()) * static_cast<size_t>(FHeight), black);
  }

  void FreeBuffer() {
    if (!FImage) return;
    if (FShmAttached) {
      XShmDetach(FDisplay, &FShm);
      XSync(FDisplay, False);
      shmdt(FShm.shmaddr);
      FImage->data = nullptr;
      FShmAttached = false;
    }
    XDestroyImage(FImage);
    FImage = nullptr;
  }

  Display* FDisplay = nullptr;
  Window FWindow = 0;
  bool FOwn = false;
  Atom FDeleteAtom = 0;
  Visual* FVisual = nullptr;
  int FDepth = 0;
  bmp::PixelFormat FFormat;  // the visual's, for the 32-bit values of the frame buffer
  GC FGc = nullptr;
  bool FUseShm = false;
  bool FShmAttached = false;
  XShmSegmentInfo FShm{};
  XImage* FImage = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FRefreshRate = 0;
};

}  // namespace

std::unique_ptr<THostWindow> THostWindow::Open(const TTarget& target, std::string& error) {
  auto window = std::make_unique<TXWindow>();
  if (!window->Init(target, error)) return nullptr;
  return window;
}

}  // namespace host
