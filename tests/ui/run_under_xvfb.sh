#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb, 1024x768, 24 bits, 96 dpi) and stops the server,
# and the command should it outlive this script, by process id, whatever the outcome.
set -euo pipefail

display_file=$(mktemp)
server=
command_pid=
cleanup() {
  [ -z "$command_pid" ] || kill "$command_pid" 2>/dev/null || true
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -f "$display_file"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# -displayfd: the server picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$display_file" 2>/dev/null &
server=$!
for _ in $(seq 200); do
  [ -s "$display_file" ] && break
  kill -0 "$server" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$display_file" ] || { echo "Xvfb gave no display" >&2; exit 1; }

export DISPLAY=":$(head -n 1 "$display_file")"
export QT_QPA_PLATFORM=xcb
"$@" &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=
exit "$status"
