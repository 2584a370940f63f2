#!/usr/bin/env bash
# Takes a screenshot of each window and message box of the program, drawn by
# the Qt backend under a virtual X server, for people to look at, at scale 1
# (OUTPUT_DIR/scale1), at scale 2 (scale2) and in a dark palette (dark), and
# fails when a window's layout as drawn cuts a text off or has controls on top
# of each other:
#   scripts/screenshots.sh OUTPUT_DIR [BUILD_DIR]
# On Debian 12 it installs what it needs (as root, else through sudo) and
# builds the showwindows demo in BUILD_DIR (default build/default, set up with
# the default preset when it is not there yet).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: screenshots.sh OUTPUT_DIR [BUILD_DIR]}"
build="${2:-$root/build/default}"
demo="$build/tests/toolkit/showwindows"

if [ -z "${SCREENSHOTS_INSIDE_XVFB:-}" ]; then
  # The build's own needs, then the virtual display, the window finder, the
  # screen grabber and the layouts' font.
  packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
            xvfb xauth xdotool imagemagick fonts-wine)
  bash "$root/scripts/need-packages.sh" "${packages[@]}"

  if [ ! -f "$build/CMakeCache.txt" ]; then
    if [ "$build" = "$root/build/default" ]; then
      (cd "$root" && cmake --preset default)
    else
      cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
  fi
  cmake --build "$build" --target showwindows --parallel 2
  if ! ldd "$demo" | grep libQt6Widgets >/dev/null; then
    echo "$demo was built without the Qt backend (FWUPD_WITH_QT=OFF?)" >&2
    exit 1
  fi

  mkdir -p "$out"
  out="$(cd "$out" && pwd)"
  build="$(cd "$build" && pwd)"
  SCREENSHOTS_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$out" "$build"
fi

unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export FWUPD_TOOLKIT=qt
# shot DIR NAME WHICH TITLE [dark]: runs `showwindows WHICH`, waits for the
# window whose title holds TITLE, for it to be painted and for its layout
# check, and photographs the screen into DIR/NAME.png.
problems=0
shot() {
  local dir=$1 name=$2 which=$3 title=$4 look=${5:-} pid log
  mkdir -p "$out/$dir"
  log="$out/$dir/$name.log"
  "$demo" "$which" $look </dev/null >/dev/null 2>"$log" &
  pid=$!
  if ! timeout 20 xdotool search --sync --onlyvisible --name "$title" >/dev/null; then
    echo "no window \"$title\" from showwindows $which" >&2
    kill -KILL "$pid" 2>/dev/null || true
    exit 1
  fi
  for _ in $(seq 50); do
    grep -q '^layout checked' "$log" && break
    sleep 0.1
  done
  sleep 0.3 # the first paint follows the mapping
  import -window root "$out/$dir/$name.png"
  # The progress window holds termination requests as a transfer does.
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if grep '^layout problem' "$log" >&2; then
    problems=$((problems + 1))
  fi
  echo "$out/$dir/$name.png"
}

# all DIR [dark]: every window and box.
all() {
  shot "$1" 1-progress form1 "QM-W6216T Firmware Update" "${2:-}"
  shot "$1" 2-instructions form2 "QM-R206C Firmware Update" "${2:-}"
  shot "$1" 3-not-found form3 "QM-16 Firmware Update" "${2:-}"
  shot "$1" 4-refusal refusal "QM-20TS Firmware Update" "${2:-}"
  shot "$1" 5-error-over-progress error "^Error" "${2:-}"
  shot "$1" 6-information-over-progress information "^Information" "${2:-}"
  shot "$1" 7-system-box system "^Error" "${2:-}"
}

all scale1
export QT_SCALE_FACTOR=2
all scale2
unset QT_SCALE_FACTOR
all dark dark
if ((problems)); then
  echo "screenshots.sh: $problems windows cut a text off or overlap (above)" >&2
  exit 1
fi
