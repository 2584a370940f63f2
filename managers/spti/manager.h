// The ASPI requests over the census: host adapter inquiry, device type and
// SCSI commands. Every request completes before Send returns: the status is
// written last, then the event of a notifying request is signalled.
#pragma once

#include <cstdint>

#include "census.h"
#include "device_io.h"

namespace sptiaspi {

// Names the manager in HA_ManagerId.
extern const char kManagerId[];

class Manager {
public:
  explicit Manager(DeviceIo &io) : io_(io) {}
  ~Manager() { ReleaseCensus(io_, census_); }
  Manager(const Manager &) = delete;
  Manager &operator=(const Manager &) = delete;

  // GetASPI32SupportInfo: SS_COMP and the adapter count, or SS_NO_ADAPTERS.
  std::uint32_t SupportInfo();
  // SendASPI32Command.
  std::uint32_t Send(std::uint8_t *block);

private:
  void EnsureCensus();
  std::uint32_t HaInquiry(std::uint8_t *block);
  std::uint32_t GetDeviceType(std::uint8_t *block);
  std::uint32_t ExecScsiCmd(std::uint8_t *block);
  bool EnsureHeld(Drive &drive);
  void TellTrouble(Drive &drive, const std::uint8_t *cdb, std::uint32_t error);

  DeviceIo &io_;
  bool censusTaken_ = false;
  Census census_;
  bool troubleTold_ = false; // the program stops at the first failure it reports
};

} // namespace sptiaspi
