#!/usr/bin/env bash
# How "pellora /s" ends under Xvfb, as a person ends it: the first two mouse-move events
# do nothing and the third ends the run; a key ends it at once, before any move; a click
# of any button ends it. Each time the program is gone within 1 s with status 0, and
# leaving writes the settings back. Nothing it started outlives it.
#
# The first move event is the window's own: it appears under a pointer that stands still,
# and the X server tells it the pointer entered (as a desktop tells a window shown under
# the pointer where the pointer is). So the person's first move is the second event and
# the person's second move ends the run.
# PELLORA_WM=NAME runs it on a desktop with that window manager and a panel (see
# lib/session.bash).
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
need_programs "$PELLORA" "$REG"
need_tools Xvfb xdotool import convert compare
start_xvfb_sized 1024x768
use_private_hive
set_desktop_password_flag 0

# ---- Run 1: mouse moves, each its own event.
start_saver
xdotool mousemove 100 100
sleep 1
running || fail "the saver ended after its own move and the person's first"
wait_frames_change "after two move events"
t=$(now_ms)
xdotool mousemove 300 200
expect_end_within "the third mouse-move event" 1000 "$t"
expect_stored BallsCount 100
expect_stored BallsSpeed 6

# ---- Run 2: a key, before the mouse has moved at all.
start_saver
t=$(now_ms)
xdotool key a
expect_end_within "a key" 1000 "$t"

# ---- Run 3: a click of the right button, where the pointer already is.
start_saver
t=$(now_ms)
xdotool click 3
expect_end_within "a right click" 1000 "$t"
expect_no_bus_started
echo "saver leave e2e passed"
