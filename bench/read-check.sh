#!/usr/bin/env bash
# Benchmark: tovanel-cli's verification of the benchmark database with its read check (every
# record and blob read through a backup to the server's null device) and without it (--quick),
# and the read check's own time against the repair's backup step of the same file (a service
# backup into a file, as the repair makes it). Runs alternate; medians of RUNS. Instance of its
# own (port 3071).
#
#   bench/read-check.sh [SIZE_MB [RUNS]]   (defaults 200, 3)
set -euo pipefail
export TOVANEL_BENCH_INSTANCE=${TOVANEL_BENCH_INSTANCE:-readcheck}
export TOVANEL_BENCH_PORT=${TOVANEL_BENCH_PORT:-3071}
source "$(dirname "$0")/lib.sh"
size_mb=${1:-200}
runs=${2:-3}
bench_server_start >/dev/null
trap bench_server_stop EXIT

db=$work/healthy-${size_mb}mb.fdb
[ -f "$db" ] || "$here/bench/make-database.sh" "$db" "$size_mb"
service=localhost/$TOVANEL_FB_PORT:service_mgr
echo "$(machine_line)"
echo "database: $db, $(stat -c %s "$db") bytes; rows: $(row_counts "$db")"
echo "$(wait_for_quiet 300 1.0)"

# The verification's log shows how long its read check took: from its heading to its last line.
verify() {
  local start status=0
  start=$(seconds_now)
  "$build/cli/tovanel-cli" verify --yes --no-repair "$@" "$db" >"$work/verify.log" 2>&1 || status=$?
  elapsed_since "$start"
  [ "$status" -eq 0 ] || echo " (exit $status)" >&2
}

# The read check alone: the same backup the verification starts, timed from outside.
read_check() {
  local start
  start=$(seconds_now)
  fbsvcmgr "$service" -user SYSDBA -password "$ISC_PASSWORD" action_backup dbname "$db" bkp_file /dev/null \
    bkp_no_garbage_collect verbose >/dev/null
  elapsed_since "$start"
}

# The repair's backup step: into a file beside the database, then removed.
repair_backup() {
  local start
  rm -f "$work/bench.gbk"
  start=$(seconds_now)
  fbsvcmgr "$service" -user SYSDBA -password "$ISC_PASSWORD" action_backup dbname "$db" bkp_file "$work/bench.gbk" \
    verbose >/dev/null
  elapsed_since "$start"
  rm -f "$work/bench.gbk"
}

full=() quick=() check=() backup=()
for run in $(seq 1 "$runs"); do
  if [ $((run % 2)) -eq 1 ]; then
    full+=("$(verify)"); quick+=("$(verify --quick)")
    check+=("$(read_check)"); backup+=("$(repair_backup)")
  else
    quick+=("$(verify --quick)"); full+=("$(verify)")
    backup+=("$(repair_backup)"); check+=("$(read_check)")
  fi
  echo "run $run: verify ${full[-1]} s, verify --quick ${quick[-1]} s, read check ${check[-1]} s, repair's backup ${backup[-1]} s"
done
echo "median: verify $(median "${full[@]}") s, verify --quick $(median "${quick[@]}") s," \
  "read check $(median "${check[@]}") s, repair's backup $(median "${backup[@]}") s (load $(load_now))"
