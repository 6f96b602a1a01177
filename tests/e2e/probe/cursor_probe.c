/* Prints how many pixels of the pointer's current image can be seen, as the X server
 * would draw it now: 0 means the pointer is hidden over the window under it. Screenshots
 * never show the pointer, so the end-to-end scripts ask the server instead. */
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <stdio.h>

int main(void) {
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "cursor_probe: cannot open the display\n");
    return 2;
  }
  int event_base, error_base;
  if (!XFixesQueryExtension(display, &event_base, &error_base)) {
    fprintf(stderr, "cursor_probe: the server has no XFixes\n");
    return 2;
  }
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) {
    fprintf(stderr, "cursor_probe: no cursor image\n");
    return 2;
  }
  unsigned long seen = 0;
  for (unsigned long i = 0; i < (unsigned long)image->width * image->height; ++i)
    if (image->pixels[i] >> 24) ++seen; /* pixels are ARGB in the low 32 bits */
  printf("%u %u %lu\n", image->width, image->height, seen);
  XFree(image);
  XCloseDisplay(display);
  return 0;
}
