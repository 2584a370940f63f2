// Why a command that changes a drive failed where the program can only show
// "(0 : 0 : 0)" or a failure without sense data, what state that leaves the
// drive in as far as a manager knows, and what to do; and the revision a
// drive reports after its update. The words are the managers' own: the
// program's boxes stay as they are.
#pragma once

#include <cstdint>
#include <string>

namespace aspikit {

enum class Cause {
  None,          // the failure has sense data or is not one to explain
  Disconnected,  // the device is gone from the system
  NodeGone,      // the device node found in the search no longer exists
  HeldElsewhere, // another program has the drive
  NoAnswer,      // the command timed out
  Reset,         // the drive or its bus was reset while the command ran
  NoRights,      // this user may not open the drive
};

enum class DriveState {
  Untouched,         // nothing of the update reached the drive
  OldFirmware,       // some blocks went out, the committing one did not
  CommitUnconfirmed, // the committing block went out and was not answered
  ProgrammingMode,   // a programming-mode transfer failed: the loader runs
};

// `reached` is true when the failed command may have reached the drive.
DriveState StateAfterFailure(const std::uint8_t *cdb, bool reached);

struct Notice {
  std::string summary, body;
};

// `node` names the drive ("/dev/sg0", "E:"); `holders` the programs that
// have it open (may be empty); `timeoutS` the time the command was given.
Notice TroubleNotice(Cause cause, DriveState state, const std::string &node,
                     const std::string &holders, unsigned timeoutS);

// After a successful download: `before` as the drive reported it in the
// search (may be empty), `after` as it reports it now, or `cameBack` false
// when it did not answer within `waitS` seconds.
Notice RevisionNotice(const std::string &node, const std::string &before, const std::string &after,
                      bool cameBack, unsigned waitS);

} // namespace aspikit
