#!/usr/bin/env bash
# Fails when a Windows program or DLL we ship imports a function that Windows
# 98 SE or NT 4.0 lacks, or asks for a subsystem newer than 4.0.
#
#   scripts/check-imports.sh [--nt-only] FILE... [--nt-only FILE...]
#
# Every import must be listed in packaging/windows/imports-allowlist.txt with
# the oldest 9x release and the oldest NT release that export it. A file after
# --nt-only serves NT-family systems only and needs NT 4.0 alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
allowlist=$root/packaging/windows/imports-allowlist.txt
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

# "DLL FUNCTION" lines that a file may import.
allowed() {
  local nt_only=$1
  awk -v nt_only="$nt_only" '
    /^#/ || NF == 0 { next }
    {
      nine = ($3 == "95" || $3 == "98" || $3 == "98SE")
      nt = ($4 == "3.1" || $4 == "3.5" || $4 == "3.51" || $4 == "4.0")
      if (nt && (nine || nt_only == 1)) print toupper($1), $2
    }' "$allowlist" | sort -u
}

# "DLL FUNCTION" lines of a file's import table (by name; ordinals as #N).
imports() {
  "$objdump" -p "$1" | awk '
    /DLL Name:/ { dll = toupper($3); next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t/ { print dll, (NF >= 3 ? $3 : "#" $2) }' | sort -u
}

check() {
  local file=$1 nt_only=$2 bad=0
  local header
  header=$("$objdump" -p "$file")
  local major minor
  major=$(awk '/^MajorSubsystemVersion/ { print $2 }' <<<"$header")
  minor=$(awk '/^MinorSubsystemVersion/ { print $2 }' <<<"$header")
  if [[ $major != 4 || $minor != 0 ]]; then
    echo "$file: subsystem version $major.$minor, must be 4.0 (older systems refuse newer)"
    bad=1
  fi
  local unknown
  unknown=$(comm -23 <(imports "$file") <(allowed "$nt_only"))
  if [[ -n $unknown ]]; then
    echo "$file: imports not in $(basename "$allowlist") for $([[ $nt_only == 1 ]] && echo "NT 4.0" || echo "98 SE and NT 4.0"):"
    sed 's/^/  /' <<<"$unknown"
    bad=1
  fi
  local count
  count=$(imports "$file" | wc -l)
  ((bad)) || echo "$file: $count imports, all on 98 SE and NT 4.0$([[ $nt_only == 1 ]] && echo " (NT-only: NT 4.0)")"
  return $bad
}

(($#)) || { echo "usage: $0 [--nt-only] FILE..." >&2; exit 2; }
nt_only=0
failed=0
for arg in "$@"; do
  if [[ $arg == --nt-only ]]; then
    nt_only=1
    continue
  fi
  check "$arg" "$nt_only" || failed=1
done
exit $failed
