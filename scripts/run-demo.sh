#!/usr/bin/env bash
# Builds Marrowin, writes the demo mailbox and opens it. On a machine without
# a display (or with MARROWIN_SCREENSHOT=<file.png>) the program runs on a
# virtual screen instead, and a screenshot of its window (frame included) is
# saved. MARROWIN_SCREENSHOT_CLICKS="x,y x,y ..." clicks those points of the
# window first, one after another (needs xdotool).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MARROWIN_BUILD:-$here/build}
"$here/scripts/build.sh"
demo="$build/demo/demo.pst"
if [ -x "$build/bin/pstgen" ] && [ ! -f "$demo" ]; then
  mkdir -p "$(dirname "$demo")"
  "$build/bin/pstgen" --demo "$demo"
fi
args=()
[ -f "$demo" ] && args+=("$demo")

if [ -z "${MARROWIN_SCREENSHOT:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$build/bin/Marrowin" "${args[@]}"
fi

shot=${MARROWIN_SCREENSHOT:-$build/demo/screenshot.png}
mkdir -p "$(dirname "$shot")"
echo "No display: running Marrowin on a virtual screen; the screenshot goes to $shot"
export MW_BIN="$build/bin/Marrowin" MW_SHOT="$shot" MW_XWD2PNG="$here/scripts/xwd2png.py"
export MW_CLICKS="${MARROWIN_SCREENSHOT_CLICKS:-}"
exec xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
  log="${XDG_STATE_HOME:-$HOME/.local/state}/Tarnwick/Marrowin/log"
  shown() { cat "$log"/*.log 2>/dev/null | grep -c "\[profile\] Main window shown" || true; }
  before=$(shown)
  "$MW_BIN" "$@" & pid=$!
  for _ in $(seq 300); do [ "$(shown)" -gt "$before" ] && break; sleep 0.1; done
  sleep "${MARROWIN_SCREENSHOT_DELAY:-3}"
  window=$(xdotool search --onlyvisible --name "^Marrowin\$" 2>/dev/null | head -1 || true)
  for click in $MW_CLICKS; do
    xdotool mousemove --window "$window" "${click%,*}" "${click#*,}" click 1
    sleep 1.5
  done
  if [ -n "$window" ]; then
    xwd -id "$window" -silent > "$MW_SHOT.xwd"
  else
    xwd -name Marrowin -silent > "$MW_SHOT.xwd"
  fi
  python3 "$MW_XWD2PNG" "$MW_SHOT.xwd" "$MW_SHOT"
  rm -f "$MW_SHOT.xwd"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "Screenshot: $MW_SHOT"' bash "${args[@]}"
