#!/bin/sh
# Runs inside the test VM: 1 MiB and 4 MiB downloads to the emulated drive,
# each the best of three runs, by the program (its whole run), by a bare
# SG_IO loop of the same command blocks, by sg_write_buffer once per block
# (-m 4, -m 5 for the last, with -o/-s/-l) and by sg_write_buffer mode 7
# with -b. Prints one BENCH line per figure; the drive checks each download.
. /opt/bin/guest-drive.sh
drive_init
unset SGASPI_LOG # the manager's diagnostic log is not part of a user's run
now() { /opt/bin/aspi_census --now-us; }
BLOCK=32768
per_block() { # IMAGE DEV: one sg_write_buffer run per block
  local off=0 size mode
  size=$(wc -c <"$1")
  while [ $off -lt "$size" ]; do
    mode=4
    [ $((off + BLOCK)) -ge "$size" ] && mode=5
    sg_write_buffer -m $mode -o $off -s $off -l $BLOCK -I "$1" "$2" >/dev/null 2>&1 || return 1
    off=$((off + BLOCK))
  done
}
method() { # NAME COMMAND...: best of three, with the drive's verdict
  local name=$1 best= i=0 t0 t1 fails=0 before
  shift
  while [ $i -lt 3 ]; do
    before=$(wc -l <$dir/commands.log)
    t0=$(now)
    "$@" >/tmp/bench-out 2>&1 || fails=$((fails + 1))
    t1=$(now)
    # The CD driver's own commands when the manager holds the block node
    # (GET EVENT STATUS, READ TOC, READ CAPACITY, PREVENT ALLOW) are refused
    # by the drive and are no part of the download.
    tail -n +$((before + 1)) $dir/commands.log | grep CHECK | grep -qvE '^CDB (4A|43|25|1E) ' &&
      fails=$((fails + 1))
    [ -z "$best" ] || [ $((t1 - t0)) -lt "$best" ] && best=$((t1 - t0))
    i=$((i + 1))
  done
  cmp -s $img $dir/download.bin || fails=$((fails + 1))
  echo "BENCH size=$size method=$name total_us=$best per_block_us=$((best / blocks)) failures=$fails"
  eval "us_$name=$best"
}
program() { (cd /tmp/bench && FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null | grep -q "Firmware update successfull.") }

mkdir -p /tmp/bench /tmp/bench-empty
for size in 1048576 4194304; do
  blocks=$((size / BLOCK))
  img=/tmp/bench/FIRM16X.ROM dir=/tmp/bench-drive-$size
  head -c $size /dev/urandom >$img
  drive_up $dir id=QUILMAR:CD-ROM_QM-16:1.0A || { echo "BENCH no drive"; continue; }
  dev=/dev/$DRIVE_SG
  # The program's fixed cost: start, manager, census and end, with no image.
  best=
  for i in 1 2 3; do
    t0=$(now)
    (cd /tmp/bench-empty && FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null >/dev/null 2>&1)
    t1=$(now)
    [ -z "$best" ] || [ $((t1 - t0)) -lt "$best" ] && best=$((t1 - t0))
  done
  echo "BENCH program_without_image_us=$best"
  method program program
  method sgio_loop /opt/bin/sgio_loop $dev $img
  method sg_write_buffer_per_block per_block $img $dev
  method sg_write_buffer_mode7 sg_write_buffer -m 7 -b $BLOCK -I $img $dev
  drive_down
  # shellcheck disable=SC2154 # set by method through eval
  echo "BENCH size=$size ratio_program_to_loop_x1000=$((us_program * 1000 / us_sgio_loop))" \
    "ratio_per_block_to_loop_x1000=$((us_sg_write_buffer_per_block * 1000 / us_sgio_loop))" \
    "ratio_mode7_to_loop_x1000=$((us_sg_write_buffer_mode7 * 1000 / us_sgio_loop))"
done
