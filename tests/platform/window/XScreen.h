#pragma once
// The X screen as another program on the same server sees it: a connection of the test's
// own, kept apart from Xlib's headers, whose macros clash with the test framework's names.
#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

class XScreen {
 public:
  explicit XScreen(const std::string& display);
  ~XScreen();
  XScreen(const XScreen&) = delete;
  XScreen& operator=(const XScreen&) = delete;
  bool Open() const { return display_ != nullptr; }
  // The whole screen's pixels as XRGB values, `width` x `height`.
  std::vector<uint32_t> Shot(int width, int height);
  // A white window of another program over part of the screen, then gone again: what it
  // covered is exposed.
  unsigned long Cover(int x, int y, int width, int height);
  void Uncover(unsigned long window);

 private:
  ::_XDisplay* display_ = nullptr;
};
