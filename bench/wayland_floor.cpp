// The ways a program can show an 800 x 600 frame sixty times a second on a full-screen
// Wayland window, with SDL making the window and nothing of ours: what each costs the
// program and the compositor. scripts/bench-wayland reads their CPU and memory beside the
// saver's own.
//
//   wayland_floor shm|viewport|gl [SECONDS]     (default 20; needs WAYLAND_DISPLAY)
//
// shm: a buffer of the window's pixels in shared memory, the frame scaled into it here
//      (nearest pixel, aspect kept, black bars), only the changed part told to the compositor.
// viewport: a buffer of the frame's own 800 x 600, scaled by the compositor (viewporter)
//      to the largest 4:3 size that fits; the compositor puts a full-screen window that is
//      smaller than the screen in the middle, on black.
// gl: SDL's renderer (OpenGL ES through EGL), the frame a texture scaled on the GPU, or in
//      software (llvmpipe) where there is none.
#include <SDL.h>
#include <SDL_syswm.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "viewporter-client-protocol.h"

namespace {

wl_shm* shm = nullptr;
wp_viewporter* viewporter = nullptr;

void Global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
    viewporter = static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
  }
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{Global, GlobalRemove};

struct Buffer {
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;
  bool busy = false;
};
void Released(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }
const wl_buffer_listener kBuffer{Released};

Buffer MakeBuffer(int width, int height) {
  Buffer b;
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  const int fd = memfd_create("floor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) return b;
  b.pixels = static_cast<uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
  b.buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return b;
}

// The frame: black with a blue block moving, as the saver's changes a little each time.
void DrawFrame(std::vector<uint32_t>& frame, int n, SDL_Rect* changed) {
  static SDL_Rect last{0, 0, 0, 0};
  const SDL_Rect block{(n * 3) % 760, (n * 2) % 560, 40, 40};
  for (int y = last.y; y < last.y + last.h; ++y) std::fill_n(&frame[y * 800 + last.x], last.w, 0u);
  for (int y = block.y; y < block.y + block.h; ++y) std::fill_n(&frame[y * 800 + block.x], block.w, 0x0000FFu);
  SDL_UnionRect(&last, &block, changed);
  last = block;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string route = argc > 1 ? argv[1] : "shm";
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
  if (route != "shm" && route != "viewport" && route != "gl") {
    std::fprintf(stderr, "usage: wayland_floor shm|viewport|gl [SECONDS]\n");
    return 2;
  }
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
  SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_MODE_EMULATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "wayland_floor: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("wayland_floor", 0, 0, 800, 600,
                                        SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP |
                                            (route == "gl" ? SDL_WINDOW_OPENGL : 0));
  if (!window) {
    std::fprintf(stderr, "wayland_floor: %s\n", SDL_GetError());
    return 1;
  }
  SDL_ShowCursor(SDL_DISABLE);
  for (int i = 0; i < 10; ++i) {
    SDL_PumpEvents();
    SDL_Delay(10);
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  // The largest 4:3 picture that fits, centred.
  const int boxW = width * 600 <= height * 800 ? width : height * 800 / 600;
  const int boxH = boxW * 600 / 800;
  const int left = (width - boxW) / 2, top = (height - boxH) / 2;

  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  wl_display* display = nullptr;
  wl_surface* surface = nullptr;
  std::vector<Buffer> buffers;
  if (route == "gl") {
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, 800, 600)
                       : nullptr;
    if (!texture) {
      std::fprintf(stderr, "wayland_floor: %s\n", SDL_GetError());
      return 1;
    }
  } else {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND) return 1;
    display = info.info.wl.display;
    surface = info.info.wl.surface;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (!shm || (route == "viewport" && !viewporter)) return 1;
    const int bw = route == "shm" ? width : 800, bh = route == "shm" ? height : 600;
    for (int i = 0; i < 2; ++i) {
      buffers.push_back(MakeBuffer(bw, bh));
      std::fill_n(buffers.back().pixels, static_cast<size_t>(bw) * bh, 0u);
    }
    for (Buffer& b : buffers) wl_buffer_add_listener(b.buffer, &kBuffer, &b);
    if (route == "viewport") {
      wp_viewport* viewport = wp_viewporter_get_viewport(viewporter, surface);
      wp_viewport_set_destination(viewport, boxW, boxH);
    }
  }

  std::vector<uint32_t> frame(800 * 600, 0u);
  std::vector<int> columns(static_cast<size_t>(boxW));
  for (int x = 0; x < boxW; ++x) columns[x] = x * 800 / boxW;
  using namespace std::chrono;
  const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / 60));
  const auto end = steady_clock::now() + std::chrono::seconds(seconds);
  auto next = steady_clock::now();
  int n = 0, shown = 0;
  while (steady_clock::now() < end) {
    SDL_Rect changed;
    DrawFrame(frame, n++, &changed);
    if (renderer) {
      SDL_UpdateTexture(texture, nullptr, frame.data(), 800 * 4);
      SDL_RenderClear(renderer);
      SDL_Rect to{left, top, boxW, boxH};
      SDL_RenderCopy(renderer, texture, nullptr, &to);
      SDL_RenderPresent(renderer);
      ++shown;
    } else {
      wl_display_dispatch_pending(display);
      Buffer* free = nullptr;
      for (Buffer& b : buffers) {
        if (!b.busy) free = &b;
      }
      if (free) {
        if (route == "shm") {
          // Every buffer gets the whole picture (it may be two frames old); the compositor
          // is told of the changed part only.
          for (int y = 0; y < boxH; ++y) {
            const uint32_t* in = &frame[(y * 600 / boxH) * 800];
            uint32_t* out = free->pixels + static_cast<size_t>(top + y) * width + left;
            for (int x = 0; x < boxW; ++x) out[x] = in[columns[x]];
          }
          wl_surface_attach(surface, free->buffer, 0, 0);
          wl_surface_damage_buffer(surface, left + changed.x * boxW / 800, top + changed.y * boxH / 600,
                                   changed.w * boxW / 800 + 2, changed.h * boxH / 600 + 2);
        } else {
          std::memcpy(free->pixels, frame.data(), frame.size() * 4);
          wl_surface_attach(surface, free->buffer, 0, 0);
          wl_surface_damage_buffer(surface, changed.x, changed.y, changed.w, changed.h);
        }
        wl_surface_commit(surface);
        free->busy = true;
        wl_display_flush(display);
        ++shown;
      }
    }
    SDL_PumpEvents();
    next += period;
    std::this_thread::sleep_until(next);
  }
  std::printf("wayland_floor %s: %d of %d frames shown on %dx%d\n", route.c_str(), shown, n, width, height);
  return 0;
}
