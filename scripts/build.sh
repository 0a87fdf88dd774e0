#!/usr/bin/env bash
# Configures and builds the whole tree into ./build (or $MARROWIN_BUILD).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MARROWIN_BUILD:-$here/build}
"$here/scripts/deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"
