#!/usr/bin/env bash
# The display demo's CPU use under Xvfb over 10 s, full screen with the flip driver, once
# with its window in front and once behind another window of the program (frames are
# computed but not shown there). Not a test; nothing is asserted.
# Usage: measure.sh path/to/display_demo
set -euo pipefail
DEMO="${1:?usage: measure.sh path/to/display_demo}"
for n in $(seq 140 199); do
  if [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
export DISPLAY=":$DISPLAY_NUM"
sleep 0.5
"$DEMO" --full --seconds 10
"$DEMO" --full --inactive --seconds 10
