#!/usr/bin/env bash
# Builds the Debian package tovanel and prints the path of the .deb as its last line.
# Installs what building it needs first (needs root then). The build runs in a copy of the
# source tree under build-deb/ (or $TOVANEL_PACKAGE_DIR), so the checkout and its parent
# directory stay as they are; `dpkg-buildpackage -us -uc -b` in the checkout works as well.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(realpath -m "${TOVANEL_PACKAGE_DIR:-$here/build-deb}")
export DEBIAN_FRONTEND=noninteractive

if ! command -v dpkg-checkbuilddeps >/dev/null || ! (cd "$here" && dpkg-checkbuilddeps 2>/dev/null); then
  apt-get update
  apt-get install -y --no-install-recommends dpkg-dev
  apt-get build-dep -y --no-install-recommends "$here"
fi

# The tree as the repository holds it (tracked and new files, nothing ignored), else all of it
# but the build folders.
rm -rf "$work/src"
mkdir -p "$work/src"
if git -C "$here" rev-parse --show-toplevel >/dev/null 2>&1 &&
   [ "$(git -C "$here" rev-parse --show-toplevel)" = "$here" ]; then
  (cd "$here" && git ls-files -z --cached --others --exclude-standard |
     tar --null -T - --ignore-failed-read -cf -) | tar -xf - -C "$work/src"
else
  tar -C "$here" --exclude='./build*' --exclude='./obj-*' -cf - . | tar -xf - -C "$work/src"
fi

version=$(cd "$work/src" && dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
rm -f "$work"/tovanel_"$version"_"$arch".deb "$work"/tovanel-dbgsym_"$version"_"$arch".deb
(cd "$work/src" && dpkg-buildpackage -us -uc -b) >&2
deb=$work/tovanel_${version}_${arch}.deb
[ -f "$deb" ] || { echo "package: $deb was not made" >&2; exit 1; }
echo "$deb"
