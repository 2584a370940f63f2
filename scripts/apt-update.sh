#!/usr/bin/env bash
# apt-get update with the given options, tried three times: a mirror caught
# in the middle of its sync fails an index now and then ("File has
# unexpected size"). Still failing, it only warns: the indexes that did come
# often hold what is wanted, and the install or download that follows says
# so when they do not.
# Usage: scripts/apt-update.sh [APT-GET OPTION...]
for attempt in 1 2 3; do
  apt-get "$@" update -qq && exit 0
  echo "apt-update: attempt $attempt of 3 failed" >&2
  ((attempt < 3)) && sleep 10
done
echo "apt-update: going on with the indexes that came" >&2
