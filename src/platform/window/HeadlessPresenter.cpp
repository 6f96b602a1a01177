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
  std::vector<uint32_t> frame;
  int presents = 0;
  bool letterboxed = false;  // the frame holds a mode's picture with its bars
  int sourceWidth = 0;
  int sourceHeight = 0;
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
  void Present(NativeId id, const uint32_t* pixels, int width, int height, int pitch, const RECT&) override {
    auto it = windows_.find(id);
    if (it == windows_.end() || width <= 0 || height <= 0) return;
    HeadlessWindow& w = it->second;
    if (logicalWidth_ && logicalHeight_ && w.shape.fullScreen && (width != screenWidth_ || height != screenHeight_)) {
      // A mode's full-screen window: the monitor shows its buffer letterboxed.
      const bool sameShape = w.letterboxed && w.width == screenWidth_ && w.height == screenHeight_ &&
                             w.sourceWidth == width && w.sourceHeight == height;
      w.width = screenWidth_;
      w.height = screenHeight_;
      w.sourceWidth = width;
      w.sourceHeight = height;
      w.letterboxed = true;
      w.frame.resize(static_cast<size_t>(w.width) * static_cast<size_t>(w.height));
      DrawLetterboxed(pixels, pitch, w.frame.data(), w.width * 4, w.width, w.height,
                      FitLetterbox(width, height, w.width, w.height), sameShape ? Bars::Keep : Bars::Draw);
      ++w.presents;
      NotePresented(id);
      return;
    }
    // A test reads whole frames, so the whole buffer is kept, not only the dirty part.
    w.letterboxed = false;
    w.width = width;
    w.height = height;
    w.frame.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) +
                                                          static_cast<ptrdiff_t>(y) * pitch);
      std::copy(row, row + width, w.frame.begin() + static_cast<ptrdiff_t>(y) * width);
    }
    ++w.presents;
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
