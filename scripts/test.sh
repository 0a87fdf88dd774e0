#!/usr/bin/env bash
# Builds everything and runs the whole test suite headless.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${MARROWIN_BUILD:-$here/build}
"$here/scripts/build.sh"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" "$@"
