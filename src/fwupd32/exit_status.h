// The program's exit statuses, the same on Linux and Windows.
#pragma once

enum ExitStatus : int {
  ExitUpdated = 0,         // a drive got the whole image and kept it
  ExitAnswered = 0,        // --help, --version, --list with drives listed
  ExitImageReadError = 1,  // input/output error while the image was read
  ExitUsage = 2,           // usage error on the command line (Linux)
  ExitNoImage = 3,         // no image: none in the directory, or the chooser was cancelled
  ExitUnusableFile = 4,    // the file given cannot be used
  ExitNoManager = 5,       // the ASPI manager could not be bound, or no host adapters
  ExitDriveNotFound = 6,   // drive not found
  ExitRefused = 7,         // the drive's check refused the image
  ExitTransferFailed = 8,  // the transfer failed; the drive keeps its old firmware
  ExitProgrammingMode = 9, // the transfer failed; the drive is left in programming mode
};
