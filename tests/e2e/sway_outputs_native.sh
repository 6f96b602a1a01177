#!/usr/bin/env bash
# "pellora /s" natively under sway on more than one output and on scaled ones:
# - two outputs (grey where nothing covers them): the scene on the first, the other black
#   for the whole run, and a click on the black one ends the run with status 0;
# - one output scaled by 2 and one by 1.5 (HiDPI): the picture covers the output to its
#   last physical pixel, letterboxed and sharp by the same rule as on X (each picture pixel
#   a block of whole screen pixels), not scaled up by the compositor from a smaller buffer.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert compare python3
ROUTE=native
CHECK="$(dirname "$0")/helpers/letterbox_check.py"

# ---- Two outputs.
start_sway 1280x720
set_desktop_password_flag 0
add_output 800x600
sway_msg output HEADLESS-2 bg '#808080' solid_color >/dev/null
wl_pointer_at 80 360
start_sway_saver
expect_letterboxed
for shot in 1 2; do
  wl_grab_bare second "HEADLESS-2"
  keep "$WORK/second.png" "sway-native-second-output.png"
  brightest="$(convert "$WORK/second.png" -format '%[fx:maxima]' info:)"
  [ "$brightest" = 0 ] || fail "the second output is not all black (brightest $brightest)"
  sleep 0.5
done
# Input on the black output is input on the saver.
wl_pointer_to $(( SCREEN_W + 400 )) 300
running || fail "the saver ended when the pointer went to the second output"
end_by wl_click 1
stop_sway

# ---- Scaled outputs: the buffer has the output's own pixels.
for scaled in "2560x1440 2" "1920x1080 1.5"; do
  read -r size scale <<<"$scaled"
  start_sway "$size"
  sway_msg output HEADLESS-1 scale "$scale" >/dev/null
  # The logical size is what programs see; the pointer sits in the left bar.
  read -r SCREEN_W SCREEN_H < <(sway_msg -t get_outputs | python3 -c '
import json, sys
o = json.load(sys.stdin)[0]
print(o["rect"]["width"], o["rect"]["height"])')
  set_desktop_password_flag 0
  wl_pointer_at 20 $(( SCREEN_H / 2 ))
  start_sway_saver
  for shot in 1 2 3; do
    wl_grab_bare "scaled-$shot"
    convert "$WORK/scaled-$shot.png" "$WORK/scaled.ppm"
    python3 "$CHECK" "$WORK/scaled.ppm" || { keep "$WORK/scaled-$shot.png" "sway-native-scale-$scale.png"; fail "scale $scale: the screen breaks the letterbox rule"; }
    sleep 0.3
  done
  keep "$WORK/scaled-1.png" "sway-native-scale-$scale.png"
  end_by wl_key a
  stop_sway
done
echo "sway outputs native e2e passed"
