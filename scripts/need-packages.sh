#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing (as root, or
# through sudo); a name ending in :i386 adds that architecture first. Waits
# for another apt to finish rather than failing on its lock.
# Usage: scripts/need-packages.sh [--with-recommends] PACKAGE...
set -euo pipefail
recommends=(--no-install-recommends)
if [[ ${1:-} == --with-recommends ]]; then
  recommends=()
  shift
fi
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo=sudo
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
lock=(-o DPkg::Lock::Timeout=900)
$sudo bash "$(dirname "$0")/apt-update.sh" "${lock[@]}"
DEBIAN_FRONTEND=noninteractive $sudo apt-get "${lock[@]}" install -y -qq "${recommends[@]}" "${missing[@]}"
