#!/usr/bin/env bash
# "pellora /s" on a 1024 x 768 Xvfb screen, looked at as a person would: its window covers
# the screen and hides the pointer; blue balls move on black. A second run with no balls
# shows the credit caption alone: blue, top left, still there after a few seconds (frames
# are paced, not raced through), and gone once the first thousand frames are drawn
# (about 17 s at 60 frames a second). A key ends each run, and the pointer comes back.
# PELLORA_WM=NAME runs it on a desktop with that window manager and a panel (see
# lib/session.bash); the saver must cover the panel too.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
need_programs "$PELLORA" "$REG" "$PROBE"
need_tools Xvfb xdotool import convert compare
start_xvfb_sized 1024x768
use_private_hive
set_desktop_password_flag 0

[ "$(pointer_pixels)" -gt 0 ] || fail "the probe sees no pointer even on the bare screen"

# ---- Run 1: the stored defaults, 100 balls.
start_saver
[ "$(pointer_pixels)" = 0 ] || fail "the pointer is visible over the saver"
grab balls1
sleep 0.5
grab balls2
keep "$WORK/balls1.png" saver-balls.png
moved="$(differing "$WORK/balls1.png" "$WORK/balls2.png")"
[ "$moved" -gt 2000 ] || fail "only $moved pixels changed in half a second"
lit="$(nonblack "$WORK/balls1.png")"
total=$(( SCREEN_W * SCREEN_H ))
# A hundred balls of 47 x 47 on 800 x 600 cover at most about 45 % of it.
[ "$lit" -gt $(( total / 20 )) ] && [ "$lit" -lt $(( total / 2 )) ] || fail "$lit of $total pixels are not black"
read -r r g b <<<"$(means "$WORK/balls1.png")"
[ "$b" -ge $(( 3 * r )) ] && [ $(( 2 * b )) -ge $(( 3 * g )) ] || fail "the balls are not blue: mean red $r, green $g, blue $b"
echo "balls: $lit of $total pixels lit, mean red $r green $g blue $b; $moved pixels changed in 0.5 s"
t=$(now_ms)
xdotool key space
expect_end_within "a key" 1000 "$t"
[ "$(pointer_pixels)" -gt 0 ] || fail "the pointer stayed hidden after the saver ended"

# The caption's pacing is the program's own business, the same under any window manager;
# it is checked on the bare server, where it costs the least (PELLORA_E2E_FULL=1 checks it
# under the window manager as well).
if [ -n "${PELLORA_WM:-}" ] && [ -z "${PELLORA_E2E_FULL:-}" ]; then echo "saver screen e2e passed under $PELLORA_WM"; exit 0; fi

# ---- Run 2: no balls, so whatever is lit is the caption.
store BallsCount 0
start_saver still
started=$(now_ms)
grab caption
keep "$WORK/caption.png" saver-caption.png
corner="400x80+0+0"  # the caption's corner, scaled from 800 x 600
lit="$(nonblack "$WORK/caption.png")"
in_corner="$(nonblack "$WORK/caption.png" "$corner")"
[ "$in_corner" -gt 150 ] || fail "no caption at the top left ($in_corner pixels lit)"
[ "$lit" = "$in_corner" ] || fail "$(( lit - in_corner )) pixels are lit outside the caption's corner"
read -r r g b <<<"$(means "$WORK/caption.png" "$corner")"
[ "$b" -gt 0 ] && [ "$r" = 0 ] && [ "$g" = 0 ] || fail "the caption is not pure blue: mean red $r, green $g, blue $b"
sleep 5
grab caption-later
[ "$(nonblack "$WORK/caption-later.png" "$corner")" -gt 150 ] ||
  fail "the caption was gone 5 s after start: frames are not paced"
# A loaded machine draws fewer frames a second, so the caption may stay a good while longer.
gone=""
while [ $(( $(now_ms) - started )) -lt 120000 ]; do
  grab caption-end
  if [ "$(nonblack "$WORK/caption-end.png")" = 0 ]; then gone=$(( $(now_ms) - started )); break; fi
  running || fail "the saver ended by itself"
  sleep 1
done
[ -n "$gone" ] || fail "the caption was still shown 120 s after start"
echo "caption: $in_corner pixels, pure blue ($b); gone within $(( gone / 1000 )) s of start"
# Still the saver, just black: the window is there and a key ends it.
[ "$(xdotool search --onlyvisible --name '^Pellora$' | head -1)" = "$SCENE" ] || fail "the saver's window went away"
t=$(now_ms)
xdotool key Escape
expect_end_within "a key" 1000 "$t"
expect_stored BallsCount 0
echo "saver screen e2e passed"
