#!/bin/sh
# Runs inside the test VM: every case of /opt/drive-cases/cases.txt against
# its own emulated drive, as root, as a user of group cdrom or as a user
# without rights, and reports on stdout: the program's output and exit code,
# the commands the drive received while the program ran, and whether what
# it stored matches the image byte for byte.
. /opt/bin/guest-drive.sh
drive_init
grep -v '^#' /opt/drive-cases/cases.txt >/tmp/cases
# The table comes in on descriptor 3, so nothing in a case can eat it.
while read -r name user image bytes tokens <&3; do
  [ -n "$name" ] || continue
  dir=/opt/drive-cases/$name
  mkdir -p $dir
  ua=0 args=
  for t in $tokens; do
    if [ "$t" = ua ]; then ua=1; else args="$args $t"; fi
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
  cmd="cd $dir && SGASPI_LOG=/tmp/log-$name FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null"
  case $user in
  root) sh -c "$cmd" >/tmp/out 2>&1 ;;
  cdrom) chown -R fwuser $dir; su -s /bin/sh fwuser -c "$cmd" >/tmp/out 2>&1 ;;
  none) chown -R nobody $dir; su -s /bin/sh nobody -c "$cmd" >/tmp/out 2>&1 ;;
  esac
  echo "exit=$?" >>/tmp/out
  cat /tmp/out
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
