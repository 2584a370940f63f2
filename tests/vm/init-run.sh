#!/bin/sh
# /init of the guest that runs one command of the build machine where 32-bit
# x86 programs run (scripts/run-32bit.sh): the build machine's root under a
# tmpfs overlay, the checkout writable at its own path, the command in a
# chroot into that. Its output goes to ttyS1, then "RUN-EXIT <status>".
. /opt/bin/guest-boot.sh
while read -r m; do insmod /modules/$m 2>/dev/null; done </modules/order
mkdir -p /etc
printf 'root:x:0:0::/root:/bin/sh\n' >/etc/passwd
printf 'root:x:0:\n' >/etc/group
. /opt/bin/guest-hostroot.sh
. /opt/run.conf # WORK: the checkout's path
if ! hostroot_up >$R 2>&1 ||
  ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose work "/newroot$WORK" >$R 2>&1; then
  echo "RUN-EXIT no-host-root" >$R
  poweroff -f
fi
cp /opt/run-cmd.sh /newroot/run-cmd.sh
chroot /newroot /usr/bin/env -i /bin/bash /run-cmd.sh >$R 2>&1 </dev/null
echo "RUN-EXIT $?" >$R
sync
umount "/newroot$WORK"
poweroff -f
