#!/usr/bin/env bash
# "pellora /s" under Xvfb when another X client takes the keyboard focus: the saver's
# title becomes "Pellora [Pause]", nothing on its screen changes and the process sleeps
# (its CPU time over 2 s hardly grows). Given the focus back, the title is "Pellora" again
# and the balls move; a key still ends the run with status 0.
# PELLORA_WM=NAME runs it on a desktop with that window manager and a panel (see
# lib/session.bash); the focus then moves as that window manager moves it.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
need_programs "$PELLORA" "$REG"
need_tools Xvfb xdotool xprop xmessage import convert compare
start_xvfb_sized 1024x768
use_private_hive
set_desktop_password_flag 0

# wait_title TEXT: (at most 5 s) until the scene window's title is exactly TEXT, as both
# the old and the new title property read.
wait_title() {
  local name=""
  for _ in $(seq 50); do
    name="$(xprop -id "$SCENE" WM_NAME _NET_WM_NAME 2>/dev/null || true)"
    [ "$name" = "WM_NAME(STRING) = \"$1\"
_NET_WM_NAME(UTF8_STRING) = \"$1\"" ] && return 0
    sleep 0.1
  done
  fail "the title is not '$1': $name"
}

start_saver
wait_title Pellora
running_ticks=$(cpu_ticks)
sleep 2
running_ticks=$(( $(cpu_ticks) - running_ticks ))

# Another client, away from the pointer, takes the focus.
xmessage -geometry +0+0 -name other-client "another client" >/dev/null 2>&1 &
OTHER_PID=$!
OTHER=""
for _ in $(seq 100); do
  OTHER="$(xdotool search --onlyvisible --name '^other-client$' 2>/dev/null | head -1 || true)"
  [ -n "$OTHER" ] && break
  sleep 0.1
done
[ -n "$OTHER" ] || fail "the other client's window did not appear"
give_focus "$OTHER"
wait_title "Pellora [Pause]"
sleep 0.3  # what was under way when the focus left
ticks_0=$(cpu_ticks)
grab paused-a
sleep 2
grab paused-b
ticks=$(( $(cpu_ticks) - ticks_0 ))
running || fail "the saver ended when it lost the focus"
[ "$(differing "$WORK/paused-a.png" "$WORK/paused-b.png")" = 0 ] || fail "the screen changed while paused"
# 100 ticks are a second of one core: a paused saver may wake now and then, never draw.
[ "$ticks" -le 4 ] || fail "the paused saver used $ticks ticks of CPU in 2 s"
echo "paused: $ticks ticks of CPU in 2 s (running, $running_ticks)"

give_focus "$SCENE"
wait_title Pellora
wait_frames_change "after the focus came back"
kill "$OTHER_PID" 2>/dev/null || true
wait "$OTHER_PID" 2>/dev/null || true
OTHER_PID=""
t=$(now_ms)
xdotool key a
expect_end_within "a key" 1000 "$t"
echo "saver pause e2e passed"
