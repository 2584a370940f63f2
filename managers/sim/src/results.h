// The drive's state as files, rewritten after every change so that a test
// can compare the firmware the drive ended with against the image.
#pragma once

#include "drive.h"

#include <string>

namespace simaspi {

// Creates `dir` (and its parents) when missing.
void WriteDriveResults(const std::string &dir, int adapter, int target, const DriveState &drive);

} // namespace simaspi
