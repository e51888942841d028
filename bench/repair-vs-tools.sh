#!/usr/bin/env bash
# Benchmark 1: the repair of tovanel-cli against the same pipeline of the server's own tools,
# on copies of one damaged database, alternating which goes first. The server is restarted
# before every run, so each starts with the same cold server cache and no file held open.
#
#   bench/repair-vs-tools.sh [SIZE_MB [RUNS [DAMAGED_PAGES [DAMAGE_KIND]]]]
#   (defaults 200, 5, 3, records)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
size_mb=${1:-200}
runs=${2:-5}
pages=${3:-3}
kind=${4:-records}
bench_server_start >/dev/null

healthy=$work/healthy-${size_mb}mb.fdb
damaged=$work/damaged-${size_mb}mb-${kind}-${pages}.fdb
if [ ! -f "$healthy" ]; then
  "$here/bench/make-database.sh" "$healthy" "$size_mb"
fi
if [ ! -f "$damaged" ]; then
  bench_server_restart  # the server lets go of the healthy file before it is copied
  server_copy "$healthy" "$damaged"
  "$build/tests/server/fbdamage" "$kind" "$damaged" "$pages" --seed 11
fi
echo "source: $damaged, $(stat -c %s "$damaged") bytes; healthy rows: $(row_counts "$healthy")"

run_tovanel() {
  local db=$work/t$1.fdb new=$work/t$1_new.fdb start status=0
  bench_server_restart
  server_copy "$damaged" "$db"
  rm -f "$new"
  start=$(seconds_now)
  "$build/cli/tovanel-cli" repair --yes -o "$new" "$db" >"$work/t$1.log" 2>&1 || status=$?
  took=$(elapsed_since "$start")
  rows=$(row_counts "$new")
  echo "tovanel-cli run $1: $took s, exit $status, $(wc -l <"$work/t$1.log") output lines, rows: $rows"
  rm -f "$db" "$new"
}

run_tools() {
  local db=$work/g$1.fdb fbk=$work/g$1.fbk new=$work/g$1_new.fdb start s1=0 s2=0 s3=0 s4=0
  bench_server_restart
  server_copy "$damaged" "$db"
  rm -f "$new" "$fbk"
  start=$(seconds_now)
  {
    gfix -sweep "localhost:$db" || s1=$?
    gfix -mend -full -ignore "localhost:$db" || s2=$?
    gbak -b -v -se localhost:service_mgr "$db" "$fbk" || s3=$?
    gbak -c -rep -v -p 4096 -se localhost:service_mgr "$fbk" "$new" || s4=$?
    rm -f "$fbk"
  } >"$work/g$1.log" 2>&1
  took=$(elapsed_since "$start")
  rows=$(row_counts "$new")
  echo "server tools run $1: $took s, exit $s1 $s2 $s3 $s4, $(wc -l <"$work/g$1.log") output lines, rows: $rows"
  rm -f "$db" "$new"
}

# One untimed round of each first: it fills the system's file cache for both alike.
run_tovanel 0 >/dev/null
run_tools 0 >/dev/null

tovanel_times=()
tools_times=()
for run in $(seq 1 "$runs"); do
  if [ $((run % 2)) -eq 1 ]; then order="tovanel tools"; else order="tools tovanel"; fi
  for side in $order; do
    "run_$side" "$run"
    if [ "$side" = tovanel ]; then tovanel_times+=("$took"); else tools_times+=("$took"); fi
  done
done
m1=$(median "${tovanel_times[@]}")
m2=$(median "${tools_times[@]}")
echo "median tovanel-cli $m1 s, median server tools $m2 s, ratio $(awk -v a="$m1" -v b="$m2" 'BEGIN { printf "%.3f", a / b }')"
