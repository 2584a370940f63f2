#!/bin/bash
# Builds the test VM's initramfs: busybox, the kernel modules of the emulated
# host adapters in dependency order, and a payload directory copied to /opt
# together with the shared libraries its programs need.
# Usage: build-initramfs.sh <kernel-version> <payload-dir> <init-script> <out.cpio.gz>
set -euo pipefail

kver=$1 payload=$2 init=$3 out=$4
moddir=/lib/modules/$kver
# Host adapters, sg and the CD driver, then the target core with its
# userspace backend and loopback host for the emulated drive, then 9p and
# overlay for the build machine's root (see guest-hostroot.sh), and isofs
# for a mount attempt of the emulated drive.
wanted=(scsi_common scsi_mod sg cdrom sr_mod libata ata_piix ahci virtio_pci virtio_scsi
  sym53c8xx megaraid_sas usb-common usbcore xhci-pci usb-storage uas crct10dif_generic
  crc-t10dif configfs target_core_mod uio target_core_user tcm_loop 9pnet_virtio 9p overlay isofs)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
chmod 755 "$stage" # the root of the guest, also for its users
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,opt,lib,lib64,modules}

cp /bin/busybox "$stage/bin/busybox"
ln -s busybox "$stage/bin/sh"

declare -A loaded=()
order=()
modpath() { # module name -> path relative to $moddir, from modules.dep
  local alt=${1//-/_} alt2=${1//_/-}
  grep -E "(^|/)(${alt}|${alt2})\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | head -1 | cut -d: -f1
}
add_module() {
  local rel
  rel=$(modpath "$1")
  [ -n "$rel" ] || { echo "module $1 not found in $moddir" >&2; return 1; }
  [ -n "${loaded[$rel]:-}" ] && return 0
  loaded[$rel]=1
  local deps dep
  deps=$(grep -E "^${rel}:" "$moddir/modules.dep" | cut -d: -f2)
  # modules.dep lists dependencies so that the last must load first.
  for dep in $(echo "$deps" | tr ' ' '\n' | tac); do
    add_module "$(basename "$dep" | sed -E 's/\.ko(\.[a-z]+)?$//')"
  done
  order+=("$rel")
}
for m in "${wanted[@]}"; do add_module "$m"; done
: >"$stage/modules/order"
for rel in "${order[@]}"; do
  name=$(basename "$rel")
  case "$rel" in
  *.ko) cp "$moddir/$rel" "$stage/modules/$name" ;;
  *.ko.xz) xz -dc "$moddir/$rel" >"$stage/modules/${name%.xz}"; name=${name%.xz} ;;
  *.ko.zst) zstd -qdc "$moddir/$rel" >"$stage/modules/${name%.zst}"; name=${name%.zst} ;;
  esac
  echo "$name" >>"$stage/modules/order"
done

cp -a "$payload/." "$stage/opt/"
# Shared libraries of every executable or library in the payload.
find "$stage/opt" -type f | while read -r f; do
  head -c 4 "$f" | grep -q ELF || continue
  ldd "$f" 2>/dev/null | grep -oE '/[^ ]+' || true
done | sort -u | while read -r lib; do
  [ -e "$lib" ] || continue
  mkdir -p "$stage$(dirname "$lib")"
  cp -L "$lib" "$stage$lib"
done

cp "$init" "$stage/init"
chmod +x "$stage/init"
(cd "$stage" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out"
echo "initramfs: ${#order[@]} modules, $(du -h "$out" | cut -f1)"
