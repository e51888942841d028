#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors, starts the private test server and
# runs every test, then builds and checks the Debian package; then the whole suite again under
# the sanitizers (build-asan/), then the fuzz targets for a bounded time. Exits non-zero when
# anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$here/build" -DTOVANEL_WERROR=ON

fbserver=$here/tests/server/fbserver.sh
# Stop the shared instance only if this run started it: another session may be using it. The
# fault tests' own instance is always stopped.
started_here=0
"$fbserver" status >/dev/null || started_here=1
finish() {
  [ "$started_here" -eq 1 ] && "$fbserver" stop || true
  TOVANEL_FB_INSTANCE=fault "$fbserver" stop || true
}
trap finish EXIT
"$fbserver" start
# Clients need FIREBIRD only; the instance's other settings stay with the script, so test
# groups that choose another instance are not overridden.
export "$("$fbserver" env | grep '^FIREBIRD=')"
export TOVANEL_TEST_SERVER=1
# The Qt tests and the window program run without a display.
export QT_QPA_PLATFORM=offscreen

cd "$here/build"
status=0
ctest --output-on-failure -j 2 || status=$?

# The Debian package: built, unpacked and checked (programs, desktop entry, metainfo, manual
# pages, lintian).
"$here/scripts/package-test.sh" || status=$?

# The same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The leak checker's tracer crashed at exit, after the test had passed, on the dynamic
# thread-local storage of libraries loaded at run time (the client library and its plugins), in
# the same tests run after run. It does not scan thread-local storage here: that can only add
# reports, never hide one, and the C library's and GLib's own thread-local allocations are the
# ones it then adds, suppressed by name.
export LSAN_OPTIONS=use_tls=0:print_suppressions=0:suppressions=$here/scripts/lsan-without-tls.supp
"$here/scripts/build.sh" "$here/build-asan" -DTOVANEL_WERROR=ON -DTOVANEL_SANITIZE=ON || status=$?
asan=0
(cd "$here/build-asan" && ctest --output-on-failure -j 2) || asan=$?
# Should the leak checker's tracer still crash at exit after a test passed, only those tests run
# again, at most twice, and the last result counts.
for rerun in 1 2; do
  [ "$asan" -ne 0 ] && "$here/scripts/leak-checker-crashes-only.sh" "$here/build-asan" || break
  asan=0
  (cd "$here/build-asan" && ctest --output-on-failure --rerun-failed) || asan=$?
done
[ "$asan" -eq 0 ] || status=$asan

# Each fuzz target for a bounded time (about a minute together).
"$here/fuzz/run.sh" 15 || status=$?
exit "$status"
