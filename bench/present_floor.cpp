// The presentation floor: what a bare program pays to show an 800 x 600 16-bit frame sixty
// times a second on this X display the plain way — the frame widened to XRGB, put whole on
// a shared-memory surface of the screen's own size (scaled with its aspect kept when the
// screen is larger), the window updated — with SDL's own routines and nothing of ours.
// The window is made at the screen's size, not left to a full-screen request that a
// display without a window manager may not honour. scripts/bench-saver reads its CPU use
// beside the saver's.
//
//   present_floor [SECONDS]        (default 20; needs DISPLAY)
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  // The saver's presenter asks SDL for the same: X11, the framebuffer without OpenGL.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "present_floor: %s\n", SDL_GetError());
    return 1;
  }
  // The whole screen, with or without a window manager to honour the full-screen request.
  SDL_DisplayMode screen{};
  if (SDL_GetDesktopDisplayMode(0, &screen) != 0) screen = SDL_DisplayMode{0, 800, 600, 60, nullptr};
  SDL_Window* window = SDL_CreateWindow("present_floor", 0, 0, screen.w, screen.h, SDL_WINDOW_BORDERLESS);
  SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* wide = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 32, SDL_PIXELFORMAT_RGB888);
  if (!window || !frame || !wide) {
    std::fprintf(stderr, "present_floor: %s\n", SDL_GetError());
    return 1;
  }
  SDL_SetSurfaceBlendMode(wide, SDL_BLENDMODE_NONE);
  SDL_ShowCursor(SDL_DISABLE);

  using namespace std::chrono;
  const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / 60));
  const auto end = steady_clock::now() + std::chrono::seconds(seconds);
  auto next = steady_clock::now();
  int frames = 0;
  int drawnWidth = 0, drawnHeight = 0;
  while (steady_clock::now() < end) {
    // A frame that changes a little each time, as the saver's does.
    SDL_FillRect(frame, nullptr, 0);
    SDL_Rect block{(frames * 3) % 760, (frames * 2) % 560, 40, 40};
    SDL_FillRect(frame, &block, 0x001F);
    SDL_ConvertPixels(800, 600, frame->format->format, frame->pixels, frame->pitch, wide->format->format,
                      wide->pixels, wide->pitch);
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (target) {
      drawnWidth = target->w;
      drawnHeight = target->h;
      SDL_Rect to{0, 0, 800, 600};
      if (target->w != 800 || target->h != 600) {
        // The largest 4:3 picture that fits, centred, on black.
        to.w = target->w * 600 <= target->h * 800 ? target->w : target->h * 800 / 600;
        to.h = to.w * 600 / 800;
        to.x = (target->w - to.w) / 2;
        to.y = (target->h - to.h) / 2;
        if (frames == 0) SDL_FillRect(target, nullptr, 0);
        SDL_BlitScaled(wide, nullptr, target, &to);
      } else {
        SDL_BlitSurface(wide, nullptr, target, &to);
      }
      SDL_UpdateWindowSurface(window);
    }
    ++frames;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    next += period;
    std::this_thread::sleep_until(next);
  }
  std::printf("present_floor: %d frames in %d s on %dx%d\n", frames, seconds, drawnWidth, drawnHeight);
  SDL_FreeSurface(wide);
  SDL_FreeSurface(frame);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
