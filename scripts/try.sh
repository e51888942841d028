#!/usr/bin/env bash
# Installs what is needed, builds, and opens the Tovanel window.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build"
exec "$here/build/app/ui/tovanel"
