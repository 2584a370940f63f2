#!/usr/bin/env bash
# While the drive takes 8 s over one block, the progress window (Qt, under a
# window manager) answers the desktop's ping within a second and shows its
# labels, so that no desktop offers to kill the program mid-flash.
#   answers_test.sh PROGRAM SIM_MANAGER_DIR WM_PING WORK_DIR
# Runs inside an X display (xvfb-run -a); prints how long the window went
# without answering at most, from its showing until after the slow block.
set -euo pipefail
program=$1 managers=$2 ping=$3 work=$4
title="QM-W6216T Firmware Update"
command -v openbox >/dev/null || { echo "openbox missing (scripts/install-deps.sh)"; exit 1; }

rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$program" fwupd32
cp "$managers/WNASPI32.DLL" .
head -c 100000 /dev/urandom >FIRM6216.ROM
cat >simaspi.scn <<'EOF'
transcript transcript.txt
result out
adapters 1
device 0 1 type 5
drive 0 1 vendor "QUILMAR " product "CD-R   QM-W6216T" memory 74 hex:05112233
drive 0 1 slow writebuffer 2 8000
EOF

pids=()
trap 'kill -9 "${pids[@]}" 2>/dev/null || true' EXIT
openbox --sm-disable >openbox.out 2>&1 &
pids+=($!)
# A desktop's window manager is there before the program: it frames the window.
waited=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  ((waited++ < 100)) || { echo "FAIL: the window manager did not start"; exit 1; }
  sleep 0.1
done
sleep 0.5
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
FWUPD_TOOLKIT=qt ./fwupd32 </dev/null >program.out 2>&1 &
pids+=($!)
"$ping" watch "$title" 14 >watch.txt &
watcher=$!

waited=0
until (($(cat transcript.txt 2>/dev/null | grep -c -E '^EXEC .*cdb=3b') >= 2)); do
  ((waited++ < 300)) || { echo "FAIL: the second block never went out"; exit 1; }
  sleep 0.1
done
sleep 3 # well inside the slow block
failed=0
if "$ping" check "$title" >check.txt; then
  echo "mid-block: $(head -1 check.txt), labels painted"
else
  echo "FAIL mid-block: $(tr '\n' ' ' <check.txt)"
  failed=1
fi
wait "$watcher" || failed=1
echo "progress window, 8 s block: $(cat watch.txt)"
exit $failed
