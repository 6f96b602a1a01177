#!/usr/bin/env bash
# "pellora /s" on a desktop of two monitors side by side on one Xvfb screen (grey where
# nothing covers it): the scene on the primary monitor, black on the other for the whole
# run, and input on the black one taken as input on the scene: a click there ends the run,
# and so do moves there, counted as on the scene. With the right monitor made primary the
# two swap, and the password prompt a click there brings up shows on the right one.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
need_programs "$PELLORA" "$REG"
need_tools Xvfb xdotool xrandr xsetroot xwininfo import convert
start_xvfb 320 2560x1024x24
use_private_hive
xsetroot -solid '#808080'
xrandr --setmonitor A 1280/338x1024/270+0+0 screen >/dev/null
xrandr --setmonitor B 1280/338x1024/270+1280+0 none >/dev/null

# Starts the saver and waits until both monitors show what they should: the scene's
# window and a window on the other monitor (the cover).
start() {
  "$PELLORA" /s >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  wait_window Pellora >/dev/null || fail "the saver's window did not appear"
  for _ in $(seq 50); do
    xwininfo -root -children | grep -q "(has no name): (\"pellora\" \"pellora\")  1280x1024+$1+0" && break
    sleep 0.1
  done
  sleep 0.5
}
# take_shot NAME: the whole screen, kept when PELLORA_SHOTS asks.
take_shot() {
  SHOT="$WORK/$1.png"
  import -window root "$SHOT"
  [ -n "${PELLORA_SHOTS:-}" ] && cp "$SHOT" "$PELLORA_SHOTS/$1.png"
  return 0
}
# expect_covered X: the monitor from x=X on is black everywhere, not the grey desktop.
expect_covered() {
  local brightest; brightest="$(convert "$SHOT" -crop "1280x1024+$1+0" +repage -format '%[fx:maxima]' info:)"
  [ "$brightest" = 0 ] || fail "$SHOT: the monitor at x=$1 is not all black (brightest $brightest)"
}
# expect_scene X: the monitor from x=X on shows blue balls on black, no grey left.
expect_scene() {
  local red blue grey
  read -r red blue < <(convert "$SHOT" -crop "1280x1024+$1+0" +repage -format '%[fx:mean.r] %[fx:mean.b]\n' info:)
  grey="$(convert "$SHOT" -crop "1280x1024+$1+0" +repage -fill black +opaque '#808080' -format '%[fx:maxima]' info:)"
  [ "$grey" = 0 ] || fail "$SHOT: the desktop still shows on the scene's monitor at x=$1"
  awk -v r="$red" -v b="$blue" 'BEGIN { exit !(b > 0.02 && b > 2 * r) }' ||
    fail "$SHOT: no blue balls on the monitor at x=$1 (mean red $red, blue $blue)"
}
# Waits up to 1 s for the end after step $1 (the saver leaves at once), then as usual.
ends_at_once() {
  for _ in $(seq 10); do running || break; sleep 0.1; done
  running && fail "the saver still runs 1 s after $1"
  wait_end "$1"
}
moves_to() { xdotool mousemove "$1" "$2"; sleep 0.3; }

# ---- Run 1: the first monitor is the primary; a click on the second ends the run.
moves_to 2300 900
start 1280
take_shot two-monitors
expect_scene 0
expect_covered 1280
moves_to 2000 500
running || fail "a move on the covered monitor ended the run"
xdotool click 1
ends_at_once "a click on the covered monitor"

# ---- Run 2: moves on the covered monitor count as moves on the scene. The pointer stays on
# that monitor, where the cover appearing under it makes the window system's own move, as
# the scene's window does on a single monitor; so the first move of ours is the second
# seen and the run ends on the second or third.
start 1280
take_shot still-covered
expect_scene 0
expect_covered 1280
moves_to 1500 200
running || fail "the first move on the covered monitor ended the run"
moves_to 1800 400
running && moves_to 2100 600
ends_at_once "the third move on the covered monitor"

# ---- Run 3: the right monitor made primary: the scene goes there, the left is covered;
# a key ends the run as ever.
xrandr --delmonitor B >/dev/null
xrandr --setmonitor '*B' 1280/338x1024/270+1280+0 none >/dev/null
start 0
take_shot right-primary
expect_scene 1280
expect_covered 0
xdotool key space
ends_at_once "a key"

# ---- Run 4: with the password prompt, a click on the covered monitor asks for the
# password; the prompt comes up on the primary monitor, over the scene, and the right
# password ends the run.
"$REG" add 'HKCU\Control Panel\Desktop' /v ScreenSaveUsePassword /t REG_DWORD /d 1 /f >/dev/null
"$REG" add "$KEY" /v Password /t REG_SZ /d 'open sesame' /f >/dev/null
start 0
moves_to 600 300
xdotool click 1
wait_settled_window Dialog 273 168 || fail "no password prompt after a click on the covered monitor"
[ "$OX" -ge 1280 ] || fail "the password prompt is at x=$OX, not on the primary monitor"
take_shot password-prompt
expect_covered 0
xdotool type --delay 40 'open sesame'
click 48 120 75 25                        # Ok
ends_at_once "the right password"

# ---- Once the saver has gone, so have the covers: the desktop shows again.
leftover="$(xwininfo -root -children | grep -c '"pellora"' || true)"
[ "$leftover" = 0 ] || fail "windows of the saver are left behind: $leftover"
echo "PASS"
