# Sourced by the sway_*.sh scripts: the session under sway (the libraries it stands on), and
# the saver and the dialogs there, with the checks a person would make. ROUTE is "native"
# (sway without an X server: the program on Wayland itself) or "xwayland" (the program as an
# X client of sway's XWayland, chosen with SDL_VIDEODRIVER=x11 since on its own the saver
# would take Wayland).
sway_lib="$(dirname "${BASH_SOURCE[0]}")"
. "$sway_lib/session.bash"
. "$sway_lib/saver.bash"
. "$sway_lib/user.bash"
. "$sway_lib/sway.bash"
need_programs "$PELLORA" "$REG"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$(program_pid)/stat"; }

# Runs pellora with ARGS as the user, on the route under test.
start_program() {
  if [ "$ROUTE" = xwayland ]; then
    SDL_VIDEODRIVER=x11 as_user "$PELLORA" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt" &
  else
    as_user "$PELLORA" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt" &
  fi
  APP_PID=$!
}

# wait_focused PATTERN [WHAT]: (at most 10 s) until the window with the keyboard focus
# matches PATTERN (an extended regular expression over focused_window's line).
wait_focused() {
  local now=""
  for _ in $(seq 100); do
    now="$(focused_window)"
    [[ "$now" =~ $1 ]] && return 0
    sleep 0.1
  done
  fail "the focused window is '$now', not ${2:-$1}"
}
# wait_shown TITLE: (at most 10 s) until a window titled TITLE shows, at the same place
# twice in a row (sway may place it anew once it has its size); prints that place.
wait_shown() {
  local now="" last=""
  for _ in $(seq 50); do
    now="$(focused_window "$1" | cut -d'|' -f3)"
    [ -n "$now" ] && [ "$now" = "$last" ] && { echo "$now"; return 0; }
    last="$now"
    sleep 0.2
  done
  return 1
}

# Waits (at most 10 s) until two screenshots taken one after the other differ.
wl_wait_frames_change() {
  wl_grab_bare "$1-a"
  for _ in $(seq 20); do
    sleep 0.2
    wl_grab_bare "$1-b"
    # (compare writes large counts as 1.2e+06)
    [ "$(differing "$WORK/$1-a.png" "$WORK/$1-b.png" | awk '{printf "%d", $1}')" -gt 0 ] && return 0
    running || fail "the saver ended while frames were awaited ($1)"
    mv "$WORK/$1-b.png" "$WORK/$1-a.png"
  done
  fail "the screen did not change ($1)"
}

# Starts "pellora /s" and waits until it has the focus, covers the output and animates.
start_sway_saver() {
  start_program /s
  wait_focused "\|Pellora\|0 0 $SCREEN_W $SCREEN_H\|1\|" "the saver covering the output"
  wl_wait_frames_change start
}

# The picture is letterboxed: on a 16:9 output, black bars left and right of a 4:3 picture.
expect_letterboxed() {
  local bar=$(( (SCREEN_W - SCREEN_H * 4 / 3) / 2 ))
  # The pointer stands in the left bar: on a loaded machine sway may still draw its own
  # arrow there for a moment, until it has told the saver's window that the pointer is in
  # it and the window has hidden it.
  for _ in $(seq 15); do
    wl_grab_bare boxed
    [ "$(nonblack "$WORK/boxed.png" "${bar}x$SCREEN_H+0+0")" = 0 ] && break
    sleep 0.2
  done
  keep "$WORK/boxed.png" "sway-$ROUTE-saver.png"
  [ "$(nonblack "$WORK/boxed.png" "${bar}x$SCREEN_H+0+0")" = 0 ] || fail "the left bar is not black"
  [ "$(nonblack "$WORK/boxed.png" "${bar}x$SCREEN_H+$(( SCREEN_W - bar ))+0")" = 0 ] || fail "the right bar is not black"
  [ "$(nonblack "$WORK/boxed.png" "$(( SCREEN_W - 2 * bar ))x$SCREEN_H+$bar+0")" -gt 1000 ] || fail "no balls in the picture"
}

# end_by STEP...: takes the step (a command) and expects the saver gone within 1 s, status 0.
end_by() {
  local t; t=$(now_ms)
  "$@"
  expect_end_within "$*" 1000 "$t"
}

# The session's checks. The pointer stands in the left bar, where nothing animates.
run_saver_checks() {
  local bar=$(( (SCREEN_W - SCREEN_H * 4 / 3) / 2 ))
  set_desktop_password_flag 0
  wl_pointer_at $(( bar / 2 )) $(( SCREEN_H / 2 ))
  wait_pointer_shown "on the desktop before the saver (the check could not see it)"

  # ---- A key ends it; the pointer was hidden while it ran and is back afterwards.
  start_sway_saver
  expect_letterboxed
  [ "$(wl_pointer_pixels)" = 0 ] || fail "the pointer shows over the saver"
  end_by wl_key a
  wait_pointer_shown "after the saver ended"
  expect_stored BallsCount 100

  # ---- A right click ends it.
  start_sway_saver
  end_by wl_click 3

  # ---- The third move event ends it. The window's appearance under the pointer is its
  # first; through XWayland also its second, as the X server first places the pointer where
  # it last saw it and then, told by sway, where it is.
  start_sway_saver
  if [ "$ROUTE" = native ]; then
    wl_move 0 -5
    sleep 0.5
    running || fail "the saver ended after its own move and the person's first"
  fi
  end_by wl_move 0 5
  echo "sway $ROUTE: leaving by a key, a click and the third move"
}

run_prompt_and_pause_checks() {
  local bar=$(( (SCREEN_W - SCREEN_H * 4 / 3) / 2 ))
  set_desktop_password_flag 1
  store Password "Open Sesame"
  store PasswordFlag 1
  wl_pointer_at $(( bar / 2 )) $(( SCREEN_H / 2 ))

  # ---- The password prompt: over the scene, and what is typed goes into its field. (Where
  # sway puts the keyboard focus differs: through XWayland on the prompt; natively on the
  # saver's window, whose keys the program hands to the prompt, its modal child, since on
  # Wayland a program cannot move the focus itself.)
  start_sway_saver
  wl_named_key Return
  local x="" y w h
  read -r x y w h <<<"$(wait_shown Dialog)"
  [ -n "$x" ] || fail "no password prompt after a key"
  # Over the saver, in the middle: its red "Enter Password" (once its first frame is
  # there) and its white field.
  [ $(( x + w / 2 - SCREEN_W / 2 )) -le 2 ] && [ $(( SCREEN_W / 2 - x - w / 2 )) -le 2 ] || fail "the prompt is not in the middle ($x $y $w $h)"
  local r=0 g=0 b=0
  for _ in $(seq 30); do
    wl_grab_bare prompt
    read -r r g b <<<"$(means "$WORK/prompt.png" "200x30+$(( x + 30 ))+$(( y + 30 ))")"
    [ "$r" -gt 40 ] && [ "$g" -lt 10 ] && [ "$b" -lt 10 ] && break
    sleep 0.1
  done
  keep "$WORK/prompt.png" "sway-$ROUTE-prompt.png"
  [ "$r" -gt 40 ] && [ "$g" -lt 10 ] && [ "$b" -lt 10 ] || fail "no red 'Enter Password' (mean $r $g $b)"
  read -r r g b <<<"$(means "$WORK/prompt.png" "180x12+$(( x + 40 ))+$(( y + 83 ))")"
  [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ] || fail "no white field (mean $r $g $b)"
  wl_key "open sesame"
  wl_named_key Tab Return
  wait_focused "\|Pellora\|0 0 $SCREEN_W $SCREEN_H\|1\|" "the saver after a wrong password"
  for _ in $(seq 50); do [ -z "$(focused_window Dialog)" ] && break; sleep 0.1; done
  [ -z "$(focused_window Dialog)" ] || fail "the prompt stayed after a wrong password"
  running || fail "the saver ended after a wrong password"
  wl_wait_frames_change "after a wrong password"
  wl_key x
  [ -n "$(wait_shown Dialog)" ] || fail "no password prompt after the second key"
  sleep 0.3
  # The prompt keeps the button last used (Ok): two Tabs lead past Cancel into the field,
  # which still holds what was typed before, and that is emptied.
  wl_named_key Tab Tab End $(printf 'BackSpace %.0s' $(seq 16))
  wl_key "Open Sesame"
  wl_named_key Tab
  end_by wl_named_key Return
  expect_stored Password "Open Sesame"

  # ---- Another window takes the focus: the saver pauses, sleeps and goes on when the
  # focus comes back. The other window opens on a workspace of its own, as a person would
  # switch to one.
  set_desktop_password_flag 0
  start_sway_saver
  sway_msg workspace 2 >/dev/null
  SDL_VIDEODRIVER=wayland XDG_CONFIG_HOME="$(user_dir other-config)" as_user "$PELLORA" /c >/dev/null 2>&1 &
  OTHER_PID=$!
  wait_focused "\|Options\|" "the other program's window"
  wait_title "Pellora \[Pause\]"
  sleep 0.3
  local ticks; ticks=$(cpu_ticks)
  sleep 2
  ticks=$(( $(cpu_ticks) - ticks ))
  running || fail "the saver ended when it lost the focus"
  [ "$ticks" -le 4 ] || fail "the paused saver used $ticks ticks of CPU in 2 s"
  echo "paused: $ticks ticks of CPU in 2 s"
  sway_msg workspace 1 >/dev/null
  wait_focused "\|Pellora\|0 0 $SCREEN_W $SCREEN_H\|1\|" "the saver with the focus back"
  wl_wait_frames_change "after the focus came back"
  end_by wl_key a
  echo "sway $ROUTE: the password prompt and the pause"
}

# wait_title TEXT: (at most 5 s) until sway shows the saver's window titled exactly TEXT.
wait_title() {
  for _ in $(seq 50); do
    sway_msg -t get_tree | grep -q "\"name\": \"$1\"" && return 0
    sleep 0.1
  done
  fail "no window titled '$1'"
}

# ---- The dialogs (pellora /c and /a), used with the pointer and the keyboard.

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

run_dialog_checks() {
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
}
