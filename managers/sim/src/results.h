// The drive's state as files, brought up to date after every change so that
// a test can compare the firmware the drive ended with against the image.
#pragma once

#include "drive.h"

#include <cstdint>
#include <string>

namespace simaspi {

class DriveResults {
public:
  DriveResults(const std::string &dir, int adapter, int target);

  // After a command that changed the drive. The firmware file gets only the
  // image bytes the command stored, at their offset, so a whole download
  // writes each byte once; the small files are replaced whole.
  void Update(const DriveState &drive, const DriveOutcome &outcome);

private:
  void WriteFirmware(const DriveState &drive, uint64_t begin, uint64_t end);

  std::string dir_, stem_;
  bool dirMade_ = false;
  bool firmwareStarted_ = false; // truncated and written in this run
  uint64_t firmwareSize_ = 0;    // bytes on file
  bool memoryWritten_ = false;
  std::string memoryText_; // as last written
};

} // namespace simaspi
