#!/usr/bin/env bash
# "pellora /s" started the way people without a full desktop start a screen saver: the X
# server's own screen-saver timer (`xset s N`) says when nobody has touched the keyboard or
# the mouse for N seconds, and xss-lock, a daemon the user runs, then runs the saver. After
# N idle seconds the saver covers the screen with moving balls; a key ends it within a
# second; xss-lock keeps running and starts it again after the next N idle seconds.
#
# xss-lock will not run without the login manager, which tells it the session and hears
# when the screen is locked; a test machine has none, so helpers/FakeLogind.cpp stands in
# for it on a bus of the test's own. What xss-lock tells it shows that xss-lock saw the
# saver start and end. Run as an ordinary user when the tests run as root.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
. "$(dirname "$0")/lib/user.bash"
LOGIND="${PELLORA_FAKE_LOGIND:?PELLORA_FAKE_LOGIND must name the login manager stand-in}"
need_programs "$PELLORA" "$REG" "$LOGIND"
need_tools Xvfb xdotool xset xsetroot xss-lock dbus-daemon import convert compare
start_xvfb_sized 1024x768
export XDG_CONFIG_HOME="$(user_dir config)"
unset XDG_RUNTIME_DIR
as_user "$REG" add "$DESKTOP_KEY" /v ScreenSaveUsePassword /t REG_DWORD /d 0 /f >/dev/null || fail "cannot make the hive"
# The desktop shows grey, so that a covered screen is told from a bare one.
xsetroot -solid '#808080'
IDLE=2
xset s "$IDLE"  # as README tells people: `xset s 600`

# The login manager's bus and the stand-in on it, then the daemon, all the user's.
bus="unix:path=$(user_dir bus)/socket"
as_desktop as_user dbus-daemon --session --nofork --address="$bus" >"$WORK/bus.log" 2>&1 &
for _ in $(seq 50); do [ -S "${bus#unix:path=}" ] && break; sleep 0.1; done
as_desktop as_user "$LOGIND" "$bus" >"$WORK/logind.log" 2>"$WORK/logind-err.log" &
for _ in $(seq 50); do grep -q '^ready$' "$WORK/logind.log" && break; sleep 0.1; done
grep -q '^ready$' "$WORK/logind.log" || fail "the login manager stand-in did not start: $(cat "$WORK/logind-err.log")"
xset s reset
LAST_INPUT=$(now_ms)  # the server counts the idle time from here
DBUS_SYSTEM_BUS_ADDRESS="$bus" as_desktop as_user xss-lock -- "$PELLORA" /s >"$WORK/daemon.log" 2>&1 &
DAEMON_PID=$!

hints() { grep -c "^SetLockedHint $1\$" "$WORK/logind.log" || true; }
# idle_cycle N: waits for the saver to come after the idle time, looks at it, ends it with
# a key; the N-th time.
idle_cycle() {
  local id="" pid="" X Y WIDTH HEIGHT took
  for _ in $(seq 150); do
    id="$(xdotool search --onlyvisible --name '^Pellora$' 2>/dev/null | head -1 || true)"
    if [ -n "$id" ] && window_box "$id" && [ "$X $Y ${WIDTH}x$HEIGHT" = "0 0 ${SCREEN_W}x$SCREEN_H" ]; then break; fi
    id=""
    kill -0 "$DAEMON_PID" 2>/dev/null || fail "xss-lock ended: $(cat "$WORK/daemon.log")"
    sleep 0.1
  done
  [ -n "$id" ] || fail "no saver covered the screen within 15 s (time $1)"
  took=$(( $(now_ms) - LAST_INPUT ))
  [ "$took" -ge $(( IDLE * 1000 - 200 )) ] || fail "the saver came $took ms after the last input, before the idle time of $IDLE s"
  pid="$(xdotool getwindowpid "$id")"
  APP_PID="$pid"
  wait_frames_change "saver $1"
  [ "$(blue_pixels "$WORK/saver $1-b.png")" -gt 20000 ] || fail "no balls on the screen (time $1)"
  [ "$(hints true)" = "$1" ] || fail "xss-lock did not say the saver runs (time $1): $(cat "$WORK/logind.log")"
  keep "$WORK/saver $1-b.png" "xss-lock-$1.png"
  local t; t=$(now_ms)
  xdotool key a
  LAST_INPUT=$t
  while kill -0 "$pid" 2>/dev/null && [ $(( $(now_ms) - t )) -le 1000 ]; do sleep 0.02; done
  kill -0 "$pid" 2>/dev/null && fail "the saver still ran 1 s after a key (time $1)"
  APP_PID=""
  echo "time $1: the saver came $took ms after the last input and ended $(( $(now_ms) - t )) ms after a key"
  for _ in $(seq 50); do [ "$(hints false)" = "$1" ] && break; sleep 0.1; done
  [ "$(hints false)" = "$1" ] || fail "xss-lock did not see the saver end (time $1): $(cat "$WORK/logind.log")"
  kill -0 "$DAEMON_PID" 2>/dev/null || fail "xss-lock ended with the saver: $(cat "$WORK/daemon.log")"
}

idle_cycle 1
grab desktop
read -r r g b <<<"$(means "$WORK/desktop.png")"
[ "$r $g $b" = "128 128 128" ] || fail "the desktop did not come back after the saver (mean $r $g $b)"
idle_cycle 2

kill "$DAEMON_PID"
wait "$DAEMON_PID" 2>/dev/null || true
echo "xss-lock e2e passed"
