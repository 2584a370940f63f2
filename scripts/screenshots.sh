#!/usr/bin/env bash
# Takes a screenshot of each window and message box of the program under a
# virtual X server, for people to look at:
#   scripts/screenshots.sh OUTPUT_DIR [BUILD_DIR]
# BUILD_DIR (default build/default) must hold the showwindows demo built with
# the Qt backend: cmake --build BUILD_DIR --target showwindows
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: screenshots.sh OUTPUT_DIR [BUILD_DIR]}"
build="${2:-$root/build/default}"
demo="$build/tests/toolkit/showwindows"
[ -x "$demo" ] || { echo "missing $demo: build the showwindows target first" >&2; exit 1; }
mkdir -p "$out"
out="$(cd "$out" && pwd)"

if [ -z "${SCREENSHOTS_INSIDE_XVFB:-}" ]; then
  SCREENSHOTS_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 640x480x24" "$0" "$out" "$build"
fi

unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export FWUPD_TOOLKIT=qt
for which in form1 form2 form3 refusal error information; do
  "$demo" "$which" </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep 1.5
  import -window root "$out/$which.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/$which.png"
done
