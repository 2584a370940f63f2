#!/bin/sh
# In the test VM's chroot: starts the Windows program under Wine in a case
# directory, waits for the box it ends with, prints that box's texts,
# dismisses it and exits with the program's exit code.
# Usage: wine-run.sh DIR BOX-CAPTION PROGRAM WINCLICK
cd "$1" || exit 99
wine "$3" </dev/null >program.out 2>&1 &
pid=$!
if ! wine "$4" --timeout 90 "$2" </dev/null >window.txt 2>&1; then
  echo "no window \"$2\""
  tr -d '\r' <program.out | tail -5
  # What is on the screen instead, with its texts.
  xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | while read -r shown; do
    echo "shown: $shown"
    wine "$4" --timeout 2 --leave "$shown" </dev/null 2>&1 | tr -d '\r' | sed 's/^/  /'
  done
  kill $pid
fi
tr -d '\r' <window.txt
wait $pid
