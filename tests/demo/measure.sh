#!/usr/bin/env bash
# Figures for the runtime demo under Xvfb (not a test; nothing here is asserted):
#  - the CPU time the demo uses while it sits idle for 10 s with the open dialog up,
#    from utime + stime in /proc/PID/stat;
#  - the time from start to the form's first paint, as the demo reports it, over 5 runs.
# Usage: measure.sh path/to/pellora_demo
set -euo pipefail
DEMO="${1:?usage: measure.sh path/to/pellora_demo}"
for n in $(seq 140 199); do
  if [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
export DISPLAY=":$DISPLAY_NUM"
sleep 0.5
TCK=$(getconf CLK_TCK)

for what in "--open /tmp" "--message"; do
  # shellcheck disable=SC2086
  "$DEMO" $what >/dev/null 2>&1 &
  PID=$!
  sleep 2
  T0=$(awk '{print $14 + $15}' "/proc/$PID/stat")
  sleep 10
  T1=$(awk '{print $14 + $15}' "/proc/$PID/stat")
  kill "$PID"; wait "$PID" 2>/dev/null || true
  echo "idle 10 s with ${what%% *} up: $((T1 - T0)) ticks of 1/$TCK s = $(awk -v t=$((T1 - T0)) -v k="$TCK" 'BEGIN { printf "%.2f", 100 * t / k / 10 }') % of a core"
done

for i in 1 2 3 4 5; do
  OUT=$("$DEMO" --startup --shot /dev/null 2>/dev/null | grep first-paint || true)
  echo "run $i: $OUT"
done
