#!/usr/bin/env bash
# Prepares a first try of Tovanel. When a Firebird server already answers on this machine, it
# reports that and changes nothing. Otherwise it starts the project's private instance (the one
# the tests use, see tests/server/fbserver.sh) and makes a small damaged sample database for it.
#
#   scripts/try-setup.sh
#   scripts/try-setup.sh probe PORT    exit status 0 when a Firebird server answers on PORT
#
# Prints KEY=VALUE lines on stdout for the caller; words for people go to stderr.
#   TOVANEL_TRY_SERVER=existing|private
#   TOVANEL_TRY_STARTED=1|0       this run started the private instance; the caller stops it
#   FIREBIRD=...                  (private) the environment through which clients reach it
#   TOVANEL_FB_ROOT, TOVANEL_FB_INSTANCE, TOVANEL_FB_PORT, TOVANEL_FB_PASSWORD   (private)
#   TOVANEL_TRY_SAMPLE=...        (private) the damaged sample database
#
# Variables:
#   TOVANEL_BUILD_DIR       build folder                                  (default build/)
#   TOVANEL_TRY_PROBE_PORT  port where an existing server is looked for   (default 3050)
#   TOVANEL_TRY_PROBE_TIMEOUT  seconds the probe waits for an answer      (default 20)
#   TOVANEL_TRY_DIR         directory of the sample                       (default $TOVANEL_BUILD_DIR/try)
#   TOVANEL_FBDAMAGE        the damage tool          (default $TOVANEL_BUILD_DIR/tests/server/fbdamage)
#   TOVANEL_FB_ROOT, TOVANEL_FB_INSTANCE (default try), TOVANEL_FB_PORT (default 3059): the
#   private instance, as tests/server/fbserver.sh reads them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVANEL_BUILD_DIR:-$here/build}
probe_port=${TOVANEL_TRY_PROBE_PORT:-3050}
sample_dir=${TOVANEL_TRY_DIR:-$build/try}
fbdamage=${TOVANEL_FBDAMAGE:-$build/tests/server/fbdamage}
fbserver=$here/tests/server/fbserver.sh
export TOVANEL_FB_INSTANCE=${TOVANEL_FB_INSTANCE:-try}
if [ "$TOVANEL_FB_INSTANCE" = try ]; then
  export TOVANEL_FB_PORT=${TOVANEL_FB_PORT:-3059}
fi

say() { echo "try-setup: $*" >&2; }
die() { say "$*"; exit 1; }

# A Firebird server answers the service manager even when it refuses the login; anything else
# (no listener, another protocol, silence) counts as no server. Taking a server for none costs
# only a private instance on a port of its own; the reverse would leave a newcomer with nothing.
probe_answer=
firebird_answers() {
  local port=$1 out=
  probe_answer="nothing listens"
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || return 1
  if out=$(env -u ISC_USER -u ISC_PASSWORD timeout -k 2 "${TOVANEL_TRY_PROBE_TIMEOUT:-20}" fbsvcmgr "localhost/$port:service_mgr" \
             -user TOVANEL_PROBE -password probe -info_server_version 2>&1 </dev/null); then
    probe_answer=$out
    return 0
  fi
  probe_answer=${out:-no answer}
  case $out in
    *"user name and password are not defined"* | *"Incompatible wire encryption levels"* | \
      *"Error occurred during login"* | *"Missing security context"*) return 0 ;;
  esac
  return 1
}

if [ "${1:-}" = probe ]; then
  rc=0
  firebird_answers "${2:?probe needs a port}" || rc=$?
  say "port $2: $probe_answer"
  exit "$rc"
fi

if firebird_answers "$probe_port"; then
  say "a Firebird server already answers on port $probe_port; it is left as it is"
  echo "TOVANEL_TRY_SERVER=existing"
  echo "TOVANEL_TRY_STARTED=0"
  exit 0
fi

# ---- no server: the private instance and the sample -------------------------------------------

declare -A instance
while IFS='=' read -r key value; do
  instance[$key]=$value
done < <("$fbserver" env)
home=${instance[FIREBIRD]}
password=${instance[TOVANEL_FB_PASSWORD]}

if [ ! -x "$fbdamage" ]; then
  say "building the damage tool"
  cmake --build "$build" --target fbdamage >&2 || die "cannot build fbdamage in $build"
fi

started=0
if ! "$fbserver" status >/dev/null 2>&1; then
  "$fbserver" start || die "the private Firebird instance did not start"
  started=1
fi
# Until the sample is ready, a failure stops the instance this run started.
finish_or_stop() {
  local rc=$?
  if [ "$rc" -ne 0 ] && [ "$started" = 1 ]; then "$fbserver" stop || true; fi
  exit "$rc"
}
trap finish_or_stop EXIT

# The server runs under its own account when fbserver.sh can switch to it (as root).
if [ "$(id -u)" -eq 0 ] && id firebird >/dev/null 2>&1; then
  as_server=(setpriv --reuid firebird --regid firebird --init-groups --)
  server_owner=firebird:firebird
else
  as_server=()
  server_owner=$(id -un):$(id -gn)
fi

mkdir -p "$sample_dir"
chown "$server_owner" "$sample_dir"
chmod 0775 "$sample_dir"
"${as_server[@]}" test -w "$sample_dir" -a -x "$sample_dir" ||
  die "the server's account cannot write $sample_dir (choose another with TOVANEL_TRY_DIR)"
sample_dir=$(cd "$sample_dir" && pwd)

# A fresh instance holds no file, so the sample keeps its name; a running one may hold an earlier
# sample open, so it gets a name no file has.
sample=$sample_dir/SAMPLE.FDB
if [ "$started" = 0 ]; then
  n=2
  while [ -e "$sample" ]; do sample=$sample_dir/SAMPLE_$n.FDB; n=$((n + 1)); done
fi
healthy=${sample%.FDB}_HEALTHY.FDB
rm -f "$sample" "$healthy"

say "making the sample database $sample"
# Like our users' databases: WIN1252, 4 KB pages, accented Portuguese text, Latin-1 bytes in NONE.
env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$home" "$fbdamage" create "$healthy" --user SYSDBA \
  --password "$password" --charset WIN1252 --page-size 4096 --portuguese >&2
[ -f "$healthy" ] || die "the server made no $healthy"

# The records damaged are orders: a garbled record can read back as a whole row of garbage, which
# no repair can tell from a real one, and the clients' accented text stays there to be checked.
pedidos=$(printf '%s\n' "set list on;" \
  "select rdb\$relation_id as id from rdb\$relations where rdb\$relation_name = 'PEDIDOS';" |
  env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$home" isql-fb -q -user SYSDBA -password "$password" \
    "localhost:$healthy" | awk '$1 == "ID" { print $2 }')
[ -n "$pedidos" ] || die "the sample has no PEDIDOS table"

# The damage goes into a copy the server has never opened, as the tests do it.
cp "$healthy" "$sample"
rm -f "$healthy"
chown "$server_owner" "$sample"
chmod 0660 "$sample"
"$fbdamage" records "$sample" 2 --relation "$pedidos" >&2
"$fbdamage" btree "$sample" 1 >&2

echo "TOVANEL_TRY_SERVER=private"
echo "TOVANEL_TRY_STARTED=$started"
for key in FIREBIRD TOVANEL_FB_ROOT TOVANEL_FB_INSTANCE TOVANEL_FB_PORT TOVANEL_FB_PASSWORD; do
  echo "$key=${instance[$key]}"
done
echo "TOVANEL_TRY_SAMPLE=$sample"
