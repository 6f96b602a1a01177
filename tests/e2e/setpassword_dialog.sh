#!/usr/bin/env bash
# "pellora /a" under Xvfb, driven as a person would: two different entries are refused
# with the message and the dialog stays; corrected, Enter in the second field stores the
# flag and the password and ends the run. A second run is cancelled after a failed
# attempt and stores nothing. The hive is read with the hive tool after each run.
# PELLORA_SHOTS=DIR keeps the screenshot there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
need_programs "$PELLORA" "$REG"
need_tools Xvfb xdotool import
start_xvfb 260
use_private_hive

start() {
  "$PELLORA" /a >"$WORK/out.txt" 2>"$WORK/err.txt" &
  APP_PID=$!
  wait_settled_window 'Set Password' 212 160 || fail "the Set Password window did not appear"
  sleep 0.3
}
# ---- Run 1: a mismatch first, then the corrected entry and Enter in the second field.
start
shot "$WIN" set-password.png
type_into 24 24 161 21 "Open Sesame"
type_into 24 72 161 21 "open sesame"
click 24 112 75 25                        # Ok
BOX="$(wait_window Pellora)" || fail "no message for two different entries"
xdotool key Return
sleep 0.4
running || fail "the dialog closed after a mismatch"
expect_missing Password
expect_missing PasswordFlag
type_into 24 72 161 21 "Open Sesame"
xdotool key Return
wait_end "Enter in the second field"
expect_stored PasswordFlag 1
expect_stored Password "Open Sesame"

# ---- Run 2: a failed attempt, then Cancel: nothing changes.
start
type_into 24 24 161 21 "new one"
type_into 24 72 161 21 "new two"
xdotool key Return
BOX="$(wait_window Pellora)" || fail "no message for two different entries"
xdotool key Return
sleep 0.4
click 112 112 75 25                       # Cancel
wait_end "Cancel"
expect_stored Password "Open Sesame"
echo "set-password e2e passed"
