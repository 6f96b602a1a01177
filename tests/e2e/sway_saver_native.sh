#!/usr/bin/env bash
# "pellora /s" under sway (headless, software drawing) with no X server, so natively on
# Wayland: it takes the focus and covers the output full screen, the picture letterboxed,
# the pointer hidden while it runs and back afterwards; a key, a click and the third move
# each end it within 1 s with status 0. When sway ends under it, it ends too, status 1.
# PELLORA_SHOTS=DIR keeps the screenshot of the saver there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert compare python3
ROUTE=native
start_sway 1280x720
run_saver_checks

# ---- The compositor goes away under the running saver: it ends at once, status 1, and
# says why, instead of waiting for events that never come.
start_sway_saver
kill "$SWAY_REAL"
rc=0
t=$(now_ms)
while running && [ $(( $(now_ms) - t )) -le 3000 ]; do sleep 0.05; done
running && fail "the saver still ran 3 s after sway ended"
wait "$APP_PID" || rc=$?
APP_PID=""
[ "$rc" = 1 ] || fail "the saver ended with status $rc when sway ended, not 1"
grep -q "connection to the Wayland display .* was lost" "$WORK/err.txt" || fail "the saver did not say why it ended"
echo "ended $(( $(now_ms) - t )) ms after sway, status 1"
echo "sway saver native e2e passed"
