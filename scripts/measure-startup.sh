#!/usr/bin/env bash
# Measures the time from starting Marrowin to its main window being shown, on
# a virtual screen and with a fresh home each run. Prints, per run, the
# program's own figure (from main() to the first event-loop turn after show)
# and the wall-clock time from process start until that log line appeared.
# Usage: measure-startup.sh [runs]   (build first: scripts/build.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MARROWIN_BUILD:-$here/build}
runs=${1:-5}
export MW_BIN="$build/bin/Marrowin"
for i in $(seq "$runs"); do
  home=$(mktemp -d)
  mkdir -p "$home/tmp" && mkdir -m 700 "$home/run"
  # Nothing of the user's session: its own directories and single-instance socket.
  env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_STATE_HOME \
    HOME=$home TMPDIR=$home/tmp XDG_RUNTIME_DIR=$home/run xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    log="$HOME/.local/state/Tarnwick/Marrowin/log"
    start=$(date +%s%N)
    "$MW_BIN" & pid=$!
    line=
    for _ in $(seq 2000); do
      line=$(cat "$log"/*.log 2>/dev/null | grep -o "\[profile\] Main window shown: [0-9]* ms" || true)
      [ -n "$line" ] && break
      sleep 0.005
    done
    end=$(date +%s%N)
    kill "$pid"; wait "$pid" 2>/dev/null || true
    echo "run: ${line:-no window line}; wall clock $(( (end - start) / 1000000 )) ms"'
  rm -rf "$home"
done
