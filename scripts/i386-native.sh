#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs 32-bit x86 programs itself (Wine
# needs that), 1 when it does not; one line on standard output says which.
# FWUPD_I386_PROBE=no answers "no" without asking, so that the path taken on
# such a machine can be tried on one that runs 32-bit code.
set -euo pipefail
if [[ ${FWUPD_I386_PROBE:-} == no ]]; then
  echo "32-bit x86 programs: not run here (FWUPD_I386_PROBE=no)"
  exit 1
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
gcc -m32 -O2 -ffreestanding -fno-pic -fno-stack-protector -nostdlib -static \
  -o "$dir/probe" "$(dirname "$0")/probe-i386.c"
rc=0
"$dir/probe" 2>/dev/null || rc=$?
case $rc in
0) echo "32-bit x86 programs: run by this kernel" ;;
3) echo "32-bit x86 programs: only emulated here (binfmt_misc), not run by the kernel" ;;
*) echo "32-bit x86 programs: refused by this kernel (exit $rc)" ;;
esac
[[ $rc == 0 ]]
