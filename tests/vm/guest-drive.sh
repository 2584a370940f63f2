# Sourced by the test VM's scripts: one emulated drive at a time behind the
# kernel's loopback SCSI host, served by qdrive through target_core_user.
# drive_up DIR TOKENS... sets DRIVE_PID and DRIVE_SG (e.g. sg0); drive_down
# removes it again. The loopback target and its initiator stay for the run.
T=/sys/kernel/config/target
LOOP=$T/loopback/naa.5001405000000001/tpgt_1
DRIVE_N=0

drive_init() {
  mount -t configfs none /sys/kernel/config 2>/dev/null
  mkdir -p $T/core/user_1 $LOOP
  # The nexus must exist before a LUN is linked, or the scan finds nothing.
  grep -q naa $LOOP/nexus 2>/dev/null || echo naa.5001405000000002 >$LOOP/nexus
}

drive_up() { # DIR TOKENS...
  local dir=$1 u name i=0
  shift
  DRIVE_N=$((DRIVE_N + 1))
  name=d$DRIVE_N
  mkdir -p "$dir" $T/core/user_1/$name
  echo dev_size=1048576 >$T/core/user_1/$name/control
  # The handler's own 30 s limit would abort a slow command before the
  # initiator's time-out does; 0 switches it off. Only before the LUN exists.
  echo 0 >$T/core/user_1/$name/attrib/cmd_time_out
  echo 1 >$T/core/user_1/$name/enable
  for u in /sys/class/uio/uio*; do
    case "$(cat $u/name)" in tcm-user/1/$name | tcm-user/1/$name/*) DRIVE_UIO=/dev/${u##*/} ;; esac
  done
  /opt/bin/qdrive "$DRIVE_UIO" "$dir" "$@" 2>>"$dir/qdrive.err" &
  DRIVE_PID=$!
  while [ ! -e "$dir/ready" ] && [ $i -lt 100 ] && kill -0 $DRIVE_PID 2>/dev/null; do
    sleep 0.02; i=$((i + 1))
  done
  i=0
  lun_link
  DRIVE_SG=
  while [ -z "$DRIVE_SG" ] && [ $i -lt 200 ]; do
    DRIVE_SG=$(ls /sys/class/scsi_generic 2>/dev/null | head -1)
    [ -n "$DRIVE_SG" ] || { sleep 0.05; i=$((i + 1)); }
  done
  [ -n "$DRIVE_SG" ] && [ -e /dev/$DRIVE_SG ] || return 1
  chown root:cdrom /dev/sg* /dev/sr* 2>/dev/null
  chmod 0660 /dev/sg* /dev/sr* 2>/dev/null
}

# The drive plugged in and pulled out: its LUN linked to and unlinked from
# the loopback target; the kernel scans it in and removes it.
lun_link() {
  mkdir $LOOP/lun/lun_0
  ln -s $T/core/user_1/d$DRIVE_N $LOOP/lun/lun_0/drive
}

lun_unlink() {
  rm -f $LOOP/lun/lun_0/drive
  rmdir $LOOP/lun/lun_0 2>/dev/null
}

drive_down() {
  local i=0
  lun_unlink
  while [ -n "$(ls /sys/class/scsi_generic 2>/dev/null)" ] && [ $i -lt 100 ]; do
    sleep 0.05; i=$((i + 1))
  done
  kill $DRIVE_PID 2>/dev/null
  wait $DRIVE_PID 2>/dev/null
  rmdir $T/core/user_1/d$DRIVE_N
}
