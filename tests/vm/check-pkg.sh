#!/bin/bash
# Checks the installed package's cases in the VM (guest-pkg.sh): as root and
# as a user of group cdrom the drive gets the whole update and stores the
# image, also from an image named in small letters; a user without rights
# gets the reason once as a desktop notification and the drive gets no
# command; a second updater started during a download leaves the drive alone
# and says it was not found.
# Usage: sourced by check.sh after check-cases.sh (c, blocks, ok, bad, OK, FOUND).
sequence() { drive_sequence "$@"; }
expect "package installed in the guest" "PKG installed after"
sed -n 's/\r$//; s/^PKG \(installed\|done\) after \([0-9]* s\).*/package: \1 after \2/p' "$log"
NOTFOUND="Label1:            QM-16 not found."
c p-root "12 00 00 $(blocks 3B 4) $READBACK" download=100000 "$FOUND" "Transferring bytes 98304-100000" "$OK"
c p-cdrom "12 00 F1 F0 00 $(blocks 3B 4) $READBACK" download=100000 "memory 74 = 05 11 00 33" "$OK"
# An image named in small letters, opened as the desktop opens it.
c p-lower "12 00 F1 F0 00 $(blocks 3B 4) $READBACK" download=100000 "memory 74 = 05 11 00 33" "$OK"
cx 6 p-none "" - "LINUX SG ASPI: no read and write access to /dev/sg0 (Permission denied)." \
  "$NOTFOUND" 'NOTIFY app="LINUX SG ASPI" summary="No access to the CD drive" body="The CD drive at /dev/sg0 cannot be used:' \
  'add you to the group "cdrom"'
n=$(grep -c '^NOTIFY' "$cases/p-none")
[ "$n" = 1 ] && ok "p-none: one notification" || bad "p-none: $n notifications"
# The drive's sequence is the first updater's alone: the second sent nothing.
c p-second "12 00 00 $(blocks 3B 4) $READBACK" download=100000 "$OK" \
  "second: LINUX SG ASPI: /dev/sg0 is in use by another program" "second: $NOTFOUND" \
  "second: exit code 6" "second: ended while the first was downloading"
