#pragma once
// The choice of presenter: what shows the top-level windows. The display layer needs
// this without the rest of the window system.
#include <functional>
#include <string>

#include "platform/WinTypes.h"

// The product chooses at the first window: SDL2 when DISPLAY is set (or the
// headless presenter when PELLORA_HEADLESS=1 asks for it); with neither, windows cannot be
// made and PresenterError() says why. Tests choose the headless one before any window.
enum class PresenterKind { None, Headless, Sdl };
void UseHeadlessPresenter();
BOOL UseSdlPresenter();  // FALSE (and PresenterError) when no display can be opened
BOOL EnsurePresenter();  // makes the start-up choice now; FALSE with PresenterError when none works
PresenterKind CurrentPresenterKind();
const std::string& PresenterError();

// Told on the user-interface thread each time the headless presenter has shown a top-level
// window's pixels, with that window; for tools that act on each frame as it is shown (the
// SDL presenter does not tell). A reset of the window system drops it.
using TPresentListener = std::function<void(HWND TopLevel)>;
void SetPresentListener(TPresentListener Listener);
