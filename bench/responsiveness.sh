#!/usr/bin/env bash
# Benchmark 4: the longest pause of the event loop during a whole repair and during a
# verification in the real window (offscreen), on copies of the damaged database of benchmark 1.
#
#   bench/responsiveness.sh [SIZE_MB [RUNS [DAMAGED_PAGES [DAMAGE_KIND]]]]   (defaults 200, 3, 3, records)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
size_mb=${1:-200}
runs=${2:-3}
pages=${3:-3}
kind=${4:-records}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
bench_server_start >/dev/null
damaged=$work/damaged-${size_mb}mb-${kind}-${pages}.fdb
[ -f "$damaged" ] || { echo "run bench/repair-vs-tools.sh $size_mb first: it makes $damaged" >&2; exit 1; }
for run in $(seq 1 "$runs"); do
  bench_server_restart
  server_copy "$damaged" "$work/r$run.fdb"
  rm -f "$work/r${run}_new.fdb"
  echo "run $run, repair (load $(load_now)):"
  "$build/bench/bench_responsiveness" "$work/r$run.fdb" "$work/r${run}_new.fdb" 2>&1 |
    grep -v -e 'propagateSizeHints' -e 'XDG_RUNTIME_DIR'
  rm -f "$work/r$run.fdb" "$work/r${run}_new.fdb"
  bench_server_restart
  server_copy "$damaged" "$work/v$run.fdb"
  echo "run $run, verification (load $(load_now)):"
  "$build/bench/bench_responsiveness" --verify "$work/v$run.fdb" 2>&1 |
    grep -v -e 'propagateSizeHints' -e 'XDG_RUNTIME_DIR'
  rm -f "$work/v$run.fdb"
done
echo "load after: $(load_now)"
