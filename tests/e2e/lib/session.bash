# Shared by the end-to-end scripts (sourced, not run): a private Xvfb, a scratch folder
# and a private hive, cleaned up on every exit path, and the small steps a person takes
# with the mouse and keyboard. Each script sets APP_PID when it starts the program.

BIN="${PELLORA_BIN:?PELLORA_BIN must name the folder of the pellora binary}"
PELLORA="$BIN/pellora"
REG="${PELLORA_REG:-$BIN/../tools/pellora-reg/pellora-reg}"
KEY='HKCU\Software\Korvent_Programs\Pellora'

WORK="$(mktemp -d)"
XVFB_PID=""
APP_PID=""
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  stop_window_manager
  # Whatever else of this desktop is still running, however the script ended.
  local left; left="$(desktop_processes)"
  [ -n "$left" ] && kill $left 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
# PELLORA_SHOTS=DIR also keeps the screen as it was at a failure, as failed.png there.
fail() {
  echo "FAIL: $*"
  [ -s "$WORK/err.txt" ] && { echo "the program said:"; cat "$WORK/err.txt"; }
  [ -n "${PELLORA_SHOTS:-}" ] && [ -n "${DISPLAY:-}" ] && timeout 20 import -window root "$PELLORA_SHOTS/failed.png" 2>/dev/null
  exit 1
}

# The number of pixels in a screenshot that are clearly blue (blue above red by 30 %): the
# balls. Channel arithmetic, because a per-pixel expression takes a minute per screen.
blue_pixels() {
  convert "$1" \( -clone 0 -channel B -separate \) \( -clone 0 -channel R -separate \) -delete 0 \
    -compose minus_dst -composite -threshold 30% -format '%[fx:round(mean*w*h)]' info:
}

# need_programs FILE... : every one must be an executable file.
need_programs() { for p in "$@"; do [ -x "$p" ] || fail "$p is not built"; done; }
# need_tools NAME... : every one must be on the PATH.
need_tools() { for t in "$@"; do command -v "$t" >/dev/null || fail "$t is needed"; done; }

# Starts Xvfb on the first free display from $1 on (screen $2, 1024x768x24 unless given)
# and points DISPLAY at it.
start_xvfb() {
  local n display_num=""
  for n in $(seq "$1" $(( $1 + 59 ))); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display_num=$n; break; fi
  done
  [ -n "$display_num" ] || fail "no free X display number from $1 on"
  Xvfb ":$display_num" -screen 0 "${2:-1024x768x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$display_num"
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && { start_window_manager; return 0; }; sleep 0.1; done
  fail "Xvfb did not start on $DISPLAY"
}

# The window manager of the desktop, named by PELLORA_WM: openbox; xfwm4 with its
# compositor on; metacity (compositing, as it does by default). Unset or empty: none, a
# bare X server. xfwm4 and metacity want a D-Bus session, as they have on a desktop: each
# gets one of its own, which the programs the script starts then share, and which ends
# with it. The window manager's settings and caches go in the scratch folder.
WM_PID=""
WM_SESSION_PID=""
start_window_manager() {
  local wm="${PELLORA_WM:-}" command=()
  # The private desktop has no D-Bus session bus unless its window manager brings one; the
  # bus of the session the tests run in is not this desktop's.
  unset DBUS_SESSION_BUS_ADDRESS
  case "$wm" in
    "") return 0 ;;
    openbox) command=(openbox --sm-disable) ;;
    xfwm4) command=(dbus-run-session -- xfwm4 --compositor=on --vblank=off --sm-client-disable) ;;
    metacity) command=(dbus-run-session -- metacity --sm-disable) ;;
    *) fail "PELLORA_WM=$wm: not a window manager these tests know (openbox, xfwm4, metacity)" ;;
  esac
  need_tools "${command[@]:0:1}" "$wm"
  mkdir -p "$WORK/wm/config" "$WORK/wm/cache" "$WORK/wm/data"
  : >"$WORK/wm/session"
  # The command runs through a shell that reports its own id and the session bus before it
  # becomes the window manager, so that both are known however the session starts it.
  local report='echo "$$ ${DBUS_SESSION_BUS_ADDRESS:-}" >"$0"; exec "$@"'
  if [ "${command[0]}" = dbus-run-session ]; then
    command=(dbus-run-session -- sh -c "$report" "$WORK/wm/session" "${command[@]:2}")
  else
    command=(sh -c "$report" "$WORK/wm/session" "${command[@]}")
  fi
  # No accessibility bus: nothing here reads it, and it would outlive the session.
  XDG_CONFIG_HOME="$WORK/wm/config" XDG_CACHE_HOME="$WORK/wm/cache" XDG_DATA_HOME="$WORK/wm/data" \
    NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory as_desktop "${command[@]}" >"$WORK/wm/log" 2>&1 &
  WM_SESSION_PID=$!
  local pid="" bus=""
  for _ in $(seq 100); do
    read -r pid bus <"$WORK/wm/session" 2>/dev/null || true
    [ -n "$pid" ] && break
    kill -0 "$WM_SESSION_PID" 2>/dev/null || fail "$wm did not start: $(cat "$WORK/wm/log")"
    sleep 0.1
  done
  [ -n "$pid" ] || fail "$wm did not start"
  WM_PID="$pid"
  [ -n "$bus" ] && export DBUS_SESSION_BUS_ADDRESS="$bus"
  # Managing: the window manager names its check window on the root window, and takes on
  # new windows (openbox names itself before it does, and forgets a window mapped in
  # between); xfwm4 then owns the compositing manager's selection as well.
  local xhelper="${PELLORA_XHELPER:?PELLORA_XHELPER must name the X helper}"
  for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && "$xhelper" managed &&
       { [ "$wm" != xfwm4 ] || "$xhelper" owned _NET_WM_CM_S0; }; then
      return 0
    fi
    kill -0 "$WM_PID" 2>/dev/null || fail "$wm ended at start: $(cat "$WORK/wm/log")"
    sleep 0.1
  done
  fail "$wm did not take over the screen within 10 s: $(cat "$WORK/wm/log")"
}
# give_focus ID: another program's window takes the keyboard focus, as it does on that
# desktop: through the window manager when one runs (it may refuse, as it would for the
# program), straight from the X server when none does.
give_focus() {
  if [ -n "$WM_PID" ]; then xdotool windowactivate --sync "$1"; else xdotool windowfocus --sync "$1"; fi
}
# as_desktop CMD...: runs CMD (a program or a function of these scripts) as a part of this
# desktop: it, and whatever it starts, is ended with the script.
as_desktop() { PELLORA_E2E_DESKTOP="$WORK" "$@"; }
# The processes of the desktop: every one carries the scratch folder's name in its
# environment (as_desktop puts it there), also those a session bus starts on its own, which
# leave our process tree.
desktop_processes() {
  grep -lszxF "PELLORA_E2E_DESKTOP=$WORK" /proc/[0-9]*/environ | cut -d/ -f3 || true
}
# Ends the window manager. Its D-Bus session, if it has one, ends with it, and so do the
# services the session started (xfwm4's settings store writes its files as it ends): they
# are waited for, so that nothing of the desktop outlives the script.
stop_window_manager() {
  [ -n "$WM_SESSION_PID" ] || return 0
  kill "$WM_PID" 2>/dev/null || true
  wait "$WM_SESSION_PID" 2>/dev/null || true
  WM_PID="" WM_SESSION_PID=""
  local left
  for _ in $(seq 50); do
    left="$(desktop_processes)"
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  kill $left 2>/dev/null || true
}

# A hive of our own, so the person's settings are never touched.
use_private_hive() {
  export XDG_CONFIG_HOME="$WORK/config"
  mkdir -p "$XDG_CONFIG_HOME"
}
stored() { "$REG" query "$KEY" /v "$1" 2>/dev/null | sed -n "s/^    $1    REG_SZ    //p"; }
expect_stored() {
  local got; got="$(stored "$1")"
  [ "$got" = "$2" ] || fail "$1 is '$got', expected '$2'"
}
expect_missing() {
  "$REG" query "$KEY" /v "$1" >/dev/null 2>&1 && fail "$1 was written: '$(stored "$1")'"
  return 0
}

# Waits for a visible window named exactly $1 (at most 10 s) and prints its id.
wait_window() {
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# window_box ID: sets X, Y, WIDTH and HEIGHT to where window ID is on the screen. A window
# manager puts a window into a frame of its own; xdotool then reports the frame's offset
# twice, the X server's own answer is right with or without one.
window_box() {
  local info
  info="$(xwininfo -id "$1" 2>/dev/null)" || return 1
  X="$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")"
  Y="$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")"
  WIDTH="$(sed -n 's/^ *Width: *//p' <<<"$info")"
  HEIGHT="$(sed -n 's/^ *Height: *//p' <<<"$info")"
  [ -n "$X" ] && [ -n "$Y" ] && [ -n "$WIDTH" ] && [ -n "$HEIGHT" ]
}
# Waits (at most 10 s) for the window named exactly $1 to settle, then sets WIN to its id
# and OX, OY to the screen position of its client area of $2 x $3 pixels: whatever frame is
# left around that is border and caption. A window can still be replaced or moved while the
# program starts, so the same id and place must be seen twice in a row.
wait_settled_window() {
  local last="" now id X Y WIDTH HEIGHT
  for _ in $(seq 50); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    now="" X="" Y="" WIDTH="" HEIGHT=""
    if [ -n "$id" ] && window_box "$id"; then
      now="$id $X $Y $WIDTH $HEIGHT"
    fi
    if [ -n "$now" ] && [ "$now" = "$last" ]; then
      local border=$(( (WIDTH - $2) / 2 ))
      WIN="$id"
      OX=$(( X + border ))
      OY=$(( Y + HEIGHT - $3 - border ))
      return 0
    fi
    last="$now"
    sleep 0.2
  done
  if running; then
    echo "window '$1' never settled; last seen: ${last:-nothing}" >&2
  else
    local rc=0; wait "$APP_PID" || rc=$?
    APP_PID=""
    echo "the program ended (status $rc) before window '$1' settled" >&2
  fi
  return 1
}
# Clicks the middle of a control given by its designed left, top, width and height.
click() {
  xdotool mousemove $(( OX + $1 + $3 / 2 )) $(( OY + $2 + $4 / 2 )) click 1
  sleep 0.3
}
# Clicks into a field (left, top, width, height), empties it and types $5.
type_into() {
  click "$1" "$2" "$3" "$4"
  xdotool key End
  for _ in $(seq 16); do xdotool key BackSpace; done
  xdotool type --delay 40 "$5"
  sleep 0.2
}
running() { [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; }
# Waits up to 5 s for the program to end by itself after step $1, and checks it ended well.
wait_end() {
  for _ in $(seq 50); do running || break; sleep 0.1; done
  running && fail "the program did not end after $1"
  wait "$APP_PID" || fail "the program ended with an error after $1"
  APP_PID=""
}
shot() { [ -n "${PELLORA_SHOTS:-}" ] && import -window "$1" "$PELLORA_SHOTS/$2" || true; }
