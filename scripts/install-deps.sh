#!/usr/bin/env bash
# Installs what building and testing on Debian 12 needs, when it is missing.
# Usage: scripts/install-deps.sh [extra package ...]
set -euo pipefail
bash "$(dirname "$0")/need-packages.sh" cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev \
  qt6-base-dev fonts-wine xvfb xauth xdotool openbox libxcb1-dev libsystemd-dev dbus-daemon "$@"
