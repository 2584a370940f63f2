// One SCSI command through the SCSI pass-through interface of an open drive:
// IOCTL_SCSI_PASS_THROUGH_DIRECT when the data buffer meets the adapter's
// alignment, else the buffered IOCTL_SCSI_PASS_THROUGH through a copy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_io.h"

namespace sptiaspi {

enum class Direction : std::uint8_t { None, In, Out, Unspecified };

struct Command {
  const std::uint8_t *cdb;
  std::uint8_t cdbLen;
  void *data;
  std::uint32_t dataLen;
  Direction direction;
};

constexpr std::size_t kSenseCapacity = 32;

struct PassThroughOutcome {
  std::uint32_t error; // system error of DeviceIoControl, 0 when it succeeded
  std::uint8_t scsiStatus;
  std::uint8_t sense[kSenseCapacity];
  std::uint8_t senseBytes; // sense bytes the device returned (as sent, any format)
  bool buffered;           // went through the buffered request
};

// `alignmentMask` is the adapter's (0: any address will do).
PassThroughOutcome RunPassThrough(DeviceIo &io, DeviceHandle handle, std::uint32_t alignmentMask,
                                  const Command &command);

} // namespace sptiaspi
