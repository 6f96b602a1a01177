#!/usr/bin/env bash
# "pellora /s" under sway (headless, software drawing) as an X client of sway's XWayland, with the desktop's password setting on: a key brings up the
# password prompt over the scene with the keyboard focus in its field; a wrong password
# returns to the balls, the right one ends the run with status 0. Then, with the setting
# off, another program's window takes the focus: the saver pauses ("Pellora [Pause]") and
# sleeps, and goes on when the focus comes back.
# PELLORA_SHOTS=DIR keeps the screenshot of the prompt there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert compare python3 Xwayland
ROUTE=xwayland
SEAT_TYPES=1  # the X clients of XWayland cannot follow wtype's keymap (see sway.bash)
start_sway 1280x720 xwayland
run_prompt_and_pause_checks
echo "sway prompt xwayland e2e passed"
