#!/usr/bin/env bash
# Builds the release of the last commit into OUTDIR, and nothing else:
#   fwupd32_<version>_amd64.deb  the Debian package (scripts/package.sh: lintian,
#                                desktop-file-validate and appstreamcli clean)
#   fwupd32-<version>-win32.zip  folder fwupd32-<version>: fwupd32.exe and
#                                CDRAL.DLL stripped, README.txt, LICENSE.txt,
#                                NOTICES.txt (the linked runtimes' licences)
#   SHA256SUMS                   sha256sum's lines for the two
# Reproducible: every date and time stamp is the last commit's
# (SOURCE_DATE_EPOCH), owners, modes and order are fixed, and nothing of the
# build's directory or time gets into a file; scripts/release-twice.sh checks.
# The package's maintainer: FWUPD_MAINTAINER="Name <address>" in the
# environment (default: the cache variable's placeholder).
# Usage: scripts/release.sh OUTDIR (absent or empty)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/release.sh OUTDIR" >&2; exit 2; }
out=$(realpath -m -- "$1")
cd "$(dirname "$0")/.."
root=$PWD
if [ -n "$(git status --porcelain)" ]; then
  git status --short >&2
  echo "release.sh: the tree has changes; a release is built from a commit" >&2
  exit 1
fi
if [ -n "$(ls -A -- "$out" 2>/dev/null)" ]; then
  echo "release.sh: $out is not empty" >&2
  exit 1
fi
bash scripts/install-deps.sh g++-mingw-w64-i686 zip unzip

umask 022
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
version=$(sed -n 's/^project(fwupd32 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
build=$root/build/release
rm -rf "$build"
mkdir -p "$out"

# Linux: the package as package.sh builds and checks it.
mkdir -p "$build"
bash scripts/package.sh "$build/deb" | tee "$build/package.log"
deb=$(tail -n 1 "$build/package.log")
cp -- "$deb" "$out/"

# Windows: the shipped build, whose default target is what ships.
cmake --preset win32-shipped -B "$build/win32" >/dev/null
cmake --build "$build/win32" -j2
objcopy=$(sed -n 's/^CMAKE_OBJCOPY:FILEPATH=//p' "$build/win32/CMakeCache.txt")
name=fwupd32-$version
stage=$build/zip/$name
mkdir -p "$stage"
# Stripped, section names cut to PE's 8 characters (a file stripped so
# already comes out the same); objcopy stamps the PE header with
# SOURCE_DATE_EPOCH, as the linker does.
for binary in fwupd32.exe CDRAL.DLL; do
  "$objcopy" --strip-all --long-section-names disable "$build/win32/src/$binary" "$stage/$binary"
done
# Texts for Windows users: CRLF line ends, plain ASCII.
to_windows_text() {
  if LC_ALL=C grep -n '[^ -~]' "$1" >&2; then
    echo "release.sh: $1 is not plain ASCII text (lines above)" >&2
    exit 1
  fi
  sed -e "s/@VERSION@/$version/g" -e "s/@MINGW_VERSION@/$mingw_version/g" \
    -e "s/@GCC_VERSION@/$gcc_version/g" -e 's/$/\r/' "$1" >"$2"
}
# The runtimes linked into the two files, whose licences NOTICES.txt carries.
mingw_version=$(dpkg-query -W -f='${source:Version}' mingw-w64-i686-dev)
gcc_version=$(dpkg-query -W -f='${Version}' gcc-mingw-w64-i686-win32)
to_windows_text packaging/windows/README.txt "$stage/README.txt"
to_windows_text LICENSE "$stage/LICENSE.txt"
to_windows_text packaging/windows/NOTICES.txt "$stage/NOTICES.txt"
members=("$name/" "$name/fwupd32.exe" "$name/CDRAL.DLL" "$name/README.txt" "$name/LICENSE.txt"
  "$name/NOTICES.txt")
chmod 755 "$stage"
chmod 644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage" "$stage"/*
# -X: no owners or extra time fields; the members in the order listed.
(cd "$build/zip" && zip -X -q -9 "$out/$name-win32.zip" "${members[@]}")

(cd "$out" && sha256sum -- *.deb *.zip | sort -k 2 >SHA256SUMS)
bash tests/packaging/release-contents.sh "$out" "$SOURCE_DATE_EPOCH" "$root"
(cd "$out" && ls -l -- *)
