#!/bin/sh
# /init of the test VM: load the host adapter drivers, wait for the drives,
# run the census tool, sg_inq and the program's cases on QEMU's drives, then
# remove those and run the cases against the emulated drive; report on ttyS1.
. /opt/bin/guest-boot.sh
say() { echo "$*" >$R; }

param() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
expect_sg=$(param vmtest.sg)
only=$(param vmtest.only) # "hold": the flashes with others at the drive alone

while read -r m; do
  case "$m" in
  usb-storage.ko) insmod /modules/$m delay_use=0 ;;
  *) insmod /modules/$m 2>/dev/null ;;
  esac
done </modules/order
mkdir -p /etc
printf 'root:x:0:0::/root:/bin/sh\nfwuser:x:1000:1000::/tmp:/bin/sh\nnobody:x:65534:65534::/tmp:/bin/sh\n' >/etc/passwd
printf 'root:x:0:\ncdrom:x:24:fwuser\nfwuser:x:1000:\nnogroup:x:65534:\n' >/etc/group
chmod 1777 /tmp

i=0
while [ "$(ls /sys/class/scsi_generic 2>/dev/null | wc -l)" -lt "${expect_sg:-1}" ] && [ $i -lt 300 ]; do
  sleep 0.1; i=$((i + 1))
done
say "BOOT sg_devices=$(ls /sys/class/scsi_generic | wc -l) waited_ds=$i"
for h in /sys/class/scsi_host/host*; do
  say "HOST $(basename $h) proc_name=$(cat $h/proc_name)"
done
for s in /sys/class/scsi_generic/sg*; do
  say "SG $(basename $s) hctl=$(basename $(readlink $s/device)) type=$(cat $s/device/type)"
done

if [ "$only" != hold ]; then # QEMU's drives: census, sg_inq and the program
  export SGASPI_LOG=/tmp/census.log
  /opt/bin/aspi_census /opt/fw/WNASPI32.DLL >$R 2>&1
  say "CENSUS exit=$?"
  while read -r l; do say "LOG $l"; done </tmp/census.log

  for s in /dev/sg*; do
    say "SGINQ $s $(sg_inq $s 2>&1 | grep -E 'identification|revision level' | tr -s ' ' | tr '\n' ' ')"
  done

  if [ -x /opt/fw/fwupd32 ]; then
    for c in /opt/cases/*/; do
      name=$(basename $c)
      export SGASPI_LOG=/tmp/case-$name.log
      say "=== CASE $name begin"
      (cd $c && FWUPD_TOOLKIT=console /opt/fw/fwupd32 </dev/null >/tmp/out 2>&1; echo "exit=$?" >>/tmp/out)
      cat /tmp/out >$R
      while read -r l; do say "LOG $l"; done <$SGASPI_LOG
      say "=== CASE $name end"
    done
  fi
fi

# QEMU's drives go, so that each case sees its emulated drive alone.
if [ -x /opt/fw/fwupd32 ]; then
  for d in /sys/class/scsi_device/*/device/delete; do echo 1 >$d; done
  if [ "$only" != hold ]; then
    /opt/bin/guest-cases.sh >$R 2>&1
    /opt/bin/guest-bench.sh >$R 2>&1
  fi
  CASE_RUNNER=/opt/bin/guest-hold.sh /opt/bin/guest-cases.sh /opt/hold-cases/hold-cases.txt >$R 2>&1
  if [ "$only" != hold ]; then
    [ -f /opt/wine.conf ] && /opt/bin/guest-wine.sh >$R 2>&1
    [ -f /opt/pkg.conf ] && /opt/bin/guest-pkg.sh >$R 2>&1
  fi
fi
say "DONE"
poweroff -f
