#!/usr/bin/env bash
# Benchmark 2: one verbose backup read through GetNextLine against a bare loop over
# isc_service_query (same request item, same buffer size), alternating, on the healthy database
# of benchmark 1.
#
#   bench/output-loop.sh [SIZE_MB [RUNS]]      (defaults 200, 5)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
size_mb=${1:-200}
runs=${2:-5}
bench_server_start >/dev/null
healthy=$work/healthy-${size_mb}mb.fdb
[ -f "$healthy" ] || "$here/bench/make-database.sh" "$healthy" "$size_mb"
bench_server_restart
echo "database: $healthy, $(stat -c %s "$healthy") bytes"
"$build/bench/bench_output_loop" "$healthy" "$work/output-loop.fbk" "$runs"
