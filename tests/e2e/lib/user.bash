# Sourced after session.bash by the scripts that run a compositor or a screen-saver daemon.
# sway refuses to run as root, and people run these daemons as themselves anyway, so when
# the tests run as root (as CI does) the desktop and our programs run as an ordinary user
# made for the purpose; otherwise as whoever runs the tests.

E2E_USER="$(id -un)"
if [ "$(id -u)" -eq 0 ]; then
  E2E_USER=pellora-e2e
  if ! id -u "$E2E_USER" >/dev/null 2>&1; then
    # Scripts started at the same moment must not both try to add the user.
    ( flock 9; id -u "$E2E_USER" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$E2E_USER" ) \
      9>/tmp/.pellora-e2e-user.lock || fail "cannot make the user $E2E_USER"
  fi
  # The scratch folder is root's and private; the user may pass through it to its own part.
  chmod 711 "$WORK"
fi

# as_user CMD...: runs CMD as that user, with this environment (HOME and USER become its own).
as_user() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$E2E_USER" -- "$@"; else "$@"; fi
}

# user_dir NAME: a folder under the scratch folder that only that user may use, printed.
user_dir() {
  local d="$WORK/$1"
  mkdir -p "$d" && chmod 700 "$d" || fail "cannot make $d"
  if [ "$(id -u)" -eq 0 ]; then chown "$E2E_USER:" "$d" || fail "cannot give $d to $E2E_USER"; fi
  echo "$d"
}
