#!/bin/bash
# VM integration test of the Linux sg ASPI manager and the program: builds
# both (console toolkit, no tests), boots QEMU's drives and our own emulated
# drive under QEMU (TCG), checks the outcomes and prints the benchmark. The
# shipped Windows program with our pass-through manager (win32-shipped
# preset) runs under Wine in the same guest against the emulated drive, and
# the Debian package's installed command runs there too.
# Usage: scripts/vm-test.sh [build-dir]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/vm}
started=$(date +%s)

# linux-libc-dev: <linux/target_core_user.h> for the emulated drive.
# MinGW, Wine and Xvfb: the Windows program's cases (as scripts/win-test.sh).
# dbus-daemon and libsystemd-dev: the package's cases (a session bus with a
# notification stand-in).
packages=(qemu-system-x86 linux-image-amd64 busybox-static cpio sg3-utils linux-libc-dev
  g++-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb xauth dbus-daemon libsystemd-dev)
bash "$root/scripts/need-packages.sh" --with-recommends "${packages[@]}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFWUPD_WITH_QT=OFF \
  -DFWUPD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target sg_aspi fwupd32
(cd "$root" && cmake --preset win32-shipped >/dev/null && cmake --build --preset win32-shipped &&
  cmake --build build/win32-shipped -j2 --target winclick)
export VM_WIN32_BUILD=$root/build/win32-shipped
# The Debian package as CI builds it before this test (scripts/package.sh);
# built here only when missing. VM_WITHOUT_PACKAGE=1 leaves its cases out.
if [ "${VM_WITHOUT_PACKAGE:-0}" != 1 ]; then
  deb=$(ls "$root"/build/package/fwupd32_*.deb 2>/dev/null | tail -1 || true)
  if [ -z "$deb" ]; then
    bash "$root/scripts/package.sh"
    deb=$(ls "$root"/build/package/fwupd32_*.deb | tail -1)
  fi
  echo "package: $deb"
  export VM_DEB=$deb
fi

rc=0
"$root/tests/vm/run.sh" "$build" || rc=$?
echo "vm-test: $(($(date +%s) - started)) s wall in total, exit $rc"
exit $rc
