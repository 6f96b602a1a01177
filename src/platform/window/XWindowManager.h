#pragma once
// What the desktop's window manager does with a window that asks to be full-screen.
struct SDL_Window;

namespace window_internal {

// Whether a window manager will make the window full-screen when SDL asks it to. On X that
// is a window manager that names its check window on the root window and lists the
// full-screen state among those it supports; a bare X server has none, and a request there
// is never answered. Other display systems always answer.
bool WindowManagerDoesFullScreen(SDL_Window* window);

}  // namespace window_internal
