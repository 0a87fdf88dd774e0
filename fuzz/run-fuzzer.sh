#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time: run-fuzzer.sh BIN SECONDS WORKDIR SEEDDIR.
# New inputs and crash artifacts go to WORKDIR; the seeds in the tree are read
# only. A fixed seed keeps a CI run repeatable.
set -euo pipefail
bin=$1 seconds=$2 work=$3 seeds=$4
mkdir -p "$work"
log="$work/last-run.log"
status=0
"$bin" -seed=1 -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$seeds" >"$log" 2>&1 || status=$?
grep -E '^(stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "$log" || true
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log"
  exit "$status"
fi
