#!/usr/bin/env bash
# The release comparison must fail on any difference and say where it is:
# a byte inside a zip member, a file inside a package's data, a member's time
# alone, a file only one side has. Identical directories pass.
set -euo pipefail
compare=$(realpath "$(dirname "$0")/../../scripts/compare-release.sh")
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
export TZ=UTC

# release DIR BYTE DEB_BYTE [MTIME]: a zip and a package with one chosen byte each.
release() {
  local dir=$1 mtime=${4:-@1700000000}
  rm -rf "$t/src"
  mkdir -p "$dir" "$t/src/p" "$t/src/root/DEBIAN" "$t/src/root/usr/share"
  printf 'abcde%sgh' "$2" >"$t/src/p/y.bin"
  printf 'same text\n' >"$t/src/p/x.txt"
  printf 'xy%sz' "$3" >"$t/src/root/usr/share/f.bin"
  printf 'Package: t\nVersion: 1\nArchitecture: all\nMaintainer: t <t@example.org>\nDescription: t\n' \
    >"$t/src/root/DEBIAN/control"
  touch -d "$mtime" "$t/src/p" "$t/src/p"/*
  find "$t/src/root" -exec touch -d @1700000000 {} +
  (cd "$t/src" && zip -X -q "$dir/a.zip" p/ p/x.txt p/y.bin)
  SOURCE_DATE_EPOCH=1700000000 dpkg-deb --root-owner-group -Zgzip -b "$t/src/root" "$dir/t.deb" >/dev/null
  (cd "$dir" && sha256sum a.zip t.deb >SHA256SUMS)
}

expect() { # expect STATUS PATTERN... -- DIR1 DIR2
  local want=$1 said status=0
  shift
  local patterns=()
  while [ "$1" != -- ]; do patterns+=("$1"); shift; done
  said=$(bash "$compare" "$2" "$3") || status=$?
  if [ "$status" -ne "$want" ]; then
    echo "compare-release-test: $2 vs $3 exited $status, not $want:" >&2
    echo "$said" >&2
    exit 1
  fi
  for pattern in "${patterns[@]}"; do
    grep -qF -- "$pattern" <<<"$said" || {
      echo "compare-release-test: $2 vs $3 does not say \"$pattern\":" >&2
      echo "$said" >&2
      exit 1
    }
  done
}

release "$t/one" f 1
release "$t/same" f 1
release "$t/byte" F 1
release "$t/deb" f 2
release "$t/time" f 1 @1700000100
expect 0 "3 files identical" -- "$t/one" "$t/same"
expect 1 "a.zip differs" "a.zip/p/y.bin: byte 6" "SHA256SUMS differs" -- "$t/one" "$t/byte"
expect 1 "t.deb differs" "t.deb/data.tar.gz/usr/share/f.bin: byte 3" -- "$t/one" "$t/deb"
expect 1 "a.zip differs" "+-rw-r--r--" "p/y.bin" -- "$t/one" "$t/time"
cp "$t/one/a.zip" "$t/same/extra.zip"
expect 1 "hold different files" "+extra.zip" -- "$t/one" "$t/same"
echo "compare-release-test: differences found and placed"
