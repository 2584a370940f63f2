#!/bin/bash
# Checks the emulated drive's cases in the VM's results: per case the
# program's texts and exit code, the commands the drive received (opcode, the
# mode of WRITE BUFFER and byte 1 of 0xE2, '!' where the drive refused) and
# what it stored, compared byte for byte with the image in the VM.
# Usage: sourced by check.sh (log, ok, bad, expect, $cases: a file per case).

# The block driver's own commands when the manager takes and lets go of the
# drive's block node (GET EVENT STATUS, READ TOC, READ CAPACITY, PREVENT
# ALLOW and the TEST UNIT READYs among them) are left out.
drive_sequence() { # the drive's command sequence of one case, as tokens
  awk '$1 == "DRV" && $3 ~ /^(4A|43|25|1E)$/ { block = 1; next }
  $1 == "DRV" && block && $3 == "00" { next }
  $1 == "DRV" { block = 0; t = $3; if (t == "3B" || t == "E2") t = t "/" substr($4, 2)
    for (i = 4; i <= NF; i++) if ($i ~ /^len=/) { if ($(i + 1) == "CHECK") t = t "!"; break }
    printf "%s%s", n++ ? " " : "", t }' "$cases/$1"
}
sequence() { drive_sequence "$@"; }
blocks() { # TOKEN N: N-1 times TOKEN/4 then TOKEN/5 (WRITE BUFFER) or N times E2/1
  local i out=""
  for ((i = 1; i < $2; i++)); do out+="$1/4 "; done
  echo "${out}$1/5"
}
loader() { # N blocks, the eighth (address 0x38000) with byte 1 zero
  local i out=""
  for ((i = 1; i <= $1; i++)); do [ $i = 8 ] && out+="E2/0 " || out+="E2/1 "; done
  echo "${out% }"
}

# c CASE SEQUENCE RECEIVED TEXT...: RECEIVED is "-" (nothing stored) or
# download=N / loader=N (N bytes stored, the image's first N bytes); the
# program's exit status is 0, or $want when cx sets it.
c() {
  local name=$1 seq=$2 received=$3 f=$cases/$1 got t
  shift 3
  if [ ! -s "$f" ] || grep -q "^DRIVE did not appear" "$f"; then
    bad "$name: no emulated drive"; return
  fi
  got=$(sequence "$name")
  [ "$got" = "$seq" ] && ok "$name: drive got $seq" || bad "$name: drive got '$got', expected '$seq'"
  if [ "$received" = - ]; then
    grep -q '^RECEIVED' "$f" && bad "$name: drive stored data" || ok "$name: nothing stored"
  else
    expect "$name: ${received%=*} of ${received#*=} bytes, same as the image" \
      "RECEIVED ${received%=*} bytes=${received#*=} same=yes" "$f"
  fi
  for t in "$@"; do expect "$name: $t" "$t" "$f"; done
  expect "$name: exit status ${want:-0}" "exit=${want:-0}" "$f"
}
cx() { # STATUS CASE SEQUENCE RECEIVED TEXT...: c, for a run that exits with STATUS
  want=$1
  shift
  c "$@"
  want=0
}

OK="Firmware update successfull."
# After the committing block the manager reads the revision back.
READBACK="00 12"
LOADED="Firmware update successfull. Power down the drive and remove firmware jumper to use drive normally."
FOUND="Form1.Label2: Found device at (0,1)"
REFUSAL="Label2: This firmware upgrade does not apply to your drive.  Please visit Quilmar Web Site to check availability of latest firmware for the drive you have."

c r01-zol "12 00 00 $(blocks 3B 4) $READBACK" download=100000 "=== window: ZOL-CDRM00417 Firmware Update ===" "$FOUND" "$OK"
cx 6 r01-notfound "12" - "=== application title: Firmware update utilitiy. ===" "Label1: ZOL-CDRM00417 not found."
c r02-qm16 "12 00 00 $(blocks 3B 2) $READBACK" download=65536 "Transferring bytes 32768-65536" "$OK"
c r03-qm20ts "12 00 12 00 $(blocks 3B 4) $READBACK" download=100000 "Transferring bytes 98304-100000" "$OK"
cx 7 r03-refused "12 00 12" - "$REFUSAL" "Label1: "
cx 6 r03-not-tsuw "12 12" - "Label1:           QM-20TS not found."
c r04-qm20cs "12 12 00 12 00 $(blocks 3B 2) $READBACK" download=40000 "=== window: QM-20TS Firmware Update ===" \
  "Transferring bytes 32768-40000" "$OK"
cx 7 r04-refused "12 00 12" - "$REFUSAL"
c r05-qm20tsuw "12 00 00 $(blocks 3B 3) $READBACK" download=98304 "Transferring bytes 65536-98304" "$OK"
c r05-qm20tw "12 12 00 00 3B/5 $READBACK" download=32768 "=== window: QM-20TSUW Firmware Update ===" "$OK"
c r06-r610 "12 00 00 3B/5 $READBACK" download=1 "Transferring bytes 0-1" "$OK"
c r07-w2610-split "12 00 00 $(blocks 3B 3) $READBACK" download=70000 "=== window: QM-W2610T Firmware Update ===" "$OK"
cx 6 r07-notfound "12" - "Label1:       QM-W2610T not found."
c r08-w6610 "12 00 00 $(blocks 3B 2) $READBACK" download=50000 "=== window: QM-W6610T Firmware Update ===" "$OK"
c r09-w6216 "12 00 F1 F0 00 $(blocks 3B 4) $READBACK" download=100000 "memory 74 = 05 11 00 33" "$OK"
c r09-second-read "12 00 F1! F1 F0 00 3B/5 $READBACK" download=32768 "memory 74 = 05 11 00 33" "$OK"
cx 7 r09-unreadable "12 00 F1! F1!" - "Label1: Unable to recover drive settings."
cx 7 r09-incorrect "12 00 F1" - "Label1: Incorrect firmware for this drive."
c r10-w106ts "12 00 00 $(blocks 3B 4) $READBACK" download=131072 "Transferring bytes 98304-131072" "$OK"
c r11-program "12 00 00 E1 $(loader 8) E4" loader=229377 \
  "CDB E2 00 00 03 80 00 00 00 00 01 len=1 GOOD" "Form1.Label3: 229377 bytes transferred" \
  "Form1.Label3: Ending firmware transfer." "$LOADED"
cx 6 r11-notfound "12" - "=== window: QM-R206C Firmware Update ===" "Label1: The firmware loader was not found."
cx 9 r11-start-refused "12 00 00 E1!" - "Error starting firmware send."
cx 9 r11-block-refused "12 00 00 E1 E2/1 E2/1 E2/1!" loader=65536 "Form1.Label3: 98304 bytes transferred" \
  "Error sending firmware."
cx 9 r11-end-refused "12 00 00 E1 $(loader 4) E4!" loader=100000 "Error ending firmware send."
cx 8 block-refused "12 00 00 3B/4 3B/4!" download=32768 "Transferring bytes 32768-65536" \
  "Error sending firmware (5 : 26 : 2)"
cx 8 block-refused-first "12 00 00 3B/5!" - "Transferring bytes 0-20000" "Error sending firmware (3 : C : 0)"
c unit-attention "12 00! 00 $(blocks 3B 2) $READBACK" download=65536 "$OK"
c slow-download "12 00 00 $(blocks 3B 4) $READBACK" download=100000 "$OK"
c slow-loader "12 00 00 E1 $(loader 4) E4" loader=100000 "$LOADED"
# slow CASE: nothing the kernel logs says it aborted or reset a command.
slow() {
  if grep -q '^KERNEL' "$cases/$1"; then
    bad "$1: the kernel stepped in: $(grep '^KERNEL' "$cases/$1" | head -3 | tr '\n' ' ')"
  else
    ok "$1: no abort or reset in the kernel log"
  fi
}
c slow-start-40s "12 00 00 E1 $(loader 4) E4" loader=100000 "$LOADED"
slow slow-start-40s
c slow-memory-40s "12 00 F1 F0 00 $(blocks 3B 4) $READBACK" download=100000 "memory 74 = 05 11 00 33" "$OK"
slow slow-memory-40s
c slow-commit-90s "12 00 00 $(blocks 3B 4) $READBACK" download=100000 "$OK"
slow slow-commit-90s
cx 3 no-image "" -
shown=$(grep -v -e '^=== CASE' -e '^DRIVE' -e '^exit=' "$cases/no-image")
[ -z "$shown" ] && ok "no-image: nothing shown" || bad "no-image: showed $shown"
# --list: one line for the drive, writable for the cdrom group; only INQUIRY
# reaches it.
expect "list-w6216: listed" '"QUILMAR " "CD-R   QM-W6216T" "1.0A" FIRM6216.ROM writable' \
  "$cases/list-w6216"
expect "list-w6216: exit status 0" "exit=0" "$cases/list-w6216"
got=$(sequence list-w6216)
[[ $got =~ ^12( 12)*$ ]] && ok "list-w6216: drive got $got" || bad "list-w6216: drive got '$got'"
c user-cdrom "12 00 F1 F0 00 $(blocks 3B 4) $READBACK" download=100000 "memory 74 = 05 11 00 33" "$OK"
c user-cdrom-loader "12 00 00 E1 $(loader 8) E4" loader=229377 "$LOADED"
# What a user without rights to /dev/sg* sees: the manager's hint, then not found.
cx 6 user-none "" - "LINUX SG ASPI: no read and write access to /dev/sg0 (Permission denied)." \
  "Label1:            QM-16 not found."

# Trouble during an update: the box, the manager's reason with the drive's
# state and the next step, the exit status and what the drive received. When
# exactly the kernel gives up a command in flight is its own business, so
# the unplugged and reset cases check what must hold whichever it is.
# tc CASE STATUS PREFIX TEXT...: the drive's sequence starts with PREFIX and
# holds no committing command (3B/5, E4).
tc() {
  local name=$1 status=$2 prefix=$3 f=$cases/$1 got t
  shift 3
  [ -s "$f" ] || { bad "$name: no emulated drive"; return; }
  sed -n 's/^TROUBLE /trouble: /p' "$f" | sed "s/^/$name: /"
  got=$(sequence "$name")
  echo "$name: drive got $got"
  case "$got" in "$prefix"*) ok "$name: drive got $prefix ..." ;; *) bad "$name: drive got '$got'" ;; esac
  case " $got " in *" 3B/5 "* | *" E4 "*) bad "$name: a committing command reached the drive" ;;
  *) ok "$name: no committing command reached the drive" ;; esac
  grep '^RECEIVED' "$f" | sed "s/^/$name: /"
  grep -q '^RECEIVED.*same=no' "$f" && bad "$name: stored data differ from the image" ||
    ok "$name: what was stored is the image's start"
  expect "$name: exit status $status" "exit=$status" "$f"
  for t in "$@"; do expect "$name: $t" "$t" "$f"; done
  grep '^LINUX SG ASPI:' "$f" | sed "s/^/$name: told: /"
}
tc t-unplug-download 8 "12 00 00 3B/4" "Error sending firmware (0 : 0 : 0)" \
  "was disconnected during the firmware update" "The drive keeps its old firmware" \
  "connect it again, then start the update again"
tc t-unplug-loader 9 "12 00 00 E1 E2/1 E2/1" "Error sending firmware." \
  "was disconnected during the firmware update" "The drive is left in programming mode" \
  "run the update again without switching the drive off"
# The target answers the next command with its reset's unit attention: the
# box has the sense, so the manager has nothing to add.
# The reset's unit attention may be taken by the kernel's own polling of the
# drive before the next WRITE BUFFER: the whole image then goes through, and
# success is the truth.
f=$cases/t-reset-download
if grep -q "^RECEIVED download bytes=131072 same=yes" "$f" && grep -q "^exit=0" "$f" &&
  grep -q "^Firmware update successfull.$" "$f"; then
  ok "t-reset-download: the reset reached no command; the whole image was kept, success told"
else
  tc t-reset-download 8 "12 00 00 3B/4" "Error sending firmware (6 : 29 : 3)"
fi
tc t-renumbered 8 "12 00 F1" "Error sending firmware (0 : 0 : 0)" \
  "is gone since the drive was found" "Nothing of the update reached the drive"
grep -qE '^DRV CDB (3B|F0)' "$cases/t-renumbered" &&
  bad "t-renumbered: a command that changes the drive reached it" ||
  ok "t-renumbered: nothing that changes the drive reached it, under either node"
# A unit attention at the third block is the drive's own word: the box has it.
cx 8 t-ua-block "12 00 00 3B/4 3B/4 3B/4!" download=65536 "Error sending firmware (6 : 29 : 0)"
# The drive restarts after the last block: not ready three times, then its
# reset's unit attention, then it answers; the revision is read back.
cx 0 t-reboot-new "12 00 00 $(blocks 3B 4) 00! 00! 00! 00! 00 12" download=100000 "$OK" \
  "now reports firmware revision 2.00 (before the update: 1.0A)."
cx 0 t-reboot-old "12 00 00 $(blocks 3B 4) 00! 00! 00 12" download=100000 "$OK" \
  "the drive still reports revision 1.0A: switch it off and on, then check."

# Descriptor-format sense (0x72): the message must carry the same numbers as
# with fixed format (the manager converts it before the program reads it).
f=$cases/block-refused-desc
cx 8 block-refused-desc "12 00 00 3B/4 3B/4!" download=32768 "sense=5/26/02 descriptor"
if grep -qF "Error sending firmware (5 : 26 : 2)" "$f"; then
  ok "block-refused-desc: descriptor sense shown as (5 : 26 : 2)"
else
  bad "block-refused-desc: got '$(grep -o 'Error sending firmware ([^)]*)' "$f")'"
fi

# The benchmark's figures, and that each of its downloads arrived whole.
sed -n 's/\r$//; s/^BENCH /bench: /p' "$log"
# What one more block costs: the 96 blocks that 4 MiB has over 1 MiB.
figure() { sed -n "s/^BENCH size=$1 method=$2 total_us=\([0-9]*\).*/\1/p" "$log" | head -1; }
for m in program sgio_loop sg_write_buffer_per_block sg_write_buffer_mode7; do
  a=$(figure 1048576 $m) b=$(figure 4194304 $m)
  [ -n "$a" ] && [ -n "$b" ] && echo "bench: method=$m marginal_us_per_block=$(((b - a) / 96))"
done
for size in 1048576 4194304; do
  for m in program sgio_loop sg_write_buffer_per_block sg_write_buffer_mode7; do
    if grep -qE "^BENCH size=$size method=$m .*failures=0" "$log"; then
      ok "bench: $m, $size bytes, arrived whole"
    else
      bad "bench: $m, $size bytes, failed or missing"
    fi
  done
done
