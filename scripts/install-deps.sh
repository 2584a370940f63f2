#!/usr/bin/env bash
# Installs what building and testing on Debian 12 needs, when it is missing.
# Usage: scripts/install-deps.sh [extra package ...]
set -euo pipefail
pkgs=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev fonts-wine
      xvfb xauth xdotool openbox libxcb1-dev libsystemd-dev dbus-daemon "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
