# Sourced after session.bash, saver.bash and user.bash by the scripts that run under sway:
# a private sway session on its headless backend, run (like the programs under test) as an
# ordinary user when the tests run as root, since sway refuses root. Its output is drawn in
# software (pixman); screenshots come from grim, keys from wtype, pointer moves and clicks
# from sway's own seat commands. With "xwayland" the session has an X server too, and
# DISPLAY names it.

SEAT_HELPER="${PELLORA_WAYLAND_SEAT:-$BIN/../tests/e2e_wayland_seat}"
SWAY_PID=""     # the process started (as_user may stand between it and sway)
SWAY_REAL=""    # sway itself, from its socket's name
SEAT_PID=""

# end_process PID REAL: ends a process started in the background (PID, as $! gave it)
# and the process it stands for (REAL), at once if they do not go within 3 s.
end_process() {
  kill "$2" "$1" 2>/dev/null || true
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$2" "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
# Ends the program, the seat helper and sway (XWayland ends with its compositor).
stop_sway() {
  # The program first, while its display is still there to see it go.
  [ -n "$APP_PID" ] && end_process "$APP_PID" "$(program_pid)"
  APP_PID=""
  # The helper ends when its input does.
  if [ -n "$SEAT_PID" ]; then exec 7>&-; end_process "$SEAT_PID" "$SEAT_PID"; fi
  [ -n "$SWAY_PID" ] && end_process "$SWAY_PID" "${SWAY_REAL:-$SWAY_PID}"
  SEAT_PID="" SWAY_PID="" SWAY_REAL=""
  rm -f "$WORK/seat.in"
}
sway_cleanup() {
  stop_sway
  saver_cleanup
}
trap sway_cleanup EXIT

# start_sway WxH [xwayland]: sway with one output of that size; WAYLAND_DISPLAY, SWAYSOCK
# and XDG_RUNTIME_DIR point at it, and with "xwayland" DISPLAY at its X server (otherwise
# DISPLAY is unset: the session has none).
start_sway() {
  need_tools sway swaymsg grim wtype
  need_programs "$SEAT_HELPER"
  # The programs run as the session's user: where a folder on their way is closed to it
  # (a build in root's home), copies in the scratch folder stand in.
  if ! as_user test -x "$PELLORA" || ! as_user test -x "$SEAT_HELPER" || ! as_user test -x "${REG_TOOL:-$REG}"; then
    local own; own="$(user_dir programs)"
    cp "$PELLORA" "$SEAT_HELPER" "${REG_TOOL:-$REG}" "$own/" || fail "cannot copy the programs for $E2E_USER"
    chmod 755 "$own" "$own"/*
    PELLORA="$own/$(basename "$PELLORA")" SEAT_HELPER="$own/$(basename "$SEAT_HELPER")"
    REG_TOOL="$own/$(basename "${REG_TOOL:-$REG}")"
  fi
  local xwayland=disable sock="" i
  [ "${2:-}" = xwayland ] && xwayland=enable
  export XDG_RUNTIME_DIR
  XDG_RUNTIME_DIR="$(user_dir runtime)"
  rm -f "$XDG_RUNTIME_DIR"/sway-ipc.*.sock "$XDG_RUNTIME_DIR/display"  # a session before this one's
  SCREEN_W="${1%x*}" SCREEN_H="${1#*x}"
  cat >"$XDG_RUNTIME_DIR/config" <<EOF
output HEADLESS-1 resolution $1 position 0,0 bg #000000 solid_color
xwayland $xwayland
focus_follows_mouse no
default_border normal
EOF
  unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
  # A cursor theme, without which sway draws no pointer at all (and screenshots could not
  # tell a hidden one from a shown one).
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman XCURSOR_THEME=whiteglass XCURSOR_SIZE=24 \
    as_user sway ${PELLORA_SWAY_DEBUG:+-d} -c "$XDG_RUNTIME_DIR/config" >"$WORK/sway.log" 2>&1 &
  SWAY_PID=$!
  for i in $(seq 100); do
    sock="$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -1 || true)"
    [ -n "$sock" ] && ls "$XDG_RUNTIME_DIR"/wayland-? >/dev/null 2>&1 && break
    kill -0 "$SWAY_PID" 2>/dev/null || { cat "$WORK/sway.log"; fail "sway did not start"; }
    sleep 0.1
  done
  [ -n "$sock" ] || fail "sway made no socket"
  export SWAYSOCK="$sock"
  SWAY_REAL="${sock##*.$(id -u "$E2E_USER").}"
  SWAY_REAL="${SWAY_REAL%.sock}"
  WAYLAND_DISPLAY="$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -1)")"
  export WAYLAND_DISPLAY
  for i in $(seq 50); do sway_msg -t get_version >/dev/null 2>&1 && break; sleep 0.1; done
  # The seat's keyboard and pointer, held for as long as the pipe to the helper is open.
  mkfifo "$WORK/seat.in"
  as_user "$SEAT_HELPER" <"$WORK/seat.in" >"$WORK/seat.out" 2>&1 &
  SEAT_PID=$!
  exec 7>"$WORK/seat.in"
  for i in $(seq 50); do grep -q ready "$WORK/seat.out" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$WORK/seat.out" || { cat "$WORK/seat.out"; fail "the seat got no keyboard and pointer"; }
  if [ "$xwayland" = enable ]; then
    sway_msg exec "echo \$DISPLAY > $XDG_RUNTIME_DIR/display" >/dev/null
    for i in $(seq 50); do [ -s "$XDG_RUNTIME_DIR/display" ] && break; sleep 0.1; done
    DISPLAY="$(cat "$XDG_RUNTIME_DIR/display" 2>/dev/null || true)"
    [ -n "$DISPLAY" ] || fail "sway named no X display"
    export DISPLAY
  fi
  # The hive and the hive tool as the user too, so that the program can write its hive.
  export XDG_CONFIG_HOME
  XDG_CONFIG_HOME="$(user_dir config)"
  REG_TOOL="${REG_TOOL:-$REG}"  # the tool itself, however often a session is started
  printf '#!/bin/sh\nexec %s %q "$@"\n' "$( [ "$(id -u)" -eq 0 ] && echo "runuser -u $E2E_USER --")" "$REG_TOOL" >"$WORK/reg"
  chmod 755 "$WORK/reg"
  REG="$WORK/reg"
  wl_pointer_at $(( SCREEN_W / 2 )) $(( SCREEN_H / 2 ))
}

sway_msg() { as_user swaymsg "$@"; }

# The program's own process: the shell that started it in the background and, as root,
# as_user's runuser (which passes on no signal) may stand between.
program_pid() {
  local pid="$APP_PID" child
  while child="$(ps -o pid= --ppid "$pid" 2>/dev/null | tr -d ' ' | head -1)" && [ -n "$child" ]; do pid=$child; done
  echo "$pid"
}

# add_output WxH: a second output to the right of the first.
add_output() {
  sway_msg create_output >/dev/null || fail "sway made no second output"
  sway_msg output HEADLESS-2 resolution "$1" position "$SCREEN_W" 0 bg '#000000' solid_color >/dev/null
}

# wl_grab_bare NAME [OUTPUT]: a screenshot of the output (HEADLESS-1) in $WORK/NAME.png.
wl_grab_bare() { as_user grim -o "${2:-HEADLESS-1}" "$XDG_RUNTIME_DIR/shot.png" && cp "$XDG_RUNTIME_DIR/shot.png" "$WORK/$1.png" || fail "no screenshot $1"; }

# The seat's pointer: put at (x, y) of the desktop, moved by (dx, dy), a button (1 left,
# 3 right) clicked where it is. POINTER_X and POINTER_Y follow it.
POINTER_X=0
POINTER_Y=0
# Only a move shows the pointer on a desktop where it has not moved yet, so wl_pointer_at
# also moves it there and back: not to be used while the saver runs.
wl_pointer_at() {
  POINTER_X=$1 POINTER_Y=$2
  sway_msg seat - cursor set "$1" "$2" >/dev/null
  sway_msg -- seat - cursor move 1 0 >/dev/null
  sway_msg -- seat - cursor move -1 0 >/dev/null
  sleep 0.2  # the next frame the compositor draws shows it
}
wl_move() {
  POINTER_X=$(( POINTER_X + $1 )) POINTER_Y=$(( POINTER_Y + $2 ))
  sway_msg -- seat - cursor move "$1" "$2" >/dev/null
}
# Puts the pointer straight at (x, y): one move.
wl_pointer_to() {
  POINTER_X=$1 POINTER_Y=$2
  sway_msg seat - cursor set "$1" "$2" >/dev/null
}
wl_click() {
  sway_msg seat - cursor press "button$1" >/dev/null
  sway_msg seat - cursor release "button$1" >/dev/null
}
# seat_says LINE ANSWER: gives the seat helper a line and waits (at most 1 s) for its answer.
seat_says() {
  local before
  before=$(grep -c "^$2\$" "$WORK/seat.out" || true)
  echo "$1" >&7
  for _ in $(seq 50); do [ "$(grep -c "^$2\$" "$WORK/seat.out" || true)" -gt "$before" ] && return 0; sleep 0.02; done
  fail "the seat helper did not answer '$1'"
}
# Text and letters as wtype types them (wl_key a; wl_key "some text"). Then the seat's own
# keyboard is made the one in use again (see the helper). The X clients of XWayland cannot
# follow wtype's keymap (see the helper): with SEAT_TYPES=1 the seat's own keyboard types.
wl_key() {
  if [ "${SEAT_TYPES:-0}" = 1 ]; then
    seat_says "type $*" keyed
    return
  fi
  as_user wtype "$@" || fail "wtype $*"
  seat_says hold held
}
# wl_named_key NAME...: keys by name, pressed on the seat's own keyboard (see the helper).
wl_named_key() {
  local code
  for name in "$@"; do
    case "$name" in
      Escape) code=1 ;; BackSpace) code=14 ;; Tab) code=15 ;; Return) code=28 ;; End) code=107 ;;
      *) fail "no key code for $name" ;;
    esac
    seat_says "key $code" keyed
  done
}

# How many pixels the pointer shows right now (0: hidden), in the square below and right of
# its tip. The compositor draws the pointer into the output's picture itself, so any
# screenshot shows it; the pointer should stand where the picture is black (the desktop's
# background, or the saver's bars) for the count to mean something.
wl_pointer_pixels() {
  wl_grab_bare pointer
  nonblack "$WORK/pointer.png" "32x32+$POINTER_X+$POINTER_Y"
}
# Waits (at most 3 s) until the pointer shows: $1 says after what.
wait_pointer_shown() {
  for _ in $(seq 15); do
    [ "$(wl_pointer_pixels)" -gt 20 ] && return 0
    sleep 0.2
  done
  fail "no pointer $1"
}

# The window sway shows with the keyboard focus, as "app_id|title|x y w h|fullscreen|border",
# where x y w h is the program's own part of it (inside what sway draws around it, named by
# border: "normal" for a title bar, "csd" or "none" for nothing); with a title, the window
# shown with that title, wherever the focus is.
focused_window() {
  sway_msg -t get_tree | TITLE="${1:-}" python3 -c '
import json, os, sys
title = os.environ["TITLE"]
def walk(n):
    wanted = n.get("name") == title and n.get("visible") if title else n.get("focused")
    if wanted and n.get("type") in ("con", "floating_con"):
        r, w = n["rect"], n["window_rect"]
        print("%s|%s|%d %d %d %d|%d|%s" % (n.get("app_id") or (n.get("window_properties") or {}).get("class"),
              n.get("name"), r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"], n.get("fullscreen_mode", 0),
              n.get("border")))
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))'
}
