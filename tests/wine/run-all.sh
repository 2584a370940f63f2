#!/usr/bin/env bash
# Runs every Windows test under Wine: the unit tests of the win32 preset
# under CTest, then the shipped program end to end (tests/wine/e2e.sh,
# screenshots in build/win32/e2e/). Must run where 32-bit x86 programs run:
# scripts/win-test.sh starts it through scripts/run-32bit.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
# The prefix, debug channels and DLL overrides are the preset's
# (cmake/win32-presets.json).
export WINEPREFIX=$PWD/build/win32/wineprefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="wnaspi32=n" # Wine's built-in wnaspi32 answers nothing
bash tests/wine/make-prefix.sh "$WINEPREFIX"
# Message boxes and windows need a display: the unit tests dismiss their own
# boxes, the end-to-end runs are driven by winclick. One wineserver for the
# whole run, with Wine's services started before CTest so that they do not
# inherit (and hold open) CTest's output pipe.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  wineserver -k 2>/dev/null || true
  wineserver -p 60
  trap "wineserver -k || true" EXIT
  sh tests/wine/keep-desktop.sh
  started=$(date +%s)
  ctest --preset win32
  echo "win32 unit tests: $(($(date +%s) - started)) s"
  started=$(date +%s)
  bash tests/wine/e2e.sh build/win32 build/win32/e2e build/win32-shipped/src/fwupd32.exe
  echo "Wine end-to-end cases: $(($(date +%s) - started)) s"
'
