#!/bin/sh
# In the test VM's chroot: starts the Windows program under Wine in a case
# directory, waits for the box it ends with, prints that box's texts,
# dismisses it and exits with the program's exit code.
# Usage: wine-run.sh DIR BOX-CAPTION PROGRAM WINCLICK
cd "$1" || exit 99
wine "$3" </dev/null >program.out 2>&1 &
pid=$!
if ! wine "$4" --timeout 120 "$2" </dev/null >window.txt 2>&1; then
  echo "no window \"$2\""
  tr -d '\r' <program.out | tail -5
  kill $pid
fi
tr -d '\r' <window.txt
wait $pid
