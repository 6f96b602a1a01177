#!/usr/bin/env bash
# "pellora /c" and "pellora /a" natively under sway (no X server), used with the pointer
# and the keyboard as a person would: each dialog shows at its own size (sway floats it)
# with a title bar (sway draws it, asked by SDL), the Options dialog's values and its About
# box work and Ok stores them; the Set Password dialog stores the password typed twice.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools convert python3
ROUTE=native
start_sway 1280x720

run_dialog_checks
echo "sway dialogs native e2e passed"
