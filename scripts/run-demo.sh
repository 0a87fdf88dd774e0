#!/usr/bin/env bash
# Builds Marrowin, writes the demo mailbox and opens it.
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
exec "$build/bin/Marrowin" "${args[@]}"
