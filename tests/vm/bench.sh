#!/bin/sh
# Runs inside the test VM after the cases: the same microcode download to the
# scsi_debug drive by the program and by sg_write_buffer, timed in the guest.
# scsi_debug raises a unit attention on the command after every WRITE BUFFER,
# so a download of more than one block fails at block 2 with either tool; the
# comparison is therefore made over repeated one-block (32 KiB, mode 5)
# downloads, each preceded by one TEST UNIT READY (the program sends one
# itself; sg_turs does it for the peer) that takes the pending unit attention.
now() { /opt/bin/aspi_census --now-us; }
runs=${1:-20}
dev=$(for s in /sys/class/scsi_generic/sg*; do
  h=$(basename $(readlink $s/device) | cut -d: -f1)
  [ "$(cat /sys/class/scsi_host/host$h/proc_name)" = scsi_debug ] && basename $s; done | head -1)
mkdir -p /tmp/bench && cd /tmp/bench || exit 1
head -c 32768 /dev/urandom >FIRM106.ROM
unset SGASPI_LOG
fails=0
t0=$(now)
i=0
while [ $i -lt $runs ]; do
  FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null | grep -q "Firmware update successfull." ||
    fails=$((fails + 1))
  i=$((i + 1))
done
t1=$(now)
i=0
while [ $i -lt $runs ]; do
  sg_turs /dev/$dev >/dev/null 2>&1
  sg_write_buffer -b 32768 -m 5 -I FIRM106.ROM /dev/$dev >/dev/null 2>&1 || fails=$((fails + 1))
  i=$((i + 1))
done
t2=$(now)
prog=$(((t1 - t0) / runs)) peer=$(((t2 - t1) / runs))
echo "BENCH device=/dev/$dev runs=$runs block=32768 mode=5 failures=$fails"
echo "BENCH fwupd32_us_per_download=$prog sg_write_buffer_us_per_download=$peer"
echo "BENCH ratio_x100=$((prog * 100 / (peer > 0 ? peer : 1)))"
