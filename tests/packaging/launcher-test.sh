#!/usr/bin/env bash
# The launcher starts the program installed beside it in the directory of the
# file it is given (blanks in the path included), in the directory itself
# when given one, and where it is when given nothing; the program gets no
# arguments.
# Usage: launcher-test.sh LAUNCHER
set -euo pipefail
launcher=$(readlink -f "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/bin" "$root/libexec/fwupd32" "$root/My Images/drive 2"
cp "$launcher" "$root/bin/fwupd32"
cat >"$root/libexec/fwupd32/fwupd32" <<'FAKE'
#!/bin/sh
printf '%s|%s\n' "$PWD" "$#" >"$FWUPD32_TEST_RECORD"
FAKE
chmod +x "$root/libexec/fwupd32/fwupd32"
: >"$root/My Images/drive 2/FIRM6216.ROM"
export FWUPD32_TEST_RECORD=$root/record
failed=0
expect() { # description, expected working directory, launcher arguments...
  local what=$1 want=$2
  shift 2
  rm -f "$FWUPD32_TEST_RECORD"
  "$root/bin/fwupd32" "$@"
  local got
  got=$(cat "$FWUPD32_TEST_RECORD")
  if [ "$got" != "$want|0" ]; then
    echo "FAIL $what: program ran as '$got', wanted '$want|0'" >&2
    failed=1
  else
    echo "ok   $what"
  fi
}
expect "image path with blanks" "$root/My Images/drive 2" "$root/My Images/drive 2/FIRM6216.ROM"
(cd "$root/My Images" && expect "relative image path" "$root/My Images/drive 2" \
  "drive 2/FIRM6216.ROM")
expect "directory" "$root/My Images" "$root/My Images"
(cd "$root/My Images/drive 2" && expect "no argument" "$root/My Images/drive 2")
expect "extra arguments are not passed on" "$root/My Images/drive 2" \
  "$root/My Images/drive 2/FIRM6216.ROM" --other
exit $failed
