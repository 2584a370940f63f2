#include "status_map.h"

#include "sense.h"
#include "srb_layout.h"

namespace sgaspi {
using namespace aspikit;
namespace {

// Linux host byte (DID_*) values and the ASPI host adapter status they mean.
constexpr std::uint8_t HASTAT_OK = 0x00, HASTAT_TIMEOUT = 0x09, HASTAT_COMMAND_TIMEOUT = 0x0B,
                       HASTAT_BUS_RESET = 0x0E, HASTAT_PARITY_ERROR = 0x0F, HASTAT_SEL_TO = 0x11,
                       HASTAT_PHASE_ERR = 0x14;

std::uint8_t HostToHaStat(std::uint16_t host) {
  switch (host) {
  case 0x00:
    return HASTAT_OK;
  case 0x01: // DID_NO_CONNECT
  case 0x04: // DID_BAD_TARGET
    return HASTAT_SEL_TO;
  case 0x03:
    return HASTAT_COMMAND_TIMEOUT; // DID_TIME_OUT
  case 0x05:
    return HASTAT_TIMEOUT; // DID_ABORT
  case 0x06:
    return HASTAT_PARITY_ERROR; // DID_PARITY
  case 0x08:
    return HASTAT_BUS_RESET; // DID_RESET
  default:
    return HASTAT_PHASE_ERR; // DID_ERROR and the rest
  }
}

constexpr std::uint16_t DRIVER_SENSE = 0x08;
constexpr std::uint8_t STATUS_GOOD = 0x00, STATUS_CHECK_CONDITION = 0x02;

} // namespace

MappedStatus MapOutcome(const SgOutcome &o) {
  MappedStatus m{SS_ERR, HostToHaStat(o.hostStatus), o.scsiStatus};
  if (o.ioctlErrno != 0)
    return {SS_ERR, HASTAT_PHASE_ERR, 0};

  SenseTriple triple{};
  const bool hasSense = DecodeSense(o.sense, o.senseBytes, triple);
  // Some adapters report a CHECK CONDITION as status 0 with a host error and
  // valid sense: the sense is what tells, so the target status says so too.
  if (m.targStat == STATUS_GOOD && hasSense && triple.key != 0x00 && triple.key != 0x01)
    m.targStat = STATUS_CHECK_CONDITION;

  const bool driverClean =
      o.driverStatus == 0 || (o.driverStatus == DRIVER_SENSE && (!hasSense || triple.key <= 0x01));
  if (o.scsiStatus == STATUS_GOOD && o.hostStatus == 0 && driverClean && m.targStat == STATUS_GOOD)
    m.srbStatus = SS_COMP;
  return m;
}

} // namespace sgaspi
