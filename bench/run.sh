#!/usr/bin/env bash
# Builds the benchmark programs into their own build directory (RelWithDebInfo, as the product
# is built) and runs one benchmark or all of them, each output also saved under
# $build/bench-results/. Nothing here is part of the tests.
#
#   bench/run.sh [all|repair|output-loop|log|responsiveness|startup|sql-copy] [ARGS...]
#
# TOVANEL_BENCH_BUILD chooses the build directory (default build-bench).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
what=${1:-all}
shift || true

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVANEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target fbdamage tovanel-cli tovanel bench_output_loop bench_sql_copy \
  bench_log_append bench_responsiveness bench_startup

results=$build/bench-results
mkdir -p "$results"

run_one() {
  local name=$1
  shift
  local out
  out=$results/$name-$(date -u +%Y%m%dT%H%M%SZ).txt
  {
    echo "# bench/$name.sh $*"
    machine_line
    echo "load before: $(load_now)"
    "$here/bench/$name.sh" "$@"
    echo "load after: $(load_now)"
  } 2>&1 | tee "$out"
  echo "saved $out"
}

case "$what" in
  repair) run_one repair-vs-tools "$@" ;;
  output-loop | log | responsiveness | startup | sql-copy) run_one "$what" "$@" ;;
  all)
    run_one repair-vs-tools
    run_one output-loop
    run_one log
    run_one responsiveness
    run_one startup
    run_one sql-copy
    ;;
  *) echo "usage: bench/run.sh [all|repair|output-loop|log|responsiveness|startup|sql-copy] [ARGS...]" >&2; exit 2 ;;
esac
