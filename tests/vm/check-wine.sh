#!/bin/bash
# Checks the Windows program's cases under Wine in the VM (guest-wine.sh):
# the drive's command sequence, what it stored (byte for byte with the
# image), the box the program ended with and its exit code.
# The block driver sends its own commands around the program's: when Wine
# opens \\.\D: (GET EVENT STATUS, TEST UNIT READY, READ TOC, READ CAPACITY,
# all before the first INQUIRY) and when it closes it (from the last GET
# EVENT STATUS on). Those are left out; the first INQUIRY is the manager's
# census, the second the program's.
# Usage: sourced by check.sh after check-cases.sh (c, blocks, loader, ok, bad).
wine_sequence() {
  awk '$1 == "DRV" { t = $3; if (t == "3B" || t == "E2") t = t "/" substr($4, 2)
    for (i = 4; i <= NF; i++) if ($i ~ /^len=/) { if ($(i + 1) == "CHECK") t = t "!"; break }
    seq[n++] = t; op[n - 1] = $3 }
    END { first = -1; last = n
      for (i = 0; i < n; i++) if (op[i] == "12") { first = i; break }
      for (i = n - 1; i > first; i--) if (op[i] == "4A") { last = i; break }
      if (first < 0) exit
      for (i = first; i < last; i++) printf "%s%s", (i > first ? " " : ""), seq[i] }' "$cases/$1"
}
sequence() { wine_sequence "$@"; }
expect "Wine ready in the guest" "WINE ready after"
sed -n 's/\r$//; s/^WINE \(ready\|done\) after/wine: \1 after/p' "$log"
c w-w6216 "12 12 00 F1 F0 00 $(blocks 3B 4)" download=100000 "caption: Information" "$OK"
expect "w-w6216: settings read at memory 74" "memory 74 = 05 11 00 33" "$cases/w-w6216"
c w-program "12 12 00 00 E1 $(loader 8) E4" loader=229377 "caption: Information" "$LOADED"
cx 8 w-block-refused "12 12 00 00 3B/4 3B/4!" download=32768 "caption: Error" \
  "Error sending firmware (5 : 26 : 2)"
cx 8 w-desc-sense "12 12 00 00 3B/4 3B/4!" download=32768 "sense=5/26/02 descriptor" \
  "Error sending firmware (5 : 26 : 2)"
