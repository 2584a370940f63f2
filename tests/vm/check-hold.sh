#!/bin/bash
# Checks the flashes with others at the drive (guest-hold.sh): each updater
# stored the whole image and ended well; the second updater, the exclusive
# opener and the mount were refused while the flash went on; no command from
# anyone else reached the drive between the first and the last firmware
# command (the figure is printed, summed over those cases). What a loop of
# plain reads of the block node still got through is printed apart: the
# kernel allows such opens. An update begun while another program holds the
# drive sends it nothing.
# Usage: sourced by check.sh (ok, bad, expect, $log, $cases: a file per case).
has_line() { grep -qE -- "$2" "$cases/$1" && ok "$1: $3" || bad "$1: $3 (missing: $2)"; }

foreign_total=0
# name  kind=bytes stored  how others tried the drive
while read -r name received run; do
  f=$cases/$name
  if [ ! -s "$f" ] || grep -q "^DRIVE did not appear" "$f"; then
    bad "$name: no emulated drive"; continue
  fi
  expect "$name: ${received%=*} of ${received#*=} bytes, same as the image" \
    "RECEIVED ${received%=*} bytes=${received#*=} same=yes" "$f"
  expect "$name: updated" "Firmware update successfull." "$f"
  expect "$name: exit code 0" "exit=0" "$f"
  n=$(sed -n 's/^FOREIGN //p' "$f")
  if [ "$run" = dd ]; then
    echo "hold: $name: $(sed -n 's/^PLAIN //p' "$f"), foreign commands during the flash: ${n:-?}"
    continue
  fi
  foreign_total=$((foreign_total + ${n:-1000}))
  has_line $name '^second: LINUX SG ASPI: .* is in use by another program' "second updater kept away"
  has_line $name '^second: exit code 6$' "second updater ended with drive not found"
  has_line $name '^second: ended while the first was flashing$' "second updater ran during the flash"
  has_line $name '^exclusive: .*Device or resource busy' "exclusive open refused"
  has_line $name '^mount: .*Device or resource busy' "mount refused"
  has_line $name '^intruders: done while the first was flashing$' "all tried during the flash"
done <<'CASES'
h-root-download download=100000 intrude
h-cdrom-memory  download=100000 intrude
h-cdrom-loader  loader=100000   intrude
h-root-dd       download=100000 dd
CASES
# Another program held the drive when the update began: the first command
# that changes the drive was refused as busy, and so was every later one.
f=$cases/h-held
has_line h-held '^LINUX SG ASPI: /dev/sr[0-9]* is in use by another program' "refusal's reason told"
has_line h-held 'Error sending firmware \(0 : 0 : 0\)' "refused as a busy drive"
has_line h-held '^exit=8$' "exit status 8: the drive keeps its old firmware"
has_line h-held 'Nothing of the update reached the drive: it keeps its old firmware' "drive state told"
grep -qE '^DRV CDB (3B|E1|E2|E4|F0)' "$f" && bad "h-held: a firmware command reached the drive" ||
  ok "h-held: no firmware command reached the drive"
echo "foreign commands during flashes: $foreign_total"
[ "$foreign_total" = 0 ] && ok "no foreign command during the flashes" ||
  bad "$foreign_total foreign command(s) during the flashes"
