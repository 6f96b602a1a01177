// The choice of presenter, and the reset that drops it with everything else.
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/window/ScreenMode.h"
#include "platform/window/WindowState.h"

using namespace window_internal;

namespace {

TPresentListener gPresentListener;
// A plain pointer, so that registering before main does not depend on the order in which
// the program's parts start.
DisplayPresenterFactory gDisplayPresenter = nullptr;

}  // namespace

namespace window_internal {

void RegisterDisplayPresenter(DisplayPresenterFactory factory) { gDisplayPresenter = factory; }

void NotePresented(NativeId id) {
  if (gPresentListener) gPresentListener(H(id));
}

namespace {

bool Set(const char* value) { return value && *value; }

bool EnsurePresenterFor(WindowsShown shown) {
  State& s = S();
  if (s.presenter) return true;
  const char* headlessVar = std::getenv("PELLORA_HEADLESS");
  if (headlessVar && std::strcmp(headlessVar, "1") == 0) {
    UseHeadlessPresenter();
    return true;
  }
  DisplaySystem system = DisplaySystem::XServer;
  if (!ChooseDisplaySystem(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"), std::getenv("SDL_VIDEODRIVER"),
                           shown, &system)) {
    s.presenterError =
        "No display to show windows on: neither WAYLAND_DISPLAY nor DISPLAY is set (set PELLORA_HEADLESS=1 to run "
        "without a display)";
    return false;
  }
  if (UseSdlPresenter(system)) return true;
  // A compositor that cannot be reached while an X server can: the saver still shows.
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (system == DisplaySystem::Wayland && !Set(driver) && Set(std::getenv("DISPLAY"))) {
    return UseSdlPresenter(DisplaySystem::XServer) != FALSE;
  }
  return false;
}

}  // namespace

bool EnsurePresenterNow() { return EnsurePresenterFor(WindowsShown::Dialogs); }

}  // namespace window_internal

BOOL ChooseDisplaySystem(const char* display, const char* waylandDisplay, const char* videoDriver,
                         WindowsShown shown, DisplaySystem* chosen) {
  if (Set(videoDriver) && std::strcmp(videoDriver, "x11") == 0) {
    *chosen = DisplaySystem::XServer;
    return TRUE;
  }
  if (Set(videoDriver) && std::strcmp(videoDriver, "wayland") == 0) {
    *chosen = DisplaySystem::Wayland;
    return TRUE;
  }
  if (!Set(display) && !Set(waylandDisplay)) return FALSE;
  const bool wayland = Set(waylandDisplay) && (!Set(display) || shown == WindowsShown::FullScreen);
  *chosen = wayland ? DisplaySystem::Wayland : DisplaySystem::XServer;
  return TRUE;
}

void UseHeadlessPresenter() {
  State& s = S();
  if (s.kind == PresenterKind::Headless) return;
  if (s.presenter) ResetWindowSystem();
  s.presenter = MakeHeadlessPresenter();
  s.kind = PresenterKind::Headless;
  s.uiThread = std::this_thread::get_id();
  s.presenterError.clear();
}

BOOL UseSdlPresenter(DisplaySystem system) {
  State& s = S();
  if (s.kind == PresenterKind::Sdl) return TRUE;
  if (s.presenter) ResetWindowSystem();
  if (gDisplayPresenter == nullptr) {
    s.presenterError = "This program was built without the SDL presenter: it shows no windows on a display";
    return FALSE;
  }
  std::string error;
  auto presenter = gDisplayPresenter(system, &error);
  if (!presenter) {
    s.presenterError = error;
    return FALSE;
  }
  s.presenter = std::move(presenter);
  s.kind = PresenterKind::Sdl;
  s.uiThread = std::this_thread::get_id();
  s.presenterError.clear();
  return TRUE;
}

void SetPresentListener(TPresentListener Listener) { gPresentListener = std::move(Listener); }

BOOL EnsurePresenter(WindowsShown shown) { return EnsurePresenterFor(shown) ? TRUE : FALSE; }
PresenterKind CurrentPresenterKind() { return S().kind; }
const std::string& PresenterError() { return S().presenterError; }

WindowHandleCounts CountWindowHandles() {
  const State& s = S();
  return {static_cast<int>(s.windows.size()), static_cast<int>(s.dcs.size()), static_cast<int>(s.timers.size())};
}

void ResetWindowSystem() {
  State& s = S();
  // Windows, device contexts and brushes go the way a program lets them go, so window
  // procedures see their WM_DESTROY and the GDI gets its objects back; the rest starts over.
  const std::vector<uintptr_t> tops = s.topOrder;
  for (uintptr_t id : tops) DestroyWindow(H(id));
  while (!s.windows.empty()) ForgetWindow(s.windows.begin()->first);
  for (auto& [dc, record] : s.dcs) DeleteDC(dc);
  ForgetScreenMode();
  for (auto& [index, brush] : s.sysColorBrushes) DeleteObject(brush);
  gPresentListener = nullptr;
  std::lock_guard lock(QueueMutex());
  s = State{};
}
