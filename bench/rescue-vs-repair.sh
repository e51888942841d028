#!/usr/bin/env bash
# Benchmark: the rescue of tovanel-cli against its repair, on copies of one damaged database
# (three damaged data pages by default), alternating which goes first; and, from the rescue's
# JSON report, the pump's rows per second and probes per damaged page, beside the server's own
# backup+restore of the same healthy database. Runs on an instance of its own (port 3074).
#
#   bench/rescue-vs-repair.sh [SIZE_MB [RUNS [DAMAGED_PAGES]]]   (defaults 200, 3, 3)
set -euo pipefail
export TOVANEL_BENCH_INSTANCE=${TOVANEL_BENCH_INSTANCE:-rescue}
export TOVANEL_BENCH_PORT=${TOVANEL_BENCH_PORT:-3074}
source "$(dirname "$0")/lib.sh"
size_mb=${1:-200}
runs=${2:-3}
pages=${3:-3}
bench_server_start >/dev/null
trap bench_server_stop EXIT

healthy=$work/healthy-${size_mb}mb.fdb
damaged=$work/damaged-${size_mb}mb-records-${pages}.fdb
if [ ! -f "$healthy" ]; then
  "$here/bench/make-database.sh" "$healthy" "$size_mb"
fi
if [ ! -f "$damaged" ]; then
  bench_server_restart
  server_copy "$healthy" "$damaged"
  "$build/tests/server/fbdamage" records "$damaged" "$pages" --seed 11
fi
echo "$(machine_line)"
echo "source: $damaged, $(stat -c %s "$damaged") bytes; healthy rows: $(row_counts "$healthy")"

run_rescue() {
  local db=$work/r$1.fdb new=$work/r$1_new.fdb start status=0
  bench_server_restart
  server_copy "$damaged" "$db"
  rm -f "$new"
  start=$(seconds_now)
  "$build/cli/tovanel-cli" rescue --yes -o "$new" --report "$work/r$1.json" "$db" >"$work/r$1.log" 2>&1 || status=$?
  took=$(elapsed_since "$start")
  echo "rescue run $1: $took s, exit $status, rows: $(row_counts "$new")"
  python3 - "$work/r$1.json" "$pages" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
for t in report["tables"]:
    if t["carried_by"] != "pump":
        continue
    rate = t["rows_saved"] / t["seconds"] if t["seconds"] else 0
    print(f"  pumped {t['name']}: {t['rows_saved']} rows in {t['seconds']:.2f} s ({rate:.0f} rows/s), "
          f"{t['rows_quarantined']} quarantined, {t['unreadable_records']} unreadable, {t['probes']} probes")
PY
  rm -f "$db" "$new"
}

run_repair() {
  local db=$work/t$1.fdb new=$work/t$1_new.fdb start status=0
  bench_server_restart
  server_copy "$damaged" "$db"
  rm -f "$new"
  start=$(seconds_now)
  "$build/cli/tovanel-cli" repair --yes -o "$new" "$db" >"$work/t$1.log" 2>&1 || status=$?
  took=$(elapsed_since "$start")
  echo "repair run $1: $took s, exit $status, rows: $(row_counts "$new")"
  rm -f "$db" "$new"
}

# The server's backup and restore of the healthy database: what the pump's speed is held against.
run_backup_restore() {
  local fbk=$work/h.fbk new=$work/h_new.fdb start
  bench_server_restart
  rm -f "$fbk" "$new"
  start=$(seconds_now)
  gbak -b -g -se localhost:service_mgr "$healthy" "$fbk" >/dev/null 2>&1
  gbak -c -rep -p 4096 -se localhost:service_mgr "$fbk" "$new" >/dev/null 2>&1
  took=$(elapsed_since "$start")
  echo "server backup+restore of the healthy database: $took s, rows: $(row_counts "$new")"
  rm -f "$fbk" "$new"
}

run_backup_restore
rescue_times=()
repair_times=()
for run in $(seq 1 "$runs"); do
  if [ $((run % 2)) -eq 1 ]; then order="rescue repair"; else order="repair rescue"; fi
  for side in $order; do
    "run_$side" "$run"
    if [ "$side" = rescue ]; then rescue_times+=("$took"); else repair_times+=("$took"); fi
  done
done
m1=$(median "${rescue_times[@]}")
m2=$(median "${repair_times[@]}")
echo "median rescue $m1 s, median repair $m2 s, ratio $(awk -v a="$m1" -v b="$m2" 'BEGIN { printf "%.3f", a / b }')"
