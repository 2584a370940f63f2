#include "trouble.h"

namespace aspikit {
namespace {

std::string Happened(Cause cause, const std::string &node, const std::string &holders,
                     unsigned timeoutS) {
  switch (cause) {
  case Cause::Disconnected:
    return "The drive at " + node + " was disconnected during the firmware update.";
  case Cause::NodeGone:
    return "The drive's device node " + node +
           " is gone since the drive was found: the system has numbered its drives anew (was a "
           "drive plugged in or out?).";
  case Cause::HeldElsewhere:
    return node + " is in use by another program" +
           (holders.empty() ? std::string(" (a mount, a burner, another firmware update?)")
                            : " (" + holders + ")") +
           ".";
  case Cause::NoAnswer:
    return "The drive at " + node + " did not answer within " + std::to_string(timeoutS) +
           " seconds, the time a command of this kind is given.";
  case Cause::NoRights:
    return "This user may not read and write " + node + ", so the update could not go on.";
  case Cause::Reset:
    return "The drive at " + node +
           " was reset during the firmware update (by the system, or by another program).";
  case Cause::None:
    break;
  }
  return {};
}

std::string StateText(DriveState state) {
  switch (state) {
  case DriveState::Untouched:
    return "Nothing of the update reached the drive: it keeps its old firmware.";
  case DriveState::OldFirmware:
    return "The drive keeps its old firmware: it takes the new one only with the last block, "
           "which it did not get.";
  case DriveState::CommitUnconfirmed:
    return "The drive got every block but did not confirm the last one, with which it saves the "
           "new firmware: it may still be writing it. Leave it switched on for a few minutes.";
  case DriveState::ProgrammingMode:
    return "The drive is left in programming mode: its loader waits for the whole image.";
  }
  return {};
}

std::string FirstStep(Cause cause) {
  switch (cause) {
  case Cause::Disconnected:
    return "Check the drive's cable and power and connect it again";
  case Cause::NodeGone:
    return "Leave the drives connected as they are now";
  case Cause::HeldElsewhere:
    return "Close that program (or unmount the disc)";
  case Cause::NoAnswer:
    return "Check the drive's cable and power";
  case Cause::NoRights:
    return "Get read and write rights to the drive (ask the administrator, or run the updater "
           "as root)";
  case Cause::Reset:
    return "Make sure no other program uses the drive";
  case Cause::None:
    break;
  }
  return {};
}

std::string NextStep(Cause cause, DriveState state) {
  switch (state) {
  case DriveState::ProgrammingMode:
    return FirstStep(cause) +
           ", then run the update again without switching the drive off: the loader takes the "
           "whole image again.";
  case DriveState::CommitUnconfirmed:
    return FirstStep(cause) +
           ", then switch the drive off and on and check the firmware revision it reports; if it "
           "is still the old one, run the update again.";
  default:
    return FirstStep(cause) + ", then start the update again.";
  }
}

std::string Summary(Cause cause) {
  switch (cause) {
  case Cause::Disconnected:
    return "The CD drive was disconnected";
  case Cause::NodeGone:
    return "The CD drive's device node changed";
  case Cause::HeldElsewhere:
    return "The CD drive is in use";
  case Cause::NoAnswer:
    return "The CD drive did not answer";
  case Cause::NoRights:
    return "No access to the CD drive";
  case Cause::Reset:
    return "The CD drive was reset";
  case Cause::None:
    break;
  }
  return {};
}

} // namespace

DriveState StateAfterFailure(const std::uint8_t *cdb, bool sent) {
  switch (cdb[0]) {
  case 0xE1:
  case 0xE2:
  case 0xE4:
    return DriveState::ProgrammingMode;
  case 0x3B: {
    const std::uint8_t mode = cdb[1] & 0x1F;
    if (mode == 0x05 || mode == 0x07) // download and save: the committing block
      return sent ? DriveState::CommitUnconfirmed : DriveState::OldFirmware;
    return DriveState::OldFirmware;
  }
  default:
    return DriveState::Untouched;
  }
}

Notice TroubleNotice(Cause cause, DriveState state, const std::string &node,
                     const std::string &holders, unsigned timeoutS) {
  return {Summary(cause), Happened(cause, node, holders, timeoutS) + " " + StateText(state) + " " +
                              NextStep(cause, state)};
}

Notice RevisionNotice(const std::string &node, const std::string &before, const std::string &after,
                      bool cameBack, unsigned waitS) {
  const std::string was = before.empty() ? "" : " (before the update: " + before + ")";
  if (!cameBack)
    return {"The CD drive has not come back",
            "The drive at " + node + " took the whole firmware but did not answer again within " +
                std::to_string(waitS) + " seconds" + was +
                ". Switch it off and on, then check the firmware revision it reports."};
  if (!before.empty() && after == before)
    return {"The CD drive still reports its old firmware revision",
            "The drive at " + node + " took the whole firmware, but the drive still reports " +
                "revision " + after + ": switch it off and on, then check."};
  return {"The CD drive runs its new firmware",
          "The drive at " + node + " now reports firmware revision " + after + was + "."};
}

} // namespace aspikit
