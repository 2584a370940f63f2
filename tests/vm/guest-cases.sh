#!/bin/sh
# Runs inside the test VM: every case of a table (default
# /opt/drive-cases/cases.txt, case directories beside it) against its own
# emulated drive, as root, as a user of group cdrom or as a user without
# rights, and reports on stdout: the program's output and exit code, the
# commands the drive received while the program ran, and whether what it
# stored matches the image byte for byte.
# Usage: guest-cases.sh [TABLE [CASE-DIRS]]; with CASE_RUNNER set, that file
# is sourced and its run_case runs the program instead (e.g. under Wine).
# Tokens box=CAPTION (`_` a blank) and run=WORD are not the drive's: they go
# to the runner as CASE_BOX and CASE_RUN. Nor are unplug=OP:K, replug=OP:K
# and reset=OP:K: once the drive has answered K commands of opcode OP (hex,
# as its log writes it) while the program runs, its LUN is removed, removed
# and added again (it comes back under a new node), or the drive is reset
# through its block node (sg_reset -d).
table=${1:-/opt/drive-cases/cases.txt}
root=${2:-$(dirname "$table")}
. /opt/bin/guest-drive.sh

run_case() { # NAME USER DIR: the Linux program, its texts on stdout (run=list: --list)
  local option=""
  [ "$CASE_RUN" = list ] && option=--list
  local cmd="cd $3 && SGASPI_LOG=/tmp/log-$1 FWUPD_TOOLKIT=console /opt/fw/fwupd32 $option </dev/null"
  case $2 in
  root) sh -c "$cmd" ;;
  cdrom) chown -R fwuser "$3"; su -s /bin/sh fwuser -c "$cmd" ;;
  none) chown -R nobody "$3"; su -s /bin/sh nobody -c "$cmd" ;;
  esac
}
[ -z "${CASE_RUNNER:-}" ] || . "$CASE_RUNNER"

trouble() { # ACTION OP K LOG FROM-LINE
  local i=0
  while [ $i -lt 1200 ] && [ "$(tail -n +"$5" "$4" | grep -c "^CDB $2")" -lt "$3" ]; do
    sleep 0.05; i=$((i + 1))
  done
  case $1 in
  unplug) lun_unlink ;;
  replug) lun_unlink; sleep 0.5; lun_link ;;
  reset) sg_reset -d "/dev/$(ls /sys/class/scsi_generic/$DRIVE_SG/device/block/)" ;;
  esac
  echo "TROUBLE $1 after $3 x $2"
}

drive_init
grep -v '^#' "$table" >/tmp/cases
# The table comes in on descriptor 3, so nothing in a case can eat it.
while read -r name user image bytes tokens <&3; do
  [ -n "$name" ] || continue
  dir=$root/$name
  mkdir -p $dir
  ua=0 args= CASE_BOX= CASE_RUN= action=
  for t in $tokens; do
    case $t in
    ua) ua=1 ;;
    unplug=* | replug=* | reset=*) action="${t%%=*} $(echo "${t#*=}" | tr : ' ')" ;;
    box=*) CASE_BOX=$(echo "${t#box=}" | tr _ ' ') ;;
    run=*) CASE_RUN=${t#run=} ;;
    *) args="$args $t" ;;
    esac
  done
  echo "=== CASE $name begin"
  # shellcheck disable=SC2086 # one word per token
  if ! drive_up /tmp/drive-$name $args; then
    echo "DRIVE did not appear"; cat /tmp/drive-$name/qdrive.err /tmp/drive-$name/commands.log
    drive_down
    echo "=== CASE $name end"; continue
  fi
  echo "DRIVE /dev/$DRIVE_SG user=$user"
  [ $ua = 1 ] && kill -USR1 $DRIVE_PID
  before=$(wc -l </tmp/drive-$name/commands.log)
  dmesg -c >/dev/null 2>&1
  watcher=
  if [ -n "$action" ]; then
    # shellcheck disable=SC2086 # ACTION OP K
    trouble $action /tmp/drive-$name/commands.log $((before + 1)) >/tmp/trouble &
    watcher=$!
  fi
  run_case $name $user $dir >/tmp/out 2>&1
  echo "exit=$?" >>/tmp/out
  [ -z "$watcher" ] || { kill $watcher 2>/dev/null; wait $watcher; cat /tmp/trouble; }
  cat /tmp/out
  # What the kernel did about a command that took long: an abort, a reset.
  dmesg | grep -i -E 'abort|reset|timing out|timed out' | sed 's/^/KERNEL /'
  tail -n +$((before + 1)) /tmp/drive-$name/commands.log | sed 's/^/DRV /'
  drive_down
  for kind in download loader; do
    got=$(wc -c </tmp/drive-$name/$kind.bin)
    [ "$got" -gt 0 ] || continue
    if [ "$image" != - ] && head -c "$got" "$dir/$image" | cmp -s - /tmp/drive-$name/$kind.bin; then
      same=yes
    else
      same=no
    fi
    echo "RECEIVED $kind bytes=$got same=$same"
  done
  echo "=== CASE $name end"
done 3</tmp/cases
