# Sourced by the test VM's scripts: the build machine's root, read-only over
# virtio-9p, under a tmpfs overlay at /newroot, with fresh proc, sys, dev,
# devpts, shm and run inside, so that `chroot /newroot` gives the guest a
# full userland (Wine, Xvfb, dbus) at the host's own paths.
hostroot_up() {
  mkdir -p /host /ovl /newroot
  mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /host || return 1
  mount -t tmpfs -o size=3g tmpfs /ovl
  mkdir -p /ovl/upper /ovl/work
  mount -t overlay overlay -o lowerdir=/host,upperdir=/ovl/upper,workdir=/ovl/work /newroot ||
    return 1
  mount -t proc proc /newroot/proc
  mount -t sysfs sysfs /newroot/sys
  mount -t devtmpfs devtmpfs /newroot/dev
  # What udev would add: bash's process substitution reads /dev/fd.
  ln -sfn /proc/self/fd /newroot/dev/fd
  mkdir -p /newroot/dev/pts /newroot/dev/shm
  mount -t devpts devpts /newroot/dev/pts
  mount -t tmpfs tmpfs /newroot/dev/shm
  mount -t tmpfs tmpfs /newroot/run
  chmod 1777 /newroot/dev/shm
  # /tmp stays the host's, through the overlay: the checkout under test may
  # live there. The host's X and Wine server sockets and locks mean nothing
  # in here and would be taken for running servers, so they go.
  rm -rf /newroot/tmp/.X11-unix /newroot/tmp/.X[0-9]*-lock /newroot/tmp/.wine-*
  # The guest's users, as the busybox side has them.
  cp /etc/passwd /etc/group /newroot/etc/
}
