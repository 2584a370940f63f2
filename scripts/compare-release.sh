#!/usr/bin/env bash
# Compares two release directories byte for byte. For a file that differs it
# says where: the first differing byte, and inside a .deb, a tar or a .zip,
# which member differs, in its listing (mode, owner, time, size, order) or in
# its bytes, down to the innermost file; diffoscope's report as well where
# diffoscope is installed. Exits 0 when the directories are identical.
# Usage: scripts/compare-release.sh DIR1 DIR2
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: scripts/compare-release.sh DIR1 DIR2" >&2; exit 2; }
export LC_ALL=C TZ=UTC
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

files() { (cd "$1" && find . -type f -printf '%P\n' | sort); }

# listing FILE: an archive's members with their metadata, in stored order.
listing() {
  case $1 in
    *.deb) ar tv "$1" ;;
    *.zip) zipinfo -l "$1" | sed 1d ;; # the first line names the file
    *.tar | *.tar.*) tar -tvf "$1" --numeric-owner --full-time ;;
  esac
}

unpack() {
  mkdir -p "$2"
  case $1 in
    *.deb) (cd "$2" && ar x "$1") ;;
    *.zip) unzip -q "$1" -d "$2" ;;
    *.tar | *.tar.*) tar -xf "$1" -C "$2" ;;
  esac
}

# explain A B LABEL: where two differing files differ.
explain() {
  local a=$1 b=$2 label=$3
  local said at
  said=$(cmp -- "$a" "$b" 2>&1 || true)
  at=$(sed -n 's/.* differ: [a-z]* \([0-9]*\),.*/\1/p' <<<"$said")
  if [ -n "$at" ]; then
    echo "  $label: byte $at first differs (sizes $(stat -c %s "$a") and $(stat -c %s "$b"))"
  else
    echo "  $label: $said"
  fi
  case $a in
    *.deb | *.zip | *.tar | *.tar.*) ;;
    *)
      if grep -Iq . "$a" && grep -Iq . "$b"; then
        diff -u --label "$label (1)" --label "$label (2)" "$a" "$b" | head -n 40 | sed 's/^/    /' || true
      fi
      return
      ;;
  esac
  diff -u --label "$label (1) members" --label "$label (2) members" \
    <(listing "$a") <(listing "$b") | head -n 40 | sed 's/^/    /' || true
  local into
  into=$(mktemp -d -p "$work")
  unpack "$(realpath "$a")" "$into/1"
  unpack "$(realpath "$b")" "$into/2"
  local member
  while read -r member; do
    if [ ! -f "$into/2/$member" ]; then
      echo "  $label/$member: only in the first"
    elif ! cmp -s "$into/1/$member" "$into/2/$member"; then
      explain "$into/1/$member" "$into/2/$member" "$label/$member"
    fi
  done < <(files "$into/1")
  comm -13 <(files "$into/1") <(files "$into/2") | sed "s|^|  $label/|; s|\$|: only in the second|"
}

status=0
if ! diff -u --label "$1" --label "$2" <(files "$1") <(files "$2") >"$work/lists"; then
  echo "compare-release: the two directories hold different files:"
  cat "$work/lists"
  status=1
fi
while read -r name; do
  cmp -s "$1/$name" "$2/$name" && continue
  status=1
  echo "compare-release: $name differs"
  explain "$1/$name" "$2/$name" "$name"
  if command -v diffoscope >/dev/null; then
    diffoscope --text - "$1/$name" "$2/$name" | head -n 200 || true
  fi
done < <(comm -12 <(files "$1") <(files "$2"))
[ "$status" -eq 0 ] && echo "compare-release: $(files "$1" | wc -l) files identical"
exit "$status"
