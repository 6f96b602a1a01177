#!/usr/bin/env bash
# "pellora /c" and "pellora /a" natively under sway (no X server), used with the pointer
# and the keyboard as a person would: each dialog shows with a title bar (sway draws it,
# asked by SDL), the Options dialog's values and its About box work and Ok stores them;
# the Set Password dialog stores the password typed twice.
# PELLORA_SHOTS=DIR keeps the screenshots there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
. "$(dirname "$0")/lib/user.bash"
. "$(dirname "$0")/lib/sway.bash"
. "$(dirname "$0")/lib/sway_saver.bash"
need_programs "$PELLORA" "$REG"
need_tools convert python3
ROUTE=native
start_sway 1280x720

# open_dialog TITLE W H ARGS: starts pellora with ARGS and waits for its window of a client
# area of W x H, framed by sway; OX, OY: where that client area is.
open_dialog() {
  local x="" y w h line
  start_program "$4"
  read -r x y w h <<<"$(wait_shown "$1")"
  [ -n "$x" ] || fail "no window '$1'"
  [ "$w $h" = "$2 $3" ] || fail "'$1' is ${w}x$h, not $2x$3"
  line="$(focused_window "$1")"
  [ "${line##*|}" = normal ] || fail "'$1' has no title bar: $line"
  OX=$x OY=$y
  sleep 0.3  # its first frame
}
# wl_click_at LEFT TOP WIDTH HEIGHT: a click in the middle of a control of the dialog.
wl_click_at() {
  wl_pointer_to $(( OX + $1 + $3 / 2 )) $(( OY + $2 + $4 / 2 ))
  wl_click 1
  sleep 0.2
}
# wl_type_into LEFT TOP WIDTH HEIGHT TEXT: a click into a field, emptied, TEXT typed.
wl_type_into() {
  wl_click_at "$1" "$2" "$3" "$4"
  wl_named_key End $(printf 'BackSpace %.0s' $(seq 16))
  wl_key "$5"
}
shot_of() {
  wl_grab_bare "$1"
  convert "$WORK/$1.png" -crop "$2x$3+$OX+$(( OY - 30 ))" +repage "$WORK/$1-part.png"
  keep "$WORK/$1-part.png" "sway-$ROUTE-$1.png"
}

# ---- The Options dialog.
open_dialog Options 338 186 /c
shot_of options 338 216
wl_type_into 40 40 121 21 "12"
wl_type_into 40 88 121 21 "7"
wl_click_at 232 136 75 25                  # About
read -r ax ay aw ah <<<"$(wait_shown About)"
[ -n "${ax:-}" ] || fail "the About box did not appear"
sleep 0.3
wl_named_key Return
for _ in $(seq 50); do [ -z "$(focused_window About)" ] && break; sleep 0.1; done
[ -z "$(focused_window About)" ] || fail "Enter did not close the About box"
wl_click_at 40 136 75 25                   # Ok
t=$(now_ms)
expect_end_within "Ok" 2000 "$t"
expect_stored BallsCount 12
expect_stored BallsSpeed 7

# ---- The Set Password dialog.
open_dialog "Set Password" 212 160 /a
shot_of set-password 212 190
wl_type_into 24 24 161 21 "Open Sesame"
wl_type_into 24 72 161 21 "Open Sesame"
t=$(now_ms)
wl_named_key Return
expect_end_within "Enter in the second field" 2000 "$t"
expect_stored Password "Open Sesame"
expect_stored PasswordFlag 1
echo "sway dialogs native e2e passed"
