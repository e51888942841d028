#!/usr/bin/env bash
# Benchmark 6: rows per second copied from one table into the same table of another database
# through the access layer (bench_sql_copy: natural scan, rows passed as bytes into EXECUTE BLOCK
# batches, primary key built after the load), one run per batch size, against the server's own
# backup and restore of the same table (gbak through the service manager), same rows, same machine.
#
#   bench/sql-copy.sh [ROWS [BATCH_SIZES...]]      (defaults 200000; 0 1 16 64 100 128 200; 0 = scan only)
set -euo pipefail
export TOVANEL_BENCH_INSTANCE=${TOVANEL_BENCH_INSTANCE:-sqlcopy}
export TOVANEL_BENCH_PORT=${TOVANEL_BENCH_PORT:-3065}
source "$(dirname "$0")/lib.sh"
rows=${1:-200000}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(0 1 16 64 100 128 200)
bench_server_start >/dev/null

table_ddl="create table ITENS (ID integer not null, PEDIDO integer, VALOR numeric(12,2), CRIADO timestamp,
  NOTA varchar(100) character set win1252)"
source_db=$work/sql-copy-source-$rows.fdb
template=$work/sql-copy-empty.fdb
if [ ! -f "$source_db" ]; then
  isql-fb -q -b <<SQL
create database 'localhost:$source_db' page_size 8192 default character set none;
$table_ddl;
commit;
set term ^;
execute block as declare i integer = 0; begin
  while (i < $rows) do begin
    insert into ITENS values (:i, mod(:i * 7, 50000), :i * 1.25, dateadd(:i second to timestamp '2026-01-01 00:00:00'),
      'nota ' || :i || ' ' || lpad(mod(:i * 7919, 1000003), 7, '0') || ' pre' || ascii_char(231) || 'o e descri' || ascii_char(231) || ascii_char(227) || 'o');
    i = i + 1;
  end
end^
set term ;^
commit;
alter table ITENS add primary key (ID);
commit;
SQL
fi
rm -f "$template"
isql-fb -q -b <<SQL
create database 'localhost:$template' page_size 8192 default character set none;
$table_ddl;
commit;
SQL
echo "source: $source_db, $(stat -c %s "$source_db") bytes, $rows rows"
wait_for_quiet 300 1.0

for size in "${sizes[@]}"; do
  target=$work/sql-copy-target-$size.fdb
  rm -f "$target"
  server_copy "$template" "$target"
  "$build/bench/bench_sql_copy" "$source_db" "$target" ITENS ID "$size" || true
  rm -f "$target"
  if [ "$size" -ge 64 ]; then
    server_copy "$template" "$target"
    "$build/bench/bench_sql_copy" "$source_db" "$target" ITENS ID "$size" no-undo || true
    rm -f "$target"
  fi
done

backup=$work/sql-copy.fbk
restored=$work/sql-copy-restored.fdb
rm -f "$backup" "$restored"
start=$(seconds_now)
gbak -b -se localhost:service_mgr "$source_db" "$backup"
backup_s=$(elapsed_since "$start")
start=$(seconds_now)
gbak -c -rep -se localhost:service_mgr "$backup" "$restored"
restore_s=$(elapsed_since "$start")
awk -v b="$backup_s" -v r="$restore_s" -v n="$rows" \
  'BEGIN { printf "server backup %.3f s + restore %.3f s = %.3f s, %.0f rows/s\n", b, r, b + r, n / (b + r) }'
rm -f "$backup" "$restored"
