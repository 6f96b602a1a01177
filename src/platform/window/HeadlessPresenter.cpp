// The presenter without a display: native windows are records, presented frames are kept
// for tests to read, and input is whatever a test injects. A timed wait is the installed
// clock's: on the machine's it sleeps until woken, on one that a test drives it advances
// that clock instead, so such a test never sleeps.
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/clock/Clock.h"
#include "platform/window/Letterbox.h"
#include "platform/window/Presenter.h"

namespace window_internal {
namespace {

struct HeadlessWindow {
  NativeShape shape;
  bool visible = false;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> frame;  // what the monitor shows of the window
  int presents = 0;
  LetterboxMap map;  // where its pictures go in the frame
};

class HeadlessPresenter : public Presenter, public HeadlessControls {
 public:
  bool Open(NativeId id, const NativeShape& shape) override {
    HeadlessWindow& w = windows_[id];
    w.shape = shape;
    return true;
  }
  void Close(NativeId id) override { windows_.erase(id); }
  void Show(NativeId id, bool visible) override {
    if (auto it = windows_.find(id); it != windows_.end()) it->second.visible = visible;
  }
  void Reshape(NativeId id, const NativeShape& shape) override {
    if (auto it = windows_.find(id); it != windows_.end()) it->second.shape = shape;
  }
  void SetCaption(NativeId id, const std::string& caption) override {
    if (auto it = windows_.find(id); it != windows_.end()) it->second.shape.caption = caption;
  }
  void Raise(NativeId) override {}
  void Minimize(NativeId) override {}
  // Like a real display's, the frame takes only what changed; it was made anew, and had
  // its bars drawn, when the window's picture took another shape.
  void Present(NativeId id, const Picture& picture, std::span<const RECT> changed) override {
    auto it = windows_.find(id);
    if (it == windows_.end() || picture.width <= 0 || picture.height <= 0) return;
    HeadlessWindow& w = it->second;
    // A mode's full-screen window covers the monitor; any other is as large as its picture.
    const bool mode = logicalWidth_ && logicalHeight_ && w.shape.fullScreen;
    const Letterbox box = OnWindow(picture.width, picture.height, mode ? screenWidth_ : picture.width,
                                   mode ? screenHeight_ : picture.height, mode ? Holds::Mode : Holds::Nothing);
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(box.screenWidth) * 4;
    ++w.presents;
    if (!(box == w.map.Box()) || w.frame.empty()) {
      w.map = LetterboxMap(box);
      w.width = box.screenWidth;
      w.height = box.screenHeight;
      w.frame.assign(static_cast<size_t>(w.width) * static_cast<size_t>(w.height), 0);  // black bars
      w.map.Draw(picture, picture.Bounds(), w.frame.data(), pitch);
    } else {
      for (const RECT& r : changed) w.map.Draw(picture, r, w.frame.data(), pitch);
    }
    NotePresented(id);
  }
  void SetCursorShape(int, bool visible) override { cursorShown_ = visible; }
  void SetCapture(NativeId, bool) override {}
  void WarpPointer(int x, int y) override {
    pointerX_ = x;
    pointerY_ = y;
  }
  bool PointerPosition(int* x, int* y) override {
    *x = pointerX_;
    *y = pointerY_;
    return true;
  }
  bool NextEvent(NativeEvent* event) override {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return false;
    *event = std::move(events_.front());
    events_.pop_front();
    if (event->kind == NativeEvent::MouseMove || event->kind == NativeEvent::ButtonDown ||
        event->kind == NativeEvent::ButtonUp) {
      if (auto it = windows_.find(event->window); it != windows_.end()) {
        pointerX_ = it->second.shape.client.left + event->x;
        pointerY_ = it->second.shape.client.top + event->y;
      }
    }
    return true;
  }
  void WaitForEvent(int milliseconds) override {
    std::unique_lock lock(mutex_);
    const auto woken = [this] { return !events_.empty() || woken_; };
    if (milliseconds >= 0) {
      CurrentClock()->WaitFor(wake_, lock, static_cast<DWORD>(milliseconds), woken);
    } else {
      wake_.wait(lock, woken);
    }
    woken_ = false;
  }
  void Wake() override {
    {
      std::lock_guard lock(mutex_);
      woken_ = true;
    }
    wake_.notify_all();
  }
  void ScreenSize(int* width, int* height) override {
    *width = screenWidth_;
    *height = screenHeight_;
  }
  void SetLogicalScreen(int width, int height) override {
    logicalWidth_ = width;
    logicalHeight_ = height;
  }
  int RefreshRate() override { return 60; }
  bool AnyWindowFocused() override { return false; }

  // HeadlessControls.
  void Inject(const NativeEvent& event) override {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(event);
    }
    wake_.notify_all();
  }
  void SetScreen(int width, int height) override {
    screenWidth_ = width;
    screenHeight_ = height;
  }
  bool Frame(NativeId id, int* width, int* height, std::vector<uint32_t>* pixels, int* count) override {
    auto it = windows_.find(id);
    if (it == windows_.end()) return false;
    *width = it->second.width;
    *height = it->second.height;
    *pixels = it->second.frame;
    *count = it->second.presents;
    return true;
  }
  bool CursorShown() override { return cursorShown_; }
  size_t Pending() override {
    std::lock_guard lock(mutex_);
    return events_.size();
  }

 private:
  std::map<NativeId, HeadlessWindow> windows_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<NativeEvent> events_;
  bool woken_ = false;
  bool cursorShown_ = true;
  int pointerX_ = 0;
  int pointerY_ = 0;
  int screenWidth_ = 1024;
  int screenHeight_ = 768;
  int logicalWidth_ = 0;
  int logicalHeight_ = 0;
};

}  // namespace

std::unique_ptr<Presenter> MakeHeadlessPresenter() { return std::make_unique<HeadlessPresenter>(); }

}  // namespace window_internal
