#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program and its unit tests with MinGW-w64
# and runs them under Wine (a fresh win32 prefix per run). Then, when the
# simulated manager is built as WNASPI32.DLL, runs fwupd32.exe end to end.
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

# One wineserver for the whole run, with Wine's services started before CTest
# so that they do not inherit (and hold open) CTest's output pipe.
wineserver -p 60
trap 'wineserver -k || true' EXIT
wine cmd /c exit 0 </dev/null >/dev/null 2>&1

ctest --preset win32

# End-to-end smoke run: the simulated manager as the native WNASPI32.DLL
# beside fwupd32.exe, the windows found and dismissed by winclick.
dll=build/win32/managers/sim/WNASPI32.DLL
exe=build/win32/src/fwupd32.exe
if [[ -f $dll && -f $exe ]]; then
  run=build/win32/e2e-smoke
  rm -rf "$run" && mkdir -p "$run"
  i686-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Werror -O2 -static -static-libgcc \
    -static-libstdc++ -o "$run/winclick.exe" tools/winclick/winclick.cpp
  cp "$exe" "$dll" "$run/"
  cat >"$run/simaspi.scn" <<'SCN'
transcript transcript.txt
result out/
adapters 1
device 0 1 type 5
drive 0 1 vendor "QUILMAR " product "CD-R   QM-W6216T" revision "1.0A"
drive 0 1 memory 74 hex:05112233
SCN
  head -c 40000 /dev/urandom >"$run/FIRM6216.ROM"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -e
    cd "$1"
    export WINEDLLOVERRIDES="wnaspi32=n"
    wineserver -k || true
    wineserver -p 60
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    (timeout 60 wine ./fwupd32.exe </dev/null >fwupd32.out 2>&1; echo $? >rc.txt) &
    wine ./winclick.exe --leave Information >box.txt
    import -window root success.png || true
    wine ./winclick.exe Information >/dev/null
    wait
  ' _ "$run"
  grep -q "Firmware update successfull." "$run/box.txt"
  [[ $(cat "$run/rc.txt") == 0 ]]
  cmp "$run/out/drive-0-1.firmware" "$run/FIRM6216.ROM"
  echo "end-to-end smoke run under Wine: passed (screenshot $run/success.png)"
fi
