#!/usr/bin/env bash
# The sanitizer part of CI, after scripts/test.sh:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer: the whole tree in
#      ./build-asan, the whole suite run there;
#   2. ThreadSanitizer: the tests labelled "tsan" (our own threads: loader,
#      search, export) in ./build-tsan;
#   3. libFuzzer: every target under fuzz/ (clang) in ./build-fuzz, each for
#      $MARROWIN_FUZZ_SECONDS (default 30) from its corpus in the tree.
# Usage: test-sanitizers.sh [asan] [tsan] [fuzz]   (default: all three)
# Each part prints how long it took.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(asan tsan fuzz)
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The real-world mailboxes come from the regular build when it has them.
share_testdata() {
  if [ -d "$here/build/testdata" ] && [ ! -e "$1/testdata" ]; then
    mkdir -p "$1" && cp -r "$here/build/testdata" "$1/testdata"
  fi
}

configure() {  # dir, extra cmake args...
  local dir=$1; shift
  share_testdata "$dir"
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
}

# Qt's libraries are not built with TSan, so the order they create between
# threads (thread pool, futures, queued signals, QMutex's slow path) is
# invisible to it: a report with a Qt frame in it is listed, not failed on.
# A report without one is a race in code of ours and fails the run.
tsan_verdict() {
  local dir=$1 ours=0 qt=0
  [ -d "$dir" ] || { echo "[sanitizers] tsan: no reports"; return 0; }
  while IFS= read -r -d '' report; do
    if grep -q 'libQt6' <<<"$report"; then qt=$((qt + 1)); else ours=$((ours + 1)); echo "$report"; fi
  done < <(cat "$dir"/* 2>/dev/null | awk 'BEGIN{RS="==================\n"} /WARNING: ThreadSanitizer/ {printf "%s%c", $0, 0}')
  echo "[sanitizers] tsan: $ours report(s) in our own code, $qt through Qt's uninstrumented synchronisation (listed in $dir)"
  [ "$ours" -eq 0 ]
}

"$here/scripts/deps.sh"
for part in "${parts[@]}"; do
  start=$SECONDS
  case $part in
    asan)
      configure "$here/build-asan" "-DMARROWIN_SANITIZE=address,undefined"
      cmake --build "$here/build-asan" --parallel "$jobs"
      (cd "$here/build-asan" && ctest --output-on-failure --parallel "$jobs" -LE no-asan)
      ;;
    tsan)
      configure "$here/build-tsan" "-DMARROWIN_SANITIZE=thread"
      cmake --build "$here/build-tsan" --parallel "$jobs" --target mw_tsan_tests
      rm -rf "$here/build-tsan/tsan-reports"
      (cd "$here/build-tsan" && ctest --output-on-failure --parallel "$jobs" -L tsan)
      tsan_verdict "$here/build-tsan/tsan-reports"
      ;;
    fuzz)
      configure "$here/build-fuzz" -DMARROWIN_FUZZ=ON "-DMARROWIN_SANITIZE=address,undefined" \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
      cmake --build "$here/build-fuzz" --parallel "$jobs" --target mw_fuzzers
      (cd "$here/build-fuzz" && ctest --output-on-failure -L fuzz)
      ;;
    *)
      echo "test-sanitizers.sh: unknown part $part" >&2
      exit 2
      ;;
  esac
  echo "[sanitizers] $part: $((SECONDS - start)) s"
done
