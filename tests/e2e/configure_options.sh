#!/usr/bin/env bash
# "pellora /c" under Xvfb, driven as a person would: the Options dialog opens with the
# stored settings, digits typed into the number fields (other characters never arrive),
# a picture chosen in the open dialog, the About box opened and closed with Enter, then
# Ok. Later runs: an out-of-range count (one message, the count not written) and a
# picture chosen and then cancelled (the stored picture unchanged). The hive is read
# with the hive tool after each run. PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

BIN="${PELLORA_BIN:?PELLORA_BIN must name the folder of the pellora binary}"
PELLORA="$BIN/pellora"
REG="${PELLORA_REG:-$BIN/../tools/pellora-reg/pellora-reg}"
KEY='HKCU\Software\Korvent_Programs\Pellora'
for tool in "$PELLORA" "$REG"; do [ -x "$tool" ] || { echo "FAIL: $tool is not built"; exit 1; }; done
for tool in Xvfb xdotool convert import; do command -v "$tool" >/dev/null || { echo "FAIL: $tool is needed"; exit 1; }; done

WORK="$(mktemp -d)"
XVFB_PID=""
APP_PID=""
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -s "$WORK/err.txt" ] && { echo "pellora said:"; cat "$WORK/err.txt"; }; exit 1; }

for n in $(seq 200 259); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"

export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME" "$WORK/pics"
convert -size 40x30 xc:red "BMP3:$WORK/pics/red.bmp"
convert -size 24x24 xc:lime "BMP3:$WORK/pics/green.bmp"

stored() { "$REG" query "$KEY" /v "$1" 2>/dev/null | sed -n "s/^    $1    REG_SZ    //p"; }
expect_stored() {
  local got; got="$(stored "$1")"
  [ "$got" = "$2" ] || fail "$1 is '$got', expected '$2'"
}
expect_missing() {
  "$REG" query "$KEY" /v "$1" >/dev/null 2>&1 && fail "$1 was written: '$(stored "$1")'"
  return 0
}

# Waits for a window named exactly $1 (at most 10 s) and prints its id.
wait_window() {
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
start() {
  "$PELLORA" /c >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  WIN="$(wait_window Options)" || fail "the Options window did not appear"
  # The client area is 338 x 186; whatever frame is left around it is border and caption.
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  BORDER=$(( (WIDTH - 338) / 2 ))
  OX=$(( X + BORDER ))
  OY=$(( Y + HEIGHT - 186 - BORDER ))
  sleep 0.3
}
# Clicks the middle of a control given by its designed left, top, width and height.
click() {
  xdotool mousemove $(( OX + $1 + $3 / 2 )) $(( OY + $2 + $4 / 2 )) click 1
  sleep 0.3
}
# Empties a number field and types into it.
type_into() {
  click "$@"
  xdotool key End
  for _ in $(seq 6); do xdotool key BackSpace; done
  xdotool type --delay 40 "$5"
  sleep 0.2
}
choose_picture() {
  click 192 24 105 97
  local dlg; dlg="$(wait_window Open)" || fail "the open dialog did not appear"
  xdotool type --delay 30 "$WORK/pics"
  xdotool key Return
  sleep 0.3
  xdotool type --delay 30 "$1"
  xdotool key Return
  sleep 0.5
}
wait_end() {
  for _ in $(seq 50); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$APP_PID" 2>/dev/null && fail "pellora /c did not end after $1"
  wait "$APP_PID" || fail "pellora /c ended with an error after $1"
  APP_PID=""
}
shot() { [ -n "${PELLORA_SHOTS:-}" ] && import -window "$1" "$PELLORA_SHOTS/$2" || true; }

# ---- Run 1: digits only, a chosen picture, the About box, Ok.
start
shot "$WIN" options.png
type_into 40 40 121 21 "1a-2 "
type_into 40 88 121 21 "007"
choose_picture red.bmp
click 232 136 75 25                      # About
ABOUT="$(wait_window About)" || fail "the About box did not appear"
sleep 0.3
shot "$ABOUT" about.png
xdotool key Return
sleep 0.4
xdotool search --onlyvisible --name '^About$' >/dev/null 2>&1 && fail "Enter did not close the About box"
shot "$WIN" options-chosen.png
click 40 136 75 25                       # Ok
wait_end "Ok"
expect_stored Picture "$WORK/pics/red.bmp"
expect_stored BallsCount 12
expect_stored BallsSpeed 007

# ---- Run 2: a count of 101 is refused with one message; the speed is still written.
start
type_into 40 40 121 21 "101"
type_into 40 88 121 21 "55"
click 40 136 75 25
BOX="$(wait_window Pellora)" || fail "no message box for a count of 101"
xdotool key Return
wait_end "the message"
expect_stored BallsCount 12
expect_stored BallsSpeed 55
expect_stored Picture "$WORK/pics/red.bmp"

# ---- Run 3: a picture chosen and then Cancel leaves the stored picture alone.
start
choose_picture green.bmp
click 136 136 75 25                      # Cancel
wait_end "Cancel"
expect_stored Picture "$WORK/pics/red.bmp"

# ---- Run 4: the stored file is gone: Ok untouched writes the marker back.
rm "$WORK/pics/red.bmp"
start
click 40 136 75 25
wait_end "Ok"
expect_stored Picture '"Standart"'
expect_stored BallsCount 12
expect_missing Password
echo "configure e2e passed"
