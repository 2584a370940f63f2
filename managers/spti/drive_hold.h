// Keeping everyone else away from a drive during a flash, through the
// handle the manager sends on: the exclusive-access lock (Vista and later)
// makes the class driver refuse other handles' requests, and media change
// polling is suspended (2000 and later). Both last as long as the handle.
#pragma once

#include "device_io.h"

namespace sptiaspi {

enum class HoldOutcome {
  Held, // everything the system has was taken; what it lacks was tolerated
  Busy, // another program holds the drive's exclusive-access lock
};

HoldOutcome HoldDrive(DeviceIo &io, DeviceHandle handle);

} // namespace sptiaspi
