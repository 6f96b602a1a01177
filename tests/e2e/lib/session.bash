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
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -s "$WORK/err.txt" ] && { echo "the program said:"; cat "$WORK/err.txt"; }; exit 1; }

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
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "Xvfb did not start on $DISPLAY"
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
# Waits (at most 10 s) for the window named exactly $1 to settle, then sets WIN to its id
# and OX, OY to the screen position of its client area of $2 x $3 pixels: whatever frame is
# left around that is border and caption. A window can still be replaced or moved while the
# program starts, so the same id and place must be seen twice in a row.
wait_settled_window() {
  local last="" now id X Y WIDTH HEIGHT SCREEN WINDOW
  for _ in $(seq 50); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    now="" X="" Y="" WIDTH="" HEIGHT=""
    if [ -n "$id" ] && eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" && [ -n "${WIDTH:-}" ]; then
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
