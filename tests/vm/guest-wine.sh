#!/bin/sh
# Runs inside the test VM: the Windows program with our pass-through manager
# under Wine, in a chroot into the build machine's root (guest-hostroot.sh),
# against the emulated drive, one case of /opt/wine-cases.txt each (through
# guest-cases.sh). /opt/wine.conf names the program, winclick, the Wine
# prefix made on the build machine and the case directories there.
# Sourced with CASE_RUNNER=this file, it gives guest-cases.sh its run_case.
. /opt/wine.conf

in_root() { # COMMAND...: in the chroot, with Wine's environment
  chroot /newroot /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root USER=root \
    DISPLAY=:5 WINEPREFIX="$PREFIX" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=wnaspi32= "$@"
}

run_case() { # NAME USER DIR: the program, the box it ends with, its exit code
  local sr
  # \\.\D: is the drive's block node: dosdevices/d:: points at it.
  sr=$(ls /sys/class/block | grep '^sr' | head -1)
  ln -sfn /dev/$sr "/newroot$PREFIX/dosdevices/d::"
  in_root /bin/sh "$RUN" "${3#/newroot}" "$CASE_BOX" "$EXE" "$WINCLICK"
}

if [ -z "${CASE_RUNNER:-}" ]; then
  . /opt/bin/guest-hostroot.sh
  start=$(date +%s)
  if ! hostroot_up; then
    echo "WINE no host root"
    exit 1
  fi
  # Xvfb and one wineserver with Wine's services for all cases, started with
  # their output in files: whatever inherits a pipe keeps it open; Wine's
  # desktop and services kept up between the cases.
  in_root /bin/sh -c 'Xvfb :5 -nolisten tcp >/tmp/xvfb.log 2>&1 </dev/null &
    i=0; while [ ! -e /tmp/.X11-unix/X5 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    wineserver -p
    wine reg add "HKLM\\Software\\Wine\\Drives" /v d: /t REG_SZ /d cdrom /f </dev/null >/tmp/wine-reg.log 2>&1
    wineserver -k; wineserver -w; wineserver -p
    sh "$1" /tmp/wine-keep.log' _ "$KEEP"
  echo "WINE ready after $(($(date +%s) - start)) s"
  CASE_RUNNER=/opt/bin/guest-wine.sh /opt/bin/guest-cases.sh /opt/wine-cases.txt "/newroot$CASES"
  echo "WINE done after $(($(date +%s) - start)) s"
fi
