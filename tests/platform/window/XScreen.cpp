#include "XScreen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

XScreen::XScreen(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XScreen::~XScreen() {
  if (display_) XCloseDisplay(display_);
}

std::vector<uint32_t> XScreen::Shot(int width, int height) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFFFFFFFF);
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      out[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = XGetPixel(image, x, y) & 0xFFFFFF;
  }
  XDestroyImage(image);
  return out;
}

unsigned long XScreen::Cover(int x, int y, int width, int height) {
  XSetWindowAttributes white{};
  white.background_pixel = WhitePixel(display_, DefaultScreen(display_));
  white.override_redirect = True;
  const Window cover = XCreateWindow(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                                     static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                     CWBackPixel | CWOverrideRedirect, &white);
  XMapRaised(display_, cover);
  XSync(display_, False);
  return cover;
}

void XScreen::Uncover(unsigned long window) {
  XDestroyWindow(display_, window);
  XSync(display_, False);
}
