#!/bin/bash
# Checks the results the test VM wrote to its second serial port: the
# manager's census and commands on every adapter kind, sg_inq as a peer, and
# (when the program was built) the program's outcome in each case directory.
# Usage: check.sh <results.log> <with-program 0|1>
set -uo pipefail
log=$1 with_program=${2:-0}
failures=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; failures=$((failures + 1)); }
# expect <what> <text> [file]: the text occurs as a fixed string.
expect() { if grep -qF -- "$2" "${3:-$log}"; then ok "$1"; else bad "$1 (missing: $2)"; fi; }
expect_not() { if grep -qF -- "$2" "${3:-$log}"; then bad "$1 (found: $2)"; else ok "$1"; fi; }

[ -s "$log" ] || { echo "FAIL no results from the VM"; exit 1; }
expect "VM ran to the end" "DONE"
expect "census: six adapters" "CENSUS support=0106 adapters=6"
expect "census tool exit code" "CENSUS exit=0"

ha_of() { sed -n "s/^ADAPTER \([0-9]*\) .*identifier=\"$1\".*/\1/p" "$log" | head -1; }
declare -A ha
for id in ATAPI virtio_scsi sym53c8xx megaraid_sas scsi_debug USB; do
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
device scsi_debug 0 6 "QUILMAR CD-R   QM-W106TS1.0A"
device USB 0 12 "QUILMAR CD-ROM QM-20TSUW1.0A"
expect "diagnostic log: 12-byte INQUIRY on the ATAPI adapter" \
  "LOG EXEC ha=${ha[ATAPI]} target=0 lun=0 cdblen=12 status=01 scsi=00 host=00 driver=00 errno=0 len=96 cdb=12 00 00 00 60 00 00 00 00 00 00 00"
for p in "QEMU DVD-ROM" "CD-R QM-W6216T" "CD-ROM QM-20TS " "CD-ROM QM-16" "CD-R QM-W106TS" \
  "CD-ROM QM-20TSUW"; do
  expect "sg_inq sees $p" "Product identification: $p"
done

if [ "$with_program" = 1 ]; then
  cases=$(mktemp -d)
  trap 'rm -rf "$cases"' EXIT
  awk -v dir="$cases" '{ sub(/\r$/, "") } /^=== CASE .* begin$/ { f = dir "/" $3 } f { print > f }
    /^=== CASE .* end$/ { f = "" }' "$log"
  c() { echo "$cases/$1"; }
  expect "FIRM6216.ROM: drive-settings read refused on virtio" \
    "Label1: Unable to recover drive settings." "$(c 1-settings)"
  expect "FIRM6216.ROM: read drive memory went to the virtio drive" \
    "LOG EXEC ha=${ha[virtio_scsi]} target=0 lun=0 cdblen=12 status=04" "$(c 1-settings)"
  expect_not "FIRM6216.ROM: nothing written" "cdb=3B" "$(c 1-settings)"
  expect "FIRM20X.ROM: revision '1' refused" \
    "This firmware upgrade does not apply to your drive." "$(c 2-refused)"
  expect_not "FIRM20X.ROM: nothing written" "cdb=3B" "$(c 2-refused)"
  expect "FIRM20.ROM: drive found on the LSI adapter" \
    "Found device at (${ha[sym53c8xx]},2)" "$(c 3-rejected)"
  expect "FIRM20.ROM: WRITE BUFFER refused, sense in the message" \
    "Error sending firmware (5 : 20 : 0)" "$(c 3-rejected)"
  expect "FIRM16X.ROM: drive found on megasas channel 2" \
    "Found device at (${ha[megaraid_sas]},1)" "$(c 4-megasas)"
  expect "FIRM16X.ROM: WRITE BUFFER refused" "Error sending firmware (5 : 20 : 0)" "$(c 4-megasas)"
  expect "FIRM20TW.ROM: drive found behind the USB bridge" \
    "Found device at (${ha[USB]},0)" "$(c 5-usb)"
  expect "FIRM20TW.ROM: 12-byte TEST UNIT READY over USB" \
    "cdblen=12 status=01 scsi=00 host=00 driver=00 errno=0 len=0 cdb=00 00 00 00 00 00 00 00 00 00 00 00" \
    "$(c 5-usb)"
  expect "FIRM20TW.ROM: WRITE BUFFER refused" "Error sending firmware (5 : 20 : 0)" "$(c 5-usb)"
  expect "FIRM2610.ROM: not found" "Label1:       QM-W2610T not found." "$(c 6-notfound)"
  expect "one block to scsi_debug: drive found" "Found device at (${ha[scsi_debug]},0)" \
    "$(c 7-oneblock)"
  expect "one block to scsi_debug: mode 5 accepted" \
    "status=01 scsi=00 host=00 driver=00 errno=0 len=32768 cdb=3B 05 00 00 00 00 00 80 00 00" \
    "$(c 7-oneblock)"
  expect "one block to scsi_debug: success" "Firmware update successfull." "$(c 7-oneblock)"
  expect "two blocks to scsi_debug: second block sent" "Transferring bytes 32768-65536" \
    "$(c 8-twoblocks)"
  expect "two blocks to scsi_debug: unit attention after the download" \
    "Error sending firmware (6 : 29 : 2)" "$(c 8-twoblocks)"
  for n in 1-settings 2-refused 3-rejected 4-megasas 5-usb 6-notfound 7-oneblock 8-twoblocks; do
    expect "case $n: exit code 0" "exit=0" "$(c $n)"
  done
fi

echo "$failures failure(s)"
exit $((failures > 0))
