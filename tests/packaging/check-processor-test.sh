#!/usr/bin/env bash
# scripts/check-processor.sh on small programs whose instructions are known:
# it finds each processor's instructions, passes what a 486 runs (REP BSF
# included), ignores the exception tables after the code, reads a stripped
# file through its .debug twin, and refuses a twin of another link.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
check=$root/scripts/check-processor.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checks=0

failed_checks=() # one entry per failed check, however many messages it gave
fail() {
  echo "FAIL $*"
  [[ " ${failed_checks[*]} " == *" $checks "* ]] || failed_checks+=("$checks")
}

# program NAME BODY: a Windows program whose code is BODY, followed in .text
# by an exception table holding the bytes of a CMOV.
program() {
  cat >"$work/$1.s" <<EOF
  .text
  .globl _start
_start:
$2
  ret
  .section .gcc_except_table,"r"
  .byte 0x0f, 0x44, 0xc3
  .section .extra_long_name,"r"
  .long 0
EOF
  i686-w64-mingw32-gcc -nostdlib -e _start -Wl,--enable-long-section-names -o "$work/$1.exe" "$work/$1.s"
}

# stripped NAME: NAME.exe stripped as the shipped build does, beside NAME.exe.debug.
stripped() {
  cp "$work/$1.exe" "$work/$1-stripped.exe.debug"
  i686-w64-mingw32-objcopy --strip-all --long-section-names disable "$work/$1.exe" "$work/$1-stripped.exe"
}

# expect NAME STATUS TEXT...: the check of NAME exits with STATUS and says each TEXT.
expect() {
  local name=$1 status=$2 report rc=0
  checks=$((checks + 1))
  shift 2
  report=$(bash "$check" "$work/$name") || rc=$?
  [[ $rc == "$status" ]] || fail "$name: exit $rc, not $status: $report"
  for text in "$@"; do
    grep -qF -- "$text" <<<"$report" || fail "$name: no \"$text\" in: $report"
  done
}

program newer "
  cmovne %eax, %ebx
  fucomip %st(1), %st
  cpuid
  lock cmpxchg8b (%esi)
  paddusw %mm1, %mm0
  addps %xmm1, %xmm0
  fisttpl (%esi)
  bswap %eax"
expect newer.exe 1 "7 instructions that a 486 lacks" "2 need a Pentium Pro" "2 need a Pentium" \
  "1 need a Pentium MMX" "2 need a SSE-era" "section names longer than 8 characters: .extra_long_name"
stripped newer
expect newer-stripped.exe 1 "7 instructions that a 486 lacks"

program old "
  rep bsf %eax, %eax
  bswap %eax
  xadd %eax, (%esi)
  cmpxchg %ebx, (%esi)
  fsqrt"
stripped old
expect old-stripped.exe 0 "0 instructions that a 486 lacks"
checks=$((checks + 1))
if bash "$check" "$work/old-stripped.exe" | grep -q "section names"; then
  fail "old-stripped.exe: a stripped name reported as too long"
fi

mv "$work/old-stripped.exe.debug" "$work/old-stripped.exe.orphan"
expect old-stripped.exe 1 "no symbols"
cp "$work/newer.exe" "$work/old-stripped.exe.debug"
expect old-stripped.exe 1 "its .text differs from"

echo "check-processor: $((checks - ${#failed_checks[@]})) passed, ${#failed_checks[@]} failed"
exit $((${#failed_checks[@]} > 0))
