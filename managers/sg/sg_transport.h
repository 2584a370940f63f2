// One SCSI command through SG_IO on an open /dev/sg* descriptor.
#pragma once

#include <cstdint>
#include <string>

#include "drive_hold.h"
#include "srb_layout.h"
#include "status_map.h"

namespace sgaspi {

// Where the outcome goes back into the block; `sense` is in fixed format.
struct ExecResult {
  std::uint8_t status, haStat, targStat;
  std::uint8_t sense[aspikit::kSenseAreaSize];
  std::uint8_t senseBytes; // valid sense bytes in `sense`
};

// Opens the node read-write (WRITE BUFFER and vendor commands need it),
// `exclusive` with O_EXCL, and makes sure the reserved buffer holds a
// 32768-byte transfer. -1 and errno on failure.
int OpenSgDevice(const std::string &path, bool exclusive = false);

// The hold's opens, closes and pauses as the system makes them.
HoldCalls SystemHoldCalls();

// Takes the node's exclusive advisory lock for as long as `fd` is open, so
// that a second updater leaves alone a drive that the first one found and
// has not yet held for its flash. False with errno EWOULDBLOCK when another
// process holds it.
bool LockSgDevice(int fd);

// Sense in descriptor format, as libata and some targets send it, is handed
// on in the fixed format ASPI callers read. `timeoutMs` 0: the command's own (aspikit::CommandTimeoutSeconds).
ExecResult RunSgIo(int fd, const aspikit::ExecRequest &req, SgOutcome &raw, unsigned timeoutMs = 0);

} // namespace sgaspi
