#!/bin/bash
# Boots the test VM under software emulation with emulated CD drives on six
# kinds of host adapter, runs the sg ASPI manager (and the program, when it is
# built) inside, and checks what the drives answered.
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
g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/aspi_census.cpp" -ldl \
  -o "$work/payload/bin/aspi_census"
cp "$(command -v sg_inq)" "$(command -v sg_write_buffer)" "$work/payload/bin/"
cp "$dll" "$work/payload/fw/"

# Image files for the program's cases, one directory per case.
mkcase() { # name file bytes
  mkdir -p "$work/payload/cases/$1"
  head -c "$3" /dev/urandom >"$work/payload/cases/$1/$2"
}
with_program=0
if [ -x "$prog" ] && [ "${VM_WITHOUT_PROGRAM:-0}" != 1 ]; then
  with_program=1
  cp "$prog" "$work/payload/fw/"
  mkcase 1-settings FIRM6216.ROM 65536     # virtio: vendor read refused
  mkcase 2-refused FIRM20X.ROM 65536       # LSI: revision byte '1'
  mkcase 3-rejected FIRM20.ROM 65536       # LSI: WRITE BUFFER refused
  mkcase 4-megasas FIRM16X.ROM 65536       # megasas: WRITE BUFFER refused
  mkcase 5-usb FIRM20TW.ROM 65536          # USB bridge: 12-byte commands
  mkcase 6-notfound FIRM2610.ROM 1000      # no such drive
  mkcase 7-oneblock FIRM106.ROM 32768      # scsi_debug: accepted
  mkcase 8-twoblocks FIRM106.ROM 65536     # scsi_debug: unit attention on block 2
  if [ "${VM_BENCH:-0}" = 1 ]; then
    mkdir -p "$work/payload/bench"
    cp "$here/bench.sh" "$work/payload/bench/run.sh"
    cp "$(command -v sg_turs)" "$work/payload/bin/"
  fi
fi

"$here/build-initramfs.sh" "$kver" "$work/payload" "$here/init.sh" "$work/initramfs.gz"
truncate -s 4M "$work/disc.iso" # medium for the QEMU drives (2048-byte sectors)

cd "$work"
drive() { echo "if=none,id=$1,file=$work/disc.iso,format=raw,readonly=on"; }
args=(
  -accel tcg -m 512 -nodefaults -no-reboot -display none
  -kernel "/boot/vmlinuz-$kver" -initrd "$work/initramfs.gz"
  -append "console=ttyS0 quiet panic=-1 vmtest.sg=6 vmtest.sdprod=CD-R___QM-W106TS"
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
)
start=$(date +%s.%N)
timeout "${VM_TIMEOUT:-300}" qemu-system-x86_64 "${args[@]}" || {
  echo "qemu failed or timed out (exit $?)" >&2
}
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" 'BEGIN { printf "VM wall time: %.1f s\n", e - s }'

"$here/check.sh" "$work/results.log" "$with_program"
