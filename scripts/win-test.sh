#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program and its unit tests with MinGW-w64
# and runs them under Wine (a fresh win32 prefix per run), then runs the
# shipped fwupd32.exe (win32 thread model, build/win32-shipped) end to end
# against the simulated manager built as WNASPI32.DLL. Before any of that, the
# shipped files' import tables are checked against the functions that
# Windows 98 SE and NT 4.0 export, and their code against the instructions of
# the 486. Screenshots end up in build/win32/e2e/.
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

# What we ship: its imports must exist on Windows 98 SE and NT 4.0, and its
# code run on a 486 (the configure step rebuilds the runtime members it
# links for that: scripts/win-runtime.sh).
cmake --preset win32-shipped
cmake --build --preset win32-shipped
shipped=(build/win32-shipped/src/fwupd32.exe)
mapfile -t -O ${#shipped[@]} shipped < <(find build/win32-shipped -iname '*.dll' -not -path '*/CMakeFiles/*')
bash scripts/check-imports.sh "${shipped[@]}"
bash tests/packaging/check-processor-test.sh
bash scripts/check-processor.sh "${shipped[@]}"
for binary in "${shipped[@]}"; do
  cmake -DBINARY="$binary" -P cmake/check-no-test-hooks.cmake
done

# The tests (posix thread model: GoogleTest and the simulated manager).
cmake --preset win32
cmake --build --preset win32
# The check must catch what the posix model brings in (GetTickCount64, Vista).
if ! report=$(bash scripts/check-imports.sh build/win32/src/fwupd32.exe) &&
  grep -q GetTickCount64 <<<"$report"; then
  echo "import check catches a Vista import"
else
  echo "import check missed GetTickCount64 in the posix-model build" >&2
  exit 1
fi
# ... and the processor check what Debian's prebuilt runtime brings (CMOV).
if ! report=$(bash scripts/check-processor.sh build/win32/src/fwupd32.exe) &&
  grep -q "need a Pentium Pro" <<<"$report"; then
  echo "processor check catches the prebuilt runtime's Pentium Pro instructions"
else
  echo "processor check missed CMOV in the posix-model build" >&2
  exit 1
fi

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
  bash tests/wine/e2e.sh build/win32 build/win32/e2e build/win32-shipped/src/fwupd32.exe
'
