# Shared by the benchmark scripts (sourced, not run). Uses a private Firebird instance of its
# own ("bench", port 3067) from tests/server/fbserver.sh, so test runs on the shared instance and
# these measurements never disturb each other. The machine's own server is never touched.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TOVANEL_BENCH_BUILD:-$here/build-bench}
fbserver=$here/tests/server/fbserver.sh

export TOVANEL_FB_INSTANCE=${TOVANEL_BENCH_INSTANCE:-bench}
export TOVANEL_FB_PORT=${TOVANEL_BENCH_PORT:-3067}
export TOVANEL_FB_PASSWORD=${TOVANEL_FB_PASSWORD:-ravenpike}
# Every client here (tovanel-cli, gfix, gbak, isql-fb, the bench programs) takes these.
export ISC_USER=SYSDBA
export ISC_PASSWORD=$TOVANEL_FB_PASSWORD
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

bench_server_start() {
  "$fbserver" start
  local line
  while IFS= read -r line; do
    export "${line?}"
  done < <("$fbserver" env)
  # Databases and backups live here; the server's account must be able to write it.
  work=$TOVANEL_FB_SCRATCH/bench
  mkdir -p "$work"
  chmod 0777 "$work"
}

bench_server_restart() { "$fbserver" restart; }
bench_server_stop() { "$fbserver" stop; }

load_now() { cut -d' ' -f1-3 /proc/loadavg; }

# Waits (at most $1 seconds, default 600) until the one-minute load falls under $2 (default 0.7),
# then prints the load it found. Other work on the machine may keep it high: the figures then
# carry the load they were measured under.
wait_for_quiet() {
  local limit=${1:-600} threshold=${2:-0.7} waited=0
  while awk -v t="$threshold" '{ exit !($1 >= t) }' /proc/loadavg && [ "$waited" -lt "$limit" ]; do
    sleep 10
    waited=$((waited + 10))
  done
  echo "load average (1, 5, 15 min): $(load_now) after waiting ${waited} s"
}

seconds_now() { date +%s.%N; }
elapsed_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }'; }

# Median of the numbers given as arguments.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) printf "%.3f", v[(NR + 1) / 2];
    else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# A copy of a database that the server's account may read and write.
server_copy() {
  cp --sparse=never "$1" "$2"
  chmod 0666 "$2"
}

# The rows of the benchmark database's tables, "CLIENTES n PEDIDOS n ITENS n".
row_counts() {
  isql-fb -q "localhost:$1" <<'SQL' | awk 'NF == 2 { printf "%s%s %s", sep, $1, $2; sep = " " } END { print "" }'
set list on;
select (select count(*) from clientes) as clientes, (select count(*) from pedidos) as pedidos,
       (select count(*) from itens) as itens from rdb$database;
SQL
}

machine_line() {
  echo "machine: $(nproc) cores, $(awk '/model name/ { $1 = $2 = $3 = ""; print; exit }' /proc/cpuinfo | sed 's/^ *//'),"\
    "$(free -m | awk '/Mem:/ { print $2 " MiB" }'), $(. /etc/os-release && echo "$PRETTY_NAME"), $(date -u '+%Y-%m-%d %H:%M UTC')"
}
