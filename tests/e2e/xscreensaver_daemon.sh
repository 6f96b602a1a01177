#!/usr/bin/env bash
# The real xscreensaver daemon running the installed hack, as an ordinary user runs it: the
# build is installed into a scratch prefix (cmake --install) and the user's ~/.xscreensaver
# names the installed hack, as README tells people to. "xscreensaver-command -activate"
# blanks the screen and starts the hack on the daemon's window, where the balls move;
# "-deactivate" ends the hack and the desktop shows again; "-exit" ends the daemon, and
# nothing the daemon started is left running. Run as an ordinary user when the tests run as
# root, as people run it (as root it will not even authenticate).
# PELLORA_SHOTS=DIR keeps the screenshot of the hack there.
set -euo pipefail

. "$(dirname "$0")/lib/session.bash"
. "$(dirname "$0")/lib/saver.bash"
. "$(dirname "$0")/lib/user.bash"
CMAKE="${CMAKE:?CMAKE must name cmake}"
BUILD_DIR="${PELLORA_BUILD_DIR:?PELLORA_BUILD_DIR must name the build folder}"
need_tools Xvfb xdotool xsetroot xscreensaver xscreensaver-command import convert compare
start_xvfb_sized 1024x768
unset XDG_RUNTIME_DIR
# The desktop shows grey, so that a covered screen is told from a bare one.
xsetroot -solid '#808080'

prefix="$WORK/prefix"
"$CMAKE" --install "$BUILD_DIR" --prefix "$prefix" >"$WORK/install.log" 2>&1 || fail "cmake --install failed: $(cat "$WORK/install.log")"
chmod -R a+rX "$prefix"
HACK="$prefix/libexec/xscreensaver/pellora"
need_programs "$HACK"
home="$(user_dir home)"
export XDG_CONFIG_HOME="$(user_dir config)"
# One saver, never started by the idle timer during the test, no fading and no lock.
cat >"$home/.xscreensaver" <<EOF
mode:		one
selected:	0
timeout:	1:00:00
lock:		False
fade:		False
unfade:		False
splash:		False
programs:	"Pellora" $HACK --root \\n
EOF
[ "$(id -u)" -ne 0 ] || chown "$E2E_USER:" "$home/.xscreensaver"
user() { as_desktop as_user env HOME="$home" "$@"; }

user xscreensaver --no-splash >"$WORK/daemon.log" 2>&1 &
DAEMON_PID=$!
for _ in $(seq 100); do user xscreensaver-command -time >/dev/null 2>&1 && break; sleep 0.1; done
user xscreensaver-command -time >/dev/null 2>&1 || fail "the daemon did not start: $(cat "$WORK/daemon.log")"
# The installed hack's processes, by the scratch prefix in their command line.
hack_pids() { pgrep -f -- "^$HACK " || true; }
[ -z "$(hack_pids)" ] || fail "the hack runs before -activate"

user xscreensaver-command -activate >/dev/null
for _ in $(seq 100); do [ -n "$(hack_pids)" ] && break; sleep 0.1; done
APP_PID="$(hack_pids | head -1)"
[ -n "$APP_PID" ] || fail "no hack started on -activate: $(cat "$WORK/daemon.log")"
# Drawn on the daemon's window, which covers the screen: no grey left, balls moving.
wait_frames_change activated
grab hack
keep "$WORK/hack.png" xscreensaver-hack.png
[ "$(blue_pixels "$WORK/hack.png")" -gt 20000 ] || fail "no balls on the screen"
grey="$(convert "$WORK/hack.png" -fill black +opaque '#808080' -fill white -opaque '#808080' -format '%[fx:round(mean*w*h)]' info:)"
[ "$grey" = 0 ] || fail "the desktop shows through the daemon's window ($grey pixels)"
tr '\0' '\n' <"/proc/$APP_PID/environ" | grep -q '^XSCREENSAVER_WINDOW=' || fail "the hack was not given the daemon's window"

user xscreensaver-command -deactivate >/dev/null
for _ in $(seq 50); do [ -z "$(hack_pids)" ] && break; sleep 0.1; done
[ -z "$(hack_pids)" ] || fail "the hack still runs after -deactivate"
APP_PID=""
for _ in $(seq 50); do
  grab desktop
  [ "$(means "$WORK/desktop.png")" = "128 128 128" ] && break
  sleep 0.1
done
[ "$(means "$WORK/desktop.png")" = "128 128 128" ] || fail "the desktop did not come back after -deactivate"

user xscreensaver-command -exit >/dev/null
for _ in $(seq 50); do kill -0 "$DAEMON_PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$DAEMON_PID" 2>/dev/null && fail "the daemon still runs after -exit"
for _ in $(seq 50); do [ -z "$(desktop_processes)" ] && break; sleep 0.1; done
left="$(desktop_processes)"
[ -z "$left" ] || fail "left running after the daemon ended: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
echo "xscreensaver daemon e2e passed"
