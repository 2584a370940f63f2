// Turns what SG_IO reports (SCSI status, host status, driver status, sense)
// into the block's SRB_Status, SRB_HaStat and SRB_TargStat.
#pragma once

#include <cstdint>

namespace sgaspi {

struct SgOutcome {
  int ioctlErrno;             // 0 when the SG_IO call itself succeeded
  std::uint8_t scsiStatus;    // status byte as the target sent it (0x02 CHECK CONDITION)
  std::uint16_t hostStatus;   // DID_* of the low-level driver
  std::uint16_t driverStatus; // DRIVER_* of the mid layer
  const std::uint8_t *sense;  // sense bytes written, may be null
  std::uint8_t senseBytes;
};

struct MappedStatus {
  std::uint8_t srbStatus, haStat, targStat;
};

MappedStatus MapOutcome(const SgOutcome &outcome);

} // namespace sgaspi
