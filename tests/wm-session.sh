#!/usr/bin/env bash
# Runs one command on a private virtual screen with a real window manager
# (openbox), for tests that need the window manager's moves, resizes and
# maximising. The display number comes from Xvfb itself, so parallel tests
# never pick the same one.
set -euo pipefail
for tool in Xvfb openbox wmctrl xdotool; do
  command -v "$tool" >/dev/null || { echo "wm-session.sh: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
cleanup() {
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# The window manager is ready once it has claimed the screen.
for _ in $(seq 100); do
  wmctrl -m >/dev/null 2>&1 && break
  sleep 0.05
done
"$@"
