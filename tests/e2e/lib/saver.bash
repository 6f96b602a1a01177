# Sourced after session.bash by the saver's end-to-end scripts: a private Xvfb of a chosen
# size, the saver started and waited for until it animates, whole-screen screenshots and
# what they show, the pointer as the X server draws it, and the process's CPU time.

PROBE="${PELLORA_CURSOR_PROBE:-$BIN/../tests/e2e_cursor_probe}"
DESKTOP_KEY='HKCU\Control Panel\Desktop'
OTHER_PID=""  # another X client a script starts; cleaned up with the rest
PANEL_PID=""

saver_cleanup() {
  [ -n "$OTHER_PID" ] && kill "$OTHER_PID" 2>/dev/null || true
  [ -n "$PANEL_PID" ] && kill "$PANEL_PID" 2>/dev/null || true
  cleanup
}
trap saver_cleanup EXIT
trap 'exit 1' INT TERM HUP

# start_xvfb_sized WxH: the server picks a free display number itself and names it on a
# pipe, so scripts started at the same moment never race for one.
start_xvfb_sized() {
  local n=""
  : >"$WORK/display"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -noreset 3>"$WORK/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    read -r n <"$WORK/display" 2>/dev/null || true
    [ -n "$n" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
  done
  [ -n "$n" ] || fail "Xvfb named no display"
  export DISPLAY=":$n"
  SCREEN_W="${1%x*}" SCREEN_H="${1#*x}"
  for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && { start_window_manager; start_panel; return 0; }
    sleep 0.1
  done
  fail "Xvfb did not answer on $DISPLAY"
}

# A desktop with a window manager has a panel: here a green strip along the top of the
# screen, a window of type dock, which window managers keep above ordinary windows, with
# its strip reserved. The saver's windows must cover it all the same.
start_panel() {
  [ -n "${PELLORA_WM:-}" ] || return 0
  local xhelper="${PELLORA_XHELPER:?PELLORA_XHELPER must name the X helper}"
  "$xhelper" dock "$SCREEN_W" 24 >"$WORK/panel.txt" &
  PANEL_PID=$!
  for _ in $(seq 100); do
    if [ -s "$WORK/panel.txt" ]; then
      grab panel
      [ "$(panel_pixels "$WORK/panel.png")" -gt 0 ] && return 0
    fi
    kill -0 "$PANEL_PID" 2>/dev/null || fail "the panel did not start"
    sleep 0.1
  done
  fail "the panel did not show"
}
# panel_pixels FILE: how many pixels of the screenshot are the panel's green.
panel_pixels() {
  convert "$1" -fill black +opaque '#00ff00' -fill white -opaque '#00ff00' -format '%[fx:round(mean*w*h)]' info:
}
expect_no_panel() {
  [ -n "$PANEL_PID" ] || return 0
  local seen; seen="$(panel_pixels "$1")"
  [ "$seen" = 0 ] || fail "the panel shows through ($seen pixels) $2"
}

set_desktop_password_flag() {
  "$REG" add "$DESKTOP_KEY" /v ScreenSaveUsePassword /t REG_DWORD /d "$1" /f >/dev/null || fail "cannot set ScreenSaveUsePassword"
}
store() { "$REG" add "$KEY" /v "$1" /d "$2" /f >/dev/null || fail "cannot store $1"; }

# grab NAME: a screenshot of the whole screen in $WORK/NAME.png.
grab() { import -window root "$WORK/$1.png" || fail "no screenshot $1"; }
keep() { [ -n "${PELLORA_SHOTS:-}" ] && cp "$1" "$PELLORA_SHOTS/$2" || true; }
# Pixels that differ between two screenshots.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
# nonblack FILE [GEOMETRY]: how many pixels (of the part) are not black.
nonblack() {
  convert "$1" ${2:+-crop "$2" +repage} -channel RGB -separate -evaluate-sequence max -threshold 4% \
    -format '%[fx:round(mean*w*h)]' info:
}
# means FILE [GEOMETRY]: the mean red, green and blue (0-255) of the part.
means() {
  convert "$1" ${2:+-crop "$2" +repage} -format '%[fx:round(255*mean.r)] %[fx:round(255*mean.g)] %[fx:round(255*mean.b)]' info:
}
# How many pixels of the pointer can be seen right now (0: hidden).
pointer_pixels() { "$PROBE" | awk '{print $3}'; }
# User and system CPU time of the program so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Waits (at most 10 s) until two screenshots taken one after the other differ: frames come.
wait_frames_change() {
  grab "$1-a"
  for _ in $(seq 20); do
    sleep 0.2
    grab "$1-b"
    [ "$(differing "$WORK/$1-a.png" "$WORK/$1-b.png")" -gt 0 ] && return 0
    running || fail "the saver ended while frames were awaited ($1)"
    mv "$WORK/$1-b.png" "$WORK/$1-a.png"
  done
  fail "the screen did not change ($1)"
}

# Waits (at most 10 s) until something is drawn on the screen.
wait_lit() {
  for _ in $(seq 50); do
    grab "$1"
    [ "$(nonblack "$WORK/$1.png")" -gt 0 ] && return 0
    running || fail "the saver ended while a picture was awaited ($1)"
    sleep 0.2
  done
  fail "the screen stayed black ($1)"
}

# Starts "pellora /s" and waits (at most 10 s) for its window to cover the whole screen and
# animate (or with "still", to draw anything); SCENE is the window's id.
start_saver() {
  "$PELLORA" /s >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  local X Y WIDTH HEIGHT id
  SCENE=""
  for _ in $(seq 100); do
    running || fail "the saver ended at start"
    id="$(xdotool search --onlyvisible --name '^Pellora$' 2>/dev/null | head -1 || true)"
    if [ -n "$id" ] && window_box "$id" &&
       [ "${X:-}" = 0 ] && [ "${Y:-}" = 0 ] && [ "${WIDTH:-}" = "$SCREEN_W" ] && [ "${HEIGHT:-}" = "$SCREEN_H" ]; then
      SCENE="$id"
      break
    fi
    sleep 0.1
  done
  [ -n "$SCENE" ] || fail "no window 'Pellora' covered the ${SCREEN_W}x$SCREEN_H screen (last: ${id:-none} at ${X:-?},${Y:-?} ${WIDTH:-?}x${HEIGHT:-?})"
  if [ "${1:-}" = still ]; then wait_lit start; else wait_frames_change start; fi
  if [ -n "$PANEL_PID" ]; then
    grab covered
    expect_no_panel "$WORK/covered.png" "over the saver's window"
  fi
}

# On a desktop without a D-Bus session bus the D-Bus library would start one for the
# display when a program asks for it, and leave it running after the program has ended.
# That bus owns a selection of the display named after the user and the machine.
expect_no_bus_started() {
  [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] || return 0
  local machine
  machine="$(cat /var/lib/dbus/machine-id /etc/machine-id 2>/dev/null | head -1 || true)"
  [ -n "$machine" ] || return 0  # without a machine id the library starts none
  if "${PELLORA_XHELPER:?PELLORA_XHELPER must name the X helper}" owned "_DBUS_SESSION_BUS_SELECTION_$(id -un)_$machine"; then
    fail "a D-Bus session bus was started for the display, and it outlives the saver"
  fi
}

# Waits at most $2 ms for the program to end after the step named $1, and checks it ended
# with status 0. The time is counted from $3 (now_ms when the step was taken).
expect_end_within() {
  local rc=0 took
  while running && [ $(( $(now_ms) - $3 )) -le "$2" ]; do sleep 0.02; done
  took=$(( $(now_ms) - $3 ))
  running && fail "the saver still ran ${took} ms after $1"
  wait "$APP_PID" || rc=$?
  APP_PID=""
  [ "$rc" = 0 ] || fail "the saver ended with status $rc after $1"
  echo "ended ${took} ms after $1, status 0"
}

# Waits (at most 10 s) until no visible window is named exactly $1.
wait_window_gone() {
  for _ in $(seq 100); do
    [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true)" ] && return 0
    sleep 0.1
  done
  return 1
}
