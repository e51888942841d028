#!/usr/bin/env bash
# Benchmark 3: lines of 80 characters appended to the real log widget (offscreen), each followed
# by a pass of the event loop; one process per size so each peak memory figure is its own.
#
#   bench/log.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
for size_and_repetitions in 1000:5 100000:3 1000000:1; do
  size=${size_and_repetitions%:*}
  repetitions=${size_and_repetitions#*:}
  "$build/bench/bench_log_append" --benchmark_filter="LogAppend/$size/" \
    --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only="$([ "$repetitions" -gt 1 ] && echo true || echo false)" 2>&1 |
    grep -E '^LogAppend'
done
