#!/usr/bin/env bash
# Builds the Debian package as users get it (release build, no tests, so no
# test hooks), checks its file list, runs lintian on it, desktop-file-validate
# on its desktop entry and appstreamcli on its AppStream metadata; fails on any
# error or warning of them (of lintian, on its informational tags too).
# Prints the package's path last. Dates and time stamps are the last
# commit's (SOURCE_DATE_EPOCH, unless set), so two builds of a commit give the
# same package. FWUPD_MAINTAINER in the environment, when
# set, is the package's maintainer ("Name <address>"; the cache variable).
# Usage: scripts/package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build/package}
bash scripts/install-deps.sh lintian dpkg-dev desktop-file-utils appstream
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
umask 022 # the modes of the package's own members
maintainer=()
if [ -n "${FWUPD_MAINTAINER:-}" ]; then
  maintainer=("-DFWUPD_MAINTAINER=$FWUPD_MAINTAINER")
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFWUPD_BUILD_TESTS=OFF \
  -DFWUPD_SHIPPED_ONLY=ON -DCMAKE_STRIP="$root/packaging/linux/strip.sh" "${maintainer[@]}" >/dev/null
cmake --build "$build" -j2
rm -f "$build"/fwupd32_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^project(fwupd32 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$build/fwupd32_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
bash tests/packaging/deb-contents.sh "$deb"
lintian --display-info --fail-on error,warning,info --tag-display-limit 0 "$deb"
# desktop-file-validate fails only on errors: anything it says fails here.
entry=$(mktemp -d)
trap 'rm -rf "$entry"' EXIT
dpkg-deb -x "$deb" "$entry"
said=$(desktop-file-validate "$entry/usr/share/applications/fwupd32.desktop" 2>&1) || true
if [ -n "$said" ]; then
  echo "$said" >&2
  echo "package.sh: desktop-file-validate rejects the desktop entry" >&2
  exit 1
fi
# Not even a pedantic remark on the software centres' metadata.
metainfo=("$entry"/usr/share/metainfo/*.metainfo.xml)
if ! said=$(appstreamcli validate --no-net --pedantic "${metainfo[@]}" 2>&1) ||
  grep -q '^[EWIP]:' <<<"$said"; then
  echo "$said" >&2
  echo "package.sh: appstreamcli rejects the AppStream metadata" >&2
  exit 1
fi
echo "$deb"
