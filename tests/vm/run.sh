#!/bin/bash
# Boots the test VM under software emulation with QEMU's CD drives on five
# kinds of host adapter and our own emulated drive (qdrive) behind the
# kernel's loopback host, runs the sg ASPI manager and the program inside,
# and checks what the drives answered and received.
# With VM_WIN32_BUILD naming the shipped Windows build (fwupd32.exe, CDRAL.DLL,
# winclick.exe) and Wine and Xvfb installed, the guest also runs the Windows
# program under Wine against the emulated drive (guest-wine.sh).
# With VM_DEB naming the Debian package, the guest installs it in that chroot
# and runs the installed command against the emulated drive (guest-pkg.sh).
# Usage: run.sh <build-dir> [work-dir]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=${2:-$build/vm-test}
dll=$build/managers/sg/WNASPI32.DLL
prog=$build/src/fwupd32
kver=${VM_KERNEL_VERSION:-$(ls /lib/modules | sort -V | while read -r v; do
  [ -e "/boot/vmlinuz-$v" ] && echo "$v"; done | tail -1)}
[ -n "$kver" ] || { echo "no /boot/vmlinuz-* with modules in /lib/modules" >&2; exit 1; }
[ -f "$dll" ] || { echo "$dll missing: build the sg_aspi target first" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/payload/bin" "$work/payload/fw" "$work/payload/cases"
work=$(cd "$work" && pwd) # QEMU runs from inside it
g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/aspi_census.cpp" -ldl \
  -o "$work/payload/bin/aspi_census"
# The emulated drive: its rules are checked on the host first.
g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/drive/drive_model.cpp" \
  "$here/drive/drive_model_test.cpp" -o "$work/drive_model_test"
"$work/drive_model_test" >"$work/drive_model_test.log" ||
  { grep -v '^ok' "$work/drive_model_test.log" >&2; exit 1; }
tail -1 "$work/drive_model_test.log"
gcc -std=c11 -O2 -Wall -Wextra -Werror -c "$here/drive/tcmu_ring.c" -o "$work/tcmu_ring.o"
g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/drive/drive_model.cpp" "$here/drive/tcmu_main.cpp" \
  "$work/tcmu_ring.o" -o "$work/payload/bin/qdrive"
cp "$(command -v sg_inq)" "$(command -v sg_write_buffer)" "$(command -v sg_reset)" "$work/payload/bin/"
cp "$here/guest-drive.sh" "$here/guest-cases.sh" "$work/payload/bin/"
cp "$dll" "$work/payload/fw/"

# Image files for the program's cases, one directory per case.
mkcase() { # name file bytes
  mkdir -p "$work/payload/cases/$1"
  head -c "$3" /dev/urandom >"$work/payload/cases/$1/$2"
}
# case_dirs TABLE DIR: one directory per case of the table, holding its image
# file of random bytes (none where the table says "-").
case_dirs() {
  grep -v '^#' "$1" | while read -r name _ image bytes _; do
    mkdir -p "$2/$name"
    [ "$image" = - ] || head -c "$bytes" /dev/urandom >"$2/$name/$image"
  done
}

with_program=0
if [ -x "$prog" ] && [ "${VM_WITHOUT_PROGRAM:-0}" != 1 ]; then
  with_program=1
  cp "$prog" "$work/payload/fw/"
  mkcase 4-megasas FIRM16X.ROM 65536       # megasas: WRITE BUFFER refused
  mkcase 5-usb FIRM20TW.ROM 65536          # USB bridge: 12-byte commands
  # The emulated drive's cases: one directory each, with its image file.
  mkdir -p "$work/payload/drive-cases"
  cp "$here/cases.txt" "$work/payload/drive-cases/"
  case_dirs "$here/cases.txt" "$work/payload/drive-cases"
  g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/sgio_loop.cpp" -o "$work/payload/bin/sgio_loop"
  cp "$here/guest-bench.sh" "$work/payload/bin/"
  # Flashes with others at the drive: a second updater, an exclusive opener,
  # a mount and plain reads of the block node during the flash.
  mkdir -p "$work/payload/hold-cases"
  cp "$here/hold-cases.txt" "$work/payload/hold-cases/"
  case_dirs "$here/hold-cases.txt" "$work/payload/hold-cases"
  g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/excl_open.cpp" -o "$work/payload/bin/excl_open"
  cp "$here/guest-hold.sh" "$work/payload/bin/"
fi

# The Windows program under Wine: the guest reaches the build machine's root
# over 9p, so the program, the prefix and the case directories stay here.
with_wine=0
win32=${VM_WIN32_BUILD:-}
if [ -n "$win32" ] && [ -f "$win32/src/fwupd32.exe" ] && [ -f "$win32/src/CDRAL.DLL" ] &&
  [ -f "$win32/tools/winclick/winclick.exe" ] && command -v wine >/dev/null &&
  command -v Xvfb >/dev/null && [ "${VM_WITHOUT_WINE:-0}" != 1 ] && [ $with_program = 1 ]; then
  with_wine=1
  win32=$(cd "$win32" && pwd)
  # The prefix: a copy of the Windows tests' (scripts/win-test.sh, which CI
  # runs first), else one made for the VM alone, where 32-bit programs run.
  # The guest reads it through its overlay and sets the drive letter there.
  prefix=$build/vm-wineprefix
  if [ ! -f "$prefix/.ready" ]; then
    tested=$here/../../build/win32/wineprefix
    if [ -f "$tested/.ready" ]; then
      rm -rf "$prefix"
      cp -a "$tested" "$prefix"
      # Real copies of Wine's files, not the links: the drive letter of the
      # CD drive goes through Wine's device services loaded from there.
      find "$prefix/drive_c" -type l -lname '/usr/lib/*' \
        -exec sh -c 'cp --remove-destination "$(readlink "$1")" "$1"' _ {} \;
    else
      (cd "$here" && bash ../../scripts/run-32bit.sh bash ../wine/make-prefix.sh "$prefix")
    fi
  fi
  ln -sfn /tmp "$prefix/dosdevices/d:"
  ln -sfn /dev/sr0 "$prefix/dosdevices/d::"
  rm -rf "$work/wine-cases"
  cp "$here/wine-cases.txt" "$work/payload/wine-cases.txt"
  case_dirs "$here/wine-cases.txt" "$work/wine-cases"
  cat >"$work/payload/wine.conf" <<CONF
EXE=$win32/src/fwupd32.exe
WINCLICK=$win32/tools/winclick/winclick.exe
PREFIX=$prefix
CASES=$work/wine-cases
RUN=$here/wine-run.sh
KEEP=$(cd "$here/../wine" && pwd)/keep-desktop.sh
CONF
fi
# The Debian package (VM_DEB): unpacked over the guest's chroot, whose
# libraries and dbus-daemon are the build machine's; a user without rights
# gets a private session bus with a notification stand-in (sd-bus).
with_pkg=0
deb=${VM_DEB:-}
if [ -n "$deb" ] && [ -f "$deb" ] && [ $with_program = 1 ] && [ "${VM_WITHOUT_PACKAGE:-0}" != 1 ]; then
  with_pkg=1
  deb=$(readlink -f "$deb")
  g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/notify_standin.cpp" -lsystemd \
    -o "$work/notify_standin"
  cp "$here/pkg-cases.txt" "$work/payload/pkg-cases.txt"
  case_dirs "$here/pkg-cases.txt" "$work/pkg-cases"
  cat >"$work/payload/pkg.conf" <<CONF
DEB=$deb
STANDIN=$work/notify_standin
CASES=$work/pkg-cases
RUN=$here/pkg-run.sh
CONF
fi
cp "$here/guest-boot.sh" "$here/guest-hostroot.sh" "$here/guest-wine.sh" "$here/guest-pkg.sh" "$work/payload/bin/"

"$here/build-initramfs.sh" "$kver" "$work/payload" "$here/init.sh" "$work/initramfs.gz"
truncate -s 4M "$work/disc.iso" # medium for the QEMU drives (2048-byte sectors)

# VM_ONLY_HOLD=1: the flashes with others at the drive alone (guest-hold.sh).
only=
[ "${VM_ONLY_HOLD:-0}" = 1 ] && only=" vmtest.only=hold"
cd "$work"
drive() { echo "if=none,id=$1,file=$work/disc.iso,format=raw,readonly=on"; }
args=(
  -accel tcg -m 2048 -smp 2 -nodefaults -no-reboot -display none
  -kernel "/boot/vmlinuz-$kver" -initrd "$work/initramfs.gz"
  -append "console=ttyS0 quiet panic=-1 vmtest.sg=5$only"
  -serial "file:$work/console.log" -serial "file:$work/results.log"
  -drive "$(drive cd0)" -drive "$(drive cd1)" -drive "$(drive cd2)"
  -drive "$(drive cd3)" -drive "$(drive cd4)"
  -device ide-cd,bus=ide.1,drive=cd3,ver=2.00
  -device virtio-scsi-pci,id=vs
  -device "scsi-cd,bus=vs.0,drive=cd0,vendor=QUILMAR,product=CD-R   QM-W6216T,ver=1.0A"
  -device lsi53c895a,id=lsi
  -device "scsi-cd,bus=lsi.0,scsi-id=2,drive=cd1,vendor=QUILMAR,product=CD-ROM QM-20TS,ver=1.1A"
  -device megasas,id=mega
  -device "scsi-cd,bus=mega.0,scsi-id=1,drive=cd2,vendor=QUILMAR,product=CD-ROM QM-16,ver=1.0A"
  -device qemu-xhci,id=xhci -device usb-bot,id=bot,bus=xhci.0
  -device "scsi-cd,bus=bot.0,drive=cd4,vendor=QUILMAR,product=CD-ROM QM-20TSUW,ver=1.0A"
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap
)
# The slow cases alone keep the drive busy for nearly three minutes.
start=$(date +%s.%N)
timeout "${VM_TIMEOUT:-1200}" qemu-system-x86_64 "${args[@]}" || {
  echo "qemu failed or timed out (exit $?)" >&2
}
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" 'BEGIN { printf "VM wall time: %.1f s\n", e - s }'

"$here/check.sh" "$work/results.log" "$with_program" "$with_wine" "$with_pkg"
