#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, starts the private test server and
# runs every test. Exits non-zero when anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build" -DTOVANEL_WERROR=ON
cd "$here/build"
ctest --output-on-failure -j 2
