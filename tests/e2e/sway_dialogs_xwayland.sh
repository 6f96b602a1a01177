#!/usr/bin/env bash
# "pellora /c" and "pellora /a" under sway through XWayland (the way they go where both
# displays are at hand), used with the pointer and the keyboard as a person would: each
# dialog shows at its own size (sway floats it) with the title bar sway draws, the Options
# dialog's values and its About box work and Ok stores them; the Set Password dialog
# stores the password typed twice.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert python3 Xwayland
ROUTE=xwayland
SEAT_TYPES=1  # the X clients of XWayland cannot follow wtype's keymap (see sway.bash)
start_sway 1280x720 xwayland

run_dialog_checks
echo "sway dialogs xwayland e2e passed"
