#include "manager.h"

#include "drive_changes.h"
#include "drive_hold.h"
#include "entry_points.h"
#include "final_status.h"
#include "pass_through.h"
#include "srb_layout.h"
#include "status_map.h"

#include "trouble.h"

#include <cstring>
#include <string>

namespace sptiaspi {
using namespace aspikit;
namespace {

constexpr char kCaption[] = "CDRAL.DLL";
constexpr char kNoRightsText[] =
    "The CD-ROM drives cannot be opened for direct access: this needs administrator rights.\n\n"
    "Close the program and start it again with \"Run as administrator\" (or log on as an "
    "administrator).";
constexpr char kBusyText[] =
    ": is in use by another program, so nothing of the update was sent to it.\n\n"
    "Close the program that uses the drive and start the update again.";

std::uint32_t Finish(std::uint8_t *block, std::uint8_t status) {
  PublishStatus(block, status);
  return status;
}

Direction DirectionOf(const ExecRequest &req) {
  if (req.bufLen == 0)
    return Direction::None;
  if (req.flags & SRB_DIR_IN)
    return Direction::In;
  if (req.flags & SRB_DIR_OUT)
    return Direction::Out;
  return Direction::Unspecified;
}

} // namespace

const char kManagerId[] = "CDRAL SPTI";

void Manager::EnsureCensus() {
  if (censusTaken_)
    return;
  censusTaken_ = true;
  census_ = TakeCensus(io_); // at most 26 drive letters, so never above 255 adapters
  if (census_.refusedForRights)
    io_.TellUser(kCaption, kNoRightsText);
}

std::uint32_t Manager::SupportInfo() {
  EnsureCensus();
  return SupportInfoFor(census_.adapters.size());
}

std::uint32_t Manager::Send(std::uint8_t *block) {
  if (block == nullptr)
    return SS_INVALID_SRB;
  EnsureCensus();
  return DispatchCommand(*this, block, &Manager::HaInquiry, &Manager::GetDeviceType,
                         &Manager::ExecScsiCmd);
}

std::uint32_t Manager::HaInquiry(std::uint8_t *block) {
  const std::uint8_t ha = block[kHaId];
  if (ha >= census_.adapters.size())
    return Finish(block, SS_INVALID_HA);
  const Adapter &a = census_.adapters[ha];
  block[kHaCount] = static_cast<std::uint8_t>(census_.adapters.size());
  block[kHaScsiId] = 7; // the initiator's id is not reported by SPTI
  CopyText(block + kHaManagerId, kManagerId);
  CopyText(block + kHaIdentifier, a.identifier);
  std::uint8_t *unique = block + kHaUnique;
  std::memset(unique, 0, kHaTextSize);
  unique[0] = static_cast<std::uint8_t>(a.alignmentMask);
  unique[1] = static_cast<std::uint8_t>(a.alignmentMask >> 8);
  unique[3] = kTargetsPerAdapter;
  std::memcpy(unique + 4, &a.maxTransfer, 4);
  return Finish(block, SS_COMP);
}

std::uint32_t Manager::GetDeviceType(std::uint8_t *block) {
  const std::uint8_t ha = block[kHaId], target = block[kGdevTarget], lun = block[kGdevLun];
  if (ha >= census_.adapters.size())
    return Finish(block, SS_INVALID_HA);
  if (lun != 0 || target >= kTargetsPerAdapter || census_.adapters[ha].targets[target].handle == 0)
    return Finish(block, SS_NO_DEVICE);
  block[kGdevDeviceType] = census_.adapters[ha].targets[target].deviceType;
  return Finish(block, SS_COMP);
}

// Before the first command that changes a drive: nobody else reaches it
// through its handle's life.
bool Manager::EnsureHeld(Drive &drive) {
  if (drive.access == Access::Shared) {
    drive.access =
        HoldDrive(io_, drive.handle) == HoldOutcome::Held ? Access::Held : Access::Refused;
    if (drive.access == Access::Refused)
      io_.TellUser(kCaption, (std::string("The CD drive ") + drive.letter + kBusyText).c_str());
  }
  return drive.access == Access::Held;
}

// A command that changes the drive, refused or given up on by the system:
// the program's box can only say "(0 : 0 : 0)", so the reason, the drive's
// state and what to do come in a box of ours, before the program's.
void Manager::TellTrouble(Drive &drive, const std::uint8_t *cdb, std::uint32_t error) {
  const Cause cause = CauseOfSystemError(error);
  if (troubleTold_ || cause == Cause::None || !ChangesDrive(cdb[0]))
    return;
  troubleTold_ = true;
  // A timeout or a reset may have caught the command at the drive.
  DriveState state = StateAfterFailure(cdb, cause == Cause::NoAnswer || cause == Cause::Reset);
  if (!drive.changed && state != DriveState::ProgrammingMode)
    state = DriveState::Untouched;
  const Notice notice = TroubleNotice(cause, state, std::string(1, drive.letter) + ":", "",
                                      aspikit::CommandTimeoutSeconds(cdb[0]));
  io_.TellUser(kCaption, (notice.summary + ".\n\n" + notice.body).c_str());
}

std::uint32_t Manager::ExecScsiCmd(std::uint8_t *block) {
  const ExecRequest req = DecodeExec(block);
  ExecResult res{};
  const Adapter *adapter =
      req.haId < census_.adapters.size() ? &census_.adapters[req.haId] : nullptr;
  if (adapter == nullptr)
    res.status = SS_INVALID_HA;
  else if (req.lun != 0 || req.target >= kTargetsPerAdapter ||
           adapter->targets[req.target].handle == 0)
    res.status = SS_NO_DEVICE;
  else if (BadExecRequest(req) || (adapter->maxTransfer != 0 && req.bufLen > adapter->maxTransfer))
    res.status = SS_INVALID_SRB; // refused before it reaches the drive
  else if (ChangesDrive(req.cdb[0]) &&
           !EnsureHeld(census_.adapters[req.haId].targets[req.target])) {
    // Not sent: answered as a drive answers that cannot take a command now.
    res.status = SS_ERR;
    res.targStat = kStatusBusy;
  } else {
    const Command command{req.cdb, req.cdbLen, reinterpret_cast<void *>(req.bufPointer), req.bufLen,
                          DirectionOf(req)};
    Drive &drive = census_.adapters[req.haId].targets[req.target];
    const PassThroughOutcome outcome =
        RunPassThrough(io_, drive.handle, adapter->alignmentMask, command);
    res = MapOutcome(outcome);
    if (res.status != SS_COMP && outcome.senseBytes == 0)
      TellTrouble(drive, req.cdb, outcome.error);
    drive.changed = drive.changed || (ChangesDrive(req.cdb[0]) && outcome.error == 0);
  }
  WriteExecOutcome(block, kNativeExec, req.senseLen, res.haStat, res.targStat, res.sense,
                   res.senseBytes);
  FinishRequest(block, res.status, req.Notifies(), req.postProc);
  return res.status;
}

} // namespace sptiaspi
