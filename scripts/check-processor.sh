#!/usr/bin/env bash
# Fails when a Windows program or DLL we ship holds an instruction that a 486
# lacks (those of the Pentium, the Pentium Pro and later: CMOV, FCOMI, CPUID,
# MMX, SSE...), or a section name longer than 8 characters.
#
#   scripts/check-processor.sh FILE...
#
# Where the code ends inside .text (the constructor lists and the exception
# tables follow it there) comes from the symbols: the file's own, or for a
# stripped file those of FILE.debug, the same link before stripping, whose
# code sections must hold the same bytes.
set -euo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
objcopy=${OBJCOPY:-i686-w64-mingw32-objcopy}
nm=${NM:-i686-w64-mingw32-nm}

# "PROCESSOR<TAB>address<TAB>instruction" for each instruction of the
# disassembly on stdin that needs more than a 486. objdump names REP BSF
# "tzcnt": GCC emits it for counts of trailing zeros of nonzero values, which
# processors without TZCNT run as BSF with the same result.
newer_than_486() {
  awk -F'\t' '
    NF >= 3 && $1 ~ /^ *[0-9a-f]+:$/ {
      insn = $3; n = split(insn, w, " "); i = 1
      while (i < n && w[i] ~ /^(lock|rep|repz|repnz|repe|repne|data16|addr16|[c-gs]s)$/) i++
      op = w[i]
      if (op ~ /^(cmov|fcmov)/ || op ~ /^f(u)?comip?$/)
        cpu = "Pentium Pro"
      else if (op ~ /^(sysenter|sysexit|fxsave|fxrstor)/)
        cpu = "Pentium II"
      else if (op ~ /^(cpuid|rdtsc|rdmsr|wrmsr|rsm|cmpxchg8b)$/)
        cpu = "Pentium"
      else if (insn ~ /%[xyz]mm[0-9]/ || op ~ /^(fisttp|prefetch|[lsm]fence|clflush|movnti|popcnt|lzcnt|movbe|crc32|rdrand|rdseed|rdtscp|xgetbv|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx|adcx|adox)/)
        cpu = "SSE-era"
      else if (insn ~ /%mm[0-7]/ || op ~ /^(emms|femms)$/)
        cpu = "Pentium MMX"
      else
        next
      sub(/^ */, "", $1)
      print cpu "\t" $1 "\t" insn
    }'
}

# The address where the code in .text ends, from the symbols of FILE.
code_end() {
  "$nm" "$1" 2>/dev/null | awk '$3 == "___CTOR_LIST__" { print "0x" $1; exit }'
}

code_sections() { "$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ { name = $2; next } /CODE/ { print name }'; }

section_bytes() { "$objcopy" -O binary --only-section="$2" "$1" "$3"; }

check() {
  local file=$1 bad=0 symbols=$1 end section
  end=$(code_end "$file")
  if [[ -z $end && -f $file.debug ]]; then
    symbols=$file.debug
    end=$(code_end "$symbols")
  fi
  if [[ -z $end ]]; then
    echo "$file: no symbols (nor $file.debug) tell where its code ends"
    return 1
  fi
  # A stripped file is read through its twin: the same bytes, whose symbols
  # put the disassembler back in step at every function (a sweep without
  # them can misread the instructions that follow data).
  if [[ $symbols != "$file" ]]; then
    local shipped linked
    shipped=$(mktemp) linked=$(mktemp)
    for section in $(code_sections "$file"); do
      section_bytes "$file" "$section" "$shipped"
      section_bytes "$symbols" "$section" "$linked"
      if ! cmp -s "$shipped" "$linked"; then
        echo "$file: its $section differs from $symbols: rebuild both"
        bad=1
      fi
    done
    rm -f "$shipped" "$linked"
  fi

  local long
  long=$("$objdump" -h "$file" | awk '$1 ~ /^[0-9]+$/ && length($2) > 8 { printf "%s ", $2 }')
  if [[ -n $long ]]; then
    echo "$file: section names longer than 8 characters: $long"
    bad=1
  fi

  # .text up to the end of the code, and any other executable section whole.
  local found
  found=$(
    for section in $(code_sections "$file"); do
      if [[ $section == .text ]]; then
        "$objdump" -d -j .text --stop-address="$end" "$symbols"
      else
        "$objdump" -d -j "$section" "$symbols"
      fi
    done | newer_than_486
  )
  if [[ -n $found ]]; then
    echo "$file: $(wc -l <<<"$found") instructions that a 486 lacks:"
    cut -f1 <<<"$found" | sort | uniq -c | awk '{ n = $1; $1 = ""; printf "  %d need a%s\n", n, $0 }'
    head -n 5 <<<"$found" | sed 's/^/  e.g. /'
    echo "  ($objdump -d $symbols names their functions; runtime members go in packaging/windows/runtime-members.txt)"
    bad=1
  else
    echo "$file: 0 instructions that a 486 lacks"
  fi
  return $bad
}

(($#)) || { echo "usage: $0 FILE..." >&2; exit 2; }
failed=0
for file in "$@"; do
  check "$file" || failed=1
done
exit $failed
