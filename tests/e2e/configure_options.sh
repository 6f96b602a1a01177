#!/usr/bin/env bash
# "pellora /c" under Xvfb, driven as a person would: the Options dialog opens with the
# stored settings, digits typed into the number fields (other characters never arrive),
# a picture chosen in the open dialog, the About box opened and closed with Enter, then
# Ok. Later runs: an out-of-range count (one message, the count not written) and a
# picture chosen and then cancelled (the stored picture unchanged). The hive is read
# with the hive tool after each run. PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
need_programs "$PELLORA" "$REG"
need_tools Xvfb xdotool convert import
start_xvfb 200
use_private_hive
mkdir -p "$WORK/pics"
convert -size 40x30 xc:red "BMP3:$WORK/pics/red.bmp"
convert -size 24x24 xc:lime "BMP3:$WORK/pics/green.bmp"

start() {
  "$PELLORA" /c >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  wait_settled_window Options 338 186 || fail "the Options window did not appear"
  sleep 0.3
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
sleep 0.3
shot "$BOX" range-message.png
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
