#!/usr/bin/env bash
# How CTest runs a cross-built test program: under Wine, its output through a
# file. A program Wine starts on the way (a service, the desktop) inherits the
# test's output; were that CTest's pipe, CTest would wait for it to close
# long after the test had ended.
# Usage: tests/wine/run-test.sh PROGRAM.exe [ARG...]
output=$(mktemp)
wine "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
rm -f "$output"
exit $status
