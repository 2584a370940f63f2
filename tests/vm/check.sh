#!/bin/bash
# Checks the results the test VM wrote to its second serial port: the
# manager's census and commands on every adapter kind, sg_inq as a peer, and
# (when the program was built) the program's outcome in each case directory.
# Usage: check.sh <results.log> <with-program 0|1> [<with-wine 0|1> [<with-package 0|1>]]
set -uo pipefail
log=$1 with_program=${2:-0} with_wine=${3:-0} with_pkg=${4:-0}
failures=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; failures=$((failures + 1)); }
# expect <what> <text> [file]: the text occurs as a fixed string.
expect() { if grep -qF -- "$2" "${3:-$log}"; then ok "$1"; else bad "$1 (missing: $2)"; fi; }
expect_not() { if grep -qF -- "$2" "${3:-$log}"; then bad "$1 (found: $2)"; else ok "$1"; fi; }
# split_cases <dir>: each case of the log in a file of its own under dir,
# named as the case.
split_cases() {
  awk -v dir="$1" '{ sub(/\r$/, "") } /^=== CASE .* begin$/ { f = dir "/" $3 } f { print > f }
    /^=== CASE .* end$/ { f = "" }' "$log"
}

[ -s "$log" ] || { echo "FAIL no results from the VM"; exit 1; }
expect "VM ran to the end" "DONE"
cases=$(mktemp -d) # the log's cases, a file each
trap 'rm -rf "$cases"' EXIT
split_cases "$cases"
if [ "${VM_ONLY_HOLD:-0}" = 1 ]; then # run.sh ran the flashes with others at the drive alone
  . "$(dirname "$0")/check-hold.sh"
  echo "$failures failure(s)"
  exit $((failures > 0))
fi
expect "census: five adapters" "CENSUS support=0105 adapters=5"
expect "census tool exit code" "CENSUS exit=0"

ha_of() { sed -n "s/^ADAPTER \([0-9]*\) .*identifier=\"$1\".*/\1/p" "$log" | head -1; }
declare -A ha
for id in ATAPI virtio_scsi sym53c8xx megaraid_sas USB; do
  ha[$id]=$(ha_of "$id")
  if [ -n "${ha[$id]}" ]; then ok "adapter $id is ${ha[$id]}"; else bad "no adapter $id"; ha[$id]=X; fi
done
expect "manager names itself" 'manager="LINUX SG ASPI"'

# device <identifier> <target> <cdb length> <identification>
device() {
  local a=${ha[$1]}
  expect "INQUIRY on $1 ($3-byte, event signalled)" \
    "DEVICE ha=$a target=$2 type=5 inquiry_status=01 cdb=$3 event=1 ident=\"$4"
  expect "32 KiB READ(10) on $1" "READ32K ha=$a target=$2 status=01"
  expect "refused vendor command on $1 returns its sense" "VENDOR ha=$a target=$2 status=04 sense=5/20/00"
}
device ATAPI 0 12 "QEMU    QEMU DVD-ROM"
device virtio_scsi 0 6 "QUILMAR CD-R   QM-W6216T1.0A"
device sym53c8xx 2 6 "QUILMAR CD-ROM QM-20TS  1.1A"
device megaraid_sas 1 6 "QUILMAR CD-ROM QM-16    1.0A"
device USB 0 12 "QUILMAR CD-ROM QM-20TSUW1.0A"
expect "diagnostic log: 12-byte INQUIRY on the ATAPI adapter" \
  "LOG EXEC ha=${ha[ATAPI]} target=0 lun=0 cdblen=12 status=01 scsi=00 host=00 driver=00 errno=0 len=96 cdb=12 00 00 00 60 00 00 00 00 00 00 00"
for p in "QEMU DVD-ROM" "CD-R QM-W6216T" "CD-ROM QM-20TS " "CD-ROM QM-16" "CD-ROM QM-20TSUW"; do
  expect "sg_inq sees $p" "Product identification: $p"
done

if [ "$with_program" = 1 ]; then
  c() { echo "$cases/$1"; }
  expect "FIRM16X.ROM: drive found on megasas channel 2" \
    "Found device at (${ha[megaraid_sas]},1)" "$(c 4-megasas)"
  expect "FIRM16X.ROM: WRITE BUFFER refused" "Error sending firmware (5 : 20 : 0)" "$(c 4-megasas)"
  expect "FIRM20TW.ROM: drive found behind the USB bridge" \
    "Found device at (${ha[USB]},0)" "$(c 5-usb)"
  expect "FIRM20TW.ROM: 12-byte TEST UNIT READY over USB" \
    "cdblen=12 status=01 scsi=00 host=00 driver=00 errno=0 len=0 cdb=00 00 00 00 00 00 00 00 00 00 00 00" \
    "$(c 5-usb)"
  expect "FIRM20TW.ROM: WRITE BUFFER refused" "Error sending firmware (5 : 20 : 0)" "$(c 5-usb)"
  for n in 4-megasas 5-usb; do # the transfer failed, the drive keeps its old firmware
    expect "case $n: exit status 8" "exit=8" "$(c $n)"
  done
  . "$(dirname "$0")/check-cases.sh"
  . "$(dirname "$0")/check-hold.sh"
  [ "$with_wine" = 1 ] && . "$(dirname "$0")/check-wine.sh"
  [ "$with_pkg" = 1 ] && . "$(dirname "$0")/check-pkg.sh"
fi

echo "$failures failure(s)"
exit $((failures > 0))
