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
# to the runner as CASE_BOX and CASE_RUN.
table=${1:-/opt/drive-cases/cases.txt}
root=${2:-$(dirname "$table")}
. /opt/bin/guest-drive.sh

run_case() { # NAME USER DIR: the Linux program, its texts on stdout
  local cmd="cd $3 && SGASPI_LOG=/tmp/log-$1 FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null"
  case $2 in
  root) sh -c "$cmd" ;;
  cdrom) chown -R fwuser "$3"; su -s /bin/sh fwuser -c "$cmd" ;;
  none) chown -R nobody "$3"; su -s /bin/sh nobody -c "$cmd" ;;
  esac
}
[ -z "${CASE_RUNNER:-}" ] || . "$CASE_RUNNER"

drive_init
grep -v '^#' "$table" >/tmp/cases
# The table comes in on descriptor 3, so nothing in a case can eat it.
while read -r name user image bytes tokens <&3; do
  [ -n "$name" ] || continue
  dir=$root/$name
  mkdir -p $dir
  ua=0 args= CASE_BOX= CASE_RUN=
  for t in $tokens; do
    case $t in
    ua) ua=1 ;;
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
  run_case $name $user $dir >/tmp/out 2>&1
  echo "exit=$?" >>/tmp/out
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
