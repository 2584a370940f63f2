#include "drive_hold.h"

#include "spti_structs.h"

#include <cstring>

namespace sptiaspi {

HoldOutcome HoldDrive(DeviceIo &io, DeviceHandle handle) {
  ExclusiveLockRequest lock{};
  lock.requestType = kExclusiveAccessLockDevice;
  lock.flags = kCdromLockIgnoreVolume; // a mounted disc does not stand in the way
  std::memcpy(lock.callerName, kExclusiveCallerName, sizeof kExclusiveCallerName);
  std::uint32_t returned = 0;
  // Systems before Vista and Wine do not know the request: tolerated.
  if (io.Control(handle, kIoctlCdromExclusiveAccess, &lock, sizeof lock, nullptr, 0, returned) ==
      ERROR_ACCESS_DENIED)
    return HoldOutcome::Busy;          // locked by another handle
  PREVENT_MEDIA_REMOVAL suspend{TRUE}; // TRUE: no media change polling
  (void)io.Control(handle, IOCTL_STORAGE_MCN_CONTROL, &suspend, sizeof suspend, nullptr, 0,
                   returned); // NT 4.0 and Wine do not know it: tolerated
  return HoldOutcome::Held;
}

} // namespace sptiaspi
