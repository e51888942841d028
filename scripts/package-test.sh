#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh), unpacks it into a temporary folder and checks
# what an administrator gets: the two programs, and `tovanel-cli --version` telling the package's
# version; nothing else in the package but their desktop entry, icons, metainfo, manual pages and
# the package's own documents; the desktop entry, the metainfo and both manual pages valid; and
# lintian clean (errors and warnings; each override in debian/ says why it is one).
# The package builds under build/package-test/ (or $TOVANEL_PACKAGE_DIR); with ccache installed
# the compiler runs through it, so a second run rebuilds little.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export TOVANEL_PACKAGE_DIR=${TOVANEL_PACKAGE_DIR:-$here/build/package-test}
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  # debhelper gives the build a HOME of its own, where ccache would start from an empty cache.
  export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
fi

failures=0
fail() { echo "package-test: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "package-test: ok: $*" >&2; }

deb=$("$here/scripts/package.sh" | tail -n 1)
[ -f "$deb" ] || { fail "scripts/package.sh printed no package ($deb)"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg-deb -x "$deb" "$root"

# The programs, and the version they tell.
for program in tovanel tovanel-cli; do
  if [ -x "$root/usr/bin/$program" ] && [ -f "$root/usr/bin/$program" ]; then
    pass "usr/bin/$program"
  else
    fail "usr/bin/$program is not in the package"
  fi
done
if told=$("$root/usr/bin/tovanel-cli" --version 2>&1); then
  if [ "$told" = "tovanel-cli $version" ]; then pass "tovanel-cli --version: $told"
  else fail "tovanel-cli --version says '$told', the package is $version"; fi
else
  fail "tovanel-cli --version failed: $told"
fi

# Nothing else: no test, benchmark or fuzz program, no header or static library.
app_id=org.example.tovanel
allowed="^\./usr/bin/tovanel(-cli)?$|^\./usr/share/applications/$app_id\.desktop$|^\./usr/share/metainfo/$app_id\.metainfo\.xml$"
allowed+="|^\./usr/share/icons/hicolor/(scalable/apps/$app_id\.svg|[0-9]+x[0-9]+/apps/$app_id\.png)$"
allowed+="|^\./usr/share/man/man1/tovanel(-cli)?\.1\.gz$|^\./usr/share/doc/tovanel/(changelog\.gz|copyright)$"
allowed+="|^\./usr/share/lintian/overrides/tovanel$"
unexpected=$(cd "$root" && find . ! -type d | grep -Ev "$allowed" || true)
[ -z "$unexpected" ] && pass "nothing in the package beyond the programs and their files" ||
  fail "unexpected files in the package: $unexpected"
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png" ] || fail "no ${size}x$size icon"
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"

# The desktop entry: valid (hints are advice, not faults), and starting the program installed.
desktop=$root/usr/share/applications/$app_id.desktop
if out=$(desktop-file-validate "$desktop" 2>&1) && ! grep -v ': hint: ' <<<"$out" | grep -q .; then
  pass "desktop-file-validate${out:+ (${out##*: hint: })}"
else
  fail "desktop-file-validate: $out"
fi
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$root/usr/bin/${exec_line%% *}" ] && pass "Exec=$exec_line is in the package" ||
  fail "Exec=$exec_line names no program of the package"

# The metainfo: valid offline, and naming this release.
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then pass "appstreamcli validate"
else fail "appstreamcli validate: $out"; fi
grep -q "<release version=\"$version\"" "$metainfo" && pass "metainfo names release $version" ||
  fail "metainfo does not name release $version"

# The manual pages render without a single warning, and carry the package's version.
for page in tovanel tovanel-cli; do
  file=$root/usr/share/man/man1/$page.1.gz
  if [ ! -f "$file" ]; then fail "no manual page $page(1)"; continue; fi
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null)
  if [ -z "$warnings" ] && [ -n "$rendered" ]; then pass "man -l $page.1.gz"
  else fail "man -l $page.1.gz warns: $warnings"; fi
  grep -q "Tovanel $version" <<<"$rendered" || fail "$page(1) does not carry version $version"
done

# lintian: no error and no warning left.
if out=$(lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' ; exit "${PIPESTATUS[0]}"); then
  pass "lintian${out:+: $out}"
else fail "lintian: $out"; fi

[ "$failures" -eq 0 ] || { echo "package-test: $failures check(s) failed ($deb)" >&2; exit 1; }
echo "package-test: $deb passed every check" >&2
