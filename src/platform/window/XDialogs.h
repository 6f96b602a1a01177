#pragma once
// Kept apart from the window system's headers: Xlib's macros clash with the platform names.
struct SDL_Window;

// Tells the X window manager that a window not yet shown is a dialog. Window managers of
// Wayland compositors (sway's for XWayland) float a dialog that belongs to a full-screen
// window over it; any other window they tile behind the full-screen one, out of sight.
// Nothing happens on a window that is not an X window.
void MarkAsXDialog(SDL_Window* window);
