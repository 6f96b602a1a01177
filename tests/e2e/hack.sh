#!/usr/bin/env bash
# The screen lockers' hack under Xvfb, as a locker runs it: drawing into a window that
# another client made (by --window-id, and by XSCREENSAVER_WINDOW with --root), following
# that window's size, leaving at once on SIGTERM and when the window goes, never grabbing
# input, and never writing the hive.
set -euo pipefail
source "$(dirname "$0")/lib/session.bash"

HACK="${PELLORA_HACK:?PELLORA_HACK must name the hack}"
XHELPER="${PELLORA_XHELPER:?PELLORA_XHELPER must name the X helper}"
need_programs "$HACK" "$XHELPER" "$REG"
need_tools Xvfb xdotool convert import

PARENT_PID=""
stop_parent() { [ -n "$PARENT_PID" ] && kill "$PARENT_PID" 2>/dev/null; wait "$PARENT_PID" 2>/dev/null || true; PARENT_PID=""; }
trap 'stop_parent; cleanup' EXIT

# Makes a W x H window at the top left of the screen and sets PARENT to its id. Each
# window reports in a file of its own: a file used again could still show the last id.
PARENTS=0
make_parent() {
  PARENTS=$(( PARENTS + 1 ))
  local report="$WORK/parent-$PARENTS.txt"
  "$XHELPER" parent "$1" "$2" >"$report" &
  PARENT_PID=$!
  for _ in $(seq 50); do
    PARENT="$(head -1 "$report" 2>/dev/null || true)"
    [ -n "$PARENT" ] && return 0
    sleep 0.1
  done
  fail "the parent window did not appear"
}
# Screenshots window $1 (area $2, e.g. 300x200+400+0, or whole) into $3 and counts blue pixels.
blue_in() {
  # A screenshot of a window that is gone can leave import waiting for ever.
  if [ "$2" = whole ]; then timeout 20 import -window "$1" "$WORK/$3"; else timeout 20 import -window "$1" -crop "$2" "$WORK/$3"; fi
  [ -n "${PELLORA_SHOTS:-}" ] && cp "$WORK/$3" "$PELLORA_SHOTS/hack-$3"
  blue_pixels "$WORK/$3"
}
start_hack() {
  "$HACK" "$@" 2>"$WORK/err.txt" &
  APP_PID=$!
}
# Waits (at most 5 s) until window $1 shows at least $2 blue pixels in area $3; the last
# screenshot is $4.
wait_blue() {
  local n=0
  for _ in $(seq 25); do
    n="$(blue_in "$1" "$3" "$4")"
    [ "$n" -ge "$2" ] && return 0
    running || fail "the hack ended while drawing"
    sleep 0.2
  done
  fail "window $1 shows $n blue pixels in $3, expected at least $2"
}
# Sends SIGTERM and checks that the hack ends with status 0, printing how long it took.
# The hack leaves as soon as the signal wakes it; the rest of the time measured is the
# scheduling of two processes: 2 to 70 ms as a rule, up to 215 ms on a 2-core machine at a
# load average of 19. The bound catches a hack that does not wake for the signal.
term_fast() {
  local start=$EPOCHREALTIME rc=0
  kill -TERM "$APP_PID"
  wait "$APP_PID" || rc=$?
  local ms=$(( (${EPOCHREALTIME/./} - ${start/./}) / 1000 ))
  APP_PID=""
  [ "$rc" -eq 0 ] || fail "the hack ended with status $rc on SIGTERM"
  [ "$ms" -le 500 ] || fail "the hack took $ms ms to end on SIGTERM"
  echo "SIGTERM: gone in $ms ms"
}

start_xvfb 140
use_private_hive

# Range checks come before any window: a clear message and status 1.
refused() {
  local rc=0
  "$HACK" "${@:1:$#-1}" 2>"$WORK/err.txt" || rc=$?
  [ "$rc" -eq 1 ] || fail "'${*:1:$#-1}' ended with status $rc"
  [ "$(head -1 "$WORK/err.txt")" = "pellora: ${*: -1}" ] || fail "'${*:1:$#-1}' said: $(head -1 "$WORK/err.txt")"
}
refused --count 0 "--count must be a whole number from 1 to 100, not 0"
refused --count 101 "--count must be a whole number from 1 to 100, not 101"
refused -count many "--count must be a whole number from 1 to 100, not 'many'"
refused --max-speed 0 "--max-speed must be a whole number from 1 to 100, not 0"
refused --max-speed=101 "--max-speed must be a whole number from 1 to 100, not 101"
refused --root --max-speed "--max-speed needs a value"

# 1. --window-id (hex): balls in the lent window, nothing outside it, no hive made.
make_parent 400 300
start_hack --window-id "$PARENT" --count 40
wait_blue "$PARENT" 2000 whole window-id.png
outside="$(blue_in root 600x400+420+320 outside.png)"
[ "$outside" -eq 0 ] || fail "the hack drew $outside blue pixels outside its window"

# Another client can still take the keyboard and the pointer while the hack runs.
"$XHELPER" grab >"$WORK/grab.txt" || fail "another client could not grab: $(cat "$WORK/grab.txt")"

# A resize is followed: balls come into the part of the window that is new.
xdotool windowsize "$PARENT" 800 600
wait_blue "$PARENT" 2000 400x600+400+0 resized-right.png
wait_blue "$PARENT" 1000 800x300+0+300 resized-bottom.png
term_fast
[ ! -e "$XDG_CONFIG_HOME/pellora" ] || fail "the hack made a hive folder"

# 2. XSCREENSAVER_WINDOW (decimal) with --root, with a hive that holds settings.
"$REG" add "$KEY" /v BallsCount /t REG_SZ /d 3 /f >/dev/null
"$REG" export "$KEY" "$WORK/before.reg" >/dev/null
stop_parent
make_parent 300 200
XSCREENSAVER_WINDOW="$(( PARENT ))" start_hack --root
wait_blue "$PARENT" 500 whole root-env.png
outside="$(blue_in root 600x400+320+220 outside.png)"
[ "$outside" -eq 0 ] || fail "--root drew $outside blue pixels outside the locker's window"
"$XHELPER" grab >"$WORK/grab.txt" || fail "another client could not grab: $(cat "$WORK/grab.txt")"
# Three balls, as the hive says: no more blue than three whole balls hold.
n="$(blue_in "$PARENT" whole three.png)"
[ "$n" -le $(( 3 * 47 * 47 )) ] || fail "$n blue pixels for the hive's 3 balls"

# The window going away ends the hack, with status 0.
stop_parent
wait_end "its window was destroyed"
"$REG" export "$KEY" "$WORK/after.reg" >/dev/null
cmp -s "$WORK/before.reg" "$WORK/after.reg" || fail "the hive changed: $(diff "$WORK/before.reg" "$WORK/after.reg")"

# 3. --count overrides the hive for the run only; SIGINT ends it as SIGTERM does.
make_parent 300 200
start_hack --window-id "$(( PARENT ))" --count 30 --max-speed 50
wait_blue "$PARENT" 4000 whole count30.png
kill -INT "$APP_PID"
wait_end "SIGINT"
expect_stored BallsCount 3
stop_parent

# 4. Its own window without --root or --window-id; q closes it.
start_hack --count 5
win="$(wait_window Pellora)" || fail "the hack's own window did not appear"
wait_blue "$win" 200 whole own-window.png
running || fail "the hack ended before q"
# A real key press where the window has the focus (a sent one would outlive the window:
# the key's release finds it gone).
xdotool windowfocus --sync "$win" key q
wait_end "q in its own window"

echo "PASS"
