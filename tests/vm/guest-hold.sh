#!/bin/sh
# Runs inside the test VM: flashes of the emulated drive with others at it
# (/opt/hold-cases/hold-cases.txt, through guest-cases.sh). The kernel polls
# the drive's media every 2 s during the case, as systemd sets it on Debian
# desktops. Once the first firmware command has reached the drive,
# run=intrude starts a second updater, an exclusive opener of the block node
# and a mount of it; run=dd reads the block node in a loop until the updater
# ends; run=held starts the updater while another program holds the block
# node exclusively. Each case ends with FOREIGN N: the commands the drive received
# between the first and the last firmware command that the updater's own log
# does not account for.
# Sourced with CASE_RUNNER=this file, it gives guest-cases.sh its run_case.
POLL=/sys/module/block/parameters/events_dfl_poll_msecs

as_user() { # USER COMMAND: as root or as fwuser (group cdrom)
  case $1 in
  root) sh -c "$2" ;;
  *) su -s /bin/sh fwuser -c "$2" ;;
  esac
}

# foreign DRIVE-LOG UPDATER-LOG: per opcode, what the drive received in its
# window beyond what the updater sent in its own (the firmware commands 3B,
# E1, E2, E4 and F0 open and close each window).
foreign() {
  awk 'FNR == 1 { f++ }
    f == 1 && $1 == "CDB" { op[1, n[1]++] = $2 }
    f == 2 && $1 == "EXEC" { for (i = 2; i <= NF; i++) if ($i ~ /^cdb=/) op[2, n[2]++] = substr($i, 5) }
    END {
      for (k = 1; k <= 2; k++) {
        first = -1
        for (i = 0; i < n[k]; i++) if (op[k, i] ~ /^(3B|E1|E2|E4|F0)$/) { if (first < 0) first = i; last = i }
        for (i = first; first >= 0 && i <= last; i++) count[k, op[k, i]]++
      }
      for (key in count) {
        split(key, p, SUBSEP)
        if (p[1] == 1 && count[key] > count[2, p[2]]) total += count[key] - count[2, p[2]]
      }
      print total + 0
    }' "$1" "$2"
}

updater() { # DIR LOG: the program's command line
  echo "cd $1 && SGASPI_LOG=$2 FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null"
}

run_case() { # NAME USER DIR
  local drive=/tmp/drive-$1/commands.log sr first holder rc i=0 reads=0 fine=0
  [ "$2" = root ] || chown -R fwuser "$3"
  sr=$(ls /sys/class/scsi_generic/$DRIVE_SG/device/block)
  echo 2000 >$POLL
  if [ "$CASE_RUN" = held ]; then
    /opt/bin/excl_open /dev/$sr 60 >/tmp/holder-$1 2>&1 &
    holder=$!
    while ! grep -q opened /tmp/holder-$1 && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
    as_user $2 "$(updater $3 /tmp/log-$1)" 2>&1
    rc=$?
    kill $holder
    echo 0 >$POLL
    return $rc
  fi
  as_user $2 "$(updater $3 /tmp/log-$1)" >/tmp/first-$1 2>&1 &
  first=$!
  while ! grep -qE '^CDB (3B|E1|F0)' $drive && [ $i -lt 600 ]; do
    sleep 0.05; i=$((i + 1))
  done
  case $CASE_RUN in
  intrude)
    as_user $2 "$(updater $3 /tmp/log2-$1)" >/tmp/second-$1 2>&1
    rc=$?
    sed 's/^/second: /' /tmp/second-$1
    echo "second: exit code $rc"
    kill -0 $first 2>/dev/null && echo "second: ended while the first was flashing"
    echo "exclusive: $(as_user $2 "/opt/bin/excl_open /dev/$sr" 2>&1)"
    mkdir -p /mnt/hold
    if mount -r -t iso9660 /dev/$sr /mnt/hold 2>/tmp/mount-$1; then
      echo "mount: mounted"; umount /mnt/hold
    else
      echo "mount: $(cat /tmp/mount-$1)"
    fi
    kill -0 $first 2>/dev/null && echo "intruders: done while the first was flashing"
    ;;
  dd)
    while kill -0 $first 2>/dev/null; do
      dd if=/dev/$sr of=/dev/null bs=2048 count=1 2>/dev/null && fine=$((fine + 1))
      reads=$((reads + 1))
    done
    echo "PLAIN reads=$reads succeeded=$fine"
    ;;
  esac
  wait $first
  rc=$?
  echo 0 >$POLL
  cat /tmp/first-$1
  echo "FOREIGN $(foreign $drive /tmp/log-$1)"
  return $rc
}
