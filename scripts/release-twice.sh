#!/usr/bin/env bash
# CI: builds the release of the last commit twice, from two fresh clones in
# directories of different names, one after the other (so at different
# times), the second under another umask and time zone, and compares the
# files (scripts/compare-release.sh). The two runs share nothing but the
# installed packages. The first run's files are left in build/release-files.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash tests/packaging/compare-release-test.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=("$work/a/fwupd32" "$work/second-run/elsewhere/fwupd32-clone")
# run N UMASK TZ: clones, then builds from the clone into $work/out-N.
run() {
  local clone=${runs[$1]} started
  started=$(date +%s)
  (umask "$2" && git clone -q "$root" "$clone")
  (cd "$clone" && umask "$2" && TZ=$3 bash scripts/release.sh "$work/out-$1")
  echo "release-twice: run $((1 + $1)) took $(($(date +%s) - started)) s"
}
run 0 022 UTC
run 1 077 Pacific/Chatham
bash scripts/compare-release.sh "$work/out-0" "$work/out-1"
mkdir -p build && rm -rf build/release-files
cp -r "$work/out-0" build/release-files
(cd build/release-files && ls -l -- * && cat SHA256SUMS)
