// Gives a headless compositor's seat a keyboard and a pointer for the length of a test.
// sway's headless backend has no input devices, and a seat without them offers programs
// neither: the keys wtype sends and the moves and clicks of sway's own seat commands would
// reach no program (wtype's own keyboard lives only while it types, too short for a program
// to take it up). The devices are virtual ones this client holds until it is ended; the
// keyboard carries a whole US keymap, because a program handed a keyboard without one may
// not survive it (SDL 2.26 does not). Prints "ready" once the compositor has both.
//
// wtype's keyboard goes away when it has typed, and the seat is then left with no keyboard
// in use: a window that gets the focus after that is told of no keymap. A line "hold" on
// the standard input makes this keyboard the seat's own again (answered with "held").
// "key N" presses and lets go the key of Linux key code N on this keyboard, "type TEXT"
// types letters, digits and spaces (both answered with "keyed"): wtype brings a keymap of
// its own with only the keys it types, which the X clients of XWayland do not read again
// in time, so what it types reaches them as other keys or not at all. The end of the input
// ends the client.
#define _GNU_SOURCE
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

static struct wl_seat* seat;

// The key of a character on a US keyboard (Linux key codes), and whether Shift is needed.
static int KeyOf(char c, int* shift) {
  static const char* const kRows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static const int kFirst[] = {2, 16, 30, 44};
  *shift = c >= 'A' && c <= 'Z';
  if (*shift) c = (char)(c - 'A' + 'a');
  if (c == ' ') return 57;
  for (int row = 0; row < 4; ++row) {
    const char* at = strchr(kRows[row], c);
    if (c && at) return kFirst[row] + (int)(at - kRows[row]);
  }
  return -1;
}

static uint32_t Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

// One key pressed and let go, Shift held around it when asked. The compositor takes the
// modifiers as this keyboard states them, not from the keys.
static void Press(struct zwp_virtual_keyboard_v1* keyboard, int code, int shift) {
  if (shift) {
    zwp_virtual_keyboard_v1_key(keyboard, Now(), 42, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 1, 0, 0, 0);
  }
  zwp_virtual_keyboard_v1_key(keyboard, Now(), (uint32_t)code, WL_KEYBOARD_KEY_STATE_PRESSED);
  zwp_virtual_keyboard_v1_key(keyboard, Now(), (uint32_t)code, WL_KEYBOARD_KEY_STATE_RELEASED);
  if (shift) {
    zwp_virtual_keyboard_v1_key(keyboard, Now(), 42, WL_KEYBOARD_KEY_STATE_RELEASED);
    zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
  }
}
static struct zwlr_virtual_pointer_manager_v1* pointers;
static struct zwp_virtual_keyboard_manager_v1* keyboards;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0 && !seat) {
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    pointers = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  } else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    keyboards = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
  }
}
static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}
static const struct wl_registry_listener kRegistry = {Global, GlobalRemove};

// The keymap as text in shared memory, as the protocol hands it over.
static int GiveKeymap(struct zwp_virtual_keyboard_v1* keyboard) {
  struct xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  struct xkb_rule_names names = {NULL, NULL, "us", NULL, NULL};
  struct xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : NULL;
  char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : NULL;
  if (!text) return 0;
  const size_t size = strlen(text) + 1;
  const int fd = memfd_create("keymap", MFD_CLOEXEC);
  int ok = fd >= 0 && write(fd, text, size) == (ssize_t)size;
  if (ok) zwp_virtual_keyboard_v1_keymap(keyboard, XKB_KEYMAP_FORMAT_TEXT_V1, fd, (uint32_t)size);
  if (fd >= 0) close(fd);
  free(text);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
  return ok;
}

int main(void) {
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "wayland_seat: no Wayland display\n");
    return 1;
  }
  struct wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, NULL);
  wl_display_roundtrip(display);
  if (!seat || !pointers || !keyboards) {
    fprintf(stderr, "wayland_seat: the compositor offers no virtual pointers or keyboards\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
  struct zwp_virtual_keyboard_v1* keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
  if (!GiveKeymap(keyboard)) {
    fprintf(stderr, "wayland_seat: no keymap could be made\n");
    return 1;
  }
  if (wl_display_roundtrip(display) < 0) return 1;
  printf("ready\n");
  fflush(stdout);
  char line[64];
  for (;;) {
    struct pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {0, POLLIN, 0}};
    wl_display_flush(display);
    if (poll(fds, 2, -1) < 0) continue;
    if ((fds[0].revents & POLLIN) && wl_display_dispatch(display) < 0) return 1;
    if (fds[0].revents & (POLLHUP | POLLERR)) return 1;
    if (!(fds[1].revents & (POLLIN | POLLHUP))) continue;
    if (!fgets(line, sizeof line, stdin)) break;
    unsigned code = 0;
    if (sscanf(line, "key %u", &code) == 1 || strncmp(line, "type ", 5) == 0) {
      if (line[0] == 'k') {
        Press(keyboard, (int)code, 0);
      } else {
        for (const char* c = line + 5; *c && *c != '\n'; ++c) {
          int shift = 0;
          const int key = KeyOf(*c, &shift);
          if (key < 0) {
            fprintf(stderr, "wayland_seat: no key for '%c'\n", *c);
            continue;
          }
          Press(keyboard, key, shift);
          // A program reads the keys one by one; each its own moment.
          if (wl_display_roundtrip(display) < 0) return 1;
          usleep(20000);
        }
      }
      if (wl_display_roundtrip(display) < 0) return 1;
      printf("keyed\n");
      fflush(stdout);
    } else if (strncmp(line, "hold", 4) == 0) {
      // News from a keyboard makes it the one the seat uses; modifiers that stay as they
      // were are no news, so Shift is pressed and let go (no key reaches a program).
      zwp_virtual_keyboard_v1_modifiers(keyboard, 1, 0, 0, 0);
      zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
      if (wl_display_roundtrip(display) < 0) return 1;
      printf("held\n");
      fflush(stdout);
    }
  }
  zwp_virtual_keyboard_v1_destroy(keyboard);
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
