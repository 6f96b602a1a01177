#pragma once
// The choice of presenter: what shows the top-level windows. The display layer needs
// this without the rest of the window system.
#include <functional>
#include <string>

#include "platform/WinTypes.h"

// The product chooses at the first window: SDL2 when there is a display, X (DISPLAY) or
// Wayland (WAYLAND_DISPLAY), or the headless presenter when PELLORA_HEADLESS=1 asks for it;
// with none, windows cannot be made and PresenterError() says why. Tests choose the
// headless one before any window.
enum class PresenterKind { None, Headless, Sdl };
enum class DisplaySystem { XServer, Wayland };
// What a run is going to show, which decides between X and Wayland where there are both.
enum class WindowsShown { Dialogs, FullScreen };

// Where both are at hand (a Wayland desktop with XWayland) the full-screen saver runs
// natively on Wayland, which costs less, and dialogs through X, which every compositor
// gives a title bar and a frame (on Wayland that is left to each program, and SDL manages
// it only where the compositor offers to draw them or a decoration plug-in is installed).
// SDL_VIDEODRIVER=x11 or wayland decides instead. FALSE when there is neither display.
BOOL ChooseDisplaySystem(const char* display, const char* waylandDisplay, const char* videoDriver,
                         WindowsShown shown, DisplaySystem* chosen);

void UseHeadlessPresenter();
// FALSE (and PresenterError) when no display can be opened.
BOOL UseSdlPresenter(DisplaySystem system = DisplaySystem::XServer);
// Makes the start-up choice now; FALSE with PresenterError when none works.
BOOL EnsurePresenter(WindowsShown shown = WindowsShown::Dialogs);
PresenterKind CurrentPresenterKind();
const std::string& PresenterError();

// Told on the user-interface thread each time the headless presenter has shown a top-level
// window's pixels, with that window; for tools that act on each frame as it is shown (the
// SDL presenter does not tell). A reset of the window system drops it.
using TPresentListener = std::function<void(HWND TopLevel)>;
void SetPresentListener(TPresentListener Listener);
