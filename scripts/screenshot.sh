#!/usr/bin/env bash
# Starts Tovanel under a virtual X server (Xvfb) and saves a PNG of its main window, by default
# as docs/screenshot.png. Builds what it needs into build/ (or $TOVANEL_BUILD_DIR).
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVANEL_BUILD_DIR:-$here/build}
out=$(realpath -m "${1:-$here/docs/screenshot.png}")
mkdir -p "$(dirname "$out")"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target tovanel tovanel_grab_window

export TOVANEL_EXE=$build/app/ui/tovanel TOVANEL_GRAB=$build/tests/qt/tovanel_grab_window TOVANEL_OUT=$out
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -c '
  set -euo pipefail
  "$TOVANEL_EXE" & app=$!
  trap "kill $app 2>/dev/null || true" EXIT
  id=
  for _ in $(seq 100); do
    id=$(xwininfo -root -tree | awk "/\"Tovanel 1.0-3 - /{print \$1; exit}")
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "the main window did not appear" >&2; exit 1; }
  sleep 2   # past the first tick of the status timer
  "$TOVANEL_GRAB" "$id" "$TOVANEL_OUT"
'
