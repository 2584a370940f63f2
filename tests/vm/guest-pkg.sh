#!/bin/sh
# Runs inside the test VM: the Debian package as users install it. In the
# chroot into the build machine's root (guest-hostroot.sh) the package's
# files are unpacked over / and the installed command /usr/bin/fwupd32 runs
# against the emulated drive, one case of /opt/pkg-cases.txt each (through
# guest-cases.sh). /opt/pkg.conf names the package, the notification
# stand-in, the case directories and pkg-run.sh on the build machine.
# A case's run=second starts a second updater once the first one's download
# is under way, and runs it to its end before the first ends.
# Sourced with CASE_RUNNER=this file, it gives guest-cases.sh its run_case.
. /opt/pkg.conf

in_root() { # USER COMMAND...: in the chroot as root, fwuser (group cdrom) or nobody
  local who=$1
  shift
  case $who in
  root) set -- "$@" ;;
  cdrom) set -- /usr/bin/setpriv --reuid=fwuser --regid=fwuser --init-groups "$@" ;;
  none) set -- /usr/bin/setpriv --reuid=nobody --regid=nogroup --init-groups "$@" ;;
  esac
  chroot /newroot /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/tmp LANG=C.UTF-8 "$@"
}

run_case() { # NAME USER DIR; the image's name is guest-cases.sh's $image
  local path=${3#/newroot}/$image standin= first i=0 rc
  case $2 in
  cdrom) chown -R fwuser "$3" ;;
  none) chown -R nobody "$3"; standin=$STANDIN ;; # a desktop user: the notice is looked for
  esac
  if [ "$CASE_RUN" != second ]; then
    in_root $2 /bin/sh "$RUN" "$path" $standin
    return
  fi
  in_root $2 /bin/sh "$RUN" "$path" >/tmp/first-$1 2>&1 &
  first=$!
  while ! grep -q '^CDB 3B' /tmp/drive-$1/commands.log && [ $i -lt 1200 ]; do
    sleep 0.05; i=$((i + 1))
  done
  in_root $2 /bin/sh "$RUN" "$path" >/tmp/second-$1 2>&1
  rc=$?
  sed 's/^/second: /' /tmp/second-$1
  echo "second: exit code $rc"
  grep -q '^CDB 3B' /tmp/drive-$1/commands.log && kill -0 $first 2>/dev/null &&
    echo "second: ended while the first was downloading"
  wait $first
  rc=$?
  cat /tmp/first-$1
  return $rc
}

if [ -z "${CASE_RUNNER:-}" ]; then
  . /opt/bin/guest-hostroot.sh
  start=$(date +%s)
  if ! grep -q ' /newroot ' /proc/mounts && ! hostroot_up; then
    echo "PKG no host root"
    exit 1
  fi
  if ! chroot /newroot dpkg-deb -x "$DEB" /; then
    echo "PKG not unpacked"
    exit 1
  fi
  echo "PKG installed after $(($(date +%s) - start)) s: $(chroot /newroot ls -l /usr/bin/fwupd32)"
  CASE_RUNNER=/opt/bin/guest-pkg.sh /opt/bin/guest-cases.sh /opt/pkg-cases.txt "/newroot$CASES"
  echo "PKG done after $(($(date +%s) - start)) s"
fi
