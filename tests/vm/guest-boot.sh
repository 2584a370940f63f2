# The first steps of every test guest's /init (sourced): busybox's commands,
# the kernel's file systems, and $R, the serial line the host reads.
/bin/busybox --install -s /bin
export PATH=/bin:/opt/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
R=/dev/ttyS1
