// Frames on a Wayland surface in shared-memory buffers of our own: see Wayland.h.
#include <SDL.h>
#include <SDL_syswm.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <climits>
#include <cstring>

#include "platform/window/Wayland.h"
#include "viewporter-client-protocol.h"

namespace window_internal {

namespace {

struct Buffer {
  wl_buffer* buffer = nullptr;
  void* pixels = nullptr;
  size_t bytes = 0;
  int width = 0;
  int height = 0;
  bool busy = false;   // attached and not yet given back by the compositor
  bool stale = false;  // of a size no longer wanted: goes as soon as it is given back
  uint64_t layout = 0;  // how the frame it holds was laid out; 0 for none yet
};

// Three buffers at most: one being drawn, one shown, one the compositor may still read.
constexpr int kMostBuffers = 3;

void FreeBuffer(Buffer* b) {
  if (b->buffer) wl_buffer_destroy(b->buffer);
  if (b->pixels) munmap(b->pixels, b->bytes);
  delete b;
}

}  // namespace

struct WaylandFrames::Impl {
  wl_display* display = nullptr;
  wl_surface* surface = nullptr;
  // Our objects' events go to a queue of their own, so that SDL, which dispatches the
  // display's default queue, never sees them and we never take SDL's.
  wl_event_queue* queue = nullptr;
  wl_display* wrapper = nullptr;
  wl_registry* registry = nullptr;
  wl_shm* shm = nullptr;
  wp_viewporter* viewporter = nullptr;
  wp_viewport* viewport = nullptr;
  std::vector<Buffer*> buffers;
  Buffer* drawing = nullptr;  // the one Begin gave out
  uint64_t shownLayout = 0;   // of the frame on the surface now
  Buffer* black = nullptr;    // one black pixel, scaled over the window

  static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* self = static_cast<Impl*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0 && !self->shm) {
      self->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0 && !self->viewporter) {
      self->viewporter = static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
    }
  }
  static void GlobalRemove(void*, wl_registry*, uint32_t) {}
  static constexpr wl_registry_listener kRegistry{Global, GlobalRemove};

  static void Released(void* data, wl_buffer*) {
    auto* b = static_cast<Buffer*>(data);
    b->busy = false;
  }
  static constexpr wl_buffer_listener kBuffer{Released};

  Buffer* Make(int width, int height) {
    if (!shm || width <= 0 || height <= 0 || width > INT32_MAX / 4 / height) return nullptr;
    const int pitch = width * 4;
    const size_t bytes = static_cast<size_t>(pitch) * static_cast<size_t>(height);
    const int fd = memfd_create("pellora-frame", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    auto* b = new Buffer{};
    b->bytes = bytes;
    b->width = width;
    b->height = height;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
      void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (map != MAP_FAILED) b->pixels = map;
    }
    if (b->pixels) {
      wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
      b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, pitch, WL_SHM_FORMAT_XRGB8888);
      wl_shm_pool_destroy(pool);
      wl_buffer_add_listener(b->buffer, &kBuffer, b);
    }
    close(fd);
    if (!b->buffer) {
      FreeBuffer(b);
      return nullptr;
    }
    return b;
  }

  // Lets go of the buffers nobody needs any more: those of another size, once given back.
  void Tidy(int width, int height) {
    for (size_t i = 0; i < buffers.size();) {
      Buffer* b = buffers[i];
      if (b->width != width || b->height != height) b->stale = true;
      if (b->stale && !b->busy) {
        FreeBuffer(b);
        buffers.erase(buffers.begin() + static_cast<ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }

  Buffer* Free() {
    for (Buffer* b : buffers) {
      if (!b->busy && !b->stale) return b;
    }
    return nullptr;
  }

  // The compositor sees the buffer at the window's logical size, whatever its pixels.
  void Fit(int bufferWidth, int bufferHeight, int logicalWidth, int logicalHeight) {
    const bool scaled = bufferWidth != logicalWidth || bufferHeight != logicalHeight;
    if (!viewporter || (!scaled && !viewport)) return;
    if (!viewport) viewport = wp_viewporter_get_viewport(viewporter, surface);
    if (scaled) {
      wp_viewport_set_destination(viewport, logicalWidth, logicalHeight);
    } else {
      wp_viewport_set_destination(viewport, -1, -1);
    }
  }

  void Attach(Buffer* b, const PixelRect& changed) {
    wl_surface_attach(surface, b->buffer, 0, 0);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface)) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
      wl_surface_damage_buffer(surface, changed.left, changed.top, changed.right - changed.left,
                               changed.bottom - changed.top);
    } else {
      wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    }
    wl_surface_commit(surface);
    b->busy = true;
    wl_display_flush(display);
  }
};

WaylandFrames::WaylandFrames(wl_display* display, wl_surface* surface) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.display = display;
  d.surface = surface;
  d.queue = wl_display_create_queue(display);
  d.wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(d.wrapper), d.queue);
  d.registry = wl_display_get_registry(d.wrapper);
  wl_registry_add_listener(d.registry, &Impl::kRegistry, &d);
  wl_display_roundtrip_queue(display, d.queue);
}

WaylandFrames::~WaylandFrames() {
  Impl& d = *impl_;
  for (Buffer* b : d.buffers) FreeBuffer(b);
  if (d.black) FreeBuffer(d.black);
  if (d.viewport) wp_viewport_destroy(d.viewport);
  if (d.viewporter) wp_viewporter_destroy(d.viewporter);
  if (d.shm) wl_shm_destroy(d.shm);
  wl_registry_destroy(d.registry);
  wl_proxy_wrapper_destroy(d.wrapper);
  wl_display_flush(d.display);
  wl_event_queue_destroy(d.queue);
}

std::unique_ptr<WaylandFrames> WaylandFrames::For(SDL_Window* window, wl_display** display) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND) return nullptr;
  *display = info.info.wl.display;
  auto frames = std::make_unique<WaylandFrames>(info.info.wl.display, info.info.wl.surface);
  if (!frames->Usable()) return nullptr;
  return frames;
}

bool WaylandFrames::Usable() const { return impl_->shm != nullptr; }
bool WaylandFrames::Scales() const { return impl_->viewporter != nullptr; }

uint32_t* WaylandFrames::Begin(int width, int height, uint64_t layout, int* pitch, bool* sameLayout) {
  Impl& d = *impl_;
  d.drawing = nullptr;
  wl_display_dispatch_queue_pending(d.display, d.queue);
  d.Tidy(width, height);
  Buffer* b = d.Free();
  if (!b && d.buffers.size() >= 2) {
    // Both are still read: the compositor's word that one is free may be on its way. A
    // third buffer only when it is not, since at 4K each is 33 MB.
    if (wl_display_roundtrip_queue(d.display, d.queue) < 0) return nullptr;
    b = d.Free();
  }
  if (!b && d.buffers.size() < kMostBuffers) {
    b = d.Make(width, height);
    if (b) d.buffers.push_back(b);
  }
  if (!b) return nullptr;
  d.drawing = b;
  *pitch = b->width * 4;
  *sameLayout = layout != 0 && b->layout == layout;
  b->layout = layout;
  return static_cast<uint32_t*>(b->pixels);
}

void WaylandFrames::Show(const PixelRect& changed, int logicalWidth, int logicalHeight) {
  Impl& d = *impl_;
  Buffer* b = d.drawing;
  d.drawing = nullptr;
  if (!b) return;
  d.Fit(b->width, b->height, logicalWidth, logicalHeight);
  const bool sameAsShown = b->layout != 0 && b->layout == d.shownLayout;
  d.shownLayout = b->layout;
  d.Attach(b, sameAsShown ? changed : PixelRect{0, 0, b->width, b->height});
}

void WaylandFrames::ShowBlack(int logicalWidth, int logicalHeight) {
  Impl& d = *impl_;
  if (!d.viewporter) {
    // Nothing to scale with: black as large as the window.
    int pitch = 0;
    bool same = false;
    if (uint32_t* pixels = Begin(logicalWidth, logicalHeight, 1, &pitch, &same)) {
      if (!same) std::memset(pixels, 0, static_cast<size_t>(pitch) * static_cast<size_t>(logicalHeight));
      Show(PixelRect{0, 0, logicalWidth, logicalHeight}, logicalWidth, logicalHeight);
    }
    return;
  }
  if (!d.black) {
    d.black = d.Make(1, 1);
    if (!d.black) return;
    std::memset(d.black->pixels, 0, 4);
  }
  d.Fit(1, 1, logicalWidth, logicalHeight);
  d.shownLayout = 0;
  d.Attach(d.black, PixelRect{0, 0, 1, 1});
}

}  // namespace window_internal
