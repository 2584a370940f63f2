#!/usr/bin/env bash
# Runs a command where 32-bit x86 programs run: here when this machine's
# kernel runs them (scripts/i386-native.sh), otherwise in a QEMU guest (TCG)
# whose Debian kernel does, chrooted into this machine's root (read-only,
# under a tmpfs overlay) with the checkout writable at its own path, so that
# whatever the command writes there is here afterwards. The command starts
# in the current directory (inside the checkout) with PATH, HOME, LANG, CI
# and every WINE* and FWUPD_* variable of this environment, and its status
# is this script's. A machine that can do neither fails with one line.
# Usage: scripts/run-32bit.sh COMMAND [ARG...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
if bash "$here/i386-native.sh" >&2; then
  exec "$@"
fi
case $PWD/ in "$root"/*) ;; *)
  echo "run-32bit: $PWD is outside the checkout $root" >&2
  exit 2 ;;
esac
kver=$(ls /lib/modules 2>/dev/null | sort -V | while read -r v; do
  [ -e "/boot/vmlinuz-$v" ] && echo "$v"; done | tail -1)
if ! command -v qemu-system-x86_64 >/dev/null || [ -z "$kver" ]; then
  echo "run-32bit: this kernel runs no 32-bit x86 programs, and there is no QEMU guest to run" \
    "them in (packages qemu-system-x86 linux-image-amd64 busybox-static cpio)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/payload/bin"
cp "$root/tests/vm/guest-boot.sh" "$root/tests/vm/guest-hostroot.sh" "$work/payload/bin/"
echo "WORK='$root'" >"$work/payload/run.conf"
{
  echo "export PATH=/usr/local/bin:/usr/bin:/bin"
  while IFS='=' read -r name _; do
    case $name in PATH) ;; HOME | LANG | CI | WINE* | FWUPD_*) printf 'export %s=%q\n' "$name" "${!name}" ;; esac
  done < <(env)
  printf 'cd %q || exit 125\n' "$PWD"
  printf 'exec'
  printf ' %q' "$@"
  echo
} >"$work/payload/run-cmd.sh"
bash "$root/tests/vm/build-initramfs.sh" "$kver" "$work/payload" "$root/tests/vm/init-run.sh" \
  "$work/initramfs.gz" >/dev/null
: >"$work/out.log"
echo "run-32bit: in a QEMU guest (kernel $kver): $*" >&2
tail -f "$work/out.log" &
tailer=$!
started=$(date +%s)
timeout "${RUN32_TIMEOUT:-3000}" qemu-system-x86_64 -accel tcg -m 4096 -smp 2 -nodefaults \
  -no-reboot -display none -kernel "/boot/vmlinuz-$kver" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -serial "file:$work/console.log" -serial "file:$work/out.log" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$root,mount_tag=work,security_model=none,multidevs=remap" || true
sleep 0.5
kill "$tailer" 2>/dev/null || true
status=$(sed -n 's/\r$//; s/^RUN-EXIT //p' "$work/out.log" | tail -1)
echo "run-32bit: guest ended after $(($(date +%s) - started)) s, command status ${status:-none}" >&2
case $status in
'') echo "run-32bit: the guest ended without the command's status (timeout or crash)" >&2
  tail -20 "$work/console.log" >&2
  exit 1 ;;
*[!0-9]*) echo "run-32bit: the guest could not run the command ($status)" >&2; exit 1 ;;
*) exit "$status" ;;
esac
