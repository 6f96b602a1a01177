#!/usr/bin/env bash
# "pellora /a" under Xvfb, driven as a person would: two different entries are refused
# with the message and the dialog stays; corrected, Enter in the second field stores the
# flag and the password and ends the run. A second run is cancelled after a failed
# attempt and stores nothing. The hive is read with the hive tool after each run.
# PELLORA_SHOTS=DIR keeps the screenshot there.
set -euo pipefail

BIN="${PELLORA_BIN:?PELLORA_BIN must name the folder of the pellora binary}"
PELLORA="$BIN/pellora"
REG="${PELLORA_REG:-$BIN/../tools/pellora-reg/pellora-reg}"
KEY='HKCU\Software\Korvent_Programs\Pellora'
for tool in "$PELLORA" "$REG"; do [ -x "$tool" ] || { echo "FAIL: $tool is not built"; exit 1; }; done
for tool in Xvfb xdotool import; do command -v "$tool" >/dev/null || { echo "FAIL: $tool is needed"; exit 1; }; done

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

for n in $(seq 260 319); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"

export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME"

stored() { "$REG" query "$KEY" /v "$1" 2>/dev/null | sed -n "s/^    $1    REG_SZ    //p"; }
expect_stored() {
  local got; got="$(stored "$1")"
  [ "$got" = "$2" ] || fail "$1 is '$got', expected '$2'"
}
expect_missing() {
  "$REG" query "$KEY" /v "$1" >/dev/null 2>&1 && fail "$1 was written: '$(stored "$1")'"
  return 0
}
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
  "$PELLORA" /a >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  WIN="$(wait_window 'Set Password')" || fail "the Set Password window did not appear"
  # The client area is 212 x 160; whatever frame is left around it is border and caption.
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  BORDER=$(( (WIDTH - 212) / 2 ))
  OX=$(( X + BORDER ))
  OY=$(( Y + HEIGHT - 160 - BORDER ))
  sleep 0.3
}
click() {
  xdotool mousemove $(( OX + $1 + $3 / 2 )) $(( OY + $2 + $4 / 2 )) click 1
  sleep 0.3
}
type_into() {
  click "$@"
  xdotool key End
  for _ in $(seq 16); do xdotool key BackSpace; done
  xdotool type --delay 40 "$5"
  sleep 0.2
}
running() { kill -0 "$APP_PID" 2>/dev/null; }
wait_end() {
  for _ in $(seq 50); do running || break; sleep 0.1; done
  running && fail "pellora /a did not end after $1"
  wait "$APP_PID" || fail "pellora /a ended with an error after $1"
  APP_PID=""
}
shot() { [ -n "${PELLORA_SHOTS:-}" ] && import -window "$1" "$PELLORA_SHOTS/$2" || true; }

# ---- Run 1: a mismatch first, then the corrected entry and Enter in the second field.
start
shot "$WIN" set-password.png
type_into 24 24 161 21 "Open Sesame"
type_into 24 72 161 21 "open sesame"
click 24 112 75 25                        # Ok
BOX="$(wait_window Pellora)" || fail "no message for two different entries"
xdotool key Return
sleep 0.4
running || fail "the dialog closed after a mismatch"
expect_missing Password
expect_missing PasswordFlag
type_into 24 72 161 21 "Open Sesame"
xdotool key Return
wait_end "Enter in the second field"
expect_stored PasswordFlag 1
expect_stored Password "Open Sesame"

# ---- Run 2: a failed attempt, then Cancel: nothing changes.
start
type_into 24 24 161 21 "new one"
type_into 24 72 161 21 "new two"
xdotool key Return
BOX="$(wait_window Pellora)" || fail "no message for two different entries"
xdotool key Return
sleep 0.4
click 112 112 75 25                       # Cancel
wait_end "Cancel"
expect_stored Password "Open Sesame"
echo "set-password e2e passed"
