#!/usr/bin/env bash
# Runs the real updater end to end on the simulated drive bench: a fresh
# directory with a sample image, the program, and the simulated manager beside
# it as WNASPI32.DLL. Afterwards it checks that the drive holds the image.
# Usage: scripts/demo.sh [scenario name from scenarios/, default qm-w6216t]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scenario=${1:-qm-w6216t}
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target fwupd32 sim_aspi

bench=$(mktemp -d /tmp/fwupd32-demo.XXXXXX)
cp build/default/src/fwupd32 "$bench/"
cp build/default/managers/sim/WNASPI32.DLL "$bench/"
cp "scenarios/$scenario.scn" "$bench/simaspi.scn" # the manager reads it beside itself
image=$(sed -n 's/^# Row \([A-Z0-9]*\.ROM\).*/\1/p' "scenarios/$scenario.scn" | head -n 1)
image=${image:-FIRM6216.ROM}
head -c 100000 /dev/urandom >"$bench/$image"

echo "== bench: $bench (image $image, 100000 bytes)"
cd "$bench"
set +e
./fwupd32 </dev/null
rc=$?
set -e
echo "== exit code $rc"
echo "== commands the drive received:"
grep -E '^EXEC' transcript.txt | sed -E 's/.*cdb=([0-9a-f]{2}).*/  opcode \1/' | uniq -c
fw=$(ls out/*.firmware 2>/dev/null | head -n 1 || true)
if [ -n "$fw" ] && cmp -s "$fw" "$image"; then
  echo "== the drive holds the image byte for byte ($fw)"
else
  echo "== the drive does not hold the image (see $bench/out)"
  [ "$scenario" != qm-w6216t ] || exit 1
fi
