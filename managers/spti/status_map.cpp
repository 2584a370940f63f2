#include "status_map.h"

#include "sense.h"

#include <windows.h>

namespace sptiaspi {
using namespace aspikit;
namespace {

constexpr std::uint8_t HASTAT_OK = 0x00, HASTAT_COMMAND_TIMEOUT = 0x0B, HASTAT_SEL_TO = 0x11,
                       HASTAT_PHASE_ERR = 0x14;
constexpr std::uint8_t STATUS_GOOD = 0x00;

// The request never reached the drive, or ended without a SCSI status.
ExecResult MapSystemError(std::uint32_t error) {
  switch (error) {
  case ERROR_DEV_NOT_EXIST:
  case ERROR_DEVICE_NOT_CONNECTED:
  case ERROR_FILE_NOT_FOUND:
  case ERROR_INVALID_HANDLE:
    return {SS_NO_DEVICE, HASTAT_SEL_TO, 0, {}, 0};
  case ERROR_SEM_TIMEOUT:
  case ERROR_TIMEOUT:
    return {SS_ERR, HASTAT_COMMAND_TIMEOUT, 0, {}, 0};
  case ERROR_INVALID_PARAMETER:
  case ERROR_INVALID_USER_BUFFER:
  case ERROR_NOT_SUPPORTED:
  case ERROR_INVALID_FUNCTION:
    return {SS_INVALID_SRB, HASTAT_OK, 0, {}, 0};
  default: // access denied, I/O device error and the rest: the adapter failed it
    return {SS_ERR, HASTAT_PHASE_ERR, 0, {}, 0};
  }
}

} // namespace

Cause CauseOfSystemError(std::uint32_t error) {
  switch (error) {
  case ERROR_DEV_NOT_EXIST:
  case ERROR_DEVICE_NOT_CONNECTED:
  case ERROR_FILE_NOT_FOUND:
  case ERROR_INVALID_HANDLE:
  case ERROR_DEVICE_REMOVED:
    return Cause::Disconnected;
  case ERROR_SEM_TIMEOUT:
  case ERROR_TIMEOUT:
    return Cause::NoAnswer;
  case ERROR_BUS_RESET:
  case ERROR_IO_DEVICE: // what the port driver says after resetting a drive that hung
    return Cause::Reset;
  case ERROR_ACCESS_DENIED:
    return Cause::NoRights;
  case ERROR_BUSY:
  case ERROR_SHARING_VIOLATION:
    return Cause::HeldElsewhere;
  default:
    return Cause::None;
  }
}

ExecResult MapOutcome(const PassThroughOutcome &o) {
  if (o.error != 0)
    return MapSystemError(o.error);
  ExecResult r{};
  r.status = o.scsiStatus == STATUS_GOOD ? SS_COMP : SS_ERR;
  r.haStat = HASTAT_OK;
  r.targStat = o.scsiStatus;
  if (o.scsiStatus != STATUS_GOOD)
    r.senseBytes =
        static_cast<std::uint8_t>(ToFixedSense(o.sense, o.senseBytes, r.sense, kSenseAreaSize));
  return r;
}

} // namespace sptiaspi
