// Showing pictures on an X server through shared memory, in one of two ways:
//  - scaled here: the changed parts are converted and scaled straight into a shared-memory
//    image of the window's size, and the server copies those rectangles onto the window;
//  - scaled by the server: the changed parts go 1:1 into a shared-memory image of the
//    picture's size, the server copies them into a pixmap of that size and composites
//    them onto the window through RENDER with a nearest-pixel transform.
// On a server that draws with a GPU the second costs this machine almost nothing. On one
// that draws in software (Xvfb, a VNC server) it depends on how much the picture grows:
// scaled here, every screen pixel that changed is written twice (by us into the image, by
// the server onto the window), scaled by the server once, but the server then also copies
// the changed parts at the picture's size and its general compositing pays more per pixel
// than a copy. Measured side by side, the server's way costs less once the picture covers
// twice its own pixels on the screen or more (an 800 x 600 mode on a 1920 x 1080 monitor and
// up), ours below that. Both give the same pixels: the transform is chosen so that each
// screen pixel samples exactly the picture pixel the letterbox rule names, and where no
// transform of RENDER's fixed-point precision can do that, the picture is scaled here.
//
// Xlib stays in this file, after our own headers: its macros clash with their names.
#include "platform/window/FrameTarget.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace window_internal {

namespace {

// ---------------------------------------------------------------------------------------
// What a server offers, asked when a window's target is made.

struct Server {
  bool shm = false;       // shared memory that works (a server on another machine has none)
  bool render = false;    // RENDER with transforms and filters (0.6 and later)
  bool gpu = false;       // draws with a GPU: it offers direct rendering to clients (DRI3)
  XRenderPictFormat* rgb24 = nullptr;
};

int gXError = Success;
int RecordXError(Display*, XErrorEvent* error) {
  gXError = error->error_code;
  return 0;
}

// Runs `request` with X errors recorded rather than reported; answers whether it failed.
template <class Request>
bool FailsOnServer(Display* display, Request request) {
  XSync(display, False);
  gXError = Success;
  int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(RecordXError);
  request();
  XSync(display, False);
  XSetErrorHandler(previous);
  return gXError != Success;
}

// A shared-memory image that the server reads.
struct SharedImage {
  Display* display = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo segment{};

  SharedImage() = default;
  SharedImage(const SharedImage&) = delete;
  SharedImage& operator=(const SharedImage&) = delete;
  ~SharedImage() { Drop(); }

  bool Make(Display* d, Visual* visual, int depth, int width, int height) {
    Drop();
    display = d;
    image = XShmCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                            static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return false;
    if (image->bits_per_pixel != 32) return Fail();
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height),
                           IPC_CREAT | 0600);
    if (segment.shmid < 0) return Fail();
    segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) {
      shmctl(segment.shmid, IPC_RMID, nullptr);
      image->data = nullptr;
      return Fail();
    }
    segment.readOnly = True;
    const bool refused = FailsOnServer(d, [&] { XShmAttach(d, &segment); });
    // Marked for removal once both sides hold it (or the server refused it): it then goes
    // with the last detach, even when the process is killed.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (refused) {
      shmdt(segment.shmaddr);
      image->data = nullptr;
      return Fail();
    }
    return true;
  }
  bool Fail() {
    XDestroyImage(image);
    image = nullptr;
    return false;
  }
  void Drop() {
    if (!image) return;
    XShmDetach(display, &segment);
    XSync(display, False);
    shmdt(segment.shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    image = nullptr;
  }
  uint32_t* Pixels() const { return reinterpret_cast<uint32_t*>(image->data); }
  int Width() const { return image ? image->width : 0; }
  int Height() const { return image ? image->height : 0; }
};

Server ServerOf(Display* display, Visual* visual, int depth) {
  Server s;
  // Whether the segment really can be shared is only known by attaching one.
  SharedImage probe;
  s.shm = XShmQueryExtension(display) && probe.Make(display, visual, depth, 1, 1);
  int event = 0, error = 0, major = 0, minor = 0;
  s.render = XRenderQueryExtension(display, &event, &error) && XRenderQueryVersion(display, &major, &minor) &&
             (major > 0 || minor >= 6);
  if (s.render) s.rgb24 = XRenderFindStandardFormat(display, PictStandardRGB24);
  s.render = s.render && s.rgb24;
  int opcode = 0;
  s.gpu = XQueryExtension(display, "DRI3", &opcode, &event, &error);
  return s;
}

// ---------------------------------------------------------------------------------------
// Rectangles as the protocol takes them.

std::vector<XRectangle> ToX(std::span<const RECT> rects) {
  std::vector<XRectangle> out;
  out.reserve(rects.size());
  for (const RECT& r : rects) {
    out.push_back(XRectangle{static_cast<short>(r.left), static_cast<short>(r.top),
                             static_cast<unsigned short>(r.right - r.left), static_cast<unsigned short>(r.bottom - r.top)});
  }
  return out;
}

RECT Around(std::span<const RECT> rects) {
  RECT all = rects.front();
  for (const RECT& r : rects) {
    all.left = std::min(all.left, r.left);
    all.top = std::min(all.top, r.top);
    all.right = std::max(all.right, r.right);
    all.bottom = std::max(all.bottom, r.bottom);
  }
  return all;
}

// More rectangles than this in one frame go as the one around them: a request of a few
// thousand is still small, and such a frame changed nearly everywhere anyway.
constexpr size_t kMostRectangles = 8192;

// Copies the rectangles of `from` to the same place on `to`: as one request clipped to
// them, which the server takes as one region.
void PutRectangles(Display* d, Drawable to, GC gc, const SharedImage& from, std::span<const RECT> rects) {
  const RECT all = Around(rects);
  const bool clipped = rects.size() > 1 && rects.size() <= kMostRectangles;
  if (clipped) {
    std::vector<XRectangle> x = ToX(rects);
    XSetClipRectangles(d, gc, 0, 0, x.data(), static_cast<int>(x.size()), Unsorted);
  }
  XShmPutImage(d, to, gc, from.image, static_cast<int>(all.left), static_cast<int>(all.top), static_cast<int>(all.left),
               static_cast<int>(all.top), static_cast<unsigned>(all.right - all.left),
               static_cast<unsigned>(all.bottom - all.top), False);
  if (clipped) XSetClipMask(d, gc, None);
}

// ---------------------------------------------------------------------------------------
// The server's transform for a letterbox.

// RENDER samples the picture for screen column i of a composite at the fixed-point value
// m * i + k - 1 (16 fraction bits; k folds in the half-pixel centre and the offset) and
// takes the pixel it falls in. The letterbox rule wants the column i * source / width.
// Answers an m and k under which every column of the box gets exactly that, as far from
// the block edges as possible, or false when no m of 16 fraction bits does.
bool ExactSampling(int source, int extent, int64_t* m, int64_t* k) {
  const int64_t nearest = (int64_t{source} * 65536 + extent / 2) / extent;
  for (int64_t step : {0, 1, -1, 2, -2, 3, -3}) {
    const int64_t slope = nearest + step;
    int64_t low = INT64_MIN, high = INT64_MAX;  // the k that work for every column
    for (int64_t i = 0; i < extent && low <= high; ++i) {
      const int64_t s = i * source / extent;
      low = std::max(low, s * 65536 + 1 - slope * i);
      high = std::min(high, s * 65536 + 65536 - slope * i);
    }
    if (low <= high) {
      *m = slope;
      *k = low + (high - low) / 2;
      return true;
    }
  }
  return false;
}

bool ExactTransform(const Letterbox& box, XTransform* t) {
  int64_t mx = 0, kx = 0, my = 0, ky = 0;
  if (!ExactSampling(box.sourceWidth, box.width, &mx, &kx) || !ExactSampling(box.sourceHeight, box.height, &my, &ky))
    return false;
  // The server adds m / 2, rounded, for the pixel's centre; the rest is the offset.
  auto offset = [](int64_t m, int64_t k) { return k - ((m * 0x8000 + 0x8000) >> 16); };
  *t = XTransform{{{static_cast<XFixed>(mx), 0, static_cast<XFixed>(offset(mx, kx))},
                   {0, static_cast<XFixed>(my), static_cast<XFixed>(offset(my, ky))},
                   {0, 0, 65536}}};
  return true;
}

// ---------------------------------------------------------------------------------------
// The two ways.

// Every request the two make goes on SDL's own connection, in order with SDL's requests
// about the same window. The server reads a shared image when it gets to the request, so
// an image is written again only after a round trip has shown that it did.
class XConnection {
 public:
  XConnection(Display* d, ::Window w) : display(d), window(w) {}
  void Sent() {
    XFlush(display);
    pending_ = true;
  }
  void Settle() {
    if (pending_) XSync(display, False);
    pending_ = false;
  }
  Display* const display;
  const ::Window window;

 private:
  bool pending_ = false;
};

class ScaledHere : public MemoryTarget {
 public:
  ScaledHere(XConnection& x, Visual* visual, int depth) : x_(x), visual_(visual), depth_(depth) {
    gc_ = XCreateGC(x.display, x.window, 0, nullptr);
  }
  ~ScaledHere() override {
    x_.Settle();
    XFreeGC(x_.display, gc_);
  }
  std::string Describe(const Letterbox&) const override { return "scaled here into a shared-memory image"; }

 protected:
  uint32_t* Memory(int width, int height, ptrdiff_t* pitch, int* age) override {
    x_.Settle();
    *age = 1;
    if (image_.Width() != width || image_.Height() != height) {
      if (!image_.Make(x_.display, visual_, depth_, width, height)) return nullptr;
      *age = 0;
    }
    *pitch = image_.image->bytes_per_line;
    return image_.Pixels();
  }
  bool Send(std::span<const RECT> written) override {
    PutRectangles(x_.display, x_.window, gc_, image_, written);
    x_.Sent();
    return true;
  }

 private:
  XConnection& x_;
  Visual* visual_;
  int depth_;
  GC gc_ = nullptr;
  SharedImage image_;
};

class ScaledByServer : public FrameTarget {
 public:
  ScaledByServer(XConnection& x, Visual* visual, int depth, const Server& server)
      : x_(x), visual_(visual), depth_(depth), server_(server) {
    XGCValues black{};
    black.foreground = 0;
    windowGc_ = XCreateGC(x.display, x.window, GCForeground, &black);
    if (XRenderPictFormat* format = XRenderFindVisualFormat(x.display, visual))
      window_ = XRenderCreatePicture(x.display, x.window, format, 0, nullptr);
  }
  ~ScaledByServer() override {
    x_.Settle();
    DropPixmap();
    if (window_) XRenderFreePicture(x_.display, window_);
    XFreeGC(x_.display, windowGc_);
  }
  std::string Describe(const Letterbox&) const override {
    return "scaled by the X server (RENDER) from a pixmap of the picture's size";
  }
  // Whether the server can show pictures through this box exactly as the rule has them.
  static bool Exact(const Letterbox& box) {
    XTransform t;
    return ExactTransform(box, &t);
  }

  bool Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) override {
    if (!window_) return false;
    x_.Settle();
    if (image_.Width() != picture.width || image_.Height() != picture.height) {
      if (!MakePixmap(picture.width, picture.height)) return false;
      whole = true;
    }
    if (!(box == map_.Box())) {
      XTransform t;
      if (!ExactTransform(box, &t)) return false;
      XRenderSetPictureTransform(x_.display, source_, &t);
      map_ = LetterboxMap(box);
      whole = true;
    }
    const RECT all = picture.Bounds();
    const std::span<const RECT> parts = whole ? std::span<const RECT>(&all, 1) : changed;
    if (parts.empty()) return true;
    for (const RECT& r : parts) same_.Draw(picture, r, image_.Pixels(), image_.image->bytes_per_line);
    PutRectangles(x_.display, pixmap_, pixmapGc_, image_, parts);
    if (whole) FillBars(box);
    onScreen_.clear();
    for (const RECT& r : parts) {
      const RECT on = map_.OnScreen(r);
      if (on.right > on.left) onScreen_.push_back(on);
    }
    if (!onScreen_.empty()) Composite(box);
    x_.Sent();
    return true;
  }

 private:
  bool MakePixmap(int width, int height) {
    DropPixmap();
    if (!image_.Make(x_.display, visual_, depth_, width, height)) return false;
    pixmap_ = XCreatePixmap(x_.display, x_.window, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            static_cast<unsigned>(depth_));
    pixmapGc_ = XCreateGC(x_.display, pixmap_, 0, nullptr);
    XRenderPictureAttributes none{};
    source_ = XRenderCreatePicture(x_.display, pixmap_, server_.rgb24, 0, &none);
    XRenderSetPictureFilter(x_.display, source_, FilterNearest, nullptr, 0);
    same_ = LetterboxMap(AtCorner(width, height, width, height));
    map_ = LetterboxMap();
    return true;
  }
  void DropPixmap() {
    if (source_) XRenderFreePicture(x_.display, source_);
    if (pixmapGc_) XFreeGC(x_.display, pixmapGc_);
    if (pixmap_) XFreePixmap(x_.display, pixmap_);
    source_ = 0;
    pixmapGc_ = nullptr;
    pixmap_ = 0;
    image_.Drop();
  }
  void FillBars(const Letterbox& b) {
    const RECT bars[4] = {{0, 0, b.screenWidth, b.top},
                          {0, b.top + b.height, b.screenWidth, b.screenHeight},
                          {0, b.top, b.left, b.top + b.height},
                          {b.left + b.width, b.top, b.screenWidth, b.top + b.height}};
    for (const RECT& r : bars) {
      if (r.right > r.left && r.bottom > r.top)
        XFillRectangle(x_.display, x_.window, windowGc_, static_cast<int>(r.left), static_cast<int>(r.top),
                       static_cast<unsigned>(r.right - r.left), static_cast<unsigned>(r.bottom - r.top));
    }
  }
  // One composite over the rectangles around the parts, clipped to the parts.
  void Composite(const Letterbox& box) {
    const RECT all = Around(onScreen_);
    if (onScreen_.size() <= kMostRectangles) {
      std::vector<XRectangle> x = ToX(onScreen_);
      XRenderSetPictureClipRectangles(x_.display, window_, 0, 0, x.data(), static_cast<int>(x.size()));
    } else {
      XRectangle x{static_cast<short>(all.left), static_cast<short>(all.top),
                   static_cast<unsigned short>(all.right - all.left), static_cast<unsigned short>(all.bottom - all.top)};
      XRenderSetPictureClipRectangles(x_.display, window_, 0, 0, &x, 1);
    }
    XRenderComposite(x_.display, PictOpSrc, source_, 0, window_, static_cast<int>(all.left - box.left),
                     static_cast<int>(all.top - box.top), 0, 0, static_cast<int>(all.left), static_cast<int>(all.top),
                     static_cast<unsigned>(all.right - all.left), static_cast<unsigned>(all.bottom - all.top));
  }

  XConnection& x_;
  Visual* visual_;
  int depth_;
  const Server server_;
  GC windowGc_ = nullptr;
  ::Picture window_ = 0;
  SharedImage image_;
  Pixmap pixmap_ = 0;
  GC pixmapGc_ = nullptr;
  ::Picture source_ = 0;
  LetterboxMap same_;  // the picture onto the image, 1:1
  LetterboxMap map_;   // the picture onto the window
  std::vector<RECT> onScreen_;
};

// ---------------------------------------------------------------------------------------
// The target: one window, either way, chosen for each shape.

class XTarget : public FrameTarget {
 public:
  XTarget(Display* d, ::Window w, Visual* visual, int depth, const Server& server, XScaling scaling)
      : x_(d, w), visual_(visual), depth_(depth), server_(server), scaling_(scaling) {}

  bool Show(const Picture& picture, const Letterbox& box, std::span<const RECT> changed, bool whole) override {
    const bool byServer = ByServer(box);
    if (!way_ || byServer != wayByServer_) {
      // One way at a time: the other's images go, and the new one starts whole.
      way_.reset();
      if (byServer) {
        way_ = std::make_unique<ScaledByServer>(x_, visual_, depth_, server_);
      } else {
        way_ = std::make_unique<ScaledHere>(x_, visual_, depth_);
      }
      wayByServer_ = byServer;
      whole = true;
    }
    return way_->Show(picture, box, changed, whole);
  }

  std::string Describe(const Letterbox& box) const override {
    if (!ByServer(box)) {
      if (box.Unscaled()) return "through X shared memory, unscaled";
      const char* why = scaling_ == XScaling::Own   ? "as PELLORA_SCALING=own asks"
                        : !server_.render           ? "the server has no RENDER"
                        : !ScaledByServer::Exact(box) ? "RENDER cannot sample this shape exactly"
                                                      : "cheaper than the server's software scaling at this size";
      return std::string("through X shared memory, scaled here (") + why + ")";
    }
    const char* why = scaling_ == XScaling::Server ? "as PELLORA_SCALING=server asks"
                      : server_.gpu               ? "the server draws with a GPU"
                                                  : "cheaper than scaling here at this size";
    return std::string("through X shared memory, scaled by the X server's RENDER (") + why + ")";
  }

 private:
  // Decided once for a shape: finding the transform takes a pass over its columns.
  bool ByServer(const Letterbox& box) const {
    if (decided_ && box == decidedFor_) return byServer_;
    decided_ = true;
    decidedFor_ = box;
    byServer_ = false;
    if (server_.render && !box.Unscaled() && scaling_ != XScaling::Own && ScaledByServer::Exact(box)) {
      const bool grows = int64_t{box.width} * box.height >= 2 * int64_t{box.sourceWidth} * box.sourceHeight;
      byServer_ = scaling_ == XScaling::Server || server_.gpu || grows;
    }
    return byServer_;
  }

  XConnection x_;
  Visual* visual_;
  int depth_;
  const Server server_;
  XScaling scaling_;
  std::unique_ptr<FrameTarget> way_;
  bool wayByServer_ = false;
  mutable bool decided_ = false;
  mutable Letterbox decidedFor_;
  mutable bool byServer_ = false;
};

}  // namespace

std::unique_ptr<FrameTarget> MakeXTarget(SDL_Window* window, XScaling scaling, std::string* why) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
    *why = "the window is not on an X server";
    return nullptr;
  }
  Display* d = info.info.x11.display;
  const ::Window w = info.info.x11.window;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(d, w, &attributes) || !attributes.visual) {
    *why = "the X window cannot be read";
    return nullptr;
  }
  Visual* visual = attributes.visual;
  // The screen values here are 8-8-8 with red on top and nothing in the top byte: what a
  // window of depth 24 takes as it is (one of depth 32 would read that byte as its alpha).
  // SDL picks a direct-colour visual where there is one, with its colour map a ramp.
  if ((visual->c_class != TrueColor && visual->c_class != DirectColor) || attributes.depth != 24 ||
      visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) {
    *why = "the window's visual is not 8-8-8 colour of depth 24";
    return nullptr;
  }
  const Server server = ServerOf(d, visual, attributes.depth);
  if (!server.shm) {
    *why = "the X server cannot share memory with this program";
    return nullptr;
  }
  return std::make_unique<XTarget>(d, w, visual, attributes.depth, server, scaling);
}

}  // namespace window_internal
