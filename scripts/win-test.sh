#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program and its unit tests with MinGW-w64
# and runs them under Wine (a fresh win32 prefix per run), then runs
# fwupd32.exe end to end against the simulated manager built as WNASPI32.DLL.
# Screenshots of every window end up in build/win32/e2e/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

packages=(g++-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb xauth xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset win32
cmake --build --preset win32

# The prefix and the debug channels are the preset's (cmake/win32-presets.json).
export WINEPREFIX=$root/build/win32/wineprefix WINEARCH=win32 WINEDEBUG=-all
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
# Windows' 8-point dialog font: Debian's Wine does not read its own font dir.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
reg=$(mktemp --suffix=.reg)
cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
wine regedit "$reg" >/dev/null 2>&1
wineserver -w
rm -f "$reg"

# Message boxes and windows need a display: the unit tests dismiss their own
# boxes, the end-to-end runs are driven by winclick. One wineserver for the
# whole run, with Wine's services started before CTest so that they do not
# inherit (and hold open) CTest's output pipe.
export WINEDLLOVERRIDES="wnaspi32=n" # Wine's built-in wnaspi32 answers nothing
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  wineserver -k 2>/dev/null || true
  wineserver -p 60
  trap "wineserver -k || true" EXIT
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  ctest --preset win32
  bash tests/wine/e2e.sh build/win32 build/win32/e2e
'
