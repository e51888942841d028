#!/usr/bin/env bash
# Installs what is needed, builds, and opens the Tovanel window. When no Firebird server answers
# on this machine, a private one is started for the session with a damaged sample database to
# repair, and stopped again when the window closes (scripts/try-setup.sh).
#
# Variables (besides those of try-setup.sh): TOVANEL_TRY_NO_BUILD=1 skips installing and building;
# TOVANEL_TRY_WINDOW names the program to open instead of the built window.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export TOVANEL_BUILD_DIR=${TOVANEL_BUILD_DIR:-$here/build}
if [ "${TOVANEL_TRY_NO_BUILD:-0}" != 1 ]; then
  "$here/scripts/install-deps.sh"
  # Only what this script runs: the window, and the damage tool for the sample database. The
  # test command builds the rest into the same folder.
  TOVANEL_BUILD_TARGETS="tovanel fbdamage" "$here/scripts/build.sh" "$TOVANEL_BUILD_DIR"
fi

setup=$("$here/scripts/try-setup.sh") || { echo "try: the set-up failed" >&2; exit 1; }
declare -A try
while IFS='=' read -r key value; do
  try[$key]=$value
done <<<"$setup"

stop_private_instance() {
  TOVANEL_FB_ROOT=${try[TOVANEL_FB_ROOT]} TOVANEL_FB_INSTANCE=${try[TOVANEL_FB_INSTANCE]} \
    TOVANEL_FB_PORT=${try[TOVANEL_FB_PORT]} "$here/tests/server/fbserver.sh" stop
}
if [ "${try[TOVANEL_TRY_STARTED]}" = 1 ]; then
  trap stop_private_instance EXIT
  trap 'exit 130' INT TERM HUP
fi

if [ "${try[TOVANEL_TRY_SERVER]}" = private ]; then
  export FIREBIRD=${try[FIREBIRD]}
  cat <<EOF

  No Firebird server answered on this machine, so a private one runs for this session
  (port ${try[TOVANEL_FB_PORT]}, loopback only); it stops when the window closes.
  A damaged sample database is ready. In the window, type its path:

      ${try[TOVANEL_TRY_SAMPLE]}

  The default user and password (SYSDBA / ${try[TOVANEL_FB_PASSWORD]}) work: leave
  "Utilizar usuário e senha padrão" ticked. Then press "Teste conexão", "Verifica" and "Repara".

EOF
else
  cat <<EOF

  A Firebird server already answers on this machine; Tovanel opens against it and nothing else
  is changed. Use a database of that server, with its user and password.

EOF
fi

"${TOVANEL_TRY_WINDOW:-$TOVANEL_BUILD_DIR/app/ui/tovanel}"
