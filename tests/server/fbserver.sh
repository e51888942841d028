#!/usr/bin/env bash
# A private Firebird 3 instance for tests and trials: its own configuration directory, security
# database, lock and temporary directories, and port, bound to loopback only. The machine's own
# Firebird server and everything under /etc/firebird and /var/lib/firebird are left alone.
# The port and the bind address come from firebird.conf alone: the server's -p switch would make
# it listen on every address.
#
#   fbserver.sh start | stop | kill | status | env | stop-all
#
# Variables:
#   TOVANEL_FB_ROOT      base directory of all instances        (default /tmp/tovanel-fb)
#   TOVANEL_FB_INSTANCE  name of this instance                   (default main)
#   TOVANEL_FB_PORT      TCP port (default 3057 for "main", 3058 for "fault", else required)
#   TOVANEL_FB_PASSWORD  SYSDBA's password                       (default ravenpike)
#   TOVANEL_FB_SYSTEM_DIR  the system's Firebird directory, whose plugins and intl module the
#                        instance uses      (default /usr/lib/x86_64-linux-gnu/firebird/3.0)
#
# `env` prints KEY=VALUE lines for client processes: FIREBIRD makes the client library read this
# instance's firebird.conf, hence its RemoteServicePort, so "localhost:<path>" and
# "localhost:service_mgr" reach this instance.
set -euo pipefail

fb_root=${TOVANEL_FB_ROOT:-/tmp/tovanel-fb}
instance=${TOVANEL_FB_INSTANCE:-main}
password=${TOVANEL_FB_PASSWORD:-ravenpike}
case "$instance" in
  main) port=${TOVANEL_FB_PORT:-3057} ;;
  fault) port=${TOVANEL_FB_PORT:-3058} ;;
  *) port=${TOVANEL_FB_PORT:?TOVANEL_FB_PORT must be set for instance $instance} ;;
esac
home=$fb_root/$instance
scratch=$home/scratch
system_fb=${TOVANEL_FB_SYSTEM_DIR:-/usr/lib/x86_64-linux-gnu/firebird/3.0}
server_bin=/usr/sbin/firebird
security_sql=/usr/share/firebird/3.0/security.sql
system_log=/var/log/firebird

die() { echo "fbserver: $*" >&2; exit 1; }

# The server runs under its own account when we can switch to it; otherwise as the caller.
if [ "$(id -u)" -eq 0 ] && id firebird >/dev/null 2>&1; then
  as_server=(setpriv --reuid firebird --regid firebird --init-groups --)
  server_owner=firebird:firebird
else
  as_server=()
  server_owner=$(id -un):$(id -gn)
fi

log_ns=()

# Runs a command as the server's account with this instance's environment.
as_server() {
  "${log_ns[@]}" "${as_server[@]}" env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$home" FIREBIRD_LOCK="$home/lock" \
    FIREBIRD_TMP="$home/tmp" "$@"
}

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

server_pid() {
  local pid
  [ -f "$home/server.pid" ] || return 1
  pid=$(cat "$home/server.pid")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  # A recycled pid must not be mistaken for our server.
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$server_bin" ] || return 1
  echo "$pid"
}

# The character sets beyond the built-in ones live in the intl module. Reached through a link, the
# server registers the module under its resolved path and every later lookup of
# $(root)/intl/fbintl fails ("CHARACTER SET WIN1252 is not installed"), so the instance gets a real
# directory holding copies of the module and its configuration.
copy_intl() {
  local dir=$home/intl file
  [ -L "$dir" ] && rm -f "$dir"
  rm -f "$home/fbintl.conf"  # a link left by earlier versions of this script
  mkdir -p "$dir"
  for file in libfbintl.so fbintl.conf; do
    [ -r "$system_fb/intl/$file" ] ||
      die "cannot read $system_fb/intl/$file: the character sets would be missing (install firebird3.0-server)"
    cmp -s "$system_fb/intl/$file" "$dir/$file" || cp -L "$system_fb/intl/$file" "$dir/$file" ||
      die "cannot copy $system_fb/intl/$file into $dir"
    chmod 0644 "$dir/$file"
  done
  [ -d "$dir" ] && [ ! -L "$dir" ] && [ -f "$dir/libfbintl.so" ] && [ ! -L "$dir/libfbintl.so" ] ||
    die "$dir is not a real directory holding libfbintl.so: the character sets would be missing"
}

write_config() {
  mkdir -p "$home/lock" "$home/tmp" "$scratch" "$home/log"
  ln -sfn "$system_fb/plugins" "$home/plugins"
  copy_intl
  ln -sfn "$system_fb/firebird.msg" "$home/firebird.msg"
  cat >"$home/firebird.conf" <<EOF
# Private test instance; see tests/server/fbserver.sh.
RemoteServicePort = $port
RemoteBindAddress = localhost
SecurityDatabase = $home/security3.fdb
ServerMode = Super
UdfAccess = None
AuthServer = Srp
UserManager = Srp
WireCrypt = Enabled
EOF
  cat >"$home/databases.conf" <<EOF
security.db = $home/security3.fdb
{
	RemoteAccess = false
}
EOF
  cat >"$home/plugins.conf" <<EOF
Plugin = UDR {
	Module = \$(dir_plugins)/udr_engine
	Config = UDR_config
}

Config = UDR_config {
	path = \$(dir_plugins)/udr
}
EOF
  chown -R "$server_owner" "$home/lock" "$home/tmp" "$home/log"
  chown "$server_owner" "$home" "$scratch"
  # Tests running as another user (root) write into the scratch directory too.
  chmod 0777 "$scratch"
  chmod 0755 "$fb_root" "$home"
}

# Built once per instance with the embedded engine, as the account that later runs the server,
# so the lock files it leaves behind belong to that account.
# The marker holds the password last set, so a changed TOVANEL_FB_PASSWORD takes effect.
make_security_db() {
  local sec=$home/security3.fdb marker=$home/security.ready
  if [ -f "$marker" ] && [ "$(cat "$marker")" = "$password" ]; then
    return 0
  fi
  if [ ! -f "$marker" ]; then
    rm -f "$sec"
    echo "create database '$sec';" | as_server isql-fb -q >/dev/null
    as_server isql-fb -q -user SYSDBA -i "$security_sql" "$sec" >/dev/null
  fi
  local quoted=${password//\'/\'\'}
  echo "create or alter user SYSDBA password '$quoted' using plugin Srp; commit;" |
    as_server isql-fb -q -user SYSDBA "$sec" >/dev/null
  (umask 077 && printf '%s' "$password" >"$marker")
}

# The server writes its log into a directory fixed at build time, the system's one. When we may,
# the server gets a mount namespace of its own in which this instance's log directory covers it.
own_log_dir_possible() {
  [ "$(id -u)" -eq 0 ] && [ -d "$system_log" ] && command -v unshare >/dev/null &&
    unshare --mount --propagation private -- mount --bind "$home/log" "$system_log" 2>/dev/null
}

start() {
  local pid
  if pid=$(server_pid) && port_open; then
    return 0
  fi
  [ -x "$server_bin" ] || die "$server_bin not found (install firebird3.0-server)"
  if port_open; then
    die "port $port is already taken by another process"
  fi
  mkdir -p "$fb_root"
  write_config
  if own_log_dir_possible; then
    log_ns=(unshare --mount --propagation private -- sh -c \
      'mount --bind "$0" "$1" && shift && exec "$@"' "$home/log" "$system_log")
  fi
  make_security_db
  "${log_ns[@]}" setsid "${as_server[@]}" env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$home" \
    FIREBIRD_LOCK="$home/lock" FIREBIRD_TMP="$home/tmp" "$server_bin" \
    </dev/null >>"$home/log/server.out" 2>&1 &
  local started=$! i
  echo "$started" >"$home/server.pid"
  for i in $(seq 1 200); do
    if port_open; then
      return 0
    fi
    if ! kill -0 "$started" 2>/dev/null; then
      tail -n 20 "$home/log/server.out" >&2 || true
      die "the server exited while starting"
    fi
    sleep 0.05
  done
  die "the server did not open port $port"
}

wait_gone() {
  local pid=$1 tries=$2 i
  for i in $(seq 1 "$tries"); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  return 1
}

# A server that hit a consistency check on a damaged file may ignore TERM: short wait, then KILL.
stop() {
  local pid
  pid=$(server_pid) || { rm -f "$home/server.pid"; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  if ! wait_gone "$pid" 60; then
    kill -KILL "$pid" 2>/dev/null || true
    wait_gone "$pid" 100 || die "server $pid does not end"
  fi
  rm -f "$home/server.pid"
}

kill_now() {
  local pid
  pid=$(server_pid) || { rm -f "$home/server.pid"; return 0; }
  kill -KILL "$pid" 2>/dev/null || true
  wait_gone "$pid" 100 || die "server $pid does not end"
  rm -f "$home/server.pid"
}

status() {
  local pid
  if pid=$(server_pid) && port_open; then
    echo "running pid $pid port $port home $home"
  else
    echo "stopped port $port home $home"
    return 3
  fi
}

print_env() {
  echo "FIREBIRD=$home"
  echo "TOVANEL_FB_ROOT=$fb_root"
  echo "TOVANEL_FB_INSTANCE=$instance"
  echo "TOVANEL_FB_PORT=$port"
  echo "TOVANEL_FB_SCRATCH=$scratch"
  echo "TOVANEL_FB_PASSWORD=$password"
}

stop_all() {
  local dir
  for dir in "$fb_root"/*/; do
    [ -f "$dir/server.pid" ] || continue
    TOVANEL_FB_INSTANCE=$(basename "$dir") TOVANEL_FB_PORT=$(sed -n 's/^RemoteServicePort = //p' "$dir/firebird.conf") \
      "$0" stop
  done
}

# One caller at a time per instance: parallel tests may all ask for a start.
locked() {
  mkdir -p "$fb_root"
  exec 9>"$fb_root/.$instance.lock"
  flock 9
  "$@"
}

case "${1:-}" in
  start) locked start ;;
  stop) locked stop ;;
  kill) locked kill_now ;;
  restart) locked stop; locked start ;;
  status) status ;;
  env) print_env ;;
  stop-all) stop_all ;;
  *) echo "usage: $0 start|stop|kill|restart|status|env|stop-all" >&2; exit 2 ;;
esac
