#!/bin/sh
# Starts one idle Wine program that keeps Wine's desktop (explorer.exe) and
# services up until the wineserver ends, and returns once they are up.
# Wine ends them a moment after its last program ends; the next program
# starts them again and waits at most 10 s for the desktop, which under
# emulation may not be enough: that program then has no windows at all.
# Usage: keep-desktop.sh [<log>] (Wine's output; by default none is kept)
log=${1:-/dev/null}
# Its input: a pipe that it holds open itself, so it waits for ever and
# leaves nothing else running once Wine ends it.
keep=$(mktemp -u)
mkfifo "$keep"
exec 3<>"$keep"
rm "$keep"
wine cmd /c pause <&3 >>"$log" 2>&1 &
wine cmd /c exit 0 </dev/null >>"$log" 2>&1
