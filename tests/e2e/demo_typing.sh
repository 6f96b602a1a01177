#!/usr/bin/env bash
# The runtime demo under Xvfb, driven as a person would: type into the number field
# (letters are filtered out), Tab to the password field, open the message box and close
# it with Enter, choose a picture in the open dialog by typing its name, then click Ok.
# The demo writes what it got to a result file, which is checked here.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
DEMO="${PELLORA_DEMO:-$BIN/../tests/demo/pellora_demo}"
need_programs "$DEMO"
need_tools Xvfb xdotool convert import
start_xvfb 140

mkdir -p "$WORK/pics"
convert -size 20x16 xc:red "BMP3:$WORK/pics/red.bmp"

"$DEMO" --result "$WORK/result.txt" >"$WORK/out.txt" 2>"$WORK/err.txt" &
APP_PID=$!
WIN="$(xdotool search --sync --name '^Runtime demo$' | head -1)"
[ -n "$WIN" ] || { echo "the demo window did not appear"; exit 1; }
sleep 0.3

click() { xdotool mousemove --window "$WIN" "$1" "$2" click 1; sleep 0.3; }

# Number field has the focus; the letters never arrive.
xdotool type --delay 40 "1x2y3"
xdotool key Tab
xdotool type --delay 40 "open sesame"

# Message button (192,136 75x25), then Enter closes the box.
click 229 148
BOX="$(xdotool search --sync --name '^Pellora demo$' | head -1)"
[ -n "$BOX" ] || { echo "the message box did not appear"; exit 1; }
import -window root "$WORK/message.png" || true
xdotool key Return
sleep 0.3

# Open... button (280,136 65x25): the dialog, a typed folder, then a typed name and Enter.
click 312 148
DLG="$(xdotool search --sync --name '^Open$' | head -1)"
[ -n "$DLG" ] || { echo "the open dialog did not appear"; exit 1; }
xdotool type --delay 30 "$WORK/pics"
xdotool key Return
sleep 0.2
xdotool type --delay 30 "red.bmp"
xdotool key Return
sleep 0.5

# Ok (16,136 75x25) writes the result and ends the program.
click 53 148
for _ in $(seq 50); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$APP_PID" 2>/dev/null; then echo "the demo did not end after Ok"; cat "$WORK/err.txt"; exit 1; fi
wait "$APP_PID" || true
APP_PID=""

expected="number=123
password=open sesame
picture=$WORK/pics/red.bmp"
actual="$(cat "$WORK/result.txt" 2>/dev/null || true)"
if [ "$actual" != "$expected" ]; then
  echo "unexpected result:"; echo "$actual"; echo "stderr:"; cat "$WORK/err.txt"; exit 1
fi
echo "demo e2e passed"
