#!/usr/bin/env bash
# Time from a newcomer's first command (scripts/try.sh in a fresh clone, packages already
# installed, no compiler cache) to the main window on screen. The window opens under Xvfb and is
# closed as soon as it is seen.
#   bench/first-run.sh [REF]     REF: the branch or commit to clone (default: HEAD)
# Prints the build steps run and the seconds to the open window.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
ref=${1:-HEAD}
work=$(mktemp -d /tmp/tovanel-first-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The private server runs under its own account and writes the sample database in the clone.
chmod 755 "$work"
git clone -q "$here" "$work/src"
git -C "$work/src" checkout -q "$(git -C "$here" rev-parse "$ref")"

cat >"$work/window.sh" <<'PROBE'
#!/usr/bin/env bash
# Opens the built window on a virtual screen; prints when it is mapped.
set -u
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$TOVANEL_BUILD_DIR/app/ui/tovanel" 2>/dev/null & app=$!
  for _ in $(seq 3000); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Tovanel 1.0-3 - "; then
      echo "FIRST_RUN_WINDOW_AT=$(date +%s.%N)"; break
    fi
    sleep 0.1
  done
  kill $app; wait $app 2>/dev/null || true'
PROBE
chmod +x "$work/window.sh"

echo "first-run: $(git -C "$work/src" log --oneline -1); load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
start=$(date +%s.%N)
CCACHE_DISABLE=1 TOVANEL_TRY_WINDOW=$work/window.sh "$work/src/scripts/try.sh" >"$work/log" 2>&1 ||
  { tail -20 "$work/log" >&2; exit 1; }
opened=$(sed -n 's/^FIRST_RUN_WINDOW_AT=//p' "$work/log")
[ -n "$opened" ] || { echo "first-run: the window was not seen" >&2; exit 1; }
steps=$(grep -Eo '^\[[0-9]+/[0-9]+\]' "$work/log" | tail -n 1)
echo "first-run: load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
echo "build steps: ${steps:-none}"
echo "seconds to the open window: $(echo "$opened - $start" | bc)"
