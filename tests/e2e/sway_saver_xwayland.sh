#!/usr/bin/env bash
# "pellora /s" under sway (headless, software drawing) as an X client of sway's XWayland:
# it takes the focus and covers the output full screen, the picture letterboxed, the
# pointer hidden while it runs and back afterwards; a key, a click and the third move each
# end it within 1 s with status 0.
# PELLORA_SHOTS=DIR keeps the screenshot of the saver there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert compare python3 Xwayland
ROUTE=xwayland
SEAT_TYPES=1  # the X clients of XWayland cannot follow wtype's keymap (see sway.bash)
start_sway 1280x720 xwayland
run_saver_checks
echo "sway saver xwayland e2e passed"
