#!/usr/bin/env bash
# "swayidle timeout 2 'pellora /s'" under sway (headless, no X server) as a person sets it
# up: after two idle seconds the saver appears, natively, covering the output; a key ends
# it at once, and swayidle, still running, starts it again after the next two idle seconds.
set -euo pipefail

. "$(dirname "$0")/lib/sway_saver.bash"
need_tools swayidle convert compare python3
ROUTE=native
IDLE_PID=""
idle_cleanup() {
  [ -n "$IDLE_PID" ] && end_process "$IDLE_PID" "$(APP_PID=$IDLE_PID program_pid)"
  sway_cleanup
}
trap idle_cleanup EXIT

start_sway 1280x720
set_desktop_password_flag 0
wl_pointer_at 80 360
# The program as a person's configuration names it, from sway's own environment.
as_user swayidle timeout 2 "'$PELLORA' /s" >"$WORK/swayidle.log" 2>&1 &
IDLE_PID=$!

# The pid sway shows for the window titled Pellora, once it covers the output (at most
# $1 s); the saver was started by swayidle, not by this script.
saver_window_pid() {
  local pid=""
  for _ in $(seq $(( $1 * 10 ))); do
    pid="$(sway_msg -t get_tree | python3 -c '
import json, sys
def walk(n):
    if n.get("name") == "Pellora" and n.get("fullscreen_mode") == 1 and n.get("visible"):
        print(n["pid"])
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))' | head -1)"
    [ -n "$pid" ] && { echo "$pid"; return 0; }
    sleep 0.1
  done
  return 1
}

for round in 1 2; do
  t=$(now_ms)
  pid="$(saver_window_pid 10)" || { cat "$WORK/swayidle.log"; fail "no saver after idle time (round $round)"; }
  echo "round $round: the saver came after $(( $(now_ms) - t )) ms"
  # Not started here, so its status is swayidle's to see; kill -0 still tells whether it runs.
  APP_PID="$pid"
  wl_wait_frames_change "round $round"
  APP_PID=""
  kill -0 "$IDLE_PID" 2>/dev/null || fail "swayidle ended"
  t=$(now_ms)
  wl_key a
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  kill -0 "$pid" 2>/dev/null && fail "the saver still ran after a key (round $round)"
  echo "round $round: ended $(( $(now_ms) - t )) ms after a key"
  kill -0 "$IDLE_PID" 2>/dev/null || fail "swayidle ended with the saver"
done
echo "sway idle e2e passed"
