#!/usr/bin/env bash
# Checks a built package: exactly the files in deb-files.txt (with their
# modes), the run-time dependencies the program needs, and icons that are
# PNG pictures of the size their directory names.
# Usage: tests/packaging/deb-contents.sh PACKAGE.deb
set -euo pipefail
deb=$1
here=$(dirname "$0")
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sed 's|^\(\S*\) \./|\1 /|' | sort)
if ! diff -u <(sort "$here/deb-files.txt") <(echo "$listed"); then
  echo "deb-contents: the package's files differ from deb-files.txt (- expected, + found)" >&2
  exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 qt6-qpa-plugins qt6-wayland libsystemd0 libc6; do
  if ! grep -q "\b$needed\b" <<<"$depends"; then
    echo "deb-contents: Depends lacks $needed: $depends" >&2
    exit 1
  fi
done
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for png in "$unpacked"/usr/share/icons/hicolor/*/apps/fwupd32.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  if ! file "$png" | grep -q "PNG image data, ${size/x/ x }, 8-bit/color RGBA"; then
    echo "deb-contents: $png is not a $size PNG: $(file -b "$png")" >&2
    exit 1
  fi
done
echo "deb-contents: $(wc -l <"$here/deb-files.txt") files as listed; Depends: $depends"
