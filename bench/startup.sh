#!/usr/bin/env bash
# Benchmark 5: process start to the main window shown, and its resident memory; offscreen, and
# on an X server (Xvfb) when one can be started.
#
#   bench/startup.sh [RUNS]      (default 20)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
runs=${1:-20}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
echo "offscreen:"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_startup" "$runs" 2>&1 | grep -E '^(run|median)'
if command -v xvfb-run >/dev/null; then
  echo "X server (Xvfb, xcb):"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' "$build/bench/bench_startup" "$runs" 2>&1 |
    grep -E '^(run|median)'
fi
