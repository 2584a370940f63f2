#!/bin/sh
# In the test VM's chroot, as the case's user: the installed command
# started with the image's path from another directory (as a file manager's
# "Open with" does), console toolkit, its texts on stdout, its exit code.
# With a notification stand-in, the user's session bus is a private
# dbus-daemon on which the stand-in records every notification; the calls it
# recorded follow the program's texts.
# Usage: pkg-run.sh IMAGE [NOTIFY-STANDIN]
cd / || exit 99
if [ -z "${2:-}" ]; then
  FWUPD_TOOLKIT=console /usr/bin/fwupd32 "$1" </dev/null
  exit
fi
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 </dev/null) || exit 98
address=$(echo "$bus" | sed -n 1p) daemon=$(echo "$bus" | sed -n 2p)
record=$(mktemp)
"$2" "$address" "$record" </dev/null >/dev/null 2>&1 &
standin=$!
i=0
while ! grep -q '^READY' "$record" && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done
DBUS_SESSION_BUS_ADDRESS=$address FWUPD_TOOLKIT=console /usr/bin/fwupd32 "$1" </dev/null
rc=$?
grep '^NOTIFY' "$record" || echo "no notification"
kill $standin $daemon
exit $rc
