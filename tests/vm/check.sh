#!/bin/bash
# Checks the results the test VM wrote to its second serial port.
# Usage: check.sh <results.log> <with-program 0|1>
set -uo pipefail
log=$1
failures=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; failures=$((failures + 1)); }
has() { grep -qF -- "$1" "$log"; }
check() { if has "$2"; then ok "$1"; else bad "$1 (missing: $2)"; fi; }

[ -s "$log" ] || { echo "FAIL no results from the VM"; exit 1; }
check "VM finished" "DONE"
exit $((failures > 0))
