// How a run ended, as its exit status: the one place the numbers are
// written. The same on Linux and Windows; an end by a signal is left to the
// system. A script can tell from these whether the drive has its new
// firmware (0), kept its old one (up to 8) or waits in programming mode (9).
#pragma once

enum class ExitStatus : int {
  Updated = 0,           // the drive got the whole image and its committing command completed
  Answered = 0,          // --help, --version, --list that listed drives
  InOutError = 1,        // the image file failed while it was read
  Usage = 2,             // the command line is wrong (the Linux launcher's)
  NoImage = 3,           // none of the image names lies in the directory
  FileUnusable = 4,      // a name that is not an image's, or a file that cannot be used
  NoManager = 5,         // the ASPI manager could not be bound, or no host adapters
  DriveNotFound = 6,     // no drive matched the row's search texts
  CheckRefused = 7,      // the drive's check refused the image
  OldFirmwareKept = 8,   // the transfer failed; the drive keeps its old firmware
  LeftInProgramMode = 9, // the transfer failed in programming mode: run it again, power on
};

constexpr int ExitCode(ExitStatus status) {
  return static_cast<int>(status);
}
