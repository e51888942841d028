#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given as $1); the other arguments go to the
# configure step. TOVANEL_BUILD_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build}
shift || true
# A compiler cache, where the machine has one, makes a rebuild after a small change quick.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
read -r -a targets <<<"${TOVANEL_BUILD_TARGETS:-}"
cmake --build "$dir" -j "$(nproc)" ${targets[@]:+--target "${targets[@]}"}
