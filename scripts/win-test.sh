#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program and its unit tests with MinGW-w64
# and runs them under Wine, then runs the shipped fwupd32.exe (win32 thread
# model, build/win32-shipped) end to end against the simulated manager built
# as WNASPI32.DLL (tests/wine/run-all.sh). Before any of that, the shipped
# files' import tables are checked against the functions that Windows 98 SE
# and NT 4.0 export, and their code against the instructions of the 486.
# Wine runs here when this machine's kernel runs 32-bit programs, otherwise
# in a QEMU guest (scripts/run-32bit.sh). Screenshots end up in
# build/win32/e2e/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

packages=(g++-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb xauth xdotool imagemagick)
# A kernel that runs no 32-bit code: Wine runs in a QEMU guest instead.
if ! bash scripts/i386-native.sh; then
  packages+=(qemu-system-x86 linux-image-amd64 busybox-static cpio)
fi
bash scripts/need-packages.sh "${packages[@]}"

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

started=$(date +%s)
bash scripts/run-32bit.sh bash tests/wine/run-all.sh
echo "Windows tests under Wine: $(($(date +%s) - started)) s"
