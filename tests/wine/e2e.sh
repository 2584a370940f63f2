#!/usr/bin/env bash
# End-to-end runs of fwupd32.exe under Wine with the simulated manager as the
# native WNASPI32.DLL beside it. Each window and box is found by winclick,
# its texts checked, a screenshot of the screen taken, and then dismissed.
#
#   tests/wine/e2e.sh BUILD_DIR OUTPUT_DIR [PROGRAM]
#
# PROGRAM is the fwupd32.exe to run (the shipped build's); BUILD_DIR gives
# the simulated manager and winclick, and the program when PROGRAM is absent.
#
# Runs inside an X display (xvfb-run) with WINEPREFIX set and a wineserver
# running; WINEDLLOVERRIDES must force the native wnaspi32.
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
program=$(realpath "${3:-$build/src/fwupd32.exe}")
scenarios=$(realpath "$(dirname "$0")/../../scenarios")
rm -rf "$out" && mkdir -p "$out"

failures=0
cases=0
shots=0
case_dir=""
case_name=""
case_image=""
program_pid=""

fail() {
  echo "FAIL $case_name: $*"
  failures=$((failures + 1))
}

# start NAME MANAGER SCENARIO [IMAGE SIZE]: a fresh directory with the program,
# the manager (full, none, sim-noinfo, sim-zero, or cdral: the pass-through
# manager shipped beside the program) and the scenario, started.
# With program_elsewhere set, the program lies in its own directory and is
# started in the case directory, where the manager was put.
program_elsewhere=""
start() {
  cases=$((cases + 1))
  case_name=$1
  case_dir=$out/$1
  mkdir -p "$case_dir"
  local exe=./fwupd32.exe
  if [[ -n $program_elsewhere ]]; then
    mkdir -p "$out/$1-program"
    cp "$program" "$out/$1-program/"
    exe=$(winepath -w "$out/$1-program/fwupd32.exe")
  else
    cp "$program" "$case_dir/"
  fi
  case $2 in
  none) ;;
  full) cp "$build/managers/sim/WNASPI32.DLL" "$case_dir/" ;;
  cdral) cp "$(dirname "$program")/CDRAL.DLL" "$case_dir/" ;; # shipped beside the program
  *) cp "$build/managers/sim/$2/WNASPI32.DLL" "$case_dir/" ;;
  esac
  cp "$scenarios/$3.scn" "$case_dir/simaspi.scn"
  case_image=${4:-}
  if (($# > 3)); then
    head -c "$5" /dev/urandom >"$case_dir/$4"
    cp "$case_dir/$4" "$case_dir/image.copy"
    touch -r "$case_dir/$4" "$case_dir/image.copy"
  fi
  (cd "$case_dir" && exec timeout 120 wine "$exe" </dev/null >program.out 2>&1) &
  program_pid=$!
}

# expect [winclick options] CAPTION TEXT: the window is there with TEXT among
# its texts; it is photographed and dismissed.
expect() {
  local text=${*: -1}
  local args=("${@:1:$#-1}")
  local shot
  shots=$((shots + 1))
  shot=$(printf '%s/%02d-%s.png' "$out" "$shots" "$case_name")
  if ! (cd "$case_dir" && wine "$build/tools/winclick/winclick.exe" --leave "${args[@]}") \
    >"$case_dir/window.txt" 2>/dev/null; then
    fail "no window ${args[*]: -1}"
    return
  fi
  tr -d '\r' <"$case_dir/window.txt" >>"$case_dir/windows.txt"
  grep -qF -- "$text" "$case_dir/window.txt" || fail "window ${args[*]: -1} lacks \"$text\""
  import -window root "$shot" 2>/dev/null || true
  wine "$build/tools/winclick/winclick.exe" "${args[@]}" >/dev/null 2>&1 ||
    fail "window ${args[*]: -1} did not go"
}

# finish CODE: the program ends with CODE (the exit statuses of README.txt),
# and its image is as it was.
finish() {
  local rc=0
  wait "$program_pid" || rc=$?
  ((rc == $1)) || fail "exit code $rc, expected $1"
  [[ -z $case_image ]] || image_untouched "$case_image"
}

# await_second_block: until the program has sent the second WRITE BUFFER
# block (at most 60 s).
await_second_block() {
  local waited=0
  until (($(cat "$case_dir/transcript.txt" 2>/dev/null | grep -c -E "^EXEC .*cdb=3b") >= 2)); do
    if ((waited >= 600)); then
      fail "the second block never went out"
      break
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# held_block: once the second WRITE BUFFER went out and was held by the
# drive, the progress window's texts are read (its thread waits for the drive
# and serves the window meanwhile), it is photographed and the program ended.
held_block() {
  local shot
  await_second_block
  sleep 0.5 # the window was painted before the block went out; let X catch up
  if (cd "$case_dir" && wine "$build/tools/winclick/winclick.exe" --timeout 5 --leave "$title") \
    >"$case_dir/window.txt" 2>/dev/null; then
    tr -d '\r' <"$case_dir/window.txt" >"$case_dir/windows.txt"
    grep -qx "100 Static: Found device at (1,0)" "$case_dir/windows.txt" ||
      fail "no device line"
    grep -qx "101 Static: Transferring bytes 32768-65536" "$case_dir/windows.txt" ||
      fail "no line of the held block"
  else
    fail "no window $title"
  fi
  shots=$((shots + 1))
  shot=$(printf '%s/%02d-%s.png' "$out" "$shots" "$case_name")
  import -window root "$shot" 2>/dev/null || true
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  [[ $(grep -c -E "^DONE .*op=3b" "$case_dir/transcript.txt") == 1 ]] ||
    fail "the held block completed"
}

# slow_block: the drive takes 20 s over the second block. From the window's
# showing its answers are timed for 14 s; six seconds into the block (past the
# five after which Windows counts a window that answers nothing as hung, plus
# the checker's own start, seconds under emulation) the system must not count
# it as hung, and its texts must be those of the block.
slow_block() {
  (cd "$case_dir" && wine "$build/tools/winclick/winclick.exe" --watch 14 --leave "$title") \
    >"$case_dir/watch.txt" 2>/dev/null &
  local watcher=$!
  await_second_block
  sleep 6
  if (cd "$case_dir" && wine "$build/tools/winclick/winclick.exe" --timeout 5 --responsive \
    --leave "$title") >"$case_dir/window.txt" 2>/dev/null; then
    tr -d '\r' <"$case_dir/window.txt" | grep -qx "101 Static: Transferring bytes 32768-65536" ||
      fail "no line of the slow block"
  else
    fail "the progress window counts as hung: $(tr -d '\r' <"$case_dir/window.txt")"
  fi
  wait "$watcher" || true
  echo "$case_name: progress window, 20 s block: $(tr -d '\r' <"$case_dir/watch.txt")"
}

# No WRITE BUFFER (3B) nor any other write went to the drive.
nothing_written() {
  if grep -E "^EXEC .*cdb=3b" "$case_dir/transcript.txt" >/dev/null; then
    fail "a WRITE BUFFER was sent"
  fi
  [[ ! -e $case_dir/out/drive-1-0.firmware ]] || fail "the drive's firmware changed"
}

image_untouched() {
  cmp -s "$case_dir/$1" "$case_dir/image.copy" || fail "the image changed"
  [[ ! "$case_dir/$1" -nt "$case_dir/image.copy" ]] || fail "the image's time changed"
}

title="QM-W6216T Firmware Update"
refusal="This firmware upgrade does not apply to your drive.  Please visit Quilmar Web Site to \
check availability of latest firmware for the drive you have."

# The progress window alone: the drive holds the second block for ever, the
# window shows that block's line until the run is ended from outside.
start progress full qm-w6216t-held-block FIRM6216.ROM 100000
held_block
image_untouched "$case_image"

# The drive takes 20 s over one block: the window keeps answering the system.
start slow-block full qm-w6216t-slow-block FIRM6216.ROM 100000
slow_block
expect Information "Firmware update successfull."
finish 0
cmp -s "$case_dir/out/drive-1-0.firmware" "$case_dir/FIRM6216.ROM" || fail "firmware differs"

start success full qm-w6216t FIRM6216.ROM 100000
expect Information "Firmware update successfull."
finish 0
cmp -s "$case_dir/out/drive-1-0.firmware" "$case_dir/FIRM6216.ROM" || fail "firmware differs"

start broken-manager full qm-w6216t-broken-manager FIRM6216.ROM 100000
expect Information "Firmware update successfull."
finish 0
cmp -s "$case_dir/out/drive-1-0.firmware" "$case_dir/FIRM6216.ROM" || fail "firmware differs"

start not-found full drive-not-found FIRM6216.ROM 40000
expect --ok "$title" "QM-W6216T not found."
finish 6 # drive not found
nothing_written

start wrong-firmware full qm-w6216t-wrong-firmware FIRM6216.ROM 40000
expect --ok "$title" "Incorrect firmware for this drive."
finish 7 # the drive's check refused the image
nothing_written

# The QM-20TS row refuses a drive of revision 1.1x: the message window's red
# line is empty and its hint gives way to the refusal.
start refusal full qm-20ts-rev1 FIRM20X.ROM 40000
expect --ok "QM-20TS Firmware Update" "$refusal"
finish 7
nothing_written
! grep -qF "Make sure the drive cable" "$case_dir/windows.txt" || fail "the hint is still shown"
grep -qx "101 Static: " "$case_dir/windows.txt" || fail "the red line is not empty"

# A QM-R206C that is not in programming mode: the instructions window.
start instructions full qm-r206c FIRM206.ROM 40000
expect --ok "QM-R206C Firmware Update" "The firmware loader was not found."
finish 6
nothing_written

start failed-block full failing-block FIRM6216.ROM 100000
expect Error "Error sending firmware (5 : 24 : 0)"
finish 8 # the drive keeps its old firmware
[[ $(grep -c -E "^EXEC .*cdb=3b" "$case_dir/transcript.txt") == 3 ]] ||
  fail "not exactly three WRITE BUFFER blocks"

start no-manager none qm-w6216t FIRM6216.ROM 40000
expect Error "Error loading WNASPI32.DLL"
expect "Firmware Update" "Error intializing WNASPI32.DLL."
finish 5 # no manager bound

start invalid-manager sim-noinfo qm-w6216t FIRM6216.ROM 40000
expect Error "WNASPI32.DLL is invalid"
expect Error "No SCSI host adapters found."
expect "Firmware Update" "Error intializing WNASPI32.DLL."
finish 5
[[ ! -s $case_dir/transcript.txt ]] || ! grep -q "^EXEC" "$case_dir/transcript.txt" ||
  fail "requests were sent"

start no-adapters sim-zero qm-w6216t FIRM6216.ROM 40000
expect Error "No SCSI host adapters found."
expect "Firmware Update" "Error intializing WNASPI32.DLL."
finish 5
nothing_written

# No WNASPI32.DLL, so the program falls back to our CDRAL.DLL; Wine's prefix
# has no CD-ROM drive letter, so it loads and finds no adapters.
start pass-through-no-drives cdral qm-w6216t FIRM6216.ROM 40000
expect Error "No SCSI host adapters found."
expect "Firmware Update" "Error intializing WNASPI32.DLL."
finish 5

# A manager planted in the current directory, beside the image, is never
# loaded: the program lies elsewhere, so no manager is found.
program_elsewhere=1
start planted-manager full qm-w6216t FIRM6216.ROM 40000
expect Error "Error loading WNASPI32.DLL"
expect "Firmware Update" "Error intializing WNASPI32.DLL."
finish 5
[[ ! -e $case_dir/transcript.txt ]] || fail "the planted manager was loaded"
program_elsewhere=""

# The other ends' exit statuses (see README.txt): no image at all, and a failed
# programming-mode block.
start no-image full qm-w6216t
finish 3
nothing_written

start program-mode-failed full program-mode-failing-block FIRM206.ROM 100000
expect Error "Error sending firmware."
finish 9 # left in programming mode

if ((failures)); then
  echo "end-to-end under Wine: $failures failure(s); screenshots in $out"
  exit 1
fi
echo "end-to-end under Wine: $cases cases passed; $shots screenshots in $out"
